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
#include "scene/animation.h"
#include "scene/records.h"
#include "view/views.h"

struct PlaybackState {
    bool animate = false;  // asked for: play the keyframes (--animate) ...
    bool still = false;    // ... or show them at one frame time (--frame T)
    double stillFrame = 0.0;
    bool active = false;  // the loaded scene is being played or shown still
    bool paused = false;
    double seconds = 0.0;  // time played, within one loop
    SceneAnimation animation;
    std::vector<uint8_t> objectHasNode;  // per object: an object node names it
    std::vector<float> objectBox;        // per object: min x y z, max x y z of its vertices
};

extern PlaybackState playbackState;

inline constexpr double kPlaybackFramesPerSecond = 30.0;
inline constexpr double kPlaybackTickSeconds = 0.02;

// Asks WinMain to play the keyframes (`animate`) or to show them still at `*stillFrame`
// (not null) on the scene it loads. Neither: the viewer turns the scene as always.
void RequestPlayback(bool animate, const double* stillFrame);

// Prepares the loaded scene's animation when playback was asked for; WinMain calls it after
// the load and before the mesh matrices are reset (the animation reads them). Allocates.
void StartPlayback(const Scene& scene);

// True when the shell draws the scene through DrawPlayback.
bool PlaybackActive();

// With a fit view: frames the box over every frame of the animation (the key frames, the
// segment's ends and the frames half way between them) instead of the scene as stored, and
// makes that the view's home. Other views are left as they are.
void FitPlaybackView(ViewState& view, const Scene& scene);

// The frame time shown now.
double PlaybackFrame();

// One tick: time moves on 20 ms unless paused or still.
void AdvancePlayback();

// Pause and step (the keys are the input module's): stepping moves time by whole frames,
// forward or back, looping.
void SetPlaybackPaused(bool paused);
bool PlaybackPaused();
void StepPlayback(int32_t frames);

// Draws the scene at the current frame into `pixels` (cleared already): through the fixed
// camera `fixedCamera` in the fixed view, else through `view`; a camera view whose camera
// has a camera node follows it. Allocates nothing.
void DrawPlayback(const Scene& scene, ViewState& view, const Matrix4& fixedCamera, int32_t width,
                  int32_t height, uint32_t* pixels);

// Ticks that one loop of the scene's animation takes at 20 ms a tick (for a GIF of the
// loop): 1 for a scene without animation, 0 when it does not load.
int32_t PlaybackLoopTicks(const char* path);
// The same for a scene already loaded, which it frees (null: 0).
int32_t PlaybackLoopTicks(Scene* scene);

// Back to the process-start state (for tests).
void ResetPlayback();
