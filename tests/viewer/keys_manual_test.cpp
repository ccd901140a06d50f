// The one list of the mouse and keys: the help over the frame is packed from it, and README's
// table and the man page's section are its words exactly (when this fails, the expected text
// is printed: paste it where the message says).
#include "app/keys.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The text between the line `begin` and the line `end` of `text` (both excluded).
std::string Between(const std::string& text, const std::string& begin, const std::string& end) {
    const size_t from = text.find(begin + "\n");
    if (from == std::string::npos) return "(no line '" + begin + "')";
    const size_t start = from + begin.size() + 1;
    const size_t to = text.find(end + "\n", start);
    if (to == std::string::npos) return "(no line '" + end + "')";
    return text.substr(start, to - start);
}

TEST(KeyList, ReadmeAndManPageSayWhatTheListSays) {
    const std::string readme = ReadText(std::string(TRELLIS_SOURCE_DIR) + "/README.md");
    EXPECT_EQ(Between(readme, "<!-- keys: made from src/app/keys.cpp -->", "<!-- end of keys -->"),
              KeyTableMarkdown())
        << "README.md, between its keys markers, should read:\n"
        << KeyTableMarkdown();
    const std::string man = ReadText(std::string(TRELLIS_SOURCE_DIR) + "/man/trellis.1");
    EXPECT_EQ(Between(man, ".\\\" keys: made from src/app/keys.cpp", ".\\\" end of keys"),
              KeyListRoff())
        << "man/trellis.1, between its keys markers, should read:\n"
        << KeyListRoff();
}

TEST(KeyList, TheHelpPanelHoldsEveryEntryInFewShortLines) {
    char lines[kMostHelpLines][kHelpLineChars + 1];
    const size_t count = PackHelpLines(lines);
    ASSERT_GT(count, 0u);
    EXPECT_LE(count, 5u);
    std::string all;
    for (size_t i = 0; i < count; ++i) {
        EXPECT_LE(std::strlen(lines[i]), kHelpLineChars);
        all += std::string(lines[i]) + "\n";
    }
    for (size_t i = 0; i < kKeyHelpCount; ++i) {
        EXPECT_NE(all.find(kKeyHelp[i].panel), std::string::npos) << kKeyHelp[i].panel;
    }
    // The arrows' other use, stepping a stopped animation, is said where they are.
    EXPECT_NE(all.find("arrows turn (animation stopped: step)"), std::string::npos) << all;
}

}  // namespace
