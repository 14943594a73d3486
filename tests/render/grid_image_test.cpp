// Pictures of worlds drawn in software: where each cell lies (first index
// across), how a cell looks at each size, the legend strip, and the PNG that
// carries them, read back pixel by pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <set>
#include <vector>

#include "cell_palette.h"
#include "grid_image.h"

namespace talvane {
namespace {

using Color = std::array<int, 3>;

Color paletteColor(int index) {
    const auto& c = kCellColors[static_cast<std::size_t>(index)];
    return {toByte(c[0]), toByte(c[1]), toByte(c[2])};
}
const Color kBlack{0, 0, 0};

// A picture encoded to PNG and decoded again, addressed by pixel.
class ReadBack {
public:
    explicit ReadBack(const IndexedImage& image) {
        std::string error;
        ok_ = decodePngRgb(encodePng(image), width_, height_, rgb_, error);
        EXPECT_TRUE(ok_) << error;
    }
    int width() const { return width_; }
    int height() const { return height_; }
    Color at(int x, int y) const {
        const std::size_t k = (static_cast<std::size_t>(y) * width_ + x) * 3;
        return {rgb_[k], rgb_[k + 1], rgb_[k + 2]};
    }
    // Every pixel of [x0, x1) x [y0, y1) in the colour.
    ::testing::AssertionResult filled(int x0, int y0, int x1, int y1, const Color& color) const {
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                if (at(x, y) != color) {
                    return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is " << at(x, y)[0] << ","
                                                         << at(x, y)[1] << "," << at(x, y)[2];
                }
            }
        }
        return ::testing::AssertionSuccess();
    }

private:
    bool ok_ = false;
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint8_t> rgb_;
};

World worldOf(int rows, int cols) {
    WorldShape shape;
    shape.rows = rows;
    shape.cols = cols;
    return World(shape);
}

void setCell(World& w, int row, int col, int color, int self, int other) {
    const auto k = static_cast<std::size_t>(w.index(row, col));
    w.cellColor[k] = static_cast<CellCode>(color);
    w.selfStrategy[k] = static_cast<CellCode>(self);
    w.otherStrategy[k] = static_cast<CellCode>(other);
}

IndexedImage draw(const World& w, int k, GridView view, bool legend = false) {
    IndexedImage image;
    drawWorld(w, {k, view, legend}, image);
    return image;
}

TEST(GridImage, WindowLookRingInnerSquareAndGapsInBothViews) {
    World w = worldOf(5, 7);
    setCell(w, 2, 3, 2, 7, 6);  // red, AllC inside TFT
    setCell(w, 3, 3, 1, 3, 3);  // one strategy for both: a solid square
    const ReadBack s(draw(w, 9, GridView::Strategies));
    ASSERT_EQ(s.width(), 5 * 9);
    ASSERT_EQ(s.height(), 7 * 9);
    const int x0 = 2 * 9, y0 = 3 * 9;  // the row runs across, the column down
    EXPECT_TRUE(s.filled(x0 + 2, y0 + 2, x0 + 6, y0 + 6, paletteColor(7)));
    EXPECT_TRUE(s.filled(x0, y0, x0 + 8, y0 + 2, paletteColor(6)));
    EXPECT_TRUE(s.filled(x0, y0 + 6, x0 + 8, y0 + 8, paletteColor(6)));
    EXPECT_TRUE(s.filled(x0, y0 + 2, x0 + 2, y0 + 6, paletteColor(6)));
    EXPECT_TRUE(s.filled(x0 + 6, y0 + 2, x0 + 8, y0 + 6, paletteColor(6)));
    EXPECT_TRUE(s.filled(x0 + 9, y0, x0 + 17, y0 + 8, paletteColor(3)));
    EXPECT_TRUE(s.filled(x0 + 8, y0, x0 + 9, y0 + 9, kBlack));
    EXPECT_TRUE(s.filled(x0, y0 + 8, x0 + 17, y0 + 9, kBlack));
    EXPECT_TRUE(s.filled(0, 0, 8, 8, paletteColor(0)));  // the default cell: AllD with AllD, green

    const ReadBack c(draw(w, 9, GridView::Colors));
    EXPECT_TRUE(c.filled(x0, y0, x0 + 8, y0 + 8, paletteColor(2)));
    EXPECT_TRUE(c.filled(x0 + 9, y0, x0 + 17, y0 + 8, paletteColor(1)));
    EXPECT_TRUE(c.filled(x0 + 8, y0, x0 + 9, y0 + 9, kBlack));
}

