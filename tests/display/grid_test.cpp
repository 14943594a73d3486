// The grid: where each cell lies, its outer and inner squares, and the black
// lines between cells, in both views.
#include <GL/gl.h>

#include "frame_fixture.h"
#include "grid_view.h"
#include "sim_state.h"

namespace talvane::test {
namespace {

using GridTest = FrameTest;

Pixel palette(unsigned index) { return toPixel(cellPalette[index]); }

void setCell(int i, int j, int other, int self, int color) {
    const std::size_t k = static_cast<std::size_t>(i) * kGridSize + static_cast<std::size_t>(j);
    sim.otherStrategy[k] = other;
    sim.selfStrategy[k] = self;
    sim.cellColor[k] = color;
}

// A cell in strategy view: outer ring 2 pixels wide, inner 4 x 4 square.
void expectStrategyCell(const Picture& p, int x0, int y0, const Pixel& outer, const Pixel& inner) {
    EXPECT_TRUE(filled(p, x0 + 2, y0 + 2, x0 + 6, y0 + 6, inner));
    EXPECT_TRUE(filled(p, x0, y0, x0 + 8, y0 + 2, outer));
    EXPECT_TRUE(filled(p, x0, y0 + 6, x0 + 8, y0 + 8, outer));
    EXPECT_TRUE(filled(p, x0, y0 + 2, x0 + 2, y0 + 6, outer));
    EXPECT_TRUE(filled(p, x0 + 6, y0 + 2, x0 + 8, y0 + 6, outer));
}

TEST_F(GridTest, StrategyViewShowsOthersAroundSelfWithBlackGaps) {
    setCell(5, 7, 6, 7, 0);  // "110 TFT" around "111 AllC"
    setCell(6, 7, 3, 3, 0);  // one strategy for both: a solid square
    blankFrame();
    ASSERT_EQ(drawGrid(), 0u);
    const Picture p = read();
    const int x0 = 20 + 9 * 5, y0 = 80 + 9 * 7;
    expectStrategyCell(p, x0, y0, toPixel({0.31f, 0.31f, 0.31f}), palette(7));
    EXPECT_TRUE(filled(p, x0 + 9, y0, x0 + 17, y0 + 8, palette(3)));
    // The column between the two cells and the rows above and below stay black.
    EXPECT_TRUE(filled(p, x0 + 8, y0, x0 + 9, y0 + 8, kBlack));
    EXPECT_TRUE(filled(p, x0, y0 - 1, x0 + 17, y0, kBlack));
    EXPECT_TRUE(filled(p, x0, y0 + 8, x0 + 17, y0 + 9, kBlack));
}

TEST_F(GridTest, ColourViewShowsOneSquareOfTheCellColour) {
    sim.viewStrategies = false;
    setCell(5, 7, 6, 7, 2);
    blankFrame();
    ASSERT_EQ(drawGrid(), 0u);
    const Picture p = read();
    const int x0 = 20 + 9 * 5, y0 = 80 + 9 * 7;
    EXPECT_TRUE(filled(p, x0, y0, x0 + 8, y0 + 8, palette(2)));
    EXPECT_TRUE(filled(p, x0 + 8, y0, x0 + 9, y0 + 9, kBlack));
    EXPECT_TRUE(filled(p, x0, y0 + 8, x0 + 9, y0 + 9, kBlack));
    // The neighbour keeps colour 0: green.
    EXPECT_TRUE(filled(p, x0 + 9, y0, x0 + 17, y0 + 8, palette(0)));
}

TEST_F(GridTest, FirstIndexRunsAcrossSecondDown) {
    setCell(0, 0, 7, 7, 0);
    setCell(63, 0, 2, 2, 0);
    setCell(0, 63, 4, 4, 0);
    setCell(63, 63, 1, 1, 0);
    blankFrame();
    drawGrid();
    const Picture p = read();
    EXPECT_TRUE(filled(p, 20, 80, 28, 88, palette(7)));    // [0][0] top left
    EXPECT_TRUE(filled(p, 587, 80, 595, 88, palette(2)));  // [63][0] top right
    EXPECT_TRUE(filled(p, 20, 647, 28, 655, palette(4)));  // [0][63] bottom left
    EXPECT_TRUE(filled(p, 587, 647, 595, 655, palette(1)));
    // Nothing outside x 20..594, y 80..654.
    EXPECT_EQ(p.countLit(0, 0, 20, 700), 0);
    EXPECT_EQ(p.countLit(595, 0, 980, 700), 0);
    EXPECT_EQ(p.countLit(0, 0, 980, 80), 0);
    EXPECT_EQ(p.countLit(0, 655, 980, 700), 0);
    // Every gap line between columns and between rows is black.
    for (int k = 0; k < 63; ++k) {
        EXPECT_EQ(p.countLit(28 + 9 * k, 80, 29 + 9 * k, 655), 0) << "after column " << k;
        EXPECT_EQ(p.countLit(20, 88 + 9 * k, 595, 89 + 9 * k), 0) << "after row " << k;
    }
}

TEST_F(GridTest, OutOfRangeArgumentsDrawNothing) {
    blankFrame();
    EXPECT_EQ(drawCell(64, 0, 1, 1, 1), 2u);
    EXPECT_EQ(drawCell(0, 64, 1, 1, 1), 2u);
    EXPECT_EQ(drawCell(0, 0, 40, 1, 1), 2u);
    EXPECT_EQ(drawCell(0, 0, 1, 40, 1), 2u);
    EXPECT_EQ(read().countLit(0, 0, 980, 700), 0);
    EXPECT_EQ(drawCell(63, 63, 39, 39, 1), 0u);  // codes up to 39 pass; the colour is kept
}

TEST_F(GridTest, PaletteIndexTenKeepsTheCurrentColour) {
    blankFrame();
    ASSERT_EQ(setPaletteColor(3), 0u);
    EXPECT_EQ(setPaletteColor(10), 2u);
    glRecti(100, 100, 110, 110);
    EXPECT_TRUE(filled(read(), 100, 100, 110, 110, palette(3)));
}

TEST_F(GridTest, GridStopsAtTheFirstBadCell) {
    setCell(0, 0, 7, 7, 0);
    setCell(0, 1, 40, 7, 0);
    setCell(0, 2, 7, 7, 0);
    blankFrame();
    EXPECT_EQ(drawGrid(), 2u);
    const Picture p = read();
    EXPECT_TRUE(filled(p, 20, 80, 28, 88, palette(7)));
    EXPECT_EQ(p.countLit(20, 89, 595, 655), 0);
    EXPECT_EQ(p.countLit(29, 80, 595, 655), 0);
}

// The grid goes to GL as one picture; it must match cell-by-cell drawing to
// the last bit, palette colours included, in both views.
TEST_F(GridTest, WholeGridMatchesCellByCellDrawingExactly) {
    for (int k = 0; k < kCellCount; ++k) {
        const std::size_t cell = static_cast<std::size_t>(k);
        sim.selfStrategy[cell] = k % 8;
        sim.otherStrategy[cell] = (k / 8 + k / 64) % 8;
        sim.cellColor[cell] = k % 11 == 0 ? 12 : (k / 5) % 8;  // 12 keeps the colour before it
    }
    for (bool strategies : {true, false}) {
        sim.viewStrategies = strategies;
        blankFrame();
        glColor3f(0.5f, 0.25f, 1.0f);  // the colour in force for a first cell with code 12
        ASSERT_EQ(drawGrid(), 0u);
        const Picture whole = read();
        blankFrame();
        glColor3f(0.5f, 0.25f, 1.0f);
        for (unsigned i = 0; i < 64; ++i)
            for (unsigned j = 0; j < 64; ++j) {
                const std::size_t cell = i * 64 + j;
                drawCell(i, j, static_cast<unsigned>(sim.otherStrategy[cell]),
                         static_cast<unsigned>(sim.selfStrategy[cell]), static_cast<unsigned>(sim.cellColor[cell]));
            }
        const Picture byCell = read();
        EXPECT_TRUE(whole.sameRegion(byCell, 0, 0, 980, 700)) << (strategies ? "strategy view" : "colour view");
    }
}

}  // namespace
}  // namespace talvane::test
