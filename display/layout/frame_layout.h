// Where the frame's elements lie, in frame coordinates: x to the right, y
// downwards, one unit per pixel, origin at the top left of the 980 x 700
// frame. The display draws from these numbers and the desktop program's
// mouse hit-tests against them, so moving an element here moves both. No
// OpenGL: the shell includes this header alone.
#pragma once

#include "sim_state.h"

namespace talvane {

// An area of the frame with inclusive pixel bounds.
struct FrameArea {
    int left, top, right, bottom;  // inclusive pixel bounds
    // True when the pixel (x, y) lies in the area.
    constexpr bool contains(int x, int y) const { return x >= left && x <= right && y >= top && y <= bottom; }
};

// --- The grid: 64 x 64 cells of 8 x 8 pixels, one pixel apart ---
inline constexpr int kGridLeft = 20;                      // left edge of column 0
inline constexpr int kGridTop = 80;                       // top edge of row 0
inline constexpr int kCellPitch = 9;                      // from one cell's corner to the next
inline constexpr int kGridPixels = kGridSize * kCellPitch;  // 576: width and height the grid takes
inline constexpr FrameArea kGridArea{kGridLeft, kGridTop, kGridLeft + kGridPixels - 1, kGridTop + kGridPixels - 1};

// --- The panels: rows of strategies or colours, two columns ---
inline constexpr int kPanelLeft = 616;          // panel x offsets count from here
inline constexpr int kPanelRowsTop = 80;        // row r takes y kPanelRowsTop + 18 r .. + 17
inline constexpr int kPanelRowPitch = 18;       // from one row to the next
inline constexpr int kPanelTitleBaseline = 70;  // the panels' titles, above the rows
inline constexpr int kPanelFirstRowBaseline = kPanelRowsTop + kPanelRowPitch;  // row 0's text baseline
inline constexpr int kLeftPanelWidth = 170;     // x below kPanelLeft + 170 is the left column
inline constexpr int kPanelTopMargin = 8;       // the first 8 pixels of row 0's band take no clicks
// Where clicks choose a row: the eight rows below the margin, both columns.
inline constexpr FrameArea kPanelArea{kPanelLeft, kPanelRowsTop + kPanelTopMargin, 979,
                                      kPanelRowsTop + kCodeCount * kPanelRowPitch - 1};
// Each column's title, swatch and name x.
struct PanelColumn {
    int titleX;   // baseline start of the title
    int swatchX;  // left edge of each row's 8 x 8 swatch
    int nameX;    // baseline start of each row's name
};
inline constexpr PanelColumn kLeftPanelColumn{629, 619, 637};
inline constexpr PanelColumn kRightPanelColumn{799, 789, 807};

// --- The paint tool buttons (paint mode): swatch, pencil, bucket ---
inline constexpr int kToolButtonY = 452;     // top edge of every button
inline constexpr int kSwatchButtonX = 625;   // left edges
inline constexpr int kPencilButtonX = 662;
inline constexpr int kFillButtonX = 699;
inline constexpr int kToolButtonPitch = kPencilButtonX - kSwatchButtonX;  // 37
inline constexpr int kToolButtonSize = 32;   // a face spans x .. x + 32 and y .. y + 31

// --- The colour-layout icon (random-pool mode), where the swatch button is ---
inline constexpr int kLayoutIconLeft = 627;  // the grey plate's corners
inline constexpr int kLayoutIconTop = 455;
inline constexpr int kLayoutIconRight = 653;
inline constexpr int kLayoutIconBottom = 481;

// --- The payoff matrix (finite competition) ---
inline constexpr int kMatrixLeft = 845;    // the horizontal rule's ends and the row labels' x
inline constexpr int kMatrixRight = 925;
inline constexpr int kMatrixTop = 270;     // the vertical rule's ends
inline constexpr int kMatrixBottom = 323;
// Where a click opens the Payoffs dialog.
inline constexpr FrameArea kPayoffMatrixArea{837, 271, 915, 322};

}  // namespace talvane
