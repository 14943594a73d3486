// talvane-batch's model variants from the outside: the update rules and
// mutation repeat from their seed, decimal payoffs, and refusals.
#include <algorithm>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "batch_process.h"

namespace talvane {
namespace {

using testing::Outcome;
using testing::Sandbox;

std::size_t lineCount(const std::string& text) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')); }

// --- Model variants ------------------------------------------------------------------

TEST(BatchVariants, EveryRuleRepeatsFromItsSeedWithAnyThreadsAndDiffersFromTheDefault) {
    Sandbox box;
    const std::vector<std::string> common{"--generations", "20", "--size", "30x40", "--layout", "random",
                                          "--seed", "5", "--mutation", "0.01"};
    for (const std::string rule : {"asynchronous", "fermi"}) {
        for (const std::string threads : {"1", "2"}) {
            std::vector<std::string> args = common;
            args.insert(args.end(), {"--update", rule, "--noise", "2.5", "--threads", threads, "--log",
                                     rule + threads + ".csv", "--save", rule + threads + "-world.csv"});
            const Outcome outcome = box.run(args);
            ASSERT_EQ(outcome.status, 0) << outcome.err;
        }
        EXPECT_EQ(lineCount(box.read(rule + "1.csv")), 20u);
        EXPECT_EQ(box.read(rule + "1.csv"), box.read(rule + "2.csv"));
        EXPECT_EQ(box.read(rule + "1-world.csv"), box.read(rule + "2-world.csv"));
    }
    std::vector<std::string> args = common;
    args.insert(args.end(), {"--log", "synchronous.csv"});
    ASSERT_EQ(box.run(args).status, 0);
    EXPECT_NE(box.read("synchronous.csv"), box.read("asynchronous1.csv"));
    EXPECT_NE(box.read("fermi1.csv"), box.read("asynchronous1.csv"));
}

TEST(BatchVariants, DecimalPayoffsRunAndWholeNumbersWrittenAsDecimalsChangeNothing) {
    Sandbox box;
    const std::vector<std::string> common{"--generations", "15", "--seed", "8", "--layout", "random"};
    auto runWith = [&](const std::string& payoffs, const std::string& log) {
        std::vector<std::string> args = common;
        args.insert(args.end(), {"--payoffs", payoffs, "--log", log});
        const Outcome outcome = box.run(args);
        EXPECT_EQ(outcome.status, 0) << payoffs << ": " << outcome.err;
    };
    runWith("3,0,5,1", "integers.csv");
    runWith("3.0,0,5.00,1e0", "decimals.csv");
    runWith("3,0,5.5,1", "tempted.csv");
    EXPECT_EQ(lineCount(box.read("integers.csv")), 15u);
    EXPECT_EQ(box.read("integers.csv"), box.read("decimals.csv"));
    EXPECT_NE(box.read("integers.csv"), box.read("tempted.csv"));
}

TEST(BatchVariants, BadVariantValuesExitTwoAndWriteNothing) {
    const std::vector<std::vector<std::string>> usages{
        {"--update", "random"}, {"--update", ""},        {"--noise", "-0.1"},   {"--noise", "0"},
        {"--noise", "nan"},     {"--mutation", "1.01"},  {"--mutation", "-1e-9"}, {"--mutation", "inf"},
        {"--payoffs", "1,0,1.9,x"}, {"--payoffs", "1,0,1.9"}, {"--payoffs", "1,0,3e9,0"},
    };
    for (const std::vector<std::string>& args : usages) {
        Sandbox box;
        const Outcome outcome = box.run(args);
        EXPECT_EQ(outcome.status, 2) << args[0] << " " << args[1] << ": " << outcome.err;
        EXPECT_NE(outcome.err.find(args[0]), std::string::npos) << outcome.err;
        EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
        EXPECT_TRUE(box.files().empty()) << args[0] << " " << args[1] << ": something was written";
    }
}

}  // namespace
}  // namespace talvane
