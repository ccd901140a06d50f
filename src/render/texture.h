// Maps ready for drawing: a decoded image as texel levels (a mip chain), the map's
// transform and tiling, and sampling that gives the same pixels on every build.
//
// A texel is 0xAARRGGBB: the frame's pixel layout with the image's alpha in the top byte.
// Row 0 of every level is the image's bottom row, so texture coordinate t = 0 is the bottom
// of the image and t = 1 its top, as texture coordinates in 3D Studio files run.
//
// Determinism: sampling is integer arithmetic on 24.8 fixed-point texel positions, the level
// of detail comes from the bits of one float, and the few float operations (scaling a
// coordinate by a level's size, the map transform per vertex, squared derivative lengths)
// are single roundings in a fixed order, compiled without contraction into multiply-adds.
// So a texel comes out the same on Linux, Windows and the web, with any number of threads.
// The sine and cosine of the map's rotation are computed here, not by the C library.
//
// Memory: every texture of a scene is counted in one TextureMemory, with the working memory
// of the image decoder while it runs (image/image_decode.h), so what a scene's maps hold at
// once never passes its limit (512 MiB unless the caller sets another). Nothing is allocated
// while sampling.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "scene/records.h"

inline constexpr uint64_t kDefaultTextureMemory = 512ull << 20;
// The largest level 0 kept: a larger image is scaled down by whole powers of two until it
// fits (a 640 x 480 frame never shows more detail than this).
inline constexpr int32_t kDefaultMaxTextureSide = 4096;
// Enough levels for 32768 texels down to 1.
inline constexpr int32_t kMaxTextureLevels = 16;

// The memory budget of one scene's maps.
struct TextureMemory {
    uint64_t limit = kDefaultTextureMemory;
    uint64_t used = 0;  // bytes held now: texture levels, and a running decoder's memory
    uint64_t peak = 0;  // the most bytes held at once since the budget was set up
};

// Counts `bytes` more as held: true, or false (nothing counted) when that would pass the limit.
bool ReserveTextureMemory(TextureMemory& memory, uint64_t bytes);

// Counts `bytes` as released (at most what is held).
void ReleaseTextureMemory(TextureMemory& memory, uint64_t bytes);

// `bytes` for a message: "12.5 MiB".
std::string MebibytesText(uint64_t bytes);

// What a texture's texels hold.
enum class TextureUse : uint8_t {
    kColor,                 // the image's colour and alpha
    kOpacityFromLuminance,  // an opacity map: the image's luminance, in every channel
    kOpacityFromAlpha,      // an opacity map: the image's alpha, in every channel
};

// A texture: movable, not copyable (it owns its texels).
struct Texture {
    int32_t levelCount = 0;                 // 0: no texture
    int32_t width[kMaxTextureLevels] = {};  // level i is max(1, width[0] >> i) wide
    int32_t height[kMaxTextureLevels] = {};
    uint32_t offset[kMaxTextureLevels] = {};  // where level i starts in `texels`
    std::unique_ptr<uint32_t[]> texels;       // every level, rows bottom first
    uint64_t bytes = 0;                       // of texels, counted in the scene's TextureMemory
    TextureUse use = TextureUse::kColor;
    int32_t sourceWidth = 0;  // the image's own size (level 0 may be smaller)
    int32_t sourceHeight = 0;
    int32_t translucent = 0;  // 1 when some texel's alpha is below 255
};

// Builds `texture` from `width` x `height` pixels of 4 bytes (red, green, blue, alpha), rows
// top first as image files store them. Level 0 is the image, or the image scaled down by the
// smallest power of two (a box filter) that brings both sides to `maxSide` or less and the
// whole chain within what `memory` has left; every further level halves the one before
// (2 x 2 box filter; an odd last row or column is dropped) down to 1 x 1. The levels are
// built once, here. Returns false, with a one-line reason and `texture` empty, when even a
// 1 x 1 texture does not fit in `memory` or the size is not positive. Any texture `texture`
// held before is released first.
bool BuildTexture(const uint8_t* rgba, int32_t width, int32_t height, TextureUse use,
                  int32_t maxSide, TextureMemory& memory, Texture& texture, std::string& reason);

// Releases `texture`'s texels and its count in `memory`; it is empty afterwards.
void FreeTexture(Texture& texture, TextureMemory& memory);

// How texels are filtered.
enum class TextureFilter : uint8_t {
    kNearest,    // the nearest texel of the nearest level
    kBilinear,   // the four nearest texels of the nearest level, weighted
    kTrilinear,  // bilinear in the two levels around the level of detail, weighted
};

