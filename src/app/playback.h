// Playing a scene's own keyframe animation in the viewer (--animate), or showing it still
// at one frame time (--frame T), instead of the turn.
//
// Time runs 20 ms a tick and the keyframes play at 30 frames a second, looping over the
// segment; a scene without animation stands still. The objects of object nodes are drawn
// with their nodes' matrices at the frame (an object named by several nodes once per node,
// a hidden node not at all), the objects that no node names where the file stores them.
// The fit view frames the box over all frames of the animation, and a file's camera that has
// a camera node follows its keys. Nothing is allocated per tick.
#pragma once

#include <cstdint>
#include <vector>

#include "math/matrix.h"
#include "render/frame_render.h"
#include "scene/animation.h"
#include "scene/records.h"
#include "view/views.h"

struct PlaybackState {
    bool animate = false;  // asked for: play the keyframes (--animate) ...
    bool still = false;    // ... or show them at one frame time (--frame T)
    double stillFrame = 0.0;
    bool active = false;   // the scene shown is being played or shown still
    double seconds = 0.0;  // time played, within one loop
    SceneAnimation animation;
    std::vector<uint8_t> objectHasNode;  // per object: an object node names it
    // Per object: the instances a frame may show of it: the object nodes that name it, or 1
    // for an object no node names (drawn where the file stores it).
    std::vector<int32_t> instancesPerObject;
    std::vector<float> objectBox;  // per object: min x y z, max x y z of its vertices
    // What the frame last posed shows: each object an object node shows, at the node's mesh
    // matrix (an object named by several nodes once per node, a hidden node's not at all),
    // and each object no node names, where the file stores it. Its capacity is reserved by
    // StartPlayback, so posing a frame allocates nothing.
    std::vector<ObjectInstance> shown;
};

inline constexpr double kPlaybackFramesPerSecond = 30.0;
inline constexpr double kPlaybackTickSeconds = 0.02;

// Asks for the keyframes to be played (`animate`) or shown still at `*stillFrame` (not
// null) on the scenes opened from now on. Neither: the viewer turns the scene as always.
void RequestPlayback(PlaybackState& playback, bool animate, const double* stillFrame);

// Prepares the animation of a scene just loaded when playback was asked for, from its first
// frame; call it before the mesh matrices are reset (the animation reads them). Allocates.
void StartPlayback(PlaybackState& playback, const Scene& scene);

// With a fit view: frames the box over every frame of the animation (the key frames, the
// segment's ends and the frames half way between them) instead of the scene as stored, and
// makes that the view's home. Other views, and a scene not played, are left as they are.
void FitPlaybackView(PlaybackState& playback, ViewState& view, const Scene& scene);

// The frame time shown now.
double PlaybackFrame(const PlaybackState& playback);

// Poses the scene at the frame time shown now: evaluates the animation, fills `shown`, and
// makes a camera view whose camera has a camera node follow its keys (place, direction,
// roll and field). Allocates nothing.
void PosePlayback(PlaybackState& playback, const Scene& scene, ViewState& view);

// Time moves on one tick (20 ms), looping; a still frame stays.
void AdvancePlayback(PlaybackState& playback);

// Moves time by whole frames, forward or back, looping (a stopped animation's arrow keys).
void StepPlayback(PlaybackState& playback, int32_t frames);

// The ticks one loop of an animation (prepared: PrepareAnimation) takes at 20 ms a tick (for
// a GIF of the loop): 1 for a scene without animation.
int32_t PlaybackLoopTicks(const SceneAnimation& animation);
