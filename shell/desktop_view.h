// The desktop's own record, beside the shared one: the view, the info page,
// the pointer over the panels, the paint tools and brush, the popup menu and
// the flood fill's marks. Only the user-interface thread reads or writes it
// (the simulation thread never looks at any of it), so its fields are plain.
#pragma once

#include <cstdint>

#include "sim_state.h"

namespace talvane {

struct DesktopView {
    // --- What the frame shows ---
    bool viewStrategies = true;        // grid and panels show strategies (true) or colours (false)
    std::int32_t infoPage = 0;         // 0..5: which colour the status text is drawn in
    std::int32_t hoveredPanelRow = -1; // panel row under the pointer, -1 outside the panels
    bool hoverOnLeftPanel = false;     // the pointer was last over the left panel column

    // --- Painting ---
    std::int32_t paintTool = kToolNone;  // a PaintTool
    std::int32_t brushSelf = 0;          // self strategy that painting writes
    std::int32_t brushOther = 0;         // others strategy that painting writes
    std::int32_t brushColor = 0;         // colour that painting writes
    bool dragPainting = false;           // a pencil stroke is under way
    bool fillBusy = false;               // a flood fill is running
    Grid<std::uint8_t> fillMark{};       // visited marks of the flood fill

    // --- The popup menu ---
    bool menuOpen = false;         // the popup menu is on screen
    bool ignoreNextClick = false;  // the menu closed without a choice: swallow the next left press
};

// The one instance, the desktop program's, holding its start values.
extern DesktopView desktopView;

// Puts every field of desktopView back to its start value. For tests, beside
// resetSimState().
void resetDesktopView();

}  // namespace talvane
