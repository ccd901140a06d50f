// What the viewer draws over the scene: the line saying why a scene did not load, and the
// help (H, F1) with the keys, the file, what it holds and the view.
#pragma once

#include <cstdint>

#include "render/shade.h"
#include "scene/records.h"
#include "view/views.h"

struct OverlayState {
    bool helpShown = false;     // H, F1
    char status[192] = "";      // on screen whatever the help: why the scene did not load
    char fileLine[192] = "";    // help: the file's place in the list and its name
    char countsLine[128] = "";  // help: what the scene holds (empty: not loaded)
};

// Notes the help's lines for the scene just opened: file `index` (from 0) of `count` named
// `path` (only its last part is shown, quoted), and what `scene` holds (null: not loaded).
void NoteSceneLines(OverlayState& overlay, int32_t index, int32_t count, const char* path,
                    const Scene* scene);

// Draws the status line (at the bottom, broken into as many lines as the width needs) and,
// when it is on, the help (at the top left; its view line says `view` and whether the scene
// is `paused`, the line after it the `render` mode) into `pixels`, a frame of width x height.
// With neither, the frame is left untouched. Allocates nothing.
void DrawOverlay(const OverlayState& overlay, const ViewState& view, RenderMode render, bool paused,
                 uint32_t* pixels, int32_t width, int32_t height);
