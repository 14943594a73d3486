// Experiments from the outside: start conditions drawn from the seed, the
// statistics table against worlds counted independently, the run's record,
// exact checkpoints and resumption, stopping when settled, and refusals of
// bad values that write nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <map>
#include <sstream>
#include <thread>

#include <sys/wait.h>

#include "batch_process.h"
#include "world_file.h"

namespace talvane {
namespace {

using testing::Outcome;
using testing::Sandbox;

constexpr int kAllD = 0, kTFT = 6, kAllC = 7;
constexpr int kGreen = 0, kRed = 2;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = line.find(',', start);
        out.push_back(line.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) return out;
        start = comma + 1;
    }
}

// The statistics table as rows of column name to text.
std::vector<std::map<std::string, std::string>> readTable(const std::string& text) {
    const std::vector<std::string> all = lines(text);
    std::vector<std::map<std::string, std::string>> rows;
    if (all.empty()) return rows;
    const std::vector<std::string> header = fields(all[0]);
    for (std::size_t i = 1; i < all.size(); ++i) {
        const std::vector<std::string> values = fields(all[i]);
        EXPECT_EQ(values.size(), header.size()) << "row " << i;
        std::map<std::string, std::string> row;
        for (std::size_t k = 0; k < header.size() && k < values.size(); ++k) row[header[k]] = values[k];
        rows.push_back(row);
    }
    return rows;
}

WorldFile readWorld(const Sandbox& box, const std::string& name) {
    WorldFile world;
    WorldError error;
    EXPECT_TRUE(parseWorld(box.read(name), world, error)) << name << ": " << error.message;
    return world;
}

WorldFile uniformWorld(int color, int self, int other) {
    WorldFile world;
    std::ranges::fill(world.color, color);
    std::ranges::fill(world.self, self);
    std::ranges::fill(world.other, other);
    return world;
}

// --- Start conditions -------------------------------------------------------

TEST(StartConditions, MixWeightsAreRespectedAndTheSeedVariesTheStart) {
    Sandbox box;
    const std::vector<std::string> common{"--size", "200", "--generations", "0", "--mix", "AllC/allc:0.7,0/0:0.2,TFT/0:0.1"};
    auto run = [&](const std::string& seed, const std::string& save) {
        std::vector<std::string> args = common;
        args.insert(args.end(), {"--seed", seed, "--save", save});
        const Outcome outcome = box.run(args);
        EXPECT_EQ(outcome.status, 0) << outcome.err;
    };
    run("11", "a.csv");
    run("11", "again.csv");
    run("12", "b.csv");
    EXPECT_EQ(box.read("a.csv"), box.read("again.csv"));
    EXPECT_NE(box.read("a.csv"), box.read("b.csv"));
    const WorldFile world = readWorld(box, "a.csv");
    ASSERT_EQ(world.rows, 200);
    std::map<int, int> pairs;
    int green = 0;
    for (std::size_t i = 0; i < world.self.size(); ++i) {
        ++pairs[world.self[i] * 8 + world.other[i]];
        green += world.color[i] == kGreen ? 1 : 0;
    }
    EXPECT_EQ(pairs.size(), 3u);
    const double n = 40000.0;
    for (const auto& [pair, weight] : std::vector<std::pair<int, double>>{{63, 0.7}, {0, 0.2}, {48, 0.1}}) {
        // Within five standard deviations of the binomial count.
        const double sd = std::sqrt(n * weight * (1.0 - weight));
        EXPECT_NEAR(pairs[pair], n * weight, 5 * sd) << "pair " << pair;
    }
    EXPECT_EQ(green, 20000);  // the default checkerboard colours
}

