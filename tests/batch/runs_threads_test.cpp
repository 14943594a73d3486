// --runs on threads of one process: each run's files are those of the single
// run with its seed whatever runs beside it, a failed run stops the series
// as it always has, and a signal ends every run at once, leaving no
// temporary file and no run with some of its outputs and not the others.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

#include "batch_process.h"

namespace talvane {
namespace {

using testing::Outcome;
using testing::Sandbox;

// An output without what the record of a numbered run says of its own
// command line (the options, the numbered file names) and the clock times.
std::string comparable(const std::string& text) {
    static const std::regex time("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ");
    static const std::regex ownLines("\n  \"(options|files)\": [^\n]*");
    return std::regex_replace(std::regex_replace(text, time, "T"), ownLines, "");
}

std::size_t countLines(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

// Processes whose parent is pid.
int childrenOf(int pid) {
    int children = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string self, comm, state, parent;
        if (stat >> self >> comm >> state >> parent) children += parent == std::to_string(pid);
    }
    return children;
}

int threadsOf(int pid) {
    int threads = 0;
    for ([[maybe_unused]] const auto& task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
        ++threads;
    }
    return threads;
}

const std::vector<std::string> kEndless{"--generations", "2000000000", "--seed", "3", "--log", "vemo.csv",
                                        "--save", "world.csv"};

TEST(BatchRunsOnThreads, EveryOutputOfEachRunIsThatOfTheSingleRunWithItsSeed) {
    // A random update rule and mutation draw from each world's generator at
    // every generation, and the synchronous step shares its generations
    // with helper threads: a generator, a buffer or a record shared between
    // the runs would show in the logs, the checkpoints and the records.
    const std::vector<std::vector<std::string>> rules{{"--size", "24", "--update", "fermi", "--mutation", "0.01"},
                                                      {"--size", "80", "--threads", "2", "--mutation", "0.002"}};
    const std::vector<std::string> outputs{"--log", "vemo.csv", "--save", "world.csv", "--stats", "stats.csv",
                                           "--meta", "run.json", "--checkpoint", "c.ckpt", "--image", "world.png"};
    for (const std::vector<std::string>& rule : rules) {
        SCOPED_TRACE(rule[3]);
        std::vector<std::string> common{"--generations", "60"};
        common.insert(common.end(), rule.begin(), rule.end());
        common.insert(common.end(), outputs.begin(), outputs.end());
        Sandbox many;
        std::vector<std::string> args = common;
        args.insert(args.end(), {"--runs", "6", "--jobs", "3", "--seed", "70"});
        const Outcome outcome = many.run(args);
        ASSERT_EQ(outcome.status, 0) << outcome.err;
        EXPECT_EQ(countLines(outcome.out), 7u) << outcome.out;
        for (int run = 1; run <= 6; ++run) {
            SCOPED_TRACE("run " + std::to_string(run));
            Sandbox single;
            std::vector<std::string> singleArgs = common;
            singleArgs.insert(singleArgs.end(), {"--seed", std::to_string(69 + run)});
            ASSERT_EQ(single.run(singleArgs).status, 0);
            for (std::size_t k = 1; k < outputs.size(); k += 2) {
                const std::string& name = outputs[k];
                const std::string numbered = name.substr(0, name.find('.')) + "-" + std::to_string(run) +
                                             name.substr(name.find('.'));
                const std::string mine = many.read(numbered);
                EXPECT_FALSE(mine.empty()) << numbered;
                EXPECT_EQ(comparable(mine), comparable(single.read(name))) << numbered;
            }
        }
    }
}

TEST(BatchRunsOnThreads, TheRunsAreThreadsOfOneProcess) {
    Sandbox box;
    std::vector<std::string> args = kEndless;
    args.insert(args.end(), {"--runs", "3", "--jobs", "3"});
    const int pid = box.start(args);
    ASSERT_TRUE(box.awaitTemporaryFiles(3)) << "the three runs never began writing";
    EXPECT_EQ(childrenOf(pid), 0) << "a run went to a process of its own";
    EXPECT_GE(threadsOf(pid), 4) << "three runs and the thread that waits for them";
    kill(pid, SIGTERM);
    EXPECT_EQ(box.wait(pid).status, 128 + SIGTERM);
}

TEST(BatchRunsOnThreads, AFailedRunStopsTheRunsAfterThoseStartedWithIt) {
    Sandbox box;
    ASSERT_EQ(mkdir(box.path("world-2.csv").c_str(), 0755), 0);
    // Runs long enough (half a second or so: mutation keeps the world from
    // settling) that run 2 has failed at its start before run 1 or 3 can
    // end and take run 4, even on a loaded machine.
    const Outcome outcome = box.run({"--runs", "6", "--jobs", "3", "--seed", "9", "--size", "256", "--mutation",
                                     "0.001", "--generations", "600", "--log", "vemo.csv", "--save", "world.csv"});
    EXPECT_EQ(outcome.status, 1) << outcome.err;
    EXPECT_TRUE(outcome.out.empty()) << "no summary after a failure: " << outcome.out;
    EXPECT_NE(outcome.err.find("world-2.csv: is a directory"), std::string::npos) << outcome.err;
    // Runs 1 to 3 start together; 1 and 3 finish, 4 to 6 never start.
    for (const char* name : {"vemo-1.csv", "world-1.csv", "vemo-3.csv", "world-3.csv"}) {
        EXPECT_TRUE(box.exists(name)) << name;
    }
    for (const char* name : {"vemo-2.csv", "vemo-4.csv", "world-4.csv", "vemo-6.csv"}) {
        EXPECT_FALSE(box.exists(name)) << name;
    }
    EXPECT_EQ(countLines(box.read("vemo-3.csv")), 600u);
}

TEST(BatchRunsOnThreads, EveryEndingSignalEndsEveryRunAndLeavesNoTemporaryFile) {
    for (int signo : {SIGTERM, SIGINT, SIGHUP, SIGPIPE, SIGUSR1, SIGQUIT}) {
        SCOPED_TRACE(strsignal(signo));
        Sandbox box;
        std::vector<std::string> args = kEndless;
        args.insert(args.end(), {"--runs", "3", "--jobs", "3", "--stats", "stats.csv"});
        const int pid = box.start(args);
        ASSERT_TRUE(box.awaitTemporaryFiles(6)) << "the three runs never began writing";
        kill(pid, signo);
        const Outcome outcome = box.wait(pid, std::chrono::seconds(30));
        EXPECT_EQ(outcome.status, 128 + signo) << outcome.err;
        EXPECT_TRUE(box.files().empty()) << "left behind: " << *box.files().begin();
    }
}

TEST(BatchRunsOnThreads, ASignalLeavesEveryRunWithAllItsOutputsOrNone) {
    // Short runs finish and rename their files all the time on four
    // threads, so the signal comes while some run is putting its outputs in
    // place: that run must finish doing so, or not have begun.
    for (int signo : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(signo));
        Sandbox box;
        const int runs = 3000;
        const int pid = box.start({"--runs", std::to_string(runs), "--jobs", "4", "--size", "8", "--generations",
                                   "20", "--log", "vemo.csv", "--save", "world.csv", "--stats", "stats.csv",
                                   "--meta", "run.json"});
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (box.files().size() < 200 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        kill(pid, signo);
        const Outcome outcome = box.wait(pid, std::chrono::seconds(30));
        ASSERT_EQ(outcome.status, 128 + signo) << "the runs ended before the signal: " << outcome.err;
        int finished = 0;
        for (const std::string& name : box.files()) {
            ASSERT_NE(name.front(), '.') << "left behind: " << name;
        }
        for (int run = 1; run <= runs; ++run) {
            const std::string n = std::to_string(run);
            const bool record = box.exists("run-" + n + ".json");
            finished += record;
            EXPECT_EQ(box.exists("vemo-" + n + ".csv"), record) << "run " << n;
            EXPECT_EQ(box.exists("world-" + n + ".csv"), record) << "run " << n;
            EXPECT_EQ(box.exists("stats-" + n + ".csv"), record) << "run " << n;
            if (record) {
                EXPECT_EQ(countLines(box.read("vemo-" + n + ".csv")), 20u) << "run " << n;
            }
        }
        EXPECT_GT(finished, 0);
    }
}

}  // namespace
}  // namespace talvane
