// Generations per second of the whole step with the repaint skipped and the
// log line written to a real file, as the batch runner drives it.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <string>
#include <thread>

#include <unistd.h>

#include "generation.h"
#include "headless_host.h"
#include "payoffs.h"
#include "population_log.h"
#include "run_control.h"
#include "sim_state.h"
#include "wide_vectors.h"
#include "world.h"

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

// A random layout of Green and Red with all eight strategies, at generation 0.
void seedBusy(World& world) {
    for (int i = 0; i < world.cellCount(); ++i) {
        world.selfStrategy[i] = static_cast<CellCode>(world.random.next() % 8);
        world.otherStrategy[i] = static_cast<CellCode>(world.random.next() % 8);
        world.cellColor[i] = static_cast<CellCode>(world.random.next() % 2 * 2);
    }
    world.generation = 0;
}

// A busy world of range(0) x range(0) cells stepped on range(1) threads: a
// random layout of Green and Red with all eight strategies, reseeded (not
// timed) after its first 30 generations, as long as it keeps changing. Items
// are cell-generations.
void BM_BusyWorld(benchmark::State& state) {
    const int side = static_cast<int>(state.range(0));
    const int threads = static_cast<int>(state.range(1));
    // range(2): 0, the baseline vectors only, as on a processor without
    // AVX2; 1, AVX2 but not AVX-512; 2, all the processor has.
    struct WideAgain {
        ~WideAgain() {
            detail::allowWideVectors(true);
            detail::allowWidestVectors(true);
        }
    } wideAgain;
    detail::allowWideVectors(state.range(2) != 0);
    detail::allowWidestVectors(state.range(2) == 2);
    World world(WorldShape{side, side});
    computeFinitePayoffTable();
    world.payoffTable = sim.world.payoffTable;
    seedBusy(world);
    for (auto _ : state) {
        world.step(threads);
        if (world.generation == 30) {
            state.PauseTiming();
            seedBusy(world);
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations() * world.cellCount());
}
BENCHMARK(BM_BusyWorld)
    ->Args({64, 1, 2})
    ->Args({200, 1, 2})
    ->Args({1024, 1, 2})
    ->Args({1024, 2, 2})
    ->Args({64, 1, 1})
    ->Args({1024, 1, 1})
    ->Args({200, 1, 0})
    ->Args({1024, 1, 0})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();


// The ceiling for two threads on this machine: two independent busy worlds,
// each stepped by a thread of its own (one generation each per iteration,
// reseeded as above). Items are cell-generations of both worlds; compare
// with BusyWorld/1024/1 and BusyWorld/1024/2.
void BM_BusyWorldsSideBySide(benchmark::State& state) {
    const int side = static_cast<int>(state.range(0));
    std::array<World, 2> worlds{World(WorldShape{side, side}), World(WorldShape{side, side})};
    computeFinitePayoffTable();
    for (World& world : worlds) {
        world.payoffTable = sim.world.payoffTable;
        seedBusy(world);
    }
    for (auto _ : state) {
        std::thread other([&worlds] { worlds[1].step(1); });
        worlds[0].step(1);
        other.join();
        if (worlds[0].generation == 30) {
            state.PauseTiming();
            for (World& world : worlds) seedBusy(world);
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations() * 2 * worlds[0].cellCount());
}
BENCHMARK(BM_BusyWorldsSideBySide)->Arg(1024)->Unit(benchmark::kMicrosecond)->UseRealTime();

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

// Single-cell updates of the asynchronous (range(1) = 0) and Fermi (1)
// rules on a busy range(0) x range(0) world: random colours and all eight
// strategies, reseeded (not timed) every 10 generations so that it keeps
// changing. Items are single-cell updates; each generation also scores the
// whole world once.
void BM_VariantUpdates(benchmark::State& state) {
    const int side = static_cast<int>(state.range(0));
    World world(WorldShape{side, side});
    world.payoffTable = finitePayoffTableOf({3, 0, 5, 1});
    world.updateRule = state.range(1) == 0 ? UpdateRule::Asynchronous : UpdateRule::Fermi;
    world.noise = 0.1 * 200;  // K of a few rounds' payoff, as in studies of noisy imitation
    const auto seed = [&world] {
        for (int i = 0; i < world.cellCount(); ++i) {
            world.selfStrategy[i] = static_cast<CellCode>(world.random.next() % 8);
            world.otherStrategy[i] = static_cast<CellCode>(world.random.next() % 8);
            world.cellColor[i] = static_cast<CellCode>(world.random.next() % 2 * 2);
        }
        world.generation = 0;
    };
    seed();
    for (auto _ : state) {
        world.stepVariant();
        if (world.generation == 10) {
            state.PauseTiming();
            seed();
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations() * world.cellCount());
}
BENCHMARK(BM_VariantUpdates)->Args({200, 0})->Args({200, 1})->Unit(benchmark::kMicrosecond)->UseRealTime();
