// Drawing by fitness: counted draws against the chances fitness / total,
// through changes that move cells between bins, raise the window far above
// every cell, and leave only the cells of the floor bin.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "fitness_sampler.h"

namespace talvane {
namespace {

// Draws n cells and checks each cell's count against n * fitness / total
// within six standard deviations (a false alarm about once in 10^9 per
// cell); cells of fitness 0 are never drawn.
void expectDrawnByFitness(FitnessSampler& sampler, const std::vector<double>& fitness, Mt19937& random,
                          const char* what) {
    constexpr int kDraws = 300000;
    double total = 0.0;
    for (const double f : fitness) total += f;
    std::vector<int> counts(fitness.size(), 0);
    for (int i = 0; i < kDraws; ++i) ++counts[static_cast<std::size_t>(sampler.draw(random))];
    for (std::size_t cell = 0; cell < fitness.size(); ++cell) {
        const double p = fitness[cell] / total;
        if (p == 0.0) {
            EXPECT_EQ(counts[cell], 0) << what << ": cell " << cell;
            continue;
        }
        const double mean = kDraws * p;
        EXPECT_NEAR(counts[cell], mean, 6.0 * std::sqrt(mean * (1.0 - p)) + 1.0) << what << ": cell " << cell;
    }
    // The bound lies between the total and twice it while no cell sits in
    // the floor bin far below its bound.
    EXPECT_GE(sampler.bound(), total) << what;
}

TEST(FitnessSampler, DrawsEachCellInProportionToItsFitness) {
    Mt19937 random(2024);
    FitnessSampler sampler;
    // Powers of two (at the top of their bins), fitness 0, and values
    // spread over several bins.
    std::vector<double> fitness = {1.0, 0.75, 0.3, 0.0, 0x1p-10, 0.5, 0.0625, 0.9999};
    sampler.values() = fitness;
    sampler.rebuild();
    EXPECT_LE(sampler.bound(), 2.0 * (1.0 + 0.75 + 0.3 + 0x1p-10 + 0.5 + 0.0625 + 0.9999));
    expectDrawnByFitness(sampler, fitness, random, "assigned");
    // Bounds: 1, 1, 0.5, -, 2^-10, 0.5, 2^-4, 1.
    EXPECT_EQ(sampler.bound(), 1.0 + 1.0 + 0.5 + 0x1p-10 + 0.5 + 0.0625 + 1.0);

    // Changes within a bin, across bins, to 0 and back from it, and above
    // the window's top.
    const std::pair<int, double> changes[] = {{1, 0.7}, {2, 0.6}, {0, 0.0}, {3, 0.25}, {6, 3.5}, {4, 8.0}};
    for (const auto& [cell, value] : changes) {
        sampler.set(cell, value);
        fitness[static_cast<std::size_t>(cell)] = value;
        EXPECT_EQ(sampler.fitness(cell), value);
    }
    expectDrawnByFitness(sampler, fitness, random, "after changes");

    // Far above every other cell, then gone: the rest lie in the floor bin,
    // far below its bound, until the tries give up and the bins are made
    // again from the fitness held.
    sampler.set(4, 0x1p300);
    sampler.set(4, 0.0);
    fitness[4] = 0.0;
    expectDrawnByFitness(sampler, fitness, random, "after the best left");
    EXPECT_LE(sampler.bound(), 2.0 * (0.7 + 0.6 + 0.25 + 0.5 + 3.5 + 0.9999));
}

TEST(FitnessSampler, AnExpectedTopBinsAsTheTopFound) {
    // Whether the expected highest fitness is right, too high or too low,
    // the bins and so the draws are those rebuild() makes.
    const std::vector<double> fitness = {0.5, 0x1p-70, 0.0, 0.3, 0x1p-3, 0.5, 0.26};
    for (const double expected : {0.5, 1.0, 0.25, 0.0}) {
        FitnessSampler plain;
        FitnessSampler hinted;
        plain.values() = fitness;
        hinted.values() = fitness;
        plain.rebuild();
        hinted.rebuild(expected);
        EXPECT_EQ(hinted.bound(), plain.bound()) << expected;
        Mt19937 a(11);
        Mt19937 b(11);
        for (int i = 0; i < 2000; ++i) ASSERT_EQ(hinted.draw(b), plain.draw(a)) << expected << " draw " << i;
    }
}

TEST(FitnessSampler, GivesUpOnlyWhereNoTryCanKeepACell) {
    Mt19937 random(7);
    FitnessSampler sampler;
    // Nothing to draw from.
    sampler.values() = {0.0, 0.0, 0.0};
    sampler.rebuild();
    EXPECT_EQ(sampler.draw(random), -1);
    // Subnormal fitness in the floor bin, bounded by the least normal
    // number: 2^-1023 is kept half the time, 2^-1070 once in 2^48 tries.
    sampler.values() = {0.0, 0x1p-1023, 0.0};
    sampler.rebuild();
    for (int i = 0; i < 100; ++i) ASSERT_EQ(sampler.draw(random), 1);
    sampler.values() = {0x1p-1070, 0.0, 0x1p-1070};
    sampler.rebuild();
    const std::uint64_t before = sampler.tries();
    EXPECT_EQ(sampler.draw(random), -1);
    // Five rounds of tries, the bins made again between them.
    EXPECT_EQ(sampler.tries() - before, 5u * 64u);
}

}  // namespace
}  // namespace talvane