TEST(GridImage, FirstIndexRunsAcrossSecondDownInAnyShape) {
    World w = worldOf(3, 200);
    setCell(w, 2, 0, 0, 4, 4);
    setCell(w, 0, 199, 0, 7, 7);
    for (int k : {1, 2, 9}) {
        const ReadBack p(draw(w, k, GridView::Strategies));
        ASSERT_EQ(p.width(), 3 * k) << "K " << k;
        ASSERT_EQ(p.height(), 200 * k) << "K " << k;
        EXPECT_EQ(p.at(2 * k, 0), paletteColor(4)) << "row 2, column 0 at the top right; K " << k;
        EXPECT_EQ(p.at(0, 199 * k), paletteColor(7)) << "row 0, column 199 at the bottom left; K " << k;
        EXPECT_EQ(p.at(k, 100 * k), paletteColor(0)) << "K " << k;
    }
}

TEST(GridImage, SmallCellsShowOneColourLargeOnesScaleTheRing) {
    World w = worldOf(4, 4);
    setCell(w, 1, 1, 2, 7, 6);
    // K 1 and 2: the self strategy fills the cell, no gap.
    for (int k : {1, 2}) {
        const ReadBack p(draw(w, k, GridView::Strategies));
        EXPECT_TRUE(p.filled(k, k, 2 * k, 2 * k, paletteColor(7))) << "K " << k;
        const ReadBack c(draw(w, k, GridView::Colors));
        EXPECT_TRUE(c.filled(k, k, 2 * k, 2 * k, paletteColor(2))) << "K " << k;
    }
    // K 3 and 4: the self strategy and a black line right and below.
    for (int k : {3, 4}) {
        const ReadBack p(draw(w, k, GridView::Strategies));
        EXPECT_TRUE(p.filled(k, k, 2 * k - 1, 2 * k - 1, paletteColor(7))) << "K " << k;
        EXPECT_TRUE(p.filled(2 * k - 1, k, 2 * k, 2 * k, kBlack)) << "K " << k;
        EXPECT_TRUE(p.filled(k, 2 * k - 1, 2 * k, 2 * k, kBlack)) << "K " << k;
    }
    // K 17: a 16-pixel square, a ring of 4 around an 8 x 8 inner square.
    const ReadBack big(draw(w, 17, GridView::Strategies));
    EXPECT_TRUE(big.filled(17 + 4, 17 + 4, 17 + 12, 17 + 12, paletteColor(7)));
    EXPECT_TRUE(big.filled(17, 17, 17 + 16, 17 + 4, paletteColor(6)));
    EXPECT_TRUE(big.filled(17 + 12, 17 + 4, 17 + 16, 17 + 12, paletteColor(6)));
    EXPECT_TRUE(big.filled(17 + 16, 17, 17 + 17, 17 + 17, kBlack));
}

TEST(GridImage, CodesOutsideThePaletteDrawBlack) {
    World w = worldOf(3, 3);
    setCell(w, 1, 1, 9, 8, -1);
    const ReadBack s(draw(w, 9, GridView::Strategies));
    EXPECT_TRUE(s.filled(9, 9, 18, 18, kBlack));
    const ReadBack c(draw(w, 9, GridView::Colors));
    EXPECT_TRUE(c.filled(9, 9, 18, 18, kBlack));
}

