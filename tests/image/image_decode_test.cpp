// Decoding map images: every format to the same pixels, broken and hostile files refused
// with a reason, and the memory of a scene's maps capped.
#include "image/image_decode.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "image_bytes.h"
#include "load_fixture.h"
#include "scene/printable.h"

namespace {

// 7 x 5 pixels, every one different, alpha varying.
std::vector<uint8_t> Pattern() {
    std::vector<uint8_t> rgba;
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 7; ++x) {
            rgba.insert(rgba.end(), {static_cast<uint8_t>(30 * x), static_cast<uint8_t>(50 * y),
                                     static_cast<uint8_t>(200 - 20 * x),
                                     static_cast<uint8_t>(255 - 10 * (x + y))});
        }
    }
    return rgba;
}

struct Decoded {
    TextureMemory memory;
    DecodedImage image;
    std::string reason;
    bool ok = false;

    Decoded(const std::vector<uint8_t>& bytes, uint64_t limit = kDefaultTextureMemory) {
        memory.limit = limit;
        ok = DecodeImage(bytes.data(), bytes.size(), ImageLimits{}, memory, image, reason);
    }
    ~Decoded() {
        FreeDecodedImage(image, memory);
        EXPECT_EQ(memory.used, 0u) << "decoder memory left counted";
    }
    Decoded(const Decoded&) = delete;
    Decoded& operator=(const Decoded&) = delete;

    std::vector<uint8_t> Pixels() const {
        return ok ? std::vector<uint8_t>(image.rgba, image.rgba + image.width * image.height * 4)
                  : std::vector<uint8_t>();
    }
};

void ExpectOneLineReason(const std::string& reason) {
    EXPECT_FALSE(reason.empty());
    EXPECT_TRUE(IsPrintable(reason)) << reason;
}

TEST(ImageDecode, PngBmpAndTgaGiveBackTheirPixelsExactlyAndJpegClosely) {
    const std::vector<uint8_t> rgba = Pattern();
    struct Case {
        const char* format;
        std::vector<uint8_t> bytes;
    };
    const Case exact[] = {{"PNG", image_bytes::Png(7, 5, rgba)},
                          {"BMP", image_bytes::Bmp(7, 5, rgba)},
                          {"TGA", image_bytes::Tga(7, 5, rgba)}};
    for (const Case& c : exact) {
        SCOPED_TRACE(c.format);
        const Decoded decoded(c.bytes);
        ASSERT_TRUE(decoded.ok) << decoded.reason;
        EXPECT_EQ(decoded.image.width, 7);
        EXPECT_EQ(decoded.image.height, 5);
        EXPECT_EQ(decoded.image.channels, 4);
        EXPECT_EQ(decoded.Pixels(), rgba);
        EXPECT_GE(decoded.memory.used, 7u * 5u * 4u);
    }
    EXPECT_STREQ(ImageFormatName(exact[0].bytes.data(), exact[0].bytes.size()), "PNG");
    EXPECT_STREQ(ImageFormatName(exact[1].bytes.data(), exact[1].bytes.size()), "BMP");
    EXPECT_EQ(ImageFormatName(exact[2].bytes.data(), exact[2].bytes.size()), nullptr);

    const std::vector<uint8_t> jpeg = image_bytes::Jpeg(7, 5, rgba, 100);
    EXPECT_STREQ(ImageFormatName(jpeg.data(), jpeg.size()), "JPEG");
    const Decoded decoded(jpeg);
    ASSERT_TRUE(decoded.ok) << decoded.reason;
    EXPECT_EQ(decoded.image.channels, 3);
    const std::vector<uint8_t> pixels = decoded.Pixels();
    for (size_t i = 0; i < pixels.size(); ++i) {
        if (i % 4 == 3) {
            EXPECT_EQ(pixels[i], 255) << i;  // no alpha in a JPEG: opaque
        } else {
            EXPECT_NEAR(pixels[i], rgba[i], 40) << i;
        }
    }
}

