// Seeding the world from the pools, the colour layouts and the empty-pool
// messages.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine_fixture.h"
#include "generation.h"
#include "seeding.h"
#include "world_seeding.h"

namespace talvane::testing {
namespace {

using SeedingTest = EngineTest;

constexpr const char* kCaption = "Can't create a random pool with nothing in it!";

bool isCheckerboard() {
    for (int r = 0; r < kGridSize; ++r) {
        for (int c = 0; c < kGridSize; ++c) {
            const int color = sim.world.cellColor[r * kGridSize + c];
            if (color != 0 && color != 2) return false;
            if (color == sim.world.cellColor[r * kGridSize + (c + 1) % kGridSize]) return false;
            if (color == sim.world.cellColor[((r + 1) % kGridSize) * kGridSize + c]) return false;
        }
    }
    return true;
}

TEST_F(SeedingTest, DefaultPoolsAndCheckerboard) {
    sim.poolEdited = true;
    seedPopulation();
    EXPECT_FALSE(sim.poolEdited);
    EXPECT_EQ(host.seeds, (std::vector<std::uint32_t>{static_cast<std::uint32_t>(host.clock)}));
    bool seen[8][8] = {};
    for (int i = 0; i < kCellCount; ++i) {
        ASSERT_GE(sim.world.selfStrategy[i], 0);
        ASSERT_LT(sim.world.selfStrategy[i], 8);
        ASSERT_GE(sim.world.otherStrategy[i], 0);
        ASSERT_LT(sim.world.otherStrategy[i], 8);
        seen[sim.world.selfStrategy[i]][sim.world.otherStrategy[i]] = true;
    }
    for (int s = 0; s < 8; ++s) {
        for (int o = 0; o < 8; ++o) EXPECT_TRUE(seen[s][o]) << "pair " << s << o << " never drawn";
    }
    EXPECT_TRUE(isCheckerboard());
    EXPECT_EQ(host.repaintGenerations.size(), 1u) << "the seeded world, layout and all, is drawn once";
}

TEST_F(SeedingTest, DrawsAreRepeatedUntilThePoolAdmitsThem) {
    for (int i = 0; i < 8; ++i) sim.selfPool[i] = i != 6;
    for (int i = 0; i < 8; ++i) sim.otherPool[i] = i != 1 && i != 3;
    sim.colorLayout = static_cast<std::int32_t>(ColorLayout::Random);
    // The world's generator from the clock's seed: the first cell's first
    // self draw is refused (only 6 is admitted), so the loop must go on.
    host.clock = 11;
    Mt19937 replay;
    replay.seed(11);
    ASSERT_NE(replay.next() % 8, 6u) << "a seed whose first draw the pool refuses";
    seedPopulation();
    for (int i = 0; i < kCellCount; ++i) {
        ASSERT_EQ(sim.world.selfStrategy[i], 6);
        ASSERT_TRUE(sim.world.otherStrategy[i] == 1 || sim.world.otherStrategy[i] == 3);
        ASSERT_TRUE(sim.world.cellColor[i] == 0 || sim.world.cellColor[i] == 2);
    }
    EXPECT_GT(std::count(sim.world.otherStrategy.begin(), sim.world.otherStrategy.end(), 1), 1800);
    EXPECT_GT(std::count(sim.world.otherStrategy.begin(), sim.world.otherStrategy.end(), 3), 1800);
}

TEST_F(SeedingTest, LayoutsOfColour) {
    sim.colorLayout = 2;
    seedPopulation();
    for (int r = 0; r < kGridSize; ++r) {
        for (int c = 0; c < kGridSize; ++c) ASSERT_EQ(sim.world.cellColor[r * kGridSize + c], r < 32 ? 0 : 2) << r;
    }

    sim.colorLayout = 0;
    seedPopulation();
    int green = 0;
    for (int color : sim.world.cellColor) {
        ASSERT_TRUE(color == 0 || color == 2);
        green += color == 0;
    }
    EXPECT_GT(green, 1800);
    EXPECT_LT(green, 2300);
    EXPECT_FALSE(isCheckerboard());
}

TEST_F(SeedingTest, CheckerboardPhaseComesFromOneDraw) {
    // The same seed with the segregated layout, which draws nothing after
    // the cells: the checkerboard's phase is the world generator's next draw.
    bool phases[2] = {};
    for (std::uint32_t seed = 20; seed < 28; ++seed) {
        host.clock = seed;
        sim.colorLayout = static_cast<std::int32_t>(ColorLayout::Segregated);
        seedPopulation();
        Mt19937 afterCells = sim.world.random;
        const bool phase = afterCells.next() % 2 != 0;
        sim.colorLayout = static_cast<std::int32_t>(ColorLayout::Checkerboard);
        seedPopulation();
        EXPECT_TRUE(isCheckerboard());
        // Phase set: Green where row + column is even, so at (0, 0).
        EXPECT_EQ(sim.world.cellColor[0], phase ? 0 : 2) << "seed " << seed;
        EXPECT_EQ(sim.world.random.next(), afterCells.next()) << "one draw, no more: seed " << seed;
        phases[phase] = true;
    }
    EXPECT_TRUE(phases[0] && phases[1]) << "both phases among eight seeds";
}

TEST_F(SeedingTest, EmptyPoolsAreRefusedSelfFirst) {
    fillWorld(5, 5, 1);
    sim.poolEdited = true;
    for (auto& f : sim.selfPool) f = true;
    for (auto& f : sim.otherPool) f = true;
    EXPECT_FALSE(validatePools());
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Would you like to enable at least one \"self\" strategy?");
    EXPECT_EQ(host.messages[0].caption, kCaption);

