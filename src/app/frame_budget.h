// The work of one frame: at most a budget of faces drawn (an object drawn by several
// keyframer nodes counts once per node). A frame that would draw more draws none of them and
// says "scene too large to draw" instead, so the program stays responsive whatever the file
// asks for. A scene whose own faces pass the budget does not load at all (LoadLimits).
#pragma once

#include <cstdint>

struct FrameBudget {
    int64_t maxFaces = 50000000;  // --max-faces
    bool tooLarge = false;        // the last frame was over the budget
};

// The module's state.
extern FrameBudget frameBudget;

// True when a frame of `faces` faces may be drawn. Otherwise writes the notice into the
// frame (width x height pixels) and returns false; the first time also prints it on stderr
// for `sceneName`.
bool FrameFacesAllowed(int64_t faces, uint32_t* pixels, int32_t width, int32_t height,
                       const char* sceneName);
