// One run of the model with no window: set up the world (seeded or loaded),
// run the generations, write the log and the final world.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "checkpoint.h"
#include "graph_world.h"
#include "rules.h"
#include "sim_state.h"
#include "start_conditions.h"
#include "world_file.h"

namespace talvane {

// Exit statuses of talvane-batch.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;     // an output could not be written
inline constexpr int kExitUsage = 2;       // bad command line
inline constexpr int kExitBadInput = 3;    // bad world file

// An output drawn from the final world besides the log and the saved world
// (the picture, the snapshot): rendered from the run's world once the last
// generation has run, into bytes that are then written like every output.
struct RunSettings;
struct RunRecord;
struct ExtraOutput {
    std::string option;  // the option that asked for it, for messages
    std::string path;    // the file to write
    // Fills bytes from the final world and the run's JSON record (for outputs
    // that carry it, as the snapshot's text does); returns kExitOk or an exit
    // status, with error set.
    std::function<int(const RunSettings& run, const World& world, const std::string& record, std::string& bytes,
                      std::string& error)>
        render;
    int writeFailure = kExitFailure;  // exit status when the file cannot be written
};

// A run on a graph instead of a lattice.
struct GraphSettings {
    std::string path;                      // --graph: the edge list read
    std::shared_ptr<const Graph> graph;    // its graph, read before the run
    std::optional<NetworkRecipe> network;  // --network: drawn from the run's generator as it starts
    std::string savePath;                  // --save-graph: the graph used, as an edge list
    std::optional<NodeCells> start;        // --load: the nodes of a graph world file
    std::vector<std::pair<int, int>> places;  // --place NODE,PAIR, in the order given

    bool on() const { return graph != nullptr || network.has_value(); }
    // Nodes of the graph the run will use.
    int nodes() const { return graph ? graph->nodes : network ? network->nodes : 0; }
    // True when the graph is known to be a lattice's (its nodes the cells).
    bool lattice() const {
        return graph ? graph->lattice.has_value() : network && network->kind == NetworkKind::Lattice;
    }
};

// Every setting of one run.
struct RunSettings {
    std::uint32_t seed = 0;                                  // seeds seeding and the imitation draws
    std::int32_t generations = 1000;                         // generations after seeding or loading
    ColorLayout colorLayout = ColorLayout::Checkerboard;     // the colours of a seeded world
    Rules rules;                                             // the rules of its generations (their mutation pools
                                                             // are the seeding pools too)
    WorldShape shape;                                        // size, edges and neighbourhood of a seeded world
    int threads = 1;                                         // threads that share each generation of a large world
    std::optional<WorldFile> start;                          // a loaded world instead of seeding (its size wins)
    std::string logPath = "vemo.csv";                        // "-" standard output, empty: no log (0 generations only)
    std::string savePath;                                    // empty: the world is not saved
    std::vector<ExtraOutput> extraOutputs;                   // more outputs of the final world
    std::string loadPath;                                    // the world file loaded, kept from every output
    std::function<void(std::int32_t done)> onProgress;      // called now and then during the run
    StartConditions startConditions;                         // --mix, --center, --place
    std::string statsPath;                                   // the statistics table, "-" standard output, empty none
    std::string metaPath;                                    // the run's JSON record, empty none
    bool untilSettled = false;                               // stop when the world repeats a recent state
    std::string checkpointPath;                              // empty: no checkpoint
    std::int32_t checkpointEvery = 0;                        // generations between checkpoints, 0 only at the end
    std::optional<Checkpoint> resume;                        // go on from this checkpoint instead of starting
    std::string resumePath;                                  // the checkpoint file read, kept from every output
    std::vector<std::pair<std::string, std::string>> optionValues;  // every option in effect, for the record
    GraphSettings graph;                                     // a world on a graph (then shape does not apply)

    // The size of the world the run steps: a checkpoint's, a loaded world's, or shape.
    WorldShape effectiveShape() const;
    // Called with the world as the run starts (generation 0) and after every
    // generation; a status other than kExitOk ends the run with that status.
    std::function<int(const World& world, std::int32_t generation)> onGeneration;
    // Called as onGeneration is, with the world of a run on a graph.
    std::function<void(const GraphWorld& world, std::int32_t generation)> onGraphGeneration;
    // The measurements of the run (--measure), as the JSON object of its
    // record's "measures"; unset: the record has none.
    std::function<std::string(const RunRecord& record)> measuresJson;
};

// What a finished run reports besides its final pair counts.
struct RunResult {
    PairCounts counts{};
    std::int64_t generationReached = 0;
    std::int64_t settledGeneration = -1;  // first repetition of a recent state (or absorbing state), -1 none
    std::int32_t period = 0;              // its period, 0 none (and for an absorbing state)
    bool absorbing = false;               // settled in a state that no draw of a random rule can change
};

// Runs once in this process with the given settings. Checks every output
// before the first generation (two outputs, or an output and the loaded world,
// that are one file: kExitUsage; an output that cannot be written:
// kExitFailure); writes files under temporary names and renames them together
// when all are complete. On failure (a write error on any output ends the
// run at once; too little memory is kExitFailure too) reports on standard
// error, leaves no output under a final name it had not reached, and returns
// the exit status.
int runOnce(const RunSettings& settings, PairCounts& finalCounts);
int runOnce(const RunSettings& settings, RunResult& result);

// Says on standard error that a world of shape does not fit in the memory
// the process may have, and how much it needs; returns kExitFailure.
int reportOutOfMemory(const WorldShape& shape);

// For a resumed run: kExitOk when its log and statistics table end where the
// checkpoint does; otherwise says so on standard error and returns kExitBadInput.
int checkResumedOutputs(const RunSettings& settings);

// path with "-" and the run number inserted before the extension of its file name:
// ("out/vemo.csv", 3) gives "out/vemo-3.csv", ("log", 2) gives "log-2".
std::string numberedPath(const std::string& path, int run);

}  // namespace talvane
