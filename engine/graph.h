// Graphs that worlds can live on: undirected, no self-loops, no repeated
// edges, stored as compressed adjacency (CSR). Each node's neighbours are
// kept in its candidate order, the order in which imitation scans them; how
// graphs are read, written and drawn at random lives here too.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "random_generator.h"
#include "world.h"

namespace talvane {

inline constexpr int kMinGraphNodes = 3;          // fewest nodes a graph world may have
inline constexpr int kMaxGraphNodes = 1 << 24;    // most nodes (16,777,216, as many as the largest lattice)

using Edge = std::pair<std::int32_t, std::int32_t>;

struct Graph {
    int nodes = 0;
    // Node u's neighbours are neighbours[offsets[u] .. offsets[u + 1]), in
    // candidate order: ascending node numbers, except in a lattice graph.
    std::vector<std::uint32_t> offsets;
    std::vector<std::int32_t> neighbours;
    // A lattice graph: the torus (or fixed-edged grid) whose cells are the
    // nodes, cell (r, c) being node r * cols + c. Its neighbours are listed
    // in the lattice's scan order, and `slots` gives each one's place among
    // the lattice's eight candidate places (0..7), which the tie-break needs.
    std::optional<WorldShape> lattice;
    std::vector<std::uint8_t> slots;

    int degree(int node) const { return static_cast<int>(offsets[node + 1] - offsets[node]); }
    std::int64_t edgeCount() const { return static_cast<std::int64_t>(neighbours.size()) / 2; }
};

// A graph of `nodes` nodes with the given edges (either direction, any
// order). False with a reason in error, naming the edge's index, when an
// edge is a self-loop, is repeated, or names a node outside 0 .. nodes - 1.
bool graphFromEdges(int nodes, const std::vector<Edge>& edges, Graph& out, std::string& error);

// The cells of a lattice world of this shape as a graph, with the lattice's
// candidate order (see Graph::lattice).
Graph latticeGraph(const WorldShape& shape);

// The graph's edges, each once with the smaller node first, in order of the
// smaller node and then of the other's place in its candidate order.
std::vector<Edge> edgesOf(const Graph& graph);

// A 64-bit FNV-1a checksum of the graph: its node count, its lattice shape
// if any, and every node's neighbours in order. Equal graphs, equal sums.
std::uint64_t graphChecksum(const Graph& graph);

// Degree statistics: mean, maximum and the count of nodes of each degree.
struct DegreeStats {
    double mean = 0.0;
    int maximum = 0;
    int minimum = 0;
    std::vector<std::int64_t> histogram;  // histogram[k]: nodes of degree k, 0 .. maximum
};
DegreeStats degreeStats(const Graph& graph);

// --- Edge lists ---
//
// One edge per line as two node numbers (0-based) separated by white space
// or a comma; `#` starts a comment; blank lines are skipped. An optional
// first line `nodes N` gives the node count (so that nodes without edges may
// follow the last numbered one); without it the count is the largest node
// number plus one. A line `lattice R C moore|von-neumann wrap|fixed` before
// the edges says that the graph is that lattice: its edges must then be
// exactly the lattice's, and the nodes keep the lattice's candidate order.

struct EdgeListError {
    int line = 0;        // 1-based line of the fault; 0 when it is no one line's
    std::string reason;  // what is wrong, e.g. "self-loop 4-4"
};

// Reads an edge list from text. False with the fault in error.
bool parseEdgeList(const std::string& text, Graph& out, EdgeListError& error);

// The edge list of the graph: `nodes N`, the lattice line for a lattice
// graph, then edgesOf(graph) one per line as "u v".
std::string formatEdgeList(const Graph& graph);

// --- Generated networks ---

enum class NetworkKind : std::uint8_t { RandomRegular, SmallWorld, ScaleFree, ErdosRenyi, Lattice };

struct NetworkRecipe {
    NetworkKind kind = NetworkKind::ScaleFree;
    int nodes = 0;          // N (rows * cols for a lattice)
    int degree = 0;         // K of random-regular and small-world, M of scale-free
    double probability = 0.0;  // P of small-world and erdos-renyi
    WorldShape shape{};     // the lattice's
    std::string text;       // the recipe as given
};

// Parses "random-regular:N:K", "small-world:N:K:P", "scale-free:N:M",
// "erdos-renyi:N:P" or "lattice:R:C:moore|von-neumann[:wrap|fixed]". False
// with the reason in error when the kind is unknown or a parameter is out of
// range for the kind.
bool parseNetworkRecipe(const std::string& text, NetworkRecipe& out, std::string& error);

// Draws the network from random (see docs/networks.md for each kind's
// draws). False with the reason in error when no such graph can be drawn.
bool generateNetwork(const NetworkRecipe& recipe, Mt19937& random, Graph& out, std::string& error);

}  // namespace talvane
