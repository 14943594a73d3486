// One run of the model with no window: set up the world (seeded or loaded),
// run the generations, write the log and the final world.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sim_state.h"
#include "world_file.h"

namespace talvane {

// Exit statuses of talvane-batch.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;     // an output could not be written
inline constexpr int kExitUsage = 2;       // bad command line
inline constexpr int kExitBadInput = 3;    // bad world file

// What an after-run hook learns about the run it follows.
struct RunContext {
    int run = 0;             // run number 1..K under --runs, 0 for a single run
    std::uint32_t seed = 0;  // the run's seed
};

// Called once the last generation has run, while sim still holds the final
// world and before any output is renamed into place; returns an exit status.
using AfterRunHook = std::function<int(const RunContext&)>;

// Every setting of one run.
struct RunSettings {
    std::uint32_t seed = 0;                                  // seeds seeding and the imitation draws
    std::int32_t generations = 1000;                         // generations after seeding or loading
    std::int32_t colorLayout = kLayoutCheckerboard;          // a ColorLayout
    std::array<bool, 8> selfExcluded{};                      // true keeps a code out of seeded self strategies
    std::array<bool, 8> otherExcluded{};                     // the same for the others strategies
    std::array<std::int32_t, 4> payoffs{3, 0, 5, 1};         // R, S, T, P
    std::int32_t competitionMode = kCompetitionFinite;       // a CompetitionMode
    bool playSelf = false;                                   // every cell also plays itself
    bool extraPoint = false;                                 // extra point for same colour
    std::optional<World> start;                              // a loaded world instead of seeding
    std::string logPath = "vemo.csv";                        // "-" for standard output
    std::string savePath;                                    // empty: the world is not saved
    std::vector<AfterRunHook> afterRun;                      // extra outputs of the final world
    std::function<void(std::int32_t done)> onProgress;      // called now and then during the run
};

// What a finished run reports: how many cells hold each (self, others) pair
// in the final world, entry self*8 + others.
using PairCounts = std::array<std::uint32_t, 64>;

// Runs once in this process with the given settings, the run number and seed
// handed to the hooks. Writes its outputs under temporary names and renames
// them when all are complete; on failure reports on standard error, leaves
// no output under a final name it had not reached, and returns the exit status.
int runOnce(const RunSettings& settings, const RunContext& context, PairCounts& finalCounts);

// path with "-" and the run number inserted before the extension of its file name:
// ("out/vemo.csv", 3) gives "out/vemo-3.csv", ("log", 2) gives "log-2".
std::string numberedPath(const std::string& path, int run);

}  // namespace talvane
