#include "world_run.h"

#include <utility>

#include "ecology.h"
#include "run_world.h"

namespace talvane {

namespace {

const CooperationTable& cooperationOf(const Rules& rules) {
    static const CooperationTable finite = finiteCooperationTable();
    static const CooperationTable infinite = infiniteCooperationTable();
    return rules.competition == CompetitionMode::Infinite ? infinite : finite;
}

const std::vector<CellCode>& colorsOf(const World& world) { return world.cellColor; }
const std::vector<CellCode>& colorsOf(const GraphWorld& world) { return world.nodeColor; }

// The shape-specific halves of a checkpoint.
void markShape(Checkpoint& c, const World& world) { c.shape = world.shape(); }
void markShape(Checkpoint& c, const GraphWorld& world) {
    c.graph = Checkpoint::GraphMark{world.nodeCount(), graphChecksum(world.graph())};
}

void seedCellsOf(World& world, const SeedingOptions& options, const PairWeights& mix) {
    if (mix.empty()) {
        seedWorld(world, options);
    } else {
        seedWorldMixture(world, options.seed, mix, options.layout);
    }
}

// A graph world's seeding restarts the generator from the seed first, as
// talvane-batch --graph FILE --seed S does.
void seedCellsOf(GraphWorld& world, const SeedingOptions& options, const PairWeights& mix) {
    world.random.seed(options.seed);
    if (mix.empty()) {
        seedGraphWorld(world, options);
    } else {
        seedGraphWorldMixture(world, mix, options.layout);
    }
}

std::string statsHeaderOf(const World&, const Rules& rules, const std::vector<int>& colors) {
    return writesEcologyTable(rules) ? ecologyStatsHeader(ecologyTableColors(rules)) : statsHeader(colors);
}
std::string statsHeaderOf(const GraphWorld&, const Rules&, const std::vector<int>& colors) {
    return statsHeader(colors);
}

std::string statsRowOf(const World& world, const Rules& rules, std::int64_t generation,
                       const std::vector<int>& colors, TableCounts& counts) {
    if (writesEcologyTable(rules)) return ecologyStatsRow(generation, takeCensus(world), ecologyTableColors(rules));
    return counts.row(world, cooperationOf(rules), generation, colors);
}
std::string statsRowOf(const GraphWorld& world, const Rules& rules, std::int64_t generation,
                       const std::vector<int>& colors, TableCounts&) {
    return statsRow(generation, computeGraphStats(world, cooperationOf(rules)), colors);
}

// A lattice loads a world file of any size into a new world of that size
// (built before the old one goes, so a failure leaves it); the generator stays.
void loadCells(World& world, const WorldFile& file, const Rules& rules) {
    WorldShape shape = world.shape();
    shape.rows = file.rows;
    shape.cols = file.cols;
    World loaded(shape);
    loaded.random = world.random;
    applyRules(loaded, rules);
    for (int i = 0; i < loaded.cellCount(); ++i) {
        loaded.cellColor[i] = static_cast<CellCode>(file.color[i]);
        loaded.selfStrategy[i] = static_cast<CellCode>(file.self[i]);
        loaded.otherStrategy[i] = static_cast<CellCode>(file.other[i]);
    }
    loaded.countPairs();
    world = std::move(loaded);
}

void loadCells(GraphWorld& world, const NodeCells& cells, const Rules&) {
    world.nodeColor = cells.color;
    world.selfStrategy = cells.self;
    world.otherStrategy = cells.other;
    world.countPairs();
}

// Puts a checkpoint's cells and generator into a world of its shape.
void restoreCells(World& world, const Checkpoint& c) {
    world.cellColor = c.color;
    world.selfStrategy = c.self;
    world.otherStrategy = c.other;
    world.random.setState(c.random);
}

void restoreCells(GraphWorld& world, const Checkpoint& c) {
    world.nodeColor = c.color;
    world.selfStrategy = c.self;
    world.otherStrategy = c.other;
    world.random.setState(c.random);
}

}  // namespace

bool writesEcologyTable(const Rules& rules) {
    return rules.updateRule == UpdateRule::Ecology || rules.imitationColors > 0;
}

int ecologyTableColors(const Rules& rules) {
    return rules.updateRule == UpdateRule::Ecology ? rules.ecology.colors : rules.imitationColors;
}

template <typename AnyWorld>
WorldRun<AnyWorld>::WorldRun(AnyWorld world, const Rules& rules, std::int64_t first)
    : world_(std::move(world)), rules_(rules), first_(first), colors_(colorsPresent(world_)) {
    applyRules(world_, rules_);
}

template <typename AnyWorld>
void WorldRun<AnyWorld>::setRules(const Rules& rules) {
    rules_ = rules;
    applyRules(world_, rules_);
}

template <typename AnyWorld>
void WorldRun<AnyWorld>::seed(const SeedingOptions& options, const PairWeights& mix) {
    seedCellsOf(world_, options, mix);
    // Mutation draws from the pools seeding drew from.
    rules_.selfExcluded = options.selfExcluded;
    rules_.otherExcluded = options.otherExcluded;
    applyRules(world_, rules_);
    world_.countPairs();
    // A seeded world starts its count again.
    world_.generation = 0;
    first_ = 0;
}

template <typename AnyWorld>
void WorldRun<AnyWorld>::load(const Cells& cells) {
    loadCells(world_, cells, rules_);
}

template <typename AnyWorld>
Checkpoint WorldRun<AnyWorld>::checkpoint(std::uint32_t seed) const {
    Checkpoint c;
    c.seed = seed;
    c.generation = generation();
    c.rules = rules_;
    c.random = world_.random.state();
    c.recent = settle_.recent();
    c.color = colorsOf(world_);
    c.self = world_.selfStrategy;
    c.other = world_.otherStrategy;
    markShape(c, world_);
    return c;
}

template <typename AnyWorld>
void WorldRun<AnyWorld>::resume(const Checkpoint& c) {
    restoreCells(world_, c);
    world_.generation = 0;
    world_.countPairs();
    first_ = c.generation;
    settle_.setRecent(c.recent);
    colors_ = colorsPresent(world_);
}

template <typename AnyWorld>
void WorldRun<AnyWorld>::restartWatch() {
    settle_ = SettleWatch();
    settling_ = Settling();
    settledNow_ = false;
    watchSettling = true;
}

template <typename AnyWorld>
std::string WorldRun<AnyWorld>::tableHeader() const {
    return statsHeaderOf(world_, rules_, colors_);
}

template <typename AnyWorld>
std::string WorldRun<AnyWorld>::tableRow() {
    return statsRowOf(world_, rules_, generation(), colors_, tableCounts_);
}

template <typename AnyWorld>
int WorldRun<AnyWorld>::start() {
    world_.countPairs();
    colors_ = colorsPresent(world_);
    if (sinks.stats) {
        sinks.stats(tableHeader());
        sinks.stats(tableRow());
    }
    if (watchSettling) settle_.observe(world_);
    return sinks.frame ? sinks.frame(world_, generation()) : 0;
}

// A repeated state ends a deterministic run; under a random rule or
// mutation only a state that no draw can change is an end. The first end
// is kept.
template <typename AnyWorld>
void WorldRun<AnyWorld>::observe() {
    const bool stochastic = rules_.updateRule != UpdateRule::Synchronous || rules_.mutation > 0.0;
    const int repeated = settle_.observe(world_);
    settledNow_ = stochastic ? world_.isAbsorbing() : repeated > 0;
    if (settledNow_ && settling_.generation < 0) {
        settling_.generation = generation();
        settling_.period = stochastic ? 0 : repeated;
        settling_.absorbing = stochastic;
    }
}

template <typename AnyWorld>
int WorldRun<AnyWorld>::step(std::int64_t n, bool untilSettled) {
    for (std::int64_t done = 0; done < n; ++done) {
        stepRun(world_, threads);
        if (sinks.log) sinks.log(world_.pairCounts());
        if (sinks.stats) sinks.stats(tableRow());
        if (sinks.check) {
            if (const int status = sinks.check(); status != 0) return status;
        }
        if (watchSettling) observe();
        if (sinks.frame) {
            if (const int status = sinks.frame(world_, generation()); status != 0) return status;
        }
        if (untilSettled && settledNow_) return 0;
    }
    return 0;
}

template class WorldRun<World>;
template class WorldRun<GraphWorld>;

WorldFile worldFileOf(const World& world) {
    WorldFile file = WorldFile::ofSize(world.rows(), world.cols());
    for (int i = 0; i < world.cellCount(); ++i) {
        file.color[i] = world.cellColor[i];
        file.self[i] = world.selfStrategy[i];
        file.other[i] = world.otherStrategy[i];
    }
    return file;
}

}  // namespace talvane
