// The options of worlds on graphs: --graph FILE (an edge list), --network
// KIND:PARAMS (drawn from the run's generator), --save-graph FILE; with a
// graph, --place takes NODE,PAIR and --load reads a graph world file.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

namespace talvane {

struct BatchPlan;
struct CommandLine;

struct GraphLine {
    std::string graph;       // --graph FILE
    std::string network;     // --network KIND:PARAMS
    std::string saveGraph;   // --save-graph FILE
    CLI::Option* graphOption = nullptr;
    CLI::Option* networkOption = nullptr;
    CLI::Option* saveGraphOption = nullptr;
    CLI::Option* layoutOption = nullptr;         // tells whether --layout was given
    CLI::Option* edgesOption = nullptr;          // tells whether --edges was given
    CLI::Option* neighbourhoodOption = nullptr;  // tells whether --neighbourhood was given
};

// Declares the graph options on app (after every other option).
void defineGraphOptions(CLI::App& app, GraphLine& graph);

// With --graph or --network: checks the options that do not go with a
// graph, parses the recipe and the node placements, and fills
// plan.run.graph. False with a message for the user on a usage error.
bool graphPlan(const CommandLine& line, const GraphLine& graph, BatchPlan& plan, std::string& error);

// Reads the edge list of --graph and, with a graph, the graph world file of
// --load, and checks them against each other and the placements. Returns
// kExitOk, or says what is wrong on standard error and returns kExitBadInput
// (a bad file) or kExitUsage.
int loadGraphInputs(BatchPlan& plan);

}  // namespace talvane
