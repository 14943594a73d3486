// The shared record's start values, name tables and torus neighbour tables.
#include <gtest/gtest.h>

#include "sim_state.h"

namespace talvane {
namespace {

TEST(WorldState, StartValuesAfterReset) {
    resetSimState();
    EXPECT_TRUE(sim.paused);
    EXPECT_TRUE(sim.restartPending);
    EXPECT_TRUE(sim.randomPoolMode);
    EXPECT_TRUE(sim.viewStrategies);
    EXPECT_EQ(sim.colorLayout, 1);
    EXPECT_EQ(sim.competitionMode, 4);
    EXPECT_EQ(sim.frameInterval, 1);
    EXPECT_EQ(sim.slowDelayMs, 500);
    EXPECT_EQ(sim.payoffCC, 3);
    EXPECT_EQ(sim.payoffCD, 0);
    EXPECT_EQ(sim.payoffDC, 5);
    EXPECT_EQ(sim.payoffDD, 1);
    EXPECT_EQ(sim.hoveredPanelRow, -1);
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

TEST(WorldState, NeighbourTablesWrapTheTorus) {
    resetSimState();
    buildNeighbourTables();
    EXPECT_EQ(sim.nextRow[63], 0);
    EXPECT_EQ(sim.prevRow[0], 63);
    EXPECT_EQ(sim.nextCol[63], 0);
    EXPECT_EQ(sim.prevCol[0], 63);
    EXPECT_EQ(sim.nextRow[0], 1);
    EXPECT_EQ(sim.prevCol[63], 62);
    for (int i = 1; i <= 62; ++i) {
        EXPECT_EQ(sim.nextRow[i], i + 1);
        EXPECT_EQ(sim.prevRow[i], i - 1);
        EXPECT_EQ(sim.nextCol[i], i + 1);
        EXPECT_EQ(sim.prevCol[i], i - 1);
    }
    // Cell (row 1, column 2) is element 66 of every grid.
    static_assert(1 * kGridSize + 2 == 66);
}

}  // namespace
}  // namespace talvane
