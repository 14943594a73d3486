#include "mouse.h"

#include <array>
#include <vector>

#include "classroom.h"
#include "desktop_view.h"
#include "dialogs.h"
#include "host.h"
#include "run_control.h"
#include "sim_state.h"
#include "window_system.h"

namespace talvane {

namespace {

void requestRepaint() {
    if (sim.host != nullptr) sim.host->requestRepaint();
}

int cellIndex(int i, int j) { return i * kGridSize + j; }

// The cursor of the current paint tool, for a pointer over the grid in
// paint mode; other tool values leave the cursor alone.
void setToolCursor() {
    const int tool = desktopView.paintTool;
    if (tool == kToolPencil) windowSystem().setCursor(PointerShape::Pencil);
    if (tool == kToolFill) windowSystem().setCursor(PointerShape::Bucket);
}

bool overPayoffMatrix(int x, int y) {
    return competitionOf(sim) == CompetitionMode::Finite && kPayoffMatrixArea.contains(x, y);
}

// Writes the brush into cell [i][j]: the pair in strategy view, the colour in
// colour view.
void paintCell(int i, int j) {
    const int cell = cellIndex(i, j);
    if (desktopView.viewStrategies) {
        sim.world.selfStrategy[cell] = desktopView.brushSelf;
        sim.world.otherStrategy[cell] = desktopView.brushOther;
    } else {
        sim.world.cellColor[cell] = desktopView.brushColor;
    }
}

// The value the flood fill compares: the pair in strategy view, the colour
// in colour view.
std::int64_t fillValue(int cell, bool strategies) {
    if (strategies) return std::int64_t{sim.world.selfStrategy[cell]} * 8 + sim.world.otherStrategy[cell];
    return sim.world.cellColor[cell];
}

void writeFillValue(int cell, bool strategies, int newSelf, int newOther) {
    if (strategies) {
        sim.world.selfStrategy[cell] = newSelf;
        sim.world.otherStrategy[cell] = newOther;
    } else {
        sim.world.cellColor[cell] = newSelf;
    }
}

void paintGridCell(int i, int j) {
    const int tool = desktopView.paintTool;
    if (tool == kToolFill) {
        windowSystem().setCursor(PointerShape::Bucket);
        if (desktopView.fillBusy) return;
        if (desktopView.viewStrategies) {
            floodFill(i, j, desktopView.brushSelf, desktopView.brushOther);
        } else {
            floodFill(i, j, desktopView.brushColor, 0);
        }
    } else if (tool == kToolPencil) {
        windowSystem().setCursor(PointerShape::Pencil);
        {
            SimulationHold hold;
            recordUndoPoint();  // the stroke that starts here is undone as a whole
            paintCell(i, j);
        }
        desktopView.dragPainting = true;
        sim.seededUnrun = false;
    }
}

}  // namespace

void OnMouseMove(int x, int y) {
    if (desktopView.dragPainting) dragPaint(x - kGridLeft, y - kGridTop);
    if (kGridArea.contains(x, y) && !sim.randomPoolMode && sim.paused) setToolCursor();
    if (kPanelArea.contains(x, y)) {
        desktopView.hoveredPanelRow = (y - kPanelRowsTop) / kPanelRowPitch;
        desktopView.hoverOnLeftPanel = (x - kPanelLeft < kLeftPanelWidth);
    } else {
        desktopView.hoveredPanelRow = -1;
    }
    if (overPayoffMatrix(x, y)) windowSystem().setCursor(PointerShape::Hand);
    if (sim.paused) requestRepaint();
}

bool OnSetCursor() {
    WindowSystem& ui = windowSystem();
    if (desktopView.menuOpen) {
        ui.setCursor(PointerShape::Arrow);
        return true;
    }
    int x = 0;
    int y = 0;
    ui.pointerPosition(x, y);
    if (kGridArea.contains(x, y)) {
        if (!sim.randomPoolMode && sim.paused) {
            setToolCursor();
        } else {
            ui.setCursor(PointerShape::Hand);
        }
    } else if (kPanelArea.contains(x, y) || overPayoffMatrix(x, y)) {
        ui.setCursor(PointerShape::Hand);
    } else {
        ui.setCursor(PointerShape::Arrow);
    }
    return true;
}

void OnLButtonDown(int x, int y) {
    if (desktopView.ignoreNextClick) {
        desktopView.ignoreNextClick = false;
        return;
    }
    if (kPanelArea.contains(x, y)) panelClick(x - kPanelLeft, y - kPanelRowsTop);
    if (kGridArea.contains(x, y)) gridClick(x - kGridLeft, y - kGridTop);
    if (overPayoffMatrix(x, y)) editPayoffs();
    if (toolHitTest(x, y) != kHitNone) toolClick(x, y);
}

void OnLButtonUp(int /*x*/, int /*y*/) {
    desktopView.dragPainting = false;
    if (sim.randomPoolMode) return;
    int x = 0;
    int y = 0;
    windowSystem().pointerPosition(x, y);
    if (kGridArea.contains(x, y) && sim.paused) setToolCursor();
}

void gridClick(int gx, int gy) {
    if (!sim.paused || sim.randomPoolMode) {
        windowSystem().setCursor(PointerShape::Hand);
        togglePause();
        return;
    }
    paintGridCell(gx / kCellPitch, gy / kCellPitch);
    requestRepaint();
}

void panelClick(int px, int py) {
    pauseIfRunning();
    if (py < kPanelTopMargin || px <= 0) return;
    const int row = py / kPanelRowPitch;
    const bool left = px < kLeftPanelWidth;
    desktopView.hoverOnLeftPanel = left;
    if (sim.randomPoolMode) {
        auto& flag = left ? sim.selfPool[row] : sim.otherPool[row];
        flag = !flag;
        sim.poolEdited = true;
    } else if (desktopView.viewStrategies) {
        (left ? desktopView.brushSelf : desktopView.brushOther) = row;
    } else if (left) {
        desktopView.brushColor = row % 3;
    }
    requestRepaint();
}

int toolHitTest(int x, int y) {
    const int dx = x - kSwatchButtonX;
    const int dy = y - kToolButtonY;
    if (dx < 0 || dx > 2 * kToolButtonPitch + kToolButtonSize || dy < 0 || dy >= kToolButtonSize) return kHitNone;
    const int button = dx / kToolButtonPitch;
    if (dx - kToolButtonPitch * button > kToolButtonSize) return kHitNone;
    constexpr std::array<int, 3> hits{kHitSwatch, kHitPencil, kHitFill};
    return hits[button];
}

void toolClick(int x, int y) {
    if (sim.randomPoolMode) return;
    pauseIfRunning();
    const int hit = toolHitTest(x, y);
    if (hit == kHitSwatch) {
        if (desktopView.viewStrategies) {
            fillAll(desktopView.brushSelf, desktopView.brushOther);
        } else {
            fillAll(desktopView.brushColor, 0);
        }
        requestRepaint();
    } else if (hit == kHitFill || hit == kHitPencil) {
        desktopView.paintTool = hit;
        requestRepaint();
    }
}

void floodFill(int i, int j, int newSelf, int newOther) {
    if (desktopView.fillBusy) return;
    desktopView.fillBusy = true;
    SimulationHold hold;
    desktopView.fillMark.fill(0);
    const bool strategies = desktopView.viewStrategies;
    const std::int64_t oldValue = fillValue(cellIndex(i, j), strategies);
    const std::int64_t newValue = strategies ? std::int64_t{newSelf} * 8 + newOther : newSelf;
    if (newValue != oldValue) {
        recordUndoPoint();
        // Depth first with an explicit stack: a region can be the whole grid.
        std::vector<int> pending;
        pending.reserve(kCellCount);
        pending.push_back(cellIndex(i, j));
        while (!pending.empty()) {
            const int cell = pending.back();
            pending.pop_back();
            if (desktopView.fillMark[cell] != 0) continue;
            desktopView.fillMark[cell] = 1;
            if (fillValue(cell, strategies) != oldValue) continue;
            writeFillValue(cell, strategies, newSelf, newOther);
            const int r = cell / kGridSize;
            const int c = cell % kGridSize;
            // Pushed in reverse so the next row is visited first.
            pending.push_back(cellIndex(r, (c + kGridSize - 1) % kGridSize));
            pending.push_back(cellIndex((r + kGridSize - 1) % kGridSize, c));
            pending.push_back(cellIndex(r, (c + 1) % kGridSize));
            pending.push_back(cellIndex((r + 1) % kGridSize, c));
        }
    }
    desktopView.fillBusy = false;
}

void fillAll(int selfValue, int otherValue) {
    SimulationHold hold;
    recordUndoPoint();
    sim.seededUnrun = false;
    for (int cell = 0; cell < kCellCount; ++cell) {
        if (desktopView.viewStrategies) {
            sim.world.selfStrategy[cell] = selfValue;
            sim.world.otherStrategy[cell] = otherValue;
        } else {
            sim.world.cellColor[cell] = selfValue;
        }
    }
}

void dragPaint(int gx, int gy) {
    if (!desktopView.dragPainting || !sim.paused) return;
    bool wrapped = true;
    if (gx >= kGridPixels) {
        gx %= kGridPixels;
    } else if (gy >= kGridPixels) {
        gy %= kGridPixels;
    } else if (gx < 0) {
        gx += kGridPixels;
    } else if (gy < 0) {
        gy += kGridPixels;
    } else {
        wrapped = false;
    }
    if (wrapped) windowSystem().warpPointer(gx + kGridLeft, gy + kGridTop);
    const int i = gx / kCellPitch;
    const int j = gy / kCellPitch;
    if (i < 0 || i >= kGridSize || j < 0 || j >= kGridSize) return;
    SimulationHold hold;
    paintCell(i, j);
}

}  // namespace talvane
