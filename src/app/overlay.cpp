// The status line and the help drawn over the frame.
#include "app/overlay.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "app/file_list.h"
#include "app/keys.h"
#include "render/line_stepper.h"
#include "render/text.h"
#include "scene/printable.h"

namespace {

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

// The box a little larger than `count` lines of text at (x, y), the widest `widest` pixels.
struct TextBox {
    int32_t x, y, w, h;
};

TextBox BoxAround(const char* const* lines, int32_t count, int32_t x, int32_t y) {
    int32_t widest = 0;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t w = TextWidth(lines[i]);
        if (w > widest) widest = w;
    }
    return {x - 4, y - 4, widest + 8,
            count * kTextLineHeight - (kTextLineHeight - kGlyphHeight) + 8};
}

void DrawTextLines(uint32_t* pixels, int32_t width, int32_t height, int32_t x, int32_t y,
                   const char* const* lines, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        DrawFrameText(pixels, width, height, x, y + i * kTextLineHeight, lines[i], kLineColour);
    }
}

// Lines of text on a black box: what stands in place of a scene.
void DrawLinesOnBlack(uint32_t* pixels, int32_t width, int32_t height, int32_t x, int32_t y,
                      const char* const* lines, int32_t count) {
    const TextBox box = BoxAround(lines, count, x, y);
    FillRectangle(pixels, width, height, box.x, box.y, box.w, box.h, 0);
    DrawTextLines(pixels, width, height, x, y, lines, count);
}

// Lines of text over the frame darkened behind them: the scene still shows through.
void DrawLinesOverDimmed(uint32_t* pixels, int32_t width, int32_t height, int32_t x, int32_t y,
                         const char* const* lines, int32_t count) {
    const TextBox box = BoxAround(lines, count, x, y);
    const int32_t left = box.x < 0 ? 0 : box.x;
    const int32_t top = box.y < 0 ? 0 : box.y;
    const int64_t right = std::min<int64_t>(width, static_cast<int64_t>(box.x) + box.w);
    const int64_t bottom = std::min<int64_t>(height, static_cast<int64_t>(box.y) + box.h);
    for (int32_t py = top; py < bottom; ++py) {
        uint32_t* row = pixels + static_cast<size_t>(py) * static_cast<size_t>(width);
        for (int32_t px = left; px < right; ++px)
            row[px] = DimmedPixel(row[px]);
    }
    DrawTextLines(pixels, width, height, x, y, lines, count);
}

// "1 camera", "2 cameras", "0 vertices".
void AppendCount(char* out, size_t size, int64_t count, const char* one, const char* many,
                 const char* after) {
    const size_t used = std::strlen(out);
    if (used >= size) return;
    std::snprintf(out + used, size - used, "%" PRId64 " %s%s", count, count == 1 ? one : many,
                  after);
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
    char* out = overlay.countsLine;
    const size_t size = sizeof overlay.countsLine;
    AppendCount(out, size, scene->objectCount, "object", "objects", ", ");
    AppendCount(out, size, vertices, "vertex", "vertices", ", ");
    AppendCount(out, size, faces, "face", "faces", ", ");
    AppendCount(out, size, scene->cameraCount, "camera", "cameras", "");
}

void NotePlaybackFrame(OverlayState& overlay, const PlaybackState& playback, bool paused) {
    overlay.frameLine[0] = '\0';
    if (!playback.active) return;
    const SceneAnimation& a = playback.animation;
    if (playback.still) {
        std::snprintf(overlay.frameLine, sizeof overlay.frameLine, "frame %.1f (still)",
                      PlaybackFrame(playback));
        return;
    }
    if (!a.animated) {
        std::snprintf(overlay.frameLine, sizeof overlay.frameLine,
                      "frame %g: the file has no animation", a.firstFrame);
        return;
    }
    std::snprintf(overlay.frameLine, sizeof overlay.frameLine, "frame %.1f of %g to %g  %.2f s%s",
                  PlaybackFrame(playback), a.firstFrame, a.lastFrame, playback.seconds,
                  paused ? "  (stopped: Left, Right step)" : "");
}

void DrawOverlay(const OverlayState& overlay, const ViewState& view, RenderMode render, bool paused,
                 uint32_t* pixels, int32_t width, int32_t height) {
    int32_t bottom = height - kMargin - kGlyphHeight;  // the top of the lowest line of text
    if (overlay.status[0] != '\0') {
        // The status at the bottom, broken into as many lines as the frame's width needs.
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
        const int32_t top = bottom - (count - 1) * kTextLineHeight;
        DrawLinesOnBlack(pixels, width, height, kMargin, top, lines, count);
        bottom = top - kTextLineHeight - 4;
    }
    if (overlay.frameLine[0] != '\0') {
        const char* line = overlay.frameLine;
        DrawLinesOverDimmed(pixels, width, height, kMargin, bottom, &line, 1);
    }
    if (!overlay.helpShown) return;
    // The help: the keys, then the file, what it holds and the view.
    char viewLine[64];
    std::snprintf(viewLine, sizeof viewLine, "%s view, up %s%s", ViewModeName(view.mode),
                  view.mode != ViewMode::Fixed && view.up == UpAxis::FileY ? "y" : "z",
                  paused ? "  (stopped)" : "");
    // The modes that W goes round, the one drawn in brackets: "W: wireframe [shaded] edges
    // hidden-line".
    char renderLine[64] = "W:";
    for (int32_t m = 0; m < kRenderModeCount; ++m) {
        const bool drawn = static_cast<RenderMode>(m) == render;
        const size_t used = std::strlen(renderLine);
        std::snprintf(renderLine + used, sizeof renderLine - used, drawn ? " [%s]" : " %s",
                      RenderModeName(static_cast<RenderMode>(m)));
    }
    char poseLine[96];
    std::snprintf(poseLine, sizeof poseLine, "turn %.1f  tilt %.1f  distance %.4g  field %.1f",
                  (view.spin + view.pose.yaw) * kDegreesPerRadian,
                  view.pose.tilt * kDegreesPerRadian, view.pose.distance,
                  view.pose.fieldOfView * kDegreesPerRadian);
    char keys[kMostHelpLines][kHelpLineChars + 1];
    const size_t keyLines = PackHelpLines(keys);
    const char* lines[kMostHelpLines + 5];
    int32_t count = 0;
    for (size_t i = 0; i < keyLines; ++i)
        lines[count++] = keys[i];
    lines[count++] = overlay.fileLine;
    lines[count++] = overlay.countsLine[0] != '\0' ? overlay.countsLine : "not loaded";
    if (overlay.mapsLine[0] != '\0') lines[count++] = overlay.mapsLine;
    lines[count++] = viewLine;
    lines[count++] = renderLine;
    lines[count++] = poseLine;
    DrawLinesOverDimmed(pixels, width, height, kMargin, kMargin, lines, count);
}
