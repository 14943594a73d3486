// A world on a graph: each node has a colour and a (self, others) strategy
// pair as a lattice cell does, plays a match along each of its edges (and
// one with itself under playSelf), and imitates among its neighbours. The
// rules are the lattice world's, written for compressed adjacency:
//
// - Imitation (`best`): a node keeps its pair when it scores as well as the
//   best of its neighbours, or when every score is below zero; otherwise it
//   takes the pair of a neighbour at the best. Ties among neighbours go by
//   the node's draw: with d neighbours in candidate order, start = (draw *
//   d) >> 32; the tie goes to the last neighbour at the best placed before
//   start, else to the last at the best of all. In a lattice graph the place
//   of a neighbour is its lattice slot (0..7) and start = draw % 8, which is
//   how the lattice breaks ties, so the lattice as a graph gives the
//   lattice's runs.
// - The synchronous step scores every node, then every node chooses from
//   those scores, one draw per node in node order.
// - Asynchronous and Fermi generations make N single updates, each of a node
//   drawn with drawBelow, with the draws of the lattice variants; mutation
//   draws as the lattice's does, node by node.
// - Synchronous Fermi and proportional imitation, random-sequential
//   proportional imitation and the Moran death-birth and birth-death rules
//   make the lattice's draws too, with a node's neighbours in the order
//   fermiNeighbour gives; in proportional imitation k_x is the node's degree
//   (plus one with playSelf). A node without neighbours draws nothing after
//   it is drawn, and is passed over by the synchronous rules.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "graph.h"
#include "world.h"
#include "world_file.h"

namespace talvane {

struct GraphScoring;

class GraphWorld {
public:
    // Every node Green playing AllD with AllD, the default generator seed.
    explicit GraphWorld(Graph graph);

    const Graph& graph() const { return graph_; }
    int nodeCount() const { return graph_.nodes; }
    int degree(int node) const { return graph_.degree(node); }

    // --- One entry per node ---
    std::vector<CellCode> nodeColor;
    std::vector<CellCode> selfStrategy;
    std::vector<CellCode> otherStrategy;
    std::vector<double> score;  // each node's total payoff in the latest generation

    // --- The rules, as the lattice world's ---
    PayoffTable payoffTable{};
    bool playSelf = false;
    bool extraPoint = false;
    UpdateRule updateRule = UpdateRule::Synchronous;
    double noise = kDefaultNoise;
    double mutation = 0.0;
    double selection = kDefaultSelection;  // W of the Moran rules' fitness exp(W * score)
    // Codes a mutating strategy may take (true keeps a code out), as the lattice world's.
    std::array<bool, kCodeCount> selfMutationExcluded{};
    std::array<bool, kCodeCount> otherMutationExcluded{};

    std::int64_t generation = 0;
    Mt19937 random;

    // Total payoff of the node against its neighbours (in candidate order)
    // and then itself when playSelf is on.
    double scoreNode(int node) const;

    // The node whose pair `node` takes under the imitation rule, from the
    // scores in `score` (itself when it keeps its own).
    int chooseNode(int node, std::uint32_t draw) const;

    // Scores every node.
    void scoreAll(int threads = 1);

    // Tells the whole-graph step that the scores were set otherwise than by
    // the step itself: the next step scores every node. The step keeps the
    // scores of nodes far from any change.
    void forgetLastStep() { lastStep_.valid = false; }
    // How many whole-graph steps stepped only the nodes near a change.
    std::uint64_t partialSteps() const { return partialSteps_; }

    // One synchronous generation from the given numbers, one per node; the
    // same results on any number of threads. Adds one to generation. A
    // lattice graph is stepped by the lattice world's own step, whose
    // results it shares.
    void step(const std::uint32_t* draws, int threads = 1);
    // The same with N numbers drawn from random.
    void step(int threads = 1);

    // One asynchronous update of `node` with `draw` from the current scores,
    // which it keeps current. True when the pair changed.
    bool updateNode(int node, std::uint32_t draw);

    // One Fermi comparison of `node` with its neighbour number `neighbour`
    // (0 .. degree - 1, in the order of fermiNeighbour); chance in (0, 1).
    bool compareWithNeighbour(int node, int neighbour, double chance);

    // Neighbour number k of node in the order the Fermi rule draws them:
    // candidate order, except in a lattice graph, where it is the lattice's
    // order of games (left, right, up, down, then the diagonals).
    int fermiNeighbour(int node, int k) const;

    // One generation of any rule but synchronous best. Random-sequential
    // rules make N updates, each drawing its node with drawBelow, then
    // (asynchronous) one number for chooseNode, (Fermi, proportional) the
    // neighbour with drawBelow and the chance with drawUnit, (death-birth)
    // the chance that picks the parent; birth-death draws the parent by
    // fitness (FitnessSampler::draw's tries), then the neighbour it replaces
    // with drawBelow.
    // Synchronous Fermi and proportional draw the neighbour and the chance
    // for each node in node order. Counts pairs.
    void stepVariant();

    // `count` single updates of a random-sequential rule (any rule but the
    // two synchronous imitations and synchronous best), with the draws of
    // stepVariant; the generation does not change. Counts pairs.
    void singleUpdates(std::uint32_t count);

