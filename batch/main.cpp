// talvane-batch: runs the model with no window, from a seed or a world file,
// for any number of generations, and writes the population log and the final
// world. Several independent runs go to child processes, a few at a time.
//
// Exit status: 0 done, 1 an output could not be written, 2 usage error,
// 3 bad world file.

#include <chrono>
#include <cstdio>
#include <unistd.h>

#include "options.h"
#include "output_file.h"
#include "run.h"
#include "runs.h"
#include "world_file.h"

namespace {

using namespace talvane;

// Keeps a line on standard error saying how far a single run has come,
// redrawn at most a few times a second.
class GenerationProgress {
public:
    explicit GenerationProgress(std::int32_t total) : total_(total) {}

    void operator()(std::int32_t done) {
        const auto now = std::chrono::steady_clock::now();
        if (now - lastShown_ < std::chrono::milliseconds(200)) return;
        lastShown_ = now;
        std::fprintf(stderr, "\rtalvane-batch: generation %d of %d", done, total_);
        shown_ = true;
    }

    ~GenerationProgress() {
        if (shown_) std::fputs("\r\033[K", stderr);
    }

private:
    std::int32_t total_;
    std::chrono::steady_clock::time_point lastShown_ = std::chrono::steady_clock::now();
    bool shown_ = false;
};

bool loadStartWorld(BatchPlan& plan) {
    if (plan.loadPath.empty()) return true;
    World world;
    WorldError error;
    if (!readWorldFile(plan.loadPath, world, error)) {
        if (error.line > 0) {
            std::fprintf(stderr, "talvane-batch: %s:%ld: %s\n", plan.loadPath.c_str(), error.line,
                         error.message.c_str());
        } else {
            std::fprintf(stderr, "talvane-batch: %s: %s\n", plan.loadPath.c_str(), error.message.c_str());
        }
        return false;
    }
    plan.run.start = world;
    return true;
}

void announceSeeds(const BatchPlan& plan) {
    if (plan.manyRuns && plan.runs > 1) {
        std::fprintf(stderr, "talvane-batch: seeds %u to %u\n", plan.run.seed,
                     plan.run.seed + static_cast<std::uint32_t>(plan.runs - 1));
    } else {
        std::fprintf(stderr, "talvane-batch: seed %u\n", plan.run.seed);
    }
}

int runPlan(BatchPlan& plan) {
    const bool terminal = isatty(STDERR_FILENO) != 0;
    if (plan.manyRuns) return runMany(plan.run, plan.runs, plan.jobs, terminal);
    GenerationProgress progress(plan.run.generations);
    if (terminal) plan.run.onProgress = [&progress](std::int32_t done) { progress(done); };
    PairCounts counts{};
    return runOnce(plan.run, {0, plan.run.seed}, counts);
}

}  // namespace

int main(int argc, char** argv) {
    installOutputCleanup();
    CLI::App app{"Runs the Talvane model with no window and writes its population log and final world."};
    app.name("talvane-batch");
    CommandLine line;
    defineOptions(app, line);
    // Options that act on the final world (pictures, other formats) are added
    // here and push an AfterRunHook onto plan.run.afterRun below.
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e);
        return status == 0 ? kExitOk : kExitUsage;
    }

    BatchPlan plan;
    std::string error;
    if (!makePlan(line, plan, error)) {
        std::fprintf(stderr, "talvane-batch: %s\n", error.c_str());
        return kExitUsage;
    }
    if (!loadStartWorld(plan)) return kExitBadInput;
    announceSeeds(plan);
    return runPlan(plan);
}
