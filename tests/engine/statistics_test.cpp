// Measures of a world: strategy names, cooperation shares of the two
// competitions, counts, scores and cooperation rates by colour; and the
// generator's state carried from one generator to another.
#include <gtest/gtest.h>

#include <random>

#include "payoffs.h"
#include "statistics.h"

namespace talvane {
namespace {

constexpr int kAllD = 0, kSTFT = 2, kCthenAllD = 4, kTFT = 6, kAllC = 7;
constexpr CellCode kGreen = 0, kRed = 2;

// A world of one colour and one pair, scored with the long-run table.
World worldOf(const WorldShape& shape, CellCode color, CellCode self, CellCode other) {
    World world(shape);
    std::fill(world.cellColor.begin(), world.cellColor.end(), color);
    std::fill(world.selfStrategy.begin(), world.selfStrategy.end(), self);
    std::fill(world.otherStrategy.begin(), world.otherStrategy.end(), other);
    world.payoffTable = infinitePayoffTable;
    return world;
}

TEST(StrategyNames, CodesAndNamesInAnyCaseAreRead) {
    const std::vector<std::pair<std::string, int>> good{
        {"AllD", kAllD}, {"alld", kAllD}, {"STFT", kSTFT}, {"stft", kSTFT}, {"C-then-AllD", kCthenAllD},
        {"c-THEN-alld", kCthenAllD}, {"TFT", kTFT}, {"AllC", kAllC}, {"ALLC", kAllC}, {"3", 3}, {"0", 0}, {"7", 7},
    };
    for (const auto& [text, code] : good) {
        StrategyCode read = -1;
        EXPECT_TRUE(parseStrategy(text, read)) << text;
        EXPECT_EQ(read, code) << text;
    }
    for (const char* bad : {"", "8", "-1", "01", "TFT2", "Tit", "1 ", "AllD/AllD"}) {
        StrategyCode read = -1;
        EXPECT_FALSE(parseStrategy(bad, read)) << bad;
    }
    EXPECT_EQ(pairName(kTFT * 8 + kAllD), "TFT/AllD");
    EXPECT_EQ(pairName(1 * 8 + kCthenAllD), "1/C-then-AllD");
}

TEST(CooperationTables, FiniteSharesCountTheTwoHundredRoundsExactly) {
    const CooperationTable finite = finiteCooperationTable();
    EXPECT_EQ(finite[kAllC][kAllC], 1.0);
    EXPECT_EQ(finite[kAllD][kAllC], 0.0);
    EXPECT_EQ(finite[kTFT][kAllD], 1.0 / 200);    // cooperates in the first round only
    EXPECT_EQ(finite[kTFT][kTFT], 1.0);
    EXPECT_EQ(finite[kTFT][kSTFT], 100.0 / 200);  // the two alternate
    EXPECT_EQ(finite[kSTFT][kTFT], 100.0 / 200);
    EXPECT_EQ(finite[kCthenAllD][kAllC], 1.0 / 200);
    EXPECT_EQ(finite[kSTFT][kSTFT], 0.0);
}

TEST(CooperationTables, InfiniteSharesAreThoseOfTheRepeatingCycle) {
    const CooperationTable infinite = infiniteCooperationTable();
    EXPECT_EQ(infinite[kAllC][kAllC], 1.0);
    EXPECT_EQ(infinite[kTFT][kAllD], 0.0);  // the first round weighs nothing in the long run
    EXPECT_EQ(infinite[kTFT][kSTFT], 0.5);
    EXPECT_EQ(infinite[kCthenAllD][kAllC], 0.0);
    // Every entry agrees with the long-run payoff table of 3, 0, 5, 1: the
    // share of the row's payoff explained by its cooperation is consistent
    // when the column's moves are known; checked here on the symmetric pairs,
    // where both play the same moves and so earn R when cooperating, P not.
    for (int s = 0; s < kCodeCount; ++s) {
        const double share = infinite[s][s];
        EXPECT_DOUBLE_EQ(infinitePayoffTable[s][s], 3.0 * share + 1.0 * (1.0 - share)) << s;
    }
}

TEST(WorldStatistics, AllCooperatorsOfOneColourCooperateFullyWithTheirOwn) {
    World world = worldOf({8, 8, Edges::Wrap, Neighbourhood::Moore}, kGreen, kAllC, kAllC);
    const WorldStats stats = computeWorldStats(world, finiteCooperationTable());
    EXPECT_EQ(stats[0].cells, 64u);
    EXPECT_EQ(stats[1].cells, 64u);
    EXPECT_EQ(stats[3].cells, 0u);
    EXPECT_EQ(stats[0].gamesSame, 64u * 8);
    EXPECT_EQ(stats[0].gamesOther, 0u);
    EXPECT_DOUBLE_EQ(stats[0].coopSame / static_cast<double>(stats[0].gamesSame), 1.0);
    EXPECT_EQ(stats[0].self[kAllC], 64u);
    EXPECT_EQ(stats[0].discriminating, 0u);
    const std::string row = statsRow(0, stats, colorsPresent(world));
    // generation, cells, mean score (8 games of 3 a round), 8 + 8 counts, discriminating, same, other (none)
    EXPECT_EQ(row.substr(0, row.find(",0,0,0,0,0,0,0,64")), "0,64,24.000000") << row;
    EXPECT_EQ(row.substr(row.size() - 20), ",0.000000,1.000000,\n") << row;
}

TEST(WorldStatistics, TftGreensMeetingAllDRedsCooperateOnceInTwoHundred) {
    // A checkerboard: every Moore neighbour on a row or column is of the other
    // colour, every diagonal one of the same colour.
    World world = worldOf({6, 6, Edges::Wrap, Neighbourhood::Moore}, kGreen, kTFT, kTFT);
    for (int r = 0; r < 6; ++r) {
        for (int c = 0; c < 6; ++c) {
            if ((r + c) % 2 == 1) {
                world.cellColor[world.index(r, c)] = kRed;
                world.otherStrategy[world.index(r, c)] = kAllD;
            }
        }
    }
    const WorldStats stats = computeWorldStats(world, finiteCooperationTable());
    const GroupStats& green = stats[1 + kGreen];
    const GroupStats& red = stats[1 + kRed];
    EXPECT_EQ(green.cells, 18u);
    EXPECT_EQ(green.gamesOther, 18u * 4);
    EXPECT_EQ(green.gamesSame, 18u * 4);
    EXPECT_DOUBLE_EQ(green.coopOther / static_cast<double>(green.gamesOther), 1.0 / 200);
    EXPECT_DOUBLE_EQ(green.coopSame / static_cast<double>(green.gamesSame), 1.0);
    EXPECT_DOUBLE_EQ(red.coopOther, 0.0);  // only the reds' own moves count
    EXPECT_EQ(red.discriminating, 18u);
    EXPECT_EQ(green.discriminating, 0u);
    EXPECT_EQ(colorsPresent(world), (std::vector<int>{kGreen, kRed}));
}

TEST(WorldStatistics, ScoresAreThoseOfTheWorldsOwnScoringAndFixedEdgesPlayFewerGames) {
    World world = worldOf({5, 4, Edges::Fixed, Neighbourhood::VonNeumann}, kGreen, kTFT, kAllD);
    std::mt19937 random(3);
    for (std::size_t i = 0; i < world.selfStrategy.size(); ++i) {
        world.cellColor[i] = static_cast<CellCode>(random() % 2 == 0 ? kGreen : kRed);
        world.selfStrategy[i] = static_cast<CellCode>(random() % 8);
        world.otherStrategy[i] = static_cast<CellCode>(random() % 8);
    }
    world.playSelf = true;
    world.extraPoint = true;
    const WorldStats stats = computeWorldStats(world, infiniteCooperationTable());
    double scores = 0.0;
    for (int r = 0; r < 5; ++r) {
        for (int c = 0; c < 4; ++c) scores += world.scoreCell(r, c);
    }
    EXPECT_DOUBLE_EQ(stats[0].scoreSum, scores);
    // 5 x 4 with fixed edges: 2 * (5*3 + 4*4) = 62 neighbour games, and 20 with itself.
    EXPECT_EQ(stats[0].gamesSame + stats[0].gamesOther, 62u + 20u);
    EXPECT_EQ(stats[1 + kGreen].cells + stats[1 + kRed].cells, 20u);
}

// The cooperation alone, counted by pairs of codes, is the whole world's
// cooperation of the full statistics for every edge, neighbourhood and
// play-self, to the last bits that the other order of adding may change.
TEST(WorldStatistics, CooperationAloneEqualsThatOfTheFullStatistics) {
    std::mt19937 rng(31);
    for (const Edges edges : {Edges::Wrap, Edges::Fixed}) {
        for (const Neighbourhood nb : {Neighbourhood::Moore, Neighbourhood::VonNeumann}) {
            for (const bool playSelf : {false, true}) {
                World world(WorldShape{7, 12, edges, nb});
                world.playSelf = playSelf;
                for (int i = 0; i < world.cellCount(); ++i) {
                    world.selfStrategy[i] = static_cast<CellCode>(rng() % 8);
                    world.otherStrategy[i] = static_cast<CellCode>(rng() % 8);
                    world.cellColor[i] = static_cast<CellCode>(rng() % 3);
                }
                for (const CooperationTable& coop : {finiteCooperationTable(), infiniteCooperationTable()}) {
                    const GroupStats full = computeWorldStats(world, coop)[0];
                    const GroupStats alone = worldCooperation(world, coop);
                    EXPECT_EQ(alone.gamesSame, full.gamesSame);
                    EXPECT_EQ(alone.gamesOther, full.gamesOther);
                    EXPECT_NEAR(alone.coopSame, full.coopSame, 1e-9);
                    EXPECT_NEAR(alone.coopOther, full.coopOther, 1e-9);
                    EXPECT_GT(full.gamesSame + full.gamesOther, 0u);
                }
            }
        }
    }
}

TEST(StatisticsTable, HeaderNamesAGroupOfColumnsForTheWorldAndEachColour) {
    const std::string header = statsHeader({kGreen, kRed, 5});
    EXPECT_EQ(header.substr(0, 40), "generation,all_cells,all_mean_score,all_");
    for (const char* column : {",green_coop_same,", ",red_other_7,", ",color5_discriminating,", ",all_self_0,"}) {
        EXPECT_NE(header.find(column), std::string::npos) << column;
    }
    EXPECT_EQ(header.find("cyan"), std::string::npos);
    // generation + 4 groups of 2 + 16 + 3 columns
    EXPECT_EQ(std::count(header.begin(), header.end(), ','), 4 * 21);
}

TEST(RandomNumbers, AGeneratorGivenAnothersStateGoesOnWithTheSameNumbers) {
    Mt19937 first(77);
    std::vector<std::uint32_t> skip(1000);
    first.fill(skip.data(), 1000);  // part way through a refill
    Mt19937 second(1);
    ASSERT_TRUE(second.setState(first.state()));
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(second.next(), first.next()) << i;
    Mt19937::State bad = first.state();
    bad.index = Mt19937::kStateSize + 1;
    EXPECT_FALSE(second.setState(bad));
    EXPECT_EQ(second.next(), first.next());  // unchanged by the refusal
}

}  // namespace
}  // namespace talvane
