#include "sim_state.h"

#include "payoffs.h"

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
    sim.competitionMode = static_cast<std::int32_t>(CompetitionMode::Finite);
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
    sim.colorLayout = static_cast<std::int32_t>(ColorLayout::Checkerboard);
    storeAll(sim.selfPool, false);
    storeAll(sim.otherPool, false);

    if (sim.logFile) std::fclose(sim.logFile);
    sim.logFile = nullptr;
    sim.host = nullptr;
}

Rules simRules() {
    Rules rules = defaultRules();
    rules.payoffs = {sim.payoffCC.load(), sim.payoffCD.load(), sim.payoffDC.load(), sim.payoffDD.load()};
    rules.competition = static_cast<CompetitionMode>(sim.competitionMode.load());
    rules.playSelf = sim.playSelf.load();
    rules.extraPoint = sim.extraPointSameColor.load();
    return rules;
}

void setSimRules(const Rules& rules) {
    sim.payoffCC = rules.payoffs[0];
    sim.payoffCD = rules.payoffs[1];
    sim.payoffDC = rules.payoffs[2];
    sim.payoffDD = rules.payoffs[3];
    sim.competitionMode = static_cast<std::int32_t>(rules.competition);
    sim.playSelf = rules.playSelf;
    sim.extraPointSameColor = rules.extraPoint;
}

void computeFinitePayoffTable() {
    const Rules rules = simRules();
    const auto& v = rules.payoffs;
    sim.world.payoffTable = finitePayoffTable(v[0], v[1], v[2], v[3]);
}

}  // namespace talvane
