// Image files written from code, for test fixtures, fuzzing seeds and the bundled map: PNG,
// BMP, TGA and JPEG through stb_image_write (its functions static to each program that
// includes this), GIF through a plain writer of its own, and PNG chunks assembled by hand for
// files that no writer would make (wrong sizes, streams that inflate past their pixels).
//
// Pixels are 4 bytes (red, green, blue, alpha), rows top first.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

namespace image_bytes {

inline void AppendBytes(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    const auto* bytes = static_cast<const uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
}

inline std::vector<uint8_t> Png(int width, int height, const std::vector<uint8_t>& rgba) {
    std::vector<uint8_t> out;
    stbi_write_png_to_func(AppendBytes, &out, width, height, 4, rgba.data(), width * 4);
    return out;
}

inline std::vector<uint8_t> Bmp(int width, int height, const std::vector<uint8_t>& rgba) {
    std::vector<uint8_t> out;
    stbi_write_bmp_to_func(AppendBytes, &out, width, height, 4, rgba.data());
    return out;
}

// Run-length encoded.
inline std::vector<uint8_t> Tga(int width, int height, const std::vector<uint8_t>& rgba) {
    std::vector<uint8_t> out;
    stbi_write_tga_to_func(AppendBytes, &out, width, height, 4, rgba.data());
    return out;
}

// Colour only (the alpha bytes are skipped); lossy.
inline std::vector<uint8_t> Jpeg(int width, int height, const std::vector<uint8_t>& rgba,
                                 int quality) {
    std::vector<uint8_t> rgb;
    for (size_t i = 0; i < rgba.size(); i += 4)
        rgb.insert(rgb.end(), rgba.begin() + static_cast<std::ptrdiff_t>(i),
                   rgba.begin() + static_cast<std::ptrdiff_t>(i + 3));
    std::vector<uint8_t> out;
    stbi_write_jpg_to_func(AppendBytes, &out, width, height, 3, rgb.data(), quality);
    return out;
}

// A GIF of `frames` (each width * height palette indices, rows top first) over `palette`
// (2 to 256 colours). The codes are written 9 bits wide, each index a literal, with a clear
// code every 250 of them so that the width never grows: valid for every decoder, if large.
inline std::vector<uint8_t> Gif(int width, int height,
                                const std::vector<std::array<uint8_t, 3>>& palette,
                                const std::vector<std::vector<uint8_t>>& frames) {
    std::vector<uint8_t> out = {'G', 'I', 'F', '8', '9', 'a'};
    const auto u16 = [&](int value) {
        out.push_back(static_cast<uint8_t>(value & 0xFF));
        out.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
    };
    int tableBits = 1;
    while ((1u << tableBits) < palette.size())
        ++tableBits;
    u16(width);
    u16(height);
    out.push_back(static_cast<uint8_t>(0xF0 | (tableBits - 1)));  // global table, 8-bit colour
    out.push_back(0);                                             // background index
    out.push_back(0);                                             // aspect
    for (size_t i = 0; i < (1u << tableBits); ++i) {
        const std::array<uint8_t, 3> colour = i < palette.size() ? palette[i] : palette[0];
        out.insert(out.end(), colour.begin(), colour.end());
    }
    for (const std::vector<uint8_t>& indices : frames) {
        out.push_back(0x2C);  // image descriptor: the whole screen, no local table
        u16(0);
        u16(0);
        u16(width);
        u16(height);
        out.push_back(0);
        out.push_back(8);  // minimum code size: clear 256, end 257, codes 9 bits wide
        std::vector<uint8_t> data;
        uint32_t bits = 0;
        int count = 0;
        const auto code = [&](uint32_t value) {
            bits |= value << count;
            count += 9;
            while (count >= 8) {
                data.push_back(static_cast<uint8_t>(bits & 0xFF));
                bits >>= 8;
                count -= 8;
            }
        };
        for (size_t i = 0; i < indices.size(); ++i) {
            if (i % 250 == 0) code(256);
            code(indices[i]);
        }
        code(257);
        if (count > 0) data.push_back(static_cast<uint8_t>(bits & 0xFF));
        for (size_t i = 0; i < data.size(); i += 255) {
            const size_t n = data.size() - i < 255 ? data.size() - i : 255;
            out.push_back(static_cast<uint8_t>(n));
            out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(i),
                       data.begin() + static_cast<std::ptrdiff_t>(i + n));
        }
        out.push_back(0);
    }
    out.push_back(0x3B);
    return out;
}