TEST(StartConditions, CenterIsRowsOverTwoColsOverTwoOnOddAndEvenSizes) {
    for (const auto& [size, row, col] : std::vector<std::tuple<std::string, int, int>>{
             {"5x7", 2, 3}, {"64", 32, 32}, {"6x9", 3, 4}, {"3", 1, 1}}) {
        Sandbox box;
        const Outcome outcome = box.run({"--size", size, "--generations", "0", "--mix", "7/7:1", "--center",
                                         "alld/TFT", "--place", "0,1,6/6", "--place", "0,2,STFT/C-then-AllD",
                                         "--save", "w.csv"});
        ASSERT_EQ(outcome.status, 0) << outcome.err;
        const WorldFile world = readWorld(box, "w.csv");
        for (int r = 0; r < world.rows; ++r) {
            for (int c = 0; c < world.cols; ++c) {
                const int i = r * world.cols + c;
                int expected = 63;
                if (r == row && c == col) expected = kAllD * 8 + kTFT;
                if (r == 0 && c == 1) expected = 54;
                if (r == 0 && c == 2) expected = 2 * 8 + 4;
                EXPECT_EQ(world.self[i] * 8 + world.other[i], expected) << size << " at " << r << "," << c;
            }
        }
    }
}

TEST(StartConditions, CenterAfterPoolSeedingAndLoadingChangesOnlyThatCell) {
    Sandbox box;
    ASSERT_EQ(box.run({"--seed", "3", "--generations", "0", "--save", "pool.csv"}).status, 0);
    ASSERT_EQ(box.run({"--seed", "3", "--generations", "0", "--save", "centred.csv", "--center", "AllD/AllD"}).status, 0);
    box.write("start.csv", formatWorld(uniformWorld(kRed, kAllC, kAllC)));
    ASSERT_EQ(box.run({"--load", "start.csv", "--generations", "0", "--save", "loaded.csv", "--center", "0/0"}).status, 0);
    WorldFile pool = readWorld(box, "pool.csv");
    pool.self[32 * 64 + 32] = pool.other[32 * 64 + 32] = kAllD;
    EXPECT_EQ(box.read("centred.csv"), formatWorld(pool));
    WorldFile loaded = uniformWorld(kRed, kAllC, kAllC);
    loaded.self[32 * 64 + 32] = loaded.other[32 * 64 + 32] = kAllD;
    EXPECT_EQ(box.read("loaded.csv"), formatWorld(loaded));
}

TEST(StartConditions, PoolsTakeStrategyNames) {
    Sandbox box;
    ASSERT_EQ(box.run({"--seed", "5", "--generations", "0", "--save", "codes.csv", "--self-pool", "0,6",
                       "--other-pool", "7"}).status, 0);
    ASSERT_EQ(box.run({"--seed", "5", "--generations", "0", "--save", "names.csv", "--self-pool", "alld,TFT",
                       "--other-pool", "AllC"}).status, 0);
    EXPECT_EQ(box.read("codes.csv"), box.read("names.csv"));
}

// --- The statistics table ------------------------------------------------------

TEST(StatisticsTable, RowsAgreeWithCountsOfTheSavedWorlds) {
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"--seed", "21"},
          std::vector<std::string>{"--seed", "22", "--layout", "random", "--size", "30x40", "--edges", "fixed"}}) {
        Sandbox box;
        for (const char* generations : {"0", "7"}) {
            std::vector<std::string> args = options;
            const std::string g = generations;
            args.insert(args.end(), {"--generations", g, "--stats", "s" + g + ".csv", "--save", "w" + g + ".csv",
                                     "--log", "v" + g + ".csv"});
            ASSERT_EQ(box.run(args).status, 0);
        }
        const auto table = readTable(box.read("s7.csv"));
        ASSERT_EQ(table.size(), 8u);
        EXPECT_EQ(readTable(box.read("s0.csv")).at(0), table.at(0)) << "generation 0 is the seeded world";
        for (const auto& [generation, world] : {std::pair{0, readWorld(box, "w0.csv")}, std::pair{7, readWorld(box, "w7.csv")}}) {
            const auto& row = table.at(static_cast<std::size_t>(generation));
            EXPECT_EQ(row.at("generation"), std::to_string(generation));
            std::map<std::string, long> counts;
            for (std::size_t i = 0; i < world.self.size(); ++i) {
                const std::string colour = world.color[i] == kGreen ? "green" : "red";
                for (const std::string& prefix : {std::string("all"), colour}) {
                    ++counts[prefix + "_cells"];
                    ++counts[prefix + "_self_" + std::to_string(world.self[i])];
                    ++counts[prefix + "_other_" + std::to_string(world.other[i])];
                    counts[prefix + "_disc"] += world.self[i] != world.other[i] ? 1 : 0;
                }
            }
            for (const std::string prefix : {"all", "green", "red"}) {
                EXPECT_EQ(std::stol(row.at(prefix + "_cells")), counts[prefix + "_cells"]) << prefix;
                for (int k = 0; k < 8; ++k) {
                    const std::string s = prefix + "_self_" + std::to_string(k);
                    const std::string o = prefix + "_other_" + std::to_string(k);
                    EXPECT_EQ(std::stol(row.at(s)), counts[s]) << s << " generation " << generation;
                    EXPECT_EQ(std::stol(row.at(o)), counts[o]) << o << " generation " << generation;
                }
                const double share = static_cast<double>(counts[prefix + "_disc"]) / counts[prefix + "_cells"];
                EXPECT_NEAR(std::stod(row.at(prefix + "_discriminating")), share, 5e-7) << prefix;
            }
        }
        // The log is unchanged by the table: one line per generation, no header.
        EXPECT_EQ(lines(box.read("v7.csv")).size(), 7u);
    }
}

