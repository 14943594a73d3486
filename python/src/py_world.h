// The value behind talvane.World: the run of an engine World (its rules,
// generator and threads, stepped as talvane-batch steps it) with the latest
// seeding and a lock, so that one world is stepped or changed by one
// thread at a time while other worlds step in parallel.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "rules.h"
#include "sim_state.h"
#include "world.h"
#include "world_run.h"
#include "world_seeding.h"

namespace talvane::python {

// R, S, T, P as a Python user gives them: whole numbers keep the exact
// integer table of talvane-batch, other numbers its decimal table.
struct Payoffs {
    std::array<double, 4> values{3, 0, 5, 1};  // R, S, T, P
    bool whole = true;                         // every value a 32-bit integer
};

// Checks four numbers as talvane-batch checks --payoffs; throws
// std::invalid_argument with the message for the user.
Payoffs checkPayoffs(const std::array<double, 4>& values);

// Puts checked payoffs into rules: whole numbers keep the exact integer
// table, other numbers rule the decimal one.
void setPayoffs(Rules& rules, const Payoffs& payoffs);
// R, S, T, P of the rules as numbers, whichever kind they are. Inline: the
// picture module uses it without linking the world's code.
inline std::array<double, 4> payoffValues(const Rules& rules) {
    if (rules.realPayoffs) return *rules.realPayoffs;
    const auto& v = rules.payoffs;
    return {static_cast<double>(v[0]), static_cast<double>(v[1]), static_cast<double>(v[2]), static_cast<double>(v[3])};
}

class PyWorld {
public:
    explicit PyWorld(const WorldShape& shape) : run(World(shape), Rules{}), world(run.world()) {}
    PyWorld(const PyWorld& other);

    WorldRun<World> run;                                 // the world, its rules and generator, stepped as every run
    World& world;                                        // the run's world: the grids the user reads and paints
    std::optional<std::uint32_t> lastSeed;               // seed of the latest seeding or generator start
    SeedingOptions seeding;                              // pools and layout of the latest seeding
    std::mutex mutex;                                    // held while the world steps or changes
    int& threads = run.threads;                          // threads that share a synchronous generation

    // The rules the world is filled from.
    const Rules& rules() const { return run.rules(); }
    // Changes the rules and fills the world from them, as talvane-batch
    // fills the world of a run.
    template <typename Change>
    void changeRules(Change change) {
        Rules rules = run.rules();
        change(rules);
        run.setRules(rules);
    }

    // Seeds the cells from the pools and the layout with this seed; with a
    // mix, draws the pairs from it instead of the pools.
    void seedCells(const SeedingOptions& options, const PairWeights& mix = {});
};

}  // namespace talvane::python
