#include "runs.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <csignal>
#include <map>
#include <sys/wait.h>
#include <unistd.h>

#include "output_file.h"
#include "statistics.h"

namespace talvane {

namespace {

constexpr int kPairsShown = 3;

struct Child {
    int run = 0;     // run number 1..K
    int pipeFd = -1; // read end of the pipe the run reports its counts on
};

bool writeAll(int fd, const void* data, std::size_t size) {
    const char* at = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t done = write(fd, at, size);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return false;
        at += done;
        size -= static_cast<std::size_t>(done);
    }
    return true;
}

bool readAll(int fd, void* data, std::size_t size) {
    char* at = static_cast<char*>(data);
    while (size > 0) {
        ssize_t done = read(fd, at, size);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return false;
        at += done;
        size -= static_cast<std::size_t>(done);
    }
    return true;
}

[[noreturn]] void runChild(const RunSettings& base, int run, int pipeFd) {
    RunResult result;
    const RunSettings settings = settingsForRun(base, run);
    int status = runOnce(settings, result);
    if (status == kExitOk && !writeAll(pipeFd, &result, sizeof result)) status = kExitFailure;
    std::fflush(nullptr);
    _exit(status);
}

// Starts run number run in a child process; false when no process could be made.
bool launch(const RunSettings& base, int run, std::map<pid_t, Child>& running) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    std::fflush(nullptr);  // nothing buffered may be written twice
    const pid_t parent = getpid();
    // A signal waits until the child is in the table it is passed on from,
    // and the child handles none before it ends with this process.
    const SignalBlock block;
    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    if (pid == 0) {
        if (!becomeChildOf(parent)) _exit(kExitFailure);
        block.restore();
        close(fds[0]);
        for (const auto& [sibling, child] : running) close(child.pipeFd);  // the siblings' reports are not ours
        runChild(base, run, fds[1]);
    }
    close(fds[1]);
    addChildProcess(pid);
    running[pid] = {run, fds[0]};
    return true;
}

// Waits for one child; returns its exit status, and its counts in summary.
int reapOne(std::map<pid_t, Child>& running, RunSummary& summary) {
    int status = 0;
    pid_t pid = -1;
    do {
        pid = waitpid(-1, &status, 0);
    } while (pid < 0 && errno == EINTR);
    auto found = running.find(pid);
    if (pid < 0 || found == running.end()) return kExitFailure;
    const Child child = found->second;
    running.erase(found);
    removeChildProcess(pid);
    summary.run = child.run;
    RunResult result;
    const bool reported = readAll(child.pipeFd, &result, sizeof result);
    summary.counts = result.counts;
    summary.generationReached = result.generationReached;
    summary.settledGeneration = result.settledGeneration;
    summary.period = result.period;
    summary.absorbing = result.absorbing;
    close(child.pipeFd);
    if (WIFEXITED(status) && WEXITSTATUS(status) != kExitOk) return WEXITSTATUS(status);
    if (!WIFEXITED(status) || !reported) {
        std::fprintf(stderr, "talvane-batch: run %d ended abnormally%s\n", child.run,
                     WIFSIGNALED(status) ? (std::string(" (signal ") + std::to_string(WTERMSIG(status)) + ")").c_str()
                                         : "");
        return kExitFailure;
    }
    return kExitOk;
}

void showProgressLine(int done, int total) {
    std::fprintf(stderr, "\rtalvane-batch: %d of %d runs done", done, total);
    std::fflush(stderr);
}

void clearProgressLine() {
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
}

std::string pairText(int pair) {
    return std::to_string(pair / 8) + "/" + std::to_string(pair % 8) + " " + pairName(pair);
}

}  // namespace