TEST(StatisticsTable, CooperationRatesOfHandMadeWorlds) {
    Sandbox box;
    box.write("allc.csv", formatWorld(uniformWorld(kGreen, kAllC, kAllC)));
    ASSERT_EQ(box.run({"--load", "allc.csv", "--generations", "2", "--stats", "allc-stats.csv"}).status, 0);
    // Greens play TFT with everyone; reds play TFT among themselves, AllD with greens; a checkerboard.
    WorldFile board = uniformWorld(kGreen, kTFT, kTFT);
    for (int r = 0; r < 64; ++r) {
        for (int c = 0; c < 64; ++c) {
            if ((r + c) % 2 == 1) {
                board.color[r * 64 + c] = kRed;
                board.other[r * 64 + c] = kAllD;
            }
        }
    }
    box.write("board.csv", formatWorld(board));
    ASSERT_EQ(box.run({"--load", "board.csv", "--generations", "0", "--log", "x.csv", "--stats", "finite.csv"}).status, 0);
    ASSERT_EQ(box.run({"--load", "board.csv", "--generations", "0", "--log", "y.csv", "--stats", "infinite.csv",
                       "--competition", "infinite"}).status, 0);

    const auto allc = readTable(box.read("allc-stats.csv"));
    ASSERT_EQ(allc.size(), 3u);
    for (const auto& row : allc) {
        EXPECT_EQ(row.at("all_coop_same"), "1.000000");
        EXPECT_EQ(row.at("all_coop_other"), "") << "no games against other colours";
        EXPECT_EQ(row.at("green_mean_score"), "4800.000000");  // 8 matches of 200 rounds at 3
        EXPECT_EQ(row.count("red_cells"), 0u) << "only colours present have columns";
    }
    const auto finite = readTable(box.read("finite.csv")).at(0);
    EXPECT_EQ(finite.at("green_coop_other"), "0.005000");  // TFT against AllD: 1 of 200
    EXPECT_EQ(finite.at("red_coop_other"), "0.000000");
    EXPECT_EQ(finite.at("green_coop_same"), "1.000000");
    EXPECT_EQ(finite.at("red_coop_same"), "1.000000");
    EXPECT_EQ(finite.at("all_coop_other"), "0.002500");
    EXPECT_EQ(finite.at("red_discriminating"), "1.000000");
    const auto infinite = readTable(box.read("infinite.csv")).at(0);
    EXPECT_EQ(infinite.at("green_coop_other"), "0.000000");  // the first round weighs nothing in the long run
}

TEST(StatisticsTable, GoesToStandardOutput) {
    Sandbox box;
    const Outcome outcome = box.run({"--seed", "2", "--generations", "3", "--stats", "-"});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(lines(outcome.out).size(), 5u);
    EXPECT_EQ(outcome.out.rfind("generation,all_cells,", 0), 0u);
}

// --- The run's record ------------------------------------------------------------

