#include "seeding.h"

#include <algorithm>

#include "engine_internal.h"
#include "host.h"
#include "run_control.h"
#include "sim_state.h"

namespace talvane {

namespace {

constexpr const char* kEmptyPoolCaption = "Can't create a random pool with nothing in it!";

using PoolFlags = std::array<bool, kCodeCount>;

// The strategy pools as they stand when seeding begins. Seeding draws from
// this copy, so a pool toggled meanwhile on the other thread can never leave
// a draw loop without an admitted code.
struct PoolSnapshot {
    PoolFlags self;
    PoolFlags other;
};

PoolSnapshot snapshotPools() {
    PoolSnapshot pools{};
    for (int i = 0; i < kCodeCount; ++i) {
        pools.self[i] = sim.selfPool[i].load();
        pools.other[i] = sim.otherPool[i].load();
    }
    return pools;
}

bool excludesAll(const PoolFlags& pool) {
    for (bool excluded : pool) {
        if (!excluded) return false;
    }
    return true;
}

bool validateSnapshot(const PoolSnapshot& pools) {
    if (excludesAll(pools.self)) {
        sim.host->showMessage("Would you like to enable at least one \"self\" strategy?", kEmptyPoolCaption);
        return false;
    }
    if (excludesAll(pools.other)) {
        sim.host->showMessage("Would you like to enable at least one \"others\" strategy?", kEmptyPoolCaption);
        return false;
    }
    return true;
}

// Draws codes until the pool admits one.
std::int32_t drawAdmitted(const PoolFlags& pool) {
    std::int32_t code = 0;
    do {
        code = static_cast<std::int32_t>(sim.host->nextRandom() % 8);
    } while (pool[code]);
    return code;
}

void drawCells(const PoolSnapshot& pools) {
    const PoolFlags colors = sim.colorPool;
    World& world = sim.world;
    GridLock lock;
    for (int i = 0; i < world.cellCount(); ++i) {
        world.selfStrategy[i] = static_cast<CellCode>(drawAdmitted(pools.self));
        world.otherStrategy[i] = static_cast<CellCode>(drawAdmitted(pools.other));
        world.cellColor[i] = static_cast<CellCode>(drawAdmitted(colors));
    }
}

void applyColorLayout() {
    switch (colorLayoutOf(sim)) {
        case ColorLayout::Random: applyRandomColors(); break;
        case ColorLayout::Checkerboard: applyCheckerboard(); break;
        case ColorLayout::Segregated: applySegregated(); break;
        default: break;  // keep the colours drawn with the strategies
    }
}

constexpr CellCode kGreen = 0;
constexpr CellCode kRed = 2;

}  // namespace

bool validatePools() { return validateSnapshot(snapshotPools()); }

void seedPopulation() {
    if (!sim.randomPoolMode.load()) return;
    pauseIfRunning();
    const PoolSnapshot pools = snapshotPools();
    if (!validateSnapshot(pools)) return;
    sim.host->seedRandom(static_cast<std::uint32_t>(sim.host->clockSeconds()));
    drawCells(pools);
    applyColorLayout();
    sim.host->requestRepaint();
    sim.poolEdited = false;
}

void applyRandomColors() {
    const PoolFlags colors = sim.colorPool;
    GridLock lock;
    for (CellCode& color : sim.world.cellColor) color = static_cast<CellCode>(drawAdmitted(colors));
}

void applyCheckerboard() {
    const bool phase = sim.host->nextRandom() % 2 != 0;
    {
        World& world = sim.world;
        GridLock lock;
        for (int r = 0; r < world.rows(); ++r) {
            for (int c = 0; c < world.cols(); ++c) {
                const bool even = (r + c) % 2 == 0;
                world.cellColor[world.index(r, c)] = (phase == even) ? kGreen : kRed;
            }
        }
    }
    sim.host->requestRepaint();
}

void applySegregated() {
    {
        World& world = sim.world;
        GridLock lock;
        for (int r = 0; r < world.rows(); ++r) {
            const CellCode color = r < world.rows() / 2 ? kGreen : kRed;
            std::fill_n(world.cellColor.begin() + world.index(r, 0), world.cols(), color);
        }
    }
    sim.host->requestRepaint();
}

}  // namespace talvane
