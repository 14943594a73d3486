// The population log: its line format, truncation at restart, and opening
// failures.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <numeric>
#include <random>

#include "engine_fixture.h"
#include "generation.h"
#include "population_log.h"
#include "run_control.h"

namespace talvane::testing {
namespace {

using PopulationLogTest = EngineTest;

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<long> fields(const std::string& line) {
    std::vector<long> out;
    std::stringstream in(line);
    for (std::string field; std::getline(in, field, ',');) out.push_back(std::stol(field));
    return out;
}

TEST_F(PopulationLogTest, AllTitForTatLine) {
    fillWorld(6, 6, 0);
    EXPECT_EQ(writeLogLine(), 0);
    closeLog();
    const auto lines = logLines();
    ASSERT_EQ(lines.size(), 1u);
    std::string expected;
    for (int k = 0; k < 64; ++k) expected += (k > 0 ? "," : "") + std::string(k == 54 ? "4096" : "0");
    EXPECT_EQ(lines[0], expected);
}

TEST_F(PopulationLogTest, EveryLineHas64FieldsSummingToTheCellCount) {
    std::mt19937 rng(3);
    for (int i = 0; i < kCellCount; ++i) {
        sim.world.selfStrategy[i] = static_cast<StrategyCode>(rng() % 8);
        sim.world.otherStrategy[i] = static_cast<StrategyCode>(rng() % 8);
        sim.world.cellColor[i] = static_cast<int>(rng() % 2) * 2;
    }
    sim.world.selfStrategy[0] = 3;
    sim.world.otherStrategy[0] = 5;
    int count35 = 0;
    for (int i = 0; i < kCellCount; ++i) count35 += sim.world.selfStrategy[i] == 3 && sim.world.otherStrategy[i] == 5;
    ASSERT_EQ(writeLogLine(), 0);
    EXPECT_EQ(sim.pairCounts[3 * 8 + 5], static_cast<std::uint32_t>(count35));
    for (int g = 0; g < 10; ++g) stepGeneration();
    closeLog();
    const auto lines = logLines();
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(fields(lines[0])[29], count35);
    for (const auto& line : lines) {
        EXPECT_EQ(std::count(line.begin(), line.end(), ','), 63) << line;
        EXPECT_EQ(line.find(' '), std::string::npos);
        const auto f = fields(line);
        ASSERT_EQ(f.size(), 64u);
        EXPECT_EQ(std::accumulate(f.begin(), f.end(), 0L), 4096);
    }
}

TEST_F(PopulationLogTest, RestartTruncatesAtTheFirstGenerationAfterIt) {
    fillWorld(6, 6, 0);
    sim.randomPoolMode = false;  // keep the world: the restart must not reseed
    for (int g = 0; g < 5; ++g) stepGeneration();
    restartSimulation();
    EXPECT_EQ(sim.logFile, nullptr);
    EXPECT_EQ(logLines().size(), 5u) << "the old lines stay until the next generation";
    for (int g = 0; g < 3; ++g) stepGeneration();
    closeLog();
    EXPECT_EQ(logLines().size(), 3u);
}

TEST_F(PopulationLogTest, RewindCutsBackAndWritingGoesOnAfterTheKeptLines) {
    fillWorld(6, 6, 0);
    for (int g = 0; g < 5; ++g) writeLogLine();
    const unsigned starts = logStarts();
    rewindLog(2);
    fillWorld(0, 0, 0);
    writeLogLine();
    closeLog();
    auto lines = logLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(fields(lines[1])[6 * 8 + 6], 4096);
    EXPECT_EQ(fields(lines[2])[0], 4096);
    EXPECT_EQ(logStarts(), starts) << "a rewind is no fresh start";

    // A closed log (as after a restart, before its first generation) is
    // reopened after its kept lines; asking for more lines than it holds
    // keeps them all.
    rewindLog(10);
    writeLogLine();
    closeLog();
    EXPECT_EQ(logLines().size(), 4u);
    rewindLog(0);
    closeLog();
    EXPECT_TRUE(logLines().empty());
    EXPECT_EQ(logStarts(), starts);
}

TEST_F(PopulationLogTest, EveryFreshStartIsCounted) {
    const unsigned starts = logStarts();
    writeLogLine();
    writeLogLine();
    EXPECT_EQ(logStarts(), starts + 1);
    closeLog();
    writeLogLine();
    EXPECT_EQ(logStarts(), starts + 2);
}

TEST_F(PopulationLogTest, UnopenableFileIsToldOnceAndNotRetried) {
    const std::string sub = dir + "/later";
    const std::string path = sub + "/vemo.csv";
    setLogPath(path.c_str());
    fillWorld(6, 6, 0);
    for (int g = 0; g < 3; ++g) stepGeneration();
    EXPECT_EQ(writeLogLine(), 1);
    EXPECT_EQ(host.messages.size(), 1u) << "the failure is told once, not every generation";
    EXPECT_EQ(sim.generation, 3);

    // Logging stays off until the log is set again, as after a full disk.
    std::filesystem::create_directory(sub);
    for (int g = 0; g < 2; ++g) stepGeneration();
    closeLog();
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(host.messages.size(), 1u);
}

TEST_F(PopulationLogTest, DefaultFileIsVemoCsvInTheWorkingDirectory) {
    setLogPath(kDefaultLogPath);
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    fillWorld(0, 7, 0);
    EXPECT_EQ(writeLogLine(), 0);
    closeLog();
    std::filesystem::current_path(before);
    std::ifstream in(dir + "/vemo.csv");
    std::string line;
    ASSERT_TRUE(std::getline(in, line));
    EXPECT_EQ(fields(line)[7], 4096);
}

TEST_F(PopulationLogTest, StandardOutputIsFlushedNotClosed) {
    // Standard output goes to a file of ours for the test, so that what
    // reached the descriptor can be read before anything else flushes.
    const std::string captured = dir + "/stdout.txt";
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    ASSERT_NE(saved, -1);
    const int file = open(captured.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_NE(file, -1);
    ASSERT_NE(dup2(file, STDOUT_FILENO), -1);
    close(file);

    setLogPath("-");
    fillWorld(1, 2, 0);
    const int written = writeLogLine();
    closeLog();
    const bool descriptorOpen = fcntl(STDOUT_FILENO, F_GETFD) != -1;
    const std::string afterClose = readFile(captured);
    const bool streamUsable = std::fputs("still open\n", stdout) != EOF && std::fflush(stdout) == 0;

    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    EXPECT_EQ(written, 0);
    EXPECT_EQ(sim.logFile, nullptr);
    EXPECT_TRUE(descriptorOpen) << "closing the log closed standard output";
    EXPECT_TRUE(streamUsable) << "closing the log closed the stdout stream";
    ASSERT_FALSE(afterClose.empty()) << "closing the log did not flush standard output";
    EXPECT_EQ(fields(afterClose)[10], 4096);
    EXPECT_EQ(readFile(captured), afterClose + "still open\n");
}

}  // namespace
}  // namespace talvane::testing
