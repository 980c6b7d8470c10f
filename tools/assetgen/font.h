// The generator's own 5 x 7 pixel font: capitals, digits, a few small letters and the Cyrillic
// capitals that the pictures' captions need. Text is rasterised into a mask, optionally scaled
// up and rounded, so titles can be shaded like artwork.
#pragma once

#include <string_view>

#include "canvas.h"

namespace gen {

// Width in pixels of `utf8` drawn at `scale` with `spacing` pixels between glyphs.
int TextWidth(std::string_view utf8, int scale, int spacing);
// Height of a line of text at `scale` (7 font rows).
inline int TextHeight(int scale) { return 7 * scale; }
// True when every character of `utf8` has a glyph.
bool HasGlyphs(std::string_view utf8);

// Rasterises `utf8` into a w x h mask with its top-left corner at (x, y). With `round` the
// scaled-up pixels are melted into rounded, anti-aliased strokes; otherwise they stay square.
void DrawText(Mask& m, std::string_view utf8, int x, int y, int scale, int spacing, bool round);

}  // namespace gen
