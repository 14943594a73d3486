#include "run_world.h"

#include "payoffs.h"
#include "world_seeding.h"

namespace talvane {

namespace {

// The pools' seeding of a run: its seed, its rules' pools, the layout.
SeedingOptions seedingOf(const RunSettings& run, ColorLayout layout) {
    SeedingOptions seeding;
    seeding.seed = run.seed;
    seeding.selfExcluded = run.rules.selfExcluded;
    seeding.otherExcluded = run.rules.otherExcluded;
    seeding.layout = layout;
    return seeding;
}

void copyCells(World& world, const WorldFile& file) {
    for (int i = 0; i < world.cellCount(); ++i) {
        world.cellColor[i] = static_cast<CellCode>(file.color[i]);
        world.selfStrategy[i] = static_cast<CellCode>(file.self[i]);
        world.otherStrategy[i] = static_cast<CellCode>(file.other[i]);
    }
}

// The cells of a fresh start: a loaded world (its draws then start from the
// seed, as no seeding restarts them), a mixture, or the pools' seeding; then
// the centre and placed cells.
void seedCells(World& world, const RunSettings& run) {
    const StartConditions& start = run.startConditions;
    const ColorLayout layout = run.colorLayout;
    if (run.start) {
        copyCells(world, *run.start);
        world.random.seed(run.seed);
    } else if (!start.mix.empty()) {
        seedWorldMixture(world, run.seed, start.mix, layout);
    } else {
        seedWorld(world, seedingOf(run, layout));
    }
    // The researcher's control: the random layout drawn again over T colours,
    // one drawBelow(T) per cell in row-major order.
    if (!run.start && run.rules.imitationColors > 0) {
        for (CellCode& color : world.cellColor) {
            color = static_cast<CellCode>(drawBelow(world.random, static_cast<std::uint32_t>(run.rules.imitationColors)));
        }
    }
    std::vector<Placement> places;
    std::string unused;
    if (placementsFor(start, world.rows(), world.cols(), places, unused)) applyPlacements(world, places);
}

}  // namespace

WorldShape RunSettings::effectiveShape() const {
    if (resume) return resume->shape;
    WorldShape out = shape;
    if (start) {
        out.rows = start->rows;
        out.cols = start->cols;
    }
    return out;
}


bool startGraphWorld(const RunSettings& run, std::optional<GraphWorld>& out, std::string& error) {
    const GraphSettings& settings = run.graph;
    Mt19937 random;
    random.seed(run.seed);
    Graph graph;
    if (settings.network) {
        if (!generateNetwork(*settings.network, random, graph, error)) return false;
    } else {
        graph = *settings.graph;
    }
    out.emplace(std::move(graph));
    GraphWorld& world = *out;
    world.random = random;
    applyRules(world, run.rules);
    const ColorLayout layout = run.colorLayout;
    if (run.resume) {
        const Checkpoint& c = *run.resume;
        if (!c.graph || c.graph->nodes != world.nodeCount() || c.graph->checksum != graphChecksum(world.graph())) {
            error = "the graph is not the one the checkpoint's world lives on";
            return false;
        }
        // Its cells and generator come from the checkpoint as the run resumes (WorldRun::resume).
    } else if (settings.start) {
        world.nodeColor = settings.start->color;
        world.selfStrategy = settings.start->self;
        world.otherStrategy = settings.start->other;
    } else if (!run.startConditions.mix.empty()) {
        seedGraphWorldMixture(world, run.startConditions.mix, layout);
    } else {
        seedGraphWorld(world, seedingOf(run, layout));
    }
    for (const auto& [node, pair] : settings.places) {
        world.selfStrategy[static_cast<std::size_t>(node)] = static_cast<CellCode>(pair / kCodeCount);
        world.otherStrategy[static_cast<std::size_t>(node)] = static_cast<CellCode>(pair % kCodeCount);
    }
    world.generation = 0;
    world.countPairs();
    return true;
}

World startWorld(const RunSettings& run) {
    World world(run.effectiveShape());
    applyRules(world, run.rules);
    if (run.resume) {
        // Its cells and generator come from the checkpoint as the run resumes (WorldRun::resume).
    } else if (run.rules.updateRule == UpdateRule::Ecology && !run.start) {
        // The paper's start: an empty world; the draws start from the seed.
        world.clearCells();
        world.random.seed(run.seed);
    } else {
        seedCells(world, run);
    }
    world.generation = 0;
    world.countPairs();
    return world;
}

void stepRun(World& world, int threads) {
    if (world.updateRule == UpdateRule::Ecology) {
        world.stepEcology();  // mutation is part of its reproduction
        return;
    }
    if (world.updateRule == UpdateRule::Synchronous) {
        world.step(threads);
    } else {
        world.stepVariant();
    }
    world.mutate();
}

void stepRun(GraphWorld& world, int threads) {
    if (world.updateRule == UpdateRule::Synchronous) {
        world.step(threads);
    } else {
        world.stepVariant();
    }
    world.mutate();
}

}  // namespace talvane
