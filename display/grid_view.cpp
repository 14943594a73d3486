#include "grid_view.h"

#include <GL/gl.h>

#include "sim_state.h"

namespace talvane {

const std::array<Rgb, 10> cellPalette{{
    {0.0f, 1.0f, 0.0f},     // 0 green
    {0.0f, 1.0f, 1.0f},     // 1 cyan
    {1.0f, 0.0f, 0.0f},     // 2 red
    {1.0f, 0.0f, 1.0f},     // 3 magenta
    {1.0f, 1.0f, 0.0f},     // 4 yellow
    {0.7f, 0.7f, 0.7f},     // 5 light grey
    {0.31f, 0.31f, 0.31f},  // 6 dark grey
    {0.0f, 0.0f, 1.0f},     // 7 blue
    {1.0f, 1.0f, 1.0f},     // 8 white
    {0.0f, 0.0f, 0.0f},     // 9 black
}};

unsigned setPaletteColor(unsigned index) {
    if (index >= cellPalette.size()) return kDrawOutOfRange;
    glColor3fv(cellPalette[index].data());
    return kDrawDone;
}

unsigned drawCell(unsigned i, unsigned j, unsigned outerCode, unsigned innerCode, unsigned colorCode) {
    if (i >= kGridSize || j >= kGridSize || outerCode >= 40 || innerCode >= 40) return kDrawOutOfRange;
    const int x0 = kGridLeft + kCellPitch * static_cast<int>(i);
    const int y0 = kGridTop + kCellPitch * static_cast<int>(j);
    if (sim.viewStrategies.load(std::memory_order_relaxed)) {
        setPaletteColor(outerCode);
        glRecti(x0, y0, x0 + 8, y0 + 8);
        setPaletteColor(innerCode);
        glRecti(x0 + 2, y0 + 2, x0 + 6, y0 + 6);
    } else {
        setPaletteColor(colorCode);
        glRecti(x0, y0, x0 + 8, y0 + 8);
    }
    return kDrawDone;
}

unsigned drawGrid() {
    for (unsigned i = 0; i < kGridSize; ++i) {
        for (unsigned j = 0; j < kGridSize; ++j) {
            const std::size_t cell = i * kGridSize + j;
            const unsigned status = drawCell(i, j, static_cast<unsigned>(sim.otherStrategy[cell]),
                                             static_cast<unsigned>(sim.selfStrategy[cell]),
                                             static_cast<unsigned>(sim.cellColor[cell]));
            if (status != kDrawDone) return status;
        }
    }
    return kDrawDone;
}

}  // namespace talvane
