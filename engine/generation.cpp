#include "generation.h"

#include "engine_internal.h"
#include "host.h"
#include "population_log.h"

namespace talvane {

namespace {

bool generationIsDrawn(std::int32_t generation) {
    const std::int32_t interval = sim.frameInterval.load();
    return interval <= 1 || generation % interval == 0;
}

// The world takes the game options as they stand now.
void takeOptions(World& world) {
    world.playSelf = sim.playSelf.load(std::memory_order_relaxed);
    world.extraPoint = sim.extraPointSameColor.load(std::memory_order_relaxed);
}

}  // namespace

double scoreCell(int row, int col) {
    takeOptions(sim.world);
    return sim.world.scoreCell(row, col);
}

void chooseImitation(int row, int col, std::uint32_t draw, StrategyCode& nextSelf, StrategyCode& nextOther) {
    const int chosen = sim.world.chooseCell(row, col, draw);
    nextSelf = sim.world.selfStrategy[chosen];
    nextOther = sim.world.otherStrategy[chosen];
}

void stepGeneration() {
    sim.seededUnrun = false;
    World& world = sim.world;
    // The options are read once per step: a key pressed during a step takes effect at the next.
    takeOptions(world);
    {
        GridLock lock;
        if (world.updateRule == UpdateRule::Synchronous) {
            // One number per cell, in row-major order, from the world's own
            // generator: the desktop's --seed N repeats talvane-batch --seed N.
            world.step(sim.stepThreads);
        } else {
            world.stepVariant();
        }
        world.mutate();
        sim.pairCounts = world.pairCounts();
    }

    const std::int32_t generation = sim.generation.fetch_add(1) + 1;
    if (generationIsDrawn(generation)) sim.host->requestRepaint();
    detail::writeCountedLogLine();
    if (sim.frameInterval.load() == 0 && !sim.restartPending.load()) {
        detail::sleepBetweenSteps(sim.slowDelayMs);
    }
}

}  // namespace talvane
