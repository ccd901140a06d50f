// What the viewer draws over the scene: the status line (why a scene did not load, or a note
// about the scene shown), the animation's frame line, and the help (H, F1) with the keys, the
// file, what it holds and the view.
#pragma once

#include <cstdint>

#include "app/playback.h"
#include "render/shade.h"
#include "scene/records.h"
#include "view/views.h"

struct OverlayState {
    bool helpShown = false;     // H, F1
    char status[192] = "";      // on screen whatever the help: why the scene did not load,
                                // or a note about the scene shown
    char frameLine[96] = "";    // on screen while an animation plays: its frame and time
    char fileLine[192] = "";    // help: the file's place in the list and its name
    char countsLine[128] = "";  // help: what the scene holds (empty: not loaded)
    char mapsLine[192] = "";    // help: its texture maps (DescribeViewerMaps)
};

// Notes the help's lines for the scene just opened: file `index` (from 0) of `count` named
// `path` (only its last part is shown, quoted), and what `scene` holds (null: not loaded).
void NoteSceneLines(OverlayState& overlay, int32_t index, int32_t count, const char* path,
                    const Scene* scene);

// Notes the frame line for the tick about to be drawn: the frame time shown and the time
// into the loop while `playback` is active ("frame 42.6 of 0 to 100  1.42 s", and whether it
// is stopped or still); empty otherwise. Allocates nothing.
void NotePlaybackFrame(OverlayState& overlay, const PlaybackState& playback, bool paused);

// Draws the status line and the frame line (at the bottom, the status broken into as many
// lines as the width needs) and, when it is on, the help (at the top left, over the frame
// darkened behind it; its view line says `view` and whether the scene is `paused`, the line
// after it the modes W goes round, the `render` mode in brackets) into `pixels`, a frame of width x
// height. With none of them, the frame is left untouched. Allocates nothing.
void DrawOverlay(const OverlayState& overlay, const ViewState& view, RenderMode render, bool paused,
                 uint32_t* pixels, int32_t width, int32_t height);

// A pixel seen through the help's backing: a quarter of its brightness.
inline constexpr uint32_t DimmedPixel(uint32_t pixel) {
    return (pixel >> 2) & 0x003F3F3Fu;
}
