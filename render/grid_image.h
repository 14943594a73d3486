// A world drawn into pixels in software, as the desktop window draws its
// grid: the first (row) index runs across, the second (column) index down.
// Each cell is a square of K x K pixels; at the window's K = 9 an 8 x 8
// square in the others strategy's colour holds a 4 x 4 square in the self
// strategy's colour, with a black pixel line to the right and below.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "world.h"

namespace talvane {

// What the grid shows.
enum class GridView : std::uint8_t {
    Strategies,  // the self strategy inside, the others strategy around it
    Colors,      // each cell's colour
};

// Parses "strategies" or "colors" (also "colours"); false on anything else.
bool parseGridView(const std::string& text, GridView& view);

inline constexpr int kWindowCellPixels = 9;     // the desktop window's cell pitch
inline constexpr int kMaxCellPixels = 64;       // largest cell accepted
inline constexpr int kDefaultMaxPicture = 2304;  // default pictures stay within this many pixels a side

// How a world is drawn.
struct GridPicture {
    int cellPixels = kWindowCellPixels;     // K: pixels per cell side, 1 .. kMaxCellPixels
    GridView view = GridView::Strategies;   // what the cells show
    bool legend = false;                    // a strip below the grid naming the colours
    std::int64_t generation = -1;           // named in the legend's title when 0 or more
};

// The cell size used when none is asked for: the window's 9 pixels, or for
// worlds too large for that the largest size that keeps the picture within
// kDefaultMaxPicture pixels a side (at least 1).
int defaultCellPixels(int rows, int cols);

// A picture as indexes into kCellColors, one byte per pixel, rows top first.
struct IndexedImage {
    int width = 0;                    // pixels across
    int height = 0;                   // pixels down
    std::vector<std::uint8_t> index;  // width * height palette indexes
    std::uint8_t at(int x, int y) const { return index[static_cast<std::size_t>(y) * width + x]; }
};

// Draws the world into image (resized as needed, so one image can be reused
// frame after frame): rows * K pixels across and cols * K down, plus the
// legend strip when asked for. Strategy and colour codes outside 0..7 draw
// black.
void drawWorld(const World& world, const GridPicture& picture, IndexedImage& image);

// The same picture as RGB bytes, three per pixel, rows top first.
void toRgb(const IndexedImage& image, std::vector<std::uint8_t>& rgb);

// Encodes the picture as an 8-bit palette PNG into bytes.
std::string encodePng(const IndexedImage& image);

// Decodes any 8-bit PNG into RGB bytes, rows top first (for reading pictures
// back). False, with error set, when the bytes are not a PNG it can read.
bool decodePngRgb(const std::string& bytes, int& width, int& height, std::vector<std::uint8_t>& rgb,
                  std::string& error);

}  // namespace talvane