TEST(RunRecord, DescribesTheRunBesideTheLogAndUnderRuns) {
    Sandbox box;
    ASSERT_EQ(box.run({"--seed", "77", "--generations", "12", "--size", "10x12", "--neighbourhood", "von-neumann",
                       "--log", "out.csv"}).status, 0);
    const std::string json = box.read("out.json");
    for (const char* expected :
         {"\"seed\": 77,", "\"rows\": 10, \"cols\": 12, \"edges\": \"wrap\", \"neighbourhood\": \"von-neumann\"",
          "\"generation_reached\": 12,", "\"stop_reason\": \"generations\"", "\"--payoffs\": \"3,0,5,1\"",
          "\"--extra-point\": \"false\"", "\"version\": \"", "\"start_time\": \"20", "\"end_time\": \"20"}) {
        EXPECT_NE(json.find(expected), std::string::npos) << expected << "\n" << json;
    }
    const Outcome many = box.run({"--seed", "5", "--runs", "2", "--generations", "300", "--until-settled", "--log",
                                  "m.csv", "--meta", "record.json"});
    ASSERT_EQ(many.status, 0) << many.err;
    EXPECT_TRUE(box.exists("record-1.json") && box.exists("record-2.json"));
    EXPECT_FALSE(box.exists("m-1.json"));
    const std::vector<std::string> table = lines(many.out);
    ASSERT_EQ(table.size(), 3u);
    EXPECT_NE(table[0].find("settled"), std::string::npos);
    // Each row names its commonest pair by codes and by names, and tells how the run ended.
    std::istringstream row(table[1]);
    std::string run, seed, codes, names;
    row >> run >> seed >> codes >> names;
    const std::map<char, std::string> named{{'0', "AllD"}, {'2', "STFT"}, {'4', "C-then-AllD"}, {'6', "TFT"}, {'7', "AllC"}};
    const auto name = [&](char code) { return named.count(code) ? named.at(code) : std::string(1, code); };
    EXPECT_EQ(names, name(codes[0]) + "/" + name(codes[2])) << table[1];
    const std::string record = box.read("record-1.json");
    const std::size_t at = record.find("\"settled_generation\": ");
    ASSERT_NE(at, std::string::npos);
    const std::string settled = record.substr(at + 22, record.find(',', at) - at - 22);
    EXPECT_NE(table[1].find(" " + settled + " "), std::string::npos) << table[1] << " / " << settled;
}

// --- Stopping when settled ------------------------------------------------------------

TEST(UntilSettled, AFrozenWorldStopsAtOnceAndABlinkerAfterItsPeriodOfTwo) {
    Sandbox box;
    box.write("frozen.csv", formatWorld(uniformWorld(kGreen, kAllC, kAllC)));
    Outcome outcome = box.run({"--load", "frozen.csv", "--generations", "500", "--until-settled", "--log", "f.csv",
                               "--stats", "f-stats.csv"});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(lines(box.read("f.csv")).size(), 1u);
    EXPECT_EQ(lines(box.read("f-stats.csv")).size(), 3u) << "header, generations 0 and 1";
    EXPECT_NE(box.read("f.json").find("\"stop_reason\": \"settled\""), std::string::npos);
    EXPECT_NE(box.read("f.json").find("\"period\": 1\n"), std::string::npos);

    // This seeded 6 x 6 world alternates between two states from generation 5 on.
    const std::vector<std::string> blinker{"--size", "6", "--seed", "4"};
    auto runTo = [&](const std::string& generations, const std::string& save, std::vector<std::string> more = {}) {
        std::vector<std::string> args = blinker;
        args.insert(args.end(), {"--generations", generations, "--save", save, "--log", save + ".log"});
        args.insert(args.end(), more.begin(), more.end());
        return box.run(args);
    };
    outcome = runTo("1000", "settled.csv", {"--until-settled"});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_NE(outcome.err.find("settled at generation 7 (period 2)"), std::string::npos) << outcome.err;
    EXPECT_EQ(lines(box.read("settled.csv.log")).size(), 7u);
    for (const char* g : {"4", "5", "6", "7", "40", "41"}) ASSERT_EQ(runTo(g, std::string("g") + g).status, 0);
    EXPECT_EQ(box.read("g5"), box.read("g7"));
    EXPECT_NE(box.read("g5"), box.read("g6"));
    EXPECT_NE(box.read("g4"), box.read("g6")) << "generation 6 is the first repetition after 4";
    EXPECT_EQ(box.read("g7"), box.read("settled.csv"));
    EXPECT_EQ(box.read("g41"), box.read("g7")) << "it keeps blinking";
    EXPECT_EQ(box.read("g40"), box.read("g6"));

    // Without the option the run goes on, and --generations bounds it with it.
    outcome = runTo("5", "bounded.csv", {"--until-settled"});
    ASSERT_EQ(outcome.status, 0);
    EXPECT_NE(outcome.err.find("not settled by generation 5"), std::string::npos) << outcome.err;
}

