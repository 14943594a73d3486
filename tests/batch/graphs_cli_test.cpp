// talvane-batch on graphs: the lattice given as a graph (generated, or its
// saved edge list read back) runs as the lattice does; a generated network
// repeats with its seed and is written out to be reused; graph world files
// are saved and loaded; bad edge lists and options that do not fit a graph
// are refused before anything is written.
#include <gtest/gtest.h>

#include <sstream>

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

// A lattice run and the same run with the lattice as a graph, twice: once
// drawn by --network, once read back from the edge list it saved.
void expectLatticeEquivalence(const std::vector<std::string>& rules, const std::string& size,
                              const std::vector<std::string>& shape, const std::string& recipe) {
    Sandbox box;
    std::vector<std::string> lattice{"--seed", "11", "--generations", "25", "--size", size,
                                     "--log", "lattice.csv", "--stats", "lattice-stats.csv"};
    lattice.insert(lattice.end(), shape.begin(), shape.end());
    lattice.insert(lattice.end(), rules.begin(), rules.end());
    ASSERT_EQ(box.run(lattice).status, 0);
    std::vector<std::string> drawn{"--seed", "11", "--generations", "25", "--network", recipe, "--log", "drawn.csv",
                                   "--stats", "drawn-stats.csv", "--save-graph", "edges.txt"};
    drawn.insert(drawn.end(), rules.begin(), rules.end());
    const Outcome first = box.run(drawn);
    ASSERT_EQ(first.status, 0) << first.err;
    std::vector<std::string> read{"--seed", "11", "--generations", "25", "--graph", "edges.txt", "--log", "read.csv",
                                  "--stats", "read-stats.csv"};
    read.insert(read.end(), rules.begin(), rules.end());
    const Outcome second = box.run(read);
    ASSERT_EQ(second.status, 0) << second.err;
    const std::string log = box.read("lattice.csv");
    ASSERT_EQ(lines(log).size(), 25u);
    EXPECT_EQ(box.read("drawn.csv"), log) << recipe;
    EXPECT_EQ(box.read("read.csv"), log) << recipe;
    EXPECT_EQ(box.read("drawn-stats.csv"), box.read("lattice-stats.csv")) << recipe;
    EXPECT_EQ(box.read("read-stats.csv"), box.read("lattice-stats.csv")) << recipe;
}

TEST(BatchGraphs, TheLatticeAsAGraphRunsAsTheLattice) {
    expectLatticeEquivalence({}, "12x15", {}, "lattice:12:15:moore");
    expectLatticeEquivalence({"--play-self", "--layout", "random"}, "9x8",
                             {"--neighbourhood", "von-neumann", "--edges", "fixed"}, "lattice:9:8:von-neumann:fixed");
    expectLatticeEquivalence({"--layout", "segregated", "--mix", "7/7:0.8,0/0:0.2", "--update", "asynchronous"}, "11x10",
                             {"--edges", "fixed"}, "lattice:11:10:moore:fixed");
    expectLatticeEquivalence({"--update", "fermi", "--payoffs", "1,0,1.4,0", "--noise", "0.3", "--mutation", "0.002"},
                             "10x10", {"--neighbourhood", "von-neumann"}, "lattice:10:10:von-neumann");
}

TEST(BatchGraphs, PlacedNodesAndLoadedGraphWorldsAreTheLatticesCells) {
    Sandbox box;
    ASSERT_EQ(box.run({"--seed", "3", "--generations", "10", "--size", "10x12", "--place", "2,5,0/7", "--log",
                       "lattice.csv"})
                  .status,
              0);
    // Cell (2, 5) is node 2 * 12 + 5.
    const Outcome placed = box.run({"--seed", "3", "--generations", "10", "--network", "lattice:10:12:moore", "--place",
                                    "29,0/7", "--log", "graph.csv", "--save", "nodes.csv"});
    ASSERT_EQ(placed.status, 0) << placed.err;
    EXPECT_EQ(box.read("graph.csv"), box.read("lattice.csv"));
    const auto nodes = lines(box.read("nodes.csv"));
    ASSERT_EQ(nodes.size(), 121u);
    EXPECT_EQ(nodes[0], "node,color,self,other");
    // Loaded back, the world goes on as the lattice goes on from its own saved world.
    ASSERT_EQ(box.run({"--seed", "3", "--generations", "0", "--size", "10x12", "--place", "2,5,0/7", "--save",
                       "cells.csv", "--log", "none.csv"})
                  .status,
              0);
    ASSERT_EQ(box.run({"--seed", "8", "--generations", "9", "--load", "cells.csv", "--log", "on-lattice.csv"}).status,
              0);
    ASSERT_EQ(box.run({"--seed", "3", "--generations", "0", "--network", "lattice:10:12:moore", "--place", "29,0/7",
                       "--save", "start.csv", "--log", "none2.csv"})
                  .status,
              0);
    const Outcome loaded = box.run({"--seed", "8", "--generations", "9", "--network", "lattice:10:12:moore", "--load",
                                    "start.csv", "--log", "on-graph.csv"});
    ASSERT_EQ(loaded.status, 0) << loaded.err;
    EXPECT_EQ(box.read("on-graph.csv"), box.read("on-lattice.csv"));
    // A lattice graph is drawn as its lattice: the same frames.
    ASSERT_EQ(box.run({"--seed", "3", "--generations", "3", "--size", "10x12", "--frames", "lattice-frames", "--log",
                       "l.csv"})
                  .status,
              0);
    const Outcome frames = box.run({"--seed", "3", "--generations", "3", "--network", "lattice:10:12:moore",
                                    "--frames", "graph-frames", "--log", "g.csv"});
    ASSERT_EQ(frames.status, 0) << frames.err;
    for (const char* frame : {"gen-000000.png", "gen-000003.png"}) {
        const std::string drawn = box.read(std::string("lattice-frames/") + frame);
        ASSERT_FALSE(drawn.empty()) << frame;
        EXPECT_EQ(box.read(std::string("graph-frames/") + frame), drawn) << frame;
    }
}

