// The viewer's state, one record the application owns: the list of scenes and the one shown,
// how it is looked at, how it moves, what input has under way and what is drawn over it;
// and OpenScene, the one way a scene is opened (at start-up, from the list, from a drop).
//
// Input (input.h) changes this state from window messages; each tick (shell.cpp) moves the
// scene and draws it (draw.h) and the overlay (overlay.h) from it. None of them keeps state
// of its own.
#pragma once

#include <cstdint>
#include <cstdio>

#include "app/draw.h"
#include "app/file_list.h"
#include "app/overlay.h"
#include "app/playback.h"
#include "app/viewer_maps.h"
#include "math/matrix.h"
#include "platform/win32.h"
#include "render/shade.h"
#include "scene/records.h"
#include "view/views.h"

// The scene opened when none is named: the bundled one, in the working directory.
inline constexpr const char* kDefaultSceneName = "svet.3ds";
// The window's title, after the scene's file name.
inline constexpr const char* kWindowTitle = "Trellis Engine 1.0";

// The fixed view's turn and camera.
inline constexpr float kSpinStep = 0.06283185f;     // 2 pi / 100: one turn per 100 ticks
inline constexpr float kCameraTurnZ = -3.1415925f;  // one float step short of -pi
inline constexpr float kCameraTurnX = -0.5235988f;  // -30 degrees
inline constexpr float kCameraDistance = -150.0f;

// How OpenScene treats a scene: the view it starts in, how it is drawn and what a failure
// does.
struct OpenPolicy {
    ViewMode view = ViewMode::Fixed;  // the view asked for ...
    const char* camera = nullptr;     // ... and for ViewMode::Camera the camera's name
                                      // (nullptr: the file's first camera)
    // True for a scene the run cannot go on without (the only one given): a load that fails,
    // or a file without the camera asked for, is reported on stderr and OpenScene returns the
    // exit status. False for one scene of several: a load that fails is said on stderr and on
    // screen, a file without the camera asked for is fitted instead, and the viewer goes on.
    bool required = false;
    RenderMode render = RenderMode::Wireframe;  // how the scene is drawn (W changes it)
};

// How the frame meets the screen.
enum class ScreenMode : int32_t {
    // The screen switched to the frame's size at 32 bits a pixel (640 x 480): the bundled
    // scene's own full-screen run, and every run without a screen (--output).
    Switch,
    // Full screen at the desktop's own size, which is not changed: the frame is the screen's.
    Desktop,
    // A window (or a page's canvas): the frame follows its size.
    Window,
};

enum class DragKind : int32_t { None, Turn, Pan };

// A drag of the mouse under way.
struct DragState {
    DragKind kind = DragKind::None;
    WPARAM button = 0;  // the MK_ bit of the button that started the drag
    int32_t lastX = 0;  // the pointer's last position during the drag
    int32_t lastY = 0;
};

struct ViewerState {
    // The frame: the window's, the display's and the projection's size. Once the window is
    // made it changes only through SetFrameSize (frame_size.h).
    int32_t frameWidth = 640;
    int32_t frameHeight = 480;
    ScreenMode screen = ScreenMode::Switch;
    // The window's size from its last WM_SIZE, taken by the next tick (0: none since).
    int32_t windowWidth = 0;
    int32_t windowHeight = 0;
    HWND window = nullptr;  // the viewer's window (its title names the scene shown)
    // A person watches the frames (not --output): notes about the scene shown and the
    // animation's frame line are drawn over them.
    bool onScreen = false;
    // The list's first file is the sample scene, opened because none was named: a note says
    // how to open one.
    bool showingSample = false;

    // The scenes: list.paths[list.current] is the one shown, or the one whose load failed.
    FileList list;
    std::FILE* firstStream = nullptr;  // when set, the list's first scene is read from this
                                       // seekable stream (standard input); its entry names it
    OpenPolicy startPolicy = {ViewMode::Fixed, nullptr, true};  // WinMain's first scene
    OpenPolicy listPolicy;  // every scene opened after it: steps through the list, drops

