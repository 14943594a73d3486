// A fresh world for each engine test: start values, the fake host, built
// neighbour tables, the default finite payoff table and a private log file.
#pragma once

#include <algorithm>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "fake_host.h"
#include "payoffs.h"
#include "population_log.h"
#include "run_control.h"
#include "sim_state.h"

namespace talvane::testing {

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetSimState();
        sim.host = &host;
        buildNeighbourTables();
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
    }

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
        stopSimulationThread();
        EngineTest::TearDown();
    }
    void pump() { blocking.serve(std::chrono::milliseconds(1)); }
};

}  // namespace talvane::testing
