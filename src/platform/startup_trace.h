// Time stamps of the viewer's start-up, for the start-up benchmark (bench/startup.sh).
//
// Only when the environment sets TRELLIS_TRACE_STARTUP (to anything but empty): each phase
// prints one line "trellis: startup: PHASE SECONDS.NANOSECONDS" on stderr, the wall-clock
// time (CLOCK_REALTIME) at which it ended, so that a script can subtract the time at which
// it started the process.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <ctime>

inline bool StartupTraceOn() {
    static const bool on = [] {
        const char* value = std::getenv("TRELLIS_TRACE_STARTUP");
        return value && value[0];
    }();
    return on;
}

inline void TraceStartup(const char* phase) {
    if (!StartupTraceOn()) return;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::fprintf(stderr, "trellis: startup: %s %lld.%09ld\n", phase,
                 static_cast<long long>(now.tv_sec), static_cast<long>(now.tv_nsec));
}

// The first frame presented on the screen (not the black of a new surface).
inline void TraceFirstFrame() {
    static bool traced = false;
    if (traced || !StartupTraceOn()) return;
    traced = true;
    TraceStartup("first frame");
}
