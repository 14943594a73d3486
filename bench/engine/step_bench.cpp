// Generations per second of the whole step with the repaint skipped and the
// log line written to a real file, as the batch runner drives it.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <string>

#include <unistd.h>

#include "generation.h"
#include "headless_host.h"
#include "population_log.h"
#include "run_control.h"
#include "sim_state.h"
#include "wide_vectors.h"
#include "whole_grid.h"

namespace {

using namespace talvane;

// A clock that moves on one second per seeding: every restart seeds another
// world, and a run of the benchmark sees the same worlds as the last one.
class BenchHost : public HeadlessHost {
public:
    std::int64_t clockSeconds() override { return seconds_++; }

private:
    std::int64_t seconds_ = 1;
};

// Seeds a default world and leaves it ready to step.
void prepareWorld(HeadlessHost& host, const std::string& logPath) {
    resetSimState();
    sim.host = &host;
    setLogPath(logPath.c_str());
    restartSimulation();
    sim.frameInterval = 1 << 30;  // never repaint
    sim.paused = false;
}

// Steps from fresh seedings, reseeding every range(0) generations (the
// reseeding is not timed): 20 keeps the world busy, as right after a seeding;
// 500 and 5000 are runs of busy, settling and, in most worlds, settled generations.
void BM_StepGeneration(benchmark::State& state) {
    BenchHost host;
    const std::string logPath = "/tmp/talvane-bench-" + std::to_string(::getpid()) + ".csv";
    prepareWorld(host, logPath);
    const int reseedEvery = static_cast<int>(state.range(0));
    for (auto _ : state) {
        stepGeneration();
        if (sim.generation.load() % reseedEvery == 0) {
            state.PauseTiming();
            sim.seededUnrun = false;
            restartSimulation();
            sim.frameInterval = 1 << 30;
            // The restart closed the log; reopening (and so emptying) it is
            // part of the restart, not of the next step.
            openLogIfNeeded();
            state.ResumeTiming();
        }
    }
    closeLog();
    std::remove(logPath.c_str());
    setLogPath(kDefaultLogPath);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StepGeneration)->Arg(20)->Arg(500)->Arg(5000)->Unit(benchmark::kMicrosecond);

// The two whole-grid passes alone on a freshly seeded world, with wide
// vectors (range(0) = 1) or the baseline code (0). Every pass rescores and
// rechooses the whole world: the scores are forced afresh each time.
void BM_WholeGridPasses(benchmark::State& state) {
    BenchHost host;
    prepareWorld(host, "/dev/null");
    detail::allowWideVectors(state.range(0) != 0);
    const Grid<StrategyCode> self = sim.selfStrategy;
    const Grid<StrategyCode> other = sim.otherStrategy;
    static std::array<std::uint32_t, kCellCount> draws;
    host.fillRandom(draws.data(), kCellCount);
    bool toggle = false;
    for (auto _ : state) {
        sim.selfStrategy = self;
        sim.otherStrategy = other;
        sim.playSelf = toggle = !toggle;  // new scoring inputs: nothing is reused
        detail::scoreWorld();
        detail::chooseWorld(draws.data());
        benchmark::DoNotOptimize(sim.pairCounts);
    }
    detail::allowWideVectors(true);
    closeLog();
    setLogPath(kDefaultLogPath);
}
BENCHMARK(BM_WholeGridPasses)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_ScoreCell(benchmark::State& state) {
    BenchHost host;
    prepareWorld(host, "/dev/null");
    int cell = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(scoreCell(cell / kGridSize, cell % kGridSize));
        cell = (cell + 1) % kCellCount;
    }
    closeLog();
    setLogPath(kDefaultLogPath);
}
BENCHMARK(BM_ScoreCell);

}  // namespace

BENCHMARK_MAIN();
