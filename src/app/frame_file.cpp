// Saving a frame through the PNG writer and the output writer, on every platform that writes
// files, never over an existing file.
#include "app/frame_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "app/output.h"
#include "app/png_writer.h"

namespace {

constexpr int32_t kLastNumber = 9999;

// Writes the frame as a PNG named `name`, which must not exist. False with the reason in
// `error` (strerror(EEXIST) when a file of that name exists, or appeared meanwhile); nothing
// is then left of the attempt.
bool WriteFrameFile(const std::string& name, const uint32_t* pixels, int32_t width, int32_t height,
                    std::string& error) {
    OutputRules rules;
    rules.neverReplace = true;
    OutputFile out;
    if (!OpenOutput(out, name.c_str(), rules, error)) return false;
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    std::vector<uint8_t> rgb(3 * count);
    PixelsToRgb(pixels, count, rgb.data());
    if (!WritePng(PngSink{&out, WriteOutputBytes}, rgb.data(), width, height, error)) {
        AbandonOutput(out);
        return false;
    }
    return CommitOutput(out, error);
}

}  // namespace

bool SaveFrameFile(const uint32_t* pixels, int32_t width, int32_t height, int32_t& nextNumber,
                   std::string& path, std::string& error) {
    const std::string taken = std::strerror(EEXIST);
    for (int32_t number = nextNumber < 1 ? 1 : nextNumber; number <= kLastNumber; ++number) {
        const std::string name = FrameFileName(number);
        // A file of that name, there before or since: the next number then.
        if (!WriteFrameFile(name, pixels, width, height, error)) {
            if (error == taken) continue;
            return false;
        }
        nextNumber = number + 1;
        std::error_code code;
        const std::filesystem::path absolute = std::filesystem::absolute(name, code);
        path = code ? name : absolute.string();
        return true;
    }
    error = "trellis-0001.png to trellis-9999.png all exist";
    return false;
}
