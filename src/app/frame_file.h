// Saving the frame shown as trellis-NNNN.png in the working directory.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// Writes width x height pixels (0x00RRGGBB, rows exactly width apart) as a PNG named
// trellis-NNNN.png, NNNN the first number from `nextNumber` on (0001 to 9999) whose file
// does not exist yet, and sets `nextNumber` past it. The path written goes to `path`.
// False with the reason in `error`.
bool SaveFrameFile(const uint32_t* pixels, int32_t width, int32_t height, int32_t& nextNumber,
                   std::string& path, std::string& error);

// The name of number `number`: trellis-0001.png for 1.
inline std::string FrameFileName(int32_t number) {
    char name[32];
    std::snprintf(name, sizeof name, "trellis-%04d.png", static_cast<int>(number));
    return name;
}