    sim.selfPool[2] = false;
    sim.paused = false;
    seedPopulation();
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[1].text, "Would you like to enable at least one \"others\" strategy?");
    EXPECT_EQ(host.messages[1].caption, kCaption);
    EXPECT_TRUE(sim.paused) << "seeding pauses the run first";
    EXPECT_TRUE(sim.poolEdited);
    EXPECT_EQ(sim.world.selfStrategy[100], 5);
    EXPECT_EQ(sim.world.cellColor[100], 1);
    EXPECT_TRUE(host.seeds.empty());

    sim.otherPool[7] = false;
    EXPECT_TRUE(validatePools());
    EXPECT_EQ(host.messages.size(), 2u);
}

TEST_F(SeedingTest, PaintModeSeedsNothingAndDoesNotPause) {
    fillWorld(5, 5, 1);
    sim.randomPoolMode = false;
    sim.paused = false;
    seedPopulation();
    EXPECT_FALSE(sim.paused);
    EXPECT_EQ(sim.world.selfStrategy[7], 5);
    EXPECT_TRUE(host.repaintGenerations.empty());
    EXPECT_TRUE(host.seeds.empty());
}

TEST_F(SeedingTest, TwoSeedingsInTheSameSecondAreIdentical) {
    seedPopulation();
    const auto self = sim.world.selfStrategy;
    const auto other = sim.world.otherStrategy;
    const auto color = sim.world.cellColor;
    seedPopulation();
    EXPECT_EQ(sim.world.selfStrategy, self);
    EXPECT_EQ(sim.world.otherStrategy, other);
    EXPECT_EQ(sim.world.cellColor, color);
    host.clock += 1;
    seedPopulation();
    EXPECT_NE(sim.world.selfStrategy, self);
}

// The desktop's restart seeds its world as talvane-batch seeds one: the
// world seeded on its own with the seed the host took (the clock's, or the
// desktop's --seed in its place), for every layout, with pools that force
// refused draws.
TEST_F(SeedingTest, TheDesktopSeedsItsWorldAsEveryProgramDoes) {
    for (const ColorLayout layout : {ColorLayout::Random, ColorLayout::Checkerboard, ColorLayout::Segregated}) {
        for (const bool seedGiven : {false, true}) {
            SCOPED_TRACE(std::string("layout ") + std::string(colorLayoutName(layout)) + (seedGiven ? ", --seed" : ", the clock"));
            SeedingOptions options;
            options.seed = static_cast<std::uint32_t>(host.clock) + static_cast<std::uint32_t>(layout);
            options.layout = layout;
            options.selfExcluded = {true, false, true, true, true, true, false, true};
            options.otherExcluded = {false, true, true, true, true, true, true, false};
            host.clock = seedGiven ? 5 : options.seed;
            host.seedInstead.reset();
            if (seedGiven) host.seedInstead = options.seed;
            sim.colorLayout = static_cast<std::int32_t>(layout);
            for (int i = 0; i < kCodeCount; ++i) {
                sim.selfPool[i] = options.selfExcluded[i];
                sim.otherPool[i] = options.otherExcluded[i];
            }
            seedPopulation();
            World world;
            seedWorld(world, options);
            EXPECT_EQ(world.cellColor, sim.world.cellColor);
            EXPECT_EQ(world.selfStrategy, sim.world.selfStrategy);
            EXPECT_EQ(world.otherStrategy, sim.world.otherStrategy);
            // The generations go on from that seed too: the host's generator
            // restarted from it, the world's stands where the seeding left it.
            Mt19937 fromSeed;
            fromSeed.seed(options.seed);
            EXPECT_EQ(host.nextRandom(), fromSeed.next());
            EXPECT_EQ(world.random.next(), sim.world.random.next());
        }
    }
}

// From the desktop's --seed on, the generations draw what talvane-batch
// draws: the desktop's world steps as a world seeded and stepped on its own.
TEST_F(SeedingTest, TheDesktopsGenerationsAreThoseOfEveryProgram) {
    host.seedInstead = 42;
    seedPopulation();
    SeedingOptions options;
    options.seed = 42;
    options.layout = colorLayoutOf(sim);
    World world;
    seedWorld(world, options);
    world.payoffTable = sim.world.payoffTable;
    for (int g = 1; g <= 30; ++g) {
        stepGeneration();
        world.step(1);
        ASSERT_EQ(world.selfStrategy, sim.world.selfStrategy) << "generation " << g;
        ASSERT_EQ(world.otherStrategy, sim.world.otherStrategy) << "generation " << g;
    }
    EXPECT_NE(world.pairCounts(), (PairCounts{})) << "the worlds hold cells";
    EXPECT_EQ(world.random.next(), sim.world.random.next());
}

TEST_F(SeedingTest, AWorldOfAnyShapeIsSeededFromItsPoolsAndLayout) {
    World world(WorldShape{7, 5, Edges::Fixed, Neighbourhood::VonNeumann});
    SeedingOptions options;
    options.layout = ColorLayout::Segregated;
    options.selfExcluded.fill(true);
    options.selfExcluded[6] = false;
    seedWorld(world, options);
    for (int r = 0; r < 7; ++r) {
        for (int c = 0; c < 5; ++c) {
            EXPECT_EQ(world.cellColor[world.index(r, c)], r < 3 ? 0 : 2) << r << "," << c;
            EXPECT_EQ(world.selfStrategy[world.index(r, c)], 6);
        }
    }
    EXPECT_GT(world.pairCounts()[6 * 8 + world.otherStrategy[0]], 0u) << "the counts follow the seeding";
    EXPECT_FALSE(admitsSomething(CodeExclusions{true, true, true, true, true, true, true, true}));
}

}  // namespace
}  // namespace talvane::testing
