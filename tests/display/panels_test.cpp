// The strategy and colour panels (swatches, excluded rows, hover) and the
// colour-layout icon.
#include <GL/gl.h>

#include <array>

#include "frame_fixture.h"
#include "panels.h"
#include "sim_state.h"
#include "text_overlay.h"

namespace talvane::test {
namespace {

using PanelsTest = FrameTest;

Pixel palette(unsigned index) { return toPixel(cellPalette[index]); }

int rowBaseline(int row) { return 98 + 18 * row; }

// The two columns: swatch and name positions and the span their texts own.
struct Column {
    int swatchX, nameX, left, right;
};
constexpr Column kLeft{619, 637, 629, 786};
constexpr Column kRight{789, 807, 799, 980};

// The row's name in the frame is the literal name drawn alone in the colour.
::testing::AssertionResult nameIs(const Picture& frame, const Column& column, int row, const char* name,
                                  const Rgb& color) {
    const int y = rowBaseline(row);
    FrameTest::blankFrame();
    glColor3fv(color.data());
    drawText(kFontPanel, name, column.nameX, y);
    const Picture alone = FrameTest::read();
    if (alone.countLit(column.left, y - 13, column.right, y + 4) == 0)
        return ::testing::AssertionFailure() << "\"" << name << "\" drew nothing alone";
    if (!frame.sameRegion(alone, column.left, y - 13, column.right, y + 4))
        return ::testing::AssertionFailure() << "row " << row << " is not \"" << name << "\" in that colour";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult swatchIs(const Picture& frame, const Column& column, int row, const Pixel& color) {
    const int y = rowBaseline(row);
    return filled(frame, column.swatchX, y - 8, column.swatchX + 8, y, color);
}

::testing::AssertionResult titleIs(const Picture& frame, int x, const char* title) {
    FrameTest::blankFrame();
    setPaletteColor(8);
    drawText(kFontPanel, title, x, 70);
    const Picture alone = FrameTest::read();
    if (alone.countLit(x - 2, 56, x + 160, 75) == 0) return ::testing::AssertionFailure() << "nothing drawn";
    if (!frame.sameRegion(alone, x - 2, 56, x + 160, 75))
        return ::testing::AssertionFailure() << "title at " << x << " is not \"" << title << "\"";
    return ::testing::AssertionSuccess();
}

TEST_F(PanelsTest, StartUpShowsBothStrategyPanelsInFull) {
    const Picture p = renderFrame();
    EXPECT_TRUE(titleIs(p, 629, "self strategies"));
    EXPECT_TRUE(titleIs(p, 799, "others strategies"));
    for (int row = 0; row < 8; ++row) {
        const unsigned code = static_cast<unsigned>(row);
        for (const Column& column : {kLeft, kRight}) {
            EXPECT_TRUE(swatchIs(p, column, row, palette(code)));
            EXPECT_TRUE(nameIs(p, column, row, strategyNames[code], kRowNameColor));
            // A black column between swatch and name.
            EXPECT_EQ(p.countLit(column.swatchX + 8, rowBaseline(row) - 8, column.swatchX + 10, rowBaseline(row)), 0);
        }
    }
    EXPECT_EQ(p.countLit(600, 236, 980, 268), 0);  // nothing below the last row
}

TEST_F(PanelsTest, ExcludedRowLosesItsSwatchInRandomPoolModeOnly) {
    sim.selfPool[6] = true;
    Picture p = renderFrame();
    EXPECT_TRUE(swatchIs(p, kLeft, 6, kBlack));
    EXPECT_TRUE(nameIs(p, kLeft, 6, "110 TFT", kExcludedRowColor));
    EXPECT_TRUE(swatchIs(p, kRight, 6, palette(6)));  // the others panel has its own flags
    EXPECT_TRUE(nameIs(p, kRight, 6, "110 TFT", kRowNameColor));

    sim.randomPoolMode = false;
    p = renderFrame();
    EXPECT_TRUE(swatchIs(p, kLeft, 6, palette(6)));
    EXPECT_TRUE(nameIs(p, kLeft, 6, "110 TFT", kRowNameColor));
}

TEST_F(PanelsTest, HoveredRowTakesItsCodeColourInItsColumnOnly) {
    sim.hoveredPanelRow = 3;
    sim.hoverOnLeftPanel = true;
    Picture p = renderFrame();
    EXPECT_TRUE(nameIs(p, kLeft, 3, "011", cellPalette[3]));
    EXPECT_TRUE(nameIs(p, kRight, 3, "011", kRowNameColor));
    EXPECT_TRUE(swatchIs(p, kLeft, 3, palette(3)));

    sim.hoverOnLeftPanel = false;
    p = renderFrame();
    EXPECT_TRUE(nameIs(p, kLeft, 3, "011", kRowNameColor));
    EXPECT_TRUE(nameIs(p, kRight, 3, "011", cellPalette[3]));

    // Hovering an excluded row colours its name but brings no swatch back.
    sim.otherPool[3] = true;
    p = renderFrame();
    EXPECT_TRUE(nameIs(p, kRight, 3, "011", cellPalette[3]));
    EXPECT_TRUE(swatchIs(p, kRight, 3, kBlack));
}

TEST_F(PanelsTest, ColourViewHasOnePanelOfThreeColours) {
    sim.viewStrategies = false;
    sim.selfPool[1] = true;
    Picture p = renderFrame();
    EXPECT_TRUE(titleIs(p, 629, "colors (ethnicity)"));
    EXPECT_TRUE(swatchIs(p, kLeft, 0, palette(0)));
    EXPECT_TRUE(nameIs(p, kLeft, 0, "Green", kRowNameColor));
    EXPECT_TRUE(swatchIs(p, kLeft, 1, kBlack));
    EXPECT_TRUE(nameIs(p, kLeft, 1, "Cyan", kExcludedRowColor));
    EXPECT_TRUE(swatchIs(p, kLeft, 2, palette(2)));
    EXPECT_TRUE(nameIs(p, kLeft, 2, "Red", kRowNameColor));
    EXPECT_EQ(p.countLit(610, rowBaseline(3) - 13, 980, 268), 0);  // no fourth row
    EXPECT_EQ(p.countLit(795, 50, 980, 268), 0);  // right column empty

    // A hovered row number beyond the three rows highlights nothing.
    sim.hoverOnLeftPanel = true;
    sim.hoveredPanelRow = 5;
    EXPECT_TRUE(renderFrame().sameRegion(p, 600, 50, 980, 268));
}

// Square (a, b) of the layout icon: a column from the left, b row from the top.
::testing::AssertionResult square(const Picture& p, int a, int b, const Pixel& color) {
    const int x = 629 + 6 * a, y = 456 + 6 * b;
    return filled(p, x, y, x + 5, y + 5, color);
}

TEST_F(PanelsTest, LayoutIconPreviewsEachLayout) {
    const Pixel g = palette(0), r = palette(2), plate = toPixel(kIconPlateColor);
    const std::array<std::array<Pixel, 4>, 4> randomPattern{{
        {r, g, r, g},
        {g, g, g, r},
        {r, r, g, r},
        {g, r, g, g},
    }};
    for (int layout : {0, 1, 2, 3}) {
        sim.colorLayout = layout;
        const Picture p = renderFrame();
        for (int a = 0; a < 4; ++a) {
            for (int b = 0; b < 4; ++b) {
                Pixel want = plate;
                if (layout == 0) want = randomPattern[static_cast<std::size_t>(b)][static_cast<std::size_t>(a)];
                if (layout == 1) want = (a + b) % 2 == 0 ? g : r;
                if (layout == 2) want = a < 2 ? g : r;
                EXPECT_TRUE(square(p, a, b, want)) << "layout " << layout << " square " << a << ", " << b;
            }
        }
        // Plate between the squares, outline and the black row under the plate.
        EXPECT_TRUE(filled(p, 628, 456, 629, 480, plate)) << "layout " << layout;
        EXPECT_TRUE(filled(p, 628, 479, 653, 480, plate)) << "layout " << layout;
        EXPECT_TRUE(filled(p, 627, 455, 653, 456, kBlack)) << "layout " << layout;
        EXPECT_TRUE(filled(p, 627, 480, 655, 482, kBlack)) << "layout " << layout;
        EXPECT_TRUE(filled(p, 653, 455, 655, 482, kBlack)) << "layout " << layout;
        EXPECT_EQ(p.countLit(610, 445, 980, 455), 0);
        EXPECT_EQ(p.countLit(610, 482, 980, 700), 0);
    }
}

}  // namespace
}  // namespace talvane::test
