// Frame descriptions filled from a world and its settings, with no GL: the
// cells in the world's order and only from worlds the frame can show, what
// the settings turn on and off, and texts that always fit.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "frame_describe.h"

namespace talvane {
namespace {

std::string text(const FrameText& t) { return std::string(t.data()); }

World variedWorld() {
    World world;
    for (int k = 0; k < world.cellCount(); ++k) {
        const auto cell = static_cast<std::size_t>(k);
        world.selfStrategy[cell] = static_cast<CellCode>(k % 8);
        world.otherStrategy[cell] = static_cast<CellCode>((k / 8) % 8);
        world.cellColor[cell] = static_cast<CellCode>((k / 64) % 3);
    }
    return world;
}

TEST(FrameDescribe, CellsComeInTheWorldsOrderAndOnlyFromWorldsOf64By64) {
    const World world = variedWorld();
    const FrameDescription d = describeWorld(world, {});
    for (std::size_t k = 0; k < kCellCount; ++k) {
        ASSERT_EQ(d.selfCodes[k], world.selfStrategy[k]) << k;
        ASSERT_EQ(d.otherCodes[k], world.otherStrategy[k]) << k;
        ASSERT_EQ(d.colorCodes[k], world.cellColor[k]) << k;
    }

    World other({20, 30});
    other.selfStrategy.assign(other.selfStrategy.size(), 7);
    FrameDescription kept = d;
    EXPECT_FALSE(describeCells(other, kept));
    EXPECT_EQ(kept.selfCodes, d.selfCodes) << "a world of another shape must leave the cells alone";
    EXPECT_TRUE(describeCells(world, kept));
}

TEST(FrameDescribe, RandomPoolShowsMarksAndTheIconPaintingShowsTheButtons) {
    FrameSettings s;
    s.selfExcluded[6] = true;
    s.otherExcluded[1] = true;
    s.colorLayout = ColorLayout::Segregated;
    FrameDescription d = describeFrame(s);
    EXPECT_TRUE(d.poolMarksShown);
    EXPECT_TRUE(d.layoutIconShown);
    EXPECT_EQ(d.colorLayout, static_cast<std::int32_t>(ColorLayout::Segregated));
    EXPECT_TRUE(d.selfExcluded[6] && !d.selfExcluded[1]);
    EXPECT_TRUE(d.otherExcluded[1] && !d.otherExcluded[6]);

    s.randomPool = false;
    d = describeFrame(s);
    EXPECT_FALSE(d.poolMarksShown);
    EXPECT_FALSE(d.layoutIconShown);
    EXPECT_EQ(text(d.statusLines[6]), "<P> Switch to random stategies");
    // The pointer and the tools are the desktop's: at rest here.
    EXPECT_EQ(d.hoveredPanelRow, -1);
    EXPECT_EQ(d.paintTool, kToolNone);
    EXPECT_EQ(d.infoPage, 0);
}

TEST(FrameDescribe, TheMatrixShowsTheFourPayoffsInFiniteCompetitionOnly) {
    FrameSettings s;
    s.payoffs = {4, -1, 7, 2};
    FrameDescription d = describeFrame(s);
    EXPECT_TRUE(d.payoffMatrixShown);
    EXPECT_EQ(d.payoffs, s.payoffs);
    EXPECT_EQ(text(d.statusLines[0]), "Competition mode: finite");

    s.competition = CompetitionMode::Infinite;
    d = describeFrame(s);
    EXPECT_FALSE(d.payoffMatrixShown);
    EXPECT_EQ(text(d.statusLines[0]), "Competition mode: infinite");
    // The long-run table in use is the default Prisoner's Dilemma's.
    EXPECT_EQ(text(d.title), "Spatialized Prisoner's Dilemma (Paused)");
}

TEST(FrameDescribe, NamesAndViewAreThoseTheWindowShows) {
    FrameSettings s;
    s.viewStrategies = false;
    const FrameDescription d = describeFrame(s);
    EXPECT_FALSE(d.viewStrategies);
    EXPECT_EQ(text(d.strategyNames[0]), "000 AllD");
    EXPECT_EQ(text(d.strategyNames[6]), "110 TFT");
    EXPECT_EQ(text(d.colorNames[0]) + text(d.colorNames[1]) + text(d.colorNames[2]), "GreenCyanRed");
    EXPECT_EQ(text(d.statusLines[7]), "<V> Switch to viewing stategies");
    EXPECT_EQ(text(d.statusLines[2]), "");
}

TEST(FrameDescribe, EveryTextFitsWithItsTerminatorAtExtremes) {
    FrameSettings s;
    s.generation = INT_MIN;
    s.frameInterval = INT_MIN;
    s.payoffs = {INT_MIN, INT_MAX, INT_MIN, INT_MAX};
    s.colorLayout = static_cast<ColorLayout>(7);
    for (int line = 0; line <= kStatusLineCount + 1; ++line) {
        const FrameText t = statusLine(s, line);
        EXPECT_LT(std::strlen(t.data()), kFrameTextSize) << line;
    }
    EXPECT_EQ(text(statusLine(s, 2)), "Generation -2147483648");
    EXPECT_EQ(text(statusLine(s, 6)), "<S> Showing every -2147483648th generation");
    EXPECT_EQ(text(statusLine(s, 11)), "") << "a layout out of range has no line";
    EXPECT_EQ(text(statusLine(s, 0)) + text(statusLine(s, 12)), "");
}

}  // namespace
}  // namespace talvane
