// Run control: the restart sequence, the pause toggle and its pool-edit
// case, the simulation thread, the hold and the clean stop.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <future>
#include <thread>

#include "engine_fixture.h"
#include "generation.h"
#include "run_control.h"
#include "seeding.h"

namespace talvane::testing {
namespace {

using RunControlTest = EngineTest;
using namespace std::chrono_literals;

// Waits until done() holds, calling pump meanwhile; false after 10 seconds.
bool waitFor(const std::function<bool()>& done, const std::function<void()>& pump = [] {
    std::this_thread::sleep_for(1ms);
}) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        pump();
    }
    return true;
}

void expectRestarted() {
    EXPECT_TRUE(sim.paused);
    EXPECT_FALSE(sim.restartPending);
    EXPECT_EQ(sim.generation, 0);
    EXPECT_TRUE(std::all_of(sim.world.score.begin(), sim.world.score.end(), [](double s) { return s == 0.0; }));
}

TEST_F(RunControlTest, FirstRestartSeedsAndLeavesTheRunPaused) {
    std::ranges::fill(sim.world.score, 3.0);
    sim.world.payoffTable = {};
    restartSimulation();
    expectRestarted();
    EXPECT_EQ(sim.world.payoffTable[6][6], 600.0);
    EXPECT_TRUE(sim.seededUnrun);
    EXPECT_EQ(host.seeds.size(), 1u);
    EXPECT_EQ(host.arrowCursorCount, 1);
    EXPECT_TRUE(host.sleeps.empty());
}

TEST_F(RunControlTest, RestartFromRunningPausesWithARepaint) {
    sim.randomPoolMode = false;
    sim.paused = false;
    restartSimulation();
    expectRestarted();
    EXPECT_EQ(host.repaintGenerations.size(), 1u);
    // Already paused and nothing seeded: no repaint at all.
    restartSimulation();
    EXPECT_EQ(host.repaintGenerations.size(), 1u);
}

TEST_F(RunControlTest, ModeChangeOnAnUnrunSeedingKeepsTheWorld) {
    restartSimulation();
    const auto self = sim.world.selfStrategy;
    host.clock += 5;
    sim.competitionMode = 5;
    sim.restartPending = true;
    restartSimulation();
    EXPECT_EQ(sim.world.selfStrategy, self);
    EXPECT_EQ(sim.world.payoffTable, infinitePayoffTable);
    EXPECT_EQ(host.seeds.size(), 1u);
    // After a generation has run, a restart reseeds.
    stepGeneration();
    restartSimulation();
    EXPECT_EQ(host.seeds.size(), 2u);
}

TEST_F(RunControlTest, PoolEditThenSpaceReseedsAndStaysPaused) {
    restartSimulation();
    const auto self = sim.world.selfStrategy;
    sim.selfPool[0] = true;
    sim.poolEdited = true;
    const auto repaints = host.repaintGenerations.size();
    togglePause();
    EXPECT_TRUE(sim.paused);
    EXPECT_TRUE(sim.restartPending);
    EXPECT_EQ(host.repaintGenerations.size(), repaints) << "no repaint for the request";

    host.clock += 1;
    restartSimulation();
    expectRestarted();
    EXPECT_FALSE(sim.poolEdited);
    EXPECT_NE(sim.world.selfStrategy, self);
    EXPECT_EQ(std::count(sim.world.selfStrategy.begin(), sim.world.selfStrategy.end(), 0), 0);

    togglePause();
    EXPECT_FALSE(sim.paused);
    EXPECT_FALSE(sim.restartPending);
    togglePause();
    EXPECT_TRUE(sim.paused);
}

TEST_F(RunControlTest, TogglePauseWhileRunningAfterPoolEditPauses) {
    sim.restartPending = false;
    sim.paused = false;
    sim.poolEdited = true;
    togglePause();
    EXPECT_TRUE(sim.paused);
    EXPECT_FALSE(sim.restartPending);
    EXPECT_EQ(host.repaintGenerations.size(), 1u);
}

TEST_F(RunControlTest, EmptyPoolAfterEditShowsTheMessageAtEveryTry) {
    restartSimulation();
    const auto self = sim.world.selfStrategy;
    for (auto& f : sim.otherPool) f = true;
    sim.poolEdited = true;
    for (int press = 1; press <= 3; ++press) {
        togglePause();
        ASSERT_TRUE(sim.restartPending);
        restartSimulation();
        expectRestarted();
        ASSERT_EQ(host.messages.size(), static_cast<std::size_t>(press));
        EXPECT_EQ(host.messages.back().text, "Would you like to enable at least one \"others\" strategy?");
        EXPECT_TRUE(sim.poolEdited);
        EXPECT_EQ(sim.world.selfStrategy, self);
    }
}

