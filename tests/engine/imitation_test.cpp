// How one cell picks the pair it imitates: the scan from a random start,
// ties, its own pair, and scores below zero.
#include <algorithm>
#include <gtest/gtest.h>

#include <array>

#include "engine_fixture.h"
#include "generation.h"

namespace talvane::testing {
namespace {

constexpr int kRow = 10;
constexpr int kCol = 20;

// Candidate k of cell (10, 20), in scan order.
constexpr int kCandidate[9][2] = {
    {kRow - 1, kCol - 1}, {kRow + 1, kCol - 1}, {kRow - 1, kCol + 1}, {kRow + 1, kCol + 1}, {kRow - 1, kCol},
    {kRow, kCol - 1},     {kRow + 1, kCol},     {kRow, kCol + 1},     {kRow, kCol},
};

class ImitationTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        // Each candidate holds a pair no other candidate holds: (k mod 8, k / 8).
        for (int k = 0; k < 9; ++k) {
            sim.world.selfStrategy[cell(k)] = k % 8;
            sim.world.otherStrategy[cell(k)] = k / 8;
            sim.world.cellColor[cell(k)] = k % 3;
        }
    }

    static int cell(int k) { return at(kCandidate[k][0], kCandidate[k][1]); }

    static void setScores(const std::array<double, 9>& scores) {
        for (int k = 0; k < 9; ++k) sim.world.score[cell(k)] = scores[k];
    }

    // The candidate whose pair the cell takes when the start index is s.
    int chosen(unsigned s) {
        StrategyCode self = -1, other = -1;
        chooseImitation(kRow, kCol, s + 8 * 1234567, self, other);  // only the value mod 8 matters
        const int k = self + 8 * other;
        EXPECT_TRUE(k >= 0 && k <= 8) << self << "," << other;
        return k;
    }
};

TEST_F(ImitationTest, TwoTiedNeighboursForEveryStart) {
    // For tied best neighbours i < j: i wins when i < s <= j, j otherwise.
    for (int i = 0; i < 8; ++i) {
        for (int j = i + 1; j < 8; ++j) {
            std::array<double, 9> scores{};
            scores.fill(10.0);
            scores[i] = scores[j] = 50.0;
            setScores(scores);
            for (unsigned s = 0; s < 8; ++s) {
                const int expected = (static_cast<int>(s) > i && static_cast<int>(s) <= j) ? i : j;
                EXPECT_EQ(chosen(s), expected) << "i=" << i << " j=" << j << " s=" << s;
            }
        }
    }
}

TEST_F(ImitationTest, KeepsOwnPairUnlessANeighbourDoesStrictlyBetter) {
    std::array<double, 9> scores{};
    scores.fill(300.0);
    setScores(scores);
    for (unsigned s = 0; s < 8; ++s) EXPECT_EQ(chosen(s), 8) << "all equal, s=" << s;

    scores[3] = 900.0;
    scores[8] = 900.0;
    setScores(scores);
    for (unsigned s = 0; s < 8; ++s) EXPECT_EQ(chosen(s), 8) << "own ties the best, s=" << s;

    scores[8] = 899.0;
    setScores(scores);
    for (unsigned s = 0; s < 8; ++s) EXPECT_EQ(chosen(s), 3) << "strict best, s=" << s;
}

TEST_F(ImitationTest, BestNeighbourOfAnotherColourPassesBothStrategies) {
    std::array<double, 9> scores{};
    scores.fill(1.0);
    scores[6] = 2.0;
    setScores(scores);
    ASSERT_NE(sim.world.cellColor[cell(6)], sim.world.cellColor[cell(8)]);
    sim.world.selfStrategy[cell(6)] = 6;
    sim.world.otherStrategy[cell(6)] = 0;  // a pair only candidate 6 has
    StrategyCode self = -1, other = -1;
    chooseImitation(kRow, kCol, 4, self, other);
    EXPECT_EQ(self, 6);
    EXPECT_EQ(other, 0);
}

TEST_F(ImitationTest, AllScoresBelowZeroKeepOwnPair) {
    setScores({-5.0, -1.0, -3.0, -0.5, -7.0, -2.0, -9.0, -4.0, -8.0});
    for (unsigned s = 0; s < 8; ++s) EXPECT_EQ(chosen(s), 8) << s;
}

TEST_F(ImitationTest, ZeroScoringNeighbourBeatsNegativeOwnScore) {
    setScores({-5.0, -1.0, -3.0, 0.0, -7.0, -2.0, -9.0, -4.0, -8.0});
    for (unsigned s = 0; s < 8; ++s) EXPECT_EQ(chosen(s), 3) << s;
}

TEST_F(ImitationTest, CandidatesWrapAroundTheTorus) {
    std::ranges::fill(sim.world.score, 1.0);
    std::ranges::fill(sim.world.selfStrategy, 0);
    std::ranges::fill(sim.world.otherStrategy, 0);
    sim.world.score[at(63, 63)] = 5.0;  // the up-left diagonal of (0, 0)
    sim.world.selfStrategy[at(63, 63)] = 7;
    sim.world.otherStrategy[at(63, 63)] = 3;
    StrategyCode self = -1, other = -1;
    chooseImitation(0, 0, 0, self, other);
    EXPECT_EQ(self, 7);
    EXPECT_EQ(other, 3);
}

}  // namespace
}  // namespace talvane::testing
