// The payoff table that scoring looks up, and the name of the game that the
// four payoffs define.
#pragma once

#include <array>
#include <cstdint>

#include "rules.h"
#include "world.h"

namespace talvane {

// Long-run average payoff per round of each pair of strategies for the
// default payoffs 3, 0, 5, 1; [own code][opponent's code].
extern const PayoffTable infinitePayoffTable;
// The payoffs R, S, T, P that infinitePayoffTable is the long-run table of.
inline constexpr std::array<std::int32_t, 4> kInfiniteTablePayoffs{3, 0, 5, 1};

// The totals of matches of `rounds` rounds (1 .. kMaxRounds) for the
// payoffs R, S, T, P; exact for every 32-bit payoff.
PayoffTable finitePayoffTable(std::int32_t r, std::int32_t s, std::int32_t t, std::int32_t p,
                              int rounds = kDefaultRounds);

// The totals of 200-round matches under payoffs R, S, T, P that need not be
// whole numbers, [own code][opponent's code]: each total is counted outcome
// by outcome, multiplied out and summed in extended precision, then rounded
// once, so whole-number payoffs give exactly finitePayoffTable's table.
PayoffTable finitePayoffTableOf(const std::array<double, 4>& payoffs, int rounds = kDefaultRounds);

// classifyGame for payoffs that need not be whole numbers: the same
// comparisons, with (S + T) / 2 truncated toward zero as for integers.
const char* classifyRealGame(double r, double s, double t, double p);

// The game's name for the payoffs R (both cooperate), S (sucker), T
// (temptation), P (both defect): "Deadlock", "Chicken", "Stag Hunt",
// "Prisoner's Dilemma" or "Unnamed Game".
const char* classifyGame(std::int32_t r, std::int32_t s, std::int32_t t, std::int32_t p);

}  // namespace talvane
