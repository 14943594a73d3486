// Many threads steering one simulation at once: pause toggles, restart
// requests and holds that write the world, while generations run and every
// repaint request blocks until it is served. Run under ThreadSanitizer: any
// grid write that overlaps a step is a reported race; a deadlock times out.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

#include "engine_fixture.h"
#include "payoffs.h"
#include "run_control.h"

namespace talvane::testing {
namespace {

using namespace std::chrono_literals;

using RunControlStress = BlockingRepaintTest;

// What the user interface does while a hold is in force: paint and edit payoffs.
void editWorldWhileHeld(std::mt19937& rng, int& stepsSeenDuringHolds) {
    SimulationHold hold;
    const int generation = sim.generation;
    for (int n = 0; n < 16; ++n) {
        const int i = static_cast<int>(rng() % kCellCount);
        sim.world.selfStrategy[i] = static_cast<StrategyCode>(rng() % 8);
        sim.world.otherStrategy[i] = static_cast<StrategyCode>(rng() % 8);
        sim.world.cellColor[i] = static_cast<int>(rng() % 3);
    }
    sim.payoffCC = static_cast<std::int32_t>(rng() % 7);
    computeFinitePayoffTable();
    if (sim.generation != generation) ++stepsSeenDuringHolds;
}

TEST_F(RunControlStress, HoldsTogglesAndRestartsNeverRaceOrDeadlock) {
    // The test's own thread is the user-interface thread: it serves repaints,
    // toggles, asks for restarts, changes options and holds to edit the world.
    constexpr int kHolds = 3000;
    sim.frameInterval = 1;
    startSimulationThread();
    std::mt19937 rng(5);
    int stepsSeenDuringHolds = 0;
    int holdsDone = 0;
    long generationsMet = 0;
    const auto deadline = std::chrono::steady_clock::now() + 120s;
    while (holdsDone < kHolds && std::chrono::steady_clock::now() < deadline) {
        // Resume and give the run a moment, so that most holds meet a step.
        if (sim.paused) togglePause();
        const int before = sim.generation;
        const auto until = std::chrono::steady_clock::now() + 2ms;
        while (sim.generation == before && std::chrono::steady_clock::now() < until) blocking.serve(0ms);
        generationsMet += sim.generation != before;
        switch (rng() % 16) {
            case 0: togglePause(); break;
            case 1: sim.restartPending = true; break;
            case 2: sim.frameInterval = static_cast<std::int32_t>(rng() % 4); break;
            case 3: sim.playSelf = !sim.playSelf; break;
            case 4: sim.poolEdited = true; break;
            default: break;
        }
        editWorldWhileHeld(rng, stepsSeenDuringHolds);
        ++holdsDone;
    }
    stopSimulationThread();
    EXPECT_EQ(holdsDone, kHolds);
    EXPECT_EQ(stepsSeenDuringHolds, 0);
    EXPECT_GT(blocking.framesServed, 0);
    std::printf("%d holds, %ld of them after a generation ran, %ld frames served\n", holdsDone, generationsMet,
                blocking.framesServed);
}

TEST_F(RunControlStress, StopWhileBlockedOnRepaintsAgainAndAgain) {
    sim.restartPending = false;
    sim.frameInterval = 1;
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    for (int round = 0; round < 50; ++round) {
        sim.paused = false;
        startSimulationThread();
        // Let it run into a repaint request that only this thread can serve.
        const int target = sim.generation + 2;
        while (sim.generation < target && std::chrono::steady_clock::now() < deadline) blocking.serve(1ms);
        stopSimulationThread();
    }
    EXPECT_GE(sim.generation, 100);
    EXPECT_GT(blocking.framesServed, 50);
}

}  // namespace
}  // namespace talvane::testing
