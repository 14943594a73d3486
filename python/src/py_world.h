// The value behind talvane.World: an engine World with what talvane-batch
// keeps beside it (the four payoffs, the competition, the threads, the
// latest seeding) and a lock, so that one world is stepped or changed by one
// thread at a time while other worlds step in parallel.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "sim_state.h"
#include "world.h"
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

// The payoff table of a competition, as talvane-batch fills it: the infinite
// competition's own, else the totals of matches of `rounds` rounds, exact
// integers for whole payoffs.
PayoffTable payoffTableFor(CompetitionMode competition, const Payoffs& payoffs, int rounds);

class PyWorld {
public:
    explicit PyWorld(const WorldShape& shape) : world(shape) {}
    PyWorld(const PyWorld& other);

    World world;                                         // the grids, the rules, the generator
    Payoffs payoffs;                                     // the finite competition's payoffs
    CompetitionMode competition = kCompetitionFinite;    // finite or infinite
    int threads = 1;                                     // threads that share a synchronous generation
    int rounds = 200;                                    // rounds of a finite match
    std::optional<std::uint32_t> lastSeed;               // seed of the latest seeding or generator start
    SeedingOptions seeding;                              // pools and layout of the latest seeding
    std::mutex mutex;                                    // held while the world steps or changes

    // Fills world.payoffTable from the payoffs and the competition, as a
    // restart of talvane-batch does.
    void applyPayoffs();

    // Seeds the cells from the pools and the layout with this seed; with a
    // mix, draws the pairs from it instead of the pools.
    void seedCells(const SeedingOptions& options, const PairWeights& mix = {});

    // One generation as talvane-batch runs it: the update rule, then mutation.
    void stepOnce();
};

}  // namespace talvane::python
