// The finite and infinite payoff tables and the naming of the game.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "engine_fixture.h"
#include "payoffs.h"
#include "run_control.h"

namespace talvane::testing {
namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

using PayoffTest = EngineTest;

void setPayoffs(std::int32_t r, std::int32_t s, std::int32_t t, std::int32_t p) {
    sim.payoffCC = r;
    sim.payoffCD = s;
    sim.payoffDC = t;
    sim.payoffDD = p;
}

TEST_F(PayoffTest, DefaultFiniteTableIsExact) {
    const double expected[8][8] = {
        {200, 996, 200, 996, 204, 1000, 204, 1000}, {1, 400, 450, 994, 6, 1000, 450, 1000},
        {200, 450, 200, 600, 203, 450, 500, 602},   {1, 4, 595, 598, 5, 8, 599, 602},
        {199, 991, 203, 995, 202, 994, 206, 998},   {0, 0, 450, 993, 4, 400, 450, 998},
        {199, 450, 500, 599, 201, 450, 600, 600},   {0, 0, 597, 597, 3, 3, 600, 600},
    };
    computeFinitePayoffTable();
    for (int a = 0; a < 8; ++a) {
        for (int b = 0; b < 8; ++b) EXPECT_EQ(sim.world.payoffTable[a][b], expected[a][b]) << a << "," << b;
    }
}

// The entries whose coefficient patterns the game fixes, for payoffs far
// beyond the range where 32-bit sums of 200 rounds would still be exact.
void expectTellingEntries(std::int64_t r, std::int64_t s, std::int64_t t, std::int64_t p) {
    const auto& table = sim.world.payoffTable;
    EXPECT_EQ(table[6][6], static_cast<double>(200 * r));
    EXPECT_EQ(table[0][6], static_cast<double>(t + 199 * p));
    EXPECT_EQ(table[6][0], static_cast<double>(s + 199 * p));
    EXPECT_EQ(table[2][6], static_cast<double>(100 * t + 100 * s));
    EXPECT_EQ(table[1][1], static_cast<double>(100 * r + 100 * p));
    EXPECT_EQ(table[1][2], static_cast<double>(50 * (r + s + t + p)));
    EXPECT_EQ(table[4][4], static_cast<double>(r + 199 * p));
    EXPECT_EQ(table[5][7], static_cast<double>(r + 199 * t));
    EXPECT_EQ(table[3][0], static_cast<double>(p + 199 * s));
}

TEST_F(PayoffTest, FiniteTableIsExactForAnyPayoffs) {
    const std::int32_t cases[][4] = {
        {3, 0, 5, 1},
        {7, -11, 13, -17},
        {kMax, kMin, kMax - 1, kMin + 1},
        {kMin, kMax, kMin + 2, kMax - 3},
        {10'737'419, -10'737'419, 2'000'000'000, -2'000'000'000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c[0] << " " << c[1] << " " << c[2] << " " << c[3]);
        setPayoffs(c[0], c[1], c[2], c[3]);
        computeFinitePayoffTable();
        expectTellingEntries(c[0], c[1], c[2], c[3]);
    }
}

// What strategy a earns per round against b in the long run, from the
// definition: both play their first moves, then each answers the other's last
// move; the pair of moves soon repeats, and the average over that cycle is the
// limit of the mean payoff per round.
double longRunAverage(int a, int b, int r, int s, int t, int p) {
    const auto first = [](int code) { return (code >> 2) & 1; };
    const auto reply = [](int code, int opponentMove) { return opponentMove ? (code >> 1) & 1 : code & 1; };
    const auto earned = [&](int mine, int theirs) { return mine ? (theirs ? r : s) : (theirs ? t : p); };
    std::vector<std::pair<int, int>> seen;  // the pairs of moves, round by round
    std::pair<int, int> moves{first(a), first(b)};
    while (std::find(seen.begin(), seen.end(), moves) == seen.end()) {
        seen.push_back(moves);
        moves = {reply(a, moves.second), reply(b, moves.first)};
    }
    const auto cycle = std::find(seen.begin(), seen.end(), moves);
    long total = 0;
    for (auto it = cycle; it != seen.end(); ++it) total += earned(it->first, it->second);
    return static_cast<double>(total) / static_cast<double>(seen.end() - cycle);
}

TEST_F(PayoffTest, InfiniteCompetitionUsesTheLongRunAveragesOfTheDefaultGame) {
    // Deadlock payoffs are set, but infinite competition always scores the
    // long-run averages of the default game (3, 0, 5, 1).
    setPayoffs(1, 0, 5, 3);
    sim.competitionMode = 5;
    restartSimulation();
    for (int a = 0; a < 8; ++a) {
        for (int b = 0; b < 8; ++b) EXPECT_EQ(sim.world.payoffTable[a][b], longRunAverage(a, b, 3, 0, 5, 1)) << a << "," << b;
    }
    EXPECT_STREQ(classifyGame(sim.payoffCC, sim.payoffCD, sim.payoffDC, sim.payoffDD), "Deadlock");
}

TEST_F(PayoffTest, UnknownCompetitionModeKeepsTheTable) {
    sim.world.payoffTable[3][3] = 42.0;
    sim.competitionMode = 7;
    restartSimulation();
    EXPECT_EQ(sim.world.payoffTable[3][3], 42.0);
}

TEST(GameNames, NamedOrders) {
    EXPECT_STREQ(classifyGame(3, 0, 5, 1), "Prisoner's Dilemma");
    EXPECT_STREQ(classifyGame(1, 0, 5, 3), "Deadlock");
    EXPECT_STREQ(classifyGame(3, 1, 5, 0), "Chicken");
    EXPECT_STREQ(classifyGame(5, 0, 3, 1), "Stag Hunt");
}

TEST(GameNames, UnnamedWhenAnOrderFails) {
    EXPECT_STREQ(classifyGame(3, 0, 6, 1), "Unnamed Game");   // R is not above (S + T) / 2 = 3
    EXPECT_STREQ(classifyGame(0, -2, 1, -1), "Unnamed Game"); // (S + T) / 2 truncates to 0
    EXPECT_STREQ(classifyGame(5, 0, 5, 1), "Unnamed Game");   // R = T
    EXPECT_STREQ(classifyGame(1, 1, 1, 1), "Unnamed Game");
}

TEST(GameNames, ExactNearTheLimitsOf32Bits) {
    // S + T overflows 32 bits here; the true half sum is far above R.
    EXPECT_STREQ(classifyGame(1 << 30, (1 << 30) - 2, kMax, (1 << 30) - 1), "Unnamed Game");
    // A true dilemma at the extremes: S + T = -1, so (S + T) / 2 = 0 < R.
    EXPECT_STREQ(classifyGame(kMax - 1, kMin, kMax, 0), "Prisoner's Dilemma");
    EXPECT_STREQ(classifyGame(kMax, kMin, kMax - 1, 0), "Stag Hunt");
    EXPECT_STREQ(classifyGame(0, kMin + 1, kMax, kMin), "Chicken");
    EXPECT_STREQ(classifyGame(0, kMin, kMax, 1), "Deadlock");
}

}  // namespace
}  // namespace talvane::testing
