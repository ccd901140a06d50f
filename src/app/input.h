// Input: the window's mouse, wheel, key, character and dropped-file messages, made into
// changes of the view, of the turn, of the file shown and of what is drawn over the frame.
//
// Everything arrives as Win32 messages through the window procedure, so every backend (SDL,
// headless, real Windows) gets the same behaviour from this one file:
//
//   left drag                     turn about the vertical axis and tilt (kTurnPerPixel)
//   right or middle drag,
//   Shift + left drag             pan: the picture follows the pointer
//   wheel, + / -                  zoom toward the view's centre (kZoomStep per notch)
//   arrow keys                    turn and tilt by kArrowTurn
//   Space                         stop and restart the turn
//   F                             fit the scene again
//   R                             the view the file was opened with, at its first frame
//   C                             the file's next camera; after the last, the orbit view
//   Page Down / Page Up, N / P    next / previous file of the list (going round)
//   F12                           save the frame shown next as trellis-NNNN.png
//   H, F1                         help over the frame
//   a file dropped on the window  added to the list and opened
//
// No message and no tick allocates, except those that open a file or save a frame.
#pragma once

#include <cstdint>

#include "platform/win32.h"
#include "view/views.h"

enum class DragKind : int32_t { None, Turn, Pan };

struct InputState {
    DragKind drag = DragKind::None;
    WPARAM dragButton = 0;  // the MK_ bit of the button that started the drag
    int32_t lastX = 0;      // the pointer's last position during a drag
    int32_t lastY = 0;
    bool paused = false;                    // Space: the scene stands still
    bool firstStepPending = true;           // the next drawn tick turns once even while paused, so
                                            // that a file (or R) always shows its first frame
    bool helpShown = false;                 // H, F1
    bool saveRequested = false;             // F12: the next drawn frame is saved
    int32_t nextSaveNumber = 1;             // where the search for a free trellis-NNNN.png starts
    ViewMode openedMode = ViewMode::Fixed;  // the view the current file was opened with (R)
    int32_t openedCamera = -1;
    char status[192] = "";      // on screen whatever the help: why the file did not load
    char fileLine[192] = "";    // help: the file's place in the list and its name
    char countsLine[128] = "";  // help: what the scene holds
};

extern InputState inputState;

// Fixed values of the input.
inline constexpr double kTurnPerPixel = 0.008726646259971648;  // 0.5 degrees per pixel
inline constexpr double kArrowTurn = 0.08726646259971647;      // 5 degrees per key press
inline constexpr double kZoomStep = 0.9;  // distance times this per wheel notch or '+'

// Handles `message` when it is an input message (mouse, wheel, a key other than Escape,
// a character, dropped files) and returns true; false for every other message.
bool HandleInputMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Makes file `index` of fileList the one shown: frees the scene shown before, loads the
// file, titles the window with its name and starts its view (the view asked for on the
// command line; a file without the camera asked for is fitted). When the load fails the
// reason goes to stderr and on screen, and false is returned; the list keeps the file.
bool OpenListedFile(HWND window, int32_t index);

// The part of OpenListedFile after the load, for WinMain, which loads the first file
// itself: shellState.loadedScene holds the result of loading shellState.sceneFileName.
bool ShowLoadedFile(HWND window);

// Sets the window title to the current file's name and notes the view the file was opened
// with, after WinMain loaded the first file itself.
void NoteOpenedFile(HWND window);

// Called by each drawn tick: whether the scene turns in this tick.
bool TakeTurnThisTick();

// Draws what input shows over the wireframe: the failure line, and the help when it is on.
// With neither, the frame is left untouched.
void DrawOverlay(uint32_t* pixels, int32_t width, int32_t height);

// Saves the frame when F12 asked for it; the path is said on stdout.
void SaveRequestedFrame(const uint32_t* pixels, int32_t width, int32_t height);

// Back to the process-start values (for tests).
void ResetInputState();