// Outside the image (coordinates below 0 or above 1).
enum class TextureWrap : uint8_t {
    kTile,    // the image repeats
    kMirror,  // the image repeats, every other copy mirrored, so copies meet without a seam
    kDecal,   // nothing: the sample is transparent (0) and the surface keeps its colour
};

// The wrap mode a map's flags ask for. Tiling is off when the no-tile bit is set (the
// modelling program's "decal" writes it with the decal bit, 0x0011; the decal bit alone,
// 0x0001, is its "both", tiled); then nothing is drawn outside the image, even with the
// mirror bit. Otherwise the mirror bit mirrors, and the rest tile.
TextureWrap MapWrap(uint16_t tiling);

// What an opacity map's texture holds: the image's alpha when the map's alpha-source bit is
// set, its luminance otherwise (opacity maps are grey images, white opaque).
TextureUse OpacityUse(uint16_t tiling);

// One map of one material, prepared once for drawing.
struct MapSampler {
    const Texture* texture = nullptr;
    // The map's transform, file (u, v) to image coordinates (s, t):
    //   s = su * u + sv * v + s0,   t = tu * u + tv * v + t0.
    float su = 1.0f, sv = 0.0f, s0 = 0.0f;
    float tu = 0.0f, tv = 1.0f, t0 = 0.0f;
    TextureWrap wrap = TextureWrap::kTile;
    TextureFilter filter = TextureFilter::kTrilinear;
    uint32_t invert = 0;  // XORed into every sample: 0x00FFFFFF for a negative colour map,
                          // 0xFFFFFFFF for a negative opacity map
    uint32_t opaque = 0;  // ORed into every sample: 0xFF000000 when a colour map's alpha
                          // is ignored
};

// Prepares `sampler` for `texture` (which must outlive it) drawn as the material's `map`
// (its tiling flags and mapping parameters; its file name and amount are not read here).
//
// The transform, in the order the format applies it: the offsets move the coordinates
// (u minus the U offset, v plus the V offset), then they turn by the rotation angle about
// the image's centre (0.5, 0.5) (the image turns anticlockwise by the angle), then they are
// scaled about the centre (a scale of 2 repeats the image twice across 0..1):
//   (s, t) = (0.5, 0.5) + S(uScale, vScale) R(-rotation) ((u - uOffset, v + vOffset) - (0.5, 0.5)).
// A parameter that is not finite counts as its default (scale 1, offset 0, rotation 0).
// The negative bit inverts the colour (or the opacity); the ignore-alpha bit makes every
// sample opaque.
void PrepareMapSampler(const Texture& texture, const MaterialMap& map, TextureFilter filter,
                       MapSampler& sampler);

// The image coordinates (s, t) of file coordinates (u, v): per vertex. Interpolating s / w,
// t / w and 1 / w across a triangle gives the same (s, t) as transforming the interpolated
// (u, v), since the transform is affine.
void MapCoordinates(const MapSampler& sampler, float u, float v, float& s, float& t);

// The level of detail, in 1/256 of a level, for a pixel whose image coordinates change by
// (dsdx, dtdx) from it to the next pixel right and by (dsdy, dtdy) to the next pixel down:
// log2 of the longer of the two steps in level-0 texels (an approximation of the logarithm
// exact at powers of two). Below 0 when the texture is magnified; very large for
// non-finite derivatives. Compute it per pixel, or once for a block of pixels.
int32_t MapLevelOfDetail(const MapSampler& sampler, float dsdx, float dtdx, float dsdy, float dtdy);

// The map's colour at image coordinates (s, t) for level of detail `lod`, as 0xAARRGGBB with
// the map's negative and ignore-alpha bits applied; 0 (transparent) outside a decal map or
// without a texture. Any s and t are safe (huge, infinite and NaN ones give some texel).
uint32_t SampleMap(const MapSampler& sampler, float s, float t, int32_t lod);

// SampleMap at the image coordinates of file coordinates (u, v) that change by (dudx, dvdx)
// to the next pixel right and by (dudy, dvdy) to the next one down, with the level of detail
// of those changes taken to image coordinates (the transform is affine: its linear part
// takes them): what a rasteriser asks per pixel, in one call. Sets (s, t).
uint32_t SampleMapAt(const MapSampler& sampler, float u, float v, float dudx, float dvdx,
                     float dudy, float dvdy, float& s, float& t);

// `base` (0x00RRGGBB) with `sample` laid over it at `amount` (0 to 256 for 0 % to 100 %) of
// the sample's alpha: what a material's texture map does to its colour. The result's top
// byte is 0.
uint32_t MixMapColor(uint32_t base, uint32_t sample, int32_t amount);
