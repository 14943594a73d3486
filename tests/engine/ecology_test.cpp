// The ecology rule step by step on small hand-made worlds: immigration,
// the PTR arithmetic, reproduction into empty neighbours, the rates of
// mutation and death over many draws, the shuffled order, and the census.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "ecology.h"
#include "world.h"
#include "world_file.h"

namespace talvane::testing {
namespace {

// Six standard deviations of a binomial count: a correct rate stays inside
// by chance with probability 1 - 2e-9.
double sixSigma(double trials, double p) { return 6.0 * std::sqrt(trials * p * (1.0 - p)); }

World emptyWorld(int rows, int cols, Edges edges = Edges::Fixed, Neighbourhood n = Neighbourhood::VonNeumann) {
    World world(WorldShape{rows, cols, edges, n});
    world.updateRule = UpdateRule::Ecology;
    world.clearCells();
    return world;
}

void put(World& world, int row, int col, int color, int self, int other) {
    const int i = world.index(row, col);
    world.cellColor[i] = static_cast<CellCode>(color);
    world.selfStrategy[i] = static_cast<CellCode>(self);
    world.otherStrategy[i] = static_cast<CellCode>(other);
}

int agents(const World& world) {
    int n = 0;
    for (int i = 0; i < world.cellCount(); ++i) n += !world.isEmpty(i);
    return n;
}

TEST(EcologyImmigration, FillsOnlyEmptyCellsAndStopsWhenNoneIsLeft) {
    World world = emptyWorld(3, 3);
    for (int i = 0; i < 7; ++i) put(world, i / 3, i % 3, 1, 7, 7);
    world.ecology.immigrants = 5;
    world.ecology.colors = 3;
    world.random.seed(11);
    EXPECT_EQ(world.immigrate(), 2);
    EXPECT_EQ(agents(world), 9);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(world.cellColor[i], 1);
        EXPECT_EQ(world.selfStrategy[i], 7);
    }
    for (int i = 7; i < 9; ++i) {
        EXPECT_LT(world.cellColor[i], 3);
        EXPECT_GE(world.cellColor[i], 0);
        EXPECT_TRUE(world.selfStrategy[i] == 0 || world.selfStrategy[i] == 7);
        EXPECT_TRUE(world.otherStrategy[i] == 0 || world.otherStrategy[i] == 7);
    }
    // A full world takes no one and draws nothing.
    const Mt19937::State before = world.random.state();
    EXPECT_EQ(world.immigrate(), 0);
    EXPECT_EQ(world.random.state().words, before.words);
    EXPECT_EQ(world.random.state().index, before.index);
}

TEST(EcologyImmigration, ImmigrantsAreUniformOverEmptyCellsColoursAndTypes) {
    World world = emptyWorld(4, 4);
    world.ecology.immigrants = 1;
    world.ecology.colors = 4;
    world.random.seed(3);
    constexpr int kTrials = 16000;
    std::vector<int> cell(16), color(4), type(4);
    for (int t = 0; t < kTrials; ++t) {
        world.clearCells();
        put(world, 0, 0, 0, 0, 0);  // one cell taken: never drawn
        ASSERT_EQ(world.immigrate(), 1);
        for (int i = 1; i < 16; ++i) {
            if (!world.isEmpty(i)) {
                ++cell[i];
                ++color[world.cellColor[i]];
                ++type[agentTypeOf(world.selfStrategy[i], world.otherStrategy[i])];
            }
        }
    }
    EXPECT_EQ(cell[0], 0);
    for (int i = 1; i < 16; ++i) EXPECT_NEAR(cell[i], kTrials / 15.0, sixSigma(kTrials, 1.0 / 15));
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(color[k], kTrials / 4.0, sixSigma(kTrials, 0.25));
        EXPECT_NEAR(type[k], kTrials / 4.0, sixSigma(kTrials, 0.25));
    }
}

