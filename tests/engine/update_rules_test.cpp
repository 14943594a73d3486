// The update rules beyond the original best rule (proportional imitation, Fermi on the
// synchronous schedule, the Moran death-birth and birth-death processes) and
// mutation within the pools. Each rule's chances are worked out here from
// its formula with a plain per-cell reference, checked against arithmetic
// done by hand on a 3 x 3 world, and compared with how often the world's own
// draws produce each outcome; every comparison allows six standard
// deviations, which a wrong chance cannot hide in.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include "payoffs.h"
#include "world.h"

namespace talvane::testing {
namespace {

// Neighbours and scores of a small world written out plainly.
class Plain {
public:
    explicit Plain(const World& w) : w_(w) {}

    std::vector<int> neighbours(int cell) const {
        const bool wrap = w_.shape().edges == Edges::Wrap;
        const bool moore = w_.shape().neighbourhood == Neighbourhood::Moore;
        const int steps[8][2] = {{0, -1}, {0, 1}, {-1, 0}, {1, 0}, {-1, -1}, {1, -1}, {-1, 1}, {1, 1}};
        std::vector<int> out;
        for (int k = 0; k < (moore ? 8 : 4); ++k) {
            int r = cell / w_.cols() + steps[k][0];
            int c = cell % w_.cols() + steps[k][1];
            if (!wrap && (r < 0 || r >= w_.rows() || c < 0 || c >= w_.cols())) continue;
            r = (r + w_.rows()) % w_.rows();
            c = (c + w_.cols()) % w_.cols();
            out.push_back(r * w_.cols() + c);
        }
        return out;
    }

    double score(int cell) const {
        const auto& t = w_.payoffTable;
        const int s = w_.selfStrategy[cell];
        const int o = w_.otherStrategy[cell];
        const double bonus = w_.extraPoint && s != o ? 1.0 : 0.0;
        double sum = w_.playSelf ? t[s][s] + bonus : 0.0;
        for (const int n : neighbours(cell)) {
            sum += w_.cellColor[n] == w_.cellColor[cell] ? t[s][w_.selfStrategy[n]] + bonus : t[o][w_.otherStrategy[n]];
        }
        return sum;
    }

    int pair(int cell) const { return w_.selfStrategy[cell] * kCodeCount + w_.otherStrategy[cell]; }
    int games(int cell) const { return static_cast<int>(neighbours(cell).size()) + (w_.playSelf ? 1 : 0); }

    double range() const {
        double low = w_.payoffTable[0][0], high = low;
        for (const auto& row : w_.payoffTable) {
            for (const double v : row) {
                low = std::min(low, v);
                high = std::max(high, v);
            }
        }
        return high - low + (w_.extraPoint ? 1.0 : 0.0);
    }

    // Chance that `cell`, having drawn neighbour `from`, takes its pair.
    double imitation(ImitationRule rule, int cell, int from) const {
        if (pair(cell) == pair(from)) return 0.0;
        const double gain = score(from) - score(cell);
        if (rule == ImitationRule::Fermi) return 1.0 / (1.0 + std::exp(-gain / w_.noise));
        if (gain <= 0.0) return 0.0;
        return gain / (std::max(games(cell), games(from)) * range());
    }

    // Outcome (cell, new pair) -> chance, for one single update from the
    // state as it stands. Outcomes that change nothing are left out.
    std::map<std::pair<int, int>, double> singleUpdate(ImitationRule rule) const {
        std::map<std::pair<int, int>, double> out;
        const int cells = w_.cellCount();
        if (rule == ImitationRule::BirthDeath) {
            double total = 0.0;
            for (int y = 0; y < cells; ++y) total += std::exp(w_.selection * score(y));
            for (int y = 0; y < cells; ++y) {
                const std::vector<int> around = neighbours(y);
                for (const int x : around) {
                    if (pair(x) == pair(y)) continue;
                    out[{x, pair(y)}] += std::exp(w_.selection * score(y)) / total / around.size();
                }
            }
            return out;
        }
        for (int x = 0; x < cells; ++x) {
            for (const auto& [pairCode, chance] : cellUpdate(rule, x)) out[{x, pairCode}] += chance / cells;
        }
        return out;
    }

