// Writes the seed images of image_fuzzer into a folder: each format the decoder reads, in
// the channel layouts its writers make, and the hostile files its tests refuse.
//
//     make_image_corpus FOLDER
#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "chunk_writer.h"
#include "image_bytes.h"

namespace {

// `width` x `height` pixels of `channels` bytes each, a gradient with some noise.
std::vector<uint8_t> Pixels(int width, int height, int channels) {
    std::vector<uint8_t> out;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < channels; ++c)
                out.push_back(static_cast<uint8_t>(x * 16 + y * 8 + c * 40 + ((x * y) % 7)));
        }
    }
    return out;
}

std::vector<uint8_t> ToFunc(int width, int height, int channels, int format) {
    const std::vector<uint8_t> pixels = Pixels(width, height, channels);
    std::vector<uint8_t> out;
    switch (format) {
        case 0:
            stbi_write_png_to_func(image_bytes::AppendBytes, &out, width, height, channels,
                                   pixels.data(), width * channels);
            break;
        case 1:
            stbi_write_bmp_to_func(image_bytes::AppendBytes, &out, width, height, channels,
                                   pixels.data());
            break;
        case 2:
            stbi_write_tga_to_func(image_bytes::AppendBytes, &out, width, height, channels,
                                   pixels.data());
            break;
        default:
            stbi_write_jpg_to_func(image_bytes::AppendBytes, &out, width, height, channels,
                                   pixels.data(), 60);
            break;
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_image_corpus FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    std::filesystem::create_directories(folder);
    std::vector<std::pair<std::string, std::vector<uint8_t>>> seeds;
    const char* names[] = {"png", "bmp", "tga", "jpg"};
    for (int format = 0; format < 4; ++format) {
        for (int channels = 1; channels <= 4; ++channels) {
            seeds.emplace_back(
                std::string("seed-") + std::to_string(channels) + "." + names[format],
                ToFunc(format == 3 ? 19 : 9, 7, channels, format));
        }
    }
    // Without run-length encoding, too.
    stbi_write_tga_with_rle = 0;
    seeds.emplace_back("seed-plain.tga", ToFunc(9, 7, 4, 2));
    const std::vector<std::array<uint8_t, 3>> palette = {
        {0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
    std::vector<uint8_t> a, b;
    for (int i = 0; i < 8 * 6; ++i) {
        a.push_back(static_cast<uint8_t>(i % 5));
        b.push_back(static_cast<uint8_t>((i / 3) % 5));
    }
    seeds.emplace_back("seed-two-frames.gif", image_bytes::Gif(8, 6, palette, {a, b}));
    seeds.emplace_back("seed-inflates.png",
                       image_bytes::PngWithZlibData(16, 16, image_bytes::ZlibZeros(100000)));
    seeds.emplace_back("seed-huge.jpg", image_bytes::JpegHeaderOnly(60000, 60000));
    for (const auto& [name, bytes] : seeds) {
        if (!WriteBytesToFile(bytes, (folder + "/" + name).c_str())) {
            std::fprintf(stderr, "make_image_corpus: cannot write %s/%s\n", folder.c_str(),
                         name.c_str());
            return 1;
        }
    }
    std::printf("make_image_corpus: wrote %zu seeds to %s\n", seeds.size(), folder.c_str());
    return 0;
}
