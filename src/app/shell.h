// The application shell: the entry point, the one window, start-up and shutdown order,
// the timer-driven frame tick and the Escape key.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "math/matrix.h"
#include "platform/win32.h"
#include "scene/records.h"
#include "view/views.h"

struct ShellState {
    int32_t screenWidth = 640;        // window, display mode, projection and frame width
    int32_t screenHeight = 480;       // ... and height
    Matrix4 viewCamera = {};          // built once at start-up; the camera of every RenderObject
    Scene* loadedScene = nullptr;     // owned from start-up to process exit
    uint32_t* framePixels = nullptr;  // the frame locked for the current tick
    const char* sceneFileName = "svet.3ds";  // the scene loaded at start-up
    std::FILE* sceneStream = nullptr;      // when set, the scene is read from this seekable stream
                                           // (standard input) and sceneFileName only names it
    ViewMode startView = ViewMode::Fixed;  // the view WinMain starts (main sets it) ...
    const char* startCamera = nullptr;     // ... and with ViewMode::Camera, the camera's
                                           // name (nullptr: the file's first camera)
    ViewState view;                        // the view of the loaded scene
    Matrix4 viewMatrix = {};               // this tick's object-to-view matrix (fit, camera)
};

// The shell's module state.
extern ShellState shellState;

// Fixed values of the shell.
inline constexpr const char* kWindowClassName = "Trellis_Engine";
inline constexpr const char* kWindowTitle = "Trellis Engine 1.0";
inline constexpr float kSpinStep = 0.06283185f;     // 2 pi / 100: one turn per 100 ticks
inline constexpr float kCameraTurnZ = -3.1415925f;  // one float step short of -pi
inline constexpr float kCameraTurnX = -0.5235988f;  // -30 degrees
inline constexpr float kCameraDistance = -150.0f;

// Runs the viewer: window, camera, scene, projection, timer, display, message loop,
// shutdown. Returns the exit status: 0 after a normal run; 1 when the scene could not be
// loaded (the reason is printed on stderr and the display is never touched).
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine,
                   int showCommand);

// The window procedure: WM_TIMER draws one frame, Escape closes the window, WM_DESTROY
// ends the message loop; everything else goes to DefWindowProcA.
LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Steps of WinMain's start-up, also taken by the tick benchmarks:
// the fixed viewing camera, stored in `camera` ...
void BuildViewCamera(Matrix4& camera);
// ... and every object's spin starting from identity, whatever mesh matrix the file held.
void ResetObjectSpins(Scene& scene);

// Starts shellState.view on the loaded scene from startView and startCamera in a frame of
// the screen's size, and sets the projection to its field of view. False when the camera
// asked for does not exist: the reason (and the file's cameras) is then on stderr.
bool StartShellView();

// The exit status of a run whose view could not start (a camera the file does not have).
inline constexpr int kStatusNoSuchCamera = 2;

// Why the last load of `fileName` failed, in one line: the file, where the loader stopped
// (chunk and offset) and the reason. WinMain and --info print it on stderr after
// "trellis: ". Printable ASCII only: the file name's other bytes are escaped as \xNN.
std::string LoadFailureText(const char* fileName);

// Why the file of the last load, which succeeded, is not a 3DS file: e.g.
// `not a 3DS file (it starts with "hello\x0a")` when its first bytes (shown printable) are
// not the main chunk's id, or `not a 3DS file (it is empty)`. Empty for a 3DS file. Such a
// file loads as a scene with nothing in it; WinMain then prints
// "trellis: FILE: <reason>" on stderr and goes on, --info and --json say it in their report.
std::string NotA3dsReason();

// Prints "trellis: FILE: <NotA3dsReason()>" on stderr after a load of a file that is not a
// 3DS file (it shows nothing); nothing for any other file.
void ReportNotA3ds(const char* fileName);

// Frees the loaded scene and returns the state to its process-start values (for tests;
// the scene file name and stream are kept).
void ResetShellState();
