// The population chart's history: shares from the engine's counts, a fresh
// start at a restart, cutting back at an undo, and thinning beyond capacity.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "chart_history.h"
#include "world.h"

namespace talvane {
namespace {

const std::array<std::uint32_t, 8> kHalfGreenHalfRed{2048, 0, 2048, 0, 0, 0, 0, 0};

// Every cell the pair (self, other).
PairCounts allPair(int self, int other) {
    PairCounts pairs{};
    pairs[static_cast<std::size_t>(self * kCodeCount + other)] = 4096;
    return pairs;
}

TEST(ChartHistoryTest, SharesOfSelfOthersAndColours) {
    ChartHistory history;
    PairCounts pairs{};
    pairs[6 * 8 + 0] = 1024;  // TFT / AllD
    pairs[6 * 8 + 6] = 2048;  // TFT / TFT
    pairs[0 * 8 + 6] = 1024;  // AllD / TFT
    history.observe(1, pairs, {1024, 0, 3072, 0, 0, 0, 0, 0});
    ASSERT_EQ(history.samples().size(), 1u);
    const ChartSample& s = history.samples()[0];
    EXPECT_EQ(s.generation, 1);
    EXPECT_FLOAT_EQ(s.share[kChartSelf + 6], 0.75f);
    EXPECT_FLOAT_EQ(s.share[kChartSelf + 0], 0.25f);
    EXPECT_FLOAT_EQ(s.share[kChartOther + 6], 0.75f);
    EXPECT_FLOAT_EQ(s.share[kChartOther + 0], 0.25f);
    EXPECT_FLOAT_EQ(s.share[kChartSelf + 7], 0.0f);
    EXPECT_FLOAT_EQ(s.share[kChartColor + 0], 0.25f);
    EXPECT_FLOAT_EQ(s.share[kChartColor + 2], 0.75f);
}

TEST(ChartHistoryTest, RestartStartsAfreshAndUndoCutsBack) {
    ChartHistory history;
    for (int g = 0; g <= 10; ++g) history.observe(g, allPair(g % 8, 0), kHalfGreenHalfRed);
    history.observe(10, allPair(1, 1), kHalfGreenHalfRed);  // a frame of the same generation again
    ASSERT_EQ(history.samples().size(), 11u);
    EXPECT_FLOAT_EQ(history.samples().back().share[kChartSelf + 1], 1.0f);

    history.observe(4, allPair(7, 7), kHalfGreenHalfRed);  // undo back to generation 4
    ASSERT_EQ(history.samples().size(), 5u);
    EXPECT_EQ(history.samples().back().generation, 4);
    EXPECT_FLOAT_EQ(history.samples().back().share[kChartSelf + 7], 1.0f);

    history.observe(0, allPair(2, 2), kHalfGreenHalfRed);  // a restart
    ASSERT_EQ(history.samples().size(), 1u);
    EXPECT_EQ(history.samples()[0].generation, 0);

    // Frames may skip generations ("Drop 99 frames"): the newest at or before is found.
    history.observe(100, allPair(3, 3), kHalfGreenHalfRed);
    EXPECT_EQ(history.at(50)->generation, 0);
    EXPECT_EQ(history.at(100)->generation, 100);
    EXPECT_EQ(history.at(5000)->generation, 100);
    EXPECT_EQ(history.at(-1), nullptr);
}

TEST(ChartHistoryTest, ThinsBeyondCapacityAndKeepsTheNewest) {
    ChartHistory history(1000);
    for (int g = 0; g <= 100000; ++g) {
        history.observe(g, allPair(g % 8, 0), kHalfGreenHalfRed);
        ASSERT_LE(history.samples().size(), 1001u) << "generation " << g;
        ASSERT_EQ(history.samples().back().generation, g);
    }
    EXPECT_GT(history.stride(), 1);
    const auto& samples = history.samples();
    EXPECT_EQ(samples.front().generation, 0);
    EXPECT_GE(samples.size(), 500u) << "thinned more than needed";
    for (std::size_t k = 0; k + 1 < samples.size(); ++k) {
        EXPECT_EQ(samples[k].generation % history.stride(), 0) << "sample " << k;
        EXPECT_LT(samples[k].generation, samples[k + 1].generation);
    }
    // A restart forgets the stride.
    history.observe(0, allPair(0, 0), kHalfGreenHalfRed);
    EXPECT_EQ(history.stride(), 1);
}

TEST(ChartHistoryTest, CountsOfAWorld) {
    World world;
    std::fill(world.selfStrategy.begin(), world.selfStrategy.end(), 6);
    std::fill(world.otherStrategy.begin(), world.otherStrategy.end(), 0);
    std::fill(world.cellColor.begin(), world.cellColor.end(), 2);
    world.selfStrategy[5] = 1;
    world.cellColor[5] = 0;
    const PairCounts pairs = countPairsOf(world);
    EXPECT_EQ(pairs[6 * 8 + 0], 4095u);
    EXPECT_EQ(pairs[1 * 8 + 0], 1u);
    const auto colors = countColors(world);
    EXPECT_EQ(colors[2], 4095u);
    EXPECT_EQ(colors[0], 1u);
}

// The rates the chart plots are those of the statistics table: moves of
// AllC (7) are all cooperation, of AllD (0) none, and the infinite
// competition's TFT (6) against AllD settles into defection.
TEST(ChartHistoryTest, CooperationRatesOfAWorldAndInTheSamples) {
    World world;  // 64 x 64, every cell Green
    std::fill(world.selfStrategy.begin(), world.selfStrategy.end(), 7);
    std::fill(world.otherStrategy.begin(), world.otherStrategy.end(), 0);
    CooperationRates rates = cooperationRatesOf(world, CompetitionMode::Finite);
    EXPECT_FLOAT_EQ(rates.own, 1.0f);
    EXPECT_TRUE(std::isnan(rates.others)) << "no games against other colours: no rate";

    // A checkerboard: every game is against the other colour, whose others
    // strategy is AllD for Green and AllC for Red.
    for (int r = 0; r < world.rows(); ++r) {
        for (int c = 0; c < world.cols(); ++c) {
            const int i = world.index(r, c);
            const bool green = (r + c) % 2 == 0;
            world.cellColor[i] = green ? 0 : 2;
            world.otherStrategy[i] = green ? 0 : 7;
        }
    }
    rates = cooperationRatesOf(world, CompetitionMode::Finite);
    EXPECT_FLOAT_EQ(rates.others, 0.5f);
    EXPECT_FLOAT_EQ(rates.own, 1.0f) << "the diagonal neighbours have the same colour";
    // Against AllD, TFT cooperates once in 200 rounds, and in the long run never.
    std::fill(world.otherStrategy.begin(), world.otherStrategy.end(), 6);
    for (int i = 0; i < world.cellCount(); i += 2) world.otherStrategy[i] = 0;
    const float finite = cooperationRatesOf(world, CompetitionMode::Finite).others;
    const float infinite = cooperationRatesOf(world, CompetitionMode::Infinite).others;
    EXPECT_GT(finite, infinite);

    ChartHistory history;
    history.observe(3, allPair(7, 0), kHalfGreenHalfRed, {0.25f, 0.75f});
    history.observe(4, allPair(7, 0), kHalfGreenHalfRed);
    EXPECT_FLOAT_EQ(history.samples()[0].share[kChartCooperation + 0], 0.25f);
    EXPECT_FLOAT_EQ(history.samples()[0].share[kChartCooperation + 1], 0.75f);
    EXPECT_TRUE(std::isnan(history.samples()[1].share[kChartCooperation + 0]));
}

}  // namespace
}  // namespace talvane