    // The scene shown (null when its load failed), its texture maps, and how it is looked at.
    Scene* scene = nullptr;
    ViewerMaps maps;
    bool drawsNothing = false;  // the scene shown has no finite vertex position
    ViewState view;
    ViewMode openedMode = ViewMode::Fixed;      // the view the scene was opened with (R) ...
    int32_t openedCamera = -1;                  // ... and its camera
    Matrix4 fixedCamera = {};                   // the fixed view's camera, built once at start-up
    UpAxis up = UpAxis::FileZ;                  // the file's axis shown up (--up, U)
    RenderMode render = RenderMode::Wireframe;  // how it is drawn: the policy's, then W's
    DrawingState draw;                          // the instance list of its frames

    // How it moves: the turn, or the keyframes played.
    PlaybackState playback;
    bool paused = false;           // Space: the turn and the animation stand still
    bool firstStepPending = true;  // the next drawn tick turns once even while stopped, so
                                   // that a scene opened (or R) always shows its first frame

    // Input under way, and what it asked of the next frame.
    DragState drag;
    bool saveRequested = false;  // F12: the next drawn frame is saved
    int32_t nextSaveNumber = 1;  // where the search for a free trellis-NNNN.png starts

    // Drawn over the frame: the help and the line saying why a scene did not load.
    OverlayState overlay;
};

// Opens scene `index` of state.list in place of the one shown: frees that one and its maps
// (its memory serves the next load), loads the file (state.firstStream for index 0 when
// set), names it in the window's title, prepares it for drawing, starts its view, its render
// mode and its playback as `policy` says, and loads its texture maps (viewer_maps.h) when it
// is shown. Returns
// kStatusSuccess when the scene is shown; otherwise, with the reason on stderr (and, for a
// scene not required, on screen), kStatusFailure for a load that failed or
// kStatusNoSuchCamera for a required camera the file lacks. An index outside the list
// changes nothing and gives kStatusFailure.
// A scene shown that draws nothing (a file that is not a 3DS file, or no finite vertex
// position), or played with --animate without animation, is noted on stderr, and on screen
// too when state.onScreen is set; so is the sample scene's note on how to open a file.
int OpenScene(ViewerState& state, int32_t index, const OpenPolicy& policy);

// The name of the scene shown (or whose load failed): its list entry.
const char* SceneName(const ViewerState& state);

// T: textures on or off. Turned on for a scene whose maps were not loaded (--no-textures),
// they are loaded now.
void ToggleTextures(ViewerState& state);

// Once a tick: takes over the maps of the scene shown when their background load has
// finished. Allocates nothing otherwise.
void UpdateSceneMaps(ViewerState& state);

// The maps to draw the scene shown with, as the renderer takes them: per material,
// `texture` and `opacity` (scene->materialCount samplers each, in the materials' order; a
// sampler whose texture is null leaves that material's faces in its colour). Null when
// there is nothing to draw with: no scene, textures off (T, --no-textures) or the maps still
// loading; the faces then keep their material colours. Valid until the maps change (the
// next tick, T, or another scene).
const SceneSamplers* SamplersToDraw(const ViewerState& state);

// Starts the view of the scene shown in `mode` (camera `camera` for ViewMode::Camera) with
// every object's spin from identity, a playing animation framed over all its frames, and
// the turn restarted, so that the next drawn tick shows the view's first frame.
void StartSceneView(ViewerState& state, ViewMode mode, int32_t camera);

// Every object's spin from identity, whatever mesh matrix the file held.
void ResetObjectSpins(Scene& scene);

// The fixed view's camera: 150 units from the origin, turned half a circle about Z and
// tilted 30 degrees, looking at the origin.
void BuildFixedCamera(Matrix4& camera);

// W: the next render mode (wireframe, shaded, edges, hidden line, and round again) for the
// scene shown and for every scene opened after it from the list or a drop.
void NextRenderModeOfViewer(ViewerState& state);

// Frees the scene and returns the state to its process-start values.
void ResetViewer(ViewerState& state);
