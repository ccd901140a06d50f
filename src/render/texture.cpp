// Maps ready for drawing: texel levels, the map transform, sampling (see texture.h).
//
// Compiled with -ffp-contract=off (src/CMakeLists.txt): the few float expressions here are
// rounded operation by operation on every build.
#include "render/texture.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

constexpr uint32_t kLowLanes = 0x00FF00FF;  // red and blue of a texel (or alpha and green >> 8)

// Levels of detail beyond any texture's levels, either way (1/256 of a level).
constexpr int32_t kLodMagnified = -(1 << 24);
constexpr int32_t kLodMinified = 1 << 24;

// The texels (level 0 and every level below it) of a chain whose level 0 is w x h.
uint64_t ChainTexels(int32_t w, int32_t h, int32_t& levels) {
    uint64_t total = 0;
    levels = 0;
    for (;;) {
        total += static_cast<uint64_t>(w) * static_cast<uint64_t>(h);
        ++levels;
        if (w == 1 && h == 1) return total;
        w = std::max(1, w >> 1);
        h = std::max(1, h >> 1);
    }
}

// The texel of 4 bytes red, green, blue, alpha, for `use`.
uint32_t TexelOf(uint32_t r, uint32_t g, uint32_t b, uint32_t a, TextureUse use) {
    switch (use) {
        case TextureUse::kOpacityFromLuminance: {
            // Rec. 601 luma weights in 1/256: 77 + 150 + 29 = 256, so white stays 255.
            const uint32_t luminance = (77 * r + 150 * g + 29 * b + 128) >> 8;
            return luminance * 0x01010101u;
        }
        case TextureUse::kOpacityFromAlpha:
            return a * 0x01010101u;
        case TextureUse::kColor:
            break;
    }
    return (a << 24) | (r << 16) | (g << 8) | b;
}

// Level 0 from the image: each texel the rounded mean of an fx x fy block of pixels (1 x 1
// when the image is not scaled down), rows turned bottom first.
void FillFirstLevel(const uint8_t* rgba, int32_t width, int32_t w, int32_t h, int32_t fx,
                    int32_t fy, TextureUse use, uint32_t* out) {
    const auto rowBytes = static_cast<size_t>(width) * 4;
    if (fx == 1 && fy == 1) {
        for (int32_t y = 0; y < h; ++y) {
            const uint8_t* p = rgba + static_cast<size_t>(h - 1 - y) * rowBytes;
            uint32_t* row = out + static_cast<size_t>(y) * static_cast<size_t>(w);
            for (int32_t x = 0; x < w; ++x, p += 4)
                row[x] = TexelOf(p[0], p[1], p[2], p[3], use);
        }
        return;
    }
    const uint64_t count = static_cast<uint64_t>(fx) * static_cast<uint64_t>(fy);
    for (int32_t y = 0; y < h; ++y) {
        const int32_t top = (h - 1 - y) * fy;
        uint32_t* row = out + static_cast<size_t>(y) * static_cast<size_t>(w);
        for (int32_t x = 0; x < w; ++x) {
            uint64_t sum[4] = {0, 0, 0, 0};
            for (int32_t by = 0; by < fy; ++by) {
                const uint8_t* p = rgba + static_cast<size_t>(top + by) * rowBytes +
                                   static_cast<size_t>(x) * static_cast<size_t>(fx) * 4;
                for (int32_t bx = 0; bx < fx; ++bx, p += 4) {
                    sum[0] += p[0];
                    sum[1] += p[1];
                    sum[2] += p[2];
                    sum[3] += p[3];
                }
            }
            uint32_t mean[4];
            for (int c = 0; c < 4; ++c)
                mean[c] = static_cast<uint32_t>((sum[c] + count / 2) / count);
            row[x] = TexelOf(mean[0], mean[1], mean[2], mean[3], use);
        }
    }
}

