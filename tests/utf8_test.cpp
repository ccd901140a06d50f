// Names as UTF-8: which byte sequences are UTF-8, and the Latin-1 reading of the others.
#include "scene/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Utf8, OnlyWellFormedSequencesAreUtf8) {
    struct Case {
        std::string bytes;
        bool utf8;
    };
    const Case cases[] = {
        {"", true},
        {"Box01", true},
        {std::string("a\0b", 3), true},   // NUL is a character
        {"W\xc3\xbcrfel", true},          // two bytes
        {"\xe2\x82\xac", true},           // three bytes: U+20AC
        {"\xf0\x9f\x98\x80", true},       // four bytes: U+1F600
        {"\xf4\x8f\xbf\xbf", true},       // U+10FFFF, the last
        {"\x80", false},                  // a continuation byte alone
        {"\xc3", false},                  // cut short at the end
        {"\xe2\x82", false},              // cut short at the end
        {"\xc3\x41", false},              // a lead byte followed by 'A'
        {"\xc0\xaf", false},              // overlong '/'
        {"\xe0\x80\xaf", false},          // overlong, three bytes
        {"\xf0\x80\x80\xaf", false},      // overlong, four bytes
        {"\xed\xa0\x80", false},          // U+D800, a surrogate
        {"\xed\xbf\xbf", false},          // U+DFFF
        {"\xf4\x90\x80\x80", false},      // U+110000, past the last
        {"\xf8\x88\x80\x80\x80", false},  // five-byte forms do not exist
        {"\xff\xfe", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        EXPECT_EQ(IsUtf8(c.bytes.data(), c.bytes.size()), c.utf8);
    }
}

TEST(Utf8, NamesThatAreNotUtf8AreReadAsLatin1LosingNoByte) {
    EXPECT_EQ(NameAsUtf8(nullptr), "");
    EXPECT_EQ(NameAsUtf8("Box01"), "Box01");
    EXPECT_EQ(NameAsUtf8("W\xc3\xbcrfel"), "W\xc3\xbcrfel");  // UTF-8 kept as it is
    EXPECT_EQ(NameAsUtf8("W\xfcrfel"), "W\xc3\xbcrfel");      // Latin-1 u umlaut
    EXPECT_EQ(NameAsUtf8("\x80\xff"), "\xc2\x80\xc3\xbf");
    // One bad byte makes the whole name Latin-1: every byte keeps its own character.
    EXPECT_EQ(NameAsUtf8("\xc3\xbc\xff"), "\xc3\x83\xc2\xbc\xc3\xbf");
    // Every byte value from 1 to 255 comes back as UTF-8, two bytes at most each.
    std::string all;
    for (int b = 1; b < 256; ++b)
        all += static_cast<char>(b);
    const std::string text = NameAsUtf8(all.c_str());
    EXPECT_TRUE(IsUtf8(text.data(), text.size()));
    EXPECT_EQ(text.size(), 127u + 2u * 128u);
}

}  // namespace