// One PNG chunk: length, type, data, CRC.
inline void PngChunk(std::vector<uint8_t>& out, const char type[4],
                     const std::vector<uint8_t>& data) {
    const auto u32 = [&](uint32_t value) {
        for (int shift = 24; shift >= 0; shift -= 8)
            out.push_back(static_cast<uint8_t>((value >> shift) & 0xFF));
    };
    u32(static_cast<uint32_t>(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = start; i < out.size(); ++i) {
        crc ^= out[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    u32(crc ^ 0xFFFFFFFFu);
}

// An 8-bit RGBA PNG that says it is `width` x `height` and whose one IDAT chunk holds the
// zlib stream `zlib`.
inline std::vector<uint8_t> PngWithZlibData(uint32_t width, uint32_t height,
                                            const std::vector<uint8_t>& zlib) {
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    for (const uint32_t value : {width, height}) {
        for (int shift = 24; shift >= 0; shift -= 8)
            header.push_back(static_cast<uint8_t>((value >> shift) & 0xFF));
    }
    header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no interlace
    PngChunk(out, "IHDR", header);
    PngChunk(out, "IDAT", zlib);
    PngChunk(out, "IEND", {});
    return out;
}

// `raw` (filter bytes and pixels) compressed as a zlib stream.
inline std::vector<uint8_t> Zlib(std::vector<uint8_t> raw) {
    int length = 0;
    unsigned char* packed =
        stbi_zlib_compress(raw.data(), static_cast<int>(raw.size()), &length, 5);
    std::vector<uint8_t> out(packed, packed + length);
    STBIW_FREE(packed);
    return out;
}

// A zlib stream of `count` zero bytes (count at least 1), 13 bits per 258 of them: one
// fixed-code block of a literal 0 and matches of length 258 at distance 1.
inline std::vector<uint8_t> ZlibZeros(size_t count) {
    std::vector<uint8_t> out = {0x78, 0x01};
    uint32_t bits = 0;
    int used = 0;
    const auto put = [&](uint32_t value, int n) {  // n bits, least significant first
        bits |= value << used;
        used += n;
        while (used >= 8) {
            out.push_back(static_cast<uint8_t>(bits & 0xFF));
            bits >>= 8;
            used -= 8;
        }
    };
    const auto code = [&](uint32_t value, int n) {  // a Huffman code, most significant first
        for (int i = n - 1; i >= 0; --i)
            put((value >> i) & 1u, 1);
    };
    put(1, 1);      // the final block
    put(1, 2);      // fixed codes
    code(0x30, 8);  // literal 0
    size_t left = count - 1;
    for (; left >= 258; left -= 258) {
        code(0xC5, 8);  // length 258 (symbol 285)
        code(0, 5);     // distance 1
    }
    for (; left > 0; --left)
        code(0x30, 8);
    code(0, 7);  // end of block
    if (used > 0) out.push_back(static_cast<uint8_t>(bits & 0xFF));
    const auto adler = static_cast<uint32_t>(count % 65521) << 16 | 1u;
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>((adler >> shift) & 0xFF));
    return out;
}

// A JPEG that is only a start of frame: 8 bits, `width` x `height`, three components. Enough
// for a header to be read; nothing to decode.
inline std::vector<uint8_t> JpegHeaderOnly(uint16_t width, uint16_t height) {
    return {0xFF,
            0xD8,  // start of image
            0xFF,
            0xC0,
            0x00,
            0x11,
            0x08,  // baseline frame
            static_cast<uint8_t>(height >> 8),
            static_cast<uint8_t>(height & 0xFF),
            static_cast<uint8_t>(width >> 8),
            static_cast<uint8_t>(width & 0xFF),
            0x03,
            0x01,
            0x22,
            0x00,
            0x02,
            0x11,
            0x01,
            0x03,
            0x11,
            0x01,  // Y, Cb, Cr
            0xFF,
            0xD9};  // end of image
}

// A `width` x `height` checkerboard of `cell`-pixel squares: `a` at the top left, then `b`.
inline std::vector<uint8_t> Checkerboard(int width, int height, int cell, std::array<uint8_t, 4> a,
                                         std::array<uint8_t, 4> b) {
    std::vector<uint8_t> rgba;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::array<uint8_t, 4>& c = ((x / cell + y / cell) % 2 == 0) ? a : b;
            rgba.insert(rgba.end(), c.begin(), c.end());
        }
    }
    return rgba;
}

}  // namespace image_bytes
