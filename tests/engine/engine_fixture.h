// A fresh world for each engine test: start values, the fake host, built
// neighbour tables, the default finite payoff table and a private log file,
// all under a watchdog that ends a test which hangs.
#pragma once

#include <algorithm>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "fake_host.h"
#include "payoffs.h"
#include "population_log.h"
#include "run_control.h"
#include "sim_state.h"

namespace talvane::testing {

// Ends the whole test program with a message naming the test and what it
// waited for when the test is still running at its deadline. A deadlocked
// thread cannot be joined or cancelled, so failing fast means leaving the
// process; the message is the failure report.
class Watchdog {
public:
    explicit Watchdog(std::chrono::milliseconds limit) : limit_(limit), thread_([this] { watch(); }) {}
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        finished_.notify_all();
        thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    // Names what the test waits for from now on, for the message.
    void waitingFor(std::string what) {
        std::lock_guard lock(mutex_);
        what_ = std::move(what);
    }

private:
    void watch() {
        std::unique_lock lock(mutex_);
        if (finished_.wait_for(lock, limit_, [this] { return done_; })) return;
        std::fprintf(stderr, "\n[  FAILED  ] %s: still running after %lld ms, waiting for %s; ending the test program\n",
                     testName_.c_str(), static_cast<long long>(limit_.count()), what_.c_str());
        std::fflush(stderr);
        std::_Exit(EXIT_FAILURE);
    }

    static std::string currentTestName() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        return info ? std::string(info->test_suite_name()) + "." + info->name() : "a test";
    }

    const std::chrono::milliseconds limit_;
    const std::string testName_ = currentTestName();
    std::string what_ = "the test body";
    bool done_ = false;
    std::mutex mutex_;
    std::condition_variable finished_;
    std::thread thread_;  // last: starts once everything it reads is built
};

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        setDeadline(kDefaultDeadline);
        resetSimState();
        sim.host = &host;
        computeFinitePayoffTable();
        sim.restartPending = false;  // as after the first restart
        char pattern[] = "/tmp/talvane-engine-XXXXXX";
        dir = mkdtemp(pattern);
        logPath = dir + "/vemo.csv";
        setLogPath(logPath.c_str());
    }

    void TearDown() override {
        closeLog();
        setLogPath(kDefaultLogPath);
        std::filesystem::remove_all(dir);
        resetSimState();
        watchdog.reset();
    }

    // Restarts the test's watchdog with a new limit, counted from now. No
    // engine test needs more than a few seconds, even under a sanitizer.
    void setDeadline(std::chrono::milliseconds limit) {
        watchdog.reset();
        watchdog.emplace(limit);
    }
    static constexpr std::chrono::milliseconds kDefaultDeadline{30'000};

    // Every cell gets the same strategies and colour.
    static void fillWorld(StrategyCode self, StrategyCode other, int color) {
        std::ranges::fill(sim.world.selfStrategy, self);
        std::ranges::fill(sim.world.otherStrategy, other);
        std::ranges::fill(sim.world.cellColor, color);
    }

    static int at(int row, int col) { return row * kGridSize + col; }

    std::vector<std::string> logLines() const {
        std::ifstream in(logPath);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    std::optional<Watchdog> watchdog;
    FakeHost host;
    std::string dir;
    std::string logPath;
};

// A world whose repaint requests block until this test's thread serves them,
// as the desktop's do; the simulation thread is stopped after each test.
class BlockingRepaintTest : public EngineTest {
protected:
    BlockingRepaintHost blocking{std::this_thread::get_id()};
    void SetUp() override {
        EngineTest::SetUp();
        sim.restartPending = true;
        sim.host = &blocking;
    }
    void TearDown() override {
        watchdog->waitingFor("the simulation thread to stop at the end of the test");
        stopSimulationThread();
        EngineTest::TearDown();
    }
    void pump() { blocking.serve(std::chrono::milliseconds(1)); }
};

}  // namespace talvane::testing
