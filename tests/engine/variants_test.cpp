// The model's variants: asynchronous and Fermi single updates against a
// plain per-cell implementation written here from the rules, whole variant
// generations from the world's generator, the noise of the Fermi rule,
// mutation rates, and payoffs that are not whole numbers.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "engine_fixture.h"
#include "payoffs.h"
#include "world.h"

namespace talvane::testing {
namespace {

// The rules of one cell, written out plainly: whom it plays, what it earns,
// whose pair it imitates. Knows nothing of the world's incremental scores.
class Reference {
public:
    explicit Reference(const World& w)
        : rows_(w.rows()), cols_(w.cols()), wrap_(w.shape().edges == Edges::Wrap),
          moore_(w.shape().neighbourhood == Neighbourhood::Moore), table_(w.payoffTable), playSelf_(w.playSelf),
          extraPoint_(w.extraPoint), noise_(w.noise), color(w.cellColor.begin(), w.cellColor.end()),
          self(w.selfStrategy.begin(), w.selfStrategy.end()), other(w.otherStrategy.begin(), w.otherStrategy.end()) {}

    void setNoise(double noise) { noise_ = noise; }

    // The cell dr rows down and dc columns right of `cell`, or -1 off a fixed edge.
    int offset(int cell, int dr, int dc) const {
        int r = cell / cols_ + dr;
        int c = cell % cols_ + dc;
        if (!wrap_ && (r < 0 || r >= rows_ || c < 0 || c >= cols_)) return -1;
        r = (r + rows_) % rows_;
        c = (c + cols_) % cols_;
        return r * cols_ + c;
    }

    // Present neighbours: left, right, up, down, then up-left, down-left, up-right, down-right.
    std::vector<int> neighbours(int cell) const {
        std::vector<int> out;
        const int steps[8][2] = {{0, -1}, {0, 1}, {-1, 0}, {1, 0}, {-1, -1}, {1, -1}, {-1, 1}, {1, 1}};
        for (int k = 0; k < (moore_ ? 8 : 4); ++k) {
            if (const int n = offset(cell, steps[k][0], steps[k][1]); n >= 0) out.push_back(n);
        }
        return out;
    }

    double score(int cell) const {
        const bool discriminates = self[cell] != other[cell];
        const double bonus = extraPoint_ && discriminates ? 1.0 : 0.0;
        double sum = playSelf_ ? table_[self[cell]][self[cell]] + bonus : 0.0;
        for (const int n : neighbours(cell)) {
            if (color[n] == color[cell]) sum += table_[self[cell]][self[n]] + bonus;
            else sum += table_[other[cell]][other[n]];
        }
        return sum;
    }

    // The asynchronous update: the scan of the nine candidates from draw % 8
    // (diagonals, then up, left, down, right, then itself), the last at or
    // above the best (which starts at 0) wins, and a cell scoring the best keeps its pair.
    void imitate(int cell, std::uint32_t draw) {
        const int steps[9][2] = {{-1, -1}, {1, -1}, {-1, 1}, {1, 1}, {-1, 0}, {0, -1}, {1, 0}, {0, 1}, {0, 0}};
        int candidate[9];
        for (int k = 0; k < 9; ++k) {
            const bool side = steps[k][0] == 0 || steps[k][1] == 0;
            candidate[k] = moore_ || side ? offset(cell, steps[k][0], steps[k][1]) : -1;
        }
        double best = 0.0;
        int pick = cell;
        for (int j = 0, k = static_cast<int>(draw % 8); j < 9; ++j, k = (k + 1) % 9) {
            if (candidate[k] >= 0 && score(candidate[k]) >= best) {
                best = score(candidate[k]);
                pick = candidate[k];
            }
        }
        if (score(cell) >= best) pick = cell;
        take(cell, pick);
    }

