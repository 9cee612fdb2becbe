#pragma once

#include <cstdint>
#include <string_view>

namespace vrx4ksim {

struct Rgb {
    uint8_t r, g, b;
};

// An RGB picture, 3 bytes per pixel, rows top-down and packed.
struct RgbCanvas {
    uint8_t *pixels;
    int width;
    int height;
};

// Glyphs are 5 x 7 cells with one cell of spacing; scale is the cell size in pixels.
constexpr int kGlyphColumns = 5;
constexpr int kGlyphRows = 7;
constexpr int kGlyphAdvance = kGlyphColumns + 1;

// Draws text with its top-left corner at (x, y), clipped to the canvas.
// Lower-case letters are drawn as capitals; characters the font lacks as '?'.
void DrawText(const RgbCanvas &canvas, int x, int y, int scale, std::string_view text, Rgb colour);

// Width in pixels that DrawText takes for text at scale.
int TextWidth(std::string_view text, int scale);

} // namespace vrx4ksim
