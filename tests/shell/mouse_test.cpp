// Grid, panel, tool-button and payoff-matrix clicks, painting and cursors.
#include <gtest/gtest.h>

#include "commands.h"
#include "desktop_view.h"
#include "fake_window_system.h"
#include "mouse.h"
#include "payoffs.h"
#include "sim_state.h"

namespace talvane {
namespace {

using testing::FakeWindowSystem;

int cell(int i, int j) { return i * kGridSize + j; }

class MouseTest : public ::testing::Test {
protected:
    void SetUp() override { testing::installFake(ui); }
    void TearDown() override { setWindowSystem(nullptr); resetSimState(); resetDesktopView(); }

    // Paint mode with the given tool, paused, on a uniform world of (0, 0), colour 0.
    void enterPaintMode(int tool) {
        OnCommand(kCmdPaintCells);
        desktopView.paintTool = tool;
        testing::fillWorld(0, 0, 0);
    }
    int painted() const {
        int count = 0;
        for (int c = 0; c < kCellCount; ++c) count += (sim.world.selfStrategy[c] != 0 || sim.world.otherStrategy[c] != 0);
        return count;
    }

    FakeWindowSystem ui;
};

TEST_F(MouseTest, PencilPressPaintsTheCellUnderThePoint) {
    enterPaintMode(2);
    desktopView.brushSelf = 6;
    desktopView.brushOther = 2;
    sim.seededUnrun = true;
    OnLButtonDown(20, 80);
    OnLButtonDown(28, 88);
    EXPECT_EQ(painted(), 1);
    EXPECT_EQ(sim.world.selfStrategy[cell(0, 0)], 6);
    EXPECT_EQ(sim.world.otherStrategy[cell(0, 0)], 2);
    EXPECT_TRUE(desktopView.dragPainting);
    EXPECT_FALSE(sim.seededUnrun);
    EXPECT_EQ(ui.lastCursor(), PointerShape::Pencil);

    OnLButtonDown(595, 655);
    EXPECT_EQ(sim.world.selfStrategy[cell(63, 63)], 6);
    OnLButtonDown(596, 100);  // right of the grid: nothing
    EXPECT_EQ(painted(), 2);

    // Colour view paints colours only.
    desktopView.viewStrategies = false;
    desktopView.brushColor = 2;
    OnLButtonDown(20 + 9 * 5, 80 + 9 * 7);
    EXPECT_EQ(sim.world.cellColor[cell(5, 7)], 2);
    EXPECT_EQ(sim.world.selfStrategy[cell(5, 7)], 0);
}

TEST_F(MouseTest, GridPressPausesOrResumes) {
    sim.paused = false;
    OnLButtonDown(100, 100);
    EXPECT_TRUE(sim.paused);
    EXPECT_EQ(ui.lastCursor(), PointerShape::Hand);
    OnLButtonDown(100, 100);  // random-pool mode: resumes
    EXPECT_FALSE(sim.paused);

    // Paint mode while running: the press only pauses.
    sim.randomPoolMode = false;
    desktopView.paintTool = 2;
    testing::fillWorld(0, 0, 0);
    desktopView.brushSelf = 5;
    OnLButtonDown(100, 100);
    EXPECT_TRUE(sim.paused);
    EXPECT_EQ(painted(), 0);

    // A pool edit turns the resume into a restart that stays paused.
    sim.randomPoolMode = true;
    sim.poolEdited = true;
    OnLButtonDown(100, 100);
    EXPECT_TRUE(sim.paused);
    EXPECT_TRUE(sim.restartPending);
}

TEST_F(MouseTest, NoToolChosenPaintsNothing) {
    enterPaintMode(0);
    desktopView.brushSelf = 4;
    OnLButtonDown(100, 100);
    EXPECT_EQ(painted(), 0);
    EXPECT_FALSE(desktopView.dragPainting);
}

TEST_F(MouseTest, PanelClicksEditPoolsInRandomPoolMode) {
    sim.paused = false;
    OnLButtonDown(700, 140);
    EXPECT_TRUE(sim.paused);
    EXPECT_TRUE(sim.selfPool[3]);
    EXPECT_TRUE(sim.poolEdited);
    EXPECT_TRUE(desktopView.hoverOnLeftPanel);
    OnLButtonDown(850, 140);
    EXPECT_TRUE(sim.otherPool[3]);
    EXPECT_FALSE(desktopView.hoverOnLeftPanel);
    OnLButtonDown(700, 140);
    EXPECT_FALSE(sim.selfPool[3]);

    // Row bands: row 0 is y 88..97, row 7 ends at y 223.
    OnLButtonDown(700, 88);
    EXPECT_TRUE(sim.selfPool[0]);
    OnLButtonDown(979, 223);
    EXPECT_TRUE(sim.otherPool[7]);
    OnLButtonDown(785, 100);  // x 785 is still the left column
    EXPECT_TRUE(sim.selfPool[1]);
    OnLButtonDown(786, 100);
    EXPECT_TRUE(sim.otherPool[1]);

    // The panel's left edge column only pauses.
    sim.paused = false;
    const auto pools = sim.selfPool[2].load();
    OnLButtonDown(616, 120);
    EXPECT_TRUE(sim.paused);
    EXPECT_EQ(sim.selfPool[2], pools);
}

TEST_F(MouseTest, PanelClicksChooseTheBrushInPaintMode) {
    enterPaintMode(2);
    OnLButtonDown(700, 140);
    EXPECT_EQ(desktopView.brushSelf, 3);
    OnLButtonDown(850, 140);
    EXPECT_EQ(desktopView.brushOther, 3);
    EXPECT_FALSE(sim.poolEdited);
    EXPECT_FALSE(sim.selfPool[3]);

    desktopView.viewStrategies = false;
    OnLButtonDown(700, 176);  // row 5
    EXPECT_EQ(desktopView.brushColor, 2);
    const int rowColours[] = {0, 1, 2, 0, 1, 2, 0, 1};
    for (int row = 0; row < 8; ++row) {
        OnLButtonDown(700, 90 + 18 * row);
        EXPECT_EQ(desktopView.brushColor, rowColours[row]) << "row " << row;
    }
    OnLButtonDown(850, 100);  // colour view has no right column
    EXPECT_EQ(desktopView.brushColor, 1);
    EXPECT_EQ(desktopView.brushOther, 3);
}

TEST_F(MouseTest, ToolHitTestAtTheButtonEdges) {
    struct Probe { int x, y, hit; };
    const Probe probes[] = {
        {625, 452, kHitSwatch}, {657, 483, kHitSwatch}, {640, 460, kHitSwatch},
        {658, 460, kHitNone},   {659, 460, kHitNone},   {661, 460, kHitNone},
        {662, 452, kHitPencil}, {694, 483, kHitPencil}, {670, 460, kHitPencil},
        {695, 460, kHitNone},   {698, 460, kHitNone},
        {699, 452, kHitFill},   {731, 483, kHitFill},   {710, 460, kHitFill},
        {732, 460, kHitNone},   {624, 460, kHitNone},
        {640, 451, kHitNone},   {640, 484, kHitNone},   {590, 460, kHitNone},
    };
    for (const Probe& p : probes) {
        EXPECT_EQ(toolHitTest(p.x, p.y), p.hit) << "(" << p.x << ", " << p.y << ")";
    }
}

TEST_F(MouseTest, ToolButtonsInPaintMode) {
    enterPaintMode(0);
    desktopView.brushSelf = 6;
    desktopView.brushOther = 2;
    sim.seededUnrun = true;
    OnLButtonDown(640, 460);
    EXPECT_EQ(painted(), kCellCount);
    EXPECT_EQ(sim.world.selfStrategy[cell(40, 11)], 6);
    EXPECT_EQ(sim.world.otherStrategy[cell(40, 11)], 2);
    EXPECT_FALSE(sim.seededUnrun);

    OnLButtonDown(670, 460);
    EXPECT_EQ(desktopView.paintTool, 2);
    OnLButtonDown(710, 460);
    EXPECT_EQ(desktopView.paintTool, 1);
    OnLButtonDown(659, 460);
    EXPECT_EQ(desktopView.paintTool, 1);

    // Colour view: the swatch sets every colour and no strategy.
    desktopView.viewStrategies = false;
    desktopView.brushColor = 1;
    desktopView.brushSelf = 3;
    OnLButtonDown(640, 460);
    for (int c = 0; c < kCellCount; ++c) ASSERT_EQ(sim.world.cellColor[c], 1);
    EXPECT_EQ(sim.world.selfStrategy[0], 6);
}

TEST_F(MouseTest, PressAt590x460PaintsOneGridCellOnly) {
    enterPaintMode(2);
    desktopView.brushSelf = 1;
    OnLButtonDown(590, 460);
    EXPECT_EQ(painted(), 1);
    EXPECT_EQ(sim.world.selfStrategy[cell(63, 42)], 1);
    EXPECT_EQ(desktopView.paintTool, 2);
}

TEST_F(MouseTest, ToolButtonsIgnoredInRandomPoolMode) {
    testing::fillWorld(0, 0, 0);
    desktopView.brushSelf = 4;
    OnLButtonDown(640, 460);
    OnLButtonDown(710, 460);
    EXPECT_EQ(painted(), 0);
    EXPECT_EQ(desktopView.paintTool, 0);
}

TEST_F(MouseTest, FloodFillCoversAWholeUniformGrid) {
    enterPaintMode(1);
    desktopView.brushSelf = 7;
    desktopView.brushOther = 3;
    sim.seededUnrun = true;
    OnLButtonDown(300, 300);
    EXPECT_EQ(painted(), kCellCount);
    for (int c = 0; c < kCellCount; ++c) {
        ASSERT_EQ(sim.world.selfStrategy[c], 7);
        ASSERT_EQ(sim.world.otherStrategy[c], 3);
    }
    EXPECT_FALSE(desktopView.fillBusy);
    EXPECT_TRUE(sim.seededUnrun);  // a fill is not a stroke
    EXPECT_FALSE(desktopView.dragPainting);
    EXPECT_EQ(ui.lastCursor(), PointerShape::Bucket);
}

TEST_F(MouseTest, FloodFillFollowsTheRegionAcrossTheWrap) {
    enterPaintMode(1);
    // Two stripes at the grid's left and right edges, first index 0 and 63,
    // joined only around the torus; a single diagonal cell beside them.
    for (int j = 0; j < kGridSize; ++j) {
        sim.world.selfStrategy[cell(0, j)] = 5;
        sim.world.selfStrategy[cell(63, j)] = 5;
    }
    sim.world.selfStrategy[cell(1, 1)] = 5;     // joined to the left stripe by an edge
    sim.world.selfStrategy[cell(2, 3)] = 5;     // only diagonal to (1, 1): not joined
    desktopView.brushSelf = 2;
    desktopView.brushOther = 0;
    OnLButtonDown(20 + 9 * 63 + 3, 80 + 9 * 10);  // a cell of the right stripe
    for (int j = 0; j < kGridSize; ++j) {
        ASSERT_EQ(sim.world.selfStrategy[cell(0, j)], 2);
        ASSERT_EQ(sim.world.selfStrategy[cell(63, j)], 2);
    }
    EXPECT_EQ(sim.world.selfStrategy[cell(1, 1)], 2);
    EXPECT_EQ(sim.world.selfStrategy[cell(2, 3)], 5);
    EXPECT_EQ(sim.world.selfStrategy[cell(30, 30)], 0);
}

TEST_F(MouseTest, FloodFillCompareSameValueAndColourView) {
    enterPaintMode(1);
    sim.world.selfStrategy[cell(10, 10)] = 3;
    sim.world.otherStrategy[cell(10, 10)] = 4;
    // The same self strategy but another pair is a different region.
    sim.world.selfStrategy[cell(11, 10)] = 3;
    desktopView.brushSelf = 3;
    desktopView.brushOther = 4;
    floodFill(10, 10, 3, 4);  // the brush equals the start cell: nothing changes
    EXPECT_EQ(painted(), 2);
    floodFill(10, 10, 1, 1);
    EXPECT_EQ(sim.world.selfStrategy[cell(10, 10)], 1);
    EXPECT_EQ(sim.world.selfStrategy[cell(11, 10)], 3);

    desktopView.viewStrategies = false;
    sim.world.cellColor[cell(20, 20)] = 2;
    floodFill(5, 5, 1, 0);
    EXPECT_EQ(sim.world.cellColor[cell(5, 5)], 1);
    EXPECT_EQ(sim.world.cellColor[cell(20, 20)], 2);
    EXPECT_EQ(sim.world.selfStrategy[cell(5, 5)], 0);  // colour view leaves strategies alone

    desktopView.fillBusy = true;  // a fill under way takes no second one
    floodFill(5, 5, 0, 0);
    EXPECT_EQ(sim.world.cellColor[cell(5, 5)], 1);
}

TEST_F(MouseTest, PencilStrokeWrapsAroundTheEdges) {
    enterPaintMode(2);
    desktopView.brushSelf = 4;
    const int y = 80 + 9 * 10 + 4;  // second index 10
    OnLButtonDown(20 + 9 * 62 + 4, y);
    OnMouseMove(20 + 9 * 63 + 4, y);
    EXPECT_TRUE(ui.warps.empty());
    OnMouseMove(600, y);  // gx 580: past the right edge
    ASSERT_EQ(ui.warps.size(), 1u);
    EXPECT_EQ(ui.warps[0], std::make_pair(24, y));
    EXPECT_EQ(sim.world.selfStrategy[cell(0, 10)], 4);
    OnMouseMove(24 + 9, y);
    EXPECT_EQ(sim.world.selfStrategy[cell(1, 10)], 4);
    EXPECT_EQ(painted(), 4);

    // Past the left edge and the top edge, one coordinate per move.
    OnMouseMove(15, y);
    EXPECT_EQ(ui.warps.back(), std::make_pair(15 + 576, y));
    EXPECT_EQ(sim.world.selfStrategy[cell(63, 10)], 4);
    OnMouseMove(100, 78);
    EXPECT_EQ(ui.warps.back(), std::make_pair(100, 78 + 576));
    EXPECT_EQ(sim.world.selfStrategy[cell(8, 63)], 4);
    OnMouseMove(100, 660);
    EXPECT_EQ(ui.warps.back(), std::make_pair(100, 84));
    EXPECT_EQ(sim.world.selfStrategy[cell(8, 0)], 4);

    // The release ends the stroke.
    OnLButtonUp(100, 200);
    const int before = painted();
    OnMouseMove(400, 400);
    EXPECT_EQ(painted(), before);
}

TEST_F(MouseTest, StrokePaintsNothingOnceRunning) {
    enterPaintMode(2);
    desktopView.brushSelf = 4;
    OnLButtonDown(100, 100);
    sim.paused = false;
    OnMouseMove(200, 200);
    EXPECT_EQ(painted(), 1);
}

TEST_F(MouseTest, PayoffMatrixOpensTheDialogInFiniteCompetitionOnly) {
    OnLButtonDown(850, 300);
    EXPECT_EQ(ui.dialogsShown.size(), 1u);
    OnLButtonDown(836, 300);
    OnLButtonDown(916, 300);
    EXPECT_EQ(ui.dialogsShown.size(), 1u);
    sim.competitionMode = 5;
    OnLButtonDown(850, 300);
    EXPECT_EQ(ui.dialogsShown.size(), 1u);
}

TEST_F(MouseTest, CursorFollowsWhatAClickWouldDo) {
    auto cursorAt = [this](int x, int y) {
        ui.pointerX = x;
        ui.pointerY = y;
        EXPECT_TRUE(OnSetCursor());
        return ui.lastCursor();
    };
    EXPECT_EQ(cursorAt(100, 100), PointerShape::Hand);     // the grid toggles the pause
    EXPECT_EQ(cursorAt(700, 140), PointerShape::Hand);     // panels
    EXPECT_EQ(cursorAt(850, 300), PointerShape::Hand);     // payoff matrix
    EXPECT_EQ(cursorAt(640, 460), PointerShape::Arrow);    // tool buttons have none
    EXPECT_EQ(cursorAt(5, 5), PointerShape::Arrow);
    sim.competitionMode = 5;
    EXPECT_EQ(cursorAt(850, 300), PointerShape::Arrow);

    OnCommand(kCmdPaintCells);
    EXPECT_EQ(cursorAt(100, 100), PointerShape::Pencil);
    desktopView.paintTool = 1;
    EXPECT_EQ(cursorAt(100, 100), PointerShape::Bucket);
    sim.paused = false;
    EXPECT_EQ(cursorAt(100, 100), PointerShape::Hand);

    desktopView.menuOpen = true;
    EXPECT_EQ(cursorAt(100, 100), PointerShape::Arrow);
}

TEST_F(MouseTest, PointerMovesTrackTheHoveredPanelRow) {
    OnMouseMove(700, 140);
    EXPECT_EQ(desktopView.hoveredPanelRow, 3);
    EXPECT_TRUE(desktopView.hoverOnLeftPanel);
    OnMouseMove(850, 223);
    EXPECT_EQ(desktopView.hoveredPanelRow, 7);
    EXPECT_FALSE(desktopView.hoverOnLeftPanel);
    OnMouseMove(850, 87);
    EXPECT_EQ(desktopView.hoveredPanelRow, -1);
    EXPECT_FALSE(desktopView.hoverOnLeftPanel);  // keeps its value outside

    const int before = ui.fakeHost.repaints;
    OnMouseMove(10, 10);
    EXPECT_EQ(ui.fakeHost.repaints, before + 1);  // paused: every move repaints
    sim.paused = false;
    OnMouseMove(12, 10);
    EXPECT_EQ(ui.fakeHost.repaints, before + 1);
}

}  // namespace
}  // namespace talvane
