// The population log: one line of 64 pair counts per generation.
#pragma once

#include <cstddef>
#include <cstdint>

#include "world.h"

namespace talvane {

// The log's file name when no other is set.
inline constexpr const char* kDefaultLogPath = "vemo.csv";

// The bytes one log line may take: 64 counts of at most 10 digits, 63 commas
// and the line end.
inline constexpr std::size_t kLogLineBytes = kPairCount * 11;

// Writes the log line of counts at out (kLogLineBytes long): the 64 pair
// counts in decimal, self*8 + others order, comma-separated, then a line
// feed. Returns its length. Every program's log has these lines.
std::size_t formatLogLine(const PairCounts& counts, char* out);

// Counts the (self, others) pairs of the world and appends them as one line.
// Returns 0 when written, 1 when the file could not be opened or written.
// A failed write cuts the file back to its complete lines, closes it, tells
// the user once through the host, and turns logging off until setLogPath.
int writeLogLine();

// Opens (and so empties) the log file unless it is open already. Returns 0
// when a stream is open, 1 when opening failed; a failed opening tells the
// user once through the host and turns logging off until setLogPath.
int openLogIfNeeded();

// Closes the log stream if one is open; the next line starts the file afresh.
void closeLog();

// Hands every line written so far to the file, so that a reader sees only
// complete lines. The simulation thread calls it whenever the run stands
// still (paused or held); running, lines are written in large blocks.
void flushLog();

// Cuts the log back to its first `lines` lines and keeps writing after them,
// as if the generations after them had never been run. Only the simulation
// thread calls it (sim.logRewindLines asks for it). A log that holds fewer
// lines is left as it is; standard output cannot be cut back.
void rewindLog(std::int32_t lines);

// How many times the log file has been started afresh (opened empty) so far.
// Lines counted before and after a new start belong to different files.
unsigned logStarts();

// Chooses the file the log is written to (default "vemo.csv"); "-" writes to
// standard output. Takes effect at the next opening, and turns logging back
// on after a failed write.
void setLogPath(const char* path);

}  // namespace talvane
