// The frame's budget of faces and its notice.
#include "app/frame_budget.h"

#include <cinttypes>
#include <cstdio>

#include "render/text.h"
#include "scene/printable.h"

FrameBudget frameBudget;

namespace {

constexpr const char* kNotice = "scene too large to draw";
constexpr uint32_t kNoticeColour = 0x00FFFFFF;

}  // namespace

bool FrameFacesAllowed(int64_t faces, uint32_t* pixels, int32_t width, int32_t height,
                       const char* sceneName) {
    FrameBudget& b = frameBudget;
    if (faces <= b.maxFaces) {
        b.tooLarge = false;
        return true;
    }
    if (!b.tooLarge) {
        std::fprintf(stderr,
                     "trellis: %s: %s: %" PRId64 " faces in a frame, more than %" PRId64
                     " (--max-faces raises it)\n",
                     PrintableName(sceneName).c_str(), kNotice, faces, b.maxFaces);
    }
    b.tooLarge = true;
    const int32_t x = (width - TextWidth(kNotice)) / 2;
    const int32_t y = (height - kGlyphHeight) / 2;
    DrawFrameText(pixels, width, height, x < 0 ? 0 : x, y, kNotice, kNoticeColour);
    return false;
}