RunSettings settingsForRun(const RunSettings& base, int run) {
    RunSettings settings = base;
    settings.seed = base.seed + static_cast<std::uint32_t>(run - 1);
    if (!base.logPath.empty()) settings.logPath = numberedPath(base.logPath, run);
    if (!base.savePath.empty()) settings.savePath = numberedPath(base.savePath, run);
    if (!base.statsPath.empty()) settings.statsPath = numberedPath(base.statsPath, run);
    if (!base.metaPath.empty()) settings.metaPath = numberedPath(base.metaPath, run);
    if (!base.checkpointPath.empty()) settings.checkpointPath = numberedPath(base.checkpointPath, run);
    if (!base.graph.savePath.empty()) settings.graph.savePath = numberedPath(base.graph.savePath, run);
    for (ExtraOutput& extra : settings.extraOutputs) extra.path = numberedPath(extra.path, run);
    settings.onProgress = nullptr;
    settings.onGeneration = nullptr;
    settings.onGraphGeneration = nullptr;
    return settings;
}

int runMany(const RunSettings& base, int runs, int jobs, bool showProgress) {
    std::map<pid_t, Child> running;
    std::vector<RunSummary> summaries;
    int next = 1;
    int failure = kExitOk;
    if (showProgress) showProgressLine(0, runs);
    while (true) {
        while (failure == kExitOk && next <= runs && static_cast<int>(running.size()) < jobs) {
            if (!launch(base, next, running)) {
                std::fprintf(stderr, "talvane-batch: cannot start run %d: %s\n", next, std::strerror(errno));
                failure = kExitFailure;
                break;
            }
            ++next;
        }
        if (running.empty()) break;
        RunSummary summary;
        const int status = reapOne(running, summary);
        if (status != kExitOk && failure == kExitOk) failure = status;
        if (status == kExitOk) {
            summary.seed = base.seed + static_cast<std::uint32_t>(summary.run - 1);
            summaries.push_back(summary);
        }
        if (showProgress) showProgressLine(static_cast<int>(summaries.size()), runs);
    }
    if (showProgress) clearProgressLine();
    if (failure != kExitOk) return failure;
    std::sort(summaries.begin(), summaries.end(),
              [](const RunSummary& a, const RunSummary& b) { return a.run < b.run; });
    std::fputs(formatSummary(summaries).c_str(), stdout);
    return std::fflush(stdout) == 0 ? kExitOk : kExitFailure;
}

std::string formatSummary(const std::vector<RunSummary>& summaries) {
    std::string out;
    char line[256];
    std::snprintf(line, sizeof line, "%5s %10s  %-22s %5s  %-22s %5s  %-22s %5s  %14s %10s %8s %6s\n", "run", "seed",
                  "pair1", "cells", "pair2", "cells", "pair3", "cells", "discriminating", "generation", "settled",
                  "period");
    out += line;
    for (const RunSummary& s : summaries) {
        std::array<int, 64> order{};
        for (int i = 0; i < 64; ++i) order[i] = i;
        // Most cells first; equal counts in code order, so the table is stable.
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return s.counts[a] > s.counts[b]; });
        std::uint64_t total = 0;
        std::uint64_t discriminating = 0;
        for (int pair = 0; pair < 64; ++pair) {
            total += s.counts[pair];
            if (pair / 8 != pair % 8) discriminating += s.counts[pair];
        }
        int at = std::snprintf(line, sizeof line, "%5d %10u", s.run, s.seed);
        for (int k = 0; k < kPairsShown; ++k) {
            const int pair = order[k];
            const bool present = s.counts[pair] > 0;
            at += std::snprintf(line + at, sizeof line - static_cast<std::size_t>(at), "  %-22s %5s",
                                present ? pairText(pair).c_str() : "-",
                                present ? std::to_string(s.counts[pair]).c_str() : "-");
        }
        const double share = total > 0 ? static_cast<double>(discriminating) / static_cast<double>(total) : 0.0;
        const std::string settled = s.settledGeneration >= 0 ? std::to_string(s.settledGeneration) : "-";
        const std::string period = s.absorbing ? "absorb" : s.period > 0 ? std::to_string(s.period) : "-";
        std::snprintf(line + at, sizeof line - static_cast<std::size_t>(at), "  %14.4f %10lld %8s %6s\n", share,
                      static_cast<long long>(s.generationReached), settled.c_str(), period.c_str());
        out += line;
    }
    return out;
}

}  // namespace talvane