// The rounded mean of four texels, channel by channel (two channels per 16-bit lane).
uint32_t Mean4(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    const uint32_t rb =
        (((a & kLowLanes) + (b & kLowLanes) + (c & kLowLanes) + (d & kLowLanes) + 0x00020002u) >>
         2) &
        kLowLanes;
    const uint32_t ag = (((a >> 8) & kLowLanes) + ((b >> 8) & kLowLanes) + ((c >> 8) & kLowLanes) +
                         ((d >> 8) & kLowLanes) + 0x00020002u) >>
                        2;
    return rb | ((ag & kLowLanes) << 8);
}

// The next level: each texel the mean of a 2 x 2 block of `src` (a side of 1 repeats its
// one texel; an odd last row or column is dropped).
void HalveLevel(const uint32_t* src, int32_t sw, int32_t sh, uint32_t* dst, int32_t dw,
                int32_t dh) {
    for (int32_t y = 0; y < dh; ++y) {
        const uint32_t* r0 = src + static_cast<size_t>(std::min(2 * y, sh - 1)) * sw;
        const uint32_t* r1 = src + static_cast<size_t>(std::min(2 * y + 1, sh - 1)) * sw;
        uint32_t* out = dst + static_cast<size_t>(y) * dw;
        for (int32_t x = 0; x < dw; ++x) {
            const int32_t x0 = std::min(2 * x, sw - 1), x1 = std::min(2 * x + 1, sw - 1);
            out[x] = Mean4(r0[x0], r0[x1], r1[x0], r1[x1]);
        }
    }
}

// Sine and cosine of an angle in degrees with nothing but +, -, * and / on doubles (and an
// exact fmod), so that every build gets the same bits: the angle is brought into
// [0, 45] degrees by quarter turns and reflection, where the Taylor series to the 15th power
// is exact to far below a float's precision. Multiples of 90 degrees come out exact.
void SineCosineDegrees(double degrees, double& sine, double& cosine) {
    double d = std::fmod(degrees, 360.0);
    if (d < 0.0) d += 360.0;
    int quadrant = static_cast<int>(d / 90.0);
    if (quadrant > 3) quadrant = 3;
    double r = d - 90.0 * quadrant;
    const bool reflected = r > 45.0;
    if (reflected) r = 90.0 - r;
    const double x = r * (3.14159265358979323846 / 180.0);
    const double x2 = x * x;
    double s =
        x * (1.0 -
             x2 / 6.0 *
                 (1.0 -
                  x2 / 20.0 *
                      (1.0 - x2 / 42.0 *
                                 (1.0 - x2 / 72.0 *
                                            (1.0 - x2 / 110.0 *
                                                       (1.0 - x2 / 156.0 * (1.0 - x2 / 210.0)))))));
    double c =
        1.0 -
        x2 / 2.0 *
            (1.0 - x2 / 12.0 *
                       (1.0 - x2 / 30.0 *
                                  (1.0 - x2 / 56.0 *
                                             (1.0 - x2 / 90.0 *
                                                        (1.0 - x2 / 132.0 * (1.0 - x2 / 182.0))))));
    if (reflected) std::swap(s, c);
    switch (quadrant) {
        case 0:
            sine = s, cosine = c;
            break;
        case 1:
            sine = c, cosine = -s;
            break;
        case 2:
            sine = -s, cosine = -c;
            break;
        default:
            sine = -c, cosine = s;
            break;
    }
}

double FiniteOr(float value, double fallback) {
    return std::isfinite(value) ? static_cast<double>(value) : fallback;
}

// --- Sampling ---------------------------------------------------------------------------
//
// A coordinate is first reduced to one period of its wrap, exactly: the tile period [0, 1)
// (s minus its floor), the mirror period [0, 2), or [0, 1] for a decal map (held at its
// edges). Reduction is exact in float arithmetic, and it leaves positions within two images
// of texels, so everything after it is small integers: no division, no 64-bit arithmetic.

// The floor of `s` for |s| < 2^23, where a float may have a fraction.
float Floor(float s) {
    const auto whole = static_cast<float>(static_cast<int32_t>(s));
    return whole > s ? whole - 1.0f : whole;
}

