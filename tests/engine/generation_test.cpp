// The whole generation step: a synchronous update that matches scoring and
// imitation cell by cell, the counter, repaints, the log line and slow motion.
#include <algorithm>
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "engine_fixture.h"
#include "generation.h"

namespace talvane::testing {
namespace {

using GenerationTest = EngineTest;

// A random world with every colour code, and starts of the scan for a step.
void randomWorld(std::mt19937& rng, int colors) {
    for (int i = 0; i < kCellCount; ++i) {
        sim.world.selfStrategy[i] = static_cast<StrategyCode>(rng() % 8);
        sim.world.otherStrategy[i] = static_cast<StrategyCode>(rng() % 8);
        sim.world.cellColor[i] = static_cast<int>(rng() % colors);
    }
}

// The numbers the next step will draw: one per cell, row-major, from the
// world's own generator, which the step leaves where g is left.
std::vector<std::uint32_t> nextDraws(Mt19937& g) {
    std::vector<std::uint32_t> draws(kCellCount);
    for (auto& d : draws) d = g.next();
    return draws;
}

struct Expected {
    std::vector<double> score = std::vector<double>(kCellCount);
    std::vector<CellCode> self = std::vector<CellCode>(kCellCount);
    std::vector<CellCode> other = std::vector<CellCode>(kCellCount);
};

// What one step must produce, built from scoreCell and chooseImitation with
// the cells visited in reverse order: the result may not depend on order.
Expected referenceStep(const std::vector<std::uint32_t>& starts) {
    Expected out{};
    for (int i = kCellCount - 1; i >= 0; --i) out.score[i] = scoreCell(i / kGridSize, i % kGridSize);
    const std::vector<double> before = sim.world.score;
    sim.world.score = out.score;
    for (int i = kCellCount - 1; i >= 0; --i) {
        StrategyCode self = 0, other = 0;
        chooseImitation(i / kGridSize, i % kGridSize, starts[i], self, other);
        out.self[i] = static_cast<CellCode>(self);
        out.other[i] = static_cast<CellCode>(other);
    }
    sim.world.score = before;
    return out;
}

void expectStepMatchesReference(FakeHost& host, std::mt19937& rng) {
    sim.world.random.seed(static_cast<std::uint32_t>(rng()));
    Mt19937 after = sim.world.random;
    const auto starts = nextDraws(after);
    const Expected expected = referenceStep(starts);
    host.feed(7, 16);  // numbers the step must leave alone
    stepGeneration();
    ASSERT_EQ(host.fedRandom.size(), 16u) << "the step drew from the host";
    host.fedRandom.clear();
    ASSERT_EQ(sim.world.random.state().words, after.state().words) << "the step draws once per cell, row-major";
    ASSERT_EQ(sim.world.random.state().index, after.state().index);
    ASSERT_EQ(sim.world.score, expected.score);
    ASSERT_EQ(sim.world.selfStrategy, expected.self);
    ASSERT_EQ(sim.world.otherStrategy, expected.other);
    // The log line counts the new world's pairs, however the step tracked them.
    std::array<std::uint32_t, kCodeCount * kCodeCount> counts{};
    for (int i = 0; i < kCellCount; ++i) ++counts[expected.self[i] * kCodeCount + expected.other[i]];
    ASSERT_EQ(sim.pairCounts, counts);
}

TEST_F(GenerationTest, StepEqualsCellByCellUpdateOverManyGenerations) {
    sim.frameInterval = 1 << 30;
    std::mt19937 rng(12345);
    // Default game, then options and payoffs that exercise every branch,
    // including negative scores and more than two colours.
    randomWorld(rng, 3);
    for (int g = 0; g < 40; ++g) expectStepMatchesReference(host, rng);

    sim.extraPointSameColor = true;
    sim.playSelf = true;
    randomWorld(rng, 8);
    for (int g = 0; g < 40; ++g) expectStepMatchesReference(host, rng);

    sim.payoffCC = -2;
    sim.payoffCD = -9;
    sim.payoffDC = 4;
    sim.payoffDD = -1;
    computeFinitePayoffTable();
    randomWorld(rng, 2);
    for (int g = 0; g < 40; ++g) {
        expectStepMatchesReference(host, rng);
        if (g % 10 == 9) {  // hand edits between steps, as painting makes them
            for (int n = 0; n < 50; ++n) {
                const int i = static_cast<int>(rng() % kCellCount);
                sim.world.selfStrategy[i] = static_cast<StrategyCode>(rng() % 8);
                sim.world.cellColor[i] = static_cast<int>(rng() % 3);
            }
            sim.playSelf = !sim.playSelf;
        }
    }
    EXPECT_EQ(sim.generation, 120);
}

TEST_F(GenerationTest, NegativeScoresGiveTheSameStepsAsCellByCell) {
    // Worlds where many cells score below zero: the keep-your-own rule and
    // the comparisons with zero must agree with the per-cell rules.
    sim.frameInterval = 1 << 30;
    std::mt19937 rng(4242);
    sim.extraPointSameColor = true;
    randomWorld(rng, 3);
    for (const auto& payoffs : {std::array{-3, -5, 2, -1}, std::array{0, -2, 1, -4}, std::array{-1, -1, -1, -1}}) {
        sim.payoffCC = payoffs[0];
        sim.payoffCD = payoffs[1];
        sim.payoffDC = payoffs[2];
        sim.payoffDD = payoffs[3];
        computeFinitePayoffTable();
        for (int g = 0; g < 10; ++g) {
            expectStepMatchesReference(host, rng);
            if (g % 5 == 4) sim.playSelf = !sim.playSelf;
        }
    }
}

TEST_F(GenerationTest, StepStaysExactWhenFewCellsChange) {
    // Mostly settled worlds, where a step recomputes only what changed: every
    // kind of change between steps must still be seen.
    sim.frameInterval = 1 << 30;
    std::mt19937 rng(2024);
    fillWorld(6, 6, 0);
    for (int i = 0; i < kCellCount; i += 2) sim.world.cellColor[i] = 2;
    for (int n = 0; n < 12; ++n) {
        const int i = static_cast<int>(rng() % kCellCount);
        sim.world.selfStrategy[i] = static_cast<StrategyCode>(rng() % 8);
        sim.world.otherStrategy[i] = static_cast<StrategyCode>(rng() % 8);
    }
    for (int g = 0; g < 60; ++g) {
        expectStepMatchesReference(host, rng);
        switch (g % 6) {
            case 0: sim.world.selfStrategy[rng() % kCellCount] = static_cast<StrategyCode>(rng() % 8); break;
            case 1: sim.world.cellColor[rng() % kCellCount] = 1; break;  // a colour only, pairs unchanged
            case 2:
                sim.payoffCC = static_cast<std::int32_t>(rng() % 5);  // a new table, the same world
                computeFinitePayoffTable();
                break;
            case 3: sim.extraPointSameColor = !sim.extraPointSameColor; break;
            case 4: sim.world.clearScores(); break;  // as a restart leaves them
            default: sim.world.otherStrategy[at(0, 63)] = static_cast<StrategyCode>(rng() % 8); break;  // across the wrap
        }
    }
}

TEST_F(GenerationTest, StepStaysExactWhenAStretchOfARowChanges) {
    // A run of changed cells that starts and ends inside groups of columns
    // the passes handle together, in a world that otherwise holds still.
    sim.frameInterval = 1 << 30;
    std::mt19937 rng(99);
    fillWorld(3, 5, 0);
    for (int i = 0; i < kCellCount; i += 2) sim.world.cellColor[i] = 2;
    expectStepMatchesReference(host, rng);
    for (int first : {5, 37, 50}) {
        for (int c = first; c < first + 21; ++c) {
            sim.world.selfStrategy[at(10, c % kGridSize)] = static_cast<StrategyCode>(rng() % 8);
            sim.world.otherStrategy[at(10, c % kGridSize)] = static_cast<StrategyCode>(rng() % 8);
        }
        for (int g = 0; g < 3; ++g) expectStepMatchesReference(host, rng);
    }
}

TEST_F(GenerationTest, ColourCodesBeyondTheEightNamedOnesStayDistinct) {
    // Only codes 0 to 7 are ever painted or seeded, but any number is a
    // colour to the rules: 8 and 0 (or -1 and 7) are different colours, in
    // the steps where such a code appears and in the steps after it is gone.
    sim.frameInterval = 1 << 30;
    std::mt19937 rng(31);
    randomWorld(rng, 2);
    expectStepMatchesReference(host, rng);
    for (int i = 0; i < kCellCount; i += 3) sim.world.cellColor[i] += 8;
    sim.world.cellColor[at(5, 5)] = -1;
    for (int g = 0; g < 3; ++g) expectStepMatchesReference(host, rng);
    for (int i = 0; i < kCellCount; ++i) sim.world.cellColor[i] &= 1;
    for (int g = 0; g < 3; ++g) expectStepMatchesReference(host, rng);
}

TEST_F(GenerationTest, ColoursNeverChange) {
    std::mt19937 rng(7);
    randomWorld(rng, 3);
    const auto colors = sim.world.cellColor;
    for (int g = 0; g < 20; ++g) stepGeneration();
    EXPECT_EQ(sim.world.cellColor, colors);
}

TEST_F(GenerationTest, CounterAndSeededFlag) {
    fillWorld(6, 6, 0);
    sim.seededUnrun = true;
    stepGeneration();
    EXPECT_EQ(sim.generation, 1);
    EXPECT_FALSE(sim.seededUnrun);
    EXPECT_EQ(sim.world.score[at(5, 5)], 4800.0);
}

TEST_F(GenerationTest, RepaintsFollowTheFrameInterval) {
    fillWorld(6, 6, 0);
    sim.frameInterval = 10;
    for (int g = 0; g < 35; ++g) stepGeneration();
    EXPECT_EQ(host.repaintGenerations, (std::vector<int>{10, 20, 30}));
    EXPECT_TRUE(host.sleeps.empty());

    host.repaintGenerations.clear();
    sim.frameInterval = 1;
    for (int g = 0; g < 3; ++g) stepGeneration();
    EXPECT_EQ(host.repaintGenerations, (std::vector<int>{36, 37, 38}));
    closeLog();
    EXPECT_EQ(logLines().size(), 38u) << "a line for every generation, drawn or not";
}

TEST_F(GenerationTest, SlowMotionSleepsAfterEachGenerationUnlessARestartIsDue) {
    fillWorld(6, 6, 0);
    sim.frameInterval = 0;
    stepGeneration();
    stepGeneration();
    EXPECT_EQ(host.repaintGenerations, (std::vector<int>{1, 2}));
    EXPECT_EQ(host.sleeps, (std::vector<int>{500, 500}));

    sim.restartPending = true;
    stepGeneration();
    EXPECT_EQ(host.repaintGenerations.size(), 3u);
    EXPECT_EQ(host.sleeps.size(), 2u);
}

}  // namespace
}  // namespace talvane::testing
