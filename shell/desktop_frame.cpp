#include "desktop_frame.h"

#include "desktop_view.h"
#include "sim_state.h"

namespace talvane {
namespace {

template <std::size_t N>
std::array<bool, N> loadFlags(const std::array<std::atomic<bool>, N>& flags) {
    std::array<bool, N> values{};
    for (std::size_t i = 0; i < N; ++i) values[i] = flags[i].load(std::memory_order_relaxed);
    return values;
}

// The info page, the pointer and the paint tools: the desktop's own record.
void describePointerAndTools(FrameDescription& d) {
    d.infoPage = desktopView.infoPage;
    d.hoveredPanelRow = desktopView.hoveredPanelRow;
    d.hoverOnLeftPanel = desktopView.hoverOnLeftPanel;
    d.paintTool = desktopView.paintTool;
    d.brushSelf = desktopView.brushSelf;
    d.brushOther = desktopView.brushOther;
    d.brushColor = desktopView.brushColor;
}

}  // namespace

FrameSettings desktopFrameSettings() {
    FrameSettings s;
    s.payoffs = {sim.payoffCC.load(), sim.payoffCD.load(), sim.payoffDC.load(), sim.payoffDD.load()};
    s.competition = competitionOf(sim);
    s.playSelf = sim.playSelf.load(std::memory_order_relaxed);
    s.extraPoint = sim.extraPointSameColor.load(std::memory_order_relaxed);
    s.colorLayout = colorLayoutOf(sim);
    s.selfExcluded = loadFlags(sim.selfPool);
    s.otherExcluded = loadFlags(sim.otherPool);
    s.randomPool = sim.randomPoolMode.load(std::memory_order_relaxed);
    s.generation = sim.generation.load(std::memory_order_relaxed);
    s.paused = sim.paused.load(std::memory_order_relaxed);
    s.frameInterval = sim.frameInterval.load(std::memory_order_relaxed);
    s.viewStrategies = desktopView.viewStrategies;
    return s;
}

FrameDescription describeDesktopFrame() {
    FrameDescription d = describeFrame(desktopFrameSettings());
    describePointerAndTools(d);
    // The simulation thread may be in the middle of a generation: the frame
    // shows the one before it, whole.
    GridLock lock;
    describeCells(sim.world, d);
    return d;
}

}  // namespace talvane
