// The stop flag and the rate-limited poll.
#include "render/frame_stop.h"

#include <atomic>
#include <chrono>

namespace {

std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

FrameStopPoll stopPoll = nullptr;
std::chrono::steady_clock::time_point lastPoll;

constexpr auto kPollInterval = std::chrono::milliseconds(10);

}  // namespace

void RequestFrameStop() {
    stopRequested.store(true, std::memory_order_relaxed);
}

void ClearFrameStop() {
    stopRequested.store(false, std::memory_order_relaxed);
}

bool FrameStopRequested() {
    return stopRequested.load(std::memory_order_relaxed);
}

void SetFrameStopPoll(FrameStopPoll poll) {
    stopPoll = poll;
    lastPoll = {};
}

bool CheckFrameStop() {
    if (FrameStopRequested()) return true;
    if (stopPoll == nullptr) return false;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastPoll < kPollInterval) return false;
    lastPoll = now;
    if (!stopPoll()) return false;
    RequestFrameStop();
    return true;
}