TEST(UntilSettled, ARandomRuleStopsOnlyWhereNoDrawCanChangeTheWorld) {
    // Cooperators in this Fermi world keep dying and reappearing until the
    // last dies out near generation 1480; states repeat long before that.
    Sandbox box;
    const std::vector<std::string> fermi{"--size", "100", "--neighbourhood", "von-neumann", "--mix",
                                         "7/7:0.5,0/0:0.5", "--payoffs", "1,0,1.04,0", "--update", "fermi",
                                         "--noise", "20", "--generations", "2000", "--seed", "1", "--until-settled",
                                         "--save", "end.csv", "--meta", "end.json"};
    const Outcome outcome = box.run(fermi);
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_NE(outcome.err.find("(absorbing"), std::string::npos) << outcome.err;
    WorldFile end;
    WorldError error;
    ASSERT_TRUE(readWorldFile(box.path("end.csv"), end, error)) << error.message;
    for (std::size_t i = 1; i < end.self.size(); ++i) {
        ASSERT_TRUE(end.self[i] == end.self[0] && end.other[i] == end.other[0]) << "cell " << i << " differs";
    }
    const std::string record = box.read("end.json");
    EXPECT_NE(record.find("\"settled_by\": \"absorbing\""), std::string::npos) << record;
    EXPECT_NE(record.find("\"period\": null"), std::string::npos) << record;

    // With mutation nothing is ever an end, not even a world of one pair.
    box.write("still.csv", formatWorld(uniformWorld(kGreen, kAllC, kAllC)));
    const std::vector<std::string> mutating{"--load", "still.csv", "--update", "fermi", "--mutation", "0.0001",
                                            "--seed", "3", "--generations", "60", "--until-settled", "--save", "m.csv"};
    const Outcome never = box.run(mutating);
    ASSERT_EQ(never.status, 0) << never.err;
    EXPECT_NE(never.err.find("not settled by generation 60"), std::string::npos) << never.err;
}

// --- Checkpoints -----------------------------------------------------------------

struct Split {
    std::vector<std::string> options;
    int whole;
    int first;
};

TEST(Checkpoints, ARunResumedFromItsCheckpointEqualsTheUninterruptedRun) {
    const std::vector<Split> splits{
        {{"--seed", "1"}, 2000, 1000},
        {{"--seed", "8", "--layout", "random", "--extra-point", "--play-self"}, 400, 123},
        {{"--seed", "9", "--competition", "infinite", "--size", "17x23", "--edges", "fixed", "--neighbourhood",
          "von-neumann"}, 300, 1},
        {{"--seed", "10", "--mix", "TFT/AllD:0.5,AllC/AllD:0.5", "--center", "0/0", "--threads", "2", "--size", "80"},
         200, 77},
        {{"--seed", "11", "--update", "asynchronous", "--payoffs", "3.1,0.2,5.3,1.05"}, 300, 137},
        {{"--seed", "12", "--update", "fermi", "--noise", "0.5", "--mutation", "0.01", "--size", "30"}, 300, 150},
    };
    for (const Split& split : splits) {
        Sandbox box;
        std::vector<std::string> whole = split.options;
        whole.insert(whole.end(), {"--generations", std::to_string(split.whole), "--log", "whole.csv", "--stats",
                                   "whole-stats.csv", "--save", "whole-world.csv"});
        ASSERT_EQ(box.run(whole).status, 0);
        std::vector<std::string> first = split.options;
        first.insert(first.end(), {"--generations", std::to_string(split.first), "--log", "part.csv", "--stats",
                                   "part-stats.csv", "--checkpoint", "cp.txt"});
        ASSERT_EQ(box.run(first).status, 0);
        const Outcome rest = box.run({"--resume", "cp.txt", "--generations", std::to_string(split.whole - split.first),
                                      "--log", "part.csv", "--stats", "part-stats.csv", "--save", "part-world.csv",
                                      "--checkpoint", "cp.txt"});
        ASSERT_EQ(rest.status, 0) << rest.err;
        const std::string what = split.options[1];
        EXPECT_EQ(box.read("whole.csv"), box.read("part.csv")) << "seed " << what;
        EXPECT_EQ(box.read("whole-stats.csv"), box.read("part-stats.csv")) << "seed " << what;
        EXPECT_EQ(box.read("whole-world.csv"), box.read("part-world.csv")) << "seed " << what;
        EXPECT_NE(box.read("cp.txt").find("\ngeneration " + std::to_string(split.whole) + "\n"), std::string::npos);
        EXPECT_NE(box.read("part.json").find("\"first_generation\": " + std::to_string(split.first)), std::string::npos);
    }
}

