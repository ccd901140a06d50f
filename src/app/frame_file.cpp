// Saving a frame through the PNG writer, on every platform that writes files.
#include "app/frame_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "app/png_writer.h"

namespace {

constexpr int32_t kLastNumber = 9999;

// Writes the frame as a PNG named `name`. False with the reason in `error`; the file is then
// removed.
bool WriteFrameFile(const std::string& name, const uint32_t* pixels, int32_t width, int32_t height,
                    std::string& error) {
    std::FILE* file = std::fopen(name.c_str(), "wb");
    if (!file) {
        error = std::strerror(errno);
        return false;
    }
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    std::vector<uint8_t> rgb(3 * count);
    PixelsToRgb(pixels, count, rgb.data());
    bool written = WritePng(file, rgb.data(), width, height, error);
    if (std::fclose(file) != 0 && written) {
        error = std::strerror(errno);
        written = false;
    }
    if (!written) std::remove(name.c_str());
    return written;
}

}  // namespace

bool SaveFrameFile(const uint32_t* pixels, int32_t width, int32_t height, int32_t& nextNumber,
                   std::string& path, std::string& error) {
    for (int32_t number = nextNumber < 1 ? 1 : nextNumber; number <= kLastNumber; ++number) {
        const std::string name = FrameFileName(number);
        std::error_code code;
        if (std::filesystem::exists(name, code) || code) continue;
        if (!WriteFrameFile(name, pixels, width, height, error)) return false;
        nextNumber = number + 1;
        const std::filesystem::path absolute = std::filesystem::absolute(name, code);
        path = code ? name : absolute.string();
        return true;
    }
    error = "trellis-0001.png to trellis-9999.png all exist";
    return false;
}
