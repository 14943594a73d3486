#include "tool_buttons.h"

#include <GL/gl.h>

#include <array>

#include "pixel_grid.h"

namespace talvane {
namespace {

// The pictures, row by row from the top, as (dx, dy) from the anchor.
// Pencil Body: 49 points
constexpr std::array<IconPoint, 49> kPencilBody{{
    {14, 17}, {15, 17}, {12, 16}, {11, 15}, {12, 15}, {13, 15}, {14, 15}, {11, 14}, {12, 14},
    {13, 14}, {10, 13}, {11, 13}, {12, 13}, {13, 13}, {9, 12}, {10, 12}, {11, 12}, {12, 12},
    {8, 11}, {9, 11}, {10, 11}, {11, 11}, {7, 10}, {8, 10}, {9, 10}, {10, 10}, {6, 9}, {7, 9},
    {8, 9}, {9, 9}, {5, 8}, {6, 8}, {7, 8}, {8, 8}, {5, 7}, {6, 7}, {7, 7}, {8, 7}, {4, 6}, {5, 6},
    {6, 6}, {7, 6}, {3, 5}, {4, 5}, {5, 5}, {6, 5}, {3, 4}, {4, 4}, {5, 4},
}};
// Pencil Outline: 54 points
constexpr std::array<IconPoint, 54> kPencilOutline{{
    {13, 18}, {14, 18}, {15, 18}, {16, 18}, {12, 17}, {13, 17}, {16, 17}, {17, 17}, {11, 16},
    {13, 16}, {14, 16}, {15, 16}, {16, 16}, {10, 15}, {15, 15}, {10, 14}, {14, 14}, {9, 13},
    {14, 13}, {8, 12}, {13, 12}, {7, 11}, {12, 11}, {6, 10}, {11, 10}, {5, 9}, {10, 9}, {4, 8},
    {9, 8}, {4, 7}, {9, 7}, {3, 6}, {8, 6}, {2, 5}, {7, 5}, {1, 4}, {2, 4}, {6, 4}, {1, 3}, {2, 3},
    {3, 3}, {4, 3}, {5, 3}, {0, 2}, {1, 2}, {2, 2}, {3, 2}, {4, 2}, {0, 1}, {1, 1}, {2, 1}, {3, 1},
    {0, 0}, {1, 0},
}};
// Bucket Handle: 17 points
constexpr std::array<IconPoint, 17> kBucketHandle{{
    {-9, 15}, {-8, 15}, {-10, 14}, {-9, 14}, {-8, 14}, {-7, 14}, {-10, 13}, {-9, 13}, {-8, 13},
    {-7, 13}, {-10, 12}, {-9, 12}, {-8, 12}, {-7, 12}, {-10, 11}, {-9, 11}, {-10, 10},
}};
// Bucket Body: 100 points
constexpr std::array<IconPoint, 100> kBucketBody{{
    {-8, 10}, {-7, 10}, {-9, 9}, {-8, 9}, {-7, 9}, {-5, 9}, {-10, 8}, {-9, 8}, {-8, 8}, {-7, 8},
    {-5, 8}, {-4, 8}, {-11, 7}, {-10, 7}, {-9, 7}, {-8, 7}, {-7, 7}, {-5, 7}, {-4, 7}, {-3, 7},
    {-12, 6}, {-11, 6}, {-10, 6}, {-9, 6}, {-8, 6}, {-6, 6}, {-4, 6}, {-3, 6}, {-2, 6}, {-13, 5},
    {-12, 5}, {-11, 5}, {-10, 5}, {-9, 5}, {-8, 5}, {-7, 5}, {-5, 5}, {-4, 5}, {-3, 5}, {-2, 5},
    {-14, 4}, {-13, 4}, {-12, 4}, {-11, 4}, {-10, 4}, {-9, 4}, {-8, 4}, {-7, 4}, {-6, 4}, {-5, 4},
    {-4, 4}, {-3, 4}, {-2, 4}, {-14, 3}, {-13, 3}, {-12, 3}, {-11, 3}, {-10, 3}, {-9, 3}, {-8, 3},
    {-7, 3}, {-6, 3}, {-5, 3}, {-4, 3}, {-3, 3}, {-14, 2}, {-13, 2}, {-12, 2}, {-11, 2}, {-10, 2},
    {-9, 2}, {-8, 2}, {-7, 2}, {-6, 2}, {-5, 2}, {-4, 2}, {-13, 1}, {-12, 1}, {-11, 1}, {-10, 1},
    {-9, 1}, {-8, 1}, {-7, 1}, {-6, 1}, {-5, 1}, {-12, 0}, {-11, 0}, {-10, 0}, {-9, 0}, {-8, 0},
    {-7, 0}, {-6, 0}, {-11, -1}, {-10, -1}, {-9, -1}, {-8, -1}, {-7, -1}, {-10, -2}, {-9, -2},
    {-8, -2},
}};
// Bucket Outline: 72 points
constexpr std::array<IconPoint, 72> kBucketOutline{{
    {-9, 16}, {-8, 16}, {-10, 15}, {-7, 15}, {-11, 14}, {-6, 14}, {-11, 13}, {-6, 13}, {-11, 12},
    {-6, 12}, {-11, 11}, {-8, 11}, {-7, 11}, {-6, 11}, {-11, 10}, {-9, 10}, {-6, 10}, {-5, 10},
    {-4, 10}, {-11, 9}, {-10, 9}, {-6, 9}, {-4, 9}, {-3, 9}, {-2, 9}, {-11, 8}, {-6, 8}, {-3, 8},
    {-2, 8}, {-1, 8}, {-12, 7}, {-6, 7}, {-2, 7}, {-1, 7}, {0, 7}, {-13, 6}, {-7, 6}, {-5, 6},
    {-1, 6}, {0, 6}, {1, 6}, {-14, 5}, {-6, 5}, {-1, 5}, {0, 5}, {1, 5}, {-15, 4}, {-1, 4}, {0, 4},
    {1, 4}, {-15, 3}, {-2, 3}, {0, 3}, {1, 3}, {-15, 2}, {-3, 2}, {0, 2}, {1, 2}, {-14, 1}, {-4, 1},
    {0, 1}, {1, 1}, {-13, 0}, {-5, 0}, {0, 0}, {-12, -1}, {-6, -1}, {-11, -2}, {-7, -2}, {-10, -3},
    {-9, -3}, {-8, -3},
}};

void drawPoints(int x, int y, std::span<const IconPoint> points) {
    for (const IconPoint& p : points) pixelVertex(x + p.dx, y - p.dy);
}

}  // namespace

std::span<const IconPoint> pencilBodyPoints() { return kPencilBody; }
std::span<const IconPoint> pencilOutlinePoints() { return kPencilOutline; }
std::span<const IconPoint> bucketHandlePoints() { return kBucketHandle; }
std::span<const IconPoint> bucketBodyPoints() { return kBucketBody; }
std::span<const IconPoint> bucketOutlinePoints() { return kBucketOutline; }

void drawRectOutline(int x0, int y0, int x1, int y1) {
    glBegin(GL_LINES);
    pixelVertex(x0, y0);
    pixelVertex(x1, y0);
    pixelVertex(x0, y1);
    pixelVertex(x1 + 1, y1);
    pixelVertex(x0, y0);
    pixelVertex(x0, y1);
    pixelVertex(x1, y0);
    pixelVertex(x1, y1);
    glEnd();
}

void drawToolButton(int x, int y, bool selected) {
    if (x < 0 || y < 0) return;
    glColor3f(0.0f, 0.0f, 0.0f);
    drawRectOutline(x, y, x + kToolButtonSize, y + kToolButtonSize);
    glColor3fv(selected ? kSelectedButtonColor.data() : kButtonColor.data());
    glRecti(x + 1, y + 1, x + kToolButtonSize - 1, y + kToolButtonSize - 1);
}

void drawBrushSwatch(int x, int y, int outerCode, int innerCode) {
    drawToolButton(x, y, false);
    setPaletteColor(9);
    drawRectOutline(x + 8, y + 9, x + 22, y + 23);
    setPaletteColor(static_cast<unsigned>(outerCode));
    glRecti(x + 9, y + 9, x + 22, y + 22);
    setPaletteColor(static_cast<unsigned>(innerCode));
    glRecti(x + 12, y + 12, x + 19, y + 19);
}

void drawPencilButton(int x, int y, bool selected) {
    drawToolButton(x, y, selected);
    drawPencilIcon(x + 8, y + 26, 8);
}

void drawFillButton(int x, int y, bool selected) {
    drawToolButton(x, y, selected);
    drawBucketIcon(x + 22, y + 22, 8);
}

void drawPencilIcon(int x, int y, int colorCode) {
    if (x < 0 || y < 0) return;
    glBegin(GL_POINTS);
    setPaletteColor(static_cast<unsigned>(colorCode));
    drawPoints(x, y, kPencilBody);
    setPaletteColor(9);
    drawPoints(x, y, kPencilOutline);
    glEnd();
}

void drawBucketIcon(int x, int y, int colorCode) {
    if (x < 0 || y < 0) return;
    glBegin(GL_POINTS);
    glColor3f(1.0f, 1.0f, 1.0f);
    drawPoints(x, y, kBucketHandle);
    setPaletteColor(static_cast<unsigned>(colorCode));
    drawPoints(x, y, kBucketBody);
    setPaletteColor(9);
    drawPoints(x, y, kBucketOutline);
    glEnd();
}

void drawToolButtons(const FrameDescription& frame) {
    if (frame.viewStrategies) {
        drawBrushSwatch(kSwatchButtonX, kToolButtonY, frame.brushOther, frame.brushSelf);
    } else {
        drawBrushSwatch(kSwatchButtonX, kToolButtonY, frame.brushColor, frame.brushColor);
    }
    const int tool = frame.paintTool;
    drawPencilButton(kPencilButtonX, kToolButtonY, tool == kToolPencil);
    drawFillButton(kFillButtonX, kToolButtonY, tool == kToolFill);
}

}  // namespace talvane
