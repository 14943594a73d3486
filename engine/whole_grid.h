// The generation step's two passes over the whole world, row by row with
// padded rows instead of per-cell neighbour look-ups. They give exactly what
// scoreCell and chooseImitation give cell by cell, on the 64 x 64 torus.
#pragma once

#include <cstdint>

#include "sim_state.h"

namespace talvane::detail {

// True when the neighbour tables hold the torus (as after every restart);
// only then may the passes below stand in for the per-cell operations.
bool torusTablesBuilt();

// Stores every cell's score in sim.score.
void scoreWorld();

// Every cell's next pair into nextSelf and nextOther, from sim.score and the
// strategies as scoreWorld last saw them (call it right after scoreWorld);
// draws[i] is the random number drawn for cell i.
void chooseWorld(const std::uint32_t* draws, Grid<StrategyCode>& nextSelf, Grid<StrategyCode>& nextOther);

}  // namespace talvane::detail
