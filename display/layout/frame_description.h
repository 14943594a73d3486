// Everything one frame draws, as a plain value: the cells, the view, the
// texts, the panels' marks, the icon or the tool buttons, the payoff matrix.
// Whoever fills it works out what needs the engine (game names, strategy and
// colour names, the status texts); drawing it needs nothing else, so any
// program can draw a frame of its own state: the desktop, a snapshot, Python.
// No OpenGL; trivially copyable, so it crosses module boundaries as bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "sim_state.h"

namespace talvane {

// Room for any title, status line, payoff row or panel row name, terminator included.
inline constexpr std::size_t kFrameTextSize = 64;
// A text of the frame, always terminated; empty is drawn as nothing.
using FrameText = std::array<char, kFrameTextSize>;

inline constexpr int kStatusLineCount = 11;  // lines of the status block
inline constexpr int kColorRowCount = 3;     // rows of the colour panel: Green, Cyan, Red

struct FrameDescription {
    // --- The grid: cell i * 64 + j is drawn at column i, row j ---
    std::array<std::int8_t, kCellCount> selfCodes{};   // self strategy: the inner square
    std::array<std::int8_t, kCellCount> otherCodes{};  // others strategy: the outer square
    std::array<std::int8_t, kCellCount> colorCodes{};  // colour code: the whole cell in colour view
    bool viewStrategies = true;  // grid, panels and brush show strategies (true) or colours (false)

    // --- Texts ---
    FrameText title{};                                      // the title line
    std::array<FrameText, kStatusLineCount> statusLines{};  // status lines 1..11 at index 0..10
    std::int32_t infoPage = 0;  // 0..5: colour of the status lines and the matrix numbers

    // --- The panels ---
    std::array<FrameText, kCodeCount> strategyNames{};   // rows of the self and others panels
    std::array<FrameText, kColorRowCount> colorNames{};  // rows of the colour panel
    std::array<bool, kCodeCount> selfExcluded{};         // the self (and colour) panel's row is out of the pool
    std::array<bool, kCodeCount> otherExcluded{};        // the others panel's row is out of the pool
    bool poolMarksShown = true;           // excluded rows are greyed out, without swatch (random-pool mode)
    std::int32_t hoveredPanelRow = -1;    // row under the pointer, -1 none
    bool hoverOnLeftPanel = false;        // the hovered row is in the left column

    // --- Below the status block: the layout icon or the paint tool buttons ---
    bool layoutIconShown = true;                    // the icon (random-pool mode), else the buttons
    std::int32_t colorLayout = static_cast<std::int32_t>(ColorLayout::Checkerboard);  // the icon's layout; other values draw a bare plate
    std::int32_t paintTool = kToolNone;             // the button drawn selected, a PaintTool
    std::int32_t brushSelf = 0;                     // the swatch's inner code in strategy view
    std::int32_t brushOther = 0;                    // the swatch's outer code in strategy view
    std::int32_t brushColor = 0;                    // the swatch's code in colour view

    // --- The payoff matrix ---
    bool payoffMatrixShown = true;                    // drawn in finite competition only
    std::array<std::int32_t, 4> payoffs{3, 0, 5, 1};  // R, S, T, P
};

static_assert(std::is_trivially_copyable_v<FrameDescription>);

}  // namespace talvane
