// Measures of a world for experiments: cells, scores and strategies per
// colour, the share of discriminating cells and how often cells cooperate
// with their own colour and with the others. Also the names strategies go by,
// so that options and tables can say "TFT" rather than 6.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "world.h"

namespace talvane {

class GraphWorld;

// Short name of a strategy code: "AllD", "STFT", "C-then-AllD", "TFT",
// "AllC", or the code's digit for the three unnamed ones.
std::string strategyShortName(StrategyCode code);

// Reads a strategy code 0..7 or a strategy's name (case-insensitive).
// False when the text is neither.
bool parseStrategy(const std::string& text, StrategyCode& code);

// "SELF/OTHER" with names where the strategies have one: "TFT/AllD", "1/TFT".
std::string pairName(int pair);

// [own code][opponent's code]: the share of its own moves that are
// cooperation when the row strategy plays the column strategy.
using CooperationTable = std::array<std::array<double, kCodeCount>, kCodeCount>;

// Exact shares over the 200 rounds of a finite match (count / 200).
CooperationTable finiteCooperationTable();
// Shares over the cycle that the two strategies' moves settle into, which is
// what a match of unbounded length averages to.
CooperationTable infiniteCooperationTable();

// The measures of one group of cells (the whole world or one colour).
struct GroupStats {
    std::uint64_t cells = 0;
    double scoreSum = 0.0;                       // scores of the games the cells play now
    std::array<std::uint64_t, kCodeCount> self{};   // cells per self strategy
    std::array<std::uint64_t, kCodeCount> other{};  // cells per others strategy
    std::uint64_t discriminating = 0;            // self strategy differs from others strategy
    double coopSame = 0.0;                       // cooperation shares summed over same-colour games
    std::uint64_t gamesSame = 0;                 // games against the own colour (and itself, when playing itself)
    double coopOther = 0.0;                      // the same for games against other colours
    std::uint64_t gamesOther = 0;
};

// Entry 0: the whole world; entry 1 + c: the cells of colour c.
using WorldStats = std::array<GroupStats, kCodeCount + 1>;

// Adds a group's whole-number counts (cells, strategies, discriminating
// cells, games) to another's: a colour's to the whole world's.
void addCounts(GroupStats& whole, const GroupStats& group);

// The measures of the world as it stands: each cell's score is what
// World::scoreCell gives for the grids, the payoff table and the game
// options held in the world; cooperation counts only each cell's own moves,
// looked up in coop.
WorldStats computeWorldStats(const World& world, const CooperationTable& coop);

// computeWorldStats without the scores (every scoreSum 0): the counts and
// the cooperation sums asked for (coopSame with `same`, coopOther with
// `other`; the others 0), added in the same order, so exactly the same.
WorldStats worldStatsWithoutScores(const World& world, const CooperationTable& coop, bool same, bool other);

// Only the cooperation of computeWorldStats' whole world (coopSame,
// gamesSame, coopOther, gamesOther; the other fields stay 0), without the
// scores: the games are counted by pair of codes and the shares multiplied
// in, so the sums may differ from computeWorldStats' in their last bits.
GroupStats worldCooperation(const World& world, const CooperationTable& coop);

// The same measures for a graph world: each node's games are those along
// its edges in candidate order (then itself under playSelf), its score
// GraphWorld::scoreNode's.
WorldStats computeGraphStats(const GraphWorld& world, const CooperationTable& coop);

// The colour codes that cells (nodes) of world hold, in increasing order.
std::vector<int> colorsPresent(const World& world);
std::vector<int> colorsPresent(const GraphWorld& world);

// Column prefix of a group: "all", "green", "cyan", "red", "color3" .. "color7".
std::string groupPrefix(int group);

// The header line of a statistics table with a group of columns for the
// whole world and one for each colour in colors; ends with a line feed.
std::string statsHeader(const std::vector<int>& colors);

// One line of that table for the given generation.
std::string statsRow(std::int64_t generation, const WorldStats& stats, const std::vector<int>& colors);

}  // namespace talvane
