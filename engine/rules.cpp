#include "rules.h"

#include "graph_world.h"
#include "payoffs.h"

namespace talvane {

const char* competitionName(CompetitionMode mode) {
    return mode == CompetitionMode::Infinite ? "infinite" : "finite";
}

bool parseCompetition(std::string_view text, CompetitionMode& out) {
    if (text == "finite") out = CompetitionMode::Finite;
    else if (text == "infinite") out = CompetitionMode::Infinite;
    else return false;
    return true;
}

bool isOldRule(UpdateRule rule) {
    return rule == UpdateRule::Synchronous || rule == UpdateRule::Asynchronous || rule == UpdateRule::Fermi ||
           rule == UpdateRule::Ecology;
}

bool poolsFull(const Rules& rules) {
    for (int k = 0; k < kCodeCount; ++k) {
        if (rules.selfExcluded[k] || rules.otherExcluded[k]) return false;
    }
    return true;
}

PayoffTable payoffTableOf(const Rules& rules) {
    if (rules.competition == CompetitionMode::Infinite) return infinitePayoffTable;
    if (rules.realPayoffs) return finitePayoffTableOf(*rules.realPayoffs, rules.rounds);
    const auto& v = rules.payoffs;
    return finitePayoffTable(v[0], v[1], v[2], v[3], rules.rounds);
}

namespace {

// The fields a lattice world and a graph world share.
template <typename AnyWorld>
void applySharedRules(AnyWorld& world, const Rules& rules) {
    world.payoffTable = payoffTableOf(rules);
    world.playSelf = rules.playSelf;
    world.extraPoint = rules.extraPoint;
    world.updateRule = rules.updateRule;
    world.noise = rules.noise;
    world.mutation = rules.mutation;
    world.selection = rules.selection;
    world.selfMutationExcluded = rules.selfExcluded;
    world.otherMutationExcluded = rules.otherExcluded;
}

}  // namespace

void applyRules(World& world, const Rules& rules) {
    applySharedRules(world, rules);
    world.ecology = rules.ecology;
}

void applyRules(GraphWorld& world, const Rules& rules) { applySharedRules(world, rules); }

}  // namespace talvane