TEST_F(RunControlTest, PaintModeKeepsItsWorld) {
    sim.randomPoolMode = false;
    fillWorld(3, 4, 1);
    sim.generation = 17;
    std::ranges::fill(sim.world.score, 9.0);
    restartSimulation();
    expectRestarted();
    EXPECT_TRUE(std::all_of(sim.world.selfStrategy.begin(), sim.world.selfStrategy.end(), [](int s) { return s == 3; }));
    EXPECT_TRUE(host.seeds.empty());
    EXPECT_FALSE(sim.seededUnrun);
}

TEST_F(RunControlTest, ConsoleEchoAndSlowMotion) {
    sim.randomPoolMode = false;
    ::testing::internal::CaptureStdout();
    restartSimulation();
    sim.consoleEcho = true;
    restartSimulation();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "> Initializing cellular automata... ");
    EXPECT_TRUE(host.sleeps.empty());
    sim.consoleEcho = false;
    sim.frameInterval = 0;
    restartSimulation();
    EXPECT_EQ(host.sleeps, (std::vector<int>{500}));
}

// --- The simulation thread ---

class ThreadTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        sim.restartPending = true;  // as at program start
        host.realSleepMs = 1;
    }
    void TearDown() override {
        stopSimulationThread();
        EngineTest::TearDown();
    }
};

TEST_F(ThreadTest, RestartRequestedWhileRunning) {
    sim.frameInterval = 1 << 30;
    startSimulationThread();
    ASSERT_TRUE(waitFor([] { return !sim.restartPending; }));
    togglePause();
    ASSERT_TRUE(waitFor([] { return sim.generation >= 5; }));
    sim.restartPending = true;
    ASSERT_TRUE(waitFor([] { return !sim.restartPending; }));
    stopSimulationThread();
    expectRestarted();
    EXPECT_EQ(sim.logFile, nullptr);
    const auto lines = logLines();
    EXPECT_GE(lines.size(), 5u);
    for (const auto& line : lines) EXPECT_EQ(std::count(line.begin(), line.end(), ','), 63);
}

TEST_F(ThreadTest, NothingStartsWhileHeld) {
    sim.frameInterval = 1 << 30;
    startSimulationThread();
    ASSERT_TRUE(waitFor([] { return !sim.restartPending; }));
    togglePause();
    ASSERT_TRUE(waitFor([] { return sim.generation >= 3; }));
    {
        SimulationHold hold;
        EXPECT_TRUE(sim.paused);
        const int generation = sim.generation;
        // A resume and a restart requested during the hold must both wait for its end.
        togglePause();
        sim.restartPending = true;
        fillWorld(2, 2, 0);
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(sim.generation, generation);
        EXPECT_TRUE(sim.restartPending);
    }
    ASSERT_TRUE(waitFor([] { return !sim.restartPending; }));
    EXPECT_EQ(sim.generation, 0);
}

TEST_F(ThreadTest, SingleStepRunsOneGenerationAndStaysPaused) {
    sim.frameInterval = 100;  // a generation that would not be drawn is drawn when stepped
    startSimulationThread();
    ASSERT_TRUE(waitFor([] { return !sim.restartPending; }));
    ASSERT_TRUE(requestSingleStep());
    ASSERT_TRUE(waitFor([] { return sim.generation == 1; }));
    EXPECT_FALSE(sim.stepPending);
    EXPECT_TRUE(sim.paused);
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(sim.generation, 1) << "the run went on after the step";
    // A step asked for while held waits for the hold's end.
    {
        SimulationHold hold;
        ASSERT_TRUE(requestSingleStep());
        std::this_thread::sleep_for(30ms);
        EXPECT_EQ(sim.generation, 1);
    }
    ASSERT_TRUE(waitFor([] { return sim.generation == 2 && !sim.stepPending; }));
    // Running, there is nothing to step.
    togglePause();
    EXPECT_FALSE(requestSingleStep());
    stopSimulationThread();
    EXPECT_EQ(std::count(host.repaintGenerations.begin(), host.repaintGenerations.end(), 1), 1);
}

