// The hand-off of repaints and message boxes from the simulation thread to
// the user-interface thread, and the engine's waits through it. No display:
// the test thread plays the user-interface thread.
#include <gtest/gtest.h>

#include <FL/Fl.H>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "fltk_host.h"
#include "run_control.h"
#include "sim_state.h"

namespace talvane {
namespace {

using Clock = std::chrono::steady_clock;

struct Recorder {
    std::atomic<int> frames{0};
    std::atomic<int> alerts{0};
    std::atomic<int> arrows{0};
    std::atomic<bool> workerReturned{false};
    std::atomic<bool> drewAfterReturn{false};  // a frame was drawn for a request that had already returned
    std::string lastAlert;
};

FltkHost makeHost(Recorder& r) {
    return FltkHost(
        [&r] {
            if (r.workerReturned) r.drewAfterReturn = true;
            ++r.frames;
        },
        [&r](const char* text, const char*) {
            r.lastAlert = text;
            ++r.alerts;
        },
        [&r] { ++r.arrows; });
}

// Serves the host from this thread until done() or ten seconds pass.
template <typename Done>
bool serveUntil(FltkHost& host, Done done) {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (Clock::now() > deadline) return false;
        host.serviceWhileWaiting();
    }
    return true;
}

TEST(FltkHost, OnTheUserInterfaceThreadEverythingHappensAtOnce) {
    Recorder r;
    FltkHost host = makeHost(r);
    host.requestRepaint();
    host.showMessage("text", "caption");
    host.setArrowCursor();
    EXPECT_EQ(r.frames, 1);
    EXPECT_EQ(r.alerts, 1);
    EXPECT_EQ(r.arrows, 1);
}

TEST(FltkHost, ARepaintFromAnotherThreadReturnsOnlyOnceDrawn) {
    Recorder r;
    FltkHost host = makeHost(r);
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i) host.requestRepaint();
        r.workerReturned = true;
    });
    EXPECT_TRUE(serveUntil(host, [&] { return r.workerReturned.load(); }));
    worker.join();
    EXPECT_GE(r.frames, 50);  // each request waited for a frame of its own
    EXPECT_FALSE(r.drewAfterReturn);
}

// A frame that reports itself composed releases the waiting thread then,
// while the rest of the frame (its presenting) is still under way; a frame
// composed for no posted request releases nothing.
TEST(FltkHost, AComposedFrameReleasesTheRequestBeforeItIsPresented) {
    std::atomic<bool> workerReturned{false};
    std::atomic<int> frames{0};
    std::atomic<bool> returnedWhilePresenting{false};
    FltkHost* self = nullptr;
    FltkHost host(
        [&] {
            ++frames;
            self->frameComposed();
            // "Presenting": the waiting thread must get going meanwhile.
            const auto deadline = Clock::now() + std::chrono::seconds(10);
            while (!workerReturned && Clock::now() < deadline) std::this_thread::yield();
            returnedWhilePresenting = workerReturned.load();
        },
        [](const char*, const char*) {}, [] {});
    self = &host;
    host.frameComposed();  // nothing posted: no effect, no failure
    std::thread worker([&] {
        host.requestRepaint();
        workerReturned = true;
    });
    EXPECT_TRUE(serveUntil(host, [&] { return workerReturned.load(); }));
    worker.join();
    EXPECT_EQ(frames, 1);
    EXPECT_TRUE(returnedWhilePresenting);
}

TEST(FltkHost, AMessageFromAnotherThreadIsShownHereWhileItWaits) {
    Recorder r;
    FltkHost host = makeHost(r);
    std::atomic<int> alertsSeenOnReturn{-1};
    std::thread worker([&] {
        host.showMessage("Would you like to enable at least one \"self\" strategy?", "caption");
        host.setArrowCursor();
        alertsSeenOnReturn = r.alerts.load();
    });
    EXPECT_TRUE(serveUntil(host, [&] { return alertsSeenOnReturn >= 0 && r.arrows > 0; }));
    worker.join();
    EXPECT_EQ(alertsSeenOnReturn, 1);
    EXPECT_EQ(r.lastAlert, "Would you like to enable at least one \"self\" strategy?");
}

// The simulation thread runs at full speed, every generation waiting for its
// frame; the holds and the clean stop from this thread must never deadlock.
TEST(FltkHost, HoldAndStopWhileTheRunWaitsForFrames) {
    Recorder r;
    FltkHost host = makeHost(r);
    resetSimState();
    sim.host = &host;
    sim.paused = false;  // the first restart pauses; it is resumed below
    startSimulationThread();
    ASSERT_TRUE(serveUntil(host, [] { return !sim.restartPending; }));
    togglePause();
    for (int i = 0; i < 20; ++i) {
        const int before = sim.generation;
        ASSERT_TRUE(serveUntil(host, [&] { return sim.generation > before; }));
        holdSimulation();
        const int held = sim.generation;
        EXPECT_TRUE(sim.paused);
        host.serviceWhileWaiting();
        EXPECT_EQ(sim.generation, held);  // nothing runs while held
        releaseSimulation();
        togglePause();
    }
    stopSimulationThread();
    EXPECT_GT(r.frames, 20);
    sim.host = nullptr;
    resetSimState();
}

}  // namespace
}  // namespace talvane

int main(int argc, char** argv) {
    Fl::lock();  // as in the program: other threads may post to this one
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
