#include "sim_state.h"

namespace talvane {

const std::array<const char*, kCodeCount> strategyNames = {
    "000 AllD", "001", "010 STFT", "011", "100 C-then-AllD", "101", "110 TFT", "111 AllC",
};

const std::array<const char*, kCodeCount> colorNames = {
    "Green", "Cyan", "Red", "", "", "", "", "",
};

SimState sim;

namespace {

template <typename T, std::size_t N>
void storeAll(std::array<std::atomic<T>, N>& flags, T value) {
    for (auto& f : flags) f.store(value);
}

}  // namespace

void resetSimState() {
    // Atomics cannot be copied from a fresh SimState, so each field is set by hand.
    sim.world = World();
    sim.stepThreads = 1;
    sim.colorPool = {false, true, false, true, true, true, true, true};
    sim.slowDelayMs = 500;
    sim.pairCounts = {};

    sim.payoffCC = 3;
    sim.payoffCD = 0;
    sim.payoffDC = 5;
    sim.payoffDD = 1;
    sim.competitionMode = kCompetitionFinite;
    sim.playSelf = false;
    sim.extraPointSameColor = false;

    sim.paused = true;
    sim.restartPending = true;
    sim.reseedPending = false;
    sim.generation = 0;
    sim.frameInterval = 1;
    sim.consoleEcho = false;
    sim.seededUnrun = false;
    sim.poolEdited = false;
    sim.stepPending = false;
    sim.logRewindLines = -1;

    sim.randomPoolMode = true;
    sim.colorLayout = kLayoutCheckerboard;
    storeAll(sim.selfPool, false);
    storeAll(sim.otherPool, false);

    if (sim.logFile) std::fclose(sim.logFile);
    sim.logFile = nullptr;
    sim.host = nullptr;
}

}  // namespace talvane
