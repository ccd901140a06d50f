// Bytes made printable: what each kind of byte becomes, bare and quoted.
#include "scene/printable.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct PrintableCase {
    std::string bytes;
    const char* bare;
    const char* quoted;
};

TEST(Printable, EveryByteOutsidePrintableAsciiIsEscapedAndQuotesOnlyInTheQuotedForm) {
    const PrintableCase cases[] = {
        {"Box01", "Box01", "\"Box01\""},
        {"", "", "\"\""},
        {"a b~", "a b~", "\"a b~\""},
        {"say \"hi\"", "say \"hi\"", "\"say \\\"hi\\\"\""},
        {"C:\\x", "C:\\x", "\"C:\\\\x\""},
        {"\x1b[2J\x1b]0;title\x07", "\\x1b[2J\\x1b]0;title\\x07", "\"\\x1b[2J\\x1b]0;title\\x07\""},
        {"line\r\nnext\t", "line\\x0d\\x0anext\\x09", "\"line\\x0d\\x0anext\\x09\""},
        {"\x7f", "\\x7f", "\"\\x7f\""},
        {"\x80\x9b\x9f", "\\x80\\x9b\\x9f", "\"\\x80\\x9b\\x9f\""},   // C1 controls
        {"\xc2\x9b", "\\xc2\\x9b", "\"\\xc2\\x9b\""},                 // C1 CSI as UTF-8
        {"W\xc3\xbcrfel", "W\\xc3\\xbcrfel", "\"W\\xc3\\xbcrfel\""},  // UTF-8
        {"\xff\xfe", "\\xff\\xfe", "\"\\xff\\xfe\""},                 // not UTF-8
        {std::string("a\0b", 3), "a\\x00b", "\"a\\x00b\""},
    };
    for (const PrintableCase& c : cases) {
        SCOPED_TRACE(c.bare);
        EXPECT_EQ(PrintableBytes(c.bytes.data(), c.bytes.size()), c.bare);
        std::string quoted = "mesh ";
        AppendPrintable(quoted, c.bytes.data(), c.bytes.size(), true);
        EXPECT_EQ(quoted, std::string("mesh ") + c.quoted);
        if (c.bytes.find('\0') == std::string::npos) {
            EXPECT_EQ(PrintableName(c.bytes.c_str()), c.bare);
            EXPECT_EQ(QuotedName(c.bytes.c_str()), c.quoted);
        }
        EXPECT_TRUE(IsPrintable(c.bare));
        EXPECT_TRUE(IsPrintable(c.quoted));
    }
    EXPECT_EQ(PrintableName(nullptr), "");
    EXPECT_EQ(QuotedName(nullptr), "\"\"");
}

TEST(Printable, EachOfTheTwoHundredAndFiftySixBytesGivesPrintableAscii) {
    for (int b = 0; b < 256; ++b) {
        const char byte = static_cast<char>(b);
        const std::string bare = PrintableBytes(&byte, 1);
        const bool plain = b >= 0x20 && b < 0x7F;
        EXPECT_TRUE(IsPrintable(bare)) << b;
        EXPECT_EQ(bare.size(), plain ? 1u : 4u) << b;
        EXPECT_EQ(IsPrintable(std::string(1, byte)), plain) << b;
    }
}

}  // namespace