TEST(Checkpoints, ARunKilledAfterAPeriodicCheckpointGoesOnFromTheFilesItLeft) {
    Sandbox box;
    const std::vector<std::string> options{"--seed", "31", "--size", "48", "--layout", "random", "--generations", "5000"};
    std::vector<std::string> whole = options;
    whole.insert(whole.end(), {"--log", "whole.csv", "--stats", "whole-stats.csv", "--save", "whole-world.csv"});
    ASSERT_EQ(box.run(whole).status, 0);
    std::vector<std::string> cut = options;
    cut.insert(cut.end(), {"--log", "part.csv", "--stats", "part-stats.csv", "--checkpoint", "cp.txt",
                           "--checkpoint-every", "50"});
    const int pid = box.start(cut);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!box.exists("cp.txt") && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    kill(pid, SIGKILL);
    box.wait(pid);
    ASSERT_TRUE(box.exists("cp.txt"));
    const std::string checkpoint = box.read("cp.txt");
    const std::size_t at = checkpoint.find("\ngeneration ") + 12;
    const int reached = std::stoi(checkpoint.substr(at, checkpoint.find('\n', at) - at));
    ASSERT_EQ(reached % 50, 0);
    EXPECT_EQ(static_cast<int>(lines(box.read("part.csv")).size()), reached) << "the log ends where the checkpoint does";
    const Outcome rest = box.run({"--resume", "cp.txt", "--generations", std::to_string(5000 - reached), "--log",
                                  "part.csv", "--stats", "part-stats.csv", "--save", "part-world.csv"});
    ASSERT_EQ(rest.status, 0) << rest.err;
    EXPECT_EQ(box.read("whole.csv"), box.read("part.csv"));
    EXPECT_EQ(box.read("whole-stats.csv"), box.read("part-stats.csv"));
    EXPECT_EQ(box.read("whole-world.csv"), box.read("part-world.csv"));
}

TEST(Checkpoints, DamagedForeignOrMismatchedInputIsRefusedWithOneLine) {
    Sandbox box;
    ASSERT_EQ(box.run({"--seed", "4", "--generations", "10", "--checkpoint", "cp.txt", "--log", "v.csv",
                       "--stats", "s.csv"}).status, 0);
    const std::string good = box.read("cp.txt");
    std::string flipped = good;
    flipped[flipped.find("\ngrid\n") + 8] = flipped[flipped.find("\ngrid\n") + 8] == '1' ? '2' : '1';
    std::string otherVersion = good;
    otherVersion.replace(0, 20, "talvane-checkpoint 9");
    struct Bad {
        const char* what;
        std::string text;
        int status;
        std::string mentions;
    };
    const std::vector<Bad> bads{
        {"cut short", good.substr(0, good.size() / 2), 3, "damaged"},
        {"one cell changed", flipped, 3, "checksum does not match"},
        {"a world file", formatWorld(uniformWorld(kGreen, 0, 0)), 3, "not a talvane checkpoint"},
        {"empty", "", 3, "not a talvane checkpoint"},
        {"another version", otherVersion, 3, "version 9"},
    };
    for (const Bad& bad : bads) {
        box.write("bad.txt", bad.text);
        const auto before = box.files();
        const std::string log = box.read("v.csv");
        const Outcome outcome = box.run({"--resume", "bad.txt", "--generations", "5", "--log", "v.csv"});
        EXPECT_EQ(outcome.status, bad.status) << bad.what << ": " << outcome.err;
        EXPECT_EQ(lines(outcome.err).size(), 1u) << bad.what << ": " << outcome.err;
        EXPECT_NE(outcome.err.find(bad.mentions), std::string::npos) << bad.what << ": " << outcome.err;
        EXPECT_EQ(box.files(), before) << bad.what;
        EXPECT_EQ(box.read("v.csv"), log) << bad.what;
    }
    // A log or table that goes past the checkpoint (or falls short of it) is not appended to.
    box.write("long.csv", box.read("v.csv") + box.read("v.csv").substr(0, box.read("v.csv").find('\n') + 1));
    box.write("short-stats.csv", box.read("s.csv").substr(0, box.read("s.csv").rfind('\n', box.read("s.csv").size() - 2) + 1));
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--resume", "cp.txt", "--log", "long.csv"},
          std::vector<std::string>{"--resume", "cp.txt", "--log", "v.csv", "--stats", "short-stats.csv"},
          std::vector<std::string>{"--resume", "cp.txt", "--log", "missing.csv"}}) {
        const auto before = box.files();
        const Outcome outcome = box.run(args);
        EXPECT_EQ(outcome.status, 3) << args[3] << ": " << outcome.err;
        EXPECT_EQ(lines(outcome.err).size(), 1u) << outcome.err;
        EXPECT_EQ(box.files(), before) << args[3];
    }
}

