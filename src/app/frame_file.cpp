// Saving a frame through the PNG writer of the image output, never over an existing file.
#include "app/frame_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "app/image_output.h"

bool SaveFrameFile(const uint32_t* pixels, int32_t width, int32_t height, int32_t& nextNumber,
                   std::string& path, std::string& error) {
    constexpr int32_t kLastNumber = 9999;
    OutputRules rules;
    rules.neverReplace = true;
    const std::string taken = std::strerror(EEXIST);
    for (int32_t number = nextNumber < 1 ? 1 : nextNumber; number <= kLastNumber; ++number) {
        std::string name = FrameFileName(number);
        ImageOutput output;
        if (!OpenImageOutput(output, name.c_str(), ImageFormat::Png, rules, error)) {
            if (error == taken) continue;
            return false;
        }
        WriteImageFrame(output, pixels, width, height);
        // A file of that name may have appeared since: the next number then.
        if (!FinishImageOutput(output, error)) {
            if (error == taken) continue;
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
