// Scoring, imitation and the whole generation step.
#pragma once

#include "sim_state.h"

namespace talvane {

// Total payoff of the cell at (row, col) against its eight neighbours (and
// itself when playSelf is on), from sim.world.payoffTable. No side effects.
double scoreCell(int row, int col);

// The pair the cell at (row, col) takes next: the pair of the best-scoring
// cell of its neighbourhood, ties broken from a random start index. Reads
// this generation's scores and the strategies from before the step; draw is
// the cell's number of the generation, whose value mod 8 is the start index.
void chooseImitation(int row, int col, std::uint32_t draw, StrategyCode& nextSelf, StrategyCode& nextOther);

// One whole generation: scores, choices, the update (synchronous, or the
// world's asynchronous or Fermi rule), every draw from the world's own
// generator as in every program, mutation when the world asks for it, the counter,
// the repaint (unless frames are dropped), the log line and the slow-motion
// sleep.
void stepGeneration();

}  // namespace talvane
