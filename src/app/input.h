// Input: the window's mouse, wheel, key, character and dropped-file messages, made into
// changes of the viewer's state: the view, the turn, the scene shown and what is drawn over
// the frame.
//
// Everything arrives as Win32 messages through the window procedure, so every backend (SDL,
// headless, web, real Windows) gets the same behaviour from this one file:
//
//   left drag                     turn about the vertical axis and tilt (kTurnPerPixel)
//   right or middle drag,
//   Shift + left drag             pan: the picture follows the pointer
//   wheel, + / -                  zoom toward the view's centre (kZoomStep per notch)
//   arrow keys                    turn and tilt by kArrowTurn (Left and Right step a
//                                 stopped animation a frame back or on instead)
//   Space                         stop and restart the turn, or the animation
//   F                             fit the scene again
//   R                             the view the file was opened with, at its first frame
//   C                             the file's next camera; after the last, the orbit view
//   W                             the next render mode: wireframe, shaded, edges, hidden
//                                 line (kept for the files opened after)
//   U                             the file's y axis up, or its z axis again
//   Page Down / Page Up, N / P    next / previous file of the list (going round)
//   F12                           save the frame shown next as trellis-NNNN.png
//   H, F1                         help over the frame
//   a file dropped on the window  added to the list and opened
//
// (keys.h holds the same list as the help and the manuals say it.)
//
// No message and no tick allocates, except those that open a file, save a frame, or frame
// the scene anew (U).
#pragma once

#include "app/viewer.h"
#include "platform/win32.h"

// Fixed values of the input.
inline constexpr double kTurnPerPixel = 0.008726646259971648;  // 0.5 degrees per pixel
inline constexpr double kArrowTurn = 0.08726646259971647;      // 5 degrees per key press
inline constexpr double kZoomStep = 0.9;  // distance times this per wheel notch or '+'

// Changes `state` as `message` asks when it is an input message (mouse, wheel, a key other
// than Escape, a character, dropped files) and returns true; false for every other message.
// A step through the list or a drop opens the scene with state.listPolicy (OpenScene).
bool HandleInputMessage(ViewerState& state, UINT message, WPARAM wParam, LPARAM lParam);
