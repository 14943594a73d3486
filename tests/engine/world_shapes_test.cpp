// Worlds as values of any size and shape: the whole-grid step against the
// per-cell rules for every edge, neighbourhood and option; the classic
// kaleidoscope on a fixed-edge lattice; bands of rows and whole worlds on
// several threads.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <thread>
#include <vector>

#include "payoffs.h"
#include "wide_vectors.h"
#include "world.h"

namespace talvane::testing {
namespace {

constexpr CellCode kAllD = 0;
constexpr CellCode kAllC = 7;

void randomCells(World& world, std::mt19937& rng, int colors) {
    for (int i = 0; i < world.cellCount(); ++i) {
        world.selfStrategy[i] = static_cast<CellCode>(rng() % 8);
        world.otherStrategy[i] = static_cast<CellCode>(rng() % 8);
        world.cellColor[i] = static_cast<CellCode>(rng() % colors);
    }
}

std::vector<std::uint32_t> randomDraws(const World& world, std::mt19937& rng) {
    std::vector<std::uint32_t> draws(static_cast<std::size_t>(world.cellCount()));
    for (auto& d : draws) d = rng();
    return draws;
}

// One generation by the per-cell rules alone, cells visited last to first.
void referenceStep(World& world, const std::vector<std::uint32_t>& draws) {
    std::vector<double> scores(world.score.size());
    for (int i = world.cellCount() - 1; i >= 0; --i) scores[i] = world.scoreCell(i / world.cols(), i % world.cols());
    world.score = scores;
    std::vector<CellCode> self(world.selfStrategy.size()), other(world.otherStrategy.size());
    for (int i = world.cellCount() - 1; i >= 0; --i) {
        const int chosen = world.chooseCell(i / world.cols(), i % world.cols(), draws[i]);
        self[i] = world.selfStrategy[chosen];
        other[i] = world.otherStrategy[chosen];
    }
    world.selfStrategy = self;
    world.otherStrategy = other;
    ++world.generation;
}

PairCounts countedPairs(const World& world) {
    PairCounts counts{};
    for (int i = 0; i < world.cellCount(); ++i) ++counts[world.selfStrategy[i] * 8 + world.otherStrategy[i]];
    return counts;
}

struct Options {
    WorldShape shape;
    bool infinite;
    bool playSelf;
    bool extraPoint;
    std::array<std::int32_t, 4> payoffs;
};

std::string describe(const Options& o) {
    return std::to_string(o.shape.rows) + "x" + std::to_string(o.shape.cols) + " " + edgesName(o.shape.edges) + " " +
           neighbourhoodName(o.shape.neighbourhood) + (o.infinite ? " infinite" : " finite") +
           (o.playSelf ? " play-self" : "") + (o.extraPoint ? " extra-point" : "") + " payoffs " +
           std::to_string(o.payoffs[0]) + "," + std::to_string(o.payoffs[1]) + "," + std::to_string(o.payoffs[2]) +
           "," + std::to_string(o.payoffs[3]);
}

World worldFor(const Options& o) {
    World world(o.shape);
    world.payoffTable = o.infinite ? infinitePayoffTable
                                   : finitePayoffTable(o.payoffs[0], o.payoffs[1], o.payoffs[2], o.payoffs[3]);
    world.playSelf = o.playSelf;
    world.extraPoint = o.extraPoint;
    return world;
}

// Steps a world with the whole-grid step and a copy with the per-cell rules
// from the same draws, and compares everything after every generation,
// painting a few cells between steps so the step's reuse of the last one is
// exercised too.
void expectStepsMatch(const Options& o, std::mt19937& rng, int generations) {
    World fast = worldFor(o);
    randomCells(fast, rng, 3);
    World slow = fast;
    for (int g = 0; g < generations; ++g) {
        const auto draws = randomDraws(fast, rng);
        fast.step(draws.data());
        referenceStep(slow, draws);
        ASSERT_EQ(fast.score, slow.score) << describe(o) << " generation " << g;
        ASSERT_EQ(fast.selfStrategy, slow.selfStrategy) << describe(o) << " generation " << g;
        ASSERT_EQ(fast.otherStrategy, slow.otherStrategy) << describe(o) << " generation " << g;
        ASSERT_EQ(fast.pairCounts(), countedPairs(slow)) << describe(o) << " generation " << g;
        if (g % 3 == 2) {
            const int i = static_cast<int>(rng() % static_cast<unsigned>(fast.cellCount()));
            fast.selfStrategy[i] = slow.selfStrategy[i] = static_cast<CellCode>(rng() % 8);
            fast.cellColor[i] = slow.cellColor[i] = static_cast<CellCode>(rng() % 3);
        }
    }
}

// Allows every vector width again when a test that narrowed them ends.
struct WideAgain {
    ~WideAgain() {
        detail::allowWideVectors(true);
        detail::allowWidestVectors(true);
    }
};

TEST(WorldShapes, StepEqualsThePerCellRulesForEveryShapeAndOption) {
    const WideAgain wideAgain;
    const std::vector<std::pair<int, int>> sizes{{3, 3}, {5, 7}, {13, 11}, {4, 64}, {64, 4}, {3, 17}, {5, 45}};
    // The last: terms of 3600, whose sums of nine games come near the
    // limits of 16 bits on both sides; the widest code scores them in 16.
    const std::vector<std::array<std::int32_t, 4>> payoffSets{{3, 0, 5, 1}, {-3, -5, 2, -1}, {18, -18, 18, -17}};
    // With the widest and the wide vector code where the processor has them,
    // with the wide alone, then with the baseline code.
    for (const int level : {2, 1, 0}) {
        detail::allowWidestVectors(level == 2);
        detail::allowWideVectors(level >= 1);
        std::mt19937 rng(2026);
        for (const auto& [rows, cols] : sizes) {
            for (const Edges edges : {Edges::Wrap, Edges::Fixed}) {
                for (const Neighbourhood nb : {Neighbourhood::Moore, Neighbourhood::VonNeumann}) {
                    for (int flags = 0; flags < 8; ++flags) {
                        for (const auto& payoffs : payoffSets) {
                            const Options o{{rows, cols, edges, nb}, (flags & 1) != 0, (flags & 2) != 0,
                                            (flags & 4) != 0, payoffs};
                            expectStepsMatch(o, rng, 6);
                            if (::testing::Test::HasFatalFailure()) return;
                        }
                    }
                }
            }
        }
    }
}

// Worlds of 2^15 cells and more choose from a window of a few rows of
// scores at a time rather than from a copy of them all; whole-number
// payoffs small enough for 16-bit sums, and larger ones.
TEST(WorldShapes, LargeWorldsStepAsThePerCellRules) {
    const WideAgain wideAgain;
    const std::vector<std::array<std::int32_t, 4>> payoffSets{{3, 0, 5, 1}, {30, 0, 50, 10}};
    for (const int level : {2, 1, 0}) {
        detail::allowWidestVectors(level == 2);
        detail::allowWideVectors(level >= 1);
        std::mt19937 rng(7);
        for (const Edges edges : {Edges::Wrap, Edges::Fixed}) {
            for (const Neighbourhood nb : {Neighbourhood::Moore, Neighbourhood::VonNeumann}) {
                for (const auto& payoffs : payoffSets) {
                    const bool playSelf = edges == Edges::Fixed;
                    const Options o{{129, 257, edges, nb}, false, playSelf, false, payoffs};
                    expectStepsMatch(o, rng, 3);
                    if (::testing::Test::HasFatalFailure()) return;
                }
            }
        }
    }
}

TEST(WorldShapes, EdgesAndNeighbourhoodsDecideWhoPlaysWhom) {
    // A lone AllD among AllC, all one colour, with 1-round-like payoffs
    // scaled by the 200-round table: the corner cell plays 3 games with
    // fixed edges and Moore neighbours, 2 with von Neumann, 8 or 4 on a torus.
    const PayoffTable table = finitePayoffTable(3, 0, 5, 1);
    const double allDVsAllC = table[kAllD][kAllC];
    for (const Edges edges : {Edges::Wrap, Edges::Fixed}) {
        for (const Neighbourhood nb : {Neighbourhood::Moore, Neighbourhood::VonNeumann}) {
            World world(WorldShape{5, 6, edges, nb});
            world.payoffTable = table;
            std::ranges::fill(world.selfStrategy, kAllC);
            std::ranges::fill(world.otherStrategy, kAllC);
            world.selfStrategy[0] = world.otherStrategy[0] = kAllD;
            const int games = (nb == Neighbourhood::Moore ? 8 : 4);
            const int cornerGames = edges == Edges::Wrap ? games : (nb == Neighbourhood::Moore ? 3 : 2);
            EXPECT_EQ(world.scoreCell(0, 0), cornerGames * allDVsAllC) << edgesName(edges) << " " << neighbourhoodName(nb);
            // The cell across the wrap sees the defector only on a torus.
            const double across = world.scoreCell(4, 5);
            const bool seesDefector = edges == Edges::Wrap && nb == Neighbourhood::Moore;
            // (4, 5) is a corner too: as many games as (0, 0).
            EXPECT_EQ(across, seesDefector ? 7 * table[kAllC][kAllC] + table[kAllC][kAllD]
                                           : cornerGames * table[kAllC][kAllC])
                << edgesName(edges) << " " << neighbourhoodName(nb);
        }
    }
}

int defectors(const World& world) {
    int count = 0;
    for (const CellCode s : world.selfStrategy) count += s == kAllD;
    return count;
}

bool fourFoldSymmetric(const World& world) {
    const int n = world.rows();
    for (int r = 0; r < n; ++r) {
        for (int c = 0; c < n; ++c) {
            const CellCode here = world.selfStrategy[world.index(r, c)];
            if (here != world.selfStrategy[world.index(n - 1 - r, c)] ||
                here != world.selfStrategy[world.index(r, n - 1 - c)] ||
                here != world.selfStrategy[world.index(c, r)]) {
                return false;
            }
        }
    }
    return true;
}

TEST(WorldShapes, KaleidoscopeOnAFixedLatticeKeepsItsSymmetry) {
    // One defector in the centre of a 99 x 99 world of cooperators with
    // fixed edges, b = 1.9 (payoffs 10,0,19,0) and play-self: the pattern
    // grows with the classic counts and stays symmetric under both mirrors
    // and the diagonal, whatever the random start indexes.
    World world(WorldShape{99, 99, Edges::Fixed, Neighbourhood::Moore});
    world.payoffTable = finitePayoffTable(10, 0, 19, 0);
    world.playSelf = true;
    std::ranges::fill(world.selfStrategy, kAllC);
    std::ranges::fill(world.otherStrategy, kAllC);
    world.selfStrategy[world.index(49, 49)] = world.otherStrategy[world.index(49, 49)] = kAllD;
    world.random.seed(12345);
    const std::vector<int> expected{9, 25, 41, 81, 81};
    for (std::size_t g = 0; g < expected.size(); ++g) {
        world.step();
        EXPECT_EQ(defectors(world), expected[g]) << "generation " << g + 1;
    }
    for (int g = 5; g < 300; ++g) {
        world.step();
        ASSERT_TRUE(fourFoldSymmetric(world)) << "generation " << g + 1;
    }
    EXPECT_GT(defectors(world), 0);
    EXPECT_LT(defectors(world), world.cellCount());
}

TEST(WorldShapes, BandsOfRowsOnSeveralThreadsGiveTheSameGenerations) {
    std::mt19937 rng(77);
    for (const Edges edges : {Edges::Wrap, Edges::Fixed}) {
        for (const Neighbourhood nb : {Neighbourhood::Moore, Neighbourhood::VonNeumann}) {
            World one(WorldShape{203, 190, edges, nb});  // large enough to be split
            one.payoffTable = finitePayoffTable(3, 0, 5, 1);
            one.extraPoint = true;
            randomCells(one, rng, 2);
            World three = one;
            for (int g = 0; g < 8; ++g) {
                const auto draws = randomDraws(one, rng);
                one.step(draws.data(), 1);
                three.step(draws.data(), 3);
                ASSERT_EQ(one.selfStrategy, three.selfStrategy) << g;
                ASSERT_EQ(one.otherStrategy, three.otherStrategy) << g;
                ASSERT_EQ(one.score, three.score) << g;
                ASSERT_EQ(one.pairCounts(), three.pairCounts()) << g;
            }
            // With numbers from the worlds' own generators, which the split
            // draws while it packs the cells.
            for (int g = 0; g < 4; ++g) {
                one.step(1);
                three.step(3);
                ASSERT_EQ(one.selfStrategy, three.selfStrategy) << g;
                ASSERT_EQ(one.otherStrategy, three.otherStrategy) << g;
                ASSERT_EQ(one.pairCounts(), three.pairCounts()) << g;
            }
            EXPECT_EQ(one.random.next(), three.random.next());
        }
    }
}

TEST(WorldShapes, WorldsSteppingOnSeveralThreadsMatchSteppingInTurn) {
    // Each world owns everything it steps with: four worlds on four threads
    // end exactly as the same four stepped one after another.
    std::vector<World> together, inTurn;
    std::mt19937 rng(5);
    for (int k = 0; k < 4; ++k) {
        World world(WorldShape{40 + k, 50 - k, k % 2 ? Edges::Fixed : Edges::Wrap,
                               k < 2 ? Neighbourhood::Moore : Neighbourhood::VonNeumann});
        world.payoffTable = finitePayoffTable(3, 0, 5, 1);
        randomCells(world, rng, 2);
        world.random.seed(100 + k);
        together.push_back(world);
        inTurn.push_back(world);
    }
    std::vector<std::thread> threads;
    for (World& world : together) {
        threads.emplace_back([&world] {
            for (int g = 0; g < 50; ++g) world.step();
        });
    }
    for (std::thread& t : threads) t.join();
    for (World& world : inTurn) {
        for (int g = 0; g < 50; ++g) world.step();
    }
    for (std::size_t k = 0; k < together.size(); ++k) {
        EXPECT_EQ(together[k].selfStrategy, inTurn[k].selfStrategy) << k;
        EXPECT_EQ(together[k].otherStrategy, inTurn[k].otherStrategy) << k;
        EXPECT_EQ(together[k].generation, 50);
    }
}

TEST(WorldShapes, ShapesOutsideTheLimitsAreNotValid) {
    EXPECT_TRUE(isValidShape(WorldShape{3, 4096}));
    EXPECT_FALSE(isValidShape(WorldShape{2, 64}));
    EXPECT_FALSE(isValidShape(WorldShape{64, 4097}));
    Edges edges{};
    Neighbourhood nb{};
    EXPECT_TRUE(parseEdges("fixed", edges));
    EXPECT_EQ(edges, Edges::Fixed);
    EXPECT_FALSE(parseEdges("Fixed", edges));
    EXPECT_TRUE(parseNeighbourhood("von-neumann", nb));
    EXPECT_EQ(nb, Neighbourhood::VonNeumann);
    EXPECT_FALSE(parseNeighbourhood("hex", nb));
}

}  // namespace
}  // namespace talvane::testing
