// The keyed hashes of the loader's tables.
#include "scene/keyed_hash.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>

namespace {

TEST(KeyedHash, SipHashTwoFourGivesThePublishedTestVectors) {
    // Key 00 01 ... 0f, messages 00 01 ... of length 0 and 15 (the reference's vectors).
    const HashKey key{0x0706050403020100u, 0x0f0e0d0c0b0a0908u};
    unsigned char message[15];
    for (int i = 0; i < 15; ++i)
        message[i] = static_cast<unsigned char>(i);
    EXPECT_EQ(SipHash(key, message, 0, 2, 4), 0x726fdb47dd0e0e31u);
    EXPECT_EQ(SipHash(key, message, 15, 2, 4), 0xa129ca6149be45e5u);
}

TEST(KeyedHash, TheKeyChangesTheHashesAndTheTables) {
    const HashKey processKey = ProcessHashKey();
    const char name[] = "Box01";
    std::set<uint64_t> hashes;
    std::set<uint32_t> words;
    for (const HashKey key : {HashKey{1, 2}, HashKey{1, 3}, HashKey{2, 2}}) {
        SetProcessHashKey(key);
        hashes.insert(SipHash(ProcessHashKey(), name, sizeof name - 1));
        words.insert(TabulationHash(ProcessTabulationTables(), 1, 2, 3));
    }
    EXPECT_EQ(hashes.size(), 3u);
    EXPECT_EQ(words.size(), 3u);
    SetProcessHashKey(processKey);
}

}  // namespace
