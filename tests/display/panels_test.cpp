// The strategy and colour panels (swatches, excluded rows, hover) and the
// colour-layout icon.
#include <array>

#include "desktop_view.h"
#include "frame_fixture.h"
#include "panels.h"
#include "sim_state.h"
#include "text_overlay.h"

namespace talvane::test {
namespace {

using PanelsTest = FrameTest;

Pixel palette(unsigned index) { return toPixel(cellPalette[index]); }

// A panel column: where swatches and names go, and the span its texts own.
struct Column {
    int swatchX, nameX, left, right;
};
constexpr Column kLeft{619, 637, 629, 786}, kRight{789, 807, 799, 980};

// Row `row` of the column has that swatch colour (black: none) and that
// name in that colour, the name compared with the literal text drawn alone.
::testing::AssertionResult rowIs(const Picture& frame, const Column& c, int row, const Pixel& swatch, const char* name,
                                 const Rgb& nameColor) {
    const int y = 98 + 18 * row;
    if (auto r = filled(frame, c.swatchX, y - 8, c.swatchX + 8, y, swatch); !r) return r << " (swatch)";
    if (frame.countLit(c.swatchX + 8, y - 8, c.swatchX + 10, y) != 0) return ::testing::AssertionFailure() << "gap";
    const Picture alone = FrameTest::textAlone(kFontPanel, name, c.nameX, y, nameColor);
    if (alone.countLit(c.left, y - 13, c.right, y + 4) == 0) return ::testing::AssertionFailure() << "no text";
    if (!frame.sameRegion(alone, c.left, y - 13, c.right, y + 4))
        return ::testing::AssertionFailure() << "row " << row << " is not \"" << name << "\" in that colour";
    return ::testing::AssertionSuccess();
}

bool titleIs(const Picture& frame, int x, const char* title) {
    const Picture alone = FrameTest::textAlone(kFontPanel, title, x, 70, cellPalette[8]);
    return alone.countLit(x - 2, 56, x + 160, 75) > 0 && frame.sameRegion(alone, x - 2, 56, x + 160, 75);
}

TEST_F(PanelsTest, StartUpShowsBothStrategyPanelsInFull) {
    const Picture p = renderFrame();
    EXPECT_TRUE(titleIs(p, 629, "self strategies"));
    EXPECT_TRUE(titleIs(p, 799, "others strategies"));
    for (unsigned code = 0; code < 8; ++code) {
        const int row = static_cast<int>(code);
        EXPECT_TRUE(rowIs(p, kLeft, row, palette(code), strategyNames[code], kRowNameColor));
        EXPECT_TRUE(rowIs(p, kRight, row, palette(code), strategyNames[code], kRowNameColor));
    }
    EXPECT_EQ(p.countLit(600, 236, 980, 268), 0);  // nothing below the last row
}

TEST_F(PanelsTest, ExcludedRowsAndHover) {
    sim.selfPool[6] = true;
    Picture p = renderFrame();
    EXPECT_TRUE(rowIs(p, kLeft, 6, kBlack, "110 TFT", kExcludedRowColor));
    EXPECT_TRUE(rowIs(p, kRight, 6, palette(6), "110 TFT", kRowNameColor));  // its own flags
    sim.randomPoolMode = false;  // paint mode excludes nothing
    EXPECT_TRUE(rowIs(renderFrame(), kLeft, 6, palette(6), "110 TFT", kRowNameColor));

    desktopView.hoveredPanelRow = 3;
    desktopView.hoverOnLeftPanel = true;
    p = renderFrame();
    EXPECT_TRUE(rowIs(p, kLeft, 3, palette(3), "011", cellPalette[3]));
    EXPECT_TRUE(rowIs(p, kRight, 3, palette(3), "011", kRowNameColor));
    desktopView.hoverOnLeftPanel = false;
    sim.randomPoolMode = true;
    sim.otherPool[3] = true;  // hovering an excluded row brings no swatch back
    p = renderFrame();
    EXPECT_TRUE(rowIs(p, kLeft, 3, palette(3), "011", kRowNameColor));
    EXPECT_TRUE(rowIs(p, kRight, 3, kBlack, "011", cellPalette[3]));
}

TEST_F(PanelsTest, ColourViewHasOnePanelOfThreeColours) {
    desktopView.viewStrategies = false;
    sim.selfPool[1] = true;
    const Picture p = renderFrame();
    EXPECT_TRUE(titleIs(p, 629, "colors (ethnicity)"));
    EXPECT_TRUE(rowIs(p, kLeft, 0, palette(0), "Green", kRowNameColor));
    EXPECT_TRUE(rowIs(p, kLeft, 1, kBlack, "Cyan", kExcludedRowColor));
    EXPECT_TRUE(rowIs(p, kLeft, 2, palette(2), "Red", kRowNameColor));
    EXPECT_EQ(p.countLit(610, 98 + 18 * 3 - 13, 980, 268), 0);  // no fourth row
    EXPECT_EQ(p.countLit(795, 50, 980, 268), 0);                 // right column empty
    desktopView.hoverOnLeftPanel = true;
    desktopView.hoveredPanelRow = 5;  // beyond the three rows: highlights nothing
    EXPECT_TRUE(renderFrame().sameRegion(p, 600, 50, 980, 268));
}

TEST_F(PanelsTest, LayoutIconPreviewsEachLayout) {
    const Pixel g = palette(0), r = palette(2), plate = toPixel(kIconPlateColor);
    const std::array<std::array<Pixel, 4>, 4> randomPattern{{{r, g, r, g}, {g, g, g, r}, {r, r, g, r}, {g, r, g, g}}};
    for (int layout : {0, 1, 2, 3}) {
        sim.colorLayout = layout;
        const Picture p = renderFrame();
        for (int a = 0; a < 4; ++a) {      // columns from the left
            for (int b = 0; b < 4; ++b) {  // rows from the top
                Pixel want = plate;
                if (layout == 0) want = randomPattern[static_cast<std::size_t>(b)][static_cast<std::size_t>(a)];
                if (layout == 1) want = (a + b) % 2 == 0 ? g : r;
                if (layout == 2) want = a < 2 ? g : r;
                const int x = 629 + 6 * a, y = 456 + 6 * b;
                EXPECT_TRUE(filled(p, x, y, x + 5, y + 5, want)) << "layout " << layout << " square " << a << ", " << b;
            }
        }
        // Plate between the squares; black outline, and black under the plate.
        EXPECT_TRUE(filled(p, 628, 456, 629, 480, plate) && filled(p, 628, 479, 653, 480, plate)) << layout;
        EXPECT_TRUE(filled(p, 627, 455, 653, 456, kBlack) && filled(p, 627, 480, 655, 482, kBlack)) << layout;
        EXPECT_TRUE(filled(p, 653, 455, 655, 482, kBlack)) << layout;
        EXPECT_EQ(p.countLit(610, 445, 980, 455) + p.countLit(610, 482, 980, 700) + p.countLit(655, 455, 980, 482), 0);
    }
}

}  // namespace
}  // namespace talvane::test
