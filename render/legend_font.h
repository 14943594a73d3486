// A small bitmap font for the legend strip of pictures: capital letters,
// digits and a little punctuation, 5 x 7 pixels on a 6-pixel advance.
#pragma once

#include <array>
#include <cstdint>

namespace talvane {

inline constexpr int kGlyphWidth = 5;    // pixels across a glyph
inline constexpr int kGlyphHeight = 7;   // pixels down a glyph
inline constexpr int kGlyphAdvance = 6;  // from one glyph to the next

// The rows of a glyph, top first; bit 4 is the leftmost pixel.
using Glyph = std::array<std::uint8_t, kGlyphHeight>;

// The glyph of c (lower case drawn as capitals); a blank for characters the
// font lacks.
const Glyph& glyphOf(char c);

}  // namespace talvane
