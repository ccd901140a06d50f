// The PNG writer: every size decodes to its pixels exactly through libpng, the chunks are
// as stated, and sizes it cannot write and failed writes are reported.
#include "app/png_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image_files.h"

namespace {

namespace fs = std::filesystem;

fs::path TempDir() {
    const char* base = std::getenv("TRELLIS_TEST_TMP");
    fs::path dir = fs::path(base ? base : fs::temp_directory_path().string()) / "png_writer";
    fs::create_directories(dir);
    return dir;
}

// Pixels that deflate badly (so that a large frame needs several IDAT chunks), from a fixed
// seed; every fourth a run of the viewer's line colour.
std::vector<uint32_t> Pixels(size_t count, uint32_t seed) {
    std::vector<uint32_t> pixels(count);
    uint32_t x = seed;
    for (size_t i = 0; i < count; ++i) {
        x = x * 1664525u + 1013904223u;
        pixels[i] = (i / 7) % 4 == 0 ? 0x0064FF96u : x >> 8;
    }
    return pixels;
}

bool Write(const fs::path& path, const std::vector<uint32_t>& pixels, int32_t width, int32_t height,
           std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    std::vector<uint8_t> rgb(3 * pixels.size());
    PixelsToRgb(pixels.data(), pixels.size(), rgb.data());
    const bool written = WritePng(file, rgb.data(), width, height, error);
    return std::fclose(file) == 0 && written;
}

// The chunk types of a PNG file in order, with their lengths.
std::vector<std::pair<std::string, uint32_t>> Chunks(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    std::vector<std::pair<std::string, uint32_t>> chunks;
    for (size_t at = 8; at + 12 <= bytes.size();) {
        const uint32_t length = uint32_t{bytes[at]} << 24 | uint32_t{bytes[at + 1]} << 16 |
                                uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
        chunks.emplace_back(std::string(bytes.begin() + static_cast<long>(at) + 4,
                                        bytes.begin() + static_cast<long>(at) + 8),
                            length);
        at += 12 + static_cast<size_t>(length);
    }
    return chunks;
}

TEST(PngWriter, EverySizeDecodesToItsPixelsExactly) {
    const struct {
        int32_t width, height;
    } sizes[] = {{1, 1}, {7, 3}, {16, 16}, {73, 73}, {640, 480}, {4096, 2}, {1, 3000}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
        const std::vector<uint32_t> pixels =
            Pixels(static_cast<size_t>(size.width) * static_cast<size_t>(size.height), 17u);
        const fs::path path = TempDir() / "size.png";
        std::string error;
        ASSERT_TRUE(Write(path, pixels, size.width, size.height, error)) << error;
        int32_t width = 0, height = 0;
        EXPECT_EQ(ReadPng(path, width, height), pixels);
        EXPECT_EQ(width, size.width);
        EXPECT_EQ(height, size.height);
        // IHDR, sRGB, IDAT chunks of 8 KiB but the last, IEND.
        const auto chunks = Chunks(path);
        ASSERT_GE(chunks.size(), 4u);
        EXPECT_EQ(chunks[0], std::make_pair(std::string("IHDR"), 13u));
        EXPECT_EQ(chunks[1], std::make_pair(std::string("sRGB"), 1u));
        EXPECT_EQ(chunks.back(), std::make_pair(std::string("IEND"), 0u));
        for (size_t i = 2; i + 1 < chunks.size(); ++i) {
            EXPECT_EQ(chunks[i].first, "IDAT");
            if (i + 2 < chunks.size()) {
                EXPECT_EQ(chunks[i].second, 8192u) << i;
            }
        }
    }
}

TEST(PngWriter, SizesOutsideAPngAndFailedWritesAreReported) {
    const std::vector<uint8_t> rgb(3 * 70000, 0);
    std::string error;
    for (const auto& size :
         {std::pair{0, 5}, std::pair{5, 0}, std::pair{-1, 1}, std::pair{65536, 1}}) {
        std::FILE* file = std::fopen((TempDir() / "bad.png").c_str(), "wb");
        ASSERT_NE(file, nullptr);
        error.clear();
        EXPECT_FALSE(WritePng(file, rgb.data(), size.first, size.second, error));
        EXPECT_EQ(error, "frame size out of range");
        std::fclose(file);
    }
    // A device that takes no byte: the write fails with the system's reason.
    std::FILE* full = std::fopen("/dev/full", "wb");
    if (full == nullptr) GTEST_SKIP() << "no /dev/full";
    const std::vector<uint32_t> pixels = Pixels(640 * 480, 3u);
    std::vector<uint8_t> bytes(3 * pixels.size());
    PixelsToRgb(pixels.data(), pixels.size(), bytes.data());
    error.clear();
    EXPECT_FALSE(WritePng(full, bytes.data(), 640, 480, error));
    EXPECT_EQ(error, "No space left on device");
    std::fclose(full);
}

}  // namespace