TEST(EcologyInteraction, PtrFollowsTheHelpGivenAndReceived) {
    World world = emptyWorld(5, 5);
    put(world, 2, 2, 0, 7, 0);  // ethnocentric centre, colour 0
    put(world, 2, 1, 0, 7, 7);  // left: same colour, humanitarian: both help
    put(world, 2, 3, 1, 0, 0);  // right: other colour, selfish: neither helps
    put(world, 1, 2, 2, 0, 7);  // up: other colour, traitorous: helps the centre, is not helped
    // down (3, 2) stays empty: no meeting.
    const int meetings = world.interact();
    EXPECT_EQ(meetings, 6);  // the centre meets three, each of them meets the centre
    // The games in order: left, right, up, down.
    EXPECT_DOUBLE_EQ(world.score[world.index(2, 2)], ((0.12 - 0.01) + 0.03) + 0.03);
    EXPECT_DOUBLE_EQ(world.score[world.index(2, 1)], (0.12 - 0.01) + 0.03);
    EXPECT_DOUBLE_EQ(world.score[world.index(2, 3)], 0.12);
    EXPECT_DOUBLE_EQ(world.score[world.index(1, 2)], 0.12 - 0.01);
    EXPECT_EQ(world.score[world.index(3, 2)], 0.0);

    // Other parameters, and the Moore neighbourhood's diagonals.
    World moore = emptyWorld(5, 5, Edges::Wrap, Neighbourhood::Moore);
    moore.ecology.ptr = 0.5;
    moore.ecology.cost = 0.1;
    moore.ecology.benefit = 0.25;
    put(moore, 2, 2, 3, 7, 7);
    put(moore, 1, 1, 3, 0, 0);  // diagonal, selfish
    put(moore, 3, 3, 1, 7, 0);  // diagonal, other colour, ethnocentric: does not help the centre
    moore.interact();
    EXPECT_DOUBLE_EQ(moore.score[moore.index(2, 2)], (0.5 - 0.1) - 0.1);
    EXPECT_DOUBLE_EQ(moore.score[moore.index(1, 1)], 0.5 + 0.25);
    EXPECT_DOUBLE_EQ(moore.score[moore.index(3, 3)], 0.5 + 0.25);
}

TEST(EcologyInteraction, EveryShapeMatchesAPlainSumOverTheNeighbours) {
    // A plain reference from World::neighboursOf, branch by branch, against
    // the table-driven step, on random worlds of every shape.
    for (const Edges edges : {Edges::Wrap, Edges::Fixed}) {
        for (const Neighbourhood n : {Neighbourhood::VonNeumann, Neighbourhood::Moore}) {
            for (const auto& [rows, cols] : {std::pair{3, 3}, std::pair{7, 4}, std::pair{16, 19}}) {
                World world = emptyWorld(rows, cols, edges, n);
                world.ecology.ptr = 0.3;
                world.ecology.cost = 0.07;
                world.ecology.benefit = 0.11;
                world.random.seed(static_cast<std::uint32_t>(rows * 100 + cols));
                for (int i = 0; i < world.cellCount(); ++i) {
                    if (world.random.next() >> 31) {
                        put(world, i / cols, i % cols, static_cast<int>(world.random.next() % 3),
                            (world.random.next() >> 31) * 7, (world.random.next() >> 31) * 7);
                    }
                }
                int expectedMeetings = 0;
                std::vector<double> expected(world.cellCount(), 0.0);
                for (int i = 0; i < world.cellCount(); ++i) {
                    if (world.isEmpty(i)) continue;
                    int around[8];
                    const int count = world.neighboursOf(i, around);
                    double ptr = 0.3;
                    for (int k = 0; k < count; ++k) {
                        const int j = around[k];
                        if (world.isEmpty(j)) continue;
                        const bool same = world.cellColor[j] == world.cellColor[i];
                        if ((same ? world.selfStrategy[i] : world.otherStrategy[i]) == 7) ptr -= 0.07;
                        if ((same ? world.selfStrategy[j] : world.otherStrategy[j]) == 7) ptr += 0.11;
                        ++expectedMeetings;
                    }
                    expected[i] = ptr;
                }
                EXPECT_EQ(world.interact(), expectedMeetings);
                for (int i = 0; i < world.cellCount(); ++i) {
                    ASSERT_EQ(world.score[i], expected[i]) << rows << "x" << cols << " cell " << i;
                }
            }
        }
    }
}

