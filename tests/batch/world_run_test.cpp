// The run every program steps a world through: a checkpoint taken part way
// goes on as the run would have, a load keeps the rules and the generator,
// a failing sink or a settled state ends the stepping where it happens, and
// the sinks see every generation in order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "graph.h"
#include "run_world.h"
#include "world_run.h"

namespace talvane {
namespace {

Rules fermiWithMutation() {
    Rules rules = defaultRules();
    rules.updateRule = UpdateRule::Fermi;
    rules.noise = 0.5;
    rules.mutation = 0.01;
    return rules;
}

WorldRun<World> seededRun(const Rules& rules, std::uint32_t seed) {
    WorldRun<World> run(World(WorldShape{12, 14}), rules);
    SeedingOptions options;
    options.seed = seed;
    options.layout = ColorLayout::Random;
    run.seed(options);
    return run;
}

// A ring of n nodes, each also joined to the node three along.
Graph ringGraph(int n) {
    std::vector<Edge> edges;
    for (int i = 0; i < n; ++i) {
        edges.emplace_back(i, (i + 1) % n);
        edges.emplace_back(i, (i + 3) % n);
    }
    Graph graph;
    std::string error;
    EXPECT_TRUE(graphFromEdges(n, edges, graph, error)) << error;
    return graph;
}

template <typename AnyWorld>
std::vector<PairCounts> logOf(WorldRun<AnyWorld>& run, int generations) {
    std::vector<PairCounts> lines;
    run.sinks.log = [&lines](const PairCounts& counts) { lines.push_back(counts); };
    EXPECT_EQ(run.step(generations), 0);
    run.sinks.log = nullptr;
    return lines;
}

template <typename AnyWorld>
void expectSameState(const WorldRun<AnyWorld>& a, const WorldRun<AnyWorld>& b) {
    const Checkpoint x = a.checkpoint(0), y = b.checkpoint(0);
    EXPECT_EQ(x.generation, y.generation);
    EXPECT_EQ(x.color, y.color);
    EXPECT_EQ(x.self, y.self);
    EXPECT_EQ(x.other, y.other);
    EXPECT_EQ(x.random.words, y.random.words);
    EXPECT_EQ(x.random.index, y.random.index);
    EXPECT_EQ(x.recent, y.recent);
}

TEST(WorldRun, ACheckpointGoesOnAsTheRunWouldHaveOnALattice) {
    WorldRun<World> whole = seededRun(fermiWithMutation(), 7);
    whole.watchSettling = true;
    const std::vector<PairCounts> wholeLog = logOf(whole, 12);

    WorldRun<World> first = seededRun(fermiWithMutation(), 7);
    first.watchSettling = true;
    logOf(first, 5);
    const Checkpoint saved = first.checkpoint(7);
    EXPECT_EQ(saved.generation, 5);
    EXPECT_EQ(saved.seed, 7u);

    // A world of the same shape with other cells and another generator.
    WorldRun<World> resumed = seededRun(fermiWithMutation(), 99);
    resumed.watchSettling = true;
    resumed.resume(saved);
    EXPECT_EQ(resumed.generation(), 5);
    const std::vector<PairCounts> rest = logOf(resumed, 7);
    EXPECT_EQ(rest, std::vector<PairCounts>(wholeLog.begin() + 5, wholeLog.end()));
    expectSameState(whole, resumed);
}

TEST(WorldRun, ACheckpointGoesOnAsTheRunWouldHaveOnAGraph) {
    Rules rules = fermiWithMutation();
    rules.updateRule = UpdateRule::DeathBirth;
    const auto make = [&rules](std::uint32_t seed) {
        WorldRun<GraphWorld> run(GraphWorld(ringGraph(40)), rules);
        SeedingOptions options;
        options.seed = seed;
        options.layout = ColorLayout::Random;
        run.seed(options);
        return run;
    };
    WorldRun<GraphWorld> whole = make(3);
    const std::vector<PairCounts> wholeLog = logOf(whole, 9);
    WorldRun<GraphWorld> first = make(3);
    logOf(first, 4);
    const Checkpoint saved = first.checkpoint(3);
    ASSERT_TRUE(saved.graph.has_value());
    EXPECT_EQ(saved.graph->nodes, 40);
    WorldRun<GraphWorld> resumed = make(4);
    resumed.resume(saved);
    EXPECT_EQ(logOf(resumed, 5), std::vector<PairCounts>(wholeLog.begin() + 4, wholeLog.end()));
    expectSameState(whole, resumed);
}

TEST(WorldRun, SeedingRestartsTheGeneratorAndSetsTheMutationPools) {
    SeedingOptions options;
    options.seed = 11;
    options.layout = ColorLayout::Random;
    options.selfExcluded[3] = true;
    WorldRun<World> a = seededRun(fermiWithMutation(), 1);
    WorldRun<World> b = seededRun(fermiWithMutation(), 2);
    logOf(b, 3);  // b's generator has moved on; seeding starts it again
    a.seed(options);
    b.seed(options);
    expectSameState(a, b);
    EXPECT_TRUE(a.rules().selfExcluded[3]);
    for (const CellCode code : a.world().selfStrategy) EXPECT_NE(code, 3);
    // Mutation keeps to the pool too.
    Rules mutating = a.rules();
    mutating.mutation = 1.0;
    a.setRules(mutating);
    logOf(a, 4);
    for (const CellCode code : a.world().selfStrategy) EXPECT_NE(code, 3);
}

TEST(WorldRun, LoadTakesAWorldOfAnotherSizeAndKeepsTheRulesAndTheGenerator) {
    Rules rules = fermiWithMutation();
    rules.payoffs = {4, 0, 7, 2};
    WorldRun<World> run = seededRun(rules, 5);
    const PayoffTable table = run.world().payoffTable;
    const auto generator = run.world().random.state();
    WorldFile file = WorldFile::ofSize(5, 9);
    for (int i = 0; i < 45; ++i) {
        file.color[i] = i % 8;
        file.self[i] = (i * 3) % 8;
        file.other[i] = (i * 5) % 8;
    }
    run.load(file);
    EXPECT_EQ(run.world().rows(), 5);
    EXPECT_EQ(run.world().cols(), 9);
    EXPECT_EQ(worldFileOf(run.world()), file);
    EXPECT_EQ(run.world().payoffTable, table);
    EXPECT_EQ(run.world().updateRule, UpdateRule::Fermi);
    EXPECT_EQ(run.world().random.state().words, generator.words);
    PairCounts expected{};
    for (int i = 0; i < 45; ++i) ++expected[static_cast<std::size_t>(file.self[i] * 8 + file.other[i])];
    EXPECT_EQ(run.world().pairCounts(), expected);
}

TEST(WorldRun, AFailingSinkEndsTheSteppingAtItsGeneration) {
    WorldRun<World> run = seededRun(fermiWithMutation(), 2);
    int logLines = 0;
    run.sinks.log = [&logLines](const PairCounts&) { ++logLines; };
    run.sinks.check = [&run] { return run.generation() == 3 ? 7 : 0; };
    EXPECT_EQ(run.step(10), 7);
    EXPECT_EQ(run.generation(), 3);
    EXPECT_EQ(logLines, 3);  // the failing generation's line was given before the check
    run.sinks.check = nullptr;
    run.sinks.frame = [](const World&, std::int64_t generation) { return generation == 6 ? 4 : 0; };
    EXPECT_EQ(run.step(10), 4);
    EXPECT_EQ(run.generation(), 6);
}

TEST(WorldRun, TheTableAndTheFramesSeeTheStartAndEveryGeneration) {
    WorldRun<World> run = seededRun(fermiWithMutation(), 8);
    std::vector<std::string> table;
    std::vector<std::int64_t> frames;
    run.sinks.stats = [&table](const std::string& text) { table.push_back(text); };
    run.sinks.frame = [&frames](const World&, std::int64_t generation) {
        frames.push_back(generation);
        return 0;
    };
    ASSERT_EQ(run.start(), 0);
    ASSERT_EQ(run.step(3), 0);
    ASSERT_EQ(table.size(), 5u);  // header, generations 0 to 3
    EXPECT_EQ(table[0].rfind("generation,", 0), 0u) << table[0];
    for (int g = 0; g <= 3; ++g) EXPECT_EQ(table[static_cast<std::size_t>(g) + 1].rfind(std::to_string(g) + ",", 0), 0u);
    EXPECT_EQ(frames, (std::vector<std::int64_t>{0, 1, 2, 3}));
    EXPECT_EQ(table.back(), run.tableRow());
}

TEST(WorldRun, UntilSettledStopsAtTheFirstSettledState) {
    // Every cell AllD with AllD under the synchronous rule: the world
    // repeats itself from the first generation on.
    WorldRun<World> run(World(WorldShape{8, 8}), defaultRules());
    run.watchSettling = true;
    ASSERT_EQ(run.start(), 0);
    EXPECT_EQ(run.step(50, true), 0);
    EXPECT_EQ(run.generation(), 1);
    EXPECT_EQ(run.settling().generation, 1);
    EXPECT_EQ(run.settling().period, 1);
    EXPECT_FALSE(run.settling().absorbing);
    EXPECT_TRUE(run.settledNow());
    // Without untilSettled it goes on; the first settling is kept.
    EXPECT_EQ(run.step(4), 0);
    EXPECT_EQ(run.generation(), 5);
    EXPECT_EQ(run.settling().generation, 1);
    run.restartWatch();
    EXPECT_EQ(run.settling().generation, -1);
}

}  // namespace
}  // namespace talvane
