#include "run_world.h"

#include "payoffs.h"
#include "world_seeding.h"

namespace talvane {

namespace {

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
    const auto layout = static_cast<ColorLayout>(run.colorLayout);
    if (run.start) {
        copyCells(world, *run.start);
        world.random.seed(run.seed);
    } else if (!start.mix.empty()) {
        seedWorldMixture(world, run.seed, start.mix, layout);
    } else {
        SeedingOptions seeding;
        seeding.seed = run.seed;
        seeding.selfExcluded = run.selfExcluded;
        seeding.otherExcluded = run.otherExcluded;
        seeding.layout = layout;
        seedWorld(world, seeding);
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

void applyPayoffTable(World& world, const RunSettings& run) {
    if (run.competitionMode == kCompetitionInfinite) {
        world.payoffTable = infinitePayoffTable;
    } else if (run.realPayoffs) {
        world.payoffTable = finitePayoffTableOf(*run.realPayoffs, run.rounds);
    } else {
        const auto& v = run.payoffs;
        world.payoffTable = finitePayoffTable(v[0], v[1], v[2], v[3], run.rounds);
    }
}

World startWorld(const RunSettings& run) {
    World world(run.effectiveShape());
    applyPayoffTable(world, run);
    world.playSelf = run.playSelf;
    world.extraPoint = run.extraPoint;
    world.updateRule = run.updateRule;
    world.noise = run.noise;
    world.mutation = run.mutation;
    world.selection = run.selection;
    world.selfMutationExcluded = run.selfExcluded;
    world.otherMutationExcluded = run.otherExcluded;
    if (run.resume) {
        const Checkpoint& c = *run.resume;
        world.cellColor = c.color;
        world.selfStrategy = c.self;
        world.otherStrategy = c.other;
        world.random.setState(c.random);
    } else {
        seedCells(world, run);
    }
    world.generation = 0;
    world.countPairs();
    return world;
}

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
