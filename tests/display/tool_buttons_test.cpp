// The paint tool buttons: faces selected and not, the brush swatch, the
// rectangle outline, and the pencil and bucket pixel by pixel.
#include <GL/gl.h>

#include <array>
#include <string>

#include "desktop_view.h"
#include "frame_fixture.h"
#include "sim_state.h"
#include "tool_buttons.h"

namespace talvane::test {
namespace {

using ToolButtonsTest = FrameTest;

const Pixel kLightGrey = toPixel({0.8f, 0.8f, 0.8f});

// The pencil on its button at (662, 452): rows from frame y 460, columns
// from frame x 670. K black, W body, '.' not part of the icon.
constexpr int kPencilTop = 460, kPencilLeft = 670;
const std::array<std::string, 19> kPencilMap{
    ".............KKKK.",
    "............KKWWKK",
    "...........KWKKKK.",
    "..........KWWWWK..",
    "..........KWWWK...",
    ".........KWWWWK...",
    "........KWWWWK....",
    ".......KWWWWK.....",
    "......KWWWWK......",
    ".....KWWWWK.......",
    "....KWWWWK........",
    "....KWWWWK........",
    "...KWWWWK.........",
    "..KWWWWK..........",
    ".KKWWWK...........",
    ".KKKKK............",
    "KKKKK.............",
    "KKKK..............",
    "KK................",
};

// The bucket on its button at (699, 452): rows from frame y 458, columns
// from frame x 706. H handle (white), W body, K black.
constexpr int kBucketTop = 458, kBucketLeft = 706;
const std::array<std::string, 20> kBucketMap{
    "......KK.........",
    ".....KHHK........",
    "....KHHHHK.......",
    "....KHHHHK.......",
    "....KHHHHK.......",
    "....KHHKKK.......",
    "....KHKWWKKK.....",
    "....KKWWWKWKKK...",
    "....KWWWWKWWKKK..",
    "...KWWWWWKWWWKKK.",
    "..KWWWWWKWKWWWKKK",
    ".KWWWWWWWKWWWWKKK",
    "KWWWWWWWWWWWWWKKK",
    "KWWWWWWWWWWWWK.KK",
    "KWWWWWWWWWWWK..KK",
    ".KWWWWWWWWWK...KK",
    "..KWWWWWWWK....K.",
    "...KWWWWWK.......",
    "....KWWWK........",
    ".....KKK.........",
};

// Every pixel of the map's rectangle against the colour its letter stands for.
template <std::size_t N>
void expectMap(const Picture& p, const std::array<std::string, N>& map, int left, int top,
               const Pixel& body, const Pixel& background) {
    int mismatches = 0;
    for (std::size_t row = 0; row < N; ++row) {
        for (std::size_t col = 0; col < map[row].size(); ++col) {
            const char c = map[row][col];
            const Pixel want = c == 'K' ? kBlack : c == 'W' ? body : c == 'H' ? kWhite : background;
            const int x = left + static_cast<int>(col), y = top + static_cast<int>(row);
            if (!near(p.at(x, y), want) && ++mismatches <= 10)
                ADD_FAILURE() << "(" << x << ", " << y << ") '" << c << "' is " << p.at(x, y) << ", expected " << want;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST_F(ToolButtonsTest, ButtonsSelectedAndNotWithBothIconsExactly) {
    sim.randomPoolMode = false;
    for (int tool : {0, 2, 1}) {
        desktopView.paintTool = tool;
        const Picture p = renderFrame();
        const Pixel pencilFace = tool == 2 ? kWhite : kLightGrey, fillFace = tool == 1 ? kWhite : kLightGrey;
        expectMap(p, kPencilMap, kPencilLeft, kPencilTop, kWhite, pencilFace);
        expectMap(p, kBucketMap, kBucketLeft, kBucketTop, kWhite, fillFace);
        for (const auto& [x, face] : {std::pair{625, kLightGrey}, {662, pencilFace}, {699, fillFace}}) {
            // Face x+1..x+30, y 453..482; black outline, and black in column
            // x+31 and row 483 between face and outline.
            EXPECT_TRUE(filled(p, x + 1, 453, x + 31, 456, face)) << "tool " << tool << " button " << x;
            EXPECT_TRUE(filled(p, x + 1, 481, x + 8, 483, face)) << "tool " << tool << " button " << x;
            EXPECT_TRUE(filled(p, x, 452, x + 33, 453, kBlack) && filled(p, x + 31, 452, x + 33, 485, kBlack) &&
                        filled(p, x, 483, x + 33, 485, kBlack)) << "button " << x;
        }
        EXPECT_EQ(p.countLit(615, 440, 780, 452) + p.countLit(615, 485, 780, 500), 0);
    }
}

TEST_F(ToolButtonsTest, RectOutlineLightsTheFourEdgesWithTheBottomRightCorner) {
    blankFrame();
    glColor3f(1.0f, 1.0f, 1.0f);
    drawRectOutline(625, 452, 657, 484);
    const Picture p = read();
    EXPECT_TRUE(filled(p, 625, 452, 657, 453, kWhite));  // top: 625..656
    EXPECT_TRUE(filled(p, 625, 484, 658, 485, kWhite));  // bottom: 625..657
    EXPECT_TRUE(filled(p, 625, 452, 626, 484, kWhite));  // left: 452..483
    EXPECT_TRUE(filled(p, 657, 452, 658, 484, kWhite));  // right: 452..483
    EXPECT_EQ(p.countLit(0, 0, 980, 700), 32 + 33 + 31 + 32);
}

TEST_F(ToolButtonsTest, SwatchShowsTheBrushAsACell) {
    sim.randomPoolMode = false;
    desktopView.brushSelf = 6;
    desktopView.brushOther = 2;
    Picture p = renderFrame();
    const Pixel red = toPixel(cellPalette[2]), darkGrey = toPixel(cellPalette[6]);
    EXPECT_TRUE(filled(p, 637, 464, 644, 471, darkGrey));   // inner 637..643
    EXPECT_TRUE(filled(p, 634, 461, 647, 464, red));        // outer ring, top rows
    EXPECT_TRUE(filled(p, 634, 471, 647, 474, red));        // bottom rows
    EXPECT_TRUE(filled(p, 634, 464, 637, 471, red));        // left
    EXPECT_TRUE(filled(p, 644, 464, 647, 471, red));        // right
    EXPECT_TRUE(filled(p, 633, 462, 634, 475, kBlack));     // outline, left
    EXPECT_TRUE(filled(p, 647, 461, 648, 476, kBlack));     // outline, right
    EXPECT_TRUE(filled(p, 633, 475, 648, 476, kBlack));     // outline, bottom
    EXPECT_TRUE(filled(p, 627, 454, 633, 460, kLightGrey)); // the face is never selected

    desktopView.viewStrategies = false;
    desktopView.brushColor = 2;
    p = renderFrame();
    EXPECT_TRUE(filled(p, 634, 461, 647, 474, red));
}

TEST_F(ToolButtonsTest, IconBodiesTakeTheirColourCode) {
    blankFrame();
    drawPencilIcon(670, 478, 2);
    drawBucketIcon(721, 474, 2);
    const Picture p = read();
    const Pixel red = toPixel(cellPalette[2]);
    expectMap(p, kPencilMap, kPencilLeft, kPencilTop, red, kBlack);
    expectMap(p, kBucketMap, kBucketLeft, kBucketTop, red, kBlack);
}

}  // namespace
}  // namespace talvane::test
