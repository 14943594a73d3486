#include "runs.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <system_error>
#include <thread>

#include "statistics.h"

namespace talvane {

namespace {

constexpr int kPairsShown = 3;

void showProgressLine(int done, int total) {
    std::fprintf(stderr, "\rtalvane-batch: %d of %d runs done", done, total);
    std::fflush(stderr);
}

void clearProgressLine() {
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
}

RunSummary summaryOf(const RunSettings& settings, int run, const RunResult& result) {
    RunSummary summary;
    summary.run = run;
    summary.seed = settings.seed;
    summary.counts = result.counts;
    summary.generationReached = result.generationReached;
    summary.settledGeneration = result.settledGeneration;
    summary.period = result.period;
    summary.absorbing = result.absorbing;
    return summary;
}

// The runs of a series and how they ended, shared by the threads that run
// them: each takes the next run, runs it, and reports it.
class RunQueue {
public:
    // The first jobs runs start together whatever becomes of them, as a
    // series always has: a failure stops only the runs after them.
    RunQueue(const RunSettings& base, int runs, int jobs, bool showProgress)
        : base_(base), runs_(runs), firstStarts_(std::min(jobs, runs)), showProgress_(showProgress),
          next_(firstStarts_ + 1) {}

    // Runs that start at once, one per thread.
    int firstStarts() const { return firstStarts_; }

    // Runs run first (one of the first starts), then takes runs and runs
    // them until none is left to start.
    void work(int first) {
        for (int run = first; run != 0; run = take()) {
            const RunSettings settings = settingsForRun(base_, run);
            RunResult result;
            const int status = runOnce(settings, result);
            report(summaryOf(settings, run, result), status);
        }
    }

    // The summaries of the runs that succeeded, by run number.
    std::vector<RunSummary> summaries() {
        const std::lock_guard<std::mutex> lock(mutex_);
        std::sort(summaries_.begin(), summaries_.end(),
                  [](const RunSummary& a, const RunSummary& b) { return a.run < b.run; });
        return summaries_;
    }

    // kExitOk, or the exit status of the first run that failed.
    int failure() {
        const std::lock_guard<std::mutex> lock(mutex_);
        return failure_;
    }

private:
    // The next run to start (1..K), or 0: all have started, or one failed.
    int take() {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (next_ > runs_ || failure_ != kExitOk) return 0;
        return next_++;
    }

    void report(const RunSummary& summary, int status) {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (status != kExitOk && failure_ == kExitOk) failure_ = status;
        if (status == kExitOk) summaries_.push_back(summary);
        if (showProgress_) showProgressLine(static_cast<int>(summaries_.size()), runs_);
    }

    const RunSettings& base_;
    const int runs_;
    const int firstStarts_;
    const bool showProgress_;
    std::mutex mutex_;
    int next_;                   // the next run to start
    int failure_ = kExitOk;      // the first failed run's status
    std::vector<RunSummary> summaries_;  // the runs that succeeded, as they ended
};

// Runs the queue on a thread per job; on this one when no thread can be made.
void runOnThreads(RunQueue& queue) {
    std::vector<std::thread> workers;
    try {
        for (int run = 1; run <= queue.firstStarts(); ++run) {
            workers.emplace_back([&queue, run] { queue.work(run); });
        }
    } catch (const std::system_error&) {
        // Fewer threads than jobs: this one runs the first starts that got
        // none, and those made take the later runs between them.
        for (int run = static_cast<int>(workers.size()) + 1; run <= queue.firstStarts(); ++run) queue.work(run);
    }
    for (std::thread& worker : workers) worker.join();
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
    RunQueue queue(base, runs, jobs, showProgress);
    if (showProgress) showProgressLine(0, runs);
    runOnThreads(queue);
    if (showProgress) clearProgressLine();
    if (const int failure = queue.failure(); failure != kExitOk) return failure;
    std::fputs(formatSummary(queue.summaries()).c_str(), stdout);
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
