// Inputs that crowd the fixed hashes a loader might use for its tables: vertex positions
// that all share one value of the fixed position hash of derived.cpp, and names whose
// 32-bit FNV-1a hashes (the name hash of earlier versions) agree in their low bits, so
// that they all fall into one slot of a power-of-two table. The tests and the benchmark
// build hostile files from them and check that such a file loads as fast as an ordinary
// one of the same size, with the same results. Standard library only.
#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace hash_collisions {

// The inverse of an odd number modulo 2^32 (Newton's iteration).
inline uint32_t InverseOdd(uint32_t a) {
    uint32_t x = a;
    for (int i = 0; i < 5; ++i)
        x *= 2u - a * x;
    return x;
}

// `count` distinct positions (in the viewer's axes: vertex x, y, z) whose fixed hash in
// derived.cpp is one and the same value. That hash mixes x and y, then adds z times an odd
// constant before its final steps, so for any x and y there is a z that gives any chosen
// state before those steps.
inline std::vector<std::array<float, 3>> PositionsOfOneFixedHash(int32_t count) {
    constexpr uint32_t kStateBeforeFinal = 0x9E3779B9u;
    const uint32_t inverse = InverseOdd(0xC2B2AE3Du);
    std::vector<std::array<float, 3>> positions;
    for (int32_t i = 1; static_cast<int32_t>(positions.size()) < count; ++i) {
        const float x = static_cast<float>(i);
        const float y = 0.5f;
        uint32_t h = std::bit_cast<uint32_t>(x) * 0x9E3779B1u;
        h = (h ^ (h >> 15)) + std::bit_cast<uint32_t>(y) * 0x85EBCA77u;
        h ^= h >> 13;
        const uint32_t zBits = (kStateBeforeFinal - h) * inverse;
        const float z = std::bit_cast<float>(zBits);
        // A NaN matches nothing, and -0.0 hashes as +0.0.
        if (std::isnan(z) || zBits == 0x80000000u) continue;
        positions.push_back({x, y, z});
    }
    return positions;
}

inline uint32_t Fnv1a(const std::string& text) {
    uint32_t hash = 2166136261u;
    for (const char c : text)
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    return hash;
}

// `count` distinct names of 3 + `digits` + 3 characters: `stem` (3 characters), a number of
// `digits` digits and a suffix of three printable characters chosen so that the low `bits`
// bits of every name's FNV-1a hash are 0 (bits at most 20). A table of up to 2^bits slots
// indexed by those bits puts them all in one probe sequence.
//
// The low bits of FNV-1a's state depend only on the low bits of the state before, so each
// step can be undone modulo 2^bits; walking three steps back from 0 over every suffix
// gives, for nearly every state a prefix can leave, a suffix that ends at 0.
inline std::vector<std::string> NamesOfOneFnv1aSlot(int32_t count, int digits, int bits,
                                                    const std::string& stem) {
    const uint32_t mask = (uint32_t{1} << bits) - 1;
    const uint32_t inverse = InverseOdd(16777619u);
    std::vector<int32_t> suffixOf(size_t{mask} + 1, -1);  // three characters packed
    for (uint32_t c3 = 0x21; c3 < 0x7F; ++c3) {
        const uint32_t s2 = ((0u * inverse) & mask) ^ c3;
        for (uint32_t c2 = 0x21; c2 < 0x7F; ++c2) {
            const uint32_t s1 = ((s2 * inverse) & mask) ^ c2;
            for (uint32_t c1 = 0x21; c1 < 0x7F; ++c1) {
                const uint32_t s0 = ((s1 * inverse) & mask) ^ c1;
                suffixOf[s0] = static_cast<int32_t>(c1 | (c2 << 8) | (c3 << 16));
            }
        }
    }
    std::vector<std::string> names;
    for (int64_t i = 0; static_cast<int32_t>(names.size()) < count; ++i) {
        std::string number = std::to_string(i);
        std::string prefix =
            stem + std::string(static_cast<size_t>(digits) - number.size(), '0') + number;
        const int32_t suffix = suffixOf[Fnv1a(prefix) & mask];
        if (suffix < 0) continue;
        for (int k = 0; k < 3; ++k)
            prefix += static_cast<char>((suffix >> (8 * k)) & 0xFF);
        names.push_back(prefix);
    }
    return names;
}

// `count` ordinary names of the same shape: stem, number, "abc".
inline std::vector<std::string> OrdinaryNames(int32_t count, int digits, const std::string& stem) {
    std::vector<std::string> names;
    for (int32_t i = 0; i < count; ++i) {
        const std::string number = std::to_string(i);
        names.push_back(stem + std::string(static_cast<size_t>(digits) - number.size(), '0') +
                        number + "abc");
    }
    return names;
}

}  // namespace hash_collisions
