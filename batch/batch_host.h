// The batch runner's host: no window, no sleeping, and a fixed seed in place
// of the clock, so that a run is repeatable from its seed. Its random numbers
// are those of the world's own generator (sim.world.random), so that
// everything random in a run, and its state in a checkpoint, belongs to the
// world.
#pragma once

#include <cstdint>

#include "host.h"

namespace talvane {

class BatchHost : public Host {
public:
    // seed: what the clock reads; seeding reseeds the generator from it.
    explicit BatchHost(std::uint32_t seed) : seed_(seed) {}

    void requestRepaint() override {}
    void setArrowCursor() override {}
    // Slow motion means nothing without a window: never sleeps.
    void sleepMs(int) override {}
    // Always the run's seed, so every seeding draws the same population.
    std::int64_t clockSeconds() override { return seed_; }
    // Writes "talvane-batch: caption text" on standard error (but not the
    // engine's word of a failed log write: the run reports that itself).
    void showMessage(const char* text, const char* caption) override;

    // The generator of sim.world.
    void seedRandom(std::uint32_t seed) override;
    std::uint32_t nextRandom() override;
    void fillRandom(std::uint32_t* out, int count) override;

private:
    std::uint32_t seed_;
};

}  // namespace talvane
