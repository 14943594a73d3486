#include "host.h"

#include <chrono>
#include <random>
#include <thread>

namespace talvane {

namespace {

// Each thread draws from its own generator, so the simulation thread's draws
// never interleave with another thread's and no lock is needed.
std::mt19937& threadGenerator() {
    thread_local std::mt19937 generator{5489u};
    return generator;
}

}  // namespace

void Host::seedRandom(std::uint32_t seed) { threadGenerator().seed(seed); }

std::uint32_t Host::nextRandom() { return static_cast<std::uint32_t>(threadGenerator()()); }

void Host::serviceWhileWaiting() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

}  // namespace talvane
