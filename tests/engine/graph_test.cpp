// Worlds on graphs: scores, candidates and every rule on small graphs worked
// out by hand; the lattice given as a graph against the lattice's own steps;
// the generators' degree and edge counts and their seeds; edge lists read,
// refused and written; thread counts.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "graph.h"
#include "graph_world.h"
#include "payoffs.h"
#include "world.h"
#include "world_seeding.h"

namespace talvane::testing {
namespace {

Graph graphOf(int nodes, const std::vector<Edge>& edges) {
    Graph g;
    std::string error;
    EXPECT_TRUE(graphFromEdges(nodes, edges, g, error)) << error;
    return g;
}

// Every entry different, so that a wrong lookup shows: own * 10 + theirs + 1.
PayoffTable distinctTable() {
    PayoffTable t{};
    for (int a = 0; a < kCodeCount; ++a) {
        for (int b = 0; b < kCodeCount; ++b) t[a][b] = 10.0 * a + b + 1.0;
    }
    return t;
}

// Seeds the world's generator and draws every node's colour (0 or 1) and pair from it.
void seedAtRandom(GraphWorld& w, std::uint32_t seed) {
    w.random.seed(seed);
    for (int i = 0; i < w.nodeCount(); ++i) {
        w.nodeColor[i] = static_cast<CellCode>(w.random.next() >> 31);
        w.selfStrategy[i] = static_cast<CellCode>(w.random.next() >> 29);
        w.otherStrategy[i] = static_cast<CellCode>(w.random.next() >> 29);
    }
}

TEST(GraphWorldByHand, ScoresFollowColoursEdgesPlaySelfAndTheExtraPoint) {
    // A star: centre 0 with leaves 1..4; node 5 alone.
    GraphWorld w(graphOf(6, {{0, 1}, {0, 2}, {3, 0}, {0, 4}}));
    w.payoffTable = distinctTable();
    w.nodeColor = {0, 0, 1, 0, 1, 0};
    w.selfStrategy = {1, 2, 3, 4, 5, 6};
    w.otherStrategy = {2, 7, 6, 5, 4, 3};
    // Centre: same colour as 1 and 3 (self 1 against their self codes 2, 4),
    // other colour than 2 and 4 (others 2 against their others codes 6, 4).
    const double centre = (10 + 2 + 1) + (10 + 4 + 1) + (20 + 6 + 1) + (20 + 4 + 1);
    EXPECT_EQ(w.scoreNode(0), centre);
    EXPECT_EQ(w.scoreNode(2), 60 + 2 + 1);  // others 6 against the centre's others 2
    EXPECT_EQ(w.scoreNode(5), 0.0);         // plays nobody
    w.playSelf = true;
    w.extraPoint = true;
    // Two same-colour games earn the extra point, and so does the game with itself.
    EXPECT_EQ(w.scoreNode(0), centre + 2.0 + (10 + 1 + 1) + 1.0);
    EXPECT_EQ(w.scoreNode(5), 60 + 6 + 1 + 1.0);
    w.selfStrategy[0] = w.otherStrategy[0] = 2;  // no discrimination, no extra point
    EXPECT_EQ(w.scoreNode(0), (20 + 2 + 1) + (20 + 4 + 1) + (20 + 6 + 1) + (20 + 4 + 1) + (20 + 2 + 1));
    // The whole step scores as scoreNode does.
    const std::vector<double> each = {w.scoreNode(0), w.scoreNode(1), w.scoreNode(2),
                                      w.scoreNode(3), w.scoreNode(4), w.scoreNode(5)};
    w.step(1);
    EXPECT_EQ(w.score, each);
}

TEST(GraphWorldByHand, ImitationTakesTheBestAndBreaksTiesByTheDraw) {
    // A path 0-1-2-3.
    GraphWorld w(graphOf(4, {{0, 1}, {1, 2}, {2, 3}}));
    w.selfStrategy = {1, 2, 3, 4};
    w.otherStrategy = {1, 2, 3, 4};
    w.score = {5.0, 1.0, 5.0, 9.0};
    // Node 1: its two neighbours tie at 5. Start 0 has no place before it:
    // the last at the best, node 2; start 1 (draw >= 2^31) gives node 0.
    EXPECT_EQ(w.chooseNode(1, 0u), 2);
    EXPECT_EQ(w.chooseNode(1, 0x7fffffffu), 2);
    EXPECT_EQ(w.chooseNode(1, 0x80000000u), 0);
    EXPECT_EQ(w.chooseNode(1, 0xffffffffu), 0);
    EXPECT_EQ(w.chooseNode(2, 0u), 3);  // the better one
    EXPECT_EQ(w.chooseNode(3, 0u), 3);  // it is the best itself
    w.score = {5.0, 5.0, 4.0, 9.0};
    EXPECT_EQ(w.chooseNode(1, 0u), 1);  // as good as the best: keeps its own
    w.score = {-1.0, -3.0, -2.0, -5.0};
    EXPECT_EQ(w.chooseNode(1, 0u), 1);  // everything below zero: nothing taken
    EXPECT_EQ(w.chooseNode(3, 0u), 3);

    // A triangle 0-1-2 with a pendant 3 on 2, and isolated 4: a synchronous step.
    GraphWorld t(graphOf(5, {{0, 1}, {1, 2}, {2, 0}, {2, 3}}));
    t.payoffTable = finitePayoffTable(3, 0, 5, 1);
    // 0 and 1 cooperate (AllC = 7), 2 and 3 defect (AllD = 0), 4 cooperates alone.
    t.selfStrategy = t.otherStrategy = {7, 7, 0, 0, 7};
    t.step(1);
    // 0 and 1 score 600 + 0, 2 scores 1000 + 1000 + 200, 3 scores 200, 4 nothing.
    EXPECT_EQ(t.score, (std::vector<double>{600, 600, 2200, 200, 0}));
    EXPECT_EQ(t.selfStrategy, (std::vector<CellCode>{0, 0, 0, 0, 7}));
    EXPECT_EQ(t.pairCounts()[0], 4u);
    EXPECT_EQ(t.pairCounts()[7 * 8 + 7], 1u);
}

TEST(GraphWorldByHand, VariantsKeepScoresCurrentAndFollowTheirRules) {
    for (const bool whole : {true, false}) {
        GraphWorld w(graphOf(7, {{0, 1}, {0, 2}, {0, 3}, {0, 4}, {4, 5}, {2, 5}}));  // node 6 isolated
        w.payoffTable = whole ? finitePayoffTable(3, 0, 5, 1) : finitePayoffTableOf({3.1, 0.2, 5.3, 1.05});
        w.extraPoint = true;
        seedAtRandom(w, 11);
        const CellCode aloneSelf = w.selfStrategy[6], aloneOther = w.otherStrategy[6];
        w.scoreAll();
        for (std::uint32_t draw = 0; draw < 40; ++draw) {
            const int node = static_cast<int>(draw % 6);
            w.updateNode(node, draw * 0x9e3779b9u);
            for (int i = 0; i < 7; ++i) {
                if (whole) {
                    ASSERT_EQ(w.score[i], w.scoreNode(i)) << "node " << i;
                } else {
                    ASSERT_NEAR(w.score[i], w.scoreNode(i), 1e-9) << "node " << i;
                }
            }
        }
        w.selection = 0.05;
        int generations = 0;
        for (const UpdateRule rule :
             {UpdateRule::Fermi, UpdateRule::Asynchronous, UpdateRule::FermiSynchronous, UpdateRule::Proportional,
              UpdateRule::ProportionalSequential, UpdateRule::DeathBirth, UpdateRule::BirthDeath}) {
            w.updateRule = rule;
            for (int g = 0; g < 5; ++g, ++generations) {
                w.stepVariant();
                for (int i = 0; i < 7; ++i) {
                    if (whole) {
                        ASSERT_EQ(w.score[i], w.scoreNode(i)) << updateRuleName(rule) << " node " << i;
                    } else {
                        ASSERT_NEAR(w.score[i], w.scoreNode(i), 1e-9) << updateRuleName(rule) << " node " << i;
                    }
                }
            }
        }
        EXPECT_EQ(w.selfStrategy[6], aloneSelf);
        EXPECT_EQ(w.otherStrategy[6], aloneOther);
        EXPECT_EQ(w.generation, generations);
    }
    // Fermi: a neighbour far better is taken at any chance below one, one far
    // worse at no chance above 1e-17; the same pair is never a change.
    GraphWorld f(graphOf(3, {{0, 1}, {1, 2}}));
    f.selfStrategy = {1, 2, 3};
    f.otherStrategy = {1, 2, 3};
    f.score = {0.0, 50.0, 100.0};
    f.noise = 0.1;
    EXPECT_FALSE(f.compareWithNeighbour(1, 0, 1e-9));
    EXPECT_TRUE(f.compareWithNeighbour(1, 1, 0.999));
    EXPECT_EQ(f.selfStrategy[1], 3);
    f.score = {0.0, 50.0, 100.0};
    EXPECT_FALSE(f.compareWithNeighbour(1, 1, 1e-9));
    // Absorbing: a path of one pair is; a better neighbour with another pair is not.
    GraphWorld a(graphOf(3, {{0, 1}, {1, 2}}));
    a.payoffTable = finitePayoffTable(3, 0, 5, 1);
    a.updateRule = UpdateRule::Asynchronous;
    EXPECT_TRUE(a.isAbsorbing());
    a.selfStrategy = a.otherStrategy = {0, 7, 7};
    EXPECT_FALSE(a.isAbsorbing());
}

// A star: node 0 in the middle, leaves 1, 2, 3, one colour. With the
// distinct table (own * 10 + theirs + 1) and self codes 0, 7, 3, 3 the
// leaves score 71, 31, 31 and the middle 8 + 4 + 4 = 16; D = 78 - 1 = 77.
GraphWorld scoredStar() {
    GraphWorld w(graphOf(4, {{0, 1}, {0, 2}, {0, 3}}));
    w.payoffTable = distinctTable();
    w.selfStrategy = {0, 7, 3, 3};
    w.otherStrategy = {0, 7, 3, 3};
    w.selection = 0.05;
    w.scoreAll();
    EXPECT_EQ(w.score, (std::vector<double>{16, 71, 31, 31}));
    return w;
}

// How often, over many seeds, one update (or one synchronous generation)
// of the rule leaves the middle node with each self code.
std::vector<double> middleOutcomes(UpdateRule rule, int trials) {
    std::vector<double> share(kCodeCount, 0.0);
    const GraphWorld start = scoredStar();
    const bool synchronous = rule == UpdateRule::Proportional || rule == UpdateRule::FermiSynchronous;
    for (int t = 0; t < trials; ++t) {
        GraphWorld w = start;
        w.updateRule = rule;
        w.random.seed(static_cast<std::uint32_t>(1000 + t));
        if (synchronous) w.stepVariant();
        else w.singleUpdates(1);
        share[w.selfStrategy[0]] += 1.0 / trials;
    }
    return share;
}

TEST(GraphWorldByHand, NewRulesPickWithTheChancesWorkedOutByHand) {
    // Each expected share is computed below from the scores 16 (middle),
    // 71, 31, 31; over 20,000 seeds a share's standard deviation is at most
    // 0.0036, and each bound is six of them.
    constexpr int kTrials = 20000;
    const auto bound = [](double p) { return 6.0 * std::sqrt(p * (1.0 - p) / kTrials); };
    const double f71 = std::exp(0.05 * 71), f31 = std::exp(0.05 * 31), f16 = std::exp(0.05 * 16);
    struct Case {
        UpdateRule rule;
        double takes7, takes3;  // chance that the middle ends with self code 7, with 3
    };
    const Case cases[] = {
        // The middle draws one leaf and copies it with (P_y - 16) / (max(3, 1) * 77).
        {UpdateRule::Proportional, (1.0 / 3) * 55.0 / 231.0, (2.0 / 3) * 15.0 / 231.0},
        // The same, once the middle is the node drawn (one in four).
        {UpdateRule::ProportionalSequential, 0.25 * (1.0 / 3) * 55.0 / 231.0, 0.25 * (2.0 / 3) * 15.0 / 231.0},
        // The middle dies (one in four) and a leaf is chosen by fitness.
        {UpdateRule::DeathBirth, 0.25 * f71 / (f71 + 2 * f31), 0.25 * 2 * f31 / (f71 + 2 * f31)},
        // A leaf reproduces by fitness among all four nodes; its only neighbour is the middle.
        {UpdateRule::BirthDeath, f71 / (f16 + f71 + 2 * f31), 2 * f31 / (f16 + f71 + 2 * f31)},
    };
    for (const Case& c : cases) {
        const std::vector<double> share = middleOutcomes(c.rule, kTrials);
        EXPECT_NEAR(share[7], c.takes7, bound(c.takes7)) << updateRuleName(c.rule);
        EXPECT_NEAR(share[3], c.takes3, bound(c.takes3)) << updateRuleName(c.rule);
        EXPECT_NEAR(share[0], 1.0 - c.takes7 - c.takes3, bound(c.takes7 + c.takes3)) << updateRuleName(c.rule);
    }
    // A leaf never copies the middle, which scores less, under proportional imitation.
    for (int t = 0; t < 200; ++t) {
        GraphWorld w = scoredStar();
        w.updateRule = UpdateRule::Proportional;
        w.random.seed(static_cast<std::uint32_t>(t));
        w.stepVariant();
        ASSERT_EQ(w.selfStrategy[1], 7);
        ASSERT_EQ(w.selfStrategy[2], 3);
    }
    // Absorbing under proportional imitation: only a better neighbour with
    // another pair is ever copied.
    GraphWorld a = scoredStar();
    a.updateRule = UpdateRule::ProportionalSequential;
    EXPECT_FALSE(a.isAbsorbing());
    // An AllD middle and AllC leaves with R, S, T, P = 5, 3, 1, 0: every
    // node scores 600, so nobody copies anybody.
    a.selfStrategy = {0, 7, 7, 7};
    a.otherStrategy = {0, 7, 7, 7};
    a.payoffTable = finitePayoffTable(5, 3, 1, 0);
    EXPECT_TRUE(a.isAbsorbing());
    a.payoffTable = finitePayoffTable(5, 2, 1, 0);  // now the middle scores more
    EXPECT_FALSE(a.isAbsorbing());
    a.updateRule = UpdateRule::DeathBirth;
    EXPECT_FALSE(a.isAbsorbing());
}

// --- The lattice as a graph ---

void randomCells(World& w, std::uint32_t seed) {
    Mt19937 r(seed);
    for (int i = 0; i < w.cellCount(); ++i) {
        w.cellColor[i] = static_cast<CellCode>(r.next() >> 30);
        w.selfStrategy[i] = static_cast<CellCode>(r.next() >> 29);
        w.otherStrategy[i] = static_cast<CellCode>(r.next() >> 29);
    }
}

GraphWorld asGraph(const World& w, Graph g) {
    GraphWorld gw(std::move(g));
    gw.nodeColor = w.cellColor;
    gw.selfStrategy = w.selfStrategy;
    gw.otherStrategy = w.otherStrategy;
    gw.payoffTable = w.payoffTable;
    gw.playSelf = w.playSelf;
    gw.extraPoint = w.extraPoint;
    gw.updateRule = w.updateRule;
    gw.mutation = w.mutation;
    gw.random = w.random;
    return gw;
}

void expectSame(const World& w, const GraphWorld& g, const std::string& what) {
    ASSERT_EQ(w.selfStrategy, g.selfStrategy) << what;
    ASSERT_EQ(w.otherStrategy, g.otherStrategy) << what;
    ASSERT_EQ(w.score, g.score) << what;
    ASSERT_EQ(w.pairCounts(), g.pairCounts()) << what;
}

TEST(LatticeAsGraph, GivesTheLatticesRunsForEverySizeNeighbourhoodAndEdge) {
    const int sizes[][2] = {{3, 3}, {3, 5}, {7, 4}, {16, 16}, {31, 9}};
    int compared = 0;
    for (const auto& size : sizes) {
        for (const Neighbourhood hood : {Neighbourhood::Moore, Neighbourhood::VonNeumann}) {
            for (const Edges edges : {Edges::Wrap, Edges::Fixed}) {
                for (const bool ties : {false, true}) {
                    const WorldShape shape{size[0], size[1], edges, hood};
                    const std::string what = std::to_string(size[0]) + "x" + std::to_string(size[1]) + " " +
                                             neighbourhoodName(hood) + " " + edgesName(edges) +
                                             (ties ? " ties" : "");
                    World w(shape);
                    randomCells(w, 17u + static_cast<std::uint32_t>(compared));
                    // All-equal payoffs make every score a count of games: ties everywhere.
                    if (ties) {
                        for (auto& row : w.payoffTable) row.fill(1.0);
                    } else {
                        w.payoffTable = finitePayoffTable(3, 0, 5, 1);
                    }
                    w.playSelf = compared % 3 == 0;
                    w.extraPoint = compared % 2 == 0;
                    w.random.seed(100u + static_cast<std::uint32_t>(compared));
                    // Through the generator, and through a written and re-read edge list.
                    Graph reread;
                    EdgeListError error;
                    ASSERT_TRUE(parseEdgeList(formatEdgeList(latticeGraph(shape)), reread, error)) << error.reason;
                    ASSERT_EQ(graphChecksum(reread), graphChecksum(latticeGraph(shape))) << what;
                    GraphWorld g = asGraph(w, latticeGraph(shape));
                    GraphWorld h = asGraph(w, std::move(reread));
                    for (int gen = 0; gen < 25; ++gen) {
                        w.step(1);
                        g.step(1);
                        h.step(1);
                        expectSame(w, g, what + " generation " + std::to_string(gen));
                        expectSame(w, h, what + " re-read, generation " + std::to_string(gen));
                    }
                    ++compared;
                }
            }
        }
    }
    EXPECT_EQ(compared, 40);
}

TEST(LatticeAsGraph, GivesTheLatticesVariantsAndMutation) {
    for (const UpdateRule rule :
         {UpdateRule::Asynchronous, UpdateRule::Fermi, UpdateRule::FermiSynchronous, UpdateRule::Proportional,
          UpdateRule::ProportionalSequential, UpdateRule::DeathBirth, UpdateRule::BirthDeath}) {
        for (const Edges edges : {Edges::Wrap, Edges::Fixed}) {
            for (const Neighbourhood hood : {Neighbourhood::Moore, Neighbourhood::VonNeumann}) {
                const WorldShape shape{9, 12, edges, hood};
                World w(shape);
                randomCells(w, 5);
                w.payoffTable = finitePayoffTable(3, 0, 5, 1);
                w.updateRule = rule;
                w.noise = 50.0;
                w.selection = 0.01;
                w.playSelf = hood == Neighbourhood::VonNeumann;
                w.mutation = 0.01;
                w.random.seed(77);
                GraphWorld g = asGraph(w, latticeGraph(shape));
                g.noise = w.noise;
                g.selection = w.selection;
                const std::string what = std::string(updateRuleName(rule)) + " " + edgesName(edges) + " " +
                                         neighbourhoodName(hood);
                for (int gen = 0; gen < 10; ++gen) {
                    w.stepVariant();
                    g.stepVariant();
                    ASSERT_EQ(w.mutate(), g.mutate()) << what;
                    expectSame(w, g, what + " generation " + std::to_string(gen));
                }
                EXPECT_EQ(w.isAbsorbing(), g.isAbsorbing()) << what;
            }
        }
    }
}

// --- Generators ---

Graph drawn(const std::string& recipe, std::uint32_t seed) {
    NetworkRecipe s;
    std::string error;
    EXPECT_TRUE(parseNetworkRecipe(recipe, s, error)) << recipe << ": " << error;
    Mt19937 random(seed);
    Graph g;
    EXPECT_TRUE(generateNetwork(s, random, g, error)) << recipe << ": " << error;
    return g;
}

// Every list ascending, no self-loop, each edge seen from both ends.
void expectSimple(const Graph& g) {
    for (int u = 0; u < g.nodes; ++u) {
        for (std::uint32_t e = g.offsets[u]; e < g.offsets[u + 1]; ++e) {
            const int v = g.neighbours[e];
            ASSERT_NE(u, v);
            if (e > g.offsets[u] && g.lattice == std::nullopt) {
                ASSERT_LT(g.neighbours[e - 1], v);
            }
            const auto* first = g.neighbours.data() + g.offsets[v];
            const auto* last = g.neighbours.data() + g.offsets[v + 1];
            ASSERT_NE(std::find(first, last, u), last) << u << "-" << v << " not seen from " << v;
        }
    }
}

TEST(Generators, DrawTheDegreesAndEdgeCountsOfTheirDefinitions) {
    for (const int k : {1, 3, 4, 7}) {
        const Graph g = drawn("random-regular:1000:" + std::to_string(k), 3);
        expectSimple(g);
        EXPECT_EQ(g.edgeCount(), 1000 * k / 2);
        const DegreeStats d = degreeStats(g);
        EXPECT_EQ(d.minimum, k);
        EXPECT_EQ(d.maximum, k);
    }
    for (const int m : {1, 2, 5}) {
        const int n = 3000;
        const Graph g = drawn("scale-free:" + std::to_string(n) + ":" + std::to_string(m), 4);
        expectSimple(g);
        EXPECT_EQ(g.edgeCount(), m * (m + 1) / 2 + (n - m - 1) * m);
        EXPECT_EQ(degreeStats(g).minimum, m);
        // The first M + 1 nodes are joined to one another.
        for (int a = 0; a <= m; ++a) EXPECT_GE(g.degree(a), m);
        // Preferential attachment makes hubs: the largest degree far above the mean.
        EXPECT_GT(degreeStats(g).maximum, 10 * 2 * m);
    }
    {
        const Graph ring = drawn("small-world:50:4:0", 5);
        expectSimple(ring);
        for (int u = 0; u < 50; ++u) {
            ASSERT_EQ(ring.degree(u), 4);
            for (const int j : {1, 2, 48, 49}) {
                const auto* first = ring.neighbours.data() + ring.offsets[u];
                EXPECT_NE(std::find(first, first + 4, (u + j) % 50), first + 4);
            }
        }
        const Graph rewired = drawn("small-world:2000:6:0.2", 5);
        expectSimple(rewired);
        EXPECT_EQ(rewired.edgeCount(), 6000);
        EXPECT_NE(graphChecksum(rewired), graphChecksum(drawn("small-world:2000:6:0", 5)));
    }
    {
        EXPECT_EQ(drawn("erdos-renyi:40:1", 1).edgeCount(), 40 * 39 / 2);
        EXPECT_EQ(drawn("erdos-renyi:40:0", 1).edgeCount(), 0);
        // 2000 nodes at P = 0.01: mean 19990 edges, deviation 140; 7 deviations either side.
        const Graph g = drawn("erdos-renyi:2000:0.01", 9);
        expectSimple(g);
        EXPECT_NEAR(static_cast<double>(g.edgeCount()), 19990.0, 7 * 140.0);
    }
    {
        const Graph torus = drawn("lattice:5:6:moore", 1);
        EXPECT_EQ(torus.edgeCount(), 30 * 8 / 2);
        const Graph fixed = drawn("lattice:5:6:von-neumann:fixed", 1);
        EXPECT_EQ(fixed.edgeCount(), 5 * 5 + 4 * 6);
        EXPECT_EQ(fixed.degree(0), 2);
        EXPECT_EQ(fixed.degree(7), 4);
    }
}

TEST(Generators, RepeatFromTheSeedAndDifferAcrossSeeds) {
    for (const std::string recipe : {"random-regular:500:4", "small-world:500:4:0.3", "scale-free:500:2",
                                   "erdos-renyi:500:0.02"}) {
        EXPECT_EQ(graphChecksum(drawn(recipe, 21)), graphChecksum(drawn(recipe, 21))) << recipe;
        EXPECT_NE(graphChecksum(drawn(recipe, 21)), graphChecksum(drawn(recipe, 22))) << recipe;
    }
    NetworkRecipe s;
    std::string error;
    for (const std::string bad : {"random-regular:5:3", "random-regular:10:10", "small-world:10:3:0.1",
                                  "small-world:10:4:1.5", "scale-free:10:9", "erdos-renyi:2:0.5",
                                  "lattice:2:5:moore", "lattice:5:5:hex", "lattice:5:5:moore:open", "tree:10",
                                  "scale-free:100", "scale-free:100:x"}) {
        EXPECT_FALSE(parseNetworkRecipe(bad, s, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

// --- Edge lists ---

TEST(EdgeLists, ReadCommentsCommasAndIsolatedNodesAndWriteBack) {
    Graph g;
    EdgeListError error;
    ASSERT_TRUE(parseEdgeList("# a triangle and a pendant\nnodes 6\n0 1\n1,2\n\n 2\t0 # closing\n3 2\r\n", g, error))
        << error.reason;
    EXPECT_EQ(g.nodes, 6);
    EXPECT_EQ(g.edgeCount(), 4);
    EXPECT_EQ(g.degree(2), 3);
    EXPECT_EQ(g.degree(5), 0);
    EXPECT_EQ(formatEdgeList(g), "nodes 6\n0 1\n0 2\n1 2\n2 3\n");
    Graph back;
    ASSERT_TRUE(parseEdgeList(formatEdgeList(g), back, error));
    EXPECT_EQ(graphChecksum(back), graphChecksum(g));
    ASSERT_TRUE(parseEdgeList("0 1\n1 2\n", g, error));
    EXPECT_EQ(g.nodes, 3);
}

TEST(EdgeLists, RefuseBadLinesWithTheirLineAndReason) {
    const struct {
        const char* text;
        int line;
        const char* reason;
    } cases[] = {
        {"0 1\n# c\n2 2\n", 3, "self-loop"},
        {"0 1\n1 2\n2 1\n", 3, "repeated edge"},
        {"0 1\n1 -2\n", 2, "negative node"},
        {"0 1\n1 two\n", 2, "not a node number"},
        {"0 1 2\n", 1, "two node numbers"},
        {"nodes 4\n0 1\n1 4\n", 3, "nodes 4"},
        {"0 1\n1 99999999\n", 2, "beyond the most nodes"},
        {"0 1\nnodes 4\n", 2, "first line"},
        {"0 1\n", 0, "at least 3 nodes"},
        {"lattice 4 4 moore wrap\n0 1\n0 4\n0 2\n", 4, "not an edge of the lattice"},
        {"lattice 3 3 von-neumann wrap\n0 1\n", 0, "the lattice has 18 edges"},
    };
    for (const auto& c : cases) {
        Graph g;
        EdgeListError error;
        EXPECT_FALSE(parseEdgeList(c.text, g, error)) << c.text;
        EXPECT_EQ(error.line, c.line) << c.text;
        EXPECT_NE(error.reason.find(c.reason), std::string::npos) << c.text << " gave: " << error.reason;
    }
    std::string reason;
    Graph g;
    EXPECT_FALSE(graphFromEdges(4, {{0, 1}, {1, 0}}, g, reason));
    EXPECT_NE(reason.find("repeated"), std::string::npos);
    EXPECT_FALSE(graphFromEdges(4, {{0, 4}}, g, reason));
}

TEST(GraphWorldThreads, StepsByteIdenticallyOnAnyNumberOfThreads) {
    const Graph g = drawn("scale-free:60000:2", 8);
    std::vector<GraphWorld> worlds;
    for (int t = 0; t < 3; ++t) {
        GraphWorld w(g);
        w.payoffTable = finitePayoffTableOf({3.0, 0.25, 4.9, 1.1});
        seedAtRandom(w, 31);
        worlds.push_back(std::move(w));
    }
    for (int gen = 0; gen < 8; ++gen) {
        for (int t = 0; t < 3; ++t) worlds[t].step(t + 1);
        for (int t = 1; t < 3; ++t) {
            ASSERT_EQ(worlds[t].selfStrategy, worlds[0].selfStrategy) << "threads " << t + 1;
            ASSERT_EQ(worlds[t].otherStrategy, worlds[0].otherStrategy) << "threads " << t + 1;
            ASSERT_EQ(worlds[t].score, worlds[0].score) << "threads " << t + 1;
            ASSERT_EQ(worlds[t].pairCounts(), worlds[0].pairCounts()) << "threads " << t + 1;
        }
    }
    // The run went somewhere: not every node kept its first pair.
    EXPECT_LT(worlds[0].pairCounts()[0], 60000u);
}


// The whole-graph step chooses as chooseNode does, node by node, from the
// scores scoreNode gives: with whole payoffs (whose scores it compares as
// 32-bit integers), with decimals, with whole payoffs too large for 32 bits,
// and with negative ones (where nothing below zero is taken).
TEST(GraphWorldStep, ChoosesAsNodeByNodeForEveryKindOfPayoff) {
    const Graph g = drawn("scale-free:3000:3", 5);
    const std::vector<std::array<double, 4>> payoffs = {
        {3.0, 0.0, 5.0, 1.0}, {3.0, 0.25, 4.9, 1.1}, {3e7, 0.0, 5e7, 1e7}, {-1.0, -3.0, 0.0, -2.0}};
    for (const auto& p : payoffs) {
        GraphWorld w(g);
        w.payoffTable = finitePayoffTableOf(p);
        seedAtRandom(w, 12);
        for (int gen = 0; gen < 4; ++gen) {
            std::vector<std::uint32_t> draws(static_cast<std::size_t>(w.nodeCount()));
            for (auto& d : draws) d = w.random.next();
            w.scoreAll();
            const std::vector<double> scores = w.score;
            std::vector<CellCode> self(draws.size()), other(draws.size());
            for (int u = 0; u < w.nodeCount(); ++u) {
                const int from = w.chooseNode(u, draws[static_cast<std::size_t>(u)]);
                self[static_cast<std::size_t>(u)] = w.selfStrategy[from];
                other[static_cast<std::size_t>(u)] = w.otherStrategy[from];
            }
            w.step(draws.data());
            ASSERT_EQ(w.score, scores) << "payoffs " << p[0] << " generation " << gen;
            ASSERT_EQ(w.selfStrategy, self) << "payoffs " << p[0] << " generation " << gen;
            ASSERT_EQ(w.otherStrategy, other) << "payoffs " << p[0] << " generation " << gen;
        }
    }
}


// After a step, the next one scores again only the nodes near a change and
// makes again only the choices that may differ. It must give what a step
// from scratch gives, generation after generation, through nodes painted
// between steps (some in ways that leave their scores), new payoffs and more
// threads.
TEST(GraphWorldStep, AStepAfterAStepGivesWhatAStepFromScratchGives) {
    const Graph g = drawn("scale-free:40000:2", 9);
    for (const std::array<double, 4>& p : {std::array<double, 4>{3.0, 0.0, 5.0, 1.0}, std::array<double, 4>{3.0, 0.25, 4.9, 1.1}}) {
        GraphWorld kept(g);
        kept.payoffTable = finitePayoffTableOf(p);
        seedAtRandom(kept, 4);
        GraphWorld fresh = kept;
        std::mt19937 rng(8);
        for (int gen = 0; gen < 60; ++gen) {
            if (gen % 10 == 7) {
                // A few nodes painted, the hub among them.
                for (int k = 0; k < 5; ++k) {
                    const auto u = static_cast<std::size_t>(k == 0 ? 0 : rng() % 40000);
                    kept.selfStrategy[u] = fresh.selfStrategy[u] = static_cast<CellCode>(rng() % 8);
                    kept.otherStrategy[u] = fresh.otherStrategy[u] = static_cast<CellCode>(rng() % 8);
                }
            }
            if (gen % 10 == 3) {
                // A new self strategy for nodes that play only other colours:
                // their scores stay, but their neighbours may take the new pair.
                int painted = 0;
                for (int u = 0; u < 40000 && painted < 40; u += 97) {
                    bool alone = true;
                    for (std::uint32_t e = g.offsets[u]; e < g.offsets[u + 1]; ++e) {
                        alone = alone && kept.nodeColor[g.neighbours[e]] != kept.nodeColor[u];
                    }
                    if (!alone) continue;
                    const auto i = static_cast<std::size_t>(u);
                    kept.selfStrategy[i] = fresh.selfStrategy[i] = static_cast<CellCode>((kept.selfStrategy[i] + 1) % 8);
                    ++painted;
                }
            }
            if (gen == 45) kept.payoffTable = fresh.payoffTable = finitePayoffTableOf({4.0, 0.0, 5.0, 1.0});
            fresh.forgetLastStep();
            kept.step(1 + gen % 2);
            fresh.step(1);
            ASSERT_EQ(kept.selfStrategy, fresh.selfStrategy) << "payoffs " << p[1] << " generation " << gen;
            ASSERT_EQ(kept.otherStrategy, fresh.otherStrategy) << "payoffs " << p[1] << " generation " << gen;
            ASSERT_EQ(kept.score, fresh.score) << "payoffs " << p[1] << " generation " << gen;
            ASSERT_EQ(kept.pairCounts(), fresh.pairCounts()) << "payoffs " << p[1] << " generation " << gen;
        }
        EXPECT_GT(kept.partialSteps(), 0u) << "no step kept any node's score: that path went untested";
    }
}


TEST(GraphWorldFiles, RoundTripAndRefuseBadLines) {
    GraphWorld w(graphOf(5, {{0, 1}, {1, 2}, {3, 4}}));
    w.nodeColor = {0, 2, 2, 0, 1};
    w.selfStrategy = {7, 0, 6, 1, 3};
    w.otherStrategy = {0, 7, 6, 2, 5};
    const std::string text = formatNodeFile(nodeCellsOf(w));
    EXPECT_EQ(text, "node,color,self,other\n0,0,7,0\n1,2,0,7\n2,2,6,6\n3,0,1,2\n4,1,3,5\n");
    NodeCells back;
    WorldError error;
    ASSERT_TRUE(parseNodeFile(text, back, error)) << error.message;
    EXPECT_EQ(back.color, w.nodeColor);
    EXPECT_EQ(back.self, w.selfStrategy);
    EXPECT_EQ(back.other, w.otherStrategy);
    std::string windows = "node,color,self,other\r\n0,0,7,0\r\n1,2,0,7";  // no line end at the end
    ASSERT_TRUE(parseNodeFile(windows, back, error)) << error.message;
    EXPECT_EQ(back.count(), 2);
    const std::pair<const char*, long> bad[] = {
        {"row,col,color,self,other\n0,0,0,0,0\n", 1},
        {"node,color,self,other\n0,0,7,0\n2,0,7,0\n", 3},  // a node left out
        {"node,color,self,other\n0,0,8,0\n", 2},            // no such code
        {"node,color,self,other\n0,0,7\n", 2},
        {"node,color,self,other\n0,0,7,0,1\n", 2},
        {"node,color,self,other\n0,0,-7,0\n", 2},
        {"node,color,self,other\n0,0,7,0\n\n1,0,7,0\n", 3},  // a blank line
        {"node,color,self,other\n", 0},                      // no nodes
    };
    for (const auto& [file, line] : bad) {
        EXPECT_FALSE(parseNodeFile(file, back, error)) << file;
        EXPECT_EQ(error.line, line) << file << ": " << error.message;
    }
}

TEST(GraphSeeding, LayoutsFollowNodeNumbersAndThePoolsHold) {
    std::vector<Edge> ring;
    for (int i = 0; i < 101; ++i) ring.push_back({i, (i + 1) % 101});
    GraphWorld w(graphOf(101, ring));
    SeedingOptions options;
    options.layout = ColorLayout::Segregated;
    options.selfExcluded.fill(true);
    options.selfExcluded[6] = false;
    options.otherExcluded.fill(true);
    options.otherExcluded[0] = options.otherExcluded[7] = false;
    w.random.seed(3);
    seedGraphWorld(w, options);
    for (int i = 0; i < 101; ++i) {
        EXPECT_EQ(w.nodeColor[i], i < 50 ? 0 : 2) << i;
        EXPECT_EQ(w.selfStrategy[i], 6);
        EXPECT_TRUE(w.otherStrategy[i] == 0 || w.otherStrategy[i] == 7);
    }
    options.layout = ColorLayout::Random;
    w.random.seed(3);
    seedGraphWorld(w, options);
    int green = 0;
    for (int i = 0; i < 101; ++i) {
        EXPECT_TRUE(w.nodeColor[i] == 0 || w.nodeColor[i] == 2);
        green += w.nodeColor[i] == 0;
    }
    EXPECT_GT(green, 0);
    EXPECT_LT(green, 101);
    // A lattice graph seeds as the lattice world with the same seed.
    World lattice(WorldShape{7, 9, Edges::Wrap, Neighbourhood::Moore});
    SeedingOptions checkerboard;
    checkerboard.seed = 21;
    seedWorld(lattice, checkerboard);
    GraphWorld graph(latticeGraph(lattice.shape()));
    graph.random.seed(21);
    seedGraphWorld(graph, checkerboard);
    EXPECT_EQ(graph.nodeColor, lattice.cellColor);
    EXPECT_EQ(graph.selfStrategy, lattice.selfStrategy);
    EXPECT_EQ(graph.otherStrategy, lattice.otherStrategy);
}

}  // namespace
}  // namespace talvane::testing
