// Measurements taken inside a run (--measure, --window): each a mean over a
// window of generations with its standard deviation, written into the run's
// record, so that a sweep needs no statistics table to summarise its runs.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "rules.h"
#include "statistics.h"

namespace talvane {

struct BatchPlan;
struct RunRecord;

// What one measurement reads from a world.
enum class MeasureKind {
    Pair,        // share:S/O  the share of cells holding the pair
    Self,        // self:S     the share of cells whose own-colour strategy is S
    Other,       // other:S    the share of cells whose other-colour strategy is S
    CoopSame,    // [GROUP_]coop_same   cooperation rate in games against the own colour
    CoopOther,   // [GROUP_]coop_other  the same against the other colours
    Settled,     // settled    the generation the run settled at (not a window mean)
};

struct Measure {
    std::string name;  // as typed: the key in the record
    MeasureKind kind = MeasureKind::Pair;
    int code = 0;      // the pair (self * 8 + other) or the strategy
    int group = 0;     // for the cooperation rates: 0 the whole world, 1 + c colour c
};

// Reads one measurement's name; false with a message for the user.
bool parseMeasure(const std::string& text, Measure& measure, std::string& error);

// Reads "FROM:TO" (generations, inclusive, FROM <= TO); false with a message.
bool parseWindow(const std::string& text, std::int64_t& from, std::int64_t& to, std::string& error);

// The measurements of one run, accumulated generation by generation.
class MeasureSet {
public:
    MeasureSet(std::vector<Measure> measures, std::int64_t from, std::int64_t to, CompetitionMode competitionMode);

    // Adds the world at this generation when the generation lies in the window.
    void observe(const World& world, std::int64_t generation);
    void observe(const GraphWorld& world, std::int64_t generation);

    // The "measures" object of the run's record.
    std::string json(const RunRecord& record) const;

    const std::vector<Measure>& measures() const { return measures_; }

private:
    void add(const PairCounts& counts, const GroupStats& whole, const WorldStats& groups);

    std::vector<Measure> measures_;
    std::int64_t from_, to_;
    CooperationTable coop_;
    bool needGroups_ = false;  // a colour's cooperation rate is asked for: the full statistics
    bool needCoop_ = false;    // the whole world's cooperation rate is asked for
    std::vector<double> sum_, sumSquares_;
    std::vector<std::int64_t> samples_;
};

// The command line's measurement options.
struct MeasureOptions {
    std::vector<std::string> names;  // --measure, repeatable, each may hold a comma-separated list
    std::string window;              // --window FROM:TO, empty: the last tenth of the run
    CLI::Option* measureOption = nullptr;
    CLI::Option* windowOption = nullptr;
};

void defineMeasureOptions(CLI::App& app, MeasureOptions& options);

// Sets up the plan's run to take the measurements (chained after any
// per-generation hook it has). Returns false with a message on a usage error.
bool addMeasures(const MeasureOptions& options, BatchPlan& plan, std::string& error);

// The options that the run record lists: --measure and --window only when given,
// so that the records of runs without them stay as they were.
void dropUngivenMeasureOptions(const MeasureOptions& options,
                               std::vector<std::pair<std::string, std::string>>& values);

}  // namespace talvane
