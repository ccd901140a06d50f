// What one tick draws of the scene: the one place a frame's content is decided. The
// projection is set here once a tick from the view, and every view (fixed, fit, camera), every
// way of placing the objects (the turn, the keyframes played) and every render mode take this
// one path: a list of (mesh, matrix) instances handed to the frame renderer (RenderScene),
// which shares the work among its threads; so does the frame's budget of work
// (frame_budget.h) and the stop between its blocks (render/frame_stop.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "math/matrix.h"
#include "render/frame_render.h"
#include "render/shade.h"
#include "scene/records.h"
#include "view/views.h"

// What drawing keeps from one tick to the next: the instance list, filled each tick within
// the room PrepareDrawing made, so that a tick allocates nothing.
struct DrawingState {
    std::vector<RenderInstance> instances;
};

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

// Prepares drawing `scene`, just loaded, in `mode`: the frame renderer's data for it
// (PrepareSceneRender; the solid modes' shading too unless `mode` is the wireframe), and room
// for the instances of a frame: one per object, or with `instancesPerObject` (each object's
// count of animation nodes, at least 1 for an object no node names) that many. Call after every
// load; allocates.
void PrepareDrawing(DrawingState& draw, const Scene& scene, RenderMode mode,
                    const int32_t* instancesPerObject);

// Draws `scene` as `view` shows it in `mode` into `pixels`, a frame of width x height, every
// pixel of which it sets (the mode's background where no face lies): sets the projection (the
// fixed view's own, or the view's field of view), lists the instances and hands them to
// RenderScene. The fixed view draws through matrices.fixedCamera with the scene's own lights;
// the others fold the view's transform, built in double and rounded once per instance, into
// each instance's matrix. The wireframe is bit for bit RenderObject's for each instance in
// turn on black.
//
// The faces of every object drawn are counted first (an object drawn by several instances
// once per instance): a frame past the budget draws none of them but the notice "scene too
// large to draw" on black, said once on stderr for `sceneName` (FrameFacesAllowed), and
// returns false. A stop asked for (CheckFrameStop) leaves the rest of the frame undrawn.
//
// More instances than PrepareDrawing made room for, or a scene it was not given, cost an
// allocation in that tick. Otherwise allocates nothing, but for the frame renderer's buffers
// sized with the frame: its depth buffer and tiles' bins are made anew by the first solid
// frame of a new size (and the solid modes' data by the first solid frame after a
// wireframe-only prepare).
//
// `maps` are the scene's texture and opacity maps, one sampler per material (RenderView's
// textureMaps and opacityMaps); none (null) draws every face in its material's colour.
struct DrawnMaps {
    const MapSampler* texture = nullptr;
    const MapSampler* opacity = nullptr;
};
bool DrawScene(DrawingState& draw, const Scene& scene, const ViewState& view, RenderMode mode,
               const SceneMatrices& matrices, const char* sceneName, uint32_t* pixels,
               int32_t width, int32_t height, DrawnMaps maps = {});
