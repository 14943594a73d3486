// The grid: where each cell lies, its outer and inner squares and the black
// lines between cells in both views, and the whole grid against cell-by-cell
// drawing.
#include <GL/gl.h>

#include "desktop_frame.h"
#include "desktop_view.h"
#include "frame_fixture.h"
#include "sim_state.h"

namespace talvane::test {
namespace {

using GridTest = FrameTest;

Pixel palette(unsigned index) { return toPixel(cellPalette[index]); }

void setCell(int i, int j, int other, int self, int color) {
    const std::size_t k = static_cast<std::size_t>(i * kGridSize + j);
    sim.world.otherStrategy[k] = other;
    sim.world.selfStrategy[k] = self;
    sim.world.cellColor[k] = color;
}

TEST_F(GridTest, CellSquaresAndGapsInBothViews) {
    setCell(5, 7, 6, 7, 2);  // "110 TFT" around "111 AllC", red
    setCell(6, 7, 3, 3, 1);  // one strategy for both: a solid square
    const int x0 = 20 + 9 * 5, y0 = 80 + 9 * 7;
    for (bool strategies : {true, false}) {
        desktopView.viewStrategies = strategies;
        blankFrame();
        ASSERT_EQ(drawGrid(describeDesktopFrame()), 0u);
        const Picture p = read();
        if (strategies) {
            const Pixel outer = toPixel({0.31f, 0.31f, 0.31f});
            EXPECT_TRUE(filled(p, x0 + 2, y0 + 2, x0 + 6, y0 + 6, palette(7)));
            EXPECT_TRUE(filled(p, x0, y0, x0 + 8, y0 + 2, outer));
            EXPECT_TRUE(filled(p, x0, y0 + 6, x0 + 8, y0 + 8, outer));
            EXPECT_TRUE(filled(p, x0, y0 + 2, x0 + 2, y0 + 6, outer));
            EXPECT_TRUE(filled(p, x0 + 6, y0 + 2, x0 + 8, y0 + 6, outer));
            EXPECT_TRUE(filled(p, x0 + 9, y0, x0 + 17, y0 + 8, palette(3)));
        } else {
            EXPECT_TRUE(filled(p, x0, y0, x0 + 8, y0 + 8, palette(2)));
            EXPECT_TRUE(filled(p, x0 + 9, y0, x0 + 17, y0 + 8, palette(1)));
        }
        EXPECT_TRUE(filled(p, x0 + 8, y0, x0 + 9, y0 + 8, kBlack));
        EXPECT_TRUE(filled(p, x0, y0 - 1, x0 + 17, y0, kBlack));
        EXPECT_TRUE(filled(p, x0, y0 + 8, x0 + 17, y0 + 9, kBlack));
    }
}

TEST_F(GridTest, FirstIndexRunsAcrossSecondDown) {
    setCell(0, 0, 7, 7, 0);
    setCell(63, 0, 2, 2, 0);
    setCell(0, 63, 4, 4, 0);
    blankFrame();
    drawGrid(describeDesktopFrame());
    const Picture p = read();
    EXPECT_TRUE(filled(p, 20, 80, 28, 88, palette(7)));    // [0][0] top left
    EXPECT_TRUE(filled(p, 587, 80, 595, 88, palette(2)));  // [63][0] top right
    EXPECT_TRUE(filled(p, 20, 647, 28, 655, palette(4)));  // [0][63] bottom left
    EXPECT_EQ(p.countLit(0, 0, 980, 700) - p.countLit(20, 80, 595, 655), 0);
    for (int k = 0; k < 63; ++k) {
        EXPECT_EQ(p.countLit(28 + 9 * k, 80, 29 + 9 * k, 655), 0) << "after column " << k;
        EXPECT_EQ(p.countLit(20, 88 + 9 * k, 595, 89 + 9 * k), 0) << "after row " << k;
    }
}

TEST_F(GridTest, OutOfRangeArgumentsDrawNothing) {
    blankFrame();
    EXPECT_EQ(drawCell(64, 0, 1, 1, 1, true), 2u);
    EXPECT_EQ(drawCell(0, 64, 1, 1, 1, true), 2u);
    EXPECT_EQ(drawCell(0, 0, 40, 1, 1, true), 2u);
    EXPECT_EQ(drawCell(0, 0, 1, 40, 1, true), 2u);
    EXPECT_EQ(drawCell(0, 0, 40, 1, 1, false), 2u);
    EXPECT_EQ(read().countLit(0, 0, 980, 700), 0);
    ASSERT_EQ(setPaletteColor(3), 0u);
    EXPECT_EQ(setPaletteColor(10), 2u);  // keeps magenta
    glRecti(100, 100, 110, 110);
    EXPECT_TRUE(filled(read(), 100, 100, 110, 110, palette(3)));
}

// The grid goes to GL as one picture; it must match cell-by-cell drawing to
// the last bit, palette colours and a kept colour included, in both views.
TEST_F(GridTest, WholeGridMatchesCellByCellDrawingExactly) {
    for (int k = 0; k < kCellCount; ++k) setCell(k / 64, k % 64, (k / 8 + k / 64) % 8, k % 8, k % 11 ? (k / 5) % 8 : 12);
    for (bool strategies : {true, false}) {
        desktopView.viewStrategies = strategies;
        blankFrame();
        glColor3f(0.5f, 0.25f, 1.0f);  // in force for the first cell, whose colour code is 12
        ASSERT_EQ(drawGrid(describeDesktopFrame()), 0u);
        const Picture whole = read();
        blankFrame();
        glColor3f(0.5f, 0.25f, 1.0f);
        for (unsigned k = 0; k < kCellCount; ++k)
            drawCell(k / 64, k % 64, static_cast<unsigned>(sim.world.otherStrategy[k]),
                     static_cast<unsigned>(sim.world.selfStrategy[k]), static_cast<unsigned>(sim.world.cellColor[k]),
                     strategies);
        EXPECT_TRUE(whole.sameRegion(read(), 0, 0, 980, 700)) << (strategies ? "strategy view" : "colour view");
    }
}

}  // namespace
}  // namespace talvane::test
