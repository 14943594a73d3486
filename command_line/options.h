// The command line of talvane-batch: the options as CLI11 parses them, and
// their translation into the settings of the runs.
#pragma once

#include <CLI/CLI.hpp>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "graph_options.h"
#include "ecology_options.h"
#include "batch_plan.h"
#include "run.h"
#include "shared_options.h"

namespace talvane {

// The options as typed, before they are checked against each other.
struct CommandLine {
    std::string seed;                            // --seed, decimal, when given
    std::string generations = "1000";            // --generations, decimal
    std::string layout = "checkerboard";         // --layout
    RuleLine rules;                              // the options of the rules: --payoffs ... --mutation
    std::string selfPool = "0,1,2,3,4,5,6,7";    // --self-pool: admitted codes
    std::string otherPool = "0,1,2,3,4,5,6,7";   // --other-pool
    std::string load;                            // --load FILE
    std::string save;                            // --save FILE
    std::string log = "vemo.csv";                // --log FILE, "-" standard output
    std::string runs = "1";                      // --runs K, decimal
    std::string jobs = "1";                      // --jobs J, decimal (set to the number of cores)
    std::string size = "64";                     // --size ROWSxCOLS or N
    std::string edges = "wrap";                  // --edges wrap|fixed
    std::string neighbourhood = "moore";         // --neighbourhood moore|von-neumann
    std::string threads = "1";                   // --threads N, decimal
    std::string mix;                             // --mix PAIR:WEIGHT,...
    std::string center;                          // --center PAIR
    std::vector<std::string> places;             // --place ROW,COL,PAIR, repeatable
    std::string stats;                           // --stats FILE.csv, "-" standard output
    std::string meta;                            // --meta FILE.json
    bool untilSettled = false;                   // --until-settled
    std::string checkpoint;                      // --checkpoint FILE
    std::string checkpointEvery = "0";           // --checkpoint-every N, decimal
    std::string resume;                          // --resume FILE
    CLI::Option* mixOption = nullptr;            // tells whether --mix was given
    CLI::Option* centerOption = nullptr;         // tells whether --center was given
    CLI::Option* statsOption = nullptr;          // tells whether --stats was given
    CLI::Option* metaOption = nullptr;           // tells whether --meta was given
    CLI::Option* checkpointOption = nullptr;     // tells whether --checkpoint was given
    CLI::Option* checkpointEveryOption = nullptr;  // tells whether --checkpoint-every was given
    CLI::Option* resumeOption = nullptr;         // tells whether --resume was given
    CLI::Option* sizeOption = nullptr;           // tells whether --size was given
    CLI::Option* seedOption = nullptr;           // tells whether --seed was given
    CLI::Option* runsOption = nullptr;           // tells whether --runs was given
    CLI::Option* logOption = nullptr;            // tells whether --log was given
    CLI::Option* saveOption = nullptr;           // tells whether --save was given
    CLI::Option* loadOption = nullptr;           // tells whether --load was given
    std::vector<CLI::Option*> worldOptions;      // options that shape the world or its rules, refused beside --resume
    GraphLine graph;                             // --graph, --network, --save-graph
    EcologyLine ecology;                         // --colors, --immigrants, --ptr, --cost, --benefit, --death
};

// Declares every option of talvane-batch on app, storing into line.
void defineOptions(CLI::App& app, CommandLine& line);

// Checks the parsed options together and turns them into a plan; the seed is
// taken from the clock when --seed was not given. On a usage error returns
// false with a message for the user.
bool makePlan(const CommandLine& line, BatchPlan& plan, std::string& error);

// Every option of app as it stands after parsing, defaults included, in the
// order declared: (name, value); a flag's value is "true" or "false", a
// repeated option's values are joined by spaces.
std::vector<std::pair<std::string, std::string>> optionValues(const CLI::App& app);

// Parses "0,2,6" (codes or strategy names, "TFT,AllD") into exclusion flags: every listed code admitted, the others
// excluded. An empty text gives an empty pool. False on a malformed list.
bool parseStrategyList(const std::string& text, std::array<bool, 8>& excluded, std::string& error);

// Parses "ROWSxCOLS" or "N" (N x N), each side 3 to 4096. False with a
// message for the user on anything else.
bool parseSize(const std::string& text, int& rows, int& cols, std::string& error);

}  // namespace talvane