TEST(GridImage, DefaultCellSizeIsTheWindowsUntilThePictureGetsHuge) {
    EXPECT_EQ(defaultCellPixels(64, 64), 9);
    EXPECT_EQ(defaultCellPixels(256, 100), 9);
    EXPECT_EQ(defaultCellPixels(100, 257), 8);
    EXPECT_EQ(defaultCellPixels(1024, 1024), 2);
    EXPECT_EQ(defaultCellPixels(4096, 3), 1);
}

TEST(GridImage, LegendStripNamesEveryStrategyOrThePresentColours) {
    World w = worldOf(64, 64);
    setCell(w, 5, 5, 2, 7, 6);
    const IndexedImage plain = draw(w, 9, GridView::Strategies);
    const IndexedImage legend = draw(w, 9, GridView::Strategies, true);
    ASSERT_EQ(legend.width, plain.width);
    ASSERT_GT(legend.height, plain.height);
    // The grid above the strip is unchanged.
    EXPECT_TRUE(std::equal(plain.index.begin(), plain.index.end(), legend.index.begin()));
    std::set<int> inStrip;
    for (int y = plain.height; y < legend.height; ++y) {
        for (int x = 0; x < legend.width; ++x) inStrip.insert(legend.at(x, y));
    }
    // Eight swatches, white text, black ground.
    EXPECT_EQ(inStrip, (std::set<int>{0, 1, 2, 3, 4, 5, 6, 7, kWhiteIndex, kBlackIndex}));

    std::set<int> colours;
    const IndexedImage colourLegend = draw(w, 9, GridView::Colors, true);
    for (int y = plain.height; y < colourLegend.height; ++y) {
        for (int x = 0; x < colourLegend.width; ++x) colours.insert(colourLegend.at(x, y));
    }
    // The three named colours: Green, Cyan, Red.
    EXPECT_EQ(colours, (std::set<int>{0, 1, 2, kWhiteIndex, kBlackIndex}));

    // The generation, when given, is written in the title line: more white.
    GridPicture withGeneration{9, GridView::Strategies, true};
    withGeneration.generation = 120;
    IndexedImage titled;
    drawWorld(w, withGeneration, titled);
    const auto white = [](const IndexedImage& image) {
        return std::count(image.index.begin(), image.index.end(), kWhiteIndex);
    };
    EXPECT_GT(white(titled), white(legend));

    // A picture narrower than the legend widens to hold it.
    const IndexedImage narrow = draw(worldOf(3, 3), 1, GridView::Strategies, true);
    EXPECT_GT(narrow.width, 3);
    EXPECT_TRUE(narrow.at(1, 1) == 0 && narrow.at(3, 1) == kBlackIndex);
}

TEST(GridImage, ReusedImageFollowsTheWorldsSize) {
    IndexedImage image;
    drawWorld(worldOf(10, 20), {2, GridView::Strategies, false}, image);
    EXPECT_EQ(image.width * image.height, 20 * 40);
    drawWorld(worldOf(3, 3), {9, GridView::Colors, false}, image);
    EXPECT_EQ(image.width, 27);
    EXPECT_EQ(image.index.size(), 27u * 27u);
    std::vector<std::uint8_t> rgb;
    toRgb(image, rgb);
    ASSERT_EQ(rgb.size(), 27u * 27u * 3u);
    EXPECT_EQ((Color{rgb[0], rgb[1], rgb[2]}), paletteColor(0));
}

TEST(GridImage, DecodingRefusesWhatIsNotAPng) {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;
    std::string error;
    EXPECT_FALSE(decodePngRgb("row,col,color", width, height, rgb, error));
    std::string png = encodePng(draw(worldOf(3, 3), 9, GridView::Colors));
    png.resize(png.size() / 2);
    EXPECT_FALSE(decodePngRgb(png, width, height, rgb, error));
}

}  // namespace
}  // namespace talvane