    // New pair -> chance, for an update of cell x (the cell already drawn).
    std::map<int, double> cellUpdate(ImitationRule rule, int x) const {
        std::map<int, double> out;
        const std::vector<int> around = neighbours(x);
        if (rule == ImitationRule::DeathBirth) {
            double total = 0.0;
            for (const int y : around) total += std::exp(w_.selection * score(y));
            for (const int y : around) {
                if (pair(y) != pair(x)) out[pair(y)] += std::exp(w_.selection * score(y)) / total;
            }
            return out;
        }
        for (const int y : around) {
            const double chance = imitation(rule, x, y) / around.size();
            if (chance > 0.0) out[pair(y)] += chance;
        }
        return out;
    }

private:
    const World& w_;
};

// |count - n p| within six standard deviations (and one count of slack).
void expectCount(std::int64_t count, std::int64_t trials, double chance, const std::string& what) {
    const double mean = trials * chance;
    const double spread = std::sqrt(trials * chance * (1.0 - chance));
    EXPECT_LE(std::fabs(count - mean), 6.0 * spread + 1.0)
        << what << ": " << count << " of " << trials << ", expected " << mean;
}

// A small world with a mixture of pairs and colours from a fixed seed.
World mixedWorld(const WorldShape& shape, std::uint32_t seed, int codes) {
    World w(shape);
    std::mt19937 pick(seed);
    for (int i = 0; i < w.cellCount(); ++i) {
        w.cellColor[i] = static_cast<CellCode>(pick() % 2);
        w.selfStrategy[i] = static_cast<CellCode>(pick() % codes * (7 / (codes - 1)));
        w.otherStrategy[i] = static_cast<CellCode>(pick() % codes * (7 / (codes - 1)));
    }
    w.payoffTable = finitePayoffTable(3, 0, 5, 1, 1);  // one-shot prisoner's dilemma
    w.countPairs();
    return w;
}

// Counts the outcomes of single updates from one state, each from the
// world's own generator, and compares them with the reference's chances.
void checkSingleUpdates(World start, ImitationRule rule, int trials, const std::string& what) {
    const auto expected = Plain(start).singleUpdate(rule);
    std::map<std::pair<int, int>, std::int64_t> counts;
    World w = start;
    for (int t = 0; t < trials; ++t) {
        w.selfStrategy = start.selfStrategy;
        w.otherStrategy = start.otherStrategy;
        w.singleUpdates(1);
        for (int i = 0; i < w.cellCount(); ++i) {
            const int now = w.selfStrategy[i] * kCodeCount + w.otherStrategy[i];
            if (now != start.selfStrategy[i] * kCodeCount + start.otherStrategy[i]) ++counts[{i, now}];
        }
    }
    for (const auto& [outcome, count] : counts) {
        EXPECT_TRUE(expected.count(outcome)) << what << ": cell " << outcome.first << " took pair "
                                             << outcome.second << ", which it cannot";
    }
    for (const auto& [outcome, chance] : expected) {
        expectCount(counts[outcome], trials, chance,
                    what + ", cell " + std::to_string(outcome.first) + " to pair " + std::to_string(outcome.second));
    }
}

// The shapes every rule is checked on: a 3 x 3 torus, fixed edges, four
// neighbours, playing oneself, the extra point.
struct Case {
    WorldShape shape;
    bool playSelf;
    bool extraPoint;
    const char* name;
};
const Case kCases[] = {
    {{3, 3, Edges::Wrap, Neighbourhood::Moore}, false, false, "3x3 torus"},
    {{3, 3, Edges::Fixed, Neighbourhood::Moore}, true, false, "3x3 fixed, play-self"},
    {{5, 5, Edges::Wrap, Neighbourhood::VonNeumann}, false, true, "5x5 torus, 4 neighbours, extra point"},
    {{5, 5, Edges::Fixed, Neighbourhood::VonNeumann}, true, false, "5x5 fixed, 4 neighbours, play-self"},
};

World caseWorld(const Case& c, UpdateRule rule, std::uint32_t seed) {
    World w = mixedWorld(c.shape, seed, 2);
    w.playSelf = c.playSelf;
    w.extraPoint = c.extraPoint;
    w.updateRule = rule;
    w.noise = 1.5;
    w.selection = 0.4;
    w.random.seed(seed + 100);
    return w;
}

// The world of the hand computations: a 3 x 3 torus of one colour, where
// every cell plays the other eight; cooperators (AllC, code 7) at cells 0
// and 4, defectors (AllD, code 0) elsewhere; one-shot payoffs R 3, S 0, T 5,
// P 1. A cooperator scores 3 (one cooperator) + 7 x 0 = 3, a defector
// 2 x 5 + 6 x 1 = 16.
World handWorld(UpdateRule rule) {
    World w({3, 3, Edges::Wrap, Neighbourhood::Moore});
    for (int i = 0; i < 9; ++i) {
        w.cellColor[i] = 0;
        const CellCode code = i == 0 || i == 4 ? 7 : 0;
        w.selfStrategy[i] = code;
        w.otherStrategy[i] = code;
    }
    w.payoffTable = finitePayoffTable(3, 0, 5, 1, 1);
    w.updateRule = rule;
    w.selection = 0.1;
    w.random.seed(2024);
    w.countPairs();
    return w;
}

TEST(UpdateRuleReference, AgreesWithTheHandComputedChancesOnTheThreeByThreeWorld) {
    // Proportional: a cooperator that draws a defector (7 of its 8
    // neighbours) copies it with chance (16 - 3) / (8 x 5) = 13/40; a
    // defector never copies a cooperator, who scores less. So a single
    // update turns cell 0 into a defector with chance 1/9 x 7/8 x 13/40.
    World p = handWorld(UpdateRule::ProportionalSequential);
    EXPECT_NEAR((Plain(p).singleUpdate(ImitationRule::Proportional).at({0, 0})), 1.0 / 9 * 7 / 8 * 13 / 40, 1e-15);
    EXPECT_EQ(Plain(p).singleUpdate(ImitationRule::Proportional).count({1, 63}), 0u);
    // Playing oneself: 9 games, scores 3 + 3 = 6 and 16 + 1 = 17: 11 / 45.
    p.playSelf = true;
    EXPECT_NEAR(Plain(p).cellUpdate(ImitationRule::Proportional, 0).at(0), 7.0 / 8 * 11 / 45, 1e-15);
    // Death-birth with W = 0.1: cell 0 dies; its neighbours are cooperator 4
    // (fitness e^0.3) and seven defectors (e^1.6 each): a defector fills it
    // with chance 7 e^1.6 / (e^0.3 + 7 e^1.6).
    const World d = handWorld(UpdateRule::DeathBirth);
    const double e03 = std::exp(0.3), e16 = std::exp(1.6);
    EXPECT_NEAR(Plain(d).cellUpdate(ImitationRule::DeathBirth, 0).at(0), 7 * e16 / (e03 + 7 * e16), 1e-15);
    // Birth-death: each cooperator reproduces with chance e^0.3 / (2 e^0.3 +
    // 7 e^1.6) and replaces one of its 8 neighbours; both cooperators
    // neighbour defector 1, so it turns cooperator with twice that over 8.
    const World b = handWorld(UpdateRule::BirthDeath);
    EXPECT_NEAR(Plain(b).singleUpdate(ImitationRule::BirthDeath).at({1, 63}), 2 * e03 / (2 * e03 + 7 * e16) / 8,
                1e-15);
}

TEST(SingleUpdates, EachRuleChangesEachCellAsOftenAsItsFormulaSays) {
    const std::pair<UpdateRule, ImitationRule> rules[] = {
        {UpdateRule::ProportionalSequential, ImitationRule::Proportional},
        {UpdateRule::Fermi, ImitationRule::Fermi},
        {UpdateRule::DeathBirth, ImitationRule::DeathBirth},
        {UpdateRule::BirthDeath, ImitationRule::BirthDeath},
    };
    for (const auto& [rule, imitation] : rules) {
        checkSingleUpdates(handWorld(rule), imitation, 200000, std::string(imitationName(imitation)) + ", hand world");
        std::uint32_t seed = 1;
        for (const Case& c : kCases) {
            checkSingleUpdates(caseWorld(c, rule, seed++), imitation, 200000,
                               std::string(imitationName(imitation)) + ", " + c.name);
        }
    }
}

TEST(SynchronousSchedule, EveryCellDecidesFromTheSameStateWithItsFormulasChance) {
    for (const UpdateRule rule : {UpdateRule::Proportional, UpdateRule::FermiSynchronous}) {
        const ImitationRule imitation = imitationOf(rule);
        std::uint32_t seed = 11;
        for (const Case& c : kCases) {
            const World start = caseWorld(c, rule, seed++);
            const Plain plain(start);
            std::vector<std::map<int, std::int64_t>> counts(static_cast<std::size_t>(start.cellCount()));
            World w = start;
            constexpr int kTrials = 60000;
            for (int t = 0; t < kTrials; ++t) {
                w.selfStrategy = start.selfStrategy;
                w.otherStrategy = start.otherStrategy;
                w.stepVariant();
                for (int i = 0; i < w.cellCount(); ++i) {
                    const int now = w.selfStrategy[i] * kCodeCount + w.otherStrategy[i];
                    if (now != plain.pair(i)) ++counts[i][now];
                }
            }
            for (int i = 0; i < start.cellCount(); ++i) {
                const auto expected = plain.cellUpdate(imitation, i);
                for (const auto& [pairCode, count] : counts[i]) EXPECT_TRUE(expected.count(pairCode)) << c.name;
                for (const auto& [pairCode, chance] : expected) {
                    expectCount(counts[i][pairCode], kTrials, chance,
                                std::string(imitationName(imitation)) + " synchronous, " + c.name + ", cell " +
                                    std::to_string(i));
                }
            }
        }
    }
}

TEST(SequentialSchedule, AGenerationIsRowsTimesColsSingleUpdatesAndKeepsScoresCurrent) {
    for (const UpdateRule rule : {UpdateRule::ProportionalSequential, UpdateRule::DeathBirth, UpdateRule::BirthDeath}) {
        World a = mixedWorld({12, 9, Edges::Fixed, Neighbourhood::Moore}, 3, 4);
        a.updateRule = rule;
        a.selection = 0.05;
        a.random.seed(77);
        World b = a;
        for (int g = 0; g < 5; ++g) {
            a.stepVariant();
            b.singleUpdates(static_cast<std::uint32_t>(b.cellCount()));
        }
        EXPECT_EQ(a.selfStrategy, b.selfStrategy) << imitationName(imitationOf(rule));
        EXPECT_EQ(a.otherStrategy, b.otherStrategy);
        EXPECT_EQ(a.random.state().words, b.random.state().words);
        EXPECT_EQ(a.generation, 5);
        // The scores kept up to date update by update are those of the state.
        for (int i = 0; i < a.cellCount(); ++i) EXPECT_EQ(a.score[i], Plain(a).score(i)) << i;
    }
}

TEST(SynchronousSchedule, KeepsTheScoresOfTheNewStateWithEveryOption) {
    for (const UpdateRule rule : {UpdateRule::Proportional, UpdateRule::FermiSynchronous}) {
        for (const Case& c : kCases) {
            World w = caseWorld(c, rule, 5);
            w.payoffTable = finitePayoffTableOf({1, 0.25, 1.75, 0.5}, 3);
            for (int g = 0; g < 4; ++g) {
                w.stepVariant();
                for (int i = 0; i < w.cellCount(); ++i) EXPECT_EQ(w.score[i], Plain(w).score(i)) << c.name << " " << i;
            }
        }
    }
}

TEST(MoranRules, FitnessNeverOverflowsWhateverTheScores) {
    // 200-round matches of payoffs near 2^31: scores of the order of 10^12,
    // with W = 1 a plain exp(W * score) would be infinite.
    for (const UpdateRule rule : {UpdateRule::DeathBirth, UpdateRule::BirthDeath}) {
        World w = mixedWorld({8, 8, Edges::Wrap, Neighbourhood::Moore}, 5, 8);
        w.payoffTable = finitePayoffTable(2000000000, -2000000000, 2100000000, 1, 200);
        w.updateRule = rule;
        w.random.seed(3);
        for (int g = 0; g < 20; ++g) w.stepVariant();
        EXPECT_TRUE(w.codesInRange());
        int total = 0;
        for (const auto n : w.pairCounts()) total += static_cast<int>(n);
        EXPECT_EQ(total, 64);
    }
}

TEST(MoranRules, BirthDeathGoesOnWhenEveryFitnessFallsAmongTheSubnormals) {
    // Strong selection on 200-round matches: a score 740 below the
    // reference has a subnormal fitness. Once the best cells change, every
    // fitness can lie there, below the bound of the floor bin by a factor of
    // 2^40, where no try would ever keep a cell: the fitness is measured
    // again from the largest score instead.
    World w = mixedWorld({50, 50, Edges::Wrap, Neighbourhood::Moore}, 5, 8);
    w.payoffTable = finitePayoffTable(3, 0, 5, 1, 200);
    w.updateRule = UpdateRule::BirthDeath;
    w.selection = 1.0;
    w.random.seed(5);
    for (int g = 0; g < 40; ++g) w.stepVariant();
    EXPECT_TRUE(w.codesInRange());
    World fresh = w;
    fresh.countPairs();
    EXPECT_EQ(w.pairCounts(), fresh.pairCounts());
}

TEST(MoranRules, PickingFromRunningSumsPicksAsTheWeightsDo) {
    // Weights as the Moran rules make them: exponentials, often exactly 1
    // (the best), some 0 (too far below it), some tiny; chances over the
    // whole range, the ends included, where rounding may leave no running
    // sum above the target.
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double chances[] = {0.5 / 4294967296.0, 0.5, (4294967296.0 - 0.5) / 4294967296.0};
    for (int trial = 0; trial < 20000; ++trial) {
        const int count = 1 + static_cast<int>(rng() % 8);
        double weight[8], running[8];
        double total = 0.0;
        for (int k = 0; k < count; ++k) {
            const auto kind = rng() % 4;
            weight[k] = kind == 0 ? 0.0 : kind == 1 ? 1.0 : kind == 2 ? std::exp(-40.0 * unit(rng)) : unit(rng);
            total += weight[k];
            running[k] = total;
        }
        if (total == 0.0) continue;  // some weight must be above zero
        const double chance = trial < 3 ? chances[trial] : unit(rng);
        const int pick = pickByRunningSums(weight, running, count, total, chance);
        ASSERT_EQ(pick, pickByWeight(weight, count, total, chance)) << "trial " << trial;
        EXPECT_GT(weight[pick], 0.0);
    }
    // A target on a running sum exactly: that one does not pass it.
    const double even[2] = {1.0, 1.0}, evenSums[2] = {1.0, 2.0};
    EXPECT_EQ(pickByRunningSums(even, evenSums, 2, 2.0, 0.5), 1);
    // A sum beyond the doubles goes the long way, and picks the same.
    const double huge[2] = {1.0, std::numeric_limits<double>::infinity()};
    const double sums[2] = {1.0, std::numeric_limits<double>::infinity()};
    EXPECT_EQ(pickByRunningSums(huge, sums, 2, sums[1], 0.25), pickByWeight(huge, 2, sums[1], 0.25));
}

TEST(AbsorbingStates, EachRuleEndsOnlyWhereNoDrawCanChangeAPair) {
    // Payoffs all equal: nobody ever scores more than anyone, so
    // proportional imitation is stuck, while Fermi and the Moran rules still
    // copy neighbours at random.
    World w = mixedWorld({4, 4, Edges::Wrap, Neighbourhood::Moore}, 9, 2);
    w.payoffTable = finitePayoffTable(1, 1, 1, 1, 1);
    for (const UpdateRule rule : {UpdateRule::Proportional, UpdateRule::ProportionalSequential}) {
        w.updateRule = rule;
        EXPECT_TRUE(w.isAbsorbing());
    }
    for (const UpdateRule rule : {UpdateRule::FermiSynchronous, UpdateRule::DeathBirth, UpdateRule::BirthDeath}) {
        w.updateRule = rule;
        EXPECT_FALSE(w.isAbsorbing());
    }
    // With a prisoner's dilemma the cooperators can copy defectors.
    w.payoffTable = finitePayoffTable(3, 0, 5, 1, 1);
    w.updateRule = UpdateRule::Proportional;
    EXPECT_FALSE(w.isAbsorbing());
    // One pair everywhere is the end under every rule.
    for (int i = 0; i < w.cellCount(); ++i) w.selfStrategy[i] = w.otherStrategy[i] = 2;
    for (const UpdateRule rule : {UpdateRule::Proportional, UpdateRule::FermiSynchronous, UpdateRule::DeathBirth,
                                  UpdateRule::BirthDeath}) {
        w.updateRule = rule;
        EXPECT_TRUE(w.isAbsorbing());
    }
}

TEST(MutationWithinPools, CodesComeOnlyFromThePoolsAndEvenlyWithin) {
    World w({40, 40, Edges::Wrap, Neighbourhood::Moore});
    w.mutation = 1.0;
    w.selfMutationExcluded = {false, true, true, true, true, true, true, false};  // AllD, AllC
    w.otherMutationExcluded = {true, false, false, false, true, true, true, true};  // 1, 2, 3
    w.random.seed(12);
    std::array<std::int64_t, 8> self{}, other{};
    constexpr int kRounds = 20;
    for (int r = 0; r < kRounds; ++r) {
        EXPECT_EQ(w.mutate(), 2 * w.cellCount());
        for (int i = 0; i < w.cellCount(); ++i) {
            ++self[w.selfStrategy[i]];
            ++other[w.otherStrategy[i]];
        }
    }
    const std::int64_t n = static_cast<std::int64_t>(kRounds) * w.cellCount();
    for (int k = 0; k < 8; ++k) {
        if (w.selfMutationExcluded[k]) EXPECT_EQ(self[k], 0) << k;
        else expectCount(self[k], n, 0.5, "self code " + std::to_string(k));
        if (w.otherMutationExcluded[k]) EXPECT_EQ(other[k], 0) << k;
        else expectCount(other[k], n, 1.0 / 3, "others code " + std::to_string(k));
    }
}

TEST(MatchLength, OneRoundIsTheGameItselfAndTwoHundredIsTheDefault) {
    const PayoffTable one = finitePayoffTable(3, 0, 5, 1, 1);
    EXPECT_EQ(one[7][7], 3.0);  // AllC against AllC: R
    EXPECT_EQ(one[0][7], 5.0);  // AllD against AllC: T
    EXPECT_EQ(one[7][0], 0.0);
    EXPECT_EQ(one[0][0], 1.0);
    EXPECT_EQ(finitePayoffTable(3, 0, 5, 1, 200), finitePayoffTable(3, 0, 5, 1));
    // TFT (code 6) against AllD: S once, then P: 0 + 9 x 1 over ten rounds.
    EXPECT_EQ(finitePayoffTable(3, 0, 5, 1, 10)[6][0], 9.0);
    EXPECT_EQ(finitePayoffTableOf({1, 0, 1.5, 0}, 1)[0][7], 1.5);
}

}  // namespace
}  // namespace talvane::testing
