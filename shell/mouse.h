// The mouse: grid clicks and painting, panel clicks, the paint tool buttons,
// the payoff matrix, and the pointer's shape. Positions are frame
// coordinates (x to the right, y downwards, origin at the top left).
#pragma once

#include "frame_layout.h"
#include "sim_state.h"

namespace talvane {

// What toolHitTest finds under a point.
enum ToolHit : int {
    kHitSwatch = 0,  // the brush swatch: fills the whole grid
    kHitFill = kToolFill,      // the flood-fill button
    kHitPencil = kToolPencil,  // the pencil button
    kHitNone = 3,    // no button
};

// Pointer moved: continues a pencil stroke, sets the cursor over the grid in
// paint mode, tracks the hovered panel row, repaints while paused.
void OnMouseMove(int x, int y);

// Chooses the cursor for the pointer's current position. Returns true.
bool OnSetCursor();

// Left press: panels, grid, payoff matrix and tool buttons, unless the
// popup menu was just dismissed (that press is swallowed).
void OnLButtonDown(int x, int y);

// Left release: ends a pencil stroke.
void OnLButtonUp(int x, int y);

// A press on the grid at (gx, gy) = (x - kGridLeft, y - kGridTop): pauses or resumes in
// random-pool mode or while running; paints in paint mode.
void gridClick(int gx, int gy);

// A press on the panels at (px, py) = (x - kPanelLeft, y - kPanelRowsTop): toggles a pool flag
// in random-pool mode, chooses the brush in paint mode.
void panelClick(int px, int py);

// Which paint tool button lies under (x, y).
int toolHitTest(int x, int y);

// A press on a tool button (paint mode only): the swatch fills the whole
// grid, the other two choose the tool.
void toolClick(int x, int y);

// Gives the region connected to cell [i][j] (edge neighbours on the torus,
// same pair in strategy view, same colour in colour view) the new values:
// the pair (newSelf, newOther) in strategy view, the colour newSelf in
// colour view. Does nothing while another fill runs.
void floodFill(int i, int j, int newSelf, int newOther);

// Gives every cell the pair (selfValue, otherValue) in strategy view, the
// colour selfValue in colour view.
void fillAll(int selfValue, int otherValue);

// One step of a pencil stroke at (gx, gy), wrapping the pointer around the
// torus when it has left the grid.
void dragPaint(int gx, int gy);

}  // namespace talvane
