// Single updates per second of each update rule on a busy 200 x 200 world:
// random colours and all eight strategies, reseeded (not timed) every 10
// generations so that it keeps changing. Items are single-cell updates (a
// generation is rows x cols of them); each generation may score the whole
// world once.
#include <benchmark/benchmark.h>

#include <string>

#include "payoffs.h"
#include "world.h"

namespace talvane {
namespace {

constexpr UpdateRule kRules[] = {UpdateRule::Fermi,        UpdateRule::FermiSynchronous, UpdateRule::Proportional,
                                 UpdateRule::ProportionalSequential, UpdateRule::DeathBirth, UpdateRule::BirthDeath};

void BM_RuleUpdates(benchmark::State& state) {
    const int side = static_cast<int>(state.range(0));
    const UpdateRule rule = kRules[state.range(1)];
    World world(WorldShape{side, side});
    world.payoffTable = finitePayoffTableOf({3, 0, 5, 1});
    world.updateRule = rule;
    world.noise = 0.1 * 200;        // K of a few rounds' payoff
    world.selection = 1.0 / 200;    // W of the same scale: one round's payoff
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
    state.SetLabel(std::string(imitationName(imitationOf(rule))) + " " + scheduleName(scheduleOf(rule)));
}
BENCHMARK(BM_RuleUpdates)->ArgsProduct({{200}, {0, 1, 2, 3, 4, 5}})->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
}  // namespace talvane

BENCHMARK_MAIN();
