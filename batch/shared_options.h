// The options that talvane-batch and the desktop program share, with one
// meaning: the starting world (--load, --seed, --layout), the game
// (--payoffs, --competition, --play-self, --extra-point) and the population
// log (--log). Each program declares them through defineModelOptions and
// adds its own.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

namespace talvane {

// Where the parsed values go.
struct ModelOptionFields {
    std::string* seed;         // --seed, decimal, when given
    std::string* layout;       // --layout random|checkerboard|segregated
    std::string* payoffs;      // --payoffs R,S,T,P
    std::string* competition;  // --competition finite|infinite
    bool* playSelf;            // --play-self
    bool* extraPoint;          // --extra-point
    std::string* load;         // --load FILE
    std::string* log;          // --log FILE, "-" standard output
};

// The declared options whose presence matters.
struct ModelOptionHandles {
    CLI::Option* seed = nullptr;
    CLI::Option* load = nullptr;
    CLI::Option* log = nullptr;
};

// Declares the shared options on app, in this order: --seed, --layout,
// --payoffs, --competition, --play-self, --extra-point, --load, --log.
ModelOptionHandles defineModelOptions(CLI::App& app, const ModelOptionFields& fields);

}  // namespace talvane
