// Image files decoded into pixels, and map textures built from them: PNG, JPEG, BMP, TGA and
// GIF (its first frame), through one decoder compiled into every build (Linux, Windows, the
// web), so that a map gives the same texels everywhere.
//
// No size in a file is trusted. The image's dimensions are read from its header first; an
// image wider or taller than ImageLimits::maxDecodeSide, or whose pixels alone would not fit
// in the memory left for the scene's maps, is refused before anything is decoded. While the
// decoder runs, every block of memory it takes is counted in the same TextureMemory, and a
// block that would pass the limit is refused, which fails that image (a file that claims a
// small size and inflates to a huge one cannot get past the limit). A broken or hostile image
// fails only itself, with a one-line reason of printable ASCII.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "render/texture.h"

struct ImageLimits {
    // An image wider or taller than this is refused before decoding.
    int32_t maxDecodeSide = 16384;
    // A texture's level 0 is scaled down until neither side is larger (BuildTexture).
    int32_t maxTextureSide = kDefaultMaxTextureSide;
};

// Decoded pixels: 4 bytes per pixel (red, green, blue, alpha), rows top first.
struct DecodedImage {
    int32_t width = 0;
    int32_t height = 0;
    int32_t channels = 0;     // as the file stores them: 1 grey, 2 grey and alpha, 3, 4
    uint8_t* rgba = nullptr;  // width * height * 4 bytes, owned: FreeDecodedImage
    uint64_t bytes = 0;       // counted in the TextureMemory that DecodeImage was given
};

// The kind of image `data` holds by its first bytes: "PNG", "JPEG", "BMP", "GIF", or nullptr
// (a TGA file has no signature; the decoder tries it last).
const char* ImageFormatName(const uint8_t* data, size_t size);

// Decodes the `size` bytes of an image file at `data`. True with `image` filled, or false
// with a one-line reason (e.g. "60000 x 60000 pixels: larger than the 16384 x 16384 a map may
// have", "corrupt PNG image: bad zlib header"). Any image `image` held is freed first.
bool DecodeImage(const uint8_t* data, size_t size, const ImageLimits& limits, TextureMemory& memory,
                 DecodedImage& image, std::string& reason);

// Frees `image`'s pixels and their count in `memory` (the one DecodeImage was given).
void FreeDecodedImage(DecodedImage& image, TextureMemory& memory);

// Reads the image file at `path` and builds `texture` from it for `use` (see BuildTexture):
// the file's bytes and the decoded pixels are counted in `memory` while they are held and
// released before returning; what stays counted is the texture. False with a one-line
// reason when the file cannot be read, is not an image this decoder reads, or does not fit.
bool LoadTextureFile(const std::string& path, TextureUse use, const ImageLimits& limits,
                     TextureMemory& memory, Texture& texture, std::string& reason);