TEST(EcologyReproduction, OnlyIntoEmptyNeighboursAndNeverWhenAllAreFull) {
    // A full world: no child whatever the PTR.
    World full = emptyWorld(4, 4, Edges::Wrap);
    for (int i = 0; i < 16; ++i) put(full, i / 4, i % 4, 0, 7, 0);
    full.ecology.ptr = 1.0;
    full.interact();
    const std::vector<CellCode> before = full.cellColor;
    EXPECT_EQ(full.reproduce(), 0);
    EXPECT_EQ(full.cellColor, before);

    // One empty neighbour among agents: the child always goes there; far
    // empty cells are never used.
    World one = emptyWorld(5, 5);
    one.ecology.ptr = 1.0;
    one.ecology.mutation = 0.0;
    for (int t = 0; t < 200; ++t) {
        one.clearCells();
        for (int r = 1; r <= 3; ++r) {
            for (int c = 1; c <= 3; ++c) put(one, r, c, 2, 0, 0);
        }
        put(one, 2, 2, 1, 7, 0);
        const int free = one.index(1, 2);
        one.cellColor[free] = one.selfStrategy[free] = one.otherStrategy[free] = kEmptyCode;
        // Only the centre reproduces: the others' PTR is zero.
        one.interact();
        for (int i = 0; i < 25; ++i) one.score[i] = i == one.index(2, 2) ? 1.0 : 0.0;
        ASSERT_EQ(one.reproduce(), 1);
        EXPECT_EQ(one.cellColor[free], 1);
        EXPECT_EQ(one.selfStrategy[free], 7);
        EXPECT_EQ(one.otherStrategy[free], 0);
        EXPECT_EQ(agents(one), 9);
    }
}

TEST(EcologyReproduction, ChildCellIsUniformAmongEmptyNeighboursAndPtrIsTheChance) {
    World world = emptyWorld(5, 5);
    world.ecology.mutation = 0.0;
    world.random.seed(21);
    constexpr int kTrials = 8000;
    const int neighbours[4] = {world.index(2, 1), world.index(2, 3), world.index(1, 2), world.index(3, 2)};
    std::vector<int> at(4);
    int children = 0;
    world.ecology.ptr = 0.3;
    for (int t = 0; t < kTrials; ++t) {
        world.clearCells();
        put(world, 2, 2, 0, 0, 7);
        world.interact();
        const int born = world.reproduce();
        children += born;
        EXPECT_EQ(agents(world), 1 + born);
        for (int k = 0; k < 4; ++k) at[k] += !world.isEmpty(neighbours[k]);
    }
    EXPECT_NEAR(children, kTrials * 0.3, sixSigma(kTrials, 0.3));
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(at[k], children / 4.0, sixSigma(children, 0.25));
}

TEST(EcologyReproduction, MutationRatesPerTraitAndNewColoursUniform) {
    World world = emptyWorld(3, 3);
    world.ecology.ptr = 1.0;
    world.ecology.colors = 4;
    world.ecology.mutation = 0.1;
    world.random.seed(5);
    constexpr int kTrials = 20000;
    int colorChanged = 0, selfChanged = 0, otherChanged = 0;
    std::vector<int> newColor(4);
    const int child = world.index(1, 2);
    for (int t = 0; t < kTrials; ++t) {
        world.clearCells();
        // The parent's only free neighbour is (1, 2).
        for (int i = 0; i < 9; ++i) put(world, i / 3, i % 3, 3, 0, 0);
        put(world, 1, 1, 2, 7, 0);
        world.cellColor[child] = world.selfStrategy[child] = world.otherStrategy[child] = kEmptyCode;
        for (int i = 0; i < 9; ++i) world.score[i] = i == world.index(1, 1) ? 1.0 : 0.0;
        ASSERT_EQ(world.reproduce(), 1);
        colorChanged += world.cellColor[child] != 2;
        selfChanged += world.selfStrategy[child] != 7;
        otherChanged += world.otherStrategy[child] != 0;
        ++newColor[world.cellColor[child]];
        EXPECT_TRUE(world.selfStrategy[child] == 0 || world.selfStrategy[child] == 7);
    }
    EXPECT_NEAR(colorChanged, kTrials * 0.1, sixSigma(kTrials, 0.1));
    EXPECT_NEAR(selfChanged, kTrials * 0.1, sixSigma(kTrials, 0.1));
    EXPECT_NEAR(otherChanged, kTrials * 0.1, sixSigma(kTrials, 0.1));
    // A mutated colour is one of the three others, each equally likely.
    for (int c : {0, 1, 3}) EXPECT_NEAR(newColor[c], colorChanged / 3.0, sixSigma(colorChanged, 1.0 / 3));

    // No mutation: children are copies; one colour: the colour cannot change.
    for (const auto& [rate, colors] : {std::pair{0.0, 4}, std::pair{1.0, 1}}) {
        world.ecology.mutation = rate;
        world.ecology.colors = colors;
        world.clearCells();
        for (int i = 0; i < 9; ++i) put(world, i / 3, i % 3, 0, 0, 0);
        put(world, 1, 1, 0, 7, 0);
        world.cellColor[child] = world.selfStrategy[child] = world.otherStrategy[child] = kEmptyCode;
        for (int i = 0; i < 9; ++i) world.score[i] = i == world.index(1, 1) ? 1.0 : 0.0;
        ASSERT_EQ(world.reproduce(), 1);
        EXPECT_EQ(world.cellColor[child], 0);
        EXPECT_EQ(world.selfStrategy[child], rate == 0.0 ? 7 : 0);
        EXPECT_EQ(world.otherStrategy[child], rate == 0.0 ? 0 : 7);
    }
}

