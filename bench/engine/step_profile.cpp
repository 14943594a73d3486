// A fixed, repeatable run of generation steps for instruction-count
// profiling (valgrind --tool=callgrind), where a timed benchmark's varying
// iteration counts would blur the comparison between two versions.
//
//   talvane_step_profile STEPS RESEED_EVERY [LOG_FILE]
//
// Steps a default world STEPS times, seeding a new world every RESEED_EVERY
// generations (20 keeps the world busy), with the repaint skipped.
#include <cstdio>
#include <cstdlib>

#include "generation.h"
#include "headless_host.h"
#include "population_log.h"
#include "run_control.h"
#include "sim_state.h"

namespace {

using namespace talvane;

// Every seeding sees the next second, so each seeds another world.
class ProfileHost : public HeadlessHost {
public:
    std::int64_t clockSeconds() override { return seconds_++; }

private:
    std::int64_t seconds_ = 1;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s STEPS RESEED_EVERY [LOG_FILE]\n", argv[0]);
        return 2;
    }
    const long steps = std::atol(argv[1]);
    const long reseedEvery = std::atol(argv[2]);
    if (steps < 0 || reseedEvery < 1) return 2;
    ProfileHost host;
    resetSimState();
    sim.host = &host;
    setLogPath(argc > 3 ? argv[3] : "/dev/null");
    for (long s = 0; s < steps; ++s) {
        if (s % reseedEvery == 0) {
            sim.seededUnrun = false;
            sim.restartPending = true;
            restartSimulation();
            sim.frameInterval = 1 << 30;  // never repaint
            sim.paused = false;
        }
        stepGeneration();
    }
    closeLog();
    return 0;
}
