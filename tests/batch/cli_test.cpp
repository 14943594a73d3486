// talvane-batch from the outside: worlds in and out, the rules of one
// generation, repeatability, several runs, and refusals that write nothing.
#include <algorithm>
#include <gtest/gtest.h>

#include <csignal>
#include <sstream>
#include <thread>

#include "batch_process.h"
#include "world_file.h"

namespace talvane {
namespace {

using testing::Outcome;
using testing::Sandbox;

constexpr int kAllD = 0;
constexpr int kAllC = 7;
constexpr int kGreen = 0;
constexpr int kRed = 2;

int cell(int row, int col) { return ((row + 64) % 64) * 64 + (col + 64) % 64; }

WorldFile uniformWorld(int color, int self, int other) {
    WorldFile world;
    std::ranges::fill(world.color, color);
    std::ranges::fill(world.self, self);
    std::ranges::fill(world.other, other);
    return world;
}

// The log line for a world holding `count` cells of one pair and the rest of another.
std::string logLine(int pair, int count, int restPair) {
    std::string line;
    for (int k = 0; k < 64; ++k) {
        line += (k > 0 ? "," : "") + std::to_string(k == pair ? count : k == restPair ? 4096 - count : 0);
    }
    return line + "\n";
}

std::string firstLines(const std::string& text, int count) {
    std::size_t end = 0;
    for (int i = 0; i < count; ++i) end = text.find('\n', end) + 1;
    return text.substr(0, end);
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// --- One generation from hand-made worlds -----------------------------------

struct HandMadeCase {
    const char* what;
    WorldFile start;
    std::vector<std::string> options;
    WorldFile expected;
    std::string expectedLog;
};

std::vector<HandMadeCase> handMadeCases() {
    std::vector<HandMadeCase> cases;

    // One defector in a sea of cooperators of one colour, on the wrap-around
    // corner: it outscores its eight neighbours (8 x 1000 against 7 x 600),
    // all of which take its pair; cells farther away see no better score.
    WorldFile corner = uniformWorld(kGreen, kAllC, kAllC);
    corner.self[cell(0, 0)] = corner.other[cell(0, 0)] = kAllD;
    WorldFile cornerAfter = corner;
    for (int dr = -1; dr <= 1; ++dr) {
        for (int dc = -1; dc <= 1; ++dc) cornerAfter.self[cell(dr, dc)] = cornerAfter.other[cell(dr, dc)] = kAllD;
    }
    cases.push_back({"defector on the corner", corner, {}, cornerAfter, logLine(0, 9, 63)});

    // With a temptation of 1 defecting earns 200 a game: the defector scores
    // 1600, less than every neighbour, and takes a cooperator's pair.
    cases.push_back({"defector that does not pay", corner, {"--payoffs", "3,0,1,1"},
                     uniformWorld(kGreen, kAllC, kAllC), logLine(63, 4096, 0)});
    // The infinite table is fixed (payoffs are refused beside it): the
    // defector wins as under the default payoffs.
    cases.push_back({"infinite competition", corner, {"--competition", "infinite"},
                     cornerAfter, logLine(0, 9, 63)});

    // With R = S = T = 1 every game is worth 200 and all cells tie, so
    // nobody moves; playing yourself adds 200P = 1000 to the defector and
    // only 200R to the others, and its neighbours follow it.
    cases.push_back({"a tie everywhere", corner, {"--payoffs", "1,1,1,5"}, corner, logLine(0, 1, 63)});
    cases.push_back({"playing yourself", corner, {"--payoffs", "1,1,1,5", "--play-self"}, cornerAfter,
                     logLine(0, 9, 63)});

    // A cell that would defect against the other colour, with none around:
    // it ties with everyone (8 x 600) until the extra point for same colour
    // lifts it to 4808.
    WorldFile lone = uniformWorld(kGreen, kAllC, kAllC);
    lone.other[cell(30, 30)] = kAllD;
    WorldFile loneAfter = lone;
    for (int dr = -1; dr <= 1; ++dr) {
        for (int dc = -1; dc <= 1; ++dc) loneAfter.other[cell(30 + dr, 30 + dc)] = kAllD;
    }
    cases.push_back({"no extra point", lone, {}, lone, logLine(56, 1, 63)});
    cases.push_back({"extra point", lone, {"--extra-point"}, loneAfter, logLine(56, 9, 63)});

    // A checkerboard of cooperators with one cell that defects against the
    // other colour only: its four same-colour (diagonal) games use self
    // strategies (4 x 600), its four other-colour games others strategies
    // (4 x 1000). 6400 beats every neighbour, so its block of nine takes
    // (AllC, AllD); colours never change.
    WorldFile board = uniformWorld(kGreen, kAllC, kAllC);
    for (int i = 0; i < kWorldCells; ++i) board.color[i] = ((i / 64 + i % 64) % 2 == 0) ? kGreen : kRed;
    board.other[cell(5, 60)] = kAllD;
    WorldFile boardAfter = board;
    for (int dr = -1; dr <= 1; ++dr) {
        for (int dc = -1; dc <= 1; ++dc) boardAfter.other[cell(5 + dr, 60 + dc)] = kAllD;
    }
    cases.push_back({"discriminating cell on a checkerboard", board, {}, boardAfter, logLine(56, 9, 63)});
    return cases;
}

TEST(BatchRules, OneGenerationFromHandMadeWorldsFollowsTheRules) {
    for (const HandMadeCase& c : handMadeCases()) {
        Sandbox box;
        box.write("start.csv", formatWorld(c.start));
        std::vector<std::string> args{"--load", "start.csv", "--generations", "1", "--seed", "9",
                                      "--save", "after.csv", "--log", "log.csv"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const Outcome outcome = box.run(args);
        ASSERT_EQ(outcome.status, 0) << c.what << ": " << outcome.err;
        EXPECT_EQ(box.read("after.csv"), formatWorld(c.expected)) << c.what;
        EXPECT_EQ(box.read("log.csv"), c.expectedLog) << c.what;
    }
}

TEST(BatchRules, ZeroGenerationsSavesTheLoadedWorldUnchanged) {
    Sandbox box;
    WorldFile world = uniformWorld(kRed, 3, 5);
    for (int i = 0; i < kWorldCells; ++i) world.self[i] = i % 8;
    box.write("start.csv", formatWorld(world));
    const Outcome outcome = box.run({"--load", "start.csv", "--generations", "0", "--save", "same.csv"});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(box.read("same.csv"), box.read("start.csv"));
    EXPECT_FALSE(box.exists("vemo.csv")) << "no generation, no log unless --log asks for one";
}

TEST(BatchRules, ZeroGenerationsLeaveAnExistingLogAloneUnlessLogIsGiven) {
    Sandbox box;
    box.write("vemo.csv", "an earlier run's log\n");
    const Outcome quiet = box.run({"--generations", "0", "--seed", "4", "--save", "world.csv"});
    ASSERT_EQ(quiet.status, 0) << quiet.err;
    EXPECT_EQ(box.read("vemo.csv"), "an earlier run's log\n");
    EXPECT_TRUE(box.exists("world.csv"));

    const Outcome asked = box.run({"--generations", "0", "--seed", "4", "--log", "vemo.csv"});
    ASSERT_EQ(asked.status, 0) << asked.err;
    EXPECT_TRUE(box.exists("vemo.csv"));
    EXPECT_EQ(box.read("vemo.csv"), "");  // asked for, and no generation to log
}

// --- Repeatability -----------------------------------------------------------

TEST(BatchRepeat, SameSeedGivesIdenticalOutputsAndOtherSeedsDiffer) {
    Sandbox box;
    const std::vector<std::string> common{"--generations", "40", "--layout", "random", "--extra-point"};
    auto runWith = [&](const std::string& seed, const std::string& tag) {
        std::vector<std::string> args = common;
        args.insert(args.end(), {"--seed", seed, "--log", "log-" + tag + ".csv", "--save", "world-" + tag + ".csv"});
        const Outcome outcome = box.run(args);
        EXPECT_EQ(outcome.status, 0) << outcome.err;
        EXPECT_NE(outcome.err.find("seed " + seed), std::string::npos) << outcome.err;
    };
    runWith("123", "a");
    runWith("123", "b");
    runWith("124", "c");
    EXPECT_EQ(lines(box.read("log-a.csv")).size(), 40u);
    EXPECT_EQ(box.read("log-a.csv"), box.read("log-b.csv"));
    EXPECT_EQ(box.read("world-a.csv"), box.read("world-b.csv"));
    EXPECT_NE(box.read("world-a.csv"), box.read("world-c.csv"));

    // The same run with its log on standard output.
    std::vector<std::string> args = common;
    args.insert(args.end(), {"--seed", "123", "--log", "-"});
    const Outcome toStdout = box.run(args);
    ASSERT_EQ(toStdout.status, 0) << toStdout.err;
    EXPECT_EQ(toStdout.out, box.read("log-a.csv"));
}

TEST(BatchRepeat, LoadedWorldsRunRepeatablyFromTheSeed) {
    // A loaded world is never seeded, so only the imitation draws depend on
    // the seed: ties must still break the same way from the same seed.
    Sandbox box;
    ASSERT_EQ(box.run({"--seed", "5", "--generations", "0", "--save", "start.csv"}).status, 0);
    for (const auto& [tag, seed] : {std::pair{"a", "77"}, {"b", "77"}, {"c", "78"}}) {
        const Outcome outcome = box.run({"--load", "start.csv", "--seed", seed, "--generations", "25",
                                         "--log", std::string("log-") + tag + ".csv"});
        ASSERT_EQ(outcome.status, 0) << outcome.err;
    }
    EXPECT_EQ(box.read("log-a.csv"), box.read("log-b.csv"));
    EXPECT_EQ(lines(box.read("log-a.csv")).size(), 25u);
    EXPECT_NE(box.read("log-a.csv"), box.read("log-c.csv")) << "the seed must reach the imitation draws";
}

// --- Several runs --------------------------------------------------------------

std::array<std::uint32_t, 64> tally(const std::string& worldText) {
    WorldFile world;
    WorldError error;
    EXPECT_TRUE(parseWorld(worldText, world, error)) << error.message;
    std::array<std::uint32_t, 64> counts{};
    for (int i = 0; i < kWorldCells; ++i) ++counts[world.self[i] * 8 + world.other[i]];
    return counts;
}

TEST(BatchRuns, EachRunEqualsTheSingleRunWithItsSeedAndTheSummaryTellsItsWorld) {
    const std::vector<std::string> common{"--generations", "30", "--layout", "segregated",
                                          "--log", "vemo.csv", "--save", "world.csv"};
    Sandbox many;
    std::vector<std::string> args = common;
    args.insert(args.end(), {"--runs", "3", "--jobs", "2", "--seed", "40"});
    const Outcome outcome = many.run(args);
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(many.files(), (std::set<std::string>{"vemo-1.csv", "vemo-2.csv", "vemo-3.csv", "vemo-1.json",
                                                   "vemo-2.json", "vemo-3.json", "world-1.csv", "world-2.csv",
                                                   "world-3.csv"}));

    const std::vector<std::string> table = lines(outcome.out);
    ASSERT_EQ(table.size(), 4u) << outcome.out;
    for (int run = 1; run <= 3; ++run) {
        Sandbox single;
        std::vector<std::string> singleArgs = common;
        singleArgs.insert(singleArgs.end(), {"--seed", std::to_string(39 + run)});
        ASSERT_EQ(single.run(singleArgs).status, 0);
        const std::string n = std::to_string(run);
        EXPECT_EQ(many.read("vemo-" + n + ".csv"), single.read("vemo.csv")) << "run " << run;
        EXPECT_EQ(many.read("world-" + n + ".csv"), single.read("world.csv")) << "run " << run;

        // run seed pair1 names1 cells1 pair2 names2 cells2 pair3 names3 cells3 share generation settled period
        std::istringstream row(table[run]);
        int shownRun = 0;
        std::uint32_t seed = 0, cells1 = 0;
        std::string pair1, names1;
        row >> shownRun >> seed >> pair1 >> names1 >> cells1;
        const auto counts = tally(single.read("world.csv"));
        const auto top = std::max_element(counts.begin(), counts.end());
        EXPECT_EQ(shownRun, run);
        EXPECT_EQ(seed, 39u + run);
        EXPECT_EQ(cells1, *top);
        EXPECT_EQ(counts[(pair1[0] - '0') * 8 + (pair1[2] - '0')], *top) << table[run];
        std::uint32_t discriminating = 0;
        for (int k = 0; k < 64; ++k) discriminating += (k / 8 != k % 8) ? counts[k] : 0;
        char share[16];
        std::snprintf(share, sizeof share, "%.4f", discriminating / 4096.0);
        std::vector<std::string> words;
        std::istringstream all(table[run]);
        for (std::string word; all >> word;) words.push_back(word);
        ASSERT_GE(words.size(), 4u);
        EXPECT_EQ(words[words.size() - 4], share) << table[run];
        EXPECT_EQ(words[words.size() - 3], "30") << "the generation reached: " << table[run];
    }
}

// --- Refusals ---------------------------------------------------------------------

TEST(BatchRefusals, EveryBadWorldFileExitsThreeAndWritesNothing) {
    const std::string good = formatWorld(uniformWorld(kGreen, 6, 6));
    struct Bad {
        const char* what;
        std::string text;        // contents of bad.csv, unless path is set
        std::string path;        // load this path instead
        std::string mentions;    // in the message after the file name
    };
    const std::vector<Bad> bads{
        {"wrong header", "row,column,color,self,other\n" + good.substr(good.find('\n') + 1), "", "bad.csv:1: "},
        {"lines missing", firstLines(good, 2050), "", "bad.csv:2050: the file ends here in row 32 after column 0"},
        {"extra line", good + "63,63,0,0,0\n", "", "bad.csv:4098: "},
        {"not an integer", good.substr(0, 25) + "x" + good.substr(26), "", "bad.csv:2: "},
        {"out of range", good + "", "", ""},  // replaced below
        {"out of order", "", "", "bad.csv:3: cell out of order"},
        {"empty file", "", "", "bad.csv: the file is empty"},
        {"directory", "", ".", ".: is a directory"},
        {"missing file", "", "nowhere.csv", "nowhere.csv: No such file"},
    };
    for (Bad bad : bads) {
        if (std::string(bad.what) == "out of range") {
            bad.text = good;
            bad.text.replace(bad.text.find("0,7,0,6,6"), 9, "0,7,0,8,6");
            bad.mentions = "bad.csv:9: self 8 is out of range";
        }
        if (std::string(bad.what) == "out of order") {
            bad.text = good;
            bad.text.replace(bad.text.find("0,1,0,6,6"), 9, "1,0,0,6,6");
        }
        Sandbox box;
        if (bad.path.empty()) box.write("bad.csv", bad.text);
        const std::string load = bad.path.empty() ? "bad.csv" : bad.path;
        const auto before = box.files();
        const Outcome outcome = box.run({"--load", load, "--save", "world.csv", "--log", "vemo.csv"});
        EXPECT_EQ(outcome.status, 3) << bad.what << ": " << outcome.err;
        EXPECT_EQ(lines(outcome.err).size(), 1u) << bad.what << ": " << outcome.err;
        EXPECT_NE(outcome.err.find(bad.mentions), std::string::npos) << bad.what << ": " << outcome.err;
        EXPECT_EQ(box.files(), before) << bad.what << ": something was written";
    }
}

TEST(BatchRefusals, UsageErrorsExitTwoAndWriteNothing) {
    struct Usage {
        std::vector<std::string> args;
        std::string mentions;
    };
    const std::vector<Usage> usages{
        {{"--self-pool", ""},
         "Can't create a random pool with nothing in it! Would you like to enable at least one \"self\" strategy?"},
        {{"--other-pool", ""}, "at least one \"others\" strategy?"},
        {{"--other-pool", "", "--self-pool", ""}, "\"self\" strategy?"},
        {{"--self-pool", "1,8"}, "--self-pool"},
        {{"--payoffs", "3,0,5"}, "--payoffs"},
        {{"--payoffs", "3,0,5,2147483648"}, "--payoffs"},
        {{"--layout", "stripes"}, "--layout"},
        {{"--generations", "-1"}, "--generations"},
        {{"--seed", "4294967295", "--runs", "2"}, "--seed"},
        {{"--runs", "2", "--log", "-"}, "--log"},
        {{"--log", "same.csv", "--save", "same.csv"}, "same file"},
        {{"--log", "./x.csv", "--save", "x.csv"}, "same file"},
        {{"--snapshot", "v.csv", "--log", "v.csv"}, "same file"},
        {{"--runs", "2", "--log", "a.csv", "--save", "a.csv"}, "same file"},
        {{"--load", ""}, "--load"},
        {{"--save", ""}, "--save"},
        {{"--seed", "0x10"}, "--seed"},
        {{"--seed", "-1"}, "--seed"},
        {{"--generations", "1e9"}, "not an integer"},
        {{"--runs", "0"}, "--runs"},
        {{"--jobs", "0b11"}, "--jobs"},
        {{"--no-such-option"}, "no-such-option"},
    };
    for (const Usage& usage : usages) {
        Sandbox box;
        const Outcome outcome = box.run(usage.args);
        EXPECT_EQ(outcome.status, 2) << usage.args[0] << ": " << outcome.err;
        EXPECT_NE(outcome.err.find(usage.mentions), std::string::npos) << outcome.err;
        EXPECT_TRUE(box.files().empty()) << usage.args[0] << ": something was written";
    }
}

TEST(BatchRefusals, OneFileNamedTwoWaysIsRefusedBeforeAnythingIsWritten) {
    Sandbox box;
    box.write("w.csv", formatWorld(uniformWorld(kGreen, kAllC, kAllC)));
    box.write("world-2.csv", formatWorld(uniformWorld(kRed, kAllD, kAllD)));
    box.write("out.csv", "out");
    ASSERT_EQ(symlink("out.csv", box.path("link.csv").c_str()), 0);
    const auto before = box.files();
    const std::string w = box.read("w.csv");
    const std::string second = box.read("world-2.csv");
    const std::vector<std::vector<std::string>> clashes{
        {"--load", "w.csv", "--log", "w.csv"},
        {"--load", "w.csv", "--save", box.path("w.csv")},
        {"--log", box.path("x.csv"), "--save", "x.csv"},
        {"--log", "out.csv", "--save", "link.csv"},
        {"--runs", "3", "--load", "world-2.csv", "--save", "world.csv"},
        {"--runs", "3", "--load", "./world-2.csv", "--log", "world.csv"},
    };
    for (const auto& args : clashes) {
        std::vector<std::string> all = args;
        all.insert(all.end(), {"--generations", "2", "--seed", "1"});
        const Outcome outcome = box.run(all);
        EXPECT_EQ(outcome.status, 2) << args[1] << " " << args[3] << ": " << outcome.err;
        EXPECT_EQ(lines(outcome.err).size(), 1u) << outcome.err;
        EXPECT_EQ(box.files(), before) << args[1] << " " << args[3] << ": something was written";
    }
    EXPECT_EQ(box.read("w.csv"), w);
    EXPECT_EQ(box.read("world-2.csv"), second);
    EXPECT_EQ(box.read("out.csv"), "out");
    // A number past the runs is not one of their files.
    EXPECT_EQ(box.run({"--runs", "1", "--load", "world-2.csv", "--save", "world.csv", "--generations", "1"}).status, 0);
}

TEST(BatchRefusals, NumbersAreDecimal) {
    Sandbox box;
    ASSERT_EQ(box.run({"--generations", "3", "--seed", "10", "--log", "ten.csv"}).status, 0);
    ASSERT_EQ(box.run({"--generations", "3", "--seed", "010", "--log", "zero-ten.csv"}).status, 0);
    ASSERT_EQ(box.run({"--generations", "3", "--seed", "8", "--log", "eight.csv"}).status, 0);
    const Outcome padded = box.run({"--generations", "3", "--seed", "008", "--log", "zero-eight.csv"});
    ASSERT_EQ(padded.status, 0) << padded.err;
    EXPECT_EQ(box.read("zero-ten.csv"), box.read("ten.csv"));
    EXPECT_EQ(box.read("zero-eight.csv"), box.read("eight.csv"));
    EXPECT_NE(box.read("ten.csv"), box.read("eight.csv"));
    ASSERT_EQ(box.run({"--generations", "010", "--seed", "1", "--log", "gens.csv"}).status, 0);
    EXPECT_EQ(lines(box.read("gens.csv")).size(), 10u);
}

TEST(BatchRefusals, OutputsThatCannotBeWrittenExitOneAndLeaveNothing) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--log", "missing-dir/vemo.csv"},
          std::vector<std::string>{"--save", "missing-dir/world.csv"},
          std::vector<std::string>{"--save", "."},
          std::vector<std::string>{"--runs", "3", "--jobs", "1", "--save", "missing-dir/world.csv"}}) {
        Sandbox box;
        std::vector<std::string> all = args;
        all.insert(all.end(), {"--generations", "2", "--seed", "1"});
        const Outcome outcome = box.run(all);
        EXPECT_EQ(outcome.status, 1) << args[1] << ": " << outcome.err;
        EXPECT_NE(outcome.err.find(args.back() == "." ? "." : "missing-dir/"), std::string::npos) << outcome.err;
        EXPECT_TRUE(box.files().empty()) << args[1] << ": something was written";
    }
}

TEST(BatchRefusals, ExtremePayoffsAreAccepted) {
    Sandbox box;
    const Outcome outcome = box.run({"--payoffs", "2147483647,-2147483648,0,-1", "--generations", "3",
                                     "--seed", "1"});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(lines(box.read("vemo.csv")).size(), 3u);
}

// --- Interrupted runs ---------------------------------------------------------------

// Starts an endless run and waits (bounded) until its log is being written
// under the temporary name.
int startEndlessRun(const Sandbox& box) {
    const int pid = box.start({"--generations", "2000000000", "--seed", "3", "--log", "vemo.csv",
                               "--save", "world.csv"});
    EXPECT_TRUE(box.awaitTemporaryFiles(1)) << "the run never began writing its log under a temporary name";
    return pid;
}

TEST(BatchInterrupt, AnInterruptedRunLeavesNoFileUnderItsFinalName) {
    {
        Sandbox box;
        const int pid = startEndlessRun(box);
        kill(pid, SIGTERM);
        const Outcome outcome = box.wait(pid);
        EXPECT_EQ(outcome.status, 128 + SIGTERM);
        EXPECT_TRUE(box.files().empty()) << "a terminated run cleans up its temporary files";
    }
    {
        Sandbox box;
        const int pid = startEndlessRun(box);
        kill(pid, SIGKILL);
        box.wait(pid);
        EXPECT_FALSE(box.exists("vemo.csv"));
        EXPECT_FALSE(box.exists("world.csv"));
    }
}

}  // namespace
}  // namespace talvane
