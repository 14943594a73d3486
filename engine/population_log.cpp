#include "population_log.h"

#include <cstdio>
#include <string>

#include "engine_internal.h"
#include "sim_state.h"

namespace talvane {

namespace {

// Set before the simulation thread starts; read when the log is (re)opened.
std::string& logPath() {
    static std::string path = kDefaultLogPath;
    return path;
}

bool writesToStdout() { return logPath() == "-"; }

void countPairs() { sim.pairCounts = sim.world.countPairs(); }

// Writes value in decimal at out; returns the position after the last digit.
char* appendDecimal(char* out, std::uint32_t value) {
    char digits[10];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0) *out++ = digits[--n];
    return out;
}

}  // namespace

int openLogIfNeeded() {
    if (sim.logFile) return 0;
    sim.logFile = writesToStdout() ? stdout : std::fopen(logPath().c_str(), "w");
    return sim.logFile ? 0 : 1;
}

int writeLogLine() {
    countPairs();
    return detail::writeCountedLogLine();
}

int detail::writeCountedLogLine() {
    if (openLogIfNeeded() != 0) return 1;
    // 64 counts of at most 10 digits, 63 commas and the line end.
    char line[kCodeCount * kCodeCount * 11 + 1];
    char* end = line;
    for (int k = 0; k < kCodeCount * kCodeCount; ++k) {
        if (k > 0) *end++ = ',';
        end = appendDecimal(end, sim.pairCounts[k]);
    }
    *end++ = '\n';
    std::fwrite(line, 1, static_cast<std::size_t>(end - line), sim.logFile);
    return 0;
}

void closeLog() {
    if (!sim.logFile) return;
    if (sim.logFile == stdout) {
        std::fflush(stdout);  // standard output belongs to the process: flush, never close
    } else {
        std::fclose(sim.logFile);
    }
    sim.logFile = nullptr;
}

void setLogPath(const char* path) { logPath() = path ? path : kDefaultLogPath; }

}  // namespace talvane
