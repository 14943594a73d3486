// Many threads steering one simulation at once: pause toggles, restart
// requests and holds that write the world, while generations run and every
// repaint request blocks until it is served. Run under ThreadSanitizer: any
// grid write that overlaps a step is a reported race. A deadlock ends the
// program within the test's deadline, naming what it waited for.
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

class RunControlStress : public BlockingRepaintTest {
protected:
    // Resumes the run; a resume after a pool edit first becomes a restart
    // that leaves the run paused, so it may take a second toggle.
    void resume() {
        watchdog->waitingFor("the run to resume");
        while (sim.paused) {
            togglePause();
            while (sim.restartPending) pump();
        }
    }

    // Waits until the running simulation thread is blocked in a step's repaint
    // request, which only this thread can serve; false if it never asks.
    bool stepBlockedInItsRepaint() {
        watchdog->waitingFor("a step to ask for its repaint");
        return blocking.waitForBlockedRequest(10s);
    }
};

// What the user interface does while a hold is in force: paint and edit
// payoffs. Returns whether the hold had to serve a repaint of a step (or
// restart) under way before it was granted.
bool editWorldWhileHeld(BlockingRepaintHost& blocking, std::mt19937& rng, int& stepsSeenDuringHolds) {
    const long servedBefore = blocking.framesServedWhileWaiting;
    SimulationHold hold;
    const bool metAStep = blocking.framesServedWhileWaiting != servedBefore;
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
    return metAStep;
}

TEST_F(RunControlStress, HoldsTogglesAndRestartsNeverRaceOrDeadlock) {
    // The test's own thread is the user-interface thread: it serves repaints,
    // toggles, asks for restarts, changes options and holds to edit the world.
    // Every eighth hold is made to meet a step blocked in its repaint; the
    // others come at whatever moment the run has reached.
    constexpr int kHolds = 3000;
    constexpr int kArrangedEvery = 8;
    setDeadline(120s);
    sim.frameInterval = 1;
    startSimulationThread();
    std::mt19937 rng(5);
    int stepsSeenDuringHolds = 0;
    int holdsMeetingAStep = 0;
    for (int n = 0; n < kHolds; ++n) {
        const bool arranged = n % kArrangedEvery == 0;
        if (arranged) {
            resume();
            ASSERT_TRUE(stepBlockedInItsRepaint()) << "hold " << n << ": the running simulation asked for no repaint";
        } else {
            // Resume and give the run a moment, so that many holds meet a step.
            if (sim.paused) togglePause();
            const int before = sim.generation;
            const auto until = std::chrono::steady_clock::now() + 2ms;
            while (sim.generation == before && std::chrono::steady_clock::now() < until) blocking.serve(0ms);
        }
        switch (rng() % 16) {
            case 0: togglePause(); break;
            case 1: sim.restartPending = true; break;
            case 2: sim.frameInterval = static_cast<std::int32_t>(rng() % 4); break;
            case 3: sim.playSelf = !sim.playSelf; break;
            case 4: sim.poolEdited = true; break;
            default: break;
        }
        // A frame of the user interface's own accord (a key, an expose)
        // while the run may be in the middle of a generation.
        blocking.requestRepaint();
        watchdog->waitingFor("a hold");
        const bool met = editWorldWhileHeld(blocking, rng, stepsSeenDuringHolds);
        EXPECT_TRUE(met || !arranged) << "hold " << n << " was arranged to meet a step blocked in its repaint";
        holdsMeetingAStep += met;
    }
    watchdog->waitingFor("the simulation thread to stop");
    stopSimulationThread();
    EXPECT_EQ(stepsSeenDuringHolds, 0);
    EXPECT_GE(holdsMeetingAStep, kHolds / kArrangedEvery);
    EXPECT_GE(blocking.framesOnUiThread, kHolds);
    std::printf("%d holds, %d of them met a step blocked in its repaint, %ld frames served, %ld drawn unasked\n",
                kHolds, holdsMeetingAStep, blocking.framesServed, blocking.framesOnUiThread);
}

// The stop is asked for while the step under way waits for its repaint: it
// must serve that repaint, or the step never ends and the stop never returns.
TEST_F(RunControlStress, StopServesTheRepaintOfTheStepUnderWay) {
    setDeadline(10s);
    sim.restartPending = false;
    sim.frameInterval = 1;
    for (int round = 0; round < 50; ++round) {
        sim.paused = false;
        startSimulationThread();
        ASSERT_TRUE(stepBlockedInItsRepaint()) << "round " << round << ": the step asked for no repaint";
        const int generation = sim.generation;
        const long served = blocking.framesServed;
        watchdog->waitingFor("stopSimulationThread while a step is blocked in its repaint");
        stopSimulationThread();
        ASSERT_EQ(blocking.framesServed, served + 1) << "round " << round;
        ASSERT_EQ(sim.generation, generation) << "round " << round << ": a step ran after the stop";
    }
    EXPECT_EQ(sim.generation, 50);
}

}  // namespace
}  // namespace talvane::testing
