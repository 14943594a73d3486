#include "batch_host.h"

#include <cstdio>

#include "sim_state.h"

namespace talvane {

void BatchHost::showMessage(const char* text, const char* caption) {
    // A failed log write ends the run, which says so under the log's real name.
    if (sim.logWriteFailed) return;
    std::fprintf(stderr, "talvane-batch: %s %s\n", caption, text);
}

void BatchHost::seedRandom(std::uint32_t seed) { sim.world.random.seed(seed); }

std::uint32_t BatchHost::nextRandom() { return sim.world.random.next(); }

void BatchHost::fillRandom(std::uint32_t* out, int count) { sim.world.random.fill(out, count); }

}  // namespace talvane
