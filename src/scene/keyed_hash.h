// Keyed hashes for the loader's tables, under a key drawn at random once per process:
// SipHash-1-3 for names, simple tabulation for vertex positions.
//
// The names and positions come from the file. With a fixed hash, whoever writes the file
// can choose thousands of names or positions that fall into one slot of a table, and every
// insertion and lookup then walks all of them: a load that takes time growing with the
// square of the file's length. With a secret key, what falls together cannot be known when
// the file is written, so a crafted file costs what an ordinary one does.
//
// The key changes only where records land in a table, never what a lookup finds or how
// records are grouped: every result of the loader is the same under every key.
//
// SipHash is Jean-Philippe Aumasson and Daniel J. Bernstein's keyed hash ("SipHash: a fast
// short-input PRF", 2012); SipHash-1-3 takes one round per 8-byte block and three at the
// end, the variant that hash tables commonly use. Simple tabulation (one random word per
// byte position and byte value, the words of a key's bytes combined by xor) is about five
// times cheaper for the 12 bytes of a position, and with random tables keeps the expected
// cost of linear probing constant for any set of keys (Patrascu and Thorup, "The power of
// simple tabulation hashing", 2012); its tables are drawn from the process's key.
#pragma once

#include <cstddef>
#include <cstdint>

struct HashKey {
    uint64_t k0 = 0;
    uint64_t k1 = 0;
};

// The key of this process: drawn from std::random_device at the first call.
const HashKey& ProcessHashKey();

// Replaces the process's key and the tables drawn from it (tests use it to check that
// results do not depend on the key).
void SetProcessHashKey(const HashKey& key);

// Tables of simple tabulation hashing for 12 bytes, drawn from the process's key.
struct TabulationTables {
    uint32_t word[12][256];
};
const TabulationTables& ProcessTabulationTables();

// Simple tabulation hash of the 12 bytes of three 32-bit words.
inline uint32_t TabulationHash(const TabulationTables& t, uint32_t a, uint32_t b, uint32_t c) {
    uint32_t h = 0;
    for (int k = 0; k < 4; ++k) {
        h ^= t.word[k][(a >> (8 * k)) & 0xFF] ^ t.word[4 + k][(b >> (8 * k)) & 0xFF] ^
             t.word[8 + k][(c >> (8 * k)) & 0xFF];
    }
    return h;
}

// The SipHash state over the message's 8-byte little-endian blocks; the last block holds
// the remaining bytes and, in its top byte, the message's length modulo 256.
struct SipHashState {
    uint64_t v0, v1, v2, v3;
};

inline SipHashState SipHashBegin(const HashKey& key) {
    return SipHashState{key.k0 ^ 0x736f6d6570736575u, key.k1 ^ 0x646f72616e646f6du,
                        key.k0 ^ 0x6c7967656e657261u, key.k1 ^ 0x7465646279746573u};
}

inline uint64_t RotateLeft(uint64_t x, int bits) {
    return (x << bits) | (x >> (64 - bits));
}

inline void SipRound(SipHashState& s) {
    s.v0 += s.v1;
    s.v1 = RotateLeft(s.v1, 13);
    s.v1 ^= s.v0;
    s.v0 = RotateLeft(s.v0, 32);
    s.v2 += s.v3;
    s.v3 = RotateLeft(s.v3, 16);
    s.v3 ^= s.v2;
    s.v0 += s.v3;
    s.v3 = RotateLeft(s.v3, 21);
    s.v3 ^= s.v0;
    s.v2 += s.v1;
    s.v1 = RotateLeft(s.v1, 17);
    s.v1 ^= s.v2;
    s.v2 = RotateLeft(s.v2, 32);
}

// Absorbs one block with `rounds` compression rounds.
inline void SipHashBlock(SipHashState& s, uint64_t block, int rounds = 1) {
    s.v3 ^= block;
    for (int i = 0; i < rounds; ++i)
        SipRound(s);
    s.v0 ^= block;
}

// The hash, after `rounds` finalization rounds.
inline uint64_t SipHashEnd(SipHashState& s, int rounds = 3) {
    s.v2 ^= 0xff;
    for (int i = 0; i < rounds; ++i)
        SipRound(s);
    return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

// SipHash-c-d of `length` bytes: c compression and d finalization rounds (1 and 3 for the
// tables; 2 and 4 for the published test vectors).
uint64_t SipHash(const HashKey& key, const void* bytes, size_t length, int c = 1, int d = 3);
