// The options of the ecology rule (--colors, --immigrants, --ptr, --cost,
// --benefit, --death, and --mutation's meaning under it), their checks, the
// check of a world loaded for it, and the statistics table it writes. Under
// an imitation rule only --colors has a use: the number of colours the
// random layout draws, for the control that sets imitation against ecology
// on the same tags.
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <utility>
#include <vector>

#include "world.h"
#include "world_file.h"

namespace talvane {

struct CommandLine;
struct RunSettings;

// The options as typed.
struct EcologyLine {
    std::string colors = "4";
    std::string immigrants = "1";
    std::string ptr = "0.12";
    std::string cost = "0.01";
    std::string benefit = "0.03";
    std::string death = "0.1";
    std::vector<CLI::Option*> options;    // the six above, in that order
    CLI::Option* mutationOption = nullptr;
    CLI::Option* layoutOption = nullptr;
    std::vector<CLI::Option*> imitationOnly;  // --mix, --center, --place: they seed agents, which ecology does not
    std::vector<CLI::Option*> poolOptions;    // --self-pool, --other-pool
};

// The mutation rate of a child under the ecology rule when --mutation is not given.
inline constexpr double kDefaultEcologyMutation = 0.005;

// Declares the six options on app, after the options of seeding, whose
// handles it keeps.
void defineEcologyOptions(CLI::App& app, EcologyLine& line);

// Checks them against the rest of the command line and fills run.rules.ecology
// (and run.rules.imitationColors); false with a one-line message for the user.
bool ecologySettings(const CommandLine& line, RunSettings& run, std::string& error);

// The record lists the six options only for ecology runs, or where given, so
// that the record of an imitation run is what it has always been; under
// ecology --mutation shows the rate in use.
void ecologyOptionValues(std::vector<std::pair<std::string, std::string>>& values, const CommandLine& line,
                         const RunSettings& run);

// A loaded world fit for the run: empty cells only under ecology, whose
// agents hold AllC or AllD for each side and a colour below --colors. False
// with a message (naming the first offending cell) otherwise.
bool worldFitsRule(const WorldFile& world, const RunSettings& run, std::string& error);

}  // namespace talvane
