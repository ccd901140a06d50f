// The program's exit statuses, the same for the desktop program, the Windows program and every
// way of running them (viewer, --output, --info, --chunks).
#pragma once

// A normal run.
inline constexpr int kStatusSuccess = 0;
// The scene could not be loaded, or an output file could not be written; the reason is on
// stderr (or, for the Windows program without one, in a message box).
inline constexpr int kStatusFailure = 1;
// A usage error: an option or argument the program does not take.
inline constexpr int kStatusUsage = 2;
// The camera asked for is not in the file (the file's cameras are named on stderr).
inline constexpr int kStatusNoSuchCamera = 2;
// No display could be opened for the viewer.
inline constexpr int kStatusNoDisplay = 3;
