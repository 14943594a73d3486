// Many independent runs, each stepping a world of its own on a thread of
// this process, a fixed number at a time, and their summary.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "run.h"

namespace talvane {

// One line of the summary: a finished run and its final population.
struct RunSummary {
    int run = 0;             // 1..K
    std::uint32_t seed = 0;  // the run's seed
    PairCounts counts{};     // cells per (self, others) pair in the final world
    std::int64_t generationReached = 0;   // the last generation run
    std::int64_t settledGeneration = -1;  // first repetition of a recent state, -1 none
    std::int32_t period = 0;              // its period, 0 none
    bool absorbing = false;               // settled in a state no draw can change (random rules)
};

// Runs runs copies of base, run i (1..runs) with seed base.seed + i - 1 and
// its files numbered, at most jobs at a time on threads of their own. Prints
// the summary table on standard output when all succeed; on the first
// failure starts no further run, waits for those under way, and returns that
// run's exit status.
// showProgress: keep a progress line on standard error.
int runMany(const RunSettings& base, int runs, int jobs, bool showProgress);

// The summary table: run, seed, the three most common (self, others) pairs
// (codes and names) with their cell counts, the share of discriminating
// cells, the generation reached, and the generation and period of settling.
std::string formatSummary(const std::vector<RunSummary>& summaries);

// The settings of run number run (1..K) of a series that starts with base.
RunSettings settingsForRun(const RunSettings& base, int run);

}  // namespace talvane
