// The population log as the desktop program keeps it: a write that fails
// (a full disk, here a file size limit) leaves the complete lines written so
// far, tells the user once, and stops the log.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fake_window_system.h"
#include "population_log.h"
#include "sim_state.h"

namespace talvane {
namespace {

using testing::FakeWindowSystem;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The lines of text; false when the text does not end with a line end or a
// line does not hold 64 counts.
bool wholeLines(const std::string& text, std::vector<std::string>& lines) {
    if (text.empty() || text.back() != '\n') return false;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        int commas = 0;
        for (char c : line) commas += c == ',';
        if (commas != 63) return false;
        lines.push_back(line);
    }
    return true;
}

class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::installFake(ui);
        char pattern[] = "/tmp/talvane-log-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        path = folder + "/vemo.csv";
        setLogPath(path.c_str());
    }
    void TearDown() override {
        closeLog();
        setLogPath(nullptr);
        std::remove(path.c_str());
        rmdir(folder.c_str());
        setWindowSystem(nullptr);
        resetSimState();
    }

    // Writes lines under a file size limit of limitBytes, as a full disk would
    // stop them. Returns how many writes reported success.
    int writeUnderLimit(rlim_t limitBytes, int lines) {
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);  // the write fails instead
        rlimit small{limitBytes, old.rlim_max};
        setrlimit(RLIMIT_FSIZE, &small);
        int written = 0;
        for (int k = 0; k < lines; ++k) {
            sim.world.selfStrategy[0] = k % 8;  // lines of two lengths, so the limit falls inside one
            written += writeLogLine() == 0;
        }
        closeLog();
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        return written;
    }

    FakeWindowSystem ui;
    std::string folder;
    std::string path;
};

TEST_F(LogTest, AFailedWriteKeepsCompleteLinesTellsOnceAndStops) {
    testing::fillWorld(6, 6, 0);
    const int written = writeUnderLimit(10000, 300);
    const std::string text = readFile(path);
    std::vector<std::string> lines;
    EXPECT_TRUE(wholeLines(text, lines)) << "the log ends with " << text.substr(text.size() > 40 ? text.size() - 40 : 0);
    EXPECT_LE(text.size(), 10000u);
    EXPECT_GT(lines.size(), 40u);  // the lines before the failure are kept
    EXPECT_LT(written, 300);
    ASSERT_EQ(ui.fakeHost.messages.size(), 1u);
    EXPECT_NE(ui.fakeHost.messages[0].find("could not be written"), std::string::npos);

    // Logging stays off: a restart's reopening writes nothing over the lines kept.
    EXPECT_EQ(writeLogLine(), 1);
    closeLog();
    EXPECT_EQ(readFile(path), text);
    EXPECT_EQ(ui.fakeHost.messages.size(), 1u);

    // A new log path turns it back on.
    setLogPath(path.c_str());
    EXPECT_EQ(writeLogLine(), 0);
    closeLog();
    EXPECT_EQ(readFile(path).size(), lines.front().size() + 1);
}

// The folder went away after the start (the program checked it then): the
// log cannot be opened, which the user is told once, not at every generation.
TEST_F(LogTest, ALogThatCannotBeOpenedTellsOnceAndStops) {
    testing::fillWorld(6, 0, 0);
    const std::string gone = folder + "/gone";
    ASSERT_EQ(mkdir(gone.c_str(), 0700), 0);
    const std::string inGone = gone + "/vemo.csv";
    setLogPath(inGone.c_str());
    ASSERT_EQ(rmdir(gone.c_str()), 0);
    EXPECT_EQ(writeLogLine(), 1);
    ASSERT_EQ(ui.fakeHost.messages.size(), 1u);
    EXPECT_NE(ui.fakeHost.messages[0].find("could not be opened"), std::string::npos);
    EXPECT_NE(ui.fakeHost.messages[0].find("No such file or directory"), std::string::npos);
    for (int k = 0; k < 20; ++k) EXPECT_EQ(writeLogLine(), 1);
    closeLog();
    EXPECT_EQ(ui.fakeHost.messages.size(), 1u);
    setLogPath(path.c_str());
}

TEST_F(LogTest, FlushLogPutsEveryLineOnDisk) {
    testing::fillWorld(6, 0, 0);
    for (int k = 0; k < 50; ++k) ASSERT_EQ(writeLogLine(), 0);
    flushLog();
    std::vector<std::string> lines;
    EXPECT_TRUE(wholeLines(readFile(path), lines));
    EXPECT_EQ(lines.size(), 50u);
    EXPECT_TRUE(ui.fakeHost.messages.empty());
}

}  // namespace
}  // namespace talvane
