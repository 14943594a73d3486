// How long one whole frame takes, as the desktop window draws it: described
// from the shared record (texts, names, the grid copied under its lock) and
// composed, in strategy view (8192 cell rectangles) and colour view,
// finished on the GPU side (glFinish).
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <string>

#include "desktop_frame.h"
#include "desktop_view.h"
#include "frame.h"
#include "offscreen.h"
#include "sim_state.h"

namespace talvane {
namespace {

// A world with every strategy pair and colour, so that colours change from
// cell to cell as in a running simulation.
void varyTheWorld() {
    for (std::size_t k = 0; k < kCellCount; ++k) {
        sim.world.selfStrategy[k] = static_cast<int>(k * 7 % 8);
        sim.world.otherStrategy[k] = static_cast<int>(k / 3 % 8);
        sim.world.cellColor[k] = static_cast<int>(k % 3);
    }
}

void composeFrames(benchmark::State& state, bool strategies) {
    OffscreenSurface surface;
    std::string error;
    if (surface.open(error) != OffscreenError::none || !surface.makeCurrent()) {
        state.SkipWithError(error.c_str());
        return;
    }
    resetSimState();
    resetDesktopView();
    varyTheWorld();
    desktopView.viewStrategies = strategies;
    composeFrame(describeDesktopFrame());  // loads the fonts outside the timing
    glFinish();
    for (auto _ : state) {
        composeFrame(describeDesktopFrame());
        glFinish();
    }
}

void BM_StrategyViewFrame(benchmark::State& state) { composeFrames(state, true); }
void BM_ColourViewFrame(benchmark::State& state) { composeFrames(state, false); }

BENCHMARK(BM_StrategyViewFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ColourViewFrame)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace talvane

BENCHMARK_MAIN();
