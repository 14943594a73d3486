// talvane-batch --update ecology from the outside: empty cells in the log,
// the table, the saved world and the checkpoint; a resumed run that matches
// an unbroken one byte for byte; the record; the imitation control; and the
// refusals of bad values and of unfit world files.
#include <algorithm>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "batch_process.h"

namespace talvane {
namespace {

using testing::Outcome;
using testing::Sandbox;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

std::uint64_t sumOf(const std::string& csvLine) {
    std::uint64_t sum = 0;
    std::istringstream in(csvLine);
    for (std::string field; std::getline(in, field, ',');) sum += std::stoull(field);
    return sum;
}

const std::vector<std::string> kPaper{"--update", "ecology", "--size", "20", "--neighbourhood", "von-neumann",
                                      "--seed", "3"};

std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string>& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

TEST(BatchEcology, EmptyCellsAppearInEveryOutputAndTheLogCountsOnlyAgents) {
    Sandbox box;
    const Outcome outcome =
        box.run(with(kPaper, {"--generations", "200", "--log", "log.csv", "--stats", "stats.csv", "--save", "w.csv"}));
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    const auto log = lines(box.read("log.csv"));
    ASSERT_EQ(log.size(), 200u);
    EXPECT_EQ(sumOf(log[0]), 1u);  // one immigrant into the empty world, who may not have died yet
    const auto stats = lines(box.read("stats.csv"));
    ASSERT_EQ(stats.size(), 202u);
    EXPECT_EQ(stats[0], "generation,agents,empty,green,cyan,red,color3,ethnocentric,humanitarian,selfish,traitorous,"
                        "other_pairs,help_same,help_other");
    EXPECT_EQ(stats[1], "0,0,400,0,0,0,0,0,0,0,0,0,,");
    // Row g's agents are the sum of log line g, and fewer than the cells.
    for (std::size_t g = 1; g <= 200; ++g) {
        const std::string agents = stats[g + 1].substr(stats[g + 1].find(',') + 1);
        EXPECT_EQ(std::stoull(agents.substr(0, agents.find(','))), sumOf(log[g - 1])) << g;
    }
    EXPECT_LT(sumOf(log.back()), 400u);
    EXPECT_GT(sumOf(log.back()), 50u);
    const std::string world = box.read("w.csv");
    EXPECT_NE(world.find(",,,\n"), std::string::npos);
    // Every agent of the saved world is one of the four types.
    for (const std::string& line : lines(world)) {
        if (line.back() == ',' || line[0] == 'r') continue;
        const std::string pair = line.substr(line.rfind(',', line.rfind(',') - 1) + 1);
        EXPECT_TRUE(pair == "7,0" || pair == "7,7" || pair == "0,0" || pair == "0,7") << line;
    }
    // The saved world loads again under ecology and saves the same.
    ASSERT_EQ(box.run({"--update", "ecology", "--load", "w.csv", "--generations", "0", "--save", "again.csv"}).status, 0);
    EXPECT_EQ(box.read("again.csv"), world);
}

TEST(BatchEcology, ResumedRunIsByteIdenticalToAnUnbrokenOne) {
    Sandbox box;
    ASSERT_EQ(box.run(with(kPaper, {"--generations", "300", "--mutation", "0.05", "--colors", "3", "--log", "whole.csv",
                                    "--stats", "whole-stats.csv", "--save", "whole-w.csv"}))
                  .status,
              0);
    ASSERT_EQ(box.run(with(kPaper, {"--generations", "120", "--mutation", "0.05", "--colors", "3", "--log", "part.csv",
                                    "--stats", "part-stats.csv", "--checkpoint", "ck.txt"}))
                  .status,
              0);
    const std::string checkpoint = box.read("ck.txt");
    EXPECT_NE(checkpoint.find("\necology 3 1 0.12 "), std::string::npos);
    EXPECT_NE(checkpoint.find("---"), std::string::npos);
    const Outcome resumed = box.run({"--resume", "ck.txt", "--generations", "180", "--log", "part.csv", "--stats",
                                     "part-stats.csv", "--save", "part-w.csv"});
    ASSERT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_EQ(box.read("part.csv"), box.read("whole.csv"));
    EXPECT_EQ(box.read("part-stats.csv"), box.read("whole-stats.csv"));
    EXPECT_EQ(box.read("part-w.csv"), box.read("whole-w.csv"));
    EXPECT_NE(box.read("whole.csv"), "");
}

TEST(BatchEcology, RecordNamesTheRulesOnlyForEcologyRuns) {
    Sandbox box;
    ASSERT_EQ(box.run(with(kPaper, {"--generations", "5", "--log", "eco.csv", "--death", "0.2"})).status, 0);
    const std::string eco = box.read("eco.json");
    EXPECT_NE(eco.find("\"update\": \"ecology\""), std::string::npos);
    EXPECT_NE(eco.find("\"mutation\": 0.0050000000000000001"), std::string::npos);
    EXPECT_NE(eco.find("\"ecology\": {\"colors\": 4, \"immigrants\": 1, \"ptr\": 0.12"), std::string::npos);
    EXPECT_NE(eco.find("\"death\": 0.20000000000000001}"), std::string::npos);
    EXPECT_NE(eco.find("\"start\": \"empty\""), std::string::npos);
    EXPECT_NE(eco.find("\"--mutation\": \"0.005\""), std::string::npos);
    EXPECT_NE(eco.find("\"--ptr\": \"0.12\""), std::string::npos);
    ASSERT_EQ(box.run({"--generations", "5", "--log", "imitation.csv"}).status, 0);
    const std::string imitation = box.read("imitation.json");
    for (const char* name : {"--colors", "--immigrants", "--ptr", "--cost", "--benefit", "--death", "\"ecology\"",
                             "\"colors\""}) {
        EXPECT_EQ(imitation.find(name), std::string::npos) << name;
    }
    EXPECT_NE(imitation.find("\"--mutation\": \"0\""), std::string::npos);
}

TEST(BatchEcology, ImitationControlDrawsTColoursAndWritesTheSameTable) {
    Sandbox box;
    const Outcome outcome = box.run({"--update", "synchronous", "--layout", "random", "--colors", "4", "--self-pool",
                                     "0,7", "--other-pool", "0,7", "--size", "20", "--neighbourhood", "von-neumann",
                                     "--generations", "30", "--seed", "2", "--stats", "s.csv", "--log", "l.csv",
                                     "--save", "w.csv", "--checkpoint", "ck.txt"});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    const auto stats = lines(box.read("s.csv"));
    EXPECT_EQ(stats[0].substr(0, 50), "generation,agents,empty,green,cyan,red,color3,ethn");
    EXPECT_EQ(stats[1].substr(0, 8), "0,400,0,");
    std::vector<int> colours(8);
    for (const std::string& line : lines(box.read("w.csv"))) {
        if (line[0] == 'r') continue;
        const std::size_t afterCol = line.find(',', line.find(',') + 1) + 1;
        ++colours.at(static_cast<std::size_t>(std::stoi(line.substr(afterCol))));
    }
    for (int c = 0; c < 4; ++c) EXPECT_GT(colours[c], 50) << c;  // about 100 each of 400
    for (int c = 4; c < 8; ++c) EXPECT_EQ(colours[c], 0) << c;
    EXPECT_NE(box.read("ck.txt").find("\ncolors 4\n"), std::string::npos);
    ASSERT_EQ(box.run({"--resume", "ck.txt", "--generations", "5", "--stats", "s.csv", "--log", "l.csv"}).status, 0);
    EXPECT_EQ(lines(box.read("s.csv")).size(), 37u);
}

TEST(BatchEcology, BadValuesAreRefusedWithOneLineAndStatus2) {
    Sandbox box;
    const std::vector<std::vector<std::string>> bad{
        {"--update", "ecology", "--ptr", "1.5"},      {"--update", "ecology", "--ptr", "-0.1"},
        {"--update", "ecology", "--cost", "-0.01"},   {"--update", "ecology", "--benefit", "-1"},
        {"--update", "ecology", "--colors", "0"},     {"--update", "ecology", "--colors", "9"},
        {"--update", "ecology", "--death", "1.01"},   {"--update", "ecology", "--mutation", "2"},
        {"--update", "ecology", "--immigrants", "-1"}, {"--update", "ecology", "--place", "0,0,7/0"},
        {"--update", "ecology", "--mix", "7/0:1"},    {"--ptr", "0.1"},
        {"--colors", "3"},                            {"--update", "fermi", "--death", "0.1"},
        {"--update", "ecology", "--ptr", "nan"},      {"--update", "ecology", "--self-pool", "0,6,7"},
        {"--update", "ecology", "--other-pool", "7"},
    };
    for (const auto& args : bad) {
        const Outcome outcome = box.run(with(args, {"--log", "never.csv"}));
        std::string shown;
        for (const std::string& a : args) shown += a + " ";
        EXPECT_EQ(outcome.status, 2) << shown;
        EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << shown << outcome.err;
        EXPECT_FALSE(box.exists("never.csv")) << shown;
    }
}

TEST(BatchEcology, TheGameAndLayoutOptionsChangeNothingUnderEcology) {
    Sandbox box;
    ASSERT_EQ(box.run(with(kPaper, {"--generations", "60", "--log", "plain.csv"})).status, 0);
    ASSERT_EQ(box.run(with(kPaper, {"--generations", "60", "--log", "given.csv", "--payoffs", "4,0,5,1",
                                    "--competition", "finite", "--layout", "random", "--noise", "3",
                                    "--self-pool", "7,0", "--other-pool", "AllD,AllC", "--extra-point"}))
                  .status,
              0);
    EXPECT_EQ(box.read("given.csv"), box.read("plain.csv"));
}

TEST(BatchEcology, UnfitWorldFilesAreRefusedWithStatus3) {
    Sandbox box;
    auto worldWith = [](const std::string& cell11) {
        std::string text = "row,col,color,self,other\n";
        for (int i = 0; i < 9; ++i) {
            text += std::to_string(i / 3) + "," + std::to_string(i % 3) + ",";
            text += i == 4 ? cell11 : std::string(i % 2 ? ",," : "1,7,0");
            text += "\n";
        }
        return text;
    };
    box.write("fine.csv", worldWith("2,0,7"));
    box.write("pair.csv", worldWith("2,3,7"));
    box.write("colour.csv", worldWith("5,7,7"));
    box.write("half.csv", worldWith("2,,7"));
    EXPECT_EQ(box.run({"--update", "ecology", "--load", "fine.csv", "--generations", "3", "--log", "ok.csv"}).status, 0);
    for (const auto& [file, rule] : std::vector<std::pair<std::string, std::string>>{
             {"pair.csv", "ecology"}, {"colour.csv", "ecology"}, {"half.csv", "ecology"}, {"fine.csv", "synchronous"},
             {"fine.csv", "fermi"}}) {
        const Outcome outcome = box.run({"--update", rule, "--load", file, "--generations", "3", "--log", "no.csv"});
        EXPECT_EQ(outcome.status, 3) << file << " " << rule;
        EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
        EXPECT_FALSE(box.exists("no.csv"));
    }
}

}  // namespace
}  // namespace talvane