TEST(EcologyReproduction, ShuffledOrderDependsOnlyOnTheGenerator) {
    // Two parents share one empty cell between them: whoever comes first
    // in the order fills it. Row-major order would always pick the left one.
    auto contest = [](World& world) {
        world.clearCells();
        for (int i = 0; i < 15; ++i) put(world, i / 5, i % 5, 3, 0, 0);
        put(world, 1, 1, 0, 7, 0);
        put(world, 1, 3, 1, 7, 0);
        const int middle = world.index(1, 2);
        world.cellColor[middle] = world.selfStrategy[middle] = world.otherStrategy[middle] = kEmptyCode;
        for (int i = 0; i < 15; ++i) world.score[i] = (i == world.index(1, 1) || i == world.index(1, 3)) ? 1.0 : 0.0;
        EXPECT_EQ(world.reproduce(), 1);
        return static_cast<int>(world.cellColor[middle]);
    };
    World a = emptyWorld(3, 5);
    World b = emptyWorld(3, 5);
    a.ecology.mutation = b.ecology.mutation = 0.0;
    a.random.seed(77);
    b.random.seed(77);
    constexpr int kTrials = 4000;
    int leftFirst = 0;
    for (int t = 0; t < kTrials; ++t) {
        const int winner = contest(a);
        ASSERT_EQ(winner, contest(b));  // the same generator, the same order
        leftFirst += winner == 0;
    }
    EXPECT_NEAR(leftFirst, kTrials / 2.0, sixSigma(kTrials, 0.5));
}

TEST(EcologyDeath, RateOverManyAgentsAndTheTwoEnds) {
    World world = emptyWorld(100, 100, Edges::Wrap);
    world.random.seed(9);
    auto fill = [&world] {
        for (int i = 0; i < world.cellCount(); ++i) put(world, i / 100, i % 100, i % 4, 7, 0);
    };
    fill();
    world.ecology.death = 0.3;
    const int deaths = world.die();
    EXPECT_NEAR(deaths, 10000 * 0.3, sixSigma(10000, 0.3));
    EXPECT_EQ(agents(world), 10000 - deaths);
    for (int i = 0; i < world.cellCount(); ++i) {
        if (world.isEmpty(i)) {
            EXPECT_EQ(world.selfStrategy[i], kEmptyCode);
        }
    }
    fill();
    world.ecology.death = 0.0;
    EXPECT_EQ(world.die(), 0);
    world.ecology.death = 1.0;
    EXPECT_EQ(world.die(), 10000);
    EXPECT_EQ(agents(world), 0);
}

