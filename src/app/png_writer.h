// PNG files from frames: the one PNG encoder of the program, for --output, thumbnails,
// folders and F12 on every platform that writes files (zlib's deflate, nothing else).
//
// The file is 8-bit RGB with an sRGB chunk, its rows unfiltered and deflated at level 3 in
// IDAT chunks of 8 KiB: the form libpng's simplified writer gives with its fast flag, which
// on wireframes over black is several times faster than adaptive filtering and only a few
// kilobytes larger.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// Where the encoded bytes go, in order: `write` takes all `size` bytes, or returns false with
// the reason in `error`.
struct PngSink {
    void* user = nullptr;
    bool (*write)(void* user, const void* bytes, size_t size, std::string& error) = nullptr;
};

// Writes a PNG of `width` x `height` pixels (each side 1 to 65535) into `sink`. `rgb` holds
// the rows top to bottom, 3 * width bytes each (R, G, B). False with the reason in `error`
// when zlib fails or a write does; what was written is then incomplete. The program's files
// are written through the output writer (output.h) as the sink.
bool WritePng(const PngSink& sink, const uint8_t* rgb, int32_t width, int32_t height,
              std::string& error);

// WritePng into `file` at its current position.
bool WritePng(std::FILE* file, const uint8_t* rgb, int32_t width, int32_t height,
              std::string& error);

// `count` pixels 0x00RRGGBB as R, G, B bytes into `rgb` (3 * count bytes).
void PixelsToRgb(const uint32_t* pixels, size_t count, uint8_t* rgb);
