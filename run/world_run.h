// A world stepped as a run steps it: the world (a lattice's or a graph's),
// the rules it is filled from, its generator (the world's own), the count
// of its generations and the sinks its outputs go to. talvane-batch, the
// Python module and the web page all step their worlds through this value,
// so that a generation and what it reports are the same in every program;
// each program gives the sinks it needs (files, tables in memory, frames on
// a canvas) and leaves the others empty.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>

#include "checkpoint.h"
#include "graph_world.h"
#include "rules.h"
#include "statistics.h"
#include "table_counts.h"
#include "world.h"
#include "world_file.h"
#include "world_seeding.h"

namespace talvane {

// Where a run's outputs go; an empty sink is skipped, and costs nothing.
template <typename AnyWorld>
struct RunSinks {
    // The 64 pair counts after every generation: a line of the log.
    std::function<void(const PairCounts& counts)> log;
    // The statistics table: start gives its header, then generation 0's
    // row; every generation then gives its row. Each text ends in '\n'.
    std::function<void(const std::string& text)> stats;
    // After the log and the table of a generation: a status other than 0
    // (a sink that failed to write) ends the stepping with that status.
    std::function<int()> check;
    // The world at the start and after every generation (pictures, frames,
    // measurements); a status other than 0 ends the stepping with it.
    std::function<int(const AnyWorld& world, std::int64_t generation)> frame;
};

// The first settled state a run reached.
struct Settling {
    std::int64_t generation = -1;  // -1: none yet
    std::int32_t period = 0;       // period of the repetition, 0 for an absorbing state
    bool absorbing = false;        // settled in a state that no draw of a random rule can change
};

// True when the rules make the ecology statistics table instead of the
// imitation one: the ecology rule, or imitation given --colors; and the
// colours of that table.
bool writesEcologyTable(const Rules& rules);
int ecologyTableColors(const Rules& rules);

template <typename AnyWorld>  // World or GraphWorld
class WorldRun {
public:
    // A run of world, filled from rules (applyRules); its generations are
    // counted from first (a checkpoint's generation, or 0).
    WorldRun(AnyWorld world, const Rules& rules, std::int64_t first = 0);

    AnyWorld& world() { return world_; }
    const AnyWorld& world() const { return world_; }
    const Rules& rules() const { return rules_; }
    // New rules for the generations to come; the world is filled from them.
    void setRules(const Rules& rules);

    // Seeds the cells from the pools and the layout of options, restarting
    // the generator from its seed; with a mix, draws the pairs from it
    // instead of the pools. The rules' mutation pools become the seeding's,
    // and the generations are counted from 0 again.
    void seed(const SeedingOptions& options, const PairWeights& mix = {});
    // Replaces the cells with a world file's, of any size (the shape's
    // edges and neighbourhood stay), or a graph's with those of its nodes;
    // the rules and the generator stay.
    using Cells = std::conditional_t<std::is_same_v<AnyWorld, World>, WorldFile, NodeCells>;
    void load(const Cells& cells);
    // The run as a checkpoint holds it: seed names the seed the run
    // started from.
    Checkpoint checkpoint(std::uint32_t seed) const;
    // Goes on from a checkpoint of this world's shape (or graph): its
    // cells, generator, recent states and generation count.
    void resume(const Checkpoint& checkpoint);

    // Starts the outputs from the world as it stands: the table's header
    // and row, the watch's first state (when watching) and the frame.
    int start();
    // Steps n generations, each as every program steps a world, and feeds
    // the sinks after each; ends early on a sink's failure (its status) or,
    // with untilSettled, at a settled state. Returns 0 or that status.
    int step(std::int64_t n, bool untilSettled = false);

    // Generations counted so far (from first).
    std::int64_t generation() const { return first_ + world_.generation; }
    // The first settled state seen, when watching.
    const Settling& settling() const { return settling_; }
    // True when the latest generation stands at a settled state.
    bool settledNow() const { return settledNow_; }
    // Forgets the states seen and the settling found, and watches for
    // settled states from now on.
    void restartWatch();
    // The recent states the watch holds (a checkpoint's).
    const SettleWatch& watch() const { return settle_; }

    // The statistics table's header, and its row for the world as it
    // stands (the text --stats writes).
    std::string tableHeader() const;
    std::string tableRow();

    int threads = 1;                // threads that share a synchronous generation
    bool watchSettling = false;     // look for settled states after every generation
    RunSinks<AnyWorld> sinks;

private:
    void observe();

    AnyWorld world_;
    Rules rules_;
    std::int64_t first_ = 0;
    SettleWatch settle_;
    Settling settling_;
    bool settledNow_ = false;
    std::vector<int> colors_;       // the colours of the imitation table, fixed at start
    TableCounts tableCounts_;       // a lattice's table rows, counted where its rows changed
};

extern template class WorldRun<World>;
extern template class WorldRun<GraphWorld>;

// The cells of world as a world file holds them.
WorldFile worldFileOf(const World& world);

}  // namespace talvane
