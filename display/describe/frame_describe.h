// Filling a frame description from a world and the settings shown beside it:
// the game's name, the status texts, the panels' names and marks. No OpenGL:
// the batch runner, the Python module and the desktop all link it.
#pragma once

#include <array>
#include <cstdint>

#include "frame_description.h"
#include "world.h"

namespace talvane {

// What the frame shows besides the cells and the desktop's pointer and tools.
// Codes are kept as plain numbers, as the desktop's record holds them: a
// value out of range is drawn as the desktop draws it.
struct FrameSettings {
    std::array<std::int32_t, 4> payoffs{3, 0, 5, 1};    // R, S, T, P as the matrix shows them
    CompetitionMode competition = CompetitionMode::Finite;
    bool playSelf = false;                              // cells also play themselves
    bool extraPoint = false;                            // the extra point for same-colour games
    ColorLayout colorLayout = ColorLayout::Checkerboard;
    std::array<bool, kCodeCount> selfExcluded{};        // codes kept out of seeded self strategies
    std::array<bool, kCodeCount> otherExcluded{};       // codes kept out of seeded others strategies
    bool randomPool = true;                             // "Random pool" (true) or "Paint cells"
    std::int32_t generation = 0;                        // the generation shown
    bool paused = true;                                 // the run is paused
    std::int32_t frameInterval = 1;                     // 0 slow motion, 1 every frame, N every Nth
    bool viewStrategies = true;                         // strategies (true) or colours
};

// The title line: "Spatialized " and the game's name, or "Unnamed Game"
// alone, then " (Paused)" while paused. In infinite competition the game is
// that of the long-run table in use, whatever the four payoffs.
FrameText titleLine(const FrameSettings& settings);

// Status line 1..11 (line 3 is always empty); empty for any other number.
FrameText statusLine(const FrameSettings& settings, int line);

// A description of the settings with no cells (all code 0) and the pointer
// and tools at rest: no hovered row, no tool, brush 0/0 and colour 0.
FrameDescription describeFrame(const FrameSettings& settings);

// Copies the cells of a 64 x 64 world into the description; false, and
// nothing copied, for a world of any other shape.
bool describeCells(const World& world, FrameDescription& description);

// The frame of a paused or running world, as the desktop would show it:
// describeFrame and describeCells. Cells stay code 0 unless the world is 64 x 64.
FrameDescription describeWorld(const World& world, const FrameSettings& settings);

}  // namespace talvane