TEST(EcologyPeriod, RepeatsFromItsSeedCountsOnlyAgentsAndSettlesOnlyWhenNothingCanHappen) {
    auto run = [](std::uint32_t seed) {
        World world = emptyWorld(30, 30, Edges::Wrap);
        world.random.seed(seed);
        for (int g = 0; g < 300; ++g) world.stepEcology();
        return world;
    };
    World a = run(4);
    const World b = run(4);
    const World c = run(5);
    EXPECT_EQ(a.generation, 300);
    EXPECT_EQ(a.cellColor, b.cellColor);
    EXPECT_EQ(a.selfStrategy, b.selfStrategy);
    EXPECT_NE(a.cellColor, c.cellColor);
    std::uint64_t counted = 0;
    for (std::uint32_t n : a.pairCounts()) counted += n;
    const EcologyCensus census = takeCensus(a);
    EXPECT_EQ(counted, census.agents);
    EXPECT_EQ(census.agents + census.empty, 900u);
    EXPECT_GT(census.agents, 100u);  // 300 periods grow a population
    std::uint64_t byType = 0, byColor = 0;
    for (auto n : census.types) byType += n;
    for (auto n : census.perColor) byColor += n;
    EXPECT_EQ(byType, census.agents);
    EXPECT_EQ(byColor, census.agents);
    EXPECT_EQ(a.pairCounts()[7 * 8 + 0], census.types[0]);
    EXPECT_EQ(a.pairCounts()[7 * 8 + 7], census.types[1]);
    EXPECT_FALSE(a.isAbsorbing());
    // The period counts the pairs as it removes the dead: every period they
    // are those a count of the whole world gives.
    for (int g = 0; g < 50; ++g) {
        a.stepEcology();
        World recount = a;
        ASSERT_EQ(recount.countPairs(), a.pairCounts()) << "period " << a.generation;
    }

    World still = emptyWorld(3, 3);
    still.ecology.immigrants = 0;
    EXPECT_TRUE(still.isAbsorbing());  // empty, and no one comes
    for (int i = 0; i < 9; ++i) put(still, i / 3, i % 3, 0, 7, 0);
    still.ecology.death = 0.0;
    EXPECT_TRUE(still.isAbsorbing());  // full and immortal
    still.ecology.death = 0.1;
    EXPECT_FALSE(still.isAbsorbing());
}

TEST(EcologyCensusTable, CountsHelpSharesAndFormatsRows) {
    World world = emptyWorld(3, 4, Edges::Fixed);
    put(world, 0, 0, 0, 7, 0);
    put(world, 0, 1, 0, 0, 0);
    put(world, 0, 2, 1, 0, 7);
    put(world, 1, 0, 1, 3, 5);  // an imitation pair: none of the four types
    const EcologyCensus census = takeCensus(world);
    EXPECT_EQ(census.agents, 4u);
    EXPECT_EQ(census.empty, 8u);
    EXPECT_EQ(census.otherPairs, 1u);
    // (0,0)-(0,1) same colour both ways: (0,0) helps, (0,1) does not.
    // (0,1)-(0,2) other colours: (0,1) AllD does not help, (0,2) helps.
    // (0,0)-(1,0) other colours: (0,0) does not help; (1,0)'s code 5 starts with C.
    EXPECT_EQ(census.meetingsSame, 2u);
    EXPECT_EQ(census.helpsSame, 1u);
    EXPECT_EQ(census.meetingsOther, 4u);
    EXPECT_EQ(census.helpsOther, 2u);
    EXPECT_EQ(ecologyStatsHeader(2),
              "generation,agents,empty,green,cyan,ethnocentric,humanitarian,selfish,traitorous,other_pairs,help_same,"
              "help_other\n");
    EXPECT_EQ(ecologyStatsRow(7, census, 2), "7,4,8,2,2,1,0,1,1,1,0.500000,0.500000\n");
    EXPECT_EQ(ecologyStatsRow(0, takeCensus(emptyWorld(3, 3)), 1), "0,0,9,0,0,0,0,0,0,,\n");
}

TEST(EcologyWorldFile, EmptyCellsReadWrittenAndHalfEmptyLinesRefused) {
    const std::string text = "row,col,color,self,other\n0,0,,,\n0,1,1,7,0\n0,2,,,\n1,0,3,0,7\n1,1,,,\n1,2,,,\n"
                             "2,0,,,\n2,1,,,\n2,2,0,7,7\n";
    WorldFile file;
    WorldError error;
    ASSERT_TRUE(parseWorld(text, file, error)) << error.message;
    EXPECT_TRUE(file.hasEmptyCells());
    EXPECT_EQ(file.color[0], kWorldEmptyCode);
    EXPECT_EQ(file.self[0], kWorldEmptyCode);
    EXPECT_EQ(file.color[1], 1);
    EXPECT_EQ(formatWorld(file), text);
    for (const std::string bad : {"0,0,,7,0", "0,0,1,,", "0,0,1,7,"}) {
        const std::string broken = "row,col,color,self,other\n" + bad + "\n";
        EXPECT_FALSE(parseWorld(broken, file, error)) << bad;
        EXPECT_EQ(error.line, 2);
        EXPECT_NE(error.message.find("empty cell"), std::string::npos) << error.message;
    }
}

}  // namespace
}  // namespace talvane::testing