// `s` in its wrap's period. Beyond 2^23, where a float is a whole number, and for NaN: 0.
template <TextureWrap kWrap>
float Reduce(float s) {
    if (!(s > -8388608.0f && s < 8388608.0f)) return 0.0f;
    if constexpr (kWrap == TextureWrap::kTile) return s - Floor(s);
    if constexpr (kWrap == TextureWrap::kMirror) return s - 2.0f * Floor(s * 0.5f);
    return s < 0.0f ? 0.0f : (s > 1.0f ? 1.0f : s);
}

// A reduced coordinate as a position in 1/256 of a texel of a level `size` texels wide,
// rounded down: at most 2 * 32768 * 256, so it fits an int32_t.
int32_t Position(float reduced, int32_t size) {
    return static_cast<int32_t>(reduced * static_cast<float>(size) * 256.0f);
}

// The texels at whole position `i` (-1 up to the period's end) and `i + 1` of a row or
// column `n` long, wrapped.
template <TextureWrap kWrap>
void WrapPair(int32_t i, int32_t n, int32_t& a, int32_t& b) {
    if constexpr (kWrap == TextureWrap::kTile) {
        a = i < 0 ? i + n : (i >= n ? i - n : i);
        b = a + 1 == n ? 0 : a + 1;
    } else if constexpr (kWrap == TextureWrap::kMirror) {
        const int32_t period = 2 * n;
        const int32_t m = i < 0 ? i + period : (i >= period ? i - period : i);
        const int32_t m1 = m + 1 == period ? 0 : m + 1;
        a = m < n ? m : period - 1 - m;
        b = m1 < n ? m1 : period - 1 - m1;
    } else {
        a = i < 0 ? 0 : (i >= n ? n - 1 : i);
        b = i + 1 >= n ? n - 1 : (i + 1 < 0 ? 0 : i + 1);
    }
}

// `a` and `b` mixed channel by channel, `weight` of 256 parts `b`, rounded.
uint32_t Lerp(uint32_t a, uint32_t b, uint32_t weight) {
    const uint32_t keep = 256 - weight;
    const uint32_t rb =
        (((a & kLowLanes) * keep + (b & kLowLanes) * weight + 0x00800080u) >> 8) & kLowLanes;
    const uint32_t ag =
        (((a >> 8) & kLowLanes) * keep + ((b >> 8) & kLowLanes) * weight + 0x00800080u) &
        ~kLowLanes;
    return rb | ag;
}

const uint32_t* LevelTexels(const Texture& texture, int32_t level) {
    return texture.texels.get() + texture.offset[level];
}

#if defined(__GNUC__) || defined(__clang__)
#define TRELLIS_SAMPLE_INLINE [[gnu::always_inline]] inline
#else
#define TRELLIS_SAMPLE_INLINE inline
#endif

template <TextureWrap kWrap>
TRELLIS_SAMPLE_INLINE uint32_t SampleNearest(const Texture& texture, int32_t level, float rs,
                                             float rt) {
    const int32_t w = texture.width[level], h = texture.height[level];
    int32_t x, y, unused;
    WrapPair<kWrap>(Position(rs, w) >> 8, w, x, unused);
    WrapPair<kWrap>(Position(rt, h) >> 8, h, y, unused);
    return LevelTexels(texture, level)[static_cast<size_t>(y) * w + x];
}

// A texel's four channels a byte each in the low half of four 16-bit lanes (blue, red,
// green, alpha), and back: so that one 64-bit multiply-add mixes all four, each exactly as
// Lerp mixes it (a lane's sum stays below 2^16).
inline uint64_t Spread(uint32_t texel) {
    return (texel & kLowLanes) | static_cast<uint64_t>(texel & ~kLowLanes) << 24;
}
inline uint32_t Gather(uint64_t lanes) {
    return static_cast<uint32_t>(lanes & kLowLanes) |
           (static_cast<uint32_t>(lanes >> 24) & ~kLowLanes);
}
inline uint64_t SpreadLerp(uint64_t a, uint64_t b, uint32_t weight) {
    constexpr uint64_t kLanes = 0x00FF00FF00FF00FFull;
    return ((a * (256 - weight) + b * weight + 0x0080008000800080ull) >> 8) & kLanes;
}

