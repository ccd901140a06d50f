// The bitmap font and the text drawer.
#include "render/text.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(Text, GlyphsAreFiveByEightAndPrintableAsciiOnly) {
    // 'H': two posts joined in the middle row.
    const uint8_t h[kGlyphHeight] = {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11};
    for (int32_t row = 0; row < kGlyphHeight; ++row)
        EXPECT_EQ(GlyphRows('H')[row], h[row]) << "row " << row;
    for (int c = 0x20; c < 0x7F; ++c) {
        int32_t set = 0;
        for (int32_t row = 0; row < kGlyphHeight; ++row) {
            EXPECT_EQ(GlyphRows(static_cast<char>(c))[row] & ~0x1F, 0) << c;
            set += GlyphRows(static_cast<char>(c))[row] != 0 ? 1 : 0;
        }
        EXPECT_EQ(set == 0, c == ' ') << "character " << c;
    }
    // Bytes outside printable ASCII look like '?'.
    for (char c : {'\0', '\n', '\x1b', '\x7f', '\x80', '\xff'})
        EXPECT_EQ(GlyphRows(c), GlyphRows('?'));
}

TEST(Text, DrawsOnlyGlyphPixelsAndClipsAtEveryEdge) {
    constexpr int32_t kWidth = 13;
    constexpr int32_t kHeight = 9;
    constexpr uint32_t kInk = 0x00ABCDEFu;
    // The frame sits between guard words that must stay as they are.
    std::vector<uint32_t> memory(kWidth * kHeight + 2, 0x55555555u);
    uint32_t* frame = memory.data() + 1;
    for (int32_t i = 0; i < kWidth * kHeight; ++i)
        frame[i] = 0;
    EXPECT_EQ(DrawFrameText(frame, kWidth, kHeight, 1, 1, "H", kInk), 1 + kTextAdvance);
    for (int32_t y = 0; y < kHeight; ++y) {
        for (int32_t x = 0; x < kWidth; ++x) {
            bool inGlyph = x >= 1 && x < 6 && y >= 1 && y < 8 &&
                           ((GlyphRows('H')[y - 1] >> (4 - (x - 1))) & 1) != 0;
            EXPECT_EQ(frame[y * kWidth + x], inGlyph ? kInk : 0u) << x << "," << y;
        }
    }
    // Text hanging over each edge, or wholly outside, writes only inside the frame.
    for (int32_t x : {-20, -3, 9, 12, 40}) {
        for (int32_t y : {-20, -4, 5, 8, 40}) {
            DrawFrameText(frame, kWidth, kHeight, x, y, "W#@M", kInk);
            FillRectangle(frame, kWidth, kHeight, x, y, 7, 6, kInk);
        }
    }
    FillRectangle(frame, kWidth, kHeight, -5, -5, 100, 100, 7);
    for (int32_t i = 0; i < kWidth * kHeight; ++i)
        EXPECT_EQ(frame[i], 7u);
    EXPECT_EQ(memory.front(), 0x55555555u);
    EXPECT_EQ(memory.back(), 0x55555555u);
    EXPECT_EQ(TextWidth(""), 0);
    EXPECT_EQ(TextWidth("ab"), kTextAdvance + kGlyphWidth);
}

}  // namespace
