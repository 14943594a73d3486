// talvane-batch and signals: every signal that ends a run removes its
// temporary files, an inherited "ignore" (nohup) holds, and the runs of
// --runs end with their process. Each signal is sent only once the run is
// seen writing its temporary files, so nothing depends on timing luck.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>

#include <unistd.h>

#include "batch_process.h"

namespace talvane {
namespace {

using testing::Outcome;
using testing::Sandbox;

const std::vector<std::string> kEndless{"--generations", "2000000000", "--seed", "3", "--log", "vemo.csv",
                                        "--save", "world.csv"};

TEST(BatchSignals, EverySignalThatEndsTheRunRemovesItsTemporaryFiles) {
    for (int signo : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGXCPU, SIGXFSZ, SIGVTALRM,
                      SIGPROF, SIGPIPE, SIGRTMIN}) {
        SCOPED_TRACE(strsignal(signo));
        Sandbox box;
        const int pid = box.start(kEndless);
        ASSERT_TRUE(box.awaitTemporaryFiles(1)) << "the run never began writing its log";
        kill(pid, signo);
        const Outcome outcome = box.wait(pid, std::chrono::seconds(30));
        EXPECT_EQ(outcome.status, 128 + signo) << outcome.err;
        EXPECT_TRUE(box.files().empty()) << "left behind: " << *box.files().begin();
    }
}

TEST(BatchSignals, AnInheritedIgnoreHolds) {
    Sandbox box;
    // Long enough to be caught running, short enough to finish.
    const int pid = box.start({"--generations", "20000", "--seed", "3", "--log", "vemo.csv", "--save", "world.csv"},
                              {SIGHUP});
    ASSERT_TRUE(box.awaitTemporaryFiles(1));
    kill(pid, SIGHUP);
    const Outcome outcome = box.wait(pid);
    EXPECT_EQ(outcome.status, 0) << "a run under nohup ended on SIGHUP: " << outcome.err;
    EXPECT_TRUE(box.exists("vemo.csv"));
    EXPECT_TRUE(box.exists("world.csv"));
}

// Sizes of the files in the sandbox, by name.
std::map<std::string, std::uintmax_t> sizes(const Sandbox& box) {
    std::map<std::string, std::uintmax_t> out;
    for (const std::string& name : box.files()) {
        std::error_code ignored;
        out[name] = std::filesystem::file_size(box.path(name), ignored);
    }
    return out;
}

// The runs of --runs are threads of one process: a caught signal ends them
// all and they remove their temporary files; SIGKILL, which nothing can
// catch, takes them all with the process at once, as it takes a single run:
// then the temporary files stay, but nothing writes them any more, and no
// output appears under its final name.
TEST(BatchSignals, RunsEndWithTheirParent) {
    for (int signo : {SIGKILL, SIGTERM}) {
        SCOPED_TRACE(strsignal(signo));
        Sandbox box;
        std::vector<std::string> args = kEndless;
        args.insert(args.end(), {"--runs", "2", "--jobs", "2"});
        const int pid = box.start(args);
        ASSERT_TRUE(box.awaitTemporaryFiles(2)) << "the two runs never began writing";
        kill(pid, signo);
        box.wait(pid);
        if (signo == SIGKILL) {
            const auto before = sizes(box);
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            EXPECT_EQ(sizes(box), before) << "something went on writing after the process was killed";
            for (const auto& [name, size] : before) EXPECT_EQ(name.front(), '.') << "a final output appeared: " << name;
            continue;
        }
        // Runs left going would keep their temporary files (and write their
        // outputs at the end); ended runs remove them.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!box.files().empty() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_TRUE(box.files().empty()) << "a run outlived its parent: " << *box.files().begin();
    }
}

// The process whose parent is `parent` and whose command is `name`, or 0.
int childNamed(int parent, const std::string& name) {
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string pid, comm, state, ppid;
        if (!(stat >> pid >> comm >> state >> ppid)) continue;
        if (ppid == std::to_string(parent) && comm == "(" + name + ")") return std::stoi(pid);
    }
    return 0;
}

// A field of /proc/PID/status ("SigBlk", ...), "" when the process is gone.
std::string statusField(int pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field + ":", 0) == 0) return line.substr(field.size() + 1);
    }
    return "";
}

TEST(BatchSignals, TheMovieEncoderTakesSignalsAndEndsWithTheRun) {
    if (access("/usr/bin/ffmpeg", X_OK) != 0) GTEST_SKIP() << "ffmpeg is not installed";
    for (int signo : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(signo));
        Sandbox box;
        const int pid = box.start({"--size", "16", "--generations", "2000000000", "--movie", "m.mp4"});
        int encoder = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while ((encoder = childNamed(pid, "ffmpeg")) == 0 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_NE(encoder, 0) << "ffmpeg never started";
        // Blocked signals would leave it deaf to kill, and its own handlers unused.
        const std::string blocked = statusField(encoder, "SigBlk");
        EXPECT_EQ(blocked.find_first_not_of("\t 0"), std::string::npos) << "ffmpeg's blocked signals:" << blocked;
        kill(pid, signo);
        box.wait(pid);
        const auto gone = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        auto alive = [&] {
            const std::string state = statusField(encoder, "State");
            return !state.empty() && state.find('Z') == std::string::npos;
        };
        while (alive() && std::chrono::steady_clock::now() < gone) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_FALSE(alive()) << "ffmpeg outlived the run by five seconds";
        if (alive()) kill(encoder, SIGKILL);
    }
}

}  // namespace
}  // namespace talvane
