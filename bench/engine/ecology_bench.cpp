// Agent-updates per second of the ecology rule on a 1024 x 1024 torus with
// four neighbours: one agent-update is one agent taken through a period
// (meeting its neighbours, its chance to reproduce, its chance to die). The
// world starts three fifths full of random agents and runs 100 periods
// before timing, near the steady occupancy of the paper's parameters.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "ecology.h"
#include "world.h"

namespace {

using namespace talvane;

World busyWorld(int side) {
    World world(WorldShape{side, side, Edges::Wrap, Neighbourhood::VonNeumann});
    world.updateRule = UpdateRule::Ecology;
    world.clearCells();
    world.random.seed(1);
    for (int i = 0; i < world.cellCount(); ++i) {
        if (drawUnit(world.random) < 0.6) {
            world.cellColor[i] = static_cast<CellCode>(drawBelow(world.random, 4));
            world.selfStrategy[i] = static_cast<CellCode>(drawBelow(world.random, 2) * 7);
            world.otherStrategy[i] = static_cast<CellCode>(drawBelow(world.random, 2) * 7);
        }
    }
    for (int g = 0; g < 100; ++g) world.stepEcology();
    return world;
}

std::int64_t agentsOf(const World& world) {
    std::int64_t agents = 0;
    for (const std::uint32_t n : world.pairCounts()) agents += n;
    return agents;
}

void BM_EcologyPeriod(benchmark::State& state) {
    World world = busyWorld(static_cast<int>(state.range(0)));
    std::int64_t updates = 0;
    for (auto _ : state) {
        updates += agentsOf(world);
        world.stepEcology();
    }
    state.SetItemsProcessed(updates);
    state.counters["agents"] = static_cast<double>(agentsOf(world));
}
BENCHMARK(BM_EcologyPeriod)->Arg(1024)->Arg(50)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