// Bilinear: texel centres sit at whole positions plus one half, so the sample at position p
// mixes the texels at p - 1/2 rounded down and the next, by the fraction of p - 1/2.
// Spread (see Spread).
template <TextureWrap kWrap>
TRELLIS_SAMPLE_INLINE uint64_t SampleBilinear(const Texture& texture, int32_t level, float rs,
                                              float rt) {
    const int32_t w = texture.width[level], h = texture.height[level];
    const int32_t fx = Position(rs, w) - 128, fy = Position(rt, h) - 128;
    int32_t x0, x1, y0, y1;
    WrapPair<kWrap>(fx >> 8, w, x0, x1);
    WrapPair<kWrap>(fy >> 8, h, y0, y1);
    const auto wx = static_cast<uint32_t>(fx & 255), wy = static_cast<uint32_t>(fy & 255);
    const uint32_t* texels = LevelTexels(texture, level);
    const uint32_t* r0 = texels + static_cast<size_t>(y0) * w;
    const uint32_t* r1 = texels + static_cast<size_t>(y1) * w;
    return SpreadLerp(SpreadLerp(Spread(r0[x0]), Spread(r0[x1]), wx),
                      SpreadLerp(Spread(r1[x0]), Spread(r1[x1]), wx), wy);
}

// A sample of `texture` for one wrap mode (see SampleMap).
template <TextureWrap kWrap>
uint32_t Sample(const Texture& texture, TextureFilter filter, float s, float t, int32_t lod) {
    const int32_t last = texture.levelCount - 1;
    const float rs = Reduce<kWrap>(s), rt = Reduce<kWrap>(t);
    if (filter == TextureFilter::kTrilinear) {
        if (lod <= 0) return Gather(SampleBilinear<kWrap>(texture, 0, rs, rt));
        const int32_t level = lod >> 8;
        if (level >= last) return Gather(SampleBilinear<kWrap>(texture, last, rs, rt));
        const uint64_t texel = SampleBilinear<kWrap>(texture, level, rs, rt);
        const auto fraction = static_cast<uint32_t>(lod & 255);
        if (fraction == 0) return Gather(texel);
        return Gather(
            SpreadLerp(texel, SampleBilinear<kWrap>(texture, level + 1, rs, rt), fraction));
    }
    const int32_t level = std::clamp((lod + 128) >> 8, 0, last);
    return filter == TextureFilter::kNearest
               ? SampleNearest<kWrap>(texture, level, rs, rt)
               : Gather(SampleBilinear<kWrap>(texture, level, rs, rt));
}

}  // namespace

bool ReserveTextureMemory(TextureMemory& memory, uint64_t bytes) {
    if (bytes > memory.limit || memory.used > memory.limit - bytes) return false;
    memory.used += bytes;
    memory.peak = std::max(memory.peak, memory.used);
    return true;
}

void ReleaseTextureMemory(TextureMemory& memory, uint64_t bytes) {
    memory.used -= std::min(bytes, memory.used);
}

std::string MebibytesText(uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return text;
}

