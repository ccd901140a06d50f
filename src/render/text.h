// Text drawn into the frame: a 5 x 7 pixel bitmap font of the printable ASCII characters,
// for the help and status lines the viewer shows over the wireframe.
#pragma once

#include <cstdint>

inline constexpr int32_t kGlyphWidth = 5;
inline constexpr int32_t kGlyphHeight = 7;
inline constexpr int32_t kTextAdvance = 6;     // pixels from one character to the next
inline constexpr int32_t kTextLineHeight = 9;  // pixels from one line to the next

// The rows of the glyph of `character`, top first, bit 4 the leftmost pixel. Characters
// outside printable ASCII (0x20 to 0x7E) have the glyph of '?'.
const uint8_t* GlyphRows(char character);

// Draws `text` with its first glyph's top-left pixel at (x, y) into `pixels`, a frame of
// width x height with rows exactly width apart: the glyphs' pixels in `colour`, nothing
// else touched. Whatever falls outside the frame is left out. Returns the x just past the
// last character. (Not called DrawText: <windows.h> makes that name a macro.)
int32_t DrawFrameText(uint32_t* pixels, int32_t width, int32_t height, int32_t x, int32_t y,
                      const char* text, uint32_t colour);

// Sets every pixel of the rectangle from (x, y), w x h, that lies inside the frame to
// `colour`: the backing behind lines of text.
void FillRectangle(uint32_t* pixels, int32_t width, int32_t height, int32_t x, int32_t y, int32_t w,
                   int32_t h, uint32_t colour);

// The width in pixels of `text` drawn by DrawFrameText.
int32_t TextWidth(const char* text);