TEST(ImageDecode, JpegPixelsAreTheSameBitsOnEveryBuild) {
    // A smooth 64 x 48 picture with chroma subsampling at quality 90: the decoder's integer
    // transform, upsampling and colour conversion all run. Their checksum is fixed: a build
    // taking another path (SIMD, another decoder) changes it.
    std::vector<uint8_t> rgba;
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64; ++x) {
            rgba.insert(rgba.end(), {static_cast<uint8_t>(x * 4), static_cast<uint8_t>(y * 5),
                                     static_cast<uint8_t>((x * y) & 0xFF), 255});
        }
    }
    const Decoded decoded(image_bytes::Jpeg(64, 48, rgba, 90));
    ASSERT_TRUE(decoded.ok) << decoded.reason;
    uint64_t sum = 0;
    for (const uint8_t b : decoded.Pixels())
        sum = sum * 131 + b;
    EXPECT_EQ(sum, 14971618734746287326u);
}

TEST(ImageDecode, GifGivesItsFirstFrame) {
    const std::vector<std::array<uint8_t, 3>> palette = {
        {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
    std::vector<uint8_t> first, second;
    for (int i = 0; i < 600; ++i) {  // 30 x 20: more than one run of 250 codes
        first.push_back(static_cast<uint8_t>(i % 4));
        second.push_back(3);
    }
    const Decoded decoded(image_bytes::Gif(30, 20, palette, {first, second}));
    ASSERT_TRUE(decoded.ok) << decoded.reason;
    ASSERT_EQ(decoded.image.width, 30);
    ASSERT_EQ(decoded.image.height, 20);
    const std::vector<uint8_t> pixels = decoded.Pixels();
    for (int i = 0; i < 600; ++i) {
        const std::array<uint8_t, 3>& c = palette[static_cast<size_t>(i % 4)];
        EXPECT_EQ(pixels[4 * i], c[0]) << i;
        EXPECT_EQ(pixels[4 * i + 1], c[1]) << i;
        EXPECT_EQ(pixels[4 * i + 2], c[2]) << i;
        EXPECT_EQ(pixels[4 * i + 3], 255) << i;
    }
}

TEST(ImageDecode, APngCutAnywhereBeforeItsEndFailsWithAReason) {
    const std::vector<uint8_t> png = image_bytes::Png(7, 5, Pattern());
    // Every prefix that stops before the end chunk (its last 12 bytes).
    for (size_t length = 0; length + 12 <= png.size(); ++length) {
        const std::vector<uint8_t> cut(png.begin(), png.begin() + static_cast<ptrdiff_t>(length));
        const Decoded decoded(cut);
        EXPECT_FALSE(decoded.ok) << length;
        ExpectOneLineReason(decoded.reason);
        if (length >= 8) {
            EXPECT_EQ(decoded.reason.rfind("corrupt PNG image: ", 0), 0u) << decoded.reason;
        }
    }
}

TEST(ImageDecode, AnEmptyDataChunkBeforeThePixelsIsReadAsNothing) {
    // The pixel data of a PNG may be split over several IDAT chunks, an empty one among them;
    // one that comes first is copied before the decoder has a buffer for the data at all.
    const std::vector<uint8_t> rgba = Pattern();
    std::vector<uint8_t> raw;
    for (int y = 0; y < 5; ++y) {
        raw.push_back(0);  // no filter
        raw.insert(raw.end(), rgba.begin() + y * 28, rgba.begin() + (y + 1) * 28);
    }
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    image_bytes::PngChunk(png, "IHDR", {0, 0, 0, 7, 0, 0, 0, 5, 8, 6, 0, 0, 0});
    image_bytes::PngChunk(png, "IDAT", {});
    image_bytes::PngChunk(png, "IDAT", image_bytes::Zlib(raw));
    image_bytes::PngChunk(png, "IEND", {});
    const Decoded decoded(png);
    ASSERT_TRUE(decoded.ok) << decoded.reason;
    EXPECT_EQ(decoded.Pixels(), rgba);
}

TEST(ImageDecode, SizesPastTheLimitsAreRefusedBeforeAnythingIsDecoded) {
    const Decoded huge(image_bytes::JpegHeaderOnly(60000, 60000));
    EXPECT_FALSE(huge.ok);
    EXPECT_EQ(huge.reason, "60000 x 60000 pixels: larger than the 16384 x 16384 a map may have");
    EXPECT_EQ(huge.memory.peak, 0u);

    // 4000 x 4000 pixels need 61 MiB: more than a limit of 32 MiB.
    const Decoded big(image_bytes::JpegHeaderOnly(4000, 4000), 32u << 20);
    EXPECT_FALSE(big.ok);
    EXPECT_EQ(big.reason,
              "4000 x 4000 pixels need 61.0 MiB, more than the 32.0 MiB of the 32.0 MiB for maps "
              "left");
    EXPECT_EQ(big.memory.peak, 0u);

    const Decoded notImage(std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o', ' ', 'm', 'a', 'p'});
    EXPECT_FALSE(notImage.ok);
    EXPECT_EQ(notImage.reason, "not a PNG, JPEG, BMP, TGA or GIF image");
    const Decoded empty(std::vector<uint8_t>{});
    EXPECT_EQ(empty.reason, "the file is empty");
}

TEST(ImageDecode, AStreamThatInflatesPastItsPixelsStopsAtTheMemoryLimit) {
    // Says 16 x 16 (1 KiB of pixels), holds 8 MiB of zeros compressed to a few KiB.
    const std::vector<uint8_t> bomb =
        image_bytes::PngWithZlibData(16, 16, image_bytes::ZlibZeros(8u << 20));
    ASSERT_LT(bomb.size(), 64u * 1024u);
    const Decoded decoded(bomb, 1u << 20);
    EXPECT_FALSE(decoded.ok);
    ExpectOneLineReason(decoded.reason);
    EXPECT_EQ(decoded.reason.rfind("decoding the PNG image of 16 x 16 pixels needs more than", 0),
              0u)
        << decoded.reason;
    EXPECT_LE(decoded.memory.peak, 1u << 20);

    // The right amount of data decodes, written either way.
    const size_t raw = 16 * (1 + 16 * 4);
    for (const std::vector<uint8_t>& zlib :
         {image_bytes::ZlibZeros(raw), image_bytes::Zlib(std::vector<uint8_t>(raw, 0))}) {
        const Decoded good(image_bytes::PngWithZlibData(16, 16, zlib), 1u << 20);
        EXPECT_TRUE(good.ok) << good.reason;
    }
}

TEST(ImageDecode, TheMapsOfOneSceneShareOneMemoryLimit) {
    // A 256 x 256 PNG: 256 KiB of pixels, a 341 KiB chain of levels.
    const std::string path = FixturePath(".png");
    const std::vector<uint8_t> png = image_bytes::Png(
        256, 256, image_bytes::Checkerboard(256, 256, 8, {255, 0, 0, 255}, {0, 0, 255, 255}));
    ASSERT_TRUE(WriteBytesToFile(png, path.c_str()));

    TextureMemory memory;
    memory.limit = 1u << 20;
    ImageLimits limits;
    std::vector<Texture> textures(4);
    std::string reason;
    ASSERT_TRUE(LoadTextureFile(path, TextureUse::kColor, limits, memory, textures[0], reason))
        << reason;
    EXPECT_EQ(textures[0].width[0], 256);
    EXPECT_EQ(memory.used, textures[0].bytes);
    EXPECT_GT(memory.peak, textures[0].bytes);  // the file and the pixels were held too
    ASSERT_TRUE(LoadTextureFile(path, TextureUse::kColor, limits, memory, textures[1], reason))
        << reason;
    // What is left does not hold the decoder's pixels for a third one: refused.
    EXPECT_FALSE(LoadTextureFile(path, TextureUse::kColor, limits, memory, textures[2], reason));
    ExpectOneLineReason(reason);
    EXPECT_EQ(textures[2].levelCount, 0);
    EXPECT_LE(memory.peak, memory.limit);
    EXPECT_EQ(memory.used, textures[0].bytes + textures[1].bytes);

    // With the side limit lower, a map is scaled down instead.
    limits.maxTextureSide = 64;
    FreeTexture(textures[1], memory);
    ASSERT_TRUE(LoadTextureFile(path, TextureUse::kColor, limits, memory, textures[3], reason))
        << reason;
    EXPECT_EQ(textures[3].width[0], 64);
    EXPECT_EQ(textures[3].sourceWidth, 256);

    EXPECT_FALSE(LoadTextureFile(path + ".missing", TextureUse::kColor, limits, memory, textures[2],
                                 reason));
    EXPECT_EQ(reason, "cannot be opened");
    for (Texture& texture : textures)
        FreeTexture(texture, memory);
    EXPECT_EQ(memory.used, 0u);
    std::remove(path.c_str());
}

}  // namespace
