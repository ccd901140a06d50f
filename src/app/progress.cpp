// The progress line on a terminal.
#include "app/progress.h"

#include <unistd.h>

#include <chrono>
#include <cinttypes>

namespace {

Progress* active = nullptr;  // the progress ClearProgressLine clears

void Clear(Progress& progress) {
    if (progress.shown && progress.out != nullptr) {
        std::fputs("\r\033[K", progress.out);
        std::fflush(progress.out);
    }
    progress.shown = false;
}

}  // namespace

int64_t ProgressClockNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::FILE* TerminalOrNull(std::FILE* stream) {
    return stream != nullptr && isatty(fileno(stream)) ? stream : nullptr;
}

void StartProgress(Progress& progress, std::FILE* out, const char* what, int64_t total,
                   int64_t nowNs) {
    progress = Progress{};
    progress.out = out;
    progress.what = what;
    progress.total = total;
    progress.startNs = nowNs;
    // One that shows nothing leaves the one shown standing (a folder run's, around the
    // silent progress of each of its scenes).
    if (out != nullptr) active = &progress;
}

bool ProgressDue(const Progress& progress, int64_t nowNs) {
    if (progress.out == nullptr || progress.total <= 0) return false;
    if (nowNs - progress.startNs < kProgressAfterNs) return false;
    return !progress.shown || nowNs - progress.shownNs >= kProgressEveryNs;
}

bool UpdateProgress(Progress& progress, int64_t done, const char* detail, int64_t nowNs) {
    if (!ProgressDue(progress, nowNs)) return false;
    char left[48] = "";
    if (done > 0 && done < progress.total) {
        const double seconds = static_cast<double>(nowNs - progress.startNs) / 1e9 *
                               static_cast<double>(progress.total - done) /
                               static_cast<double>(done);
        if (seconds < 90.0) {
            std::snprintf(left, sizeof left, ", about %.0f s left", seconds);
        } else if (seconds < 5400.0) {
            std::snprintf(left, sizeof left, ", about %.0f min left", seconds / 60.0);
        } else {
            std::snprintf(left, sizeof left, ", about %.1f h left", seconds / 3600.0);
        }
    }
    // The line is drawn over the one before, and what it leaves of that one is erased.
    std::fprintf(progress.out, "\rtrellis: %s %" PRId64 " of %" PRId64 " (%d%%)%s%s%s\033[K",
                 progress.what, done, progress.total, static_cast<int>(done * 100 / progress.total),
                 detail ? ", " : "", detail ? detail : "", left);
    std::fflush(progress.out);
    progress.shown = true;
    progress.shownNs = nowNs;
    return true;
}

void EndProgress(Progress& progress) {
    Clear(progress);
    if (active == &progress) active = nullptr;
}

void ClearProgressLine() {
    if (active != nullptr) Clear(*active);
}
