// talvane-batch with worlds of other sizes and shapes: the size of seeded and
// loaded worlds, identical outputs on any number of threads, and refusals of
// bad shapes that write nothing.
#include <gtest/gtest.h>

#include <sstream>

#include "batch_process.h"
#include "world_file.h"

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

// The sum of the 64 counts of one log line.
long lineTotal(const std::string& line) {
    long total = 0;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, ',');) total += std::stol(field);
    return total;
}

TEST(BatchWorlds, SeededWorldsOfAnySizeLogAndSaveEveryCell) {
    Sandbox box;
    const Outcome outcome = box.run({"--seed", "4", "--generations", "12", "--size", "13x29", "--edges", "fixed",
                                     "--neighbourhood", "von-neumann", "--layout", "segregated", "--log", "log.csv",
                                     "--save", "world.csv"});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    const auto log = lines(box.read("log.csv"));
    ASSERT_EQ(log.size(), 12u);
    for (const std::string& line : log) EXPECT_EQ(lineTotal(line), 13 * 29) << line;
    WorldFile world;
    WorldError error;
    ASSERT_TRUE(parseWorld(box.read("world.csv"), world, error)) << error.message;
    EXPECT_EQ(world.rows, 13);
    EXPECT_EQ(world.cols, 29);
    // Segregated: the first half of the rows, rounded down, Green; the rest Red.
    for (int r = 0; r < 13; ++r) EXPECT_EQ(world.color[r * 29 + 5], r < 6 ? 0 : 2) << r;
}

TEST(BatchWorlds, ThreadsGiveByteIdenticalOutputs) {
    Sandbox box;
    const std::vector<std::string> common{"--seed", "9", "--generations", "25", "--size", "300x260", "--layout",
                                          "random", "--extra-point"};
    auto one = common;
    one.insert(one.end(), {"--threads", "1", "--log", "one.csv", "--save", "one-world.csv"});
    auto two = common;
    two.insert(two.end(), {"--threads", "3", "--log", "three.csv", "--save", "three-world.csv"});
    ASSERT_EQ(box.run(one).status, 0);
    ASSERT_EQ(box.run(two).status, 0);
    EXPECT_FALSE(box.read("one.csv").empty());
    EXPECT_EQ(box.read("one.csv"), box.read("three.csv"));
    EXPECT_EQ(box.read("one-world.csv"), box.read("three-world.csv"));
}

TEST(BatchWorlds, LoadedWorldsKeepTheirSizeAndASizeThatDisagreesIsRefused) {
    Sandbox box;
    ASSERT_EQ(box.run({"--seed", "2", "--generations", "0", "--size", "5x7", "--save", "start.csv"}).status, 0);
    const Outcome loaded = box.run({"--seed", "3", "--generations", "4", "--load", "start.csv", "--log", "log.csv",
                                    "--save", "end.csv"});
    ASSERT_EQ(loaded.status, 0) << loaded.err;
    WorldFile end;
    WorldError error;
    ASSERT_TRUE(parseWorld(box.read("end.csv"), end, error)) << error.message;
    EXPECT_EQ(end.rows, 5);
    EXPECT_EQ(end.cols, 7);
    for (const std::string& line : lines(box.read("log.csv"))) EXPECT_EQ(lineTotal(line), 35);

    const auto before = box.files();
    const Outcome clash = box.run({"--load", "start.csv", "--size", "64", "--log", "x.csv", "--save", "y.csv"});
    EXPECT_EQ(clash.status, 2);
    EXPECT_EQ(lines(clash.err).size(), 1u) << clash.err;
    EXPECT_NE(clash.err.find("5x7"), std::string::npos) << clash.err;
    EXPECT_EQ(box.files(), before);
}

TEST(BatchWorlds, BadShapesAreRefusedWithOneLineAndNothingWritten) {
    const std::vector<std::vector<std::string>> bad{
        {"--size", "2x64"},       {"--size", "64x4097"},  {"--size", "0"},          {"--size", "10x"},
        {"--size", "x10"},        {"--size", "10x10x10"}, {"--size", "0x10"},       {"--size", "1e3"},
        {"--edges", "torus"},     {"--edges", ""},        {"--neighbourhood", "hex"}, {"--neighbourhood", "Moore"},
        {"--threads", "0"},       {"--threads", "-1"},    {"--threads", "two"},     {"--threads", "100000"},
    };
    for (const auto& args : bad) {
        Sandbox box;
        auto all = args;
        all.insert(all.end(), {"--generations", "3", "--log", "log.csv", "--save", "world.csv"});
        const Outcome outcome = box.run(all);
        EXPECT_EQ(outcome.status, 2) << args[0] << " " << args[1] << ": " << outcome.err;
        EXPECT_EQ(lines(outcome.err).size(), 1u) << args[0] << " " << args[1] << ": " << outcome.err;
        EXPECT_TRUE(box.files().empty()) << args[0] << " " << args[1] << ": something was written";
    }
}

TEST(BatchWorlds, WorldFilesWithMissingOrDoubledCellsAreRefused) {
    Sandbox box;
    ASSERT_EQ(box.run({"--seed", "2", "--generations", "0", "--size", "4x5", "--save", "good.csv"}).status, 0);
    const auto good = lines(box.read("good.csv"));  // header, then 20 cells: (r, c) on line 1 + r * 5 + c
    const auto joined = [](const std::vector<std::string>& text) {
        std::string out;
        for (const std::string& line : text) out += line + "\n";
        return out;
    };
    auto doubledLines = good;
    doubledLines.insert(doubledLines.begin() + 9, good[8]);  // (1, 2) twice
    auto missingLines = good;
    missingLines.erase(missingLines.begin() + 15);  // (2, 4) left out
    const std::string doubled = joined(doubledLines);
    const std::string missing = joined(missingLines);
    for (const auto& [name, text] : {std::pair{"doubled.csv", doubled}, {"missing.csv", missing}}) {
        box.write(name, text);
        const auto before = box.files();
        const Outcome outcome = box.run({"--load", name, "--log", "log.csv", "--save", "out.csv"});
        EXPECT_EQ(outcome.status, 3) << name << ": " << outcome.err;
        EXPECT_EQ(lines(outcome.err).size(), 1u) << outcome.err;
        EXPECT_NE(outcome.err.find("out of order"), std::string::npos) << outcome.err;
        EXPECT_EQ(box.files(), before) << name;
    }
}

TEST(BatchWorlds, SnapshotsOfWorldsThatAreNot64By64AreAUsageError) {
    Sandbox box;
    const Outcome outcome = box.run({"--size", "32", "--generations", "1", "--snapshot", "s.png", "--log", "l.csv"});
    EXPECT_EQ(outcome.status, 2) << outcome.err;
    EXPECT_NE(outcome.err.find("64 x 64"), std::string::npos) << outcome.err;
    EXPECT_TRUE(box.files().empty());
}

}  // namespace
}  // namespace talvane