TEST(BatchGraphs, ANetworkRepeatsWithItsSeedAndItsEdgeListGivesTheSameRun) {
    Sandbox box;
    const std::vector<std::string> common{"--generations", "15", "--network", "scale-free:300:2", "--layout", "random"};
    auto run = [&](const std::string& seed, const std::string& name, std::vector<std::string> more = {}) {
        std::vector<std::string> args{"--seed", seed, "--log", name + ".csv", "--save-graph", name + ".txt",
                                      "--meta", name + ".json"};
        args.insert(args.end(), common.begin(), common.end());
        args.insert(args.end(), more.begin(), more.end());
        return box.run(args);
    };
    ASSERT_EQ(run("4", "a").status, 0);
    ASSERT_EQ(run("4", "b", {"--threads", "2"}).status, 0);
    ASSERT_EQ(run("5", "c").status, 0);
    EXPECT_EQ(box.read("a.txt"), box.read("b.txt"));
    EXPECT_EQ(box.read("a.csv"), box.read("b.csv"));
    EXPECT_NE(box.read("a.txt"), box.read("c.txt"));
    // Scale-free from a complete graph of M + 1 = 3 nodes: 3 + 297 * 2 edges.
    const auto edges = lines(box.read("a.txt"));
    ASSERT_FALSE(edges.empty());
    EXPECT_EQ(edges[0], "nodes 300");
    EXPECT_EQ(edges.size(), 1u + 3u + 297u * 2u);
    const std::string record = box.read("a.json");
    EXPECT_NE(record.find("\"network\": \"scale-free:300:2\", \"nodes\": 300, \"edges\": 597"), std::string::npos)
        << record;
    // Seeding goes on from where drawing the network left the generator, so
    // the saved edge list read back seeds other cells; from the same loaded
    // cells the two runs are one.
    ASSERT_EQ(box.run({"--seed", "4", "--generations", "0", "--network", "scale-free:300:2", "--layout", "random",
                       "--save", "start.csv", "--log", "start.csv.log"})
                  .status,
              0);
    const Outcome fromFile = box.run({"--seed", "4", "--generations", "15", "--graph", "a.txt", "--load",
                                      "start.csv", "--log", "d.csv"});
    ASSERT_EQ(fromFile.status, 0) << fromFile.err;
    const Outcome drawn = box.run({"--seed", "4", "--generations", "15", "--network", "scale-free:300:2", "--load",
                                   "start.csv", "--log", "e.csv"});
    ASSERT_EQ(drawn.status, 0) << drawn.err;
    EXPECT_EQ(box.read("d.csv"), box.read("e.csv"));
}