bool BuildTexture(const uint8_t* rgba, int32_t width, int32_t height, TextureUse use,
                  int32_t maxSide, TextureMemory& memory, Texture& texture, std::string& reason) {
    FreeTexture(texture, memory);
    if (rgba == nullptr || width <= 0 || height <= 0) {
        reason = "the image has no pixels";
        return false;
    }
    maxSide = std::clamp(maxSide, 1, 1 << (kMaxTextureLevels - 1));
    for (int32_t shift = 0; shift < 31; ++shift) {
        const int32_t w = std::max(1, width >> shift), h = std::max(1, height >> shift);
        if (w > maxSide || h > maxSide) continue;
        int32_t levels = 0;
        const uint64_t texels = ChainTexels(w, h, levels);
        const uint64_t bytes = texels * sizeof(uint32_t);
        if (!ReserveTextureMemory(memory, bytes)) {
            if (w == 1 && h == 1) break;
            continue;
        }
        // (A chain larger than the address space, on a 32-bit build, is out of memory too.)
        uint32_t* storage = texels > SIZE_MAX / sizeof(uint32_t)
                                ? nullptr
                                : new (std::nothrow) uint32_t[static_cast<size_t>(texels)];
        if (storage == nullptr) {
            ReleaseTextureMemory(memory, bytes);
            reason =
                "out of memory for a " + std::to_string(w) + " x " + std::to_string(h) + " texture";
            return false;
        }
        texture.texels.reset(storage);
        texture.levelCount = levels;
        texture.bytes = bytes;
        texture.use = use;
        texture.sourceWidth = width;
        texture.sourceHeight = height;
        uint32_t offset = 0;
        int32_t lw = w, lh = h;
        for (int32_t level = 0; level < levels; ++level) {
            texture.width[level] = lw;
            texture.height[level] = lh;
            texture.offset[level] = offset;
            offset += static_cast<uint32_t>(lw) * static_cast<uint32_t>(lh);
            lw = std::max(1, lw >> 1);
            lh = std::max(1, lh >> 1);
        }
        FillFirstLevel(rgba, width, w, h, width / w, height / h, use, storage);
        uint32_t alpha = 0xFF;
        for (uint64_t i = 0; i < static_cast<uint64_t>(w) * static_cast<uint64_t>(h); ++i)
            alpha &= storage[i] >> 24;
        texture.translucent = alpha != 0xFF;
        for (int32_t level = 1; level < levels; ++level) {
            HalveLevel(storage + texture.offset[level - 1], texture.width[level - 1],
                       texture.height[level - 1], storage + texture.offset[level],
                       texture.width[level], texture.height[level]);
        }
        return true;
    }
    reason = "no room for even a 1 x 1 texture: " + MebibytesText(memory.limit - memory.used) +
             " of the " + MebibytesText(memory.limit) + " for maps left";
    return false;
}

void FreeTexture(Texture& texture, TextureMemory& memory) {
    ReleaseTextureMemory(memory, texture.bytes);
    texture = Texture{};
}

TextureWrap MapWrap(uint16_t tiling) {
    if ((tiling & kMapNoTile) != 0) return TextureWrap::kDecal;
    if ((tiling & kMapMirror) != 0) return TextureWrap::kMirror;
    return TextureWrap::kTile;
}

TextureUse OpacityUse(uint16_t tiling) {
    return (tiling & kMapAlphaSource) != 0 ? TextureUse::kOpacityFromAlpha
                                           : TextureUse::kOpacityFromLuminance;
}

void PrepareMapSampler(const Texture& texture, const MaterialMap& parameters, TextureFilter filter,
                       MapSampler& sampler) {
    const double uScale = FiniteOr(parameters.uScale, 1.0);
    const double vScale = FiniteOr(parameters.vScale, 1.0);
    const double uOffset = FiniteOr(parameters.uOffset, 0.0);
    const double vOffset = FiniteOr(parameters.vOffset, 0.0);
    double sine = 0.0, cosine = 1.0;
    SineCosineDegrees(FiniteOr(parameters.rotation, 0.0), sine, cosine);
    // With p = (u - uOffset - 1/2, v + vOffset - 1/2) and R(-angle) = [cos sin; -sin cos]:
    //   s = 1/2 + uScale (cos p.x + sin p.y),   t = 1/2 + vScale (-sin p.x + cos p.y).
    const double px0 = -uOffset - 0.5, py0 = vOffset - 0.5;
    sampler.texture = &texture;
    sampler.su = static_cast<float>(uScale * cosine);
    sampler.sv = static_cast<float>(uScale * sine);
    sampler.s0 = static_cast<float>(0.5 + uScale * (cosine * px0 + sine * py0));
    sampler.tu = static_cast<float>(-(vScale * sine));
    sampler.tv = static_cast<float>(vScale * cosine);
    sampler.t0 = static_cast<float>(0.5 + vScale * (cosine * py0 - sine * px0));
    sampler.wrap = MapWrap(parameters.tiling);
    sampler.filter = filter;
    const bool color = texture.use == TextureUse::kColor;
    sampler.invert = (parameters.tiling & kMapNegative) == 0 ? 0u
                     : color                                 ? 0x00FFFFFFu
                                                             : 0xFFFFFFFFu;
    sampler.opaque = color && (parameters.tiling & kMapIgnoreAlpha) != 0 ? 0xFF000000u : 0u;
}

