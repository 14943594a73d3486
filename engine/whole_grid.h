// The generation step's two passes over the whole world, row by row with
// padded rows of packed cells instead of per-cell neighbour look-ups. They
// give exactly what scoreCell and chooseImitation give cell by cell, on the
// 64 x 64 torus.
#pragma once

#include <cstdint>

#include "sim_state.h"

namespace talvane::detail {

// True when the neighbour tables hold the torus (as after every restart);
// only then may the passes below stand in for the per-cell operations.
bool torusTablesBuilt();

// Stores every cell's score in sim.score. Returns false, having done
// nothing, when some colour or strategy code lies outside 0 to 7: the
// per-cell operations must then do the step.
bool scoreWorld();

// Writes every cell's next pair into sim.selfStrategy and sim.otherStrategy,
// and the pair counts of the new world into sim.pairCounts, from the scores
// and the world as scoreWorld last saw them (call it right after a
// scoreWorld that returned true); draws[i] is the random number drawn for
// cell i.
void chooseWorld(const std::uint32_t* draws);

}  // namespace talvane::detail
