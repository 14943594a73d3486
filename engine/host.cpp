#include "host.h"

#include <chrono>
#include <thread>

#include "random_generator.h"

namespace talvane {

namespace {

// Each thread draws from its own generator, so the simulation thread's draws
// never interleave with another thread's and no lock is needed.
Mt19937& threadGenerator() {
    thread_local Mt19937 generator{Mt19937::kDefaultSeed};
    return generator;
}

}  // namespace

std::uint32_t Host::seedRandom(std::uint32_t seed) {
    threadGenerator().seed(seed);
    return seed;
}

std::uint32_t Host::nextRandom() { return threadGenerator().next(); }

void Host::fillRandom(std::uint32_t* out, int count) {
    for (int i = 0; i < count; ++i) out[i] = nextRandom();
}

void Host::serviceWhileWaiting() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

namespace detail {

void fillFromThreadGenerator(std::uint32_t* out, int count) { threadGenerator().fill(out, count); }

}  // namespace detail

}  // namespace talvane
