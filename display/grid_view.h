// The 64 x 64 world as the frame shows it, and the palette that gives
// strategy codes and colour codes their look.
#pragma once

#include <array>

#include "frame_description.h"
#include "frame_layout.h"

namespace talvane {

// One palette entry: red, green, blue in 0..1.
using Rgb = std::array<float, 3>;

// Ten colours: 0..7 colour strategy codes and colour codes alike, 8 white,
// 9 black.
extern const std::array<Rgb, 10> cellPalette;

// Status of the drawing operations.
inline constexpr unsigned kDrawDone = 0;        // drawn
inline constexpr unsigned kDrawOutOfRange = 2;  // an argument was out of range; nothing drawn

// Makes cellPalette[index] the current GL colour; 2 (and the colour left as
// it was) for an index of 10 or more.
unsigned setPaletteColor(unsigned index);

// Draws cell [i][j] (i across, j down): in strategy view an 8 x 8 square in
// outerCode around a 4 x 4 square in innerCode, in colour view one 8 x 8
// square in colorCode. 2 and nothing drawn when i or j is 64 or more, or a
// strategy code is 40 or more.
unsigned drawCell(unsigned i, unsigned j, unsigned outerCode, unsigned innerCode, unsigned colorCode, bool strategies);

// Draws every cell of the description in its view; stops at the first
// failing cell and returns its status.
unsigned drawGrid(const FrameDescription& frame);

}  // namespace talvane