// --- Refusals ------------------------------------------------------------------------

TEST(ExperimentRefusals, BadValuesOfTheNewOptionsExitTwoWithOneLineAndWriteNothing) {
    const std::vector<std::vector<std::string>> usages{
        {"--mix", ""},
        {"--mix", "7/7"},
        {"--mix", "7/7:0.9,0/8:0.1"},
        {"--mix", "7/7:-1"},
        {"--mix", "7/7:1e3"},
        {"--mix", "7/7:0,0/0:0"},
        {"--mix", "7/7:0.5,AllC/AllC:0.5"},
        {"--mix", "TFT:1"},
        {"--mix", "7/7:1", "--load", "w.csv"},
        {"--center", "Tit/Tat"},
        {"--center", "6"},
        {"--place", "64,0,0/0"},
        {"--place", "0,0"},
        {"--place", "0,x,0/0"},
        {"--place", "2,9,0/0", "--size", "9x5"},
        {"--place", "70,0,0/0", "--load", "w.csv"},
        {"--self-pool", "TFT,Pavlov"},
        {"--stats", ""},
        {"--stats", "same.csv", "--log", "same.csv"},
        {"--stats", "-", "--runs", "2"},
        {"--stats", "-", "--log", "-"},
        {"--meta", ""},
        {"--meta", "vemo.csv"},
        {"--log", "vemo.json", "--save", "vemo.csv"},
        {"--checkpoint", ""},
        {"--checkpoint-every", "10"},
        {"--checkpoint-every", "-5", "--checkpoint", "c"},
        {"--checkpoint-every", "ten", "--checkpoint", "c"},
        {"--resume", ""},
        {"--resume", "w.csv", "--payoffs", "1,0,5,1"},
        {"--resume", "w.csv", "--seed", "3"},
        {"--resume", "w.csv", "--runs", "2"},
        {"--resume", "w.csv", "--update", "fermi"},
        {"--resume", "w.csv", "--log", "w.csv"},
        {"--until-settled=maybe"},
    };
    for (const std::vector<std::string>& args : usages) {
        Sandbox box;
        box.write("w.csv", formatWorld(uniformWorld(kGreen, 0, 0)));
        const Outcome outcome = box.run(args);
        std::string shown;
        for (const std::string& arg : args) shown += arg + " ";
        EXPECT_EQ(outcome.status, 2) << shown << ": " << outcome.err;
        EXPECT_EQ(lines(outcome.err).size(), 1u) << shown << ": " << outcome.err;
        EXPECT_EQ(outcome.err.rfind("talvane-batch: ", 0), 0u) << shown << ": " << outcome.err;
        EXPECT_NE(outcome.err.find(args[0].substr(0, args[0].find('='))), std::string::npos)
            << shown << ": " << outcome.err;
        EXPECT_EQ(box.files(), (std::set<std::string>{"w.csv"})) << shown << ": something was written";
    }
}

}  // namespace
}  // namespace talvane
