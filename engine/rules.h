// The rules of a run's generations as one value: the game (payoffs,
// competition, match length, play-self, extra point), the update rule with
// its schedule, noise, mutation and its pools, the Moran rules' selection,
// the ecology rule's parameters. Every program holds one of these and
// fills its worlds from it (applyRules); the run record and the checkpoint
// write and read it whole.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "ecology.h"
#include "world.h"

namespace talvane {

class GraphWorld;

// How a pair of strategies is scored (the values are the desktop's
// "Competition" menu command ids, and what its state record holds).
enum class CompetitionMode : std::int32_t {
    Finite = 4,    // matches of `rounds` rounds under the four payoffs
    Infinite = 5,  // long-run averages of the default Prisoner's Dilemma
};

// "finite" or "infinite", as options, run records, checkpoints and Python
// spell them; the parser is false for any other text.
const char* competitionName(CompetitionMode mode);
bool parseCompetition(std::string_view text, CompetitionMode& out);

inline constexpr int kDefaultRounds = 200;    // rounds of a finite match unless chosen
inline constexpr int kMaxRounds = 1'000'000;  // the longest match that may be chosen

struct Rules {
    std::array<std::int32_t, 4> payoffs{3, 0, 5, 1};         // R, S, T, P as whole numbers
    std::optional<std::array<double, 4>> realPayoffs;        // decimal R, S, T, P: these rule the finite table instead
    CompetitionMode competition = CompetitionMode::Finite;   // finite matches or long-run averages
    std::int32_t rounds = kDefaultRounds;                    // rounds of a finite match, 1 .. kMaxRounds
    bool playSelf = false;                                   // every cell also plays itself
    bool extraPoint = false;                                 // discriminating cells earn 1.0 per same-colour game
    UpdateRule updateRule = UpdateRule::Synchronous;         // the imitation rule and its schedule, or ecology
    double noise = kDefaultNoise;                            // K of the Fermi rule, > 0
    double mutation = 0.0;                                   // each strategy's chance of a random code per generation
    std::array<bool, kCodeCount> selfExcluded{};             // codes a mutating self strategy may not take (a run's
                                                             // seeding pool as well)
    std::array<bool, kCodeCount> otherExcluded{};            // the same for the others strategies
    double selection = kDefaultSelection;                    // W of the Moran rules' fitness exp(W * score)
    EcologyRules ecology;                                    // the ecology rule's parameters (its mutation among them)
    int imitationColors = 0;                                 // under imitation: the colours a random layout draws
                                                             // and the statistics count, 0 the usual two

    bool operator==(const Rules&) const = default;
};

// The rules every program starts with: the Prisoner's Dilemma 3, 0, 5, 1
// in 200-round matches, the synchronous best rule, no mutation.
inline Rules defaultRules() { return Rules{}; }

// True when the rule is one of those the program has always had (the first
// three and ecology): their records and checkpoints carry no schedule line.
bool isOldRule(UpdateRule rule);

// True when the mutation pools hold all eight codes on both sides.
bool poolsFull(const Rules& rules);

// The payoff table of the rules: the infinite competition's fixed table,
// or the totals of finite matches of the decimal or whole-number payoffs.
PayoffTable payoffTableOf(const Rules& rules);

// Fills the payoff table and every rule field of the world from the rules.
void applyRules(World& world, const Rules& rules);
// The same for a world on a graph, which has no ecology rule.
void applyRules(GraphWorld& world, const Rules& rules);

}  // namespace talvane
