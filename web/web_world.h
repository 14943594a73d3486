// The world the web page holds: the run of an engine World made from
// talvane-batch's options (parsed by the batch runner's own option code),
// stepped as the batch runner steps it, with the seed and the page's edits. Every call works on this value; nothing here touches the
// process-wide sim state.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "grid_image.h"
#include "rules.h"
#include "statistics.h"
#include "world.h"
#include "world_run.h"

namespace talvane::web {

inline constexpr int kMaxPageSide = 1024;  // the page's worlds are at most this many cells a side

class WebWorld {
public:
    WebWorld() = default;
    WebWorld(const WebWorld&) = delete;
    WebWorld& operator=(const WebWorld&) = delete;

    // Builds the world that talvane-batch with these options (argv[0] left
    // out, long names as typed: "--size", "99", "--play-self") would hold
    // once --generations have run. False with a message for the user on a
    // bad option, an option the page has no use for, a world larger than
    // the page allows or one that memory cannot hold; the world is then
    // unchanged.
    bool start(const std::vector<std::string>& args, std::string& error);

    // Starts again from the options of the latest start (the same seed).
    void restart();

    // One generation as talvane-batch steps it: the update rule, then mutation.
    void step();

    // Sets the cell at (row, col): a colour code, or the two strategy codes;
    // a code below 0 leaves that part alone. Returns true when it changed.
    bool setCell(int row, int col, int color, int self, int other);

    // Sets every cell from codes (colour * 64 + self * 8 + others), row by
    // row; false, and nothing changed, unless there is one valid code a cell.
    bool setCells(const std::vector<int>& codes);

    // The world as a world file would hold it, "\n" line ends (talvane-batch --save).
    std::string saveText() const;

    // Replaces the grids with a world file's (any size the page allows); the
    // rules stay. False with a message naming the line at fault.
    bool loadText(const std::string& text, std::string& error);

    // Draws the grid as talvane-batch --image does (palette indexes).
    const IndexedImage& draw(int cellPixels, GridView view);

    // The statistics of the world now (whole world, then each colour).
    WorldStats stats() const;

    WorldRun<World> run{World(), defaultRules()};  // the world, its rules and generator
    World& world = run.world();           // the run's world: the grids the page draws and edits
    std::uint32_t seed = 0;               // seed of the latest start
    std::int64_t startGeneration = 0;     // generations run when the world was started (--generations)

private:
    std::vector<std::string> args_;       // options of the latest start
    IndexedImage image_;                  // the latest picture
};

// Bytes a world of rows x cols cells needs while it runs, about.
std::uint64_t bytesForWorld(int rows, int cols);

}  // namespace talvane::web
