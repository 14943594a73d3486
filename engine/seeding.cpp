#include "seeding.h"

#include "engine_internal.h"
#include "host.h"
#include "run_control.h"
#include "sim_state.h"
#include "world_seeding.h"

namespace talvane {

namespace {

// The strategy pools as they stand when seeding begins. Seeding draws from
// this copy, so a pool toggled meanwhile on the other thread can never leave
// a draw loop without an admitted code.
struct PoolSnapshot {
    CodeExclusions self;
    CodeExclusions other;
};

PoolSnapshot snapshotPools() {
    PoolSnapshot pools{};
    for (int i = 0; i < kCodeCount; ++i) {
        pools.self[i] = sim.selfPool[i].load();
        pools.other[i] = sim.otherPool[i].load();
    }
    return pools;
}

bool validateSnapshot(const PoolSnapshot& pools) {
    const std::optional<EmptyPoolMessage> refusal = emptyPoolMessage(pools.self, pools.other);
    if (refusal) sim.host->showMessage(refusal->text, refusal->caption);
    return !refusal;
}

// The desktop's world seeded as every program seeds one: from the pools,
// the chosen colour layout and seed.
SeedingOptions desktopSeeding(const PoolSnapshot& pools, std::uint32_t seed) {
    SeedingOptions options;
    options.seed = seed;
    options.selfExcluded = pools.self;
    options.otherExcluded = pools.other;
    options.layout = static_cast<ColorLayout>(sim.colorLayout.load());
    return options;
}

}  // namespace

bool validatePools() { return validateSnapshot(snapshotPools()); }

void seedPopulation() {
    if (!sim.randomPoolMode.load()) return;
    pauseIfRunning();
    const PoolSnapshot pools = snapshotPools();
    if (!validateSnapshot(pools)) return;
    // The world's own generator, which draws the cells and then every
    // generation, starts from the seed the host takes: the clock's, or the
    // one it puts in its place (the desktop's --seed).
    const std::uint32_t seed = sim.host->seedRandom(static_cast<std::uint32_t>(sim.host->clockSeconds()));
    {
        GridLock lock;
        seedWorld(sim.world, desktopSeeding(pools, seed));
    }
    sim.host->requestRepaint();
    sim.poolEdited = false;
}

}  // namespace talvane
