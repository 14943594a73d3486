// The desktop program's command line: the options it shares with
// talvane-batch (--load, --seed, --layout, --payoffs, --competition,
// --play-self, --extra-point, --log), --help and --version, checked before
// any window opens.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "rules.h"
#include "sim_state.h"
#include "world_file.h"

namespace talvane {

// What the command line asks of the start.
struct DesktopStart {
    std::optional<std::uint32_t> seed;          // the first seeding's seed, else the clock
    ColorLayout colorLayout = ColorLayout::Checkerboard;  // the layout of seeding
    Rules rules;                                // the game: whole payoffs, competition, play-self, extra point
    std::optional<WorldFile> world;             // --load: a 64 x 64 world to start from, in paint mode
    std::string logPath = "vemo.csv";           // --log
};

// Exit statuses of the command line.
inline constexpr int kDesktopGoOn = -1;       // start the program
inline constexpr int kDesktopUsage = 2;       // a bad option (one line on standard error)
inline constexpr int kDesktopBadWorld = 3;    // --load names a file that is no 64 x 64 world

// Parses the command line into start. Returns kDesktopGoOn to start the
// program, or the status to exit with: 0 after --help or --version (printed
// on standard output), or one of the codes above after one line on
// standard error.
int parseDesktopCommandLine(int argc, const char* const* argv, DesktopStart& start);

// Puts the start's settings into the shared state (before the window and the
// simulation thread exist).
void applyDesktopStart(const DesktopStart& start);

}  // namespace talvane
