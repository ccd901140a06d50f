// Saving a frame through the PNG writer of the image output.
#include "app/frame_file.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/image_output.h"

bool SaveFrameFile(const uint32_t* pixels, int32_t width, int32_t height, int32_t& nextNumber,
                   std::string& path, std::string& error) {
    constexpr int32_t kLastNumber = 9999;
    for (int32_t number = nextNumber < 1 ? 1 : nextNumber; number <= kLastNumber; ++number) {
        std::string name = FrameFileName(number);
        std::error_code code;
        if (std::filesystem::exists(name, code) || code) continue;
        ImageOutput output;
        if (!OpenImageOutput(output, name.c_str(), ImageFormat::Png, error)) return false;
        WriteImageFrame(output, pixels, width, height);
        if (!FinishImageOutput(output, error)) return false;
        nextNumber = number + 1;
        std::filesystem::path absolute = std::filesystem::absolute(name, code);
        path = code ? name : absolute.string();
        return true;
    }
    error = "trellis-0001.png to trellis-9999.png all exist";
    return false;
}
