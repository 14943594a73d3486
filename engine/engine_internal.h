// Helpers shared by the engine's own files; not part of its interface.
#pragma once

namespace talvane::detail {

// Sleeps ms milliseconds on the simulation thread as time outside any step:
// a holder waiting for the thread may go on meanwhile. The caller must not
// touch the grids or the payoff table after this call within the same step.
void sleepBetweenSteps(int ms);

// Appends the log line of the counts already in sim.pairCounts, as
// writeLogLine does after counting them. Returns 0 when written, 1 when the
// file could not be opened or written.
int writeCountedLogLine();

}  // namespace talvane::detail