    // The Fermi update with the neighbour's index among the present ones.
    void compare(int cell, int neighbour, double chance) {
        const int n = neighbours(cell)[static_cast<std::size_t>(neighbour)];
        if (chance < 1.0 / (1.0 + std::exp((score(cell) - score(n)) / noise_))) take(cell, n);
    }

    void take(int cell, int from) {
        self[cell] = self[from];
        other[cell] = other[from];
    }

    int cells() const { return rows_ * cols_; }

private:
    int rows_, cols_;
    bool wrap_, moore_;
    PayoffTable table_;
    bool playSelf_, extraPoint_;
    double noise_;

public:
    std::vector<int> color, self, other;
};

const std::array<double, 4> kDefaultPayoffs{3, 0, 5, 1};

// A small world of random colours (Green, Cyan, Red) and strategies.
World randomWorld(const WorldShape& shape, std::uint32_t seed, bool playSelf, bool extraPoint,
                  const std::array<double, 4>& payoffs = kDefaultPayoffs) {
    World world(shape);
    world.payoffTable = finitePayoffTableOf(payoffs);
    world.playSelf = playSelf;
    world.extraPoint = extraPoint;
    std::mt19937 gen(seed);
    for (int i = 0; i < world.cellCount(); ++i) {
        world.cellColor[i] = static_cast<CellCode>(gen() % 3);
        world.selfStrategy[i] = static_cast<CellCode>(gen() % 8);
        world.otherStrategy[i] = static_cast<CellCode>(gen() % 8);
    }
    world.random.seed(seed);
    return world;
}

void expectSameGrids(const World& world, const Reference& ref, int update) {
    for (int i = 0; i < ref.cells(); ++i) {
        ASSERT_EQ(world.selfStrategy[i], ref.self[i]) << "cell " << i << " after update " << update;
        ASSERT_EQ(world.otherStrategy[i], ref.other[i]) << "cell " << i << " after update " << update;
        ASSERT_EQ(world.cellColor[i], ref.color[i]) << "cell " << i << " after update " << update;
        ASSERT_EQ(world.score[i], ref.score(i)) << "score of cell " << i << " after update " << update;
    }
}

struct Case {
    WorldShape shape;
    bool playSelf;
    bool extraPoint;
};

const std::vector<Case> kCases{
    {{5, 7, Edges::Wrap, Neighbourhood::Moore}, false, false},
    {{6, 4, Edges::Fixed, Neighbourhood::Moore}, true, false},
    {{4, 5, Edges::Wrap, Neighbourhood::VonNeumann}, false, true},
    {{3, 3, Edges::Fixed, Neighbourhood::VonNeumann}, true, true},
    {{3, 8, Edges::Wrap, Neighbourhood::Moore}, true, true},
};

// Whole-number payoffs, and fractions that are exact in binary (so that the
// reference's order of adding cannot matter) but are not whole numbers.
const std::array<double, 4> kFractions{1.25, 0.5, 2.75, 0.25};

TEST(AsynchronousUpdates, SingleUpdatesFollowThePerCellRulesWithGivenDraws) {
    std::uint32_t seed = 11;
    for (const Case& c : kCases) for (const auto& payoffs : {kDefaultPayoffs, kFractions}) {
        World world = randomWorld(c.shape, ++seed, c.playSelf, c.extraPoint, payoffs);
        Reference ref(world);
        world.scoreAll();
        std::mt19937 draws(seed);
        int changes = 0;
        for (int u = 0; u < 400; ++u) {
            const int cell = static_cast<int>(draws() % static_cast<std::uint32_t>(ref.cells()));
            const std::uint32_t draw = draws();
            changes += world.updateCell(cell, draw);
            ref.imitate(cell, draw);
            expectSameGrids(world, ref, u);
        }
        EXPECT_GT(changes, 10) << "the worlds should change under these updates";
    }
}

TEST(FermiUpdates, SingleUpdatesFollowThePairwiseRuleWithGivenDraws) {
    std::uint32_t seed = 21;
    for (const double noise : {0.1, 5.0, 300.0}) {
        for (const Case& c : kCases) for (const auto& payoffs : {kDefaultPayoffs, kFractions}) {
            World world = randomWorld(c.shape, ++seed, c.playSelf, c.extraPoint, payoffs);
            world.noise = noise;
            Reference ref(world);
            world.scoreAll();
            std::mt19937 draws(seed);
            for (int u = 0; u < 300; ++u) {
                const int cell = static_cast<int>(draws() % static_cast<std::uint32_t>(ref.cells()));
                const int neighbour = static_cast<int>(draws() % ref.neighbours(cell).size());
                const double chance = std::generate_canonical<double, 32>(draws);
                world.compareWithNeighbour(cell, neighbour, chance);
                ref.compare(cell, neighbour, chance);
                expectSameGrids(world, ref, u);
            }
        }
    }
}

TEST(FermiUpdates, NeighboursAreListedInGameOrderAndOnlyWhereCellsAre) {
    const World torus(WorldShape{4, 5, Edges::Wrap, Neighbourhood::Moore});
    int out[8];
    ASSERT_EQ(torus.neighboursOf(0, out), 8);
    // (0,0): left (0,4), right (0,1), up (3,0), down (1,0), up-left (3,4), down-left (1,4), up-right (3,1), down-right (1,1).
    const int expected[8] = {4, 1, 15, 5, 19, 9, 16, 6};
    for (int k = 0; k < 8; ++k) EXPECT_EQ(out[k], expected[k]) << k;
    const World fixed(WorldShape{4, 5, Edges::Fixed, Neighbourhood::VonNeumann});
    ASSERT_EQ(fixed.neighboursOf(0, out), 2);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[1], 5);
}

// Three generations of `rule` on a random world of `shape` against the
// reference, with the numbers it draws taken from a copy of the world's
// generator in order: the cell, then its start number or its neighbour and chance.
void expectGenerationsFollowTheReference(const WorldShape& shape, UpdateRule rule) {
    World world = randomWorld(shape, 5, false, true);
    world.updateRule = rule;
    world.noise = 2.0;
    Reference ref(world);
    Mt19937 random = world.random;
    for (int g = 1; g <= 3; ++g) {
        world.stepVariant();
        for (int u = 0; u < ref.cells(); ++u) {
            const auto cell = static_cast<int>(drawBelow(random, static_cast<std::uint32_t>(ref.cells())));
            if (rule == UpdateRule::Asynchronous) {
                ref.imitate(cell, random.next());
            } else {
                const auto count = static_cast<std::uint32_t>(ref.neighbours(cell).size());
                const auto neighbour = static_cast<int>(drawBelow(random, count));
                ref.compare(cell, neighbour, drawUnit(random));
            }
        }
        expectSameGrids(world, ref, g);
        EXPECT_EQ(world.generation, g);
        PairCounts counts{};
        for (int i = 0; i < ref.cells(); ++i) ++counts[ref.self[i] * 8 + ref.other[i]];
        EXPECT_EQ(world.pairCounts(), counts);
    }
    EXPECT_EQ(world.random.next(), random.next()) << updateRuleName(rule) << " drew a different amount";
}

// A whole generation: rows x cols updates whose cells, start numbers,
// neighbours and chances come from the world's own generator in order.
TEST(VariantGenerations, AGenerationIsRowsTimesColsUpdatesDrawnFromTheWorldsGenerator) {
    for (const UpdateRule rule : {UpdateRule::Asynchronous, UpdateRule::Fermi}) {
        SCOPED_TRACE(updateRuleName(rule));
        expectGenerationsFollowTheReference(WorldShape{6, 9, Edges::Wrap, Neighbourhood::Moore}, rule);
    }
}

// The Fermi rule's chances come from a table by whole score difference
// where the noise is small enough for one, and are worked out otherwise. One
// world goes through small noises and large (beyond the table's reach) in
// turn, with whole scores and with decimal ones; a noise of 1000 leaves most
// differences' chances far from 0 and 1, where a wrong one shows.
TEST(VariantGenerations, FermiChancesAreTheRulesForEveryNoiseAndPayoffs) {
    for (const auto& payoffs : {kDefaultPayoffs, kFractions}) {
        SCOPED_TRACE(payoffs == kFractions ? "decimal payoffs" : "whole payoffs");
        World world = randomWorld(WorldShape{9, 11, Edges::Wrap, Neighbourhood::Moore}, 8, false, true, payoffs);
        world.updateRule = UpdateRule::Fermi;
        Reference ref(world);
        Mt19937 random = world.random;
        int generation = 0;
        for (const double noise : {1000.0, 0.5, 37.0, 1000.0, 2000.0, 700.0}) {
            world.noise = noise;
            ref.setNoise(noise);
            for (int g = 0; g < 3; ++g) {
                world.stepVariant();
                for (int u = 0; u < ref.cells(); ++u) {
                    const auto cell = static_cast<int>(drawBelow(random, static_cast<std::uint32_t>(ref.cells())));
                    const auto count = static_cast<std::uint32_t>(ref.neighbours(cell).size());
                    const auto neighbour = static_cast<int>(drawBelow(random, count));
                    ref.compare(cell, neighbour, drawUnit(random));
                }
                expectSameGrids(world, ref, ++generation);
            }
        }
    }
}

// Cells inside the world and on its edges, four or eight neighbours, edges
// that wrap or stop: a generation draws and updates each kind as the reference does.
TEST(VariantGenerations, EveryShapeDrawsAndUpdatesLikeTheReference) {
    for (const WorldShape& shape : {WorldShape{7, 6, Edges::Fixed, Neighbourhood::VonNeumann},
                                    WorldShape{5, 8, Edges::Wrap, Neighbourhood::VonNeumann},
                                    WorldShape{6, 5, Edges::Fixed, Neighbourhood::Moore},
                                    WorldShape{3, 3, Edges::Wrap, Neighbourhood::Moore},
                                    WorldShape{12, 40, Edges::Wrap, Neighbourhood::Moore}}) {
        for (const UpdateRule rule : {UpdateRule::Asynchronous, UpdateRule::Fermi}) {
            SCOPED_TRACE(std::string(updateRuleName(rule)) + " " + std::to_string(shape.rows) + "x" +
                         std::to_string(shape.cols) + " " + edgesName(shape.edges) + " " +
                         neighbourhoodName(shape.neighbourhood));
            expectGenerationsFollowTheReference(shape, rule);
        }
    }
}

// The random-sequential rules keep scores and pair counts up to date as
// pairs change. After many generations they must be exactly what scoring
// the world afresh gives, summed in the same order: with payoffs like 1.02
// a different order of adding changes the last bits, and the rules' next
// decisions with them.
TEST(VariantGenerations, KeptScoresAndCountsAreThoseOfAFreshCount) {
    const std::array<double, 4> weak{1.0, 0.0, 1.02, 0.0};
    for (const WorldShape& shape : {WorldShape{9, 11, Edges::Wrap, Neighbourhood::Moore},
                                    WorldShape{8, 7, Edges::Fixed, Neighbourhood::VonNeumann},
                                    WorldShape{10, 6, Edges::Wrap, Neighbourhood::VonNeumann},
                                    WorldShape{5, 40, Edges::Fixed, Neighbourhood::Moore},
                                    WorldShape{3, 3, Edges::Wrap, Neighbourhood::Moore}}) {
        for (const UpdateRule rule : {UpdateRule::Fermi, UpdateRule::Asynchronous, UpdateRule::DeathBirth,
                                      UpdateRule::BirthDeath, UpdateRule::ProportionalSequential}) {
            for (const auto& payoffs : {weak, kDefaultPayoffs}) {
                SCOPED_TRACE(std::string(updateRuleName(rule)) + " " + std::to_string(shape.rows) + "x" +
                             std::to_string(shape.cols) + " " + edgesName(shape.edges) + " " +
                             neighbourhoodName(shape.neighbourhood) + " T=" + std::to_string(payoffs[2]));
                World world = randomWorld(shape, 17, true, true, payoffs);
                world.updateRule = rule;
                world.noise = 20.0;
                world.selection = 0.01;
                int changes = 0;
                for (int g = 0; g < 30; ++g) {
                    const auto before = world.selfStrategy;
                    world.stepVariant();
                    changes += before != world.selfStrategy;
                }
                EXPECT_GT(changes, 0) << "the world never changed: nothing was tested";
                World fresh = world;
                fresh.clearScores();
                fresh.singleUpdates(0);  // no update: the scores and counts made afresh
                for (int i = 0; i < world.cellCount(); ++i) {
                    ASSERT_EQ(world.score[i], fresh.score[i]) << "cell " << i;
                }
                EXPECT_EQ(world.pairCounts(), fresh.pairCounts());
            }
        }
    }
}

TEST(VariantGenerations, DrawBelowStaysBelowItsBoundAndCoversItEvenly) {
    Mt19937 random(3);
    std::array<int, 6> seen{};
    for (int i = 0; i < 60000; ++i) {
        const std::uint32_t v = drawBelow(random, 6);
        ASSERT_LT(v, 6u);
        ++seen[v];
    }
    for (const int count : seen) EXPECT_NEAR(count, 10000, 500);  // 5 standard deviations
    const std::uint32_t huge = 0x80000001u;  // nearly half of all numbers are rejected
    for (int i = 0; i < 1000; ++i) ASSERT_LT(drawBelow(random, huge), huge);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(drawBelow(random, 1), 0u);
}

// How often a Fermi comparison takes the neighbour's pair, split by whether
// the neighbour scores better or worse, on a busy world under noise K.
struct AdoptionRates {
    double better = 0, worse = 0;
};

AdoptionRates adoptionRates(double noise) {
    World world = randomWorld(WorldShape{30, 30, Edges::Wrap, Neighbourhood::Moore}, 77, false, false);
    world.noise = noise;
    world.scoreAll();
    int better = 0, betterTaken = 0, worse = 0, worseTaken = 0;
    int out[8];
    for (int u = 0; u < 20000; ++u) {
        const auto cell = static_cast<int>(drawBelow(world.random, 900));
        const auto neighbour = static_cast<int>(drawBelow(world.random, 8));
        world.neighboursOf(cell, out);
        const int n = out[neighbour];
        const bool samePair = world.selfStrategy[n] == world.selfStrategy[cell] &&
                              world.otherStrategy[n] == world.otherStrategy[cell];
        if (samePair || world.score[n] == world.score[cell]) {
            world.compareWithNeighbour(cell, neighbour, drawUnit(world.random));
            continue;
        }
        const bool isBetter = world.score[n] > world.score[cell];
        const bool taken = world.compareWithNeighbour(cell, neighbour, drawUnit(world.random));
        (isBetter ? better : worse) += 1;
        (isBetter ? betterTaken : worseTaken) += taken;
    }
    EXPECT_GT(better, 500);
    EXPECT_GT(worse, 500);
    return {static_cast<double>(betterTaken) / better, static_cast<double>(worseTaken) / worse};
}

TEST(FermiUpdates, SmallNoiseImitatesTheBetterNeighbourLargeNoiseNearlyAtRandom) {
    // Scores are 200-round totals differing by at least 1; K = 0.01 leaves
    // a chance of at most 1 / (1 + e^100) of the wrong choice.
    const AdoptionRates sharp = adoptionRates(0.01);
    EXPECT_EQ(sharp.better, 1.0);
    EXPECT_EQ(sharp.worse, 0.0);
    // K far above every score difference: a coin flip either way.
    const AdoptionRates blurred = adoptionRates(1e7);
    EXPECT_NEAR(blurred.better, 0.5, 0.05);
    EXPECT_NEAR(blurred.worse, 0.5, 0.05);
}

// --- Absorbing states: where a random rule's run is over ---

TEST(AbsorbingStates, OnlyAStateNoDrawCanChangeIsAnEnd) {
    World w(WorldShape{8, 8, Edges::Wrap, Neighbourhood::Moore});  // every cell AllD with AllD
    for (auto& row : w.payoffTable) row.fill(1.0);                // every game pays the same
    w.updateRule = UpdateRule::Fermi;
    EXPECT_TRUE(w.isAbsorbing()) << "one pair everywhere";
    w.mutation = 0.001;
    EXPECT_FALSE(w.isAbsorbing()) << "mutation can always change a cell";
    w.mutation = 0.0;

    // One cooperator: under Fermi any neighbour may copy it, or it them.
    w.selfStrategy[w.index(3, 3)] = w.otherStrategy[w.index(3, 3)] = 7;
    EXPECT_FALSE(w.isAbsorbing());
    // Under asynchronous imitation of the best, equal scores keep every cell
    // as it is, whatever the draw: the mixed world cannot change.
    w.updateRule = UpdateRule::Asynchronous;
    EXPECT_TRUE(w.isAbsorbing());
    // In the Prisoner's Dilemma the cooperator's defecting neighbours score
    // more than it does, so it takes their pair.
    w.payoffTable = finitePayoffTable(3, 0, 5, 1);
    EXPECT_FALSE(w.isAbsorbing());
    // Colours alone do not make a difference of pairs.
    World colours(WorldShape{6, 6, Edges::Fixed, Neighbourhood::VonNeumann});
    colours.updateRule = UpdateRule::Fermi;
    colours.cellColor[colours.index(2, 2)] = 2;
    EXPECT_TRUE(colours.isAbsorbing());
}

TEST(Mutation, RatesMatchTheChanceAndColoursStay) {
    World world = randomWorld(WorldShape{100, 100}, 9, false, false);
    const std::vector<CellCode> colours = world.cellColor;
    world.mutation = 0.05;
    int drawn = 0, changed = 0;
    std::array<int, 8> codes{};
    for (int round = 0; round < 5; ++round) {
        const std::vector<CellCode> self = world.selfStrategy;
        const std::vector<CellCode> other = world.otherStrategy;
        drawn += world.mutate();
        for (int i = 0; i < world.cellCount(); ++i) {
            changed += (self[i] != world.selfStrategy[i]) + (other[i] != world.otherStrategy[i]);
            if (self[i] != world.selfStrategy[i]) ++codes[world.selfStrategy[i]];
        }
    }
    // 100,000 strategies, each drawn afresh with chance 0.05: 5,000 +- 69 (one standard deviation).
    EXPECT_NEAR(drawn, 5000, 350);
    // A fresh code is the old one one time in eight.
    EXPECT_NEAR(changed, drawn * 7.0 / 8.0, 120);
    for (const int count : codes) EXPECT_NEAR(count, changed / 2.0 / 8.0, 80);
    EXPECT_EQ(world.cellColor, colours);
    PairCounts counts{};
    for (int i = 0; i < world.cellCount(); ++i) ++counts[world.selfStrategy[i] * 8 + world.otherStrategy[i]];
    EXPECT_EQ(world.pairCounts(), counts);
}

TEST(Mutation, NoneDrawsNothingAndCertainMutationRedrawsEverything) {
    World world = randomWorld(WorldShape{20, 20}, 4, false, false);
    const std::vector<CellCode> self = world.selfStrategy;
    Mt19937 untouched = world.random;
    EXPECT_EQ(world.mutate(), 0);
    EXPECT_EQ(world.selfStrategy, self);
    EXPECT_EQ(world.random.next(), untouched.next()) << "mutation 0 must not use the generator";
    world.mutation = 1.0;
    EXPECT_EQ(world.mutate(), 2 * world.cellCount());
}

// --- Payoffs that are not whole numbers ---

class RealPayoffsTest : public EngineTest {};

TEST_F(RealPayoffsTest, WholeNumbersGiveTheIntegerTableAndFractionsAreExactTotals) {
    constexpr std::int32_t kMost = std::numeric_limits<std::int32_t>::max();
    constexpr std::int32_t kLeast = std::numeric_limits<std::int32_t>::min();
    const std::vector<std::array<std::int32_t, 4>> wholeNumbers{{3, 0, 5, 1}, {kMost, kLeast, 7, -1}, {1, 0, 2, 0}};
    for (const std::array<std::int32_t, 4>& p : wholeNumbers) {
        sim.payoffCC = p[0];
        sim.payoffCD = p[1];
        sim.payoffDC = p[2];
        sim.payoffDD = p[3];
        computeFinitePayoffTable();
        EXPECT_EQ(finitePayoffTableOf({double(p[0]), double(p[1]), double(p[2]), double(p[3])}), sim.world.payoffTable);
    }
    // Quarters are exact in binary: the table is the integer table of four times the payoffs, divided by four.
    sim.payoffCC = 2;
    sim.payoffCD = 1;
    sim.payoffDC = 5;
    sim.payoffDD = 3;
    computeFinitePayoffTable();
    const PayoffTable quarters = finitePayoffTableOf({0.5, 0.25, 1.25, 0.75});
    for (int a = 0; a < kCodeCount; ++a) {
        for (int b = 0; b < kCodeCount; ++b) EXPECT_EQ(quarters[a][b] * 4.0, sim.world.payoffTable[a][b]) << a << b;
    }
    // 200 rounds of 1.9 are 380, not the 379.99999999999... of adding 1.9 200 times.
    const PayoffTable weak = finitePayoffTableOf({1, 0, 1.9, 0});
    constexpr int kAllC = 7, kAllD = 0, kTitForTat = 6;
    EXPECT_EQ(weak[kAllD][kAllC], 380.0);
    EXPECT_EQ(weak[kAllC][kAllC], 200.0);
    EXPECT_EQ(weak[kAllC][kAllD], 0.0);
    EXPECT_EQ(weak[kTitForTat][kAllD], 0.0);
    EXPECT_EQ(weak[kAllD][kTitForTat], 1.9);  // one temptation, then mutual defection worth 0
}

TEST(RealGameNames, WholeNumbersAreNamedAsIntegersAreAndFractionsByTheSameRules) {
    for (int r = -3; r <= 3; ++r) {
        for (int s = -3; s <= 3; ++s) {
            for (int t = -3; t <= 3; ++t) {
                for (int p = -3; p <= 3; ++p) {
                    ASSERT_STREQ(classifyRealGame(r, s, t, p), classifyGame(r, s, t, p)) << r << s << t << p;
                }
            }
        }
    }
    EXPECT_STREQ(classifyRealGame(3, 0, 5.5, 1), "Prisoner's Dilemma");
    EXPECT_STREQ(classifyRealGame(1, 0, 1.9, 0), "Unnamed Game");  // P = S: not a strict dilemma
    EXPECT_STREQ(classifyRealGame(2.5, 0.5, 3, 0.1), "Chicken");
    EXPECT_STREQ(classifyRealGame(4, 0, 3, 2.5), "Stag Hunt");
    EXPECT_STREQ(classifyRealGame(1.5, 0, 3, 1.4), "Prisoner's Dilemma");  // 1.5 > trunc(1.5)
}

}  // namespace
}  // namespace talvane::testing
