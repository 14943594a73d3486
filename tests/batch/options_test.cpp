// Pieces of the command line that are easy to get subtly wrong: numbered file
// names, strategy lists, payoffs at the edges of 32 bits, the summary table.
#include <gtest/gtest.h>

#include <algorithm>

#include "options.h"
#include "run.h"
#include "runs.h"

namespace talvane {
namespace {

TEST(BatchNames, RunNumberGoesBeforeTheExtensionOfTheFileName) {
    EXPECT_EQ(numberedPath("vemo.csv", 3), "vemo-3.csv");
    EXPECT_EQ(numberedPath("out/world.csv", 12), "out/world-12.csv");
    EXPECT_EQ(numberedPath("log", 2), "log-2");
    EXPECT_EQ(numberedPath("run.v2.csv", 1), "run.v2-1.csv");
    EXPECT_EQ(numberedPath("data.d/log", 4), "data.d/log-4");  // a dot in a directory is no extension
    EXPECT_EQ(numberedPath(".hidden", 5), ".hidden-5");
    EXPECT_EQ(numberedPath("dir/.hidden.csv", 6), "dir/.hidden-6.csv");
}

TEST(BatchOptions, StrategyListsAdmitExactlyTheListedCodes) {
    std::array<bool, 8> excluded{};
    std::string error;
    ASSERT_TRUE(parseStrategyList("0,2,6", excluded, error));
    EXPECT_EQ(excluded, (std::array<bool, 8>{false, true, false, true, true, true, false, true}));
    ASSERT_TRUE(parseStrategyList("7,7", excluded, error));
    EXPECT_EQ(std::count(excluded.begin(), excluded.end(), false), 1);
    ASSERT_TRUE(parseStrategyList("", excluded, error));
    EXPECT_EQ(std::count(excluded.begin(), excluded.end(), true), 8);  // empty pool: refused later
    for (const char* bad : {"8", "0,,1", "1,", ",1", "12", " 1", "a", "-1"}) {
        EXPECT_FALSE(parseStrategyList(bad, excluded, error)) << bad;
    }
}

TEST(BatchOptions, PayoffsTakeTheWholeThirtyTwoBitRangeAndNothingElse) {
    std::array<std::int32_t, 4> payoffs{};
    std::string error;
    ASSERT_TRUE(parsePayoffs("2147483647,-2147483648,0,-7", payoffs, error));
    EXPECT_EQ(payoffs, (std::array<std::int32_t, 4>{2147483647, -2147483647 - 1, 0, -7}));
    for (const char* bad : {"3,0,5", "3,0,5,1,", "3,0,5,1,2", "3,0,5,2147483648", "3;0;5;1", "3,0,5,x", "",
                            "3, 0,5,1", "+3,0,5,1"}) {
        EXPECT_FALSE(parsePayoffs(bad, payoffs, error)) << bad;
    }
}

TEST(BatchSummary, ListsTheThreeCommonestPairsAndTheDiscriminatingShare) {
    RunSummary first;
    first.run = 1;
    first.seed = 4000000000u;
    first.counts[6 * 8 + 6] = 3000;  // not discriminating
    first.counts[6 * 8 + 2] = 1000;
    first.counts[0 * 8 + 7] = 96;
    RunSummary second;
    second.run = 2;
    second.seed = 7;
    second.counts[63] = 4096;
    const std::string table = formatSummary({first, second});
    EXPECT_NE(table.find("    1 4000000000  6/6     3000  6/2     1000  0/7       96  0.2676\n"), std::string::npos)
        << table;
    EXPECT_NE(table.find("    2          7  7/7     4096  -          -  -          -  0.0000\n"), std::string::npos)
        << table;
}

}  // namespace
}  // namespace talvane
