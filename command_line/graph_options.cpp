#include "graph_options.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "options.h"
#include "start_conditions.h"

namespace talvane {

namespace {

bool given(const CLI::Option* option) { return option != nullptr && option->count() > 0; }

// "NODE,PAIR", the node 0-based.
bool parseNodePlace(const std::string& text, std::pair<int, int>& place, std::string& error) {
    const std::size_t comma = text.find(',');
    std::int64_t node = 0;
    int pair = 0;
    if (comma == std::string::npos || !parseDecimal(text.substr(0, comma), 0, kMaxGraphNodes - 1, node, error) ||
        !parsePair(text.substr(comma + 1), pair, error)) {
        error = "\"" + text + "\" is not NODE,PAIR (such as 17,TFT/AllD), as a graph's cells are placed";
        return false;
    }
    place = {static_cast<int>(node), pair};
    return true;
}

bool readText(const std::string& path, std::string& text, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot be read";
        return false;
    }
    std::ostringstream out;
    out << in.rdbuf();
    if (in.bad()) {
        error = "read error";
        return false;
    }
    text = out.str();
    return true;
}

}  // namespace

void defineGraphOptions(CLI::App& app, GraphLine& graph) {
    graph.graphOption = app.add_option("--graph", graph.graph,
                                       "Put the world on the graph of this edge list (\"u v\" or \"u,v\" per line, "
                                       "nodes from 0; see docs/networks.md)");
    graph.networkOption = app.add_option("--network", graph.network,
                                         "Put the world on a network drawn from the seed: random-regular:N:K, "
                                         "small-world:N:K:P, scale-free:N:M, erdos-renyi:N:P or "
                                         "lattice:R:C:moore|von-neumann[:wrap|fixed]");
    graph.saveGraphOption =
        app.add_option("--save-graph", graph.saveGraph, "Write the graph the run used to this file, as an edge list");
    graph.layoutOption = app.get_option("--layout");
    graph.edgesOption = app.get_option("--edges");
    graph.neighbourhoodOption = app.get_option("--neighbourhood");
}

bool graphPlan(const CommandLine& line, const GraphLine& graph, BatchPlan& plan, std::string& error) {
    GraphSettings& out = plan.run.graph;
    if (given(graph.saveGraphOption) && !given(graph.graphOption) && !given(graph.networkOption)) {
        error = "--save-graph: give the graph with --graph FILE or --network KIND:PARAMS";
        return false;
    }
    if (!given(graph.graphOption) && !given(graph.networkOption)) return true;
    if (given(graph.graphOption) && given(graph.networkOption)) {
        error = "--graph and --network: give one graph, not both";
        return false;
    }
    // The graph is the world's shape; the lattice's options would be silently ignored.
    const std::pair<const CLI::Option*, const char*> lattice[] = {
        {line.sizeOption, "--size"},           {graph.edgesOption, "--edges"},
        {graph.neighbourhoodOption, "--neighbourhood"}, {line.centerOption, "--center"}};
    for (const auto& [option, name] : lattice) {
        if (!given(option)) continue;
        error = std::string(name) + ": a graph world takes its shape from the graph; give it without " + name;
        return false;
    }
    const UpdateRule rule = plan.run.rules.updateRule;
    if (rule == UpdateRule::Ecology) {
        error = "--update ecology: the ecological model runs on lattices, not on graphs";
        return false;
    }
    if (given(graph.graphOption)) {
        if (graph.graph.empty()) {
            error = "--graph: a file name is needed";
            return false;
        }
        out.path = graph.graph;
        // A stand-in until the file is read, so that the plan knows it has a graph.
        out.graph = std::make_shared<const Graph>();
    } else {
        NetworkRecipe recipe;
        if (!parseNetworkRecipe(graph.network, recipe, error)) {
            error = "--network: " + error;
            return false;
        }
        out.network = recipe;
        // A lattice's pictures are drawn at its size.
        if (recipe.kind == NetworkKind::Lattice) plan.run.shape = recipe.shape;
    }
    if (given(graph.saveGraphOption) && graph.saveGraph.empty()) {
        error = "--save-graph: a file name is needed";
        return false;
    }
    out.savePath = graph.saveGraph;
    plan.run.startConditions.places.clear();
    for (const std::string& text : line.places) {
        std::pair<int, int> place;
        if (!parseNodePlace(text, place, error)) {
            error = "--place: " + error;
            return false;
        }
        out.places.push_back(place);
    }
    // Colours on a graph: random or segregated by node number; the
    // checkerboard needs a lattice. Unless --layout is given, a graph that is
    // no lattice's is coloured at random.
    if (plan.run.colorLayout == ColorLayout::Checkerboard && out.network && !out.lattice()) {
        if (given(graph.layoutOption)) {
            error = "--layout checkerboard: only a lattice graph has a checkerboard; give random or segregated";
            return false;
        }
        plan.run.colorLayout = ColorLayout::Random;
    }
    return true;
}

int loadGraphInputs(BatchPlan& plan) {
    GraphSettings& graph = plan.run.graph;
    if (!graph.on()) return kExitOk;
    if (!graph.path.empty()) {
        std::string text, error;
        if (!readText(graph.path, text, error)) {
            std::fprintf(stderr, "talvane-batch: --graph %s: %s\n", graph.path.c_str(), error.c_str());
            return kExitBadInput;
        }
        Graph read;
        EdgeListError fault;
        if (!parseEdgeList(text, read, fault)) {
            if (fault.line > 0) {
                std::fprintf(stderr, "talvane-batch: %s:%d: %s\n", graph.path.c_str(), fault.line, fault.reason.c_str());
            } else {
                std::fprintf(stderr, "talvane-batch: %s: %s\n", graph.path.c_str(), fault.reason.c_str());
            }
            return kExitBadInput;
        }
        graph.graph = std::make_shared<const Graph>(std::move(read));
        if (graph.graph->lattice) plan.run.shape = *graph.graph->lattice;
        if (plan.run.colorLayout == ColorLayout::Checkerboard && !graph.lattice()) {
            if (plan.layoutGiven) {
                std::fprintf(stderr,
                             "talvane-batch: --layout checkerboard: the graph in %s is no lattice's; give random "
                             "or segregated\n",
                             graph.path.c_str());
                return kExitUsage;
            }
            plan.run.colorLayout = ColorLayout::Random;
        }
    }
    const int nodes = graph.nodes();
    if (!plan.loadPath.empty()) {
        std::string text, error;
        if (!readText(plan.loadPath, text, error)) {
            std::fprintf(stderr, "talvane-batch: %s: %s\n", plan.loadPath.c_str(), error.c_str());
            return kExitBadInput;
        }
        NodeCells cells;
        WorldError fault;
        if (!parseNodeFile(text, cells, fault)) {
            std::fprintf(stderr, "talvane-batch: %s:%ld: %s\n", plan.loadPath.c_str(), fault.line,
                         fault.message.c_str());
            return kExitBadInput;
        }
        if (cells.count() != nodes) {
            std::fprintf(stderr, "talvane-batch: %s: the file lists %d nodes; the graph has %d\n",
                         plan.loadPath.c_str(), cells.count(), nodes);
            return kExitBadInput;
        }
        graph.start = std::move(cells);
    }
    for (const auto& [node, pair] : graph.places) {
        if (node >= nodes) {
            std::fprintf(stderr, "talvane-batch: --place %d: the graph's nodes are 0 to %d\n", node, nodes - 1);
            return kExitUsage;
        }
    }
    return kExitOk;
}

}  // namespace talvane
