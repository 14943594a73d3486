// What the mouse handlers cost on the user-interface thread: a flood fill of
// the whole grid, filling every cell from the swatch, and one pointer move of
// a pencil stroke (each repaint is a no-op here).
#include <benchmark/benchmark.h>

#include "commands.h"
#include "desktop_view.h"
#include "headless_host.h"
#include "mouse.h"
#include "sim_state.h"
#include "window_system.h"

namespace {

using namespace talvane;

HeadlessHost quietHost;  // repaints nothing; painting never sleeps or shows a message

void paintModeWorld() {
    resetSimState();
    resetDesktopView();
    sim.restartPending = false;
    sim.host = &quietHost;
    sim.randomPoolMode = false;
    desktopView.paintTool = 2;
}

void BM_FloodFillWholeGrid(benchmark::State& state) {
    paintModeWorld();
    int brush = 0;
    for (auto _ : state) {
        brush = (brush + 1) % 8;
        floodFill(10, 10, brush, brush);
    }
    state.SetItemsProcessed(state.iterations() * kCellCount);
}
BENCHMARK(BM_FloodFillWholeGrid);

void BM_FillAll(benchmark::State& state) {
    paintModeWorld();
    for (auto _ : state) fillAll(3, 4);
}
BENCHMARK(BM_FillAll);

void BM_PencilMove(benchmark::State& state) {
    paintModeWorld();
    OnLButtonDown(100, 100);
    int x = 100;
    for (auto _ : state) {
        x = x < 590 ? x + 1 : 20;
        OnMouseMove(x, 200);
    }
    OnLButtonUp(x, 200);
}
BENCHMARK(BM_PencilMove);

}  // namespace

BENCHMARK_MAIN();
