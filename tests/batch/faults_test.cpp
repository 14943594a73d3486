// Faults met in real use: write errors in the middle of a run (a file size
// limit, a full device), checkpoints resumed into another run's files,
// options a checkpoint or the infinite competition would silently overrule,
// frames mixed with other outputs or with older frames, too little memory.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <sstream>

#include "batch_process.h"
#include "checkpoint.h"

namespace talvane {
namespace {

using testing::Outcome;
using testing::Sandbox;

std::size_t lineCount(const std::string& text) {
    std::size_t count = 0;
    for (char c : text) count += c == '\n';
    return count;
}

// The generation a checkpoint file is at, -1 when it holds none.
long checkpointGeneration(const std::string& text) {
    const std::size_t at = text.find("\ngeneration ");
    return at == std::string::npos ? -1 : std::stol(text.substr(at + 12));
}

// Lowers a soft resource limit of this process (and so of the programs it
// starts) for the lifetime of the guard.
class ScopedLimit {
public:
    ScopedLimit(int resource, rlim_t soft) : resource_(resource) {
        getrlimit(resource_, &saved_);
        rlimit lowered = saved_;
        lowered.rlim_cur = soft;
        EXPECT_EQ(setrlimit(resource_, &lowered), 0);
    }
    ~ScopedLimit() { setrlimit(resource_, &saved_); }

private:
    int resource_;
    rlimit saved_{};
};

// Runs the program with a file size limit, SIGXFSZ ignored as a shell's
// `trap '' XFSZ; ulimit -f` leaves it: writes past the limit fail (EFBIG).
Outcome runWithFileLimit(const Sandbox& box, const std::vector<std::string>& args, rlim_t bytes) {
    int pid = 0;
    {
        const ScopedLimit limit(RLIMIT_FSIZE, bytes);
        pid = box.start(args, {SIGXFSZ});
    }
    return box.wait(pid);
}

void expectOneLineNaming(const Outcome& outcome, const std::string& name) {
    EXPECT_EQ(lineCount(outcome.err.substr(outcome.err.find('\n') + 1)), 1u) << outcome.err;
    EXPECT_NE(outcome.err.find(name + ": "), std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.err.find(".tv"), std::string::npos) << "a temporary name is shown: " << outcome.err;
}

// --- Write errors during a run ------------------------------------------------

TEST(WriteErrors, AFailedLogWriteEndsTheRunAndKeepsTheLastGoodCheckpoint) {
    Sandbox box;
    const std::vector<std::string> run{"--seed", "2", "--mutation", "0.01", "--generations", "400"};
    std::vector<std::string> whole = run;
    whole.insert(whole.end(), {"--log", "whole.csv"});
    ASSERT_EQ(box.run(whole).status, 0);
    ASSERT_GT(box.read("whole.csv").size(), 40000u) << "the limit below must fall inside the run";

    std::vector<std::string> limited = run;
    limited.insert(limited.end(), {"--log", "l.csv", "--checkpoint", "c.ckpt", "--checkpoint-every", "10"});
    const Outcome cut = runWithFileLimit(box, limited, 20 * 1024);
    EXPECT_EQ(cut.status, 1) << cut.err;
    expectOneLineNaming(cut, "l.csv");
    const long reached = checkpointGeneration(box.read("c.ckpt"));
    ASSERT_GT(reached, 0) << "a checkpoint was kept";
    EXPECT_LT(reached, 200) << "the run ended at the failure, not at its end";
    EXPECT_EQ(static_cast<long>(lineCount(box.read("l.csv"))), reached) << "the log ends where the checkpoint does";

    // With the limit lifted the run goes on from what it left, to the same end.
    const Outcome rest = box.run({"--resume", "c.ckpt", "--generations", std::to_string(400 - reached), "--log",
                                  "l.csv", "--checkpoint", "c.ckpt"});
    ASSERT_EQ(rest.status, 0) << rest.err;
    EXPECT_EQ(box.read("l.csv"), box.read("whole.csv"));
}

TEST(WriteErrors, AFailedTableWriteEndsTheRunAndKeepsTheTableOfTheLastCheckpoint) {
    Sandbox box;
    const Outcome cut = runWithFileLimit(box,
                                         {"--seed", "3", "--generations", "400", "--log", "/dev/null", "--stats",
                                          "s.csv", "--checkpoint", "c.ckpt", "--checkpoint-every", "10"},
                                         40 * 1024);
    EXPECT_EQ(cut.status, 1) << cut.err;
    expectOneLineNaming(cut, "s.csv");
    const long reached = checkpointGeneration(box.read("c.ckpt"));
    ASSERT_GT(reached, 0);
    EXPECT_LT(reached, 300);
    EXPECT_EQ(static_cast<long>(lineCount(box.read("s.csv"))), reached + 2) << "header and rows 0 .. " << reached;
    const Outcome rest = box.run({"--resume", "c.ckpt", "--generations", "5", "--log", "/dev/null", "--stats",
                                  "s.csv"});
    EXPECT_EQ(rest.status, 0) << rest.err;
}

TEST(WriteErrors, AFullDeviceAsTheLogEndsTheRunAtOnce) {
    Sandbox box;
    const Outcome full = box.run({"--seed", "1", "--generations", "2000", "--log", "/dev/full", "--stats", "s.csv",
                                  "--checkpoint", "c.ckpt", "--checkpoint-every", "10"});
    EXPECT_EQ(full.status, 1) << full.err;
    expectOneLineNaming(full, "/dev/full");
    // The table stops with the log: not 2,000 generations on.
    EXPECT_LT(lineCount(box.read("s.csv")), 200u);
    EXPECT_EQ(box.read("c.ckpt").find("\ngeneration 2000\n"), std::string::npos);
}

// --- What a checkpoint vouches for ------------------------------------------

TEST(CheckpointFiles, ALogOrTableOfAnotherRunIsRefusedThoughItsLengthIsRight) {
    Sandbox box;
    ASSERT_EQ(box.run({"--seed", "5", "--size", "32", "--generations", "50", "--log", "small.csv", "--stats",
                       "small-stats.csv", "--checkpoint", "c.ckpt"}).status, 0);
    ASSERT_EQ(box.run({"--seed", "5", "--generations", "50", "--log", "big.csv", "--stats", "big-stats.csv"}).status,
              0);
    ASSERT_EQ(lineCount(box.read("small.csv")), lineCount(box.read("big.csv")));
    // The table with its last row's generation edited from 50 to 49.
    std::string edited = box.read("small-stats.csv");
    const std::size_t lastRow = edited.rfind('\n', edited.size() - 2) + 1;
    ASSERT_EQ(edited.compare(lastRow, 3, "50,"), 0);
    edited.replace(lastRow, 2, "49");
    box.write("edited-stats.csv", edited);

    struct Case {
        const char* what;
        std::vector<std::string> files;
        std::string named;
    };
    const std::vector<Case> cases{
        {"another world's log", {"--log", "big.csv"}, "big.csv"},
        {"another world's table", {"--log", "small.csv", "--stats", "big-stats.csv"}, "big-stats.csv"},
        {"an edited table", {"--log", "small.csv", "--stats", "edited-stats.csv"}, "edited-stats.csv"},
    };
    for (const Case& c : cases) {
        const auto before = box.files();
        const std::string log = box.read(c.files[1]);
        std::vector<std::string> args{"--resume", "c.ckpt", "--generations", "10"};
        args.insert(args.end(), c.files.begin(), c.files.end());
        const Outcome outcome = box.run(args);
        EXPECT_EQ(outcome.status, 3) << c.what << ": " << outcome.err;
        EXPECT_EQ(lineCount(outcome.err), 1u) << c.what << ": " << outcome.err;
        EXPECT_NE(outcome.err.find(c.named), std::string::npos) << c.what << ": " << outcome.err;
        EXPECT_EQ(box.files(), before) << c.what;
        EXPECT_EQ(box.read(c.files[1]), log) << c.what;
    }
    const Outcome right = box.run({"--resume", "c.ckpt", "--generations", "10", "--log", "small.csv", "--stats",
                                   "small-stats.csv"});
    EXPECT_EQ(right.status, 0) << right.err;
}

// A version 1 checkpoint: the same lines without the log and stats marks.
std::string asVersion1(const std::string& text) {
    std::string body = text.substr(0, text.rfind("checksum "));
    body.replace(0, body.find('\n'), "talvane-checkpoint 1");
    for (const char* key : {"\nlog ", "\nstats "}) {
        const std::size_t at = body.find(key);
        body.erase(at + 1, body.find('\n', at + 1) - at);
    }
    char sum[20];
    std::snprintf(sum, sizeof sum, "%016llx",
                  static_cast<unsigned long long>(fnv1a(kFnvBasis, body.data(), body.size())));
    return body + "checksum " + sum + "\n";
}

TEST(CheckpointFiles, WindowsLineEndsAreReadAndAnotherVersionIsNamedPlainly) {
    Sandbox box;
    ASSERT_EQ(box.run({"--seed", "6", "--generations", "300", "--log", "whole.csv"}).status, 0);
    ASSERT_EQ(box.run({"--seed", "6", "--generations", "100", "--log", "part.csv", "--checkpoint", "c.ckpt"}).status,
              0);
    const std::string checkpoint = box.read("c.ckpt");
    ASSERT_EQ(checkpoint.rfind("talvane-checkpoint 2\n", 0), 0u);
    std::string crlf;
    for (char c : checkpoint) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    box.write("crlf.ckpt", crlf);
    std::string crlfOther = crlf;
    crlfOther.replace(0, 20, "talvane-checkpoint 7");
    box.write("crlf-other.ckpt", crlfOther);

    const Outcome fromCrlf = box.run({"--resume", "crlf.ckpt", "--generations", "200", "--log", "part.csv"});
    EXPECT_EQ(fromCrlf.status, 0) << fromCrlf.err;
    EXPECT_EQ(box.read("part.csv"), box.read("whole.csv"));
    const Outcome other = box.run({"--resume", "crlf-other.ckpt", "--generations", "5", "--log", "x.csv"});
    EXPECT_EQ(other.status, 3);
    EXPECT_NE(other.err.find("version 7;"), std::string::npos) << other.err;
    EXPECT_EQ(other.err.find('\r'), std::string::npos) << other.err;
}

TEST(CheckpointFiles, AVersion1CheckpointGoesOnExactly) {
    Sandbox box;
    ASSERT_EQ(box.run({"--seed", "6", "--generations", "300", "--log", "whole.csv"}).status, 0);
    ASSERT_EQ(box.run({"--seed", "6", "--generations", "100", "--log", "part.csv", "--checkpoint", "c.ckpt"}).status,
              0);
    box.write("v1.ckpt", asVersion1(box.read("c.ckpt")));
    const Outcome rest = box.run({"--resume", "v1.ckpt", "--generations", "200", "--log", "part.csv"});
    ASSERT_EQ(rest.status, 0) << rest.err;
    EXPECT_EQ(box.read("part.csv"), box.read("whole.csv"));
}

// --- Options that would be silently overruled --------------------------------

TEST(OverruledOptions, WorldOptionsBesideResumeAreRefusedEvenAtTheirDefaults) {
    Sandbox box;
    ASSERT_EQ(box.run({"--seed", "1", "--generations", "5", "--update", "fermi", "--payoffs", "1,0,1.5,0", "--log",
                       "v.csv", "--checkpoint", "c.ckpt"}).status, 0);
    const std::vector<std::vector<std::string>> defaults{
        {"--payoffs", "3,0,5,1"}, {"--update", "synchronous"}, {"--edges", "wrap"},
        {"--neighbourhood", "moore"}, {"--competition", "finite"}, {"--layout", "checkerboard"},
        {"--self-pool", "0,1,2,3,4,5,6,7"}, {"--other-pool", "0,1,2,3,4,5,6,7"}, {"--noise", "0.1"},
        {"--mutation", "0"}, {"--size", "64"}, {"--seed", "1"}, {"--play-self=false"}, {"--extra-point=false"},
    };
    for (const std::vector<std::string>& option : defaults) {
        std::vector<std::string> args{"--resume", "c.ckpt", "--generations", "5", "--log", "v.csv"};
        args.insert(args.end(), option.begin(), option.end());
        const std::string log = box.read("v.csv");
        const Outcome outcome = box.run(args);
        const std::string name = option[0].substr(0, option[0].find('='));
        EXPECT_EQ(outcome.status, 2) << name << ": " << outcome.err;
        EXPECT_EQ(lineCount(outcome.err), 1u) << outcome.err;
        EXPECT_NE(outcome.err.find(name + " cannot be given"), std::string::npos) << outcome.err;
        EXPECT_EQ(box.read("v.csv"), log) << name;
    }
}

TEST(OverruledOptions, PayoffsWithTheInfiniteCompetitionAreRefused) {
    for (const char* payoffs : {"1,0,1.03,0", "3,0,5,1"}) {
        Sandbox box;
        const Outcome outcome = box.run({"--competition", "infinite", "--payoffs", payoffs, "--generations", "3"});
        EXPECT_EQ(outcome.status, 2) << payoffs;
        EXPECT_EQ(lineCount(outcome.err), 1u) << outcome.err;
        EXPECT_NE(outcome.err.find("infinite competition's table does not depend on the payoffs"), std::string::npos)
            << outcome.err;
        EXPECT_TRUE(box.files().empty()) << payoffs;
    }
    Sandbox box;
    EXPECT_EQ(box.run({"--competition", "infinite", "--generations", "3"}).status, 0);
}

// --- Numbered outputs and frames ---------------------------------------------

TEST(OutputNames, ImageIsRefusedUnderRunsWhenItIsNoRegularFile) {
    Sandbox box;
    ASSERT_EQ(mkfifo(box.path("pipe.png").c_str(), 0600), 0);
    const Outcome outcome = box.run({"--runs", "2", "--image", "pipe.png", "--generations", "1"});
    EXPECT_EQ(outcome.status, 2) << outcome.err;
    EXPECT_NE(outcome.err.find("--image pipe.png"), std::string::npos) << outcome.err;
    EXPECT_EQ(box.files(), (std::set<std::string>{"pipe.png"}));
}

TEST(Frames, FrameNamesTakePartInTheClashCheck) {
    for (const std::vector<std::string>& other :
         {std::vector<std::string>{"--save", "f/gen-000002.png"}, {"--log", "./f/gen-000000.png"},
          {"--image", "f/gen-1234567.png"}, {"--stats", "f/../f/gen-000010.png"}}) {
        Sandbox box;
        std::vector<std::string> args{"--frames", "f", "--generations", "3"};
        args.insert(args.end(), other.begin(), other.end());
        const Outcome outcome = box.run(args);
        EXPECT_EQ(outcome.status, 2) << other[0] << ": " << outcome.err;
        EXPECT_EQ(lineCount(outcome.err), 1u) << outcome.err;
        EXPECT_NE(outcome.err.find(other[1]), std::string::npos) << outcome.err;
        EXPECT_FALSE(box.exists("f/" + other[1].substr(other[1].rfind('/') + 1))) << other[0];
    }
    Sandbox box;
    EXPECT_EQ(box.run({"--frames", "f", "--generations", "3", "--save", "f/world.csv"}).status, 0)
        << "other names in the folder are free";
}

TEST(Frames, AFolderWithFramesIsRefusedUnlessTheyAreToBeReplaced) {
    Sandbox box;
    ASSERT_EQ(box.run({"--seed", "1", "--generations", "30", "--log", "a.csv", "--frames", "f"}).status, 0);
    ASSERT_TRUE(box.exists("f/gen-000030.png"));
    box.write("f/notes.txt", "mine");
    const std::string frame10 = box.read("f/gen-000010.png");

    const Outcome refused = box.run({"--seed", "2", "--generations", "10", "--log", "b.csv", "--frames", "f"});
    EXPECT_EQ(refused.status, 2) << refused.err;
    EXPECT_EQ(lineCount(refused.err), 1u) << refused.err;
    EXPECT_NE(refused.err.find("--replace-frames"), std::string::npos) << refused.err;
    EXPECT_EQ(box.read("f/gen-000010.png"), frame10);
    EXPECT_FALSE(box.exists("b.csv"));

    const Outcome replaced =
        box.run({"--seed", "2", "--generations", "10", "--log", "b.csv", "--frames", "f", "--replace-frames"});
    ASSERT_EQ(replaced.status, 0) << replaced.err;
    EXPECT_TRUE(box.exists("f/gen-000010.png"));
    EXPECT_NE(box.read("f/gen-000010.png"), frame10) << "the frame is the new run's";
    for (int g = 11; g <= 30; ++g) {
        char name[32];
        std::snprintf(name, sizeof name, "f/gen-%06d.png", g);
        EXPECT_FALSE(box.exists(name)) << name << " of the first run is left";
    }
    EXPECT_EQ(box.read("f/notes.txt"), "mine") << "only frames are removed";
}

TEST(Frames, AResumedRunAddsItsFramesAfterThoseOfTheRunItContinues) {
    Sandbox box;
    ASSERT_EQ(box.run({"--seed", "1", "--generations", "10", "--log", "a.csv", "--frames", "f", "--checkpoint",
                       "c.ckpt"}).status, 0);
    const Outcome rest = box.run({"--resume", "c.ckpt", "--generations", "5", "--log", "a.csv", "--frames", "f"});
    EXPECT_EQ(rest.status, 0) << rest.err;
    EXPECT_TRUE(box.exists("f/gen-000000.png"));
    EXPECT_TRUE(box.exists("f/gen-000015.png"));
}

// --- Memory and the parser's refusals ---------------------------------------------

TEST(Limits, AWorldTooLargeForTheMemoryIsReportedNotAborted) {
    Sandbox box;
    Outcome big, small;
    {
        const ScopedLimit limit(RLIMIT_AS, 160ull << 20);
        big = box.run({"--size", "4096", "--generations", "2", "--log", "v.csv"});
        small = box.run({"--size", "64", "--generations", "2", "--log", "w.csv"});
    }
    EXPECT_EQ(big.status, 1) << big.err;
    EXPECT_EQ(lineCount(big.err), 2u) << "the seed and one line: " << big.err;
    EXPECT_NE(big.err.find("4096 x 4096 world: it needs about"), std::string::npos) << big.err;
    EXPECT_NE(big.err.find(" MiB"), std::string::npos) << big.err;
    EXPECT_FALSE(box.exists("v.csv"));
    EXPECT_EQ(small.status, 0) << "the limit leaves room for the program itself: " << small.err;
}

TEST(Limits, TheLargestSynchronousWorldFitsInAboutSixteenBytesACell) {
    // 4096 x 4096 cells at 16 bytes are 256 MiB; the rest of the limit is
    // the program, its libraries and a thread's stack.
    Sandbox box;
    Outcome run;
    {
        const ScopedLimit limit(RLIMIT_AS, 320ull << 20);
        run = box.run({"--size", "4096", "--generations", "2", "--seed", "3", "--log", "v.csv"});
    }
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(box.exists("v.csv"));
}

TEST(Limits, ParserRefusalsAreOneLineWithTheProgramsName) {
    Sandbox box;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--layout", "stripes"}, {"--view", "both"}, {"--no-such-option"},
          {"--competition"}, {"--until-settled=maybe"}}) {
        const Outcome outcome = box.run(args);
        EXPECT_EQ(outcome.status, 2) << args[0];
        EXPECT_EQ(lineCount(outcome.err), 1u) << outcome.err;
        EXPECT_EQ(outcome.err.rfind("talvane-batch: ", 0), 0u) << outcome.err;
        EXPECT_NE(outcome.err.find(args[0].substr(0, args[0].find('='))), std::string::npos) << outcome.err;
    }
}

}  // namespace
}  // namespace talvane