TEST(BatchGraphs, BadEdgeListsAndOptionsThatDoNotFitAGraphAreRefusedBeforeAnythingIsWritten) {
    Sandbox box;
    const std::pair<const char*, const char*> bad[] = {
        {"0 1\n1 2\n2 2\n", ":3: "},         // a self-loop
        {"0 1\n1 2\n2,1\n", ":3: "},         // a repeated edge
        {"0 1\n1 -2\n", ":2: "},             // a negative node
        {"0 1\n1 x\n", ":2: "},              // not a number
        {"nodes 3\n0 1\n1 5\n", ":3: "},     // beyond the node count
    };
    for (const auto& [text, where] : bad) {
        box.write("edges.txt", text);
        const Outcome outcome = box.run({"--graph", "edges.txt", "--generations", "3", "--log", "log.csv"});
        EXPECT_EQ(outcome.status, 3) << text;
        EXPECT_NE(outcome.err.find(std::string("edges.txt") + where), std::string::npos) << outcome.err;
        EXPECT_FALSE(box.exists("log.csv")) << text;
    }
    const std::vector<std::vector<std::string>> usage = {
        {"--network", "scale-free:100:2", "--size", "10"},
        {"--network", "scale-free:100:2", "--neighbourhood", "moore"},
        {"--network", "scale-free:100:2", "--layout", "checkerboard"},
        {"--network", "scale-free:100:2", "--graph", "edges.txt"},
        {"--network", "scale-free:100:2", "--image", "a.png"},
        {"--network", "scale-free:100:2", "--place", "100,7/7"},
        {"--network", "scale-free:100:2", "--place", "3,4,7/7"},
        {"--network", "random-regular:101:3"},
        {"--network", "hexagons:10"},
        {"--network", "scale-free:100:2", "--update", "ecology"},
        {"--save-graph", "g.txt"},
    };
    for (std::vector<std::string> args : usage) {
        args.insert(args.end(), {"--generations", "3", "--log", "log.csv"});
        const Outcome outcome = box.run(args);
        EXPECT_EQ(outcome.status, 2) << args[1] << " " << args[2];
        EXPECT_EQ(lines(outcome.err).size(), 1u) << outcome.err;
        EXPECT_FALSE(box.exists("log.csv")) << args[2];
    }
    // A graph world file whose node count is not the graph's.
    box.write("nodes.csv", "node,color,self,other\n0,0,7,7\n1,2,0,0\n2,0,7,0\n");
    const Outcome loaded = box.run({"--network", "scale-free:100:2", "--load", "nodes.csv", "--log", "log.csv"});
    EXPECT_EQ(loaded.status, 3);
    EXPECT_NE(loaded.err.find("3 nodes; the graph has 100"), std::string::npos) << loaded.err;
    EXPECT_FALSE(box.exists("log.csv"));
}

TEST(BatchGraphs, ACheckpointedRunGoesOnExactlyAndOnlyOnItsOwnGraph) {
    // The new rules with a match length and a selection strength of their
    // own, which the checkpoint must hold for the resumed run to go on alike.
    const std::vector<std::string> tails[] = {
        {}, {}, {"--rounds", "1", "--payoffs", "1,0,1.6,0"}, {"--rounds", "1", "--selection", "0.2"}};
    const char* rules[] = {"synchronous", "fermi", "proportional", "death-birth"};
    for (int r = 0; r < 4; ++r) {
        const char* rule = rules[r];
        Sandbox box;
        const std::vector<std::string> network{"--network", "small-world:300:4:0.2"};
        std::vector<std::string> whole{"--seed", "6", "--update", rule, "--generations", "20", "--log", "whole.csv",
                                       "--stats", "whole-stats.csv", "--save", "whole.world"};
        whole.insert(whole.end(), network.begin(), network.end());
        whole.insert(whole.end(), tails[r].begin(), tails[r].end());
        ASSERT_EQ(box.run(whole).status, 0);
        std::vector<std::string> part{"--seed", "6", "--update", rule, "--generations", "10", "--log", "part.csv",
                                      "--stats", "part-stats.csv", "--checkpoint", "run.ckpt", "--checkpoint-every",
                                      "4"};
        part.insert(part.end(), network.begin(), network.end());
        part.insert(part.end(), tails[r].begin(), tails[r].end());
        ASSERT_EQ(box.run(part).status, 0);
        // Another graph is refused before anything is written.
        const Outcome other = box.run({"--resume", "run.ckpt", "--network", "small-world:300:4:0.3", "--generations",
                                       "10", "--log", "part.csv", "--stats", "part-stats.csv"});
        EXPECT_EQ(other.status, 3) << other.err;
        EXPECT_NE(other.err.find("not the one the checkpoint"), std::string::npos) << other.err;
        const Outcome none = box.run({"--resume", "run.ckpt", "--generations", "10", "--log", "part.csv"});
        EXPECT_EQ(none.status, 2);
        EXPECT_NE(none.err.find("lives on a graph"), std::string::npos) << none.err;
        std::vector<std::string> resume{"--resume", "run.ckpt", "--generations", "10", "--log", "part.csv",
                                        "--stats", "part-stats.csv", "--save", "part.world"};
        resume.insert(resume.end(), network.begin(), network.end());
        const Outcome resumed = box.run(resume);
        ASSERT_EQ(resumed.status, 0) << resumed.err;
        EXPECT_EQ(box.read("part.csv"), box.read("whole.csv")) << rule;
        EXPECT_EQ(box.read("part-stats.csv"), box.read("whole-stats.csv")) << rule;
        EXPECT_EQ(box.read("part.world"), box.read("whole.world")) << rule;
    }
}

}  // namespace
}  // namespace talvane