void MapCoordinates(const MapSampler& sampler, float u, float v, float& s, float& t) {
    s = sampler.su * u + sampler.sv * v + sampler.s0;
    t = sampler.tu * u + sampler.tv * v + sampler.t0;
}

int32_t MapLevelOfDetail(const MapSampler& sampler, float dsdx, float dtdx, float dsdy,
                         float dtdy) {
    if (sampler.texture == nullptr || sampler.texture->levelCount == 0) return 0;
    const auto w = static_cast<float>(sampler.texture->width[0]);
    const auto h = static_cast<float>(sampler.texture->height[0]);
    const float ax = dsdx * w, bx = dtdx * h, ay = dsdy * w, by = dtdy * h;
    const float across = ax * ax + bx * bx, down = ay * ay + by * by;
    if (across != across || down != down) return kLodMinified;
    const float longer = across > down ? across : down;
    // log2 of the squared length from its bits: the exponent, plus the mantissa's top eight
    // bits as the fraction (exact at powers of two, at most 0.09 of a level low between).
    uint32_t bits;
    std::memcpy(&bits, &longer, sizeof bits);
    const auto exponent = static_cast<int32_t>(bits >> 23) - 127;
    if (exponent == -127) return kLodMagnified;  // zero or subnormal
    if (exponent == 128) return kLodMinified;    // infinite
    const int32_t log2Squared = exponent * 256 + static_cast<int32_t>((bits >> 15) & 0xFF);
    return log2Squared >> 1;  // the length's log2 is half the square's
}

uint32_t SampleMap(const MapSampler& sampler, float s, float t, int32_t lod) {
    const Texture* texture = sampler.texture;
    if (texture == nullptr || texture->levelCount == 0) return 0;
    if (sampler.wrap == TextureWrap::kDecal &&
        !(s >= 0.0f && s <= 1.0f && t >= 0.0f && t <= 1.0f)) {
        return 0;
    }
    lod = std::clamp(lod, kLodMagnified, kLodMinified);
    uint32_t texel;
    switch (sampler.wrap) {
        case TextureWrap::kTile:
            texel = Sample<TextureWrap::kTile>(*texture, sampler.filter, s, t, lod);
            break;
        case TextureWrap::kMirror:
            texel = Sample<TextureWrap::kMirror>(*texture, sampler.filter, s, t, lod);
            break;
        default:
            texel = Sample<TextureWrap::kDecal>(*texture, sampler.filter, s, t, lod);
            break;
    }
    return (texel ^ sampler.invert) | sampler.opaque;
}

uint32_t SampleMapAt(const MapSampler& sampler, float u, float v, float dudx, float dvdx,
                     float dudy, float dvdy, float& s, float& t) {
    MapCoordinates(sampler, u, v, s, t);
    const float dsdx = sampler.su * dudx + sampler.sv * dvdx;
    const float dtdx = sampler.tu * dudx + sampler.tv * dvdx;
    const float dsdy = sampler.su * dudy + sampler.sv * dvdy;
    const float dtdy = sampler.tu * dudy + sampler.tv * dvdy;
    return SampleMap(sampler, s, t, MapLevelOfDetail(sampler, dsdx, dtdx, dsdy, dtdy));
}

uint32_t MixMapColor(uint32_t base, uint32_t sample, int32_t amount) {
    const auto alpha = sample >> 24;
    const auto weight =
        (static_cast<uint32_t>(std::clamp(amount, 0, 256)) * alpha + 127) / 255;  // 0 to 256
    return Lerp(base & 0x00FFFFFFu, sample & 0x00FFFFFFu, weight);
}
