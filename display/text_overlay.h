// Every text of the frame: the title line, the status block, the payoff
// matrix, and the text operation that the panels use as well.
#pragma once

#include <array>

#include "grid_view.h"

namespace talvane {

// Font codes of drawText.
inline constexpr int kFontTitle = 1;   // GLUT_BITMAP_HELVETICA_18: the title line
inline constexpr int kFontStatus = 2;  // GLUT_BITMAP_HELVETICA_10: status lines and payoff matrix
inline constexpr int kFontPanel = 3;   // GLUT_BITMAP_9_BY_15: panel titles and rows

// Colour of the status lines and the matrix numbers, one per infoPage 0..5.
extern const std::array<Rgb, 6> textPalette;

// Fixed colours of the title and of the status block's outer bevel line.
inline constexpr Rgb kTitleColor{1.0f, 1.0f, 0.9f};
inline constexpr Rgb kOuterBevelColor{0.15f, 0.15f, 0.15f};

// The GLUT font for a font code (any unknown code gives Helvetica 18); null
// when freeglut's fonts are unavailable (no X display).
void* fontForCode(int code);

// Draws text at the current raster position in the current colour; 2 if the
// font or the text is null, else 0.
unsigned drawBitmapString(void* font, const char* text);

// Draws text in the font of the code with its baseline starting at frame
// point (x, y), in the current colour; 2 if the text is null, else 0.
unsigned drawText(int fontCode, const char* text, int x, int y);

// The description's title at (20, 50).
unsigned drawTitleLine(const FrameDescription& frame);

// The bevel and the description's eleven status lines from baseline
// (625, 285), in the colour of its infoPage.
unsigned drawStatusBlock(const FrameDescription& frame);

// The 2 x 2 payoff matrix of the description's payoffs at 845..925 x 270..323.
unsigned drawPayoffMatrix(const FrameDescription& frame);

// One payoff row as the matrix shows it: "%d, %d     %d, %d"; needs 54
// bytes for any four values.
void formatPayoffRow(char* buffer, std::size_t size, int a, int b, int c, int d);

// Room for any title, status line or payoff row, terminator included.
inline constexpr std::size_t kTextBufferSize = kFrameTextSize;

}  // namespace talvane
