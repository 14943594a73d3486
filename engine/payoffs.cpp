#include "payoffs.h"

#include <cmath>

namespace talvane {

const PayoffTable infinitePayoffTable = {{
    {1.0, 5.0, 1.0, 5.0, 1.0, 5.0, 1.0, 5.0},
    {0.0, 2.0, 2.25, 5.0, 0.0, 5.0, 2.25, 5.0},
    {1.0, 2.25, 1.0, 3.0, 1.0, 2.25, 2.5, 3.0},
    {0.0, 0.0, 3.0, 3.0, 0.0, 0.0, 3.0, 3.0},
    {1.0, 5.0, 1.0, 5.0, 1.0, 5.0, 1.0, 5.0},
    {0.0, 0.0, 2.25, 5.0, 0.0, 2.0, 2.25, 5.0},
    {1.0, 2.25, 2.5, 3.0, 1.0, 2.25, 3.0, 3.0},
    {0.0, 0.0, 3.0, 3.0, 0.0, 0.0, 3.0, 3.0},
}};

namespace {

// The four payoffs, widened so that 200 rounds of any of them sum exactly.
struct Payoffs {
    std::int64_t r, s, t, p;
};

bool firstMove(StrategyCode code) { return (code & 4) != 0; }

// The move a strategy makes after the opponent played opponentCooperated.
bool reply(StrategyCode code, bool opponentCooperated) {
    return opponentCooperated ? (code & 2) != 0 : (code & 1) != 0;
}

std::int64_t roundPayoff(const Payoffs& pay, bool own, bool other) {
    if (own) return other ? pay.r : pay.s;
    return other ? pay.t : pay.p;
}

// What strategy a earns in all `rounds` rounds against strategy b.
std::int64_t matchTotal(const Payoffs& pay, StrategyCode a, StrategyCode b, int rounds) {
    bool moveA = firstMove(a);
    bool moveB = firstMove(b);
    std::int64_t total = 0;
    for (int round = 0; round < rounds; ++round) {
        total += roundPayoff(pay, moveA, moveB);
        const bool nextA = reply(a, moveB);
        moveB = reply(b, moveA);
        moveA = nextA;
    }
    return total;
}

// How many rounds of a match between a and b end in each outcome, in the
// order R (both cooperate), S, T, P, seen from a.
std::array<int, 4> outcomeCounts(StrategyCode a, StrategyCode b, int rounds) {
    std::array<int, 4> counts{};
    bool moveA = firstMove(a);
    bool moveB = firstMove(b);
    for (int round = 0; round < rounds; ++round) {
        ++counts[(moveA ? 0 : 2) + (moveB ? 0 : 1)];
        const bool nextA = reply(a, moveB);
        moveB = reply(b, moveA);
        moveA = nextA;
    }
    return counts;
}

}  // namespace

PayoffTable finitePayoffTableOf(const std::array<double, 4>& payoffs, int rounds) {
    PayoffTable table{};
    for (StrategyCode a = 0; a < kCodeCount; ++a) {
        for (StrategyCode b = 0; b < kCodeCount; ++b) {
            const std::array<int, 4> counts = outcomeCounts(a, b, rounds);
            long double total = 0.0L;
            for (int k = 0; k < 4; ++k) total += static_cast<long double>(counts[k]) * payoffs[k];
            table[a][b] = static_cast<double>(total);
        }
    }
    return table;
}

const char* classifyRealGame(double r, double s, double t, double p) {
    if (t > p && p > r && r > s) return "Deadlock";
    if (t > r && r > s && s > p) return "Chicken";
    if (r > t && t > p && p > s) return "Stag Hunt";
    const double h = std::trunc((s + t) / 2.0);
    if (t > r && r > p && p > s && r > h) return "Prisoner's Dilemma";
    return "Unnamed Game";
}

PayoffTable finitePayoffTable(std::int32_t r, std::int32_t s, std::int32_t t, std::int32_t p, int rounds) {
    const Payoffs pay{r, s, t, p};
    PayoffTable table{};
    for (StrategyCode a = 0; a < kCodeCount; ++a) {
        for (StrategyCode b = 0; b < kCodeCount; ++b) table[a][b] = static_cast<double>(matchTotal(pay, a, b, rounds));
    }
    return table;
}

const char* classifyGame(std::int32_t r32, std::int32_t s32, std::int32_t t32, std::int32_t p32) {
    // Widened so that S + T cannot overflow; the division truncates toward zero.
    const std::int64_t r = r32, s = s32, t = t32, p = p32;
    if (t > p && p > r && r > s) return "Deadlock";
    if (t > r && r > s && s > p) return "Chicken";
    if (r > t && t > p && p > s) return "Stag Hunt";
    const std::int64_t h = (s + t) / 2;
    if (t > r && r > p && p > s && r > h) return "Prisoner's Dilemma";
    return "Unnamed Game";
}

}  // namespace talvane
