// The population log: one line of 64 pair counts per generation.
#pragma once

namespace talvane {

// The log's file name when no other is set.
inline constexpr const char* kDefaultLogPath = "vemo.csv";

// Counts the (self, others) pairs of the world and appends them as one line.
// Returns 0 when written, 1 when the file could not be opened.
int writeLogLine();

// Opens (and so empties) the log file unless it is open already. Returns 0
// when a stream is open, 1 when opening failed.
int openLogIfNeeded();

// Closes the log stream if one is open; the next line starts the file afresh.
void closeLog();

// Chooses the file the log is written to (default "vemo.csv"); "-" writes to
// standard output. Takes effect at the next opening.
void setLogPath(const char* path);

}  // namespace talvane
