// The progress line of long work: nothing for the first second, then one line redrawn in
// place at most five times a second, cleared at the end and before any other message.
#include "app/progress.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

constexpr int64_t kSecond = 1000000000;

std::string Contents(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    char buffer[256];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, got);
    return text;
}

TEST(Progress, ShownOnlyAfterASecondAndAtMostFiveTimesASecond) {
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    Progress progress;
    StartProgress(progress, out, "frame", 1000, 0);
    EXPECT_FALSE(UpdateProgress(progress, 10, nullptr, kSecond / 2));
    EXPECT_EQ(Contents(out), "");
    EXPECT_TRUE(UpdateProgress(progress, 100, "1.5 MB so far", kSecond));
    EXPECT_FALSE(UpdateProgress(progress, 110, nullptr, kSecond + kSecond / 10));
    EXPECT_TRUE(UpdateProgress(progress, 200, nullptr, 2 * kSecond));
    EndProgress(progress);
    EXPECT_EQ(Contents(out),
              "\rtrellis: frame 100 of 1000 (10%), 1.5 MB so far, about 9 s left\033[K"
              "\rtrellis: frame 200 of 1000 (20%), about 8 s left\033[K\r\033[K");
    std::fclose(out);
}

TEST(Progress, ClearedForAMessageAndLongWaitsInMinutes) {
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    Progress progress;
    StartProgress(progress, out, "scene", 100000, 0);
    EXPECT_TRUE(UpdateProgress(progress, 100, nullptr, 2 * kSecond));
    ClearProgressLine();
    ClearProgressLine();  // nothing stands now: nothing more is written
    EndProgress(progress);
    EXPECT_EQ(Contents(out),
              "\rtrellis: scene 100 of 100000 (0%), about 33 min left\033[K\r\033[K");
    // Without a terminal nothing is ever written, and a silent progress started within a
    // shown one (each scene of a folder run) leaves the shown one to be cleared.
    StartProgress(progress, out, "scene", 10, 0);
    EXPECT_TRUE(UpdateProgress(progress, 1, nullptr, 2 * kSecond));
    Progress silent;
    StartProgress(silent, nullptr, "frame", 10, 0);
    EXPECT_FALSE(UpdateProgress(silent, 5, nullptr, 10 * kSecond));
    EndProgress(silent);
    ClearProgressLine();
    const std::string text = Contents(out);
    EXPECT_EQ(text.substr(text.size() - 4), "\r\033[K");
    EndProgress(progress);
    std::fclose(out);
}

}  // namespace