    // Games `node` plays: its degree, plus one with playSelf.
    int gameCount(int node) const { return degree(node) + (playSelf ? 1 : 0); }

    // One proportional-imitation decision from the current scores: true when
    // score(other) > score(node) and chance < (score(other) - score(node)) /
    // (max(k_node, k_other) * D).
    bool proportionalAdopts(int node, int other, double chance) const;

    // Mutation, node by node, with the lattice's draws. Returns how many
    // strategies were drawn afresh; counts the pairs.
    int mutate();

    const PairCounts& pairCounts() const { return pairCounts_; }
    const PairCounts& countPairs();

    // True when no draw of the Asynchronous or Fermi rule can change any pair.
    bool isAbsorbing() const;

    bool codesInRange() const;

private:
    // Where the tie-break starts for the node's draw.
    int startOf(int node, std::uint32_t draw) const {
        if (!graph_.slots.empty()) return static_cast<int>(draw % 8);
        return static_cast<int>((static_cast<std::uint64_t>(draw) * static_cast<std::uint32_t>(degree(node))) >> 32);
    }
    // The place of the neighbour at CSR entry `entry` of `node`.
    int placeOf(int node, std::uint32_t entry) const {
        return graph_.slots.empty() ? static_cast<int>(entry - graph_.offsets[node]) : graph_.slots[entry];
    }
    // The node whose pair `node` takes, from the scores given, the tie-break starting at `start`.
    int pickFrom(int node, const double* scores, int start) const;
    void rescoreAround(int node, int oldSelf, int oldOther);
    bool takePair(int node, int from);
    bool fermiAdopts(double own, double theirs, double chance) const;

    // Works out whether scores are whole numbers and scores every node.
    void prepareVariantScores();
    void sequentialUpdates(std::uint32_t updates);
    void stepBestOrFermi(std::uint32_t updates);
    void stepSynchronousImitation(bool fermi);
    void stepProportionalSequential(std::uint32_t updates);
    void stepDeathBirth(std::uint32_t updates);
    void buildFitness();
    void setFitness(int node);
    void stepBirthDeath(std::uint32_t updates);

    // The rest of a step after the step before (whose keys keysBefore_
    // holds, from the same payoffs and options): when few nodes changed,
    // scores those near them again and makes again the choices that may
    // differ. False, with nothing changed, when too many changed.
    bool stepChangedNodes(const GraphScoring& scoring, const std::uint32_t* draws);

    // The synchronous step of a lattice graph: the nodes' cells are swapped
    // into lattice_, which steps them, and back.
    void stepAsLattice(const std::uint32_t* draws, int threads);

    Graph graph_;
    std::optional<World> lattice_;  // a lattice graph's lattice, made at its first step
    std::vector<std::int32_t> fermiOrder_;  // lattice graphs: neighbours in the lattice's game order
    PairCounts pairCounts_{};
    std::vector<std::uint16_t> keys_, keysBefore_;  // this step's packed nodes and the step before's
    // What the last whole-graph step scored with; valid until the scores are
    // set otherwise.
    struct LastStep {
        bool valid = false;
        std::array<double, 2 * kPairCount> terms{};
        bool playSelf = false;
        bool extraPoint = false;
    } lastStep_;
    std::vector<std::uint8_t> settled_;  // the node's last choice was not the draw's to make
    std::vector<std::int32_t> unsettled_;  // the nodes whose choice was
    std::vector<std::uint8_t> marks_;      // stepChangedNodes' marks, all zero between steps
    std::vector<std::int32_t> changed_, near_, around_;
    std::uint64_t partialSteps_ = 0;
    std::vector<std::uint8_t> uniform_;  // the node and all its neighbours hold one pair
    std::vector<std::uint32_t> draws_;
    // The step's terms by both keys of a game (see gameTable), for the
    // terms and extra point they were made from.
    const double* gameTable(const std::array<double, 2 * kPairCount>& terms);
    std::vector<double> games_;
    std::array<double, 2 * kPairCount> gamesTerms_{};
    bool gamesExtraPoint_ = false;
    std::vector<std::int32_t> wholeScores_;  // the step's scores as whole numbers, when they fit
    int maxDegree_ = 0;
    std::vector<CellCode> nextSelf_, nextOther_;
    bool exact_ = false;  // every score a whole number: variant changes may be added up
    // Birth-death: each node's fitness exp(W * (score - reference)),
    // binned as the lattice bins its cells'.
    FitnessSampler fitness_;
    double reference_ = 0.0;
};

// --- World files of graph worlds ---
//
// The header line "node,color,self,other", then one line per node in node
// order, "n,color,self,other", every value a decimal integer, every code 0
// to 7. "\r\n" line ends and a last line without one are read too.

inline constexpr std::string_view kNodeFileHeader = "node,color,self,other";

// The nodes' colours and pairs as a graph world file holds them.
struct NodeCells {
    std::vector<CellCode> color, self, other;
    int count() const { return static_cast<int>(color.size()); }
};

NodeCells nodeCellsOf(const GraphWorld& world);
std::string formatNodeFile(const NodeCells& cells);
// False with the first fault (its line) in error.
bool parseNodeFile(std::string_view text, NodeCells& out, WorldError& error);

}  // namespace talvane
