// Saving a frame on Windows, where the program links no image library: a PNG written
// directly, its pixel rows in stored (uncompressed) deflate blocks. The file is a little
// larger than a compressed one and is read by every PNG reader.
#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "app/frame_file.h"

namespace {

uint32_t Crc32(const uint8_t* bytes, size_t length, uint32_t crc = 0) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (size_t i = 0; i < length; ++i)
        crc = table[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void PutU32(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value >> 24));
    out.push_back(static_cast<uint8_t>(value >> 16));
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

void PutChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    PutU32(out, static_cast<uint32_t>(data.size()));
    std::vector<uint8_t> typed(type, type + 4);
    typed.insert(typed.end(), data.begin(), data.end());
    out.insert(out.end(), typed.begin(), typed.end());
    PutU32(out, Crc32(typed.data(), typed.size()));
}

std::vector<uint8_t> EncodePng(const uint32_t* pixels, int32_t width, int32_t height) {
    // Each row: filter byte 0, then R, G, B.
    std::vector<uint8_t> raw;
    raw.reserve(static_cast<size_t>(height) * (static_cast<size_t>(width) * 3 + 1));
    for (int32_t y = 0; y < height; ++y) {
        raw.push_back(0);
        for (int32_t x = 0; x < width; ++x) {
            uint32_t p = pixels[static_cast<size_t>(y) * static_cast<size_t>(width) +
                                static_cast<size_t>(x)];
            raw.push_back(static_cast<uint8_t>(p >> 16));
            raw.push_back(static_cast<uint8_t>(p >> 8));
            raw.push_back(static_cast<uint8_t>(p));
        }
    }
    // zlib: header, stored blocks of at most 65535 bytes, Adler-32 of the raw bytes.
    std::vector<uint8_t> zlib = {0x78, 0x01};
    uint32_t a = 1;
    uint32_t b = 0;
    for (uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    size_t at = 0;
    do {
        size_t length = raw.size() - at < 65535 ? raw.size() - at : 65535;
        bool last = at + length == raw.size();
        zlib.push_back(last ? 1 : 0);
        zlib.push_back(static_cast<uint8_t>(length));
        zlib.push_back(static_cast<uint8_t>(length >> 8));
        zlib.push_back(static_cast<uint8_t>(~length));
        zlib.push_back(static_cast<uint8_t>(~length >> 8));
        zlib.insert(zlib.end(), raw.begin() + static_cast<std::ptrdiff_t>(at),
                    raw.begin() + static_cast<std::ptrdiff_t>(at + length));
        at += length;
    } while (at < raw.size());
    PutU32(zlib, (b << 16) | a);

    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    PutU32(header, static_cast<uint32_t>(width));
    PutU32(header, static_cast<uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter choice
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", zlib);
    PutChunk(png, "IEND", {});
    return png;
}

}  // namespace

bool SaveFrameFile(const uint32_t* pixels, int32_t width, int32_t height, int32_t& nextNumber,
                   std::string& path, std::string& error) {
    constexpr int32_t kLastNumber = 9999;
    for (int32_t number = nextNumber < 1 ? 1 : nextNumber; number <= kLastNumber; ++number) {
        std::string name = FrameFileName(number);
        // "x": never over a file that appeared since the check.
        std::FILE* file = std::fopen(name.c_str(), "wbx");
        if (!file) {
            std::error_code code;
            if (std::filesystem::exists(name, code)) continue;
            error = name + ": cannot be created";
            return false;
        }
        std::vector<uint8_t> png = EncodePng(pixels, width, height);
        bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
        written = std::fclose(file) == 0 && written;
        if (!written) {
            std::remove(name.c_str());
            error = name + ": cannot be written";
            return false;
        }
        nextNumber = number + 1;
        std::error_code code;
        std::filesystem::path absolute = std::filesystem::absolute(name, code);
        path = code ? name : absolute.string();
        return true;
    }
    error = "trellis-0001.png to trellis-9999.png all exist";
    return false;
}
