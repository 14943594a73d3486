// Scoring one cell against its neighbourhood with the default finite table.
#include <gtest/gtest.h>

#include "engine_fixture.h"
#include "generation.h"

namespace talvane::testing {
namespace {

class ScoringTest : public EngineTest {
protected:
    static constexpr int kRow = 10;
    static constexpr int kCol = 20;

    // The cell under test at (10, 20) with the given pair; all its
    // neighbours are (self, other, color) already from fillWorld.
    static void setCell(StrategyCode self, StrategyCode other) {
        sim.world.selfStrategy[at(kRow, kCol)] = self;
        sim.world.otherStrategy[at(kRow, kCol)] = other;
    }
};

TEST_F(ScoringTest, UniformTitForTatNeighbourhood) {
    fillWorld(6, 6, 0);
    EXPECT_EQ(scoreCell(kRow, kCol), 4800.0);
    sim.extraPointSameColor = true;  // not discriminating: no bonus
    EXPECT_EQ(scoreCell(kRow, kCol), 4800.0);
    sim.playSelf = true;
    EXPECT_EQ(scoreCell(kRow, kCol), 5400.0);
}

TEST_F(ScoringTest, DiscriminatingCellAmongItsOwnColour) {
    fillWorld(6, 6, 0);
    setCell(6, 0);
    EXPECT_EQ(scoreCell(kRow, kCol), 4800.0);
    sim.extraPointSameColor = true;
    EXPECT_EQ(scoreCell(kRow, kCol), 4808.0);
    sim.playSelf = true;
    EXPECT_EQ(scoreCell(kRow, kCol), 4808.0 + 600.0 + 1.0);
}

TEST_F(ScoringTest, OtherColourGamesUseOthersStrategiesWithoutBonus) {
    fillWorld(6, 6, 2);
    setCell(6, 0);
    sim.world.cellColor[at(kRow, kCol)] = 0;
    EXPECT_EQ(scoreCell(kRow, kCol), 8 * 204.0);
    sim.extraPointSameColor = true;
    EXPECT_EQ(scoreCell(kRow, kCol), 8 * 204.0);
    // The self game is a same-colour game: [6][6] plus the bonus.
    sim.playSelf = true;
    EXPECT_EQ(scoreCell(kRow, kCol), 8 * 204.0 + 601.0);
}

TEST_F(ScoringTest, BonusOnlyForSameColourNeighbours) {
    fillWorld(6, 6, 2);
    setCell(6, 0);
    sim.world.cellColor[at(kRow, kCol)] = 0;
    sim.world.cellColor[at(kRow, kCol - 1)] = 0;      // same colour, plays [6][6] = 600 (+1)
    sim.world.cellColor[at(kRow + 1, kCol + 1)] = 0;  // same colour, plays [6][6] = 600 (+1)
    const double without = 2 * 600.0 + 6 * 204.0;
    EXPECT_EQ(scoreCell(kRow, kCol), without);
    sim.extraPointSameColor = true;
    EXPECT_EQ(scoreCell(kRow, kCol), without + 2.0);
}

TEST_F(ScoringTest, RowIsTheCellColumnItsOpponent) {
    fillWorld(6, 6, 0);
    setCell(0, 0);  // AllD among TFT: [0][6] = 204 each
    EXPECT_EQ(scoreCell(kRow, kCol), 8 * 204.0);
    // A TFT neighbour of it plays [6][0] = 199 once and 600 seven times.
    EXPECT_EQ(scoreCell(kRow, kCol + 1), 199.0 + 7 * 600.0);
}

TEST_F(ScoringTest, NeighbourhoodWrapsAtTheCorners) {
    fillWorld(6, 6, 0);
    // AllD cells in each of the eight neighbours of (0, 0) across the wrap.
    const int around00[][2] = {{63, 63}, {63, 0}, {63, 1}, {0, 63}, {0, 1}, {1, 63}, {1, 0}, {1, 1}};
    for (const auto& rc : around00) {
        fillWorld(6, 6, 0);
        sim.world.selfStrategy[at(rc[0], rc[1])] = 0;
        EXPECT_EQ(scoreCell(0, 0), 7 * 600.0 + 199.0) << rc[0] << "," << rc[1];
    }
    const int around6363[][2] = {{62, 62}, {62, 63}, {62, 0}, {63, 62}, {63, 0}, {0, 62}, {0, 63}, {0, 0}};
    for (const auto& rc : around6363) {
        fillWorld(6, 6, 0);
        sim.world.selfStrategy[at(rc[0], rc[1])] = 0;
        EXPECT_EQ(scoreCell(63, 63), 7 * 600.0 + 199.0) << rc[0] << "," << rc[1];
    }
    // A cell two steps away is not a neighbour.
    fillWorld(6, 6, 0);
    sim.world.selfStrategy[at(2, 0)] = 0;
    sim.world.selfStrategy[at(0, 62)] = 0;
    EXPECT_EQ(scoreCell(0, 0), 4800.0);
}

TEST_F(ScoringTest, NegativePayoffsGiveNegativeScores) {
    sim.payoffCC = -3;
    computeFinitePayoffTable();
    fillWorld(6, 6, 0);
    EXPECT_EQ(scoreCell(kRow, kCol), 8 * -600.0);
}

}  // namespace
}  // namespace talvane::testing
