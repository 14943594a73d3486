// The paint tool buttons shown in paint mode: the brush swatch, the pencil
// and the fill bucket; and the rectangle outline the layout icon shares.
#pragma once

#include <span>

#include "grid_view.h"

namespace talvane {

// One pixel of an icon, relative to its anchor: drawn at (x + dx, y - dy).
struct IconPoint {
    int dx;  // to the right of the anchor
    int dy;  // above the anchor
};

// The icons' point lists, one per colour, in the order they are drawn.
std::span<const IconPoint> pencilBodyPoints();     // 49, in the body colour
std::span<const IconPoint> pencilOutlinePoints();  // 54, black
std::span<const IconPoint> bucketHandlePoints();   // 17, white
std::span<const IconPoint> bucketBodyPoints();     // 100, in the body colour
std::span<const IconPoint> bucketOutlinePoints();  // 72, black

// Button faces: white while the tool is in force, light grey otherwise.
inline constexpr Rgb kSelectedButtonColor{1.0f, 1.0f, 1.0f};
inline constexpr Rgb kButtonColor{0.8f, 0.8f, 0.8f};

// The row of three buttons for the description's brush and paint tool.
void drawToolButtons(const FrameDescription& frame);

// A one-pixel outline in the current colour, corners (x0, y0) and (x1, y1);
// the bottom edge reaches one pixel further so that (x1, y1) is lit.
void drawRectOutline(int x0, int y0, int x1, int y1);

// A 32 x 32 button face, black outline, upper left corner (x, y); nothing
// when x or y is negative.
void drawToolButton(int x, int y, bool selected);

// An unselected button showing a cell: outerCode around innerCode.
void drawBrushSwatch(int x, int y, int outerCode, int innerCode);

// The pencil tool's button and icon.
void drawPencilButton(int x, int y, bool selected);

// The flood-fill tool's button and icon.
void drawFillButton(int x, int y, bool selected);

// The pencil with its point at (x, y), body in palette colour colorCode.
void drawPencilIcon(int x, int y, int colorCode);

// The paint bucket anchored at (x, y), body in palette colour colorCode.
void drawBucketIcon(int x, int y, int colorCode);

}  // namespace talvane
