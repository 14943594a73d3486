// A host for engine tests: records what the engine asks of the platform,
// never sleeps for real unless told to, and can feed chosen random numbers.
#pragma once

#include <chrono>
#include <cstdint>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "host.h"
#include "sim_state.h"

namespace talvane::testing {

struct Message {
    std::string text;
    std::string caption;
};

class FakeHost : public Host {
public:
    // The generation counter at each repaint request, in order.
    std::vector<int> repaintGenerations;
    std::vector<Message> messages;
    std::vector<int> sleeps;          // requested milliseconds, in order
    std::vector<std::uint32_t> seeds; // every seedRandom, in order
    // A seed seedRandom takes in place of the one given, as the desktop's
    // --seed does at the first seeding; unset: the one given.
    std::optional<std::uint32_t> seedInstead;
    int arrowCursorCount = 0;
    std::int64_t clock = 1'700'000'000;
    // Numbers nextRandom hands out first; once used up the thread's own
    // generator takes over.
    std::deque<std::uint32_t> fedRandom;
    // Sleep requests really sleep this long (for tests that run the thread).
    int realSleepMs = 0;

    // Records are taken under a lock, since both threads may call in; tests
    // read them once the simulation thread has stopped.
    void requestRepaint() override {
        std::lock_guard lock(recordMutex);
        repaintGenerations.push_back(sim.generation.load());
    }
    void showMessage(const char* text, const char* caption) override {
        std::lock_guard lock(recordMutex);
        messages.push_back({text, caption});
    }
    void setArrowCursor() override {
        std::lock_guard lock(recordMutex);
        ++arrowCursorCount;
    }
    void sleepMs(int ms) override {
        {
            std::lock_guard lock(recordMutex);
            sleeps.push_back(ms);
        }
        if (realSleepMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(realSleepMs));
    }
    std::int64_t clockSeconds() override { return clock; }
    std::uint32_t seedRandom(std::uint32_t seed) override {
        {
            std::lock_guard lock(recordMutex);
            seeds.push_back(seed);
        }
        return Host::seedRandom(seedInstead.value_or(seed));
    }
    std::uint32_t nextRandom() override {
        if (fedRandom.empty()) return Host::nextRandom();
        const std::uint32_t value = fedRandom.front();
        fedRandom.pop_front();
        return value;
    }

    // Feeds count copies of value.
    void feed(std::uint32_t value, int count = 1) { fedRandom.insert(fedRandom.end(), count, value); }

    std::mutex recordMutex;
};

// A host whose repaint requests behave like the desktop's: a request from any
// thread but the user-interface thread blocks until that thread serves it
// (in serviceWhileWaiting, or in its own loop through serve()). Serving a
// frame reads the whole world, as drawing does.
class BlockingRepaintHost : public FakeHost {
public:
    explicit BlockingRepaintHost(std::thread::id uiThread) : uiThread_(uiThread) { realSleepMs = 1; }

    void requestRepaint() override {
        if (std::this_thread::get_id() == uiThread_) {
            // Drawn at once, as the desktop draws a frame of its own accord:
            // a step may be under way on the simulation thread.
            ++framesOnUiThread;
            drawWorld();
            return;
        }
        std::unique_lock lock(mutex_);
        const long ticket = ++requested_;
        changed_.notify_all();
        changed_.wait(lock, [&] { return served_ >= ticket; });
    }

    // Serves every pending request; waits up to a millisecond for one. This
    // is how the engine's own waits (the hold, the stop) serve repaints.
    void serviceWhileWaiting() override {
        if (serve(std::chrono::milliseconds(1))) ++framesServedWhileWaiting;
    }

    // Serves every pending request, waiting up to wait for one; true when a
    // frame was drawn.
    bool serve(std::chrono::milliseconds wait) {
        std::unique_lock lock(mutex_);
        if (served_ == requested_) changed_.wait_for(lock, wait, [&] { return served_ < requested_; });
        if (served_ == requested_) return false;
        drawWorld();
        served_ = requested_;
        ++framesServed;
        changed_.notify_all();
        return true;
    }

    // Waits, serving nothing, until another thread is blocked in a repaint
    // request; false if none comes within limit. While it stays blocked the
    // simulation thread is inside a step or a restart and cannot leave it.
    bool waitForBlockedRequest(std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return served_ < requested_; });
    }

    long framesServed = 0;              // touched on the user-interface thread only
    long framesServedWhileWaiting = 0;  // of those, the ones served by the engine's waits
    long framesOnUiThread = 0;
    long checksum = 0;

private:
    // Reads every cell, as a frame's grid does, under the same lock.
    void drawWorld() {
        GridLock lock;
        for (int i = 0; i < kCellCount; ++i) {
            checksum += sim.world.selfStrategy[i] + sim.world.otherStrategy[i] + sim.world.cellColor[i];
        }
        checksum += sim.generation.load();
    }

    std::thread::id uiThread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    long requested_ = 0;
    long served_ = 0;
};

}  // namespace talvane::testing
