// The hand-off of repaints and message boxes from the simulation thread to
// the user-interface thread, and the engine's waits through it. No display:
// the test thread plays the user-interface thread.
#include <gtest/gtest.h>

#include <FL/Fl.H>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include <unistd.h>

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

// Input handlers defer their own repaints to the end of the loop's turn (a
// burst of keys then costs one frame), never those of other threads.
TEST(FltkHost, DeferredRepaintsAreTheUserInterfaceThreadsOnly) {
    Recorder r;
    std::atomic<int> scheduled{0};
    FltkHost host([&r] { ++r.frames; }, [](const char*, const char*) {}, [] {}, [&scheduled] { ++scheduled; });
    host.deferUiRepaints(true);
    for (int i = 0; i < 100; ++i) host.requestRepaint();
    EXPECT_EQ(r.frames, 0);
    EXPECT_EQ(scheduled, 100);
    std::thread worker([&] {
        host.requestRepaint();
        r.workerReturned = true;
    });
    EXPECT_TRUE(serveUntil(host, [&] { return r.workerReturned.load(); }));
    worker.join();
    EXPECT_EQ(r.frames, 1);  // the other thread's request was drawn before it returned
    host.deferUiRepaints(false);
    host.requestRepaint();
    EXPECT_EQ(r.frames, 2);
    EXPECT_EQ(scheduled, 100);
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

// The toolkit's own loop serves the requests and goes on with its other
// work between frames, even while the simulation thread asks for the next
// frame as soon as the last is composed: input that arrives (here a byte on a
// pipe the loop watches) is handled after at most the frame under way and
// one more.
TEST(FltkHost, TheToolkitLoopHandlesInputBetweenFramesAskedWithoutABreak) {
    Fl::lock();  // as the program does: lets other threads wake the loop
    int input[2];
    ASSERT_EQ(pipe(input), 0);
    struct Watch {
        int fd;
        std::atomic<int> framesAtInput{-1};
        std::atomic<int> framesAtHandling{-1};
        std::atomic<int> frames{0};
    } watch{input[0]};
    Fl::add_fd(
        input[0], FL_READ,
        [](int fd, void* data) {
            char byte = 0;
            if (read(fd, &byte, 1) == 1) {
                auto* w = static_cast<Watch*>(data);
                w->framesAtHandling = w->frames.load();
            }
        },
        &watch);
    std::atomic<bool> stop{false};
    FltkHost* self = nullptr;
    FltkHost host(
        [&] {
            const int frame = ++watch.frames;
            self->frameComposed();
            if (frame == 5) {
                watch.framesAtInput = frame;
                ASSERT_EQ(write(input[1], "k", 1), 1);
            }
            // Presenting takes a while; the next request comes meanwhile.
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        },
        [](const char*, const char*) {}, [] {});
    self = &host;
    // The worker gives up at the deadline too, so that a loop that never
    // comes back from serving it cannot hang the test.
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    std::thread worker([&] {
        while (!stop && Clock::now() < deadline) host.requestRepaint();
    });
    while (watch.framesAtHandling < 0 && Clock::now() < deadline) Fl::wait(0.1);
    stop = true;
    // The worker may be waiting for one more frame: serve until it is gone.
    std::atomic<bool> joined{false};
    std::thread joiner([&] {
        worker.join();
        joined = true;
    });
    EXPECT_TRUE(serveUntil(host, [&] { return joined.load(); }));
    joiner.join();
    Fl::remove_fd(input[0]);
    close(input[0]);
    close(input[1]);
    Fl::unlock();
    ASSERT_GE(watch.framesAtHandling, 0) << "the input was never handled";
    EXPECT_LE(watch.framesAtHandling - watch.framesAtInput, 1);
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

// A quit signal while the user-interface thread is inside a dialog's own
// loop (it serves nothing): once ending, another thread stops the run, whose
// frames and message boxes no longer wait for the user-interface thread.
TEST(FltkHost, OnceEndingAnotherThreadStopsARunTheUserInterfaceThreadDoesNotServe) {
    Recorder r;
    FltkHost host = makeHost(r);
    resetSimState();
    sim.host = &host;
    sim.paused = false;
    startSimulationThread();  // its restart and every generation ask this thread for frames
    std::atomic<bool> boxReturned{false};
    std::thread boxAsker([&] {
        host.showMessage("The population log could not be written.", "vemo.csv");
        boxReturned = true;
    });
    std::atomic<bool> stopped{false};
    std::thread guard([&] {
        host.setEnding();
        stopSimulationThread();
        stopped = true;
    });
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!(stopped && boxReturned) && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const bool ended = stopped && boxReturned;
    if (!ended) {  // let the threads go before failing, so that the test ends
        while (!(stopped && boxReturned)) host.serviceWhileWaiting();
    }
    guard.join();
    boxAsker.join();
    EXPECT_TRUE(ended) << "a run waiting for this thread kept the other one from stopping it";
    EXPECT_EQ(r.alerts, 0);  // the box went to standard error, not to a screen no one serves
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
