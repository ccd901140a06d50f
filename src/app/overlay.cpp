// The status line and the help drawn over the frame.
#include "app/overlay.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "app/file_list.h"
#include "render/line_stepper.h"
#include "render/text.h"
#include "scene/printable.h"

namespace {

constexpr const char* kHelpLines[] = {
    "left drag            turn and tilt",
    "right or middle drag pan (also Shift + left drag)",
    "wheel, + and -       zoom",
    "arrow keys           turn and tilt in steps",
    "Space                stop or restart the turn",
    "F                    fit the scene again",
    "R                    back to the starting view",
    "C                    next camera of the file",
    "W                    wireframe, shaded, edges, hidden line",
    "Page Down, Page Up   next, previous file (also N, P)",
    "F12                  save the frame as a PNG",
    "H, F1                this help",
    "Escape               quit",
};
constexpr int32_t kHelpLineCount = sizeof kHelpLines / sizeof kHelpLines[0];
constexpr int32_t kMargin = 8;
constexpr double kDegreesPerRadian = 57.29577951308232;

const char* ViewModeName(ViewMode mode) {
    switch (mode) {
        case ViewMode::Fixed:
            return "fixed";
        case ViewMode::Fit:
            return "fit";
        case ViewMode::Camera:
            return "camera";
    }
    return "?";
}

// Lines of text on a black box a little larger than they are.
void DrawLines(uint32_t* pixels, int32_t width, int32_t height, int32_t x, int32_t y,
               const char* const* lines, int32_t count) {
    int32_t widest = 0;
    for (int32_t i = 0; i < count; ++i) {
        int32_t w = TextWidth(lines[i]);
        if (w > widest) widest = w;
    }
    FillRectangle(pixels, width, height, x - 4, y - 4, widest + 8,
                  count * kTextLineHeight - (kTextLineHeight - kGlyphHeight) + 8, 0);
    for (int32_t i = 0; i < count; ++i) {
        DrawFrameText(pixels, width, height, x, y + i * kTextLineHeight, lines[i], kLineColour);
    }
}

}  // namespace

void NoteSceneLines(OverlayState& overlay, int32_t index, int32_t count, const char* path,
                    const Scene* scene) {
    std::snprintf(overlay.fileLine, sizeof overlay.fileLine, "file %d of %d: %s",
                  static_cast<int>(index) + 1, static_cast<int>(count),
                  QuotedName(BaseName(path)).c_str());
    overlay.countsLine[0] = '\0';
    if (!scene) return;
    int64_t vertices = 0;
    int64_t faces = 0;
    for (int32_t i = 0; i < scene->objectCount; ++i) {
        vertices += scene->objects[i].vertexCount;
        faces += scene->objects[i].faceCount;
    }
    std::snprintf(overlay.countsLine, sizeof overlay.countsLine,
                  "%d objects, %" PRId64 " vertices, %" PRId64 " faces, %d cameras",
                  static_cast<int>(scene->objectCount), vertices, faces,
                  static_cast<int>(scene->cameraCount));
}

void DrawOverlay(const OverlayState& overlay, const ViewState& view, RenderMode render, bool paused,
                 uint32_t* pixels, int32_t width, int32_t height) {
    if (overlay.status[0] != '\0') {
        // The reason at the bottom, broken into as many lines as the frame's width needs.
        int32_t perLine = (width - 2 * kMargin) / kTextAdvance;
        if (perLine < 1) perLine = 1;
        char pieces[4][sizeof overlay.status];
        const char* lines[4];
        int32_t count = 0;
        for (const char* rest = overlay.status; *rest != '\0' && count < 4; ++count) {
            size_t take = std::strlen(rest);
            if (take > static_cast<size_t>(perLine)) take = static_cast<size_t>(perLine);
            std::memcpy(pieces[count], rest, take);
            pieces[count][take] = '\0';
            lines[count] = pieces[count];
            rest += take;
        }
        DrawLines(pixels, width, height, kMargin,
                  height - kMargin - kGlyphHeight - (count - 1) * kTextLineHeight, lines, count);
    }
    if (!overlay.helpShown) return;
    // The help: the keys, then the file, what it holds and the view.
    char viewLine[160];
    std::snprintf(viewLine, sizeof viewLine,
                  "view: %s  turn %.1f  tilt %.1f  distance %.4g  field %.1f%s",
                  ViewModeName(view.mode), (view.spin + view.pose.yaw) * kDegreesPerRadian,
                  view.pose.tilt * kDegreesPerRadian, view.pose.distance,
                  view.pose.fieldOfView * kDegreesPerRadian, paused ? "  (stopped)" : "");
    char renderLine[48];
    std::snprintf(renderLine, sizeof renderLine, "drawn: %s", RenderModeName(render));
    const char* lines[kHelpLineCount + 5];
    int32_t count = 0;
    for (const char* help : kHelpLines)
        lines[count++] = help;
    lines[count++] = "";
    lines[count++] = overlay.fileLine;
    lines[count++] = overlay.countsLine[0] != '\0' ? overlay.countsLine : "not loaded";
    lines[count++] = viewLine;
    lines[count++] = renderLine;
    DrawLines(pixels, width, height, kMargin, kMargin, lines, count);
}
