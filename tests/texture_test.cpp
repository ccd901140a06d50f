// Textures: levels built from pixels, the map transform, wrapping, filtering, memory.
#include "render/texture.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

using Pixel = std::array<uint8_t, 4>;

// `width` x `height` pixels, rows top first, each from `colour(x, y)`.
template <class Colour>
std::vector<uint8_t> Image(int width, int height, Colour colour) {
    std::vector<uint8_t> rgba;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Pixel p = colour(x, y);
            rgba.insert(rgba.end(), p.begin(), p.end());
        }
    }
    return rgba;
}

uint32_t Texel(const Pixel& p) {
    return (uint32_t{p[3]} << 24) | (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
}

int Channel(uint32_t texel, int shift) {
    return static_cast<int>((texel >> shift) & 0xFF);
}

struct Built {
    TextureMemory memory;
    Texture texture;
};

void Build(Built& built, const std::vector<uint8_t>& rgba, int width, int height,
           TextureUse use = TextureUse::kColor, int32_t maxSide = kDefaultMaxTextureSide) {
    std::string reason;
    ASSERT_TRUE(
        BuildTexture(rgba.data(), width, height, use, maxSide, built.memory, built.texture, reason))
        << reason;
}

// A material's map record with these flags and mapping parameters.
MaterialMap Mapping(uint16_t tiling, float uScale = 1, float vScale = 1, float uOffset = 0,
                    float vOffset = 0, float rotation = 0) {
    return MaterialMap{1, nullptr, 1.0f, tiling, uScale, vScale, uOffset, vOffset, rotation};
}

MapSampler Sampler(const Texture& texture, TextureFilter filter, uint16_t tiling = 0) {
    MapSampler sampler;
    PrepareMapSampler(texture, Mapping(tiling), filter, sampler);
    return sampler;
}

const Pixel kBlack = {0, 0, 0, 255};
const Pixel kWhite = {255, 255, 255, 255};

// An 8 x 8 checkerboard of single texels, black at the image's top left.
std::vector<uint8_t> Checkerboard() {
    return Image(8, 8, [](int x, int y) { return (x + y) % 2 == 0 ? kBlack : kWhite; });
}

TEST(Texture, NearestSamplesGiveTheTexelUnderThePointWithTheImageTopAtTEqualsOne) {
    // Every pixel distinct: red from the column, green from the row (from the top).
    const auto colour = [](int x, int y) {
        return Pixel{static_cast<uint8_t>(40 * x), static_cast<uint8_t>(40 * y), 7, 255};
    };
    Built built;
    Build(built, Image(5, 3, colour), 5, 3);
    const MapSampler sampler = Sampler(built.texture, TextureFilter::kNearest);
    for (int x = 0; x < 5; ++x) {
        for (int y = 0; y < 3; ++y) {
            // Anywhere inside the texel, not only at its centre.
            for (const float inside : {0.02f, 0.5f, 0.98f}) {
                const float s = (static_cast<float>(x) + inside) / 5.0f;
                const float t = (static_cast<float>(2 - y) + inside) / 3.0f;
                EXPECT_EQ(SampleMap(sampler, s, t, 0), Texel(colour(x, y)))
                    << x << " " << y << " " << inside;
            }
        }
    }
    EXPECT_EQ(SampleMap(sampler, 0.0f, 1.0f - 1e-6f, 0), Texel(colour(0, 0)));  // top left
}

TEST(Texture, CheckerboardSamplesExactlyAtTexelsAndBilinearWithinOneStepOfTheExactMix) {
    Built built;
    Build(built, Checkerboard(), 8, 8);
    const MapSampler nearest = Sampler(built.texture, TextureFilter::kNearest);
    const MapSampler bilinear = Sampler(built.texture, TextureFilter::kBilinear);
    for (int x = 0; x < 8; ++x) {
        for (int y = 0; y < 8; ++y) {
            // Texture row y is image row 7 - y.
            const uint32_t expected = Texel((x + 7 - y) % 2 == 0 ? kBlack : kWhite);
            const float s = (static_cast<float>(x) + 0.5f) / 8.0f;
            const float t = (static_cast<float>(y) + 0.5f) / 8.0f;
            EXPECT_EQ(SampleMap(nearest, s, t, 0), expected);
            EXPECT_EQ(SampleMap(bilinear, s, t, 0), expected);  // a texel centre is the texel
        }
    }
    // Between centres: the exact mix of the four texels around the point, the image tiled.
    const auto white = [](double x, double y) {
        const auto ix = static_cast<int64_t>(std::floor(x)),
                   iy = static_cast<int64_t>(std::floor(y));
        return (((ix % 8 + 8) % 8) + 7 - ((iy % 8 + 8) % 8)) % 2 == 0 ? 0.0 : 255.0;
    };
    for (int i = 0; i < 200; ++i) {
        const float s = -1.3f + 0.0173f * static_cast<float>(i);
        const float t = 0.9f - 0.0091f * static_cast<float>(i);
        const double x = static_cast<double>(s) * 8.0 - 0.5;
        const double y = static_cast<double>(t) * 8.0 - 0.5;
        const double fx = x - std::floor(x), fy = y - std::floor(y);
        const double x0 = std::floor(x), y0 = std::floor(y);
        const double exact = white(x0, y0) * (1 - fx) * (1 - fy) +
                             white(x0 + 1, y0) * fx * (1 - fy) + white(x0, y0 + 1) * (1 - fx) * fy +
                             white(x0 + 1, y0 + 1) * fx * fy;
        const uint32_t sample = SampleMap(bilinear, s, t, 0);
        EXPECT_NEAR(Channel(sample, 16), exact, 2.0) << s << " " << t;
        EXPECT_EQ(Channel(sample, 16), Channel(sample, 8));
        EXPECT_EQ(sample >> 24, 255u);
    }
}

TEST(Texture, TilingFlagsRepeatMirrorOrLeaveNothingOutsideTheImage) {
    struct Case {
        uint16_t tiling;
        TextureWrap wrap;
    };
    const Case cases[] = {
        {0x0000, TextureWrap::kTile},   {0x0001, TextureWrap::kTile},  // decal bit alone: "both"
        {0x0002, TextureWrap::kMirror}, {0x0011, TextureWrap::kDecal},
        {0x0010, TextureWrap::kDecal},  {0x0012, TextureWrap::kDecal},
        {0x0008, TextureWrap::kTile},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MapWrap(c.tiling), c.wrap) << c.tiling;

    // Four columns of distinct colours.
    const auto colour = [](int x, int) {
        return Pixel{static_cast<uint8_t>(50 + 50 * x), 0, 0, 255};
    };
    Built built;
    Build(built, Image(4, 1, colour), 4, 1);
    const auto column = [&](int x) { return Texel(colour(x, 0)); };
    const MapSampler tile = Sampler(built.texture, TextureFilter::kNearest, 0x0000);
    const MapSampler mirror = Sampler(built.texture, TextureFilter::kNearest, 0x0002);
    const MapSampler decal = Sampler(built.texture, TextureFilter::kNearest, 0x0011);
    // s at the centre of column 0 of each copy: ... -1, 0 (the image), 1, 2 ...
    for (int copy = -3; copy <= 3; ++copy) {
        const bool mirrored = copy % 2 != 0;
        for (int x = 0; x < 4; ++x) {
            const float s = static_cast<float>(copy) + (static_cast<float>(x) + 0.5f) / 4.0f;
            EXPECT_EQ(SampleMap(tile, s, 0.5f, 0), column(x)) << s;
            EXPECT_EQ(SampleMap(mirror, s, 0.5f, 0), column(mirrored ? 3 - x : x)) << s;
            EXPECT_EQ(SampleMap(decal, s, 0.5f, 0), copy == 0 ? column(x) : 0u) << s;
        }
    }
    EXPECT_EQ(SampleMap(decal, 0.5f, 1.5f, 0), 0u);
    EXPECT_EQ(SampleMap(decal, 0.5f, -0.01f, 0), 0u);
    EXPECT_EQ(SampleMap(decal, 1.0f, 1.0f, 0), column(3));  // the far edge is inside
    // A bilinear sample of a decal map at its edge reads no texel of the other side.
    const MapSampler decalBilinear = Sampler(built.texture, TextureFilter::kBilinear, 0x0011);
    EXPECT_EQ(SampleMap(decalBilinear, 0.0f, 0.5f, 0), column(0));
    EXPECT_EQ(SampleMap(decalBilinear, 1.0f, 0.5f, 0), column(3));
}

TEST(Texture, NegativeInvertsColourOrOpacityAndIgnoreAlphaMakesSamplesOpaque) {
    const Pixel pixel = {10, 200, 30, 100};
    Built built;
    Build(built, Image(1, 1, [&](int, int) { return pixel; }), 1, 1);
    EXPECT_EQ(built.texture.translucent, 1);
    EXPECT_EQ(SampleMap(Sampler(built.texture, TextureFilter::kBilinear), 0.5f, 0.5f, 0),
              0x640AC81Eu);
    EXPECT_EQ(SampleMap(Sampler(built.texture, TextureFilter::kBilinear, 0x0008), 0.5f, 0.5f, 0),
              0x64F537E1u);
    EXPECT_EQ(SampleMap(Sampler(built.texture, TextureFilter::kBilinear, 0x0100), 0.5f, 0.5f, 0),
              0xFF0AC81Eu);

    // Opacity maps: luminance, or alpha with the alpha-source bit; negative inverts it.
    EXPECT_EQ(OpacityUse(0x0000), TextureUse::kOpacityFromLuminance);
    EXPECT_EQ(OpacityUse(0x0040), TextureUse::kOpacityFromAlpha);
    Built luminance, alpha;
    Build(luminance, Image(1, 1, [&](int, int) { return pixel; }), 1, 1,
          TextureUse::kOpacityFromLuminance);
    Build(alpha, Image(1, 1, [&](int, int) { return pixel; }), 1, 1, TextureUse::kOpacityFromAlpha);
    const uint32_t grey = (77 * 10 + 150 * 200 + 29 * 30 + 128) >> 8;  // 122
    EXPECT_EQ(SampleMap(Sampler(luminance.texture, TextureFilter::kNearest), 0.5f, 0.5f, 0),
              grey * 0x01010101u);
    EXPECT_EQ(SampleMap(Sampler(alpha.texture, TextureFilter::kNearest), 0.5f, 0.5f, 0),
              100u * 0x01010101u);
    EXPECT_EQ(SampleMap(Sampler(alpha.texture, TextureFilter::kNearest, 0x0008), 0.5f, 0.5f, 0),
              155u * 0x01010101u);
    Built white;
    Build(white, Image(1, 1, [](int, int) { return kWhite; }), 1, 1,
          TextureUse::kOpacityFromLuminance);
    EXPECT_EQ(SampleMap(Sampler(white.texture, TextureFilter::kNearest), 0.5f, 0.5f, 0),
              0xFFFFFFFFu);
}

TEST(Texture, MapTransformOffsetsThenTurnsThenScalesAboutTheImageCentre) {
    struct Case {
        const char* what;
        MaterialMap parameters;
        float u, v;
        float s, t;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const Case cases[] = {
        {"identity", Mapping(0), 0.3f, 0.7f, 0.3f, 0.7f},
        {"u scale 2 about the centre", Mapping(0, 2, 1, 0, 0, 0), 0.75f, 0.25f, 1.0f, 0.25f},
        {"v scale 4", Mapping(0, 1, 4, 0, 0, 0), 0.5f, 0.25f, 0.5f, -0.5f},
        {"u offset moves u back", Mapping(0, 1, 1, 0.25f, 0, 0), 0.5f, 0.5f, 0.25f, 0.5f},
        {"v offset moves v on", Mapping(0, 1, 1, 0, 0.25f, 0), 0.5f, 0.5f, 0.5f, 0.75f},
        {"quarter turn", Mapping(0, 1, 1, 0, 0, 90), 1.0f, 0.5f, 0.5f, 0.0f},
        {"quarter turn, other axis", Mapping(0, 1, 1, 0, 0, 90), 0.5f, 1.0f, 1.0f, 0.5f},
        {"half turn", Mapping(0, 1, 1, 0, 0, 180), 0.0f, 0.0f, 1.0f, 1.0f},
        {"turn of -270 is a quarter turn", Mapping(0, 1, 1, 0, 0, -270), 1.0f, 0.5f, 0.5f, 0.0f},
        {"offset, turn, scale in that order", Mapping(0, 2, 1, 0.25f, 0, 90), 0.5f, 0.5f, 0.5f,
         0.75f},
        {"not finite counts as default", Mapping(0, nan, inf, -inf, nan, nan), 0.3f, 0.7f, 0.3f,
         0.7f},
    };
    Built built;
    Build(built, Image(1, 1, [](int, int) { return kWhite; }), 1, 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MapSampler sampler;
        PrepareMapSampler(built.texture, c.parameters, TextureFilter::kBilinear, sampler);
        float s = 0, t = 0;
        MapCoordinates(sampler, c.u, c.v, s, t);
        EXPECT_NEAR(s, c.s, 1e-6f);
        EXPECT_NEAR(t, c.t, 1e-6f);
    }
    // Quarter turns are exact: no residue of a sine or cosine that is not 0 or 1.
    MapSampler turned;
    PrepareMapSampler(built.texture, Mapping(0, 1, 1, 0, 0, 90), TextureFilter::kBilinear, turned);
    EXPECT_EQ(turned.su, 0.0f);
    EXPECT_EQ(turned.sv, 1.0f);
    EXPECT_EQ(turned.tu, -1.0f);
    EXPECT_EQ(turned.tv, 0.0f);
    // An arbitrary angle agrees with the C library's sine and cosine to float precision.
    PrepareMapSampler(built.texture, Mapping(0, 1, 1, 0, 0, 33.3f), TextureFilter::kBilinear,
                      turned);
    const double radians = static_cast<double>(33.3f) * 3.14159265358979323846 / 180.0;
    EXPECT_NEAR(static_cast<double>(turned.su), std::cos(radians), 1e-7);
    EXPECT_NEAR(static_cast<double>(turned.sv), std::sin(radians), 1e-7);
}

TEST(Texture, LevelsHalveDownToOneTexelAndTheLevelOfDetailPicksThem) {
    Built built;
    Build(built, Checkerboard(), 8, 8);
    const Texture& texture = built.texture;
    ASSERT_EQ(texture.levelCount, 4);
    const int32_t sides[] = {8, 4, 2, 1};
    for (int level = 0; level < 4; ++level) {
        EXPECT_EQ(texture.width[level], sides[level]);
        EXPECT_EQ(texture.height[level], sides[level]);
    }
    EXPECT_EQ(texture.bytes, (64u + 16u + 4u + 1u) * 4u);
    EXPECT_EQ(built.memory.used, texture.bytes);
    // Every 2 x 2 block of a one-texel checkerboard averages to the same grey.
    for (int level = 1; level < 4; ++level) {
        for (int i = 0; i < sides[level] * sides[level]; ++i)
            EXPECT_EQ(texture.texels[texture.offset[level] + i], 0xFF808080u) << level;
    }

    // One texel per pixel is level 0; four level-0 texels per pixel is level 2, exactly.
    const MapSampler sampler = Sampler(texture, TextureFilter::kTrilinear);
    EXPECT_EQ(MapLevelOfDetail(sampler, 1.0f / 8, 0, 0, 1.0f / 8), 0);
    EXPECT_EQ(MapLevelOfDetail(sampler, 4.0f / 8, 0, 0, 4.0f / 8), 2 * 256);
    EXPECT_EQ(MapLevelOfDetail(sampler, 0, 2.0f / 8, 0.5f / 8, 0), 256);  // the longer step
    EXPECT_LT(MapLevelOfDetail(sampler, 0, 0, 0, 0), -1000);              // magnified
    EXPECT_GT(MapLevelOfDetail(sampler, std::numeric_limits<float>::quiet_NaN(), 0, 0, 0), 100000);
    // Between powers of two the level of detail rises with the step, never by more than the
    // approximation's 0.09 of a level off log2.
    int32_t previous = -1;
    for (float step = 1.0f; step < 64.0f; step *= 1.07f) {
        const int32_t lod = MapLevelOfDetail(sampler, step / 8, 0, 0, 0);
        EXPECT_GE(lod, previous);
        EXPECT_NEAR(lod / 256.0, std::log2(step), 0.09) << step;
        previous = lod;
    }

    const float s = 0.5f / 8, t = 1.5f / 8;  // the centre of a black texel of level 0
    EXPECT_EQ(SampleMap(sampler, s, t, -5000), Texel(kBlack));
    EXPECT_EQ(SampleMap(sampler, s, t, 256), 0xFF808080u);
    EXPECT_EQ(SampleMap(sampler, s, t, 100000), 0xFF808080u);
    const uint32_t half = SampleMap(sampler, s, t, 128);  // half way to level 1: dark grey
    EXPECT_EQ(Channel(half, 16), 64);
    // Nearest and bilinear filtering take the nearest level.
    EXPECT_EQ(SampleMap(Sampler(texture, TextureFilter::kNearest), s, t, 127), 0xFF000000u);
    EXPECT_EQ(SampleMap(Sampler(texture, TextureFilter::kNearest), s, t, 128), 0xFF808080u);
    EXPECT_EQ(SampleMap(Sampler(texture, TextureFilter::kBilinear), s, t, 128), 0xFF808080u);
}

TEST(Texture, OddAndOneWideSidesHalveWithoutReadingOutside) {
    Built built;
    Build(built,
          Image(5, 1,
                [](int x, int) {
                    return Pixel{static_cast<uint8_t>(x * 60), 0, 0, 255};
                }),
          5, 1);
    const Texture& texture = built.texture;
    ASSERT_EQ(texture.levelCount, 3);  // 5 x 1, 2 x 1, 1 x 1
    EXPECT_EQ(texture.width[1], 2);
    EXPECT_EQ(texture.height[1], 1);
    // Columns 0-1 and 2-3 make level 1 (column 4 is dropped); level 2 is their mean.
    EXPECT_EQ(Channel(texture.texels[texture.offset[1]], 16), 30);
    EXPECT_EQ(Channel(texture.texels[texture.offset[1] + 1], 16), 150);
    EXPECT_EQ(Channel(texture.texels[texture.offset[2]], 16), 90);
}

TEST(Texture, ImagesPastTheSideLimitOrTheMemoryLeftAreScaledDownByPowersOfTwo) {
    // 64 x 32, left half black and right half white.
    const std::vector<uint8_t> rgba =
        Image(64, 32, [](int x, int) { return x < 32 ? kBlack : kWhite; });
    Built limited;
    Build(limited, rgba, 64, 32, TextureUse::kColor, 16);
    EXPECT_EQ(limited.texture.width[0], 16);
    EXPECT_EQ(limited.texture.height[0], 8);
    EXPECT_EQ(limited.texture.sourceWidth, 64);
    EXPECT_EQ(limited.texture.sourceHeight, 32);
    EXPECT_EQ(limited.texture.texels[0], Texel(kBlack));
    EXPECT_EQ(limited.texture.texels[15], Texel(kWhite));

    // Room for the chain of a 32 x 16 level 0 but not of 64 x 32.
    Built tight;
    tight.memory.limit = (64 * 32) * 4;
    Build(tight, rgba, 64, 32);
    EXPECT_EQ(tight.texture.width[0], 32);
    EXPECT_LE(tight.memory.used, tight.memory.limit);

    // Not even a 1 x 1 texture fits: refused with a reason, nothing held.
    TextureMemory none;
    none.limit = 3;
    Texture texture;
    std::string reason;
    EXPECT_FALSE(
        BuildTexture(rgba.data(), 64, 32, TextureUse::kColor, 4096, none, texture, reason));
    EXPECT_EQ(texture.levelCount, 0);
    EXPECT_EQ(none.used, 0u);
    EXPECT_NE(reason.find("for maps left"), std::string::npos) << reason;

    // Freeing gives the memory back; the peak stays.
    const uint64_t held = tight.memory.used;
    FreeTexture(tight.texture, tight.memory);
    EXPECT_EQ(tight.memory.used, 0u);
    EXPECT_EQ(tight.memory.peak, held);
    EXPECT_EQ(tight.texture.levelCount, 0);
}

TEST(Texture, AnyCoordinateIsSafeAndSamplesAreTheSameBitsOnEveryBuild) {
    const auto colour = [](int x, int y) {
        return Pixel{static_cast<uint8_t>(x * 37 + y * 11), static_cast<uint8_t>(x * y * 5),
                     static_cast<uint8_t>(255 - x * 13), static_cast<uint8_t>(128 + x + y)};
    };
    Built built;
    Build(built, Image(13, 9, colour), 13, 9);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const float extremes[] = {nan, inf, -inf, 3e38f, -3e38f, 1e9f, -1e9f, 16777217.0f};
    // A checksum of samples over every filter, wrap and transform: a build that rounds one
    // operation differently (a fused multiply-add, another sine) changes it.
    uint64_t sum = 0;
    for (const TextureFilter filter :
         {TextureFilter::kNearest, TextureFilter::kBilinear, TextureFilter::kTrilinear}) {
        for (const uint16_t tiling : std::array<uint16_t, 4>{0x0000, 0x0002, 0x0011, 0x0008}) {
            MapSampler sampler;
            PrepareMapSampler(built.texture, Mapping(tiling, 1.7f, -2.3f, 0.11f, -0.37f, 21.5f),
                              filter, sampler);
            for (int i = 0; i < 400; ++i) {
                float s = 0, t = 0;
                MapCoordinates(sampler, -1.5f + 0.0123f * static_cast<float>(i),
                               0.7f - 0.0071f * static_cast<float>(i), s, t);
                const int32_t lod = MapLevelOfDetail(sampler, 0.013f * static_cast<float>(i % 7),
                                                     0.002f, -0.001f, 0.021f);
                sum = sum * 31 + SampleMap(sampler, s, t, lod);
            }
            for (const float e : extremes) {
                SampleMap(sampler, e, 0.5f, 0);
                SampleMap(sampler, 0.5f, e, 300);
                SampleMap(sampler, e, e, MapLevelOfDetail(sampler, e, e, e, e));
            }
        }
    }
    EXPECT_EQ(sum, 14682692197028732490u);
}

TEST(Texture, MixLaysTheSampleOverTheColourByAmountAndAlpha) {
    const uint32_t base = 0x00204060u;
    EXPECT_EQ(MixMapColor(base, 0xFFA0C0E0u, 256), 0x00A0C0E0u);
    EXPECT_EQ(MixMapColor(base, 0xFFA0C0E0u, 0), base);
    EXPECT_EQ(MixMapColor(base, 0x00A0C0E0u, 256), base);  // transparent: the colour shows
    EXPECT_EQ(MixMapColor(base, 0xFFA0C0E0u, 128), 0x006080A0u);
    EXPECT_EQ(MixMapColor(base, 0x80A0C0E0u, 256), 0x006181A1u);  // 128 / 255 of it
    EXPECT_EQ(MixMapColor(base, 0, 256), base);                   // outside a decal map
}

}  // namespace
