// Node-generations per second of the graph world's synchronous step: a
// scale-free network of a million nodes on one and two threads, and the
// lattice given as a graph against the lattice's own step on the same cells.
#include <benchmark/benchmark.h>

#include <string>

#include "graph.h"
#include "graph_world.h"
#include "payoffs.h"
#include "world.h"

namespace {

using namespace talvane;

const Graph& scaleFreeMillion() {
    static const Graph graph = [] {
        NetworkRecipe recipe;
        std::string error;
        parseNetworkRecipe("scale-free:1000000:2", recipe, error);
        Mt19937 random(1);
        Graph g;
        generateNetwork(recipe, random, g, error);
        return g;
    }();
    return graph;
}

void seedNodes(GraphWorld& world) {
    for (int i = 0; i < world.nodeCount(); ++i) {
        world.selfStrategy[i] = static_cast<CellCode>(world.random.next() % 8);
        world.otherStrategy[i] = static_cast<CellCode>(world.random.next() % 8);
        world.nodeColor[i] = static_cast<CellCode>(world.random.next() % 2 * 2);
    }
    world.generation = 0;
}

void seedCells(World& world) {
    for (int i = 0; i < world.cellCount(); ++i) {
        world.selfStrategy[i] = static_cast<CellCode>(world.random.next() % 8);
        world.otherStrategy[i] = static_cast<CellCode>(world.random.next() % 8);
        world.cellColor[i] = static_cast<CellCode>(world.random.next() % 2 * 2);
    }
    world.generation = 0;
}

// range(0) threads. Each start is a fresh random seeding (not timed), stepped
// range(1) generations: 10 is the busy first phase, where every node's
// choice may change and every step is a full one; 30 takes in the phase
// where most of the graph has settled too. The iterations are fixed at six
// starts, so that every run measures the same generations (left to the
// library, their number would decide how many of the cheaper settled steps
// the average takes in). Items are node-generations.
constexpr int kStarts = 6;

void BM_ScaleFreeMillion(benchmark::State& state) {
    GraphWorld world(scaleFreeMillion());
    world.payoffTable = finitePayoffTable(3, 0, 5, 1);
    seedNodes(world);
    const int threads = static_cast<int>(state.range(0));
    const auto generations = static_cast<std::int64_t>(state.range(1));
    for (auto _ : state) {
        world.step(threads);
        if (world.generation == generations) {
            state.PauseTiming();
            seedNodes(world);
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations() * world.nodeCount());
}
BENCHMARK(BM_ScaleFreeMillion)->Args({1, 10})->Iterations(kStarts * 10)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ScaleFreeMillion)->Args({2, 10})->Iterations(kStarts * 10)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ScaleFreeMillion)->Args({1, 30})->Iterations(kStarts * 30)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ScaleFreeMillion)->Args({2, 30})->Iterations(kStarts * 30)->Unit(benchmark::kMillisecond)->UseRealTime();

// A range(0)-sided Moore torus as a graph (range(1) = 1) or as the lattice (0), one thread.
void BM_LatticeAsGraph(benchmark::State& state) {
    const int side = static_cast<int>(state.range(0));
    const WorldShape shape{side, side};
    World lattice(shape);
    GraphWorld graph(latticeGraph(shape));
    lattice.payoffTable = graph.payoffTable = finitePayoffTable(3, 0, 5, 1);
    seedCells(lattice);
    seedNodes(graph);
    const bool asGraph = state.range(1) != 0;
    for (auto _ : state) {
        if (asGraph) graph.step(1);
        else lattice.step(1);
        if ((asGraph ? graph.generation : lattice.generation) == 30) {
            state.PauseTiming();
            seedCells(lattice);
            seedNodes(graph);
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations() * lattice.cellCount());
}
BENCHMARK(BM_LatticeAsGraph)
    ->Args({1024, 0})
    ->Args({1024, 1})
    ->Iterations(2 * 30)  // two starts of 30 generations each, as above
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
