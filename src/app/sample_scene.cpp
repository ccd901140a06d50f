// The installed sample scene, beside the program.
#include "app/sample_scene.h"

#include <filesystem>
#include <system_error>

#include "app/viewer.h"
#include "platform/program_directory.h"

#ifndef TRELLIS_SAMPLE_DIR
#define TRELLIS_SAMPLE_DIR "../share/trellis"
#endif

std::string FindSampleScene() {
    const std::string directory = ProgramDirectory();
    if (directory.empty()) return {};
    const std::filesystem::path sample =
        std::filesystem::path(directory) / TRELLIS_SAMPLE_DIR / kDefaultSceneName;
    std::error_code error;
    if (!std::filesystem::is_regular_file(sample, error)) return {};
    return sample.lexically_normal().string();
}
