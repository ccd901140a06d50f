// A progress line for long work without a window (many frames into one file, many scenes
// into a folder): on stderr, only when it is a terminal and only once the work has lasted
// kProgressAfter; redrawn in place at most every kProgressEvery, and cleared at the end, so
// that what stays on the terminal is what the program said besides.
#pragma once

#include <cstdint>
#include <cstdio>

inline constexpr int64_t kProgressAfterNs = 1000000000;  // 1 s
inline constexpr int64_t kProgressEveryNs = 200000000;   // 0.2 s

struct Progress {
    std::FILE* out = nullptr;  // null: nothing is ever shown
    const char* what = "";     // what is counted: "frame", "scene"
    int64_t total = 0;
    int64_t startNs = 0;
    int64_t shownNs = 0;  // when the line was last drawn
    bool shown = false;   // a line stands on the terminal
};

// Nanoseconds of a clock that only goes forward.
int64_t ProgressClockNs();

// Starts counting `total` things called `what` at time `nowNs`, shown on `out` (stderr when
// it is a terminal: see TerminalOrNull). `progress` must outlive its EndProgress.
void StartProgress(Progress& progress, std::FILE* out, const char* what, int64_t total,
                   int64_t nowNs);

// `stream` when it is a terminal, else null.
std::FILE* TerminalOrNull(std::FILE* stream);

// `done` of the total are done at `nowNs`; `detail` (may be null) is added to the line, e.g.
// "12.3 MB so far". Draws "\rtrellis: frame 1234 of 100000 (1%), DETAIL, about 2 min left"
// when the work has lasted long enough and the last line is old enough. True when it drew.
// Allocates nothing.
bool UpdateProgress(Progress& progress, int64_t done, const char* detail, int64_t nowNs);

// Clears the line, if one was drawn; the progress is no longer the one ClearProgressLine
// clears.
void EndProgress(Progress& progress);

// Clears the line of the progress started last and not ended, if one stands, so that a
// message can be printed on stderr on a line of its own; the next update draws it again.
void ClearProgressLine();

// Whether the next UpdateProgress at `nowNs` would draw (to spend nothing on its detail
// otherwise).
bool ProgressDue(const Progress& progress, int64_t nowNs);
