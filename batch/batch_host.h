// The batch runner's host: no window, no sleeping, and a fixed seed in place
// of the clock, so that a run is repeatable from its seed.
#pragma once

#include <cstdint>

#include "headless_host.h"

namespace talvane {

class BatchHost : public HeadlessHost {
public:
    // seed: what the clock reads; seeding reseeds the generator from it.
    explicit BatchHost(std::uint32_t seed) : seed_(seed) {}

    // Slow motion means nothing without a window: never sleeps.
    void sleepMs(int) override {}
    // Always the run's seed, so every seeding draws the same population.
    std::int64_t clockSeconds() override { return seed_; }
    // Writes "talvane-batch: caption text" on standard error.
    void showMessage(const char* text, const char* caption) override;

private:
    std::uint32_t seed_;
};

}  // namespace talvane
