// A frame's fingerprint for tests that pin frames across builds: FNV-1a over its pixels.
#pragma once

#include <cstdint>
#include <vector>

inline constexpr uint64_t kFrameHashStart = 1469598103934665603ull;

// The hash of `frame`'s pixels, continuing from `hash` (kFrameHashStart for a first frame).
inline uint64_t FrameHash(const std::vector<uint32_t>& frame, uint64_t hash = kFrameHashStart) {
    for (const uint32_t p : frame) {
        hash ^= p;
        hash *= 1099511628211ull;
    }
    return hash;
}
