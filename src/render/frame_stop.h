// Stopping a frame part way: a flag that a signal handler or the viewer's check of its input
// sets, and that the renderer tests between blocks of work, so that a long frame never keeps
// the program from ending (Escape, the window's close button, SIGTERM) for longer than a
// block takes.
#pragma once

// Asks the frame being drawn, and every later one, to stop. Safe in a signal handler.
void RequestFrameStop();

// Clears the request (a new run, or tests).
void ClearFrameStop();

// True once a stop was asked for.
bool FrameStopRequested();

// A check of whether the program is being asked to end (a key or a close waiting in the
// window's input), run by the drawing thread; true stops the frame. Null: none.
using FrameStopPoll = bool (*)();
void SetFrameStopPoll(FrameStopPoll poll);

// For the thread drawing a frame, between blocks: true when the frame should stop. Tests the
// flag each time and runs the poll at most every 10 ms (a poll that says stop sets the flag).
bool CheckFrameStop();

// CheckFrameStop for the thread that draws the frame (`thread` 0, the one that may poll the
// window's input), FrameStopRequested for the pool's workers.
inline bool FrameStopDue(int thread) {
    return thread == 0 ? CheckFrameStop() : FrameStopRequested();
}