TEST_F(ThreadTest, RestartObserverSeesTheWorldBeforeTheRestart) {
    static std::int32_t seenGeneration = -1;
    static int calls = 0;
    seenGeneration = -1;
    calls = 0;
    setRestartObserver([] {
        ++calls;
        seenGeneration = sim.generation;
    });
    sim.frameInterval = 1 << 30;
    startSimulationThread();
    ASSERT_TRUE(waitFor([] { return !sim.restartPending; }));
    togglePause();
    ASSERT_TRUE(waitFor([] { return sim.generation >= 3; }));
    pauseIfRunning();
    {
        SimulationHold hold;
        sim.restartPending = true;
    }
    ASSERT_TRUE(waitFor([] { return !sim.restartPending; }));
    setRestartObserver(nullptr);
    EXPECT_EQ(calls, 2);  // the start-up restart and this one
    EXPECT_GE(seenGeneration, 3);
    EXPECT_EQ(sim.generation, 0);
}

TEST_F(ThreadTest, HoldDuringPoolEditKeepsTheRestartBack) {
    startSimulationThread();
    ASSERT_TRUE(waitFor([] { return !sim.restartPending; }));
    SimulationHold hold;
    sim.poolEdited = true;
    togglePause();  // paused with an edited pool: becomes a restart request
    EXPECT_TRUE(sim.restartPending);
    const auto self = sim.world.selfStrategy;
    std::this_thread::sleep_for(30ms);
    EXPECT_TRUE(sim.restartPending);
    EXPECT_EQ(sim.world.selfStrategy, self);
}

TEST_F(ThreadTest, CleanStopEndsTheLogWithCompleteLines) {
    sim.frameInterval = 1 << 30;
    startSimulationThread();
    ASSERT_TRUE(waitFor([] { return !sim.restartPending; }));
    togglePause();
    ASSERT_TRUE(waitFor([] { return sim.generation >= 20; }));
    stopSimulationThread();
    const int generation = sim.generation;
    closeLog();
    const auto lines = logLines();
    EXPECT_EQ(lines.size(), static_cast<std::size_t>(generation));
    for (const auto& line : lines) EXPECT_EQ(std::count(line.begin(), line.end(), ','), 63);
    EXPECT_EQ(sim.generation, generation) << "no generation after the stop";
    EXPECT_EQ(sim.logFile, nullptr);
}

// A host whose slow-motion sleeps last until the test opens the gate.
class GatedSleepHost : public FakeHost {
public:
    void sleepMs(int ms) override {
        if (ms < 100) {
            std::this_thread::sleep_for(1ms);
            return;
        }
        std::unique_lock lock(gateMutex);
        ++slowSleepsStarted;
        changed.notify_all();
        changed.wait(lock, [&] { return gateOpen; });
    }
    void openGate() {
        std::lock_guard lock(gateMutex);
        gateOpen = true;
        changed.notify_all();
    }
    bool waitForSlowSleep() {
        std::unique_lock lock(gateMutex);
        return changed.wait_for(lock, 10s, [&] { return slowSleepsStarted > 0; });
    }

    std::mutex gateMutex;
    std::condition_variable changed;
    int slowSleepsStarted = 0;
    bool gateOpen = false;
};

TEST_F(ThreadTest, HoldNeedNotWaitForTheSlowMotionSleep) {
    GatedSleepHost gated;
    sim.host = &gated;
    sim.restartPending = false;
    sim.frameInterval = 0;
    startSimulationThread();
    togglePause();
    ASSERT_TRUE(gated.waitForSlowSleep());
    // The step's work is done; only its sleep is under way, so the hold
    // returns before the sleep ends.
    auto hold = std::async(std::launch::async, [] { holdSimulation(); });
    const bool heldDuringSleep = hold.wait_for(5s) == std::future_status::ready;
    if (!heldDuringSleep) gated.openGate();
    hold.wait();
    ASSERT_TRUE(heldDuringSleep);
    const int generation = sim.generation;
    fillWorld(1, 1, 0);  // what painting would do
    gated.openGate();
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(sim.generation, generation) << "no step while held";
    releaseSimulation();
    stopSimulationThread();
    EXPECT_EQ(generation, 1);
}

TEST_F(BlockingRepaintTest, HoldAndStopServeTheRepaintsTheyWaitFor) {
    startSimulationThread();
    ASSERT_TRUE(waitFor([] { return !sim.restartPending; }, [&] { pump(); }));
    togglePause();
    ASSERT_TRUE(waitFor([] { return sim.generation >= 3; }, [&] { pump(); }));
    // The thread is likely blocked on a repaint now; the hold must serve it.
    for (int i = 0; i < 20; ++i) {
        holdSimulation();
        const int generation = sim.generation;
        releaseSimulation();
        togglePause();
        ASSERT_TRUE(waitFor([&] { return sim.generation > generation; }, [&] { pump(); }));
    }
    stopSimulationThread();
    EXPECT_GT(blocking.framesServed, 20);
}

}  // namespace
}  // namespace talvane::testing
