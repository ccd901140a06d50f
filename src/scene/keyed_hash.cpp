// The process's hash key and SipHash over a byte string (see keyed_hash.h).
#include "scene/keyed_hash.h"

#include <chrono>
#include <random>

namespace {

HashKey DrawKey() {
    HashKey key;
    try {
        std::random_device device;
        key.k0 = (uint64_t{device()} << 32) ^ device();
        key.k1 = (uint64_t{device()} << 32) ^ device();
    } catch (...) {
        // No random device: the clock still keeps the key from being known in advance.
    }
    key.k1 ^=
        static_cast<uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count());
    return key;
}

// The key and what is drawn from it.
struct KeyedHashState {
    HashKey key;
    TabulationTables tables;
};

void DrawTables(KeyedHashState& state) {
    uint64_t counter = 0;
    for (auto& row : state.tables.word) {
        for (size_t i = 0; i < 256; i += 2) {
            const uint64_t bits = SipHash(state.key, &counter, sizeof counter);
            ++counter;
            row[i] = static_cast<uint32_t>(bits);
            row[i + 1] = static_cast<uint32_t>(bits >> 32);
        }
    }
}

// Drawn at the first use, whatever the order in which static objects are built.
KeyedHashState& State() {
    static KeyedHashState* state = [] {
        static KeyedHashState s;
        s.key = DrawKey();
        DrawTables(s);
        return &s;
    }();
    return *state;
}

}  // namespace

const HashKey& ProcessHashKey() {
    return State().key;
}

void SetProcessHashKey(const HashKey& key) {
    KeyedHashState& state = State();
    state.key = key;
    DrawTables(state);
}

const TabulationTables& ProcessTabulationTables() {
    return State().tables;
}

uint64_t SipHash(const HashKey& key, const void* bytes, size_t length, int c, int d) {
    const auto* p = static_cast<const unsigned char*>(bytes);
    SipHashState s = SipHashBegin(key);
    size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        uint64_t block = 0;
        for (int k = 7; k >= 0; --k)
            block = (block << 8) | p[i + static_cast<size_t>(k)];
        SipHashBlock(s, block, c);
    }
    uint64_t last = static_cast<uint64_t>(length) << 56;
    for (size_t k = 0; i + k < length; ++k)
        last |= uint64_t{p[i + k]} << (8 * k);
    SipHashBlock(s, last, c);
    return SipHashEnd(s, d);
}
