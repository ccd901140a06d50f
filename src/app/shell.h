// The application shell: the entry point, the one window, start-up and shutdown order, the
// timer-driven frame tick and the Escape key. It owns the viewer's state.
#pragma once

#include "app/viewer.h"
#include "platform/win32.h"

// The viewer's state, owned by the shell from start-up to process exit.
extern ViewerState viewerState;

// The window class of the viewer's window.
inline constexpr const char* kWindowClassName = "Trellis_Engine";

// Runs the viewer on viewerState: window (placed and sized as viewerState.screen asks,
// frame_size.h), fixed camera, the first scene of the list (the default scene when the list
// is empty) opened with viewerState.startPolicy, timer, display, message loop, shutdown. Returns
// the exit status (app/exit_status.h): kStatusSuccess after a normal run; when a required first
// scene cannot be shown, OpenScene's status (kStatusFailure for a load that failed,
// kStatusNoSuchCamera for a camera the file lacks), with the reason on stderr and the display never
// touched.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine,
                   int showCommand);

// The window procedure: WM_TIMER draws one frame (at the window's size noted from its last
// WM_SIZE, frame_size.h), Escape closes the window, input messages change viewerState
// (input.h), WM_DESTROY ends the message loop; everything else goes to DefWindowProcA.
LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
