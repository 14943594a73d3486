// The desktop's frame description: the shared record's settings, the pointer
// and the tools as the frame shows them, and one whole generation even while
// the simulation thread is writing the grid.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "desktop_frame.h"
#include "desktop_view.h"
#include "sim_state.h"

namespace talvane {
namespace {

class DesktopFrameTest : public ::testing::Test {
protected:
    void SetUp() override { resetSimState(); resetDesktopView(); }
    void TearDown() override { resetSimState(); resetDesktopView(); }
};

std::string text(const FrameText& t) { return std::string(t.data()); }

TEST_F(DesktopFrameTest, ShowsTheRecordsSettingsPointerAndTools) {
    sim.paused = false;
    sim.generation = 41;
    sim.payoffCC = 4;
    sim.selfPool[3] = true;
    sim.otherPool[5] = true;
    sim.randomPoolMode = false;
    desktopView.viewStrategies = false;
    desktopView.hoveredPanelRow = 4;
    desktopView.hoverOnLeftPanel = true;
    desktopView.paintTool = kToolFill;
    desktopView.brushSelf = 6;
    desktopView.brushOther = 2;
    desktopView.brushColor = 1;
    desktopView.infoPage = 5;
    const FrameDescription d = describeDesktopFrame();
    EXPECT_EQ(text(d.title), "Spatialized Prisoner's Dilemma");
    EXPECT_EQ(text(d.statusLines[1]), "Generation 41");
    EXPECT_EQ(text(d.statusLines[4]), "<SPACE> Pause");
    EXPECT_EQ(d.payoffs, (std::array<std::int32_t, 4>{4, 0, 5, 1}));
    EXPECT_TRUE(d.selfExcluded[3] && d.otherExcluded[5] && !d.selfExcluded[5] && !d.otherExcluded[3]);
    EXPECT_FALSE(d.poolMarksShown || d.layoutIconShown || d.viewStrategies);
    EXPECT_EQ(d.hoveredPanelRow, 4);
    EXPECT_TRUE(d.hoverOnLeftPanel);
    EXPECT_EQ(d.paintTool, kToolFill);
    EXPECT_EQ(d.brushSelf * 100 + d.brushOther * 10 + d.brushColor, 621);
    EXPECT_EQ(d.infoPage, 5);
}

// The desktop's own record starts as the window does, and its reset brings
// every field back after a session's worth of changes.
TEST_F(DesktopFrameTest, TheDesktopRecordResetsToTheStartUpView) {
    for (int pass = 0; pass < 2; ++pass) {
        const DesktopView& v = desktopView;
        EXPECT_TRUE(v.viewStrategies);
        EXPECT_EQ(v.infoPage, 0);
        EXPECT_EQ(v.hoveredPanelRow, -1);
        EXPECT_FALSE(v.hoverOnLeftPanel);
        EXPECT_EQ(v.paintTool, kToolNone);
        EXPECT_EQ(v.brushSelf + v.brushOther + v.brushColor, 0);
        EXPECT_FALSE(v.dragPainting || v.fillBusy || v.menuOpen || v.ignoreNextClick);
        EXPECT_EQ(std::count(v.fillMark.begin(), v.fillMark.end(), 0), kCellCount);
        desktopView.viewStrategies = false;
        desktopView.infoPage = 4;
        desktopView.hoveredPanelRow = 2;
        desktopView.hoverOnLeftPanel = true;
        desktopView.paintTool = kToolPencil;
        desktopView.brushSelf = desktopView.brushOther = desktopView.brushColor = 1;
        desktopView.dragPainting = desktopView.fillBusy = desktopView.menuOpen = desktopView.ignoreNextClick = true;
        desktopView.fillMark.fill(1);
        resetDesktopView();
    }
}

// A writer that, like a generation, changes every cell under the grid lock:
// every description must show the grid before or after a change, never half.
TEST_F(DesktopFrameTest, ShowsOneWholeGenerationWhileTheGridIsWritten) {
    std::atomic<bool> stop{false};
    std::atomic<long> generations{0};
    std::thread writer([&] {
        for (int g = 1; !stop.load(); ++g) {
            GridLock lock;
            const auto code = static_cast<CellCode>(g % 8);
            std::fill(sim.world.selfStrategy.begin(), sim.world.selfStrategy.end(), code);
            std::fill(sim.world.otherStrategy.begin(), sim.world.otherStrategy.end(), code);
            std::fill(sim.world.cellColor.begin(), sim.world.cellColor.end(), static_cast<CellCode>(g % 3));
            generations.fetch_add(1);
        }
    });
    // Frames until the writer has been at work between many of them, within
    // a bounded time.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int torn = 0;
    int frames = 0;
    while ((frames < 300 || generations.load() < 300) && std::chrono::steady_clock::now() < deadline) {
        ++frames;
        const FrameDescription d = describeDesktopFrame();
        for (std::size_t k = 0; k < kCellCount; ++k) {
            if (d.selfCodes[k] != d.selfCodes[0] || d.otherCodes[k] != d.selfCodes[0] ||
                d.colorCodes[k] != d.colorCodes[0]) {
                ++torn;
                break;
            }
        }
    }
    stop = true;
    writer.join();
    EXPECT_EQ(torn, 0) << "frames showed part of a generation";
    EXPECT_GE(generations.load(), 300) << "the writer hardly ran: nothing was tested";
}

}  // namespace
}  // namespace talvane
