// The desktop's command line: the game's options make the start's rules with
// the parser every program shares, and the start puts them into the shared
// state record, which gives them back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "desktop_options.h"
#include "sim_state.h"

namespace talvane {
namespace {

int parse(std::vector<std::string> args, DesktopStart& start) {
    args.insert(args.begin(), "talvane");
    std::vector<const char*> argv;
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    return parseDesktopCommandLine(static_cast<int>(argv.size()), argv.data(), start);
}

class DesktopOptions : public ::testing::Test {
protected:
    void SetUp() override { resetSimState(); }
    void TearDown() override { resetSimState(); }
};

TEST_F(DesktopOptions, TheGamesOptionsMakeTheStartsRules) {
    DesktopStart start;
    ASSERT_EQ(parse({"--payoffs", "2,-1,4,0", "--competition", "infinite", "--play-self", "--extra-point", "--layout",
                     "segregated", "--log", "-"},
                    start),
              kDesktopGoOn);
    EXPECT_EQ(start.rules.payoffs, (std::array<std::int32_t, 4>{2, -1, 4, 0}));
    EXPECT_EQ(start.rules.competition, CompetitionMode::Infinite);
    EXPECT_TRUE(start.rules.playSelf && start.rules.extraPoint);
    EXPECT_EQ(start.colorLayout, ColorLayout::Segregated);
    // The rest are the rules the desktop always runs.
    Rules expected = start.rules;
    expected.payoffs = defaultRules().payoffs;
    expected.competition = CompetitionMode::Finite;
    expected.playSelf = expected.extraPoint = false;
    EXPECT_EQ(expected, defaultRules());
}

TEST_F(DesktopOptions, DecimalOrMalformedPayoffsAreRefused) {
    for (const char* payoffs : {"1,0,1.9,0", "3,0,5", "a,b,c,d"}) {
        DesktopStart start;
        EXPECT_EQ(parse({"--payoffs", payoffs, "--log", "-"}, start), kDesktopUsage) << payoffs;
    }
}

TEST_F(DesktopOptions, TheStartsRulesGoIntoTheSharedRecordAndComeBack) {
    DesktopStart start;
    ASSERT_EQ(parse({"--payoffs", "7,1,9,-3", "--competition", "infinite", "--extra-point", "--layout", "random",
                     "--log", "-"},
                    start),
              kDesktopGoOn);
    applyDesktopStart(start);
    EXPECT_EQ(simRules(), start.rules);
    EXPECT_EQ(sim.payoffDD.load(), -3);
    EXPECT_EQ(sim.competitionMode.load(), 5);
    EXPECT_EQ(sim.colorLayout.load(), 0);
    EXPECT_EQ(colorLayoutOf(sim), ColorLayout::Random);
    EXPECT_EQ(competitionOf(sim), CompetitionMode::Infinite);
}

TEST_F(DesktopOptions, TheSharedRecordHoldsOnlyTheGamesRules) {
    Rules rules;
    rules.payoffs = {1, 2, 3, 4};
    rules.playSelf = true;
    rules.updateRule = UpdateRule::Fermi;  // the desktop runs the synchronous rule only
    rules.rounds = 9;
    setSimRules(rules);
    const Rules back = simRules();
    EXPECT_EQ(back.payoffs, rules.payoffs);
    EXPECT_TRUE(back.playSelf);
    EXPECT_EQ(back.updateRule, UpdateRule::Synchronous);
    EXPECT_EQ(back.rounds, kDefaultRounds);
}

}  // namespace
}  // namespace talvane
