// talvane-batch's update rules, schedules, match length and selection from
// the outside: the old spellings are the new rules on their schedules byte
// for byte, the record and checkpoint name only what is not today's
// default, every rule resumes exactly, and bad values are refused.
#include <algorithm>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "batch_process.h"

namespace talvane {
namespace {

using testing::Outcome;
using testing::Sandbox;

std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string>& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

const std::vector<std::string> kCommon{"--generations", "12", "--size", "20x24", "--layout", "random", "--seed", "31"};

TEST(BatchUpdateRules, OldSpellingsAreTheBestAndFermiRulesOnTheirSchedules) {
    Sandbox box;
    const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> same{
        {{"--update", "synchronous"}, {"--update", "best"}},
        {{"--update", "synchronous"}, {"--update", "best", "--schedule", "synchronous"}},
        {{"--update", "asynchronous"}, {"--update", "best", "--schedule", "random-sequential"}},
        {{"--update", "fermi"}, {"--update", "fermi", "--schedule", "random-sequential"}},
        {{}, {"--rounds", "200"}},
        {{"--update", "death-birth"}, {"--update", "death-birth", "--selection", "1"}},
    };
    int n = 0;
    for (const auto& [old, now] : same) {
        const std::string a = "a" + std::to_string(n), b = "b" + std::to_string(n++);
        ASSERT_EQ(box.run(with(with(kCommon, old), {"--log", a + ".csv", "--save", a + "-w.csv"})).status, 0);
        ASSERT_EQ(box.run(with(with(kCommon, now), {"--log", b + ".csv", "--save", b + "-w.csv"})).status, 0);
        EXPECT_EQ(box.read(a + ".csv"), box.read(b + ".csv")) << now[0] << " " << now[1];
        EXPECT_EQ(box.read(a + "-w.csv"), box.read(b + "-w.csv"));
    }
}

TEST(BatchUpdateRules, TheRecordNamesScheduleSelectionAndRoundsOnlyWhenTheyAreNotTodays) {
    Sandbox box;
    ASSERT_EQ(box.run(with(kCommon, {"--update", "fermi", "--log", "old.csv"})).status, 0);
    const std::string old = box.read("old.json");
    for (const char* key : {"\"schedule\"", "\"selection\"", "\"rounds\"", "--schedule", "--selection", "--rounds",
                            "mutation_codes"}) {
        EXPECT_EQ(old.find(key), std::string::npos) << key;
    }
    ASSERT_EQ(box.run(with(kCommon, {"--update", "birth-death", "--selection", "0.25", "--rounds", "7", "--mutation",
                                     "0.01", "--self-pool", "0,7", "--log", "new.csv"}))
                  .status,
              0);
    const std::string now = box.read("new.json");
    for (const char* key : {"\"update\": \"birth-death\"", "\"schedule\": \"random-sequential\"",
                            "\"selection\": 0.25", "\"rounds\": 7", "\"mutation_codes\": \"seeding pools\""}) {
        EXPECT_NE(now.find(key), std::string::npos) << key << "\n" << now;
    }
}

TEST(BatchUpdateRules, EveryRuleAndScheduleResumesByteForByte) {
    const std::vector<std::vector<std::string>> rules{
        {"--update", "best", "--schedule", "random-sequential"},
        {"--update", "fermi", "--schedule", "synchronous"},
        {"--update", "proportional"},
        {"--update", "proportional", "--schedule", "random-sequential", "--rounds", "3"},
        {"--update", "death-birth", "--selection", "0.1", "--edges", "fixed"},
        {"--update", "birth-death", "--neighbourhood", "von-neumann", "--mutation", "0.02", "--self-pool", "0,7",
         "--other-pool", "1,2"},
    };
    for (const auto& rule : rules) {
        Sandbox box;
        ASSERT_EQ(box.run(with(with(kCommon, rule), {"--log", "whole.csv", "--save", "whole-w.csv"})).status, 0);
        std::vector<std::string> first = with(kCommon, rule);
        first[1] = "5";
        ASSERT_EQ(box.run(with(first, {"--log", "part.csv", "--checkpoint", "c.txt"})).status, 0);
        const Outcome resumed =
            box.run({"--resume", "c.txt", "--generations", "7", "--log", "part.csv", "--save", "part-w.csv"});
        ASSERT_EQ(resumed.status, 0) << rule[1] << ": " << resumed.err;
        EXPECT_EQ(box.read("whole.csv"), box.read("part.csv")) << rule[1];
        EXPECT_EQ(box.read("whole-w.csv"), box.read("part-w.csv")) << rule[1];
    }
}

TEST(BatchUpdateRules, MutationStaysWithinThePools) {
    Sandbox box;
    ASSERT_EQ(box.run({"--generations", "30", "--size", "40", "--seed", "4", "--update", "fermi", "--mutation", "0.05",
                       "--self-pool", "0,7", "--other-pool", "0,7", "--log", "p.csv", "--save", "w.csv"})
                  .status,
              0);
    const std::string world = box.read("w.csv");
    ASSERT_FALSE(world.empty());
    // The log's columns are the 64 pairs self * 8 + others: only 0/0, 0/7,
    // 7/0 and 7/7 may ever be held.
    const std::string log = box.read("p.csv");
    std::size_t start = 0;
    int lines = 0;
    while (start < log.size()) {
        const std::size_t end = log.find('\n', start);
        const std::string line = log.substr(start, end - start);
        start = end + 1;
        int column = 0;
        std::size_t at = 0;
        while (at <= line.size()) {
            const std::size_t comma = std::min(line.find(',', at), line.size());
            const std::string cell = line.substr(at, comma - at);
            if (column != 0 && column != 7 && column != 56 && column != 63) {
                EXPECT_EQ(cell, "0") << column;
            }
            ++column;
            at = comma + 1;
        }
        EXPECT_EQ(column, 64);
        ++lines;
    }
    EXPECT_EQ(lines, 30);
}

TEST(BatchUpdateRules, BadValuesExitTwoWithOneLineAndWriteNothing) {
    const std::vector<std::vector<std::string>> usages{
        {"--update", "replicator"},
        {"--update", "death-birth", "--schedule", "synchronous"},
        {"--update", "birth-death", "--schedule", "synchronous"},
        {"--schedule", "sequential"},
        {"--update", "asynchronous", "--schedule", "synchronous"},
        {"--selection", "0"},
        {"--selection", "-1"},
        {"--selection", "inf"},
        {"--rounds", "0"},
        {"--rounds", "1000001"},
        {"--rounds", "1.5"},
        {"--rounds", "10", "--competition", "infinite"},
    };
    for (const auto& args : usages) {
        Sandbox box;
        const Outcome outcome = box.run(args);
        const std::string shown = args[0] + " " + args[1];
        EXPECT_EQ(outcome.status, 2) << shown << ": " << outcome.err;
        EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
        EXPECT_TRUE(box.files().empty()) << shown << ": something was written";
    }
}

}  // namespace
}  // namespace talvane
