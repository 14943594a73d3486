// The shared record's start values, and which element of the grids is which cell on the torus.
#include <algorithm>
#include <gtest/gtest.h>

#include "generation.h"
#include "payoffs.h"
#include "sim_state.h"

namespace talvane {
namespace {

TEST(WorldState, StartValuesAfterReset) {
    resetSimState();
    EXPECT_TRUE(sim.paused);
    EXPECT_TRUE(sim.restartPending);
    EXPECT_TRUE(sim.randomPoolMode);
    EXPECT_EQ(sim.colorLayout, 1);
    EXPECT_EQ(sim.competitionMode, 4);
    EXPECT_EQ(sim.frameInterval, 1);
    EXPECT_EQ(sim.slowDelayMs, 500);
    EXPECT_EQ(sim.payoffCC, 3);
    EXPECT_EQ(sim.payoffCD, 0);
    EXPECT_EQ(sim.payoffDC, 5);
    EXPECT_EQ(sim.payoffDD, 1);
    EXPECT_EQ(sim.generation, 0);
    EXPECT_FALSE(sim.playSelf);
    EXPECT_FALSE(sim.extraPointSameColor);
    EXPECT_FALSE(sim.consoleEcho);
    EXPECT_FALSE(sim.seededUnrun);
    EXPECT_FALSE(sim.poolEdited);
    EXPECT_EQ(sim.logFile, nullptr);
    for (int i = 0; i < kCodeCount; ++i) {
        EXPECT_FALSE(sim.selfPool[i]) << i;
        EXPECT_FALSE(sim.otherPool[i]) << i;
        // Only Green (0) and Red (2) are admitted to seeding.
        EXPECT_EQ(sim.colorPool[i], i != 0 && i != 2) << i;
        for (int j = 0; j < kCodeCount; ++j) EXPECT_EQ(sim.world.payoffTable[i][j], 0.0);
    }
}

// The score of a lone Tit for Tat cell among Always Defect cells, and of its
// neighbours, tells which element of the grids the engine takes as which cell.
TEST(WorldState, GridsAreRowMajorOnTheTorus) {
    constexpr StrategyCode kTft = 6;
    constexpr StrategyCode kAllD = 0;
    const auto world = [&](int lone) {
        resetSimState();
        computeFinitePayoffTable();
        std::ranges::fill(sim.world.selfStrategy, kAllD);
        std::ranges::fill(sim.world.otherStrategy, kAllD);
        sim.world.selfStrategy[lone] = kTft;
        sim.world.otherStrategy[lone] = kTft;
    };
    const auto& table = sim.world.payoffTable;

    world(66);  // row 1, column 2
    EXPECT_EQ(scoreCell(1, 2), 8 * table[kTft][kAllD]);
    EXPECT_EQ(scoreCell(0, 1), 7 * table[kAllD][kAllD] + table[kAllD][kTft]);
    EXPECT_EQ(scoreCell(2, 1), 7 * table[kAllD][kAllD] + table[kAllD][kTft]);
    EXPECT_EQ(scoreCell(1, 0), 8 * table[kAllD][kAllD]);
    EXPECT_EQ(scoreCell(2, 4), 8 * table[kAllD][kAllD]);

    world(kCellCount - 1);  // row 63, column 63: a neighbour of (0, 0) across both edges
    EXPECT_EQ(scoreCell(63, 63), 8 * table[kTft][kAllD]);
    EXPECT_EQ(scoreCell(0, 0), 7 * table[kAllD][kAllD] + table[kAllD][kTft]);
    EXPECT_EQ(scoreCell(0, 1), 8 * table[kAllD][kAllD]);
    resetSimState();
}

}  // namespace
}  // namespace talvane
