// The options that talvane-batch, the web page and the desktop program
// share, with one meaning: the starting world (--load, --seed, --layout),
// the game (--payoffs, --competition, --play-self, --extra-point) and the
// population log (--log). Each program declares them through
// defineModelOptions and adds its own. The rules of a run are parsed from
// them (and from talvane-batch's rule options) in one place, parseRules,
// with the number parsers every program's options use.
#pragma once

#include <CLI/CLI.hpp>
#include <array>
#include <cstdint>
#include <string>

#include "rules.h"

namespace talvane {

// The options that make the rules, as typed. The desktop declares the game's
// four (defineModelOptions); talvane-batch and the web page declare the
// rest too. parseRules makes one Rules value of them.
struct RuleLine {
    std::string payoffs = "3,0,5,1";      // --payoffs R,S,T,P: 32-bit integers, or decimals
    std::string competition = "finite";   // --competition finite|infinite
    bool playSelf = false;                // --play-self
    bool extraPoint = false;              // --extra-point
    std::string update = "synchronous";   // --update best|fermi|proportional|death-birth|birth-death, the old
                                          // synchronous|asynchronous, or ecology
    std::string schedule;                 // --schedule synchronous|random-sequential, when given
    std::string selection = "1";          // --selection W, a decimal > 0
    std::string rounds = "200";           // --rounds N, 1 .. 1000000
    std::string noise = "0.1";            // --noise K, a decimal > 0
    std::string mutation = "0";           // --mutation MU, a decimal 0..1
    CLI::Option* payoffsOption = nullptr;   // tells whether --payoffs was given
    CLI::Option* scheduleOption = nullptr;  // tells whether --schedule was given
    CLI::Option* roundsOption = nullptr;    // tells whether --rounds was given
};

// Where the parsed values go.
struct ModelOptionFields {
    std::string* seed;         // --seed, decimal, when given
    std::string* layout;       // --layout random|checkerboard|segregated
    RuleLine* rules;           // --payoffs, --competition, --play-self, --extra-point
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

// Puts the rules of the options as typed into rules, checked one by one and
// together (--schedule with --update, --rounds with the competition). What
// these options do not name (the ecology rule's parameters, the mutation
// pools, the imitation colours) is left as it is. False with a one-line
// message for the user, rules untouched.
bool parseRules(const RuleLine& line, Rules& rules, std::string& error);

// Reads text as a decimal integer from low to high: digits only (a leading
// "-" for a negative low), no base prefix, leading zeros ignored ("010" is
// 10). False with a message for the user on anything else.
bool parseDecimal(const std::string& text, std::int64_t low, std::int64_t high, std::int64_t& value,
                  std::string& error);

// Parses "R,S,T,P": four 32-bit integers. False on anything else.
bool parsePayoffs(const std::string& text, std::array<std::int32_t, 4>& payoffs, std::string& error);

// Parses "R,S,T,P" where the payoffs may be decimals ("1,0,1.9,0"), each
// finite and within the range of the 32-bit integers. False on anything else.
bool parseRealPayoffs(const std::string& text, std::array<double, 4>& payoffs, std::string& error);

// Reads text as a finite decimal number ("0.1", "-2", "1e-3"; no "inf", no
// "nan", no "+"). False with a message for the user on anything else.
bool parseReal(const std::string& text, double& value, std::string& error);

}  // namespace talvane
