// What one tick draws of the scene: the one place a frame's content is decided. The
// projection is set here once a tick from the view, and every view (fixed, fit, camera) and
// every way of placing the objects (the turn, the keyframes played) take this one path, and
// so does the frame's budget of work (frame_budget.h) and the stop between its blocks
// (render/frame_stop.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "math/matrix.h"
#include "render/frame_render.h"
#include "scene/records.h"
#include "view/views.h"

// Where the objects of the frame stand.
struct SceneMatrices {
    const Matrix4* fixedCamera = nullptr;  // the fixed view's camera (not null)
    // The instances drawn, each an object at its own matrix in scene space (an animation at
    // its frame). Null: the turn: every object once, at its own turned matrix in the fixed
    // view; the other views turn the view instead and draw the objects as the file stores
    // them.
    const ObjectInstance* instances = nullptr;
    size_t instanceCount = 0;
};

// Draws `scene` as `view` shows it into `pixels`, a cleared frame of width x height: sets the
// projection (the fixed view's own, or the view's field of view), then draws the faces that
// face the camera as one-colour lines. The fixed view draws through matrices.fixedCamera;
// the others through the view's transform, built in double and rounded once per object.
//
// The faces of every object drawn are counted first (an object drawn by several instances
// once per instance): a frame past the budget draws none of them but the notice "scene too
// large to draw", said once on stderr for `sceneName` (FrameFacesAllowed), and returns
// false. A stop asked for (CheckFrameStop) leaves the rest of the frame undrawn. Allocates
// nothing.
bool DrawScene(const Scene& scene, const ViewState& view, const SceneMatrices& matrices,
               const char* sceneName, uint32_t* pixels, int32_t width, int32_t height);
