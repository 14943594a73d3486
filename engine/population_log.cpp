#include "population_log.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine_internal.h"
#include "host.h"
#include "sim_state.h"

namespace talvane {

namespace {

std::string& logPath() { return sim.logPath; }

bool writesToStdout() { return logPath() == "-"; }

// Cuts a regular file back to its last complete line: a write that failed
// part way may have left the start of a line on disk.
void truncateToCompleteLines(std::FILE* file) {
    struct stat info {};
    if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) return;
    std::FILE* reader = std::fopen(logPath().c_str(), "rb");
    if (!reader) return;
    off_t end = info.st_size;
    char block[4096];
    while (end > 0) {
        const off_t start = end > static_cast<off_t>(sizeof block) ? end - static_cast<off_t>(sizeof block) : 0;
        const std::size_t length = static_cast<std::size_t>(end - start);
        if (fseeko(reader, start, SEEK_SET) != 0 || std::fread(block, 1, length, reader) != length) break;
        const void* found = nullptr;
        for (std::size_t k = length; k > 0 && !found; --k) {
            if (block[k - 1] == '\n') found = block + k;
        }
        if (found) {
            end = start + static_cast<off_t>(static_cast<const char*>(found) - block);
            break;
        }
        end = start;
    }
    std::fclose(reader);
    if (ftruncate(fileno(file), end) != 0) return;  // nothing better to do: the message says the log failed
}

// A write to the log failed: keeps the complete lines, closes the stream and
// tells the user once; logging stays off until setLogPath.
void stopLoggingAfterFailure(int error) {
    sim.logWriteFailed = true;
    sim.logWriteError = error;
    if (sim.logFile != stdout) {
        __fpurge(sim.logFile);  // the unwritten rest of the buffer would only add a broken line
        truncateToCompleteLines(sim.logFile);
        std::fclose(sim.logFile);
    }
    sim.logFile = nullptr;
    sim.logUnflushed = false;
    const std::string text = "The population log could not be written (" + std::string(std::strerror(error)) +
                             "). It holds the complete lines written so far; no more lines are logged.";
    if (sim.host != nullptr) sim.host->showMessage(text.c_str(), logPath().c_str());
}

// The log could not be opened (its folder went away or became read-only
// since the start): tells the user once; logging stays off until setLogPath.
void stopLoggingAfterOpenFailure(int error) {
    sim.logWriteFailed = true;
    const std::string text = "The population log could not be opened (" + std::string(std::strerror(error)) +
                             "). No lines are logged.";
    if (sim.host != nullptr) sim.host->showMessage(text.c_str(), logPath().c_str());
}

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

std::size_t formatLogLine(const PairCounts& counts, char* out) {
    char* end = out;
    for (int k = 0; k < kPairCount; ++k) {
        if (k > 0) *end++ = ',';
        end = appendDecimal(end, counts[k]);
    }
    *end++ = '\n';
    return static_cast<std::size_t>(end - out);
}

int openLogIfNeeded() {
    if (sim.logFile) return 0;
    if (sim.logWriteFailed) return 1;
    errno = 0;
    sim.logFile = writesToStdout() ? stdout : std::fopen(logPath().c_str(), "w");
    if (!sim.logFile) {
        stopLoggingAfterOpenFailure(errno != 0 ? errno : EIO);
        return 1;
    }
    sim.logStarts.fetch_add(1);
    return 0;
}

int writeLogLine() {
    countPairs();
    return detail::writeCountedLogLine();
}

int detail::writeCountedLogLine() {
    if (openLogIfNeeded() != 0) return 1;
    char line[kLogLineBytes];
    const std::size_t length = formatLogLine(sim.pairCounts, line);
    errno = 0;
    if (std::fwrite(line, 1, length, sim.logFile) != length || std::ferror(sim.logFile)) {
        stopLoggingAfterFailure(errno != 0 ? errno : EIO);
        return 1;
    }
    sim.logUnflushed = true;
    return 0;
}

void flushLog() {
    if (!sim.logFile || !sim.logUnflushed) return;
    errno = 0;
    if (std::fflush(sim.logFile) != 0) {
        stopLoggingAfterFailure(errno != 0 ? errno : EIO);
        return;
    }
    sim.logUnflushed = false;
}

void closeLog() {
    flushLog();  // a failure here still leaves complete lines and tells the user
    sim.logUnflushed = false;
    if (!sim.logFile) return;
    if (sim.logFile == stdout) {
        std::fflush(stdout);  // standard output belongs to the process: flush, never close
    } else {
        std::fclose(sim.logFile);
    }
    sim.logFile = nullptr;
}

void rewindLog(std::int32_t lines) {
    if (writesToStdout() || sim.logWriteFailed) return;
    flushLog();
    if (sim.logFile) {
        std::fclose(sim.logFile);
        sim.logFile = nullptr;
    }
    std::FILE* file = std::fopen(logPath().c_str(), "r+b");
    if (!file) return;  // no log yet: the next line starts it
    off_t end = 0;
    std::int32_t seen = 0;
    int c = 0;
    while (seen < lines && (c = std::getc(file)) != EOF) {
        ++end;
        if (c == '\n') ++seen;
    }
    if (seen == lines && ftruncate(fileno(file), end) != 0) {
        std::fclose(file);
        return;
    }
    // Later lines go after the kept ones.
    if (fseeko(file, 0, SEEK_END) != 0) {
        std::fclose(file);
        return;
    }
    sim.logFile = file;
}

unsigned logStarts() { return sim.logStarts.load(); }

void setLogPath(const char* path) {
    logPath() = path ? path : kDefaultLogPath;
    sim.logWriteFailed = false;
    sim.logWriteError = 0;
}

}  // namespace talvane
