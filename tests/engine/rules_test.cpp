// The rules as one value: the names and numbers of competitions and
// layouts, the payoff table a set of rules makes, and the one function that
// fills a world from them. Linked without the desktop's shared state.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "graph_world.h"
#include "payoffs.h"
#include "rules.h"
#include "sim_state.h"

namespace talvane::testing {
namespace {

TEST(RuleNames, CompetitionsKeepTheirMenuNumbersAndNames) {
    EXPECT_EQ(static_cast<std::int32_t>(CompetitionMode::Finite), 4);
    EXPECT_EQ(static_cast<std::int32_t>(CompetitionMode::Infinite), 5);
    for (const CompetitionMode mode : {CompetitionMode::Finite, CompetitionMode::Infinite}) {
        CompetitionMode read = mode == CompetitionMode::Finite ? CompetitionMode::Infinite : CompetitionMode::Finite;
        ASSERT_TRUE(parseCompetition(competitionName(mode), read));
        EXPECT_EQ(read, mode);
    }
    CompetitionMode untouched = CompetitionMode::Infinite;
    for (const char* text : {"", "Finite", "finite ", "4", "infinity"}) {
        EXPECT_FALSE(parseCompetition(text, untouched)) << text;
        EXPECT_EQ(untouched, CompetitionMode::Infinite);
    }
}

TEST(RuleNames, LayoutsKeepTheirKeyOrderAndNames) {
    const ColorLayout layouts[] = {ColorLayout::Random, ColorLayout::Checkerboard, ColorLayout::Segregated};
    for (std::int32_t i = 0; i < kLayoutCount; ++i) {
        EXPECT_EQ(static_cast<std::int32_t>(layouts[i]), i);
        ColorLayout read = ColorLayout::Random;
        ASSERT_TRUE(parseColorLayout(colorLayoutName(layouts[i]), read));
        EXPECT_EQ(read, layouts[i]);
    }
    EXPECT_STREQ(colorLayoutName(static_cast<ColorLayout>(9)), "checkerboard");
    ColorLayout untouched = ColorLayout::Segregated;
    EXPECT_FALSE(parseColorLayout("Random", untouched));
    EXPECT_EQ(untouched, ColorLayout::Segregated);
}

TEST(RuleTables, TheDefaultsAreThe200RoundPrisonersDilemma) {
    const Rules rules = defaultRules();
    EXPECT_EQ(payoffTableOf(rules), finitePayoffTable(3, 0, 5, 1, 200));
    EXPECT_EQ(rules.updateRule, UpdateRule::Synchronous);
    EXPECT_EQ(rules.mutation, 0.0);
    EXPECT_TRUE(poolsFull(rules));
}

TEST(RuleTables, TheInfiniteCompetitionIgnoresPayoffsAndRounds) {
    Rules rules;
    rules.competition = CompetitionMode::Infinite;
    rules.payoffs = {10, -3, 20, 2};
    rules.realPayoffs = std::array<double, 4>{1, 0, 1.9, 0};
    rules.rounds = 7;
    EXPECT_EQ(payoffTableOf(rules), infinitePayoffTable);
}

TEST(RuleTables, DecimalPayoffsRuleInsteadOfTheWholeOnes) {
    Rules rules;
    rules.payoffs = {3, 0, 5, 1};
    rules.realPayoffs = std::array<double, 4>{4, -1, 6, 2};
    EXPECT_EQ(payoffTableOf(rules), finitePayoffTable(4, -1, 6, 2));
    rules.realPayoffs = std::array<double, 4>{1, 0, 1.5, 0};
    rules.rounds = 1;
    // One round of AllD (0) against AllC (7) earns the temptation.
    EXPECT_EQ(payoffTableOf(rules)[0][7], 1.5);
}

TEST(RuleTables, TheMatchLengthScalesOneShotGames) {
    Rules rules;
    rules.rounds = 1;
    const PayoffTable one = payoffTableOf(rules);
    EXPECT_EQ(one[7][0], 0.0);  // AllC against AllD: the sucker's payoff
    EXPECT_EQ(one[0][7], 5.0);
    EXPECT_EQ(one[7][7], 3.0);
    rules.rounds = 50;
    EXPECT_EQ(payoffTableOf(rules)[7][7], 150.0);
}

// Rules with every field away from its default.
Rules unusualRules() {
    Rules rules;
    rules.payoffs = {4, -2, 7, 1};
    rules.rounds = 11;
    rules.playSelf = true;
    rules.extraPoint = true;
    rules.updateRule = UpdateRule::DeathBirth;
    rules.noise = 0.25;
    rules.mutation = 0.03;
    rules.selfExcluded[2] = true;
    rules.otherExcluded[5] = true;
    rules.selection = 0.4;
    rules.ecology.immigrants = 3;
    rules.ecology.death = 0.2;
    return rules;
}

TEST(ApplyRules, FillsEveryRuleFieldOfALatticeWorld) {
    const Rules rules = unusualRules();
    World world(WorldShape{5, 6});
    applyRules(world, rules);
    EXPECT_EQ(world.payoffTable, finitePayoffTable(4, -2, 7, 1, 11));
    EXPECT_TRUE(world.playSelf);
    EXPECT_TRUE(world.extraPoint);
    EXPECT_EQ(world.updateRule, UpdateRule::DeathBirth);
    EXPECT_EQ(world.noise, 0.25);
    EXPECT_EQ(world.mutation, 0.03);
    EXPECT_EQ(world.selection, 0.4);
    EXPECT_EQ(world.selfMutationExcluded, rules.selfExcluded);
    EXPECT_EQ(world.otherMutationExcluded, rules.otherExcluded);
    EXPECT_EQ(world.ecology, rules.ecology);
    // Filling again from the defaults puts every field back.
    applyRules(world, defaultRules());
    const World fresh(WorldShape{5, 6});
    EXPECT_EQ(world.payoffTable, payoffTableOf(defaultRules()));
    EXPECT_FALSE(world.playSelf || world.extraPoint);
    EXPECT_EQ(world.updateRule, fresh.updateRule);
    EXPECT_EQ(world.noise, fresh.noise);
    EXPECT_EQ(world.selection, fresh.selection);
    EXPECT_EQ(world.ecology, fresh.ecology);
}

TEST(ApplyRules, LeavesTheCellsAndTheGeneratorAlone) {
    World world(WorldShape{4, 4});
    world.random.seed(17);
    world.selfStrategy[3] = 6;
    const World before = world;
    applyRules(world, unusualRules());
    EXPECT_EQ(world.selfStrategy, before.selfStrategy);
    EXPECT_EQ(world.cellColor, before.cellColor);
    Mt19937 a = world.random;
    Mt19937 b = before.random;
    EXPECT_EQ(a.next(), b.next());
}

TEST(ApplyRules, FillsAGraphWorldsFieldsToo) {
    GraphWorld world(latticeGraph(WorldShape{3, 3}));
    const Rules rules = unusualRules();
    applyRules(world, rules);
    EXPECT_EQ(world.payoffTable, payoffTableOf(rules));
    EXPECT_TRUE(world.playSelf && world.extraPoint);
    EXPECT_EQ(world.updateRule, UpdateRule::DeathBirth);
    EXPECT_EQ(world.selection, 0.4);
    EXPECT_EQ(world.mutation, 0.03);
    EXPECT_EQ(world.selfMutationExcluded, rules.selfExcluded);
}

}  // namespace
}  // namespace talvane::testing
