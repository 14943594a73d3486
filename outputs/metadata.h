// The record every run writes beside its outputs (NAME.json): the options in
// effect, the seed, the world, the program version, when it ran, how far it
// came and why it stopped. The same text goes into the run's pictures.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "graph.h"
#include "rules.h"
#include "sim_state.h"

namespace talvane {


// The graph a run's world lived on, for its record.
struct GraphRecord {
    int nodes = 0;
    std::int64_t edges = 0;
    std::uint64_t checksum = 0;  // graphChecksum
    DegreeStats degrees;
};

GraphRecord graphRecordOf(const Graph& graph);

// How a run went, for its record.
struct RunRecord {
    std::string startTime;             // ISO 8601, UTC
    std::string endTime;
    std::int64_t firstGeneration = 0;  // generation the run started from (a checkpoint's, or 0)
    std::int64_t generationReached = 0;
    std::string stopReason;            // "generations" or "settled"
    std::int64_t settledGeneration = -1;  // first generation that repeated an earlier state (deterministic rule) or
                                          // that no draw can change (random rules), -1 none
    int period = 0;                       // its period, 0 none
    bool absorbing = false;               // settled in a state that no draw of a random rule can change
    std::optional<GraphRecord> graph;     // a world on a graph: the graph
};

// The time now as "2026-01-31T12:00:00Z".
std::string utcTimeNow();

// text as a JSON string, quotes included.
std::string jsonString(const std::string& text);
// A JSON number that reads back as the same double. Inline, because the
// programs that take measurements without writing records use it too.
inline std::string jsonNumber(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// What a run's record says of the run itself besides how it went: made
// from the run's settings (describeRun) by the program that ran it.
struct RunDescription {
    std::uint32_t seed = 0;                    // the run's seed
    WorldShape shape;                          // the lattice's size and shape (a run on a graph has none)
    std::optional<std::string> network;        // a graph drawn from a recipe: the recipe's text
    std::string graphPath;                     // else a graph read from this edge list
    Rules rules;                               // the rules of its generations
    std::string start = "pools";               // "pools", "checkpoint", "world file", "mix" or "empty"
    ColorLayout layout = ColorLayout::Checkerboard;  // the colour layout of seeding
    std::vector<std::pair<std::string, std::string>> options;  // every option in effect, in order
    std::vector<std::pair<std::string, std::string>> files;    // (kind, path) of every file named, in order
    std::optional<std::string> measures;       // the measurements as a JSON object, when taken
    std::int32_t generationsAsked = 0;         // --generations
};

// The JSON record of a run (an object, ending in a line feed).
std::string formatMetadata(const RunDescription& run, const RunRecord& record);

// The record's fields of the rules, in the record's order ("payoffs" to
// "extra_point"): each field's name and JSON value. Fields that the
// program's first rules did not have ("schedule", "selection", "rounds",
// "mutation_codes") appear only where they apply.
std::vector<std::pair<std::string, std::string>> recordFieldsOf(const Rules& rules);

// The rules of a record that formatMetadata wrote; the mutation pools are
// its seeding pools ("self_pool", "other_pool"). Decimal payoffs
// that are all whole numbers come back as whole numbers (the same table).
// False with a message when a field is missing or malformed.
bool readRecordRules(const std::string& record, Rules& rules, std::string& error);

// The record's file beside a log: "out/vemo.csv" gives "out/vemo.json".
std::string metadataPathFor(const std::string& logPath);

}  // namespace talvane
