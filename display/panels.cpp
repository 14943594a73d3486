#include "panels.h"

#include <GL/gl.h>

#include <array>
#include <atomic>

#include "sim_state.h"
#include "text_overlay.h"
#include "tool_buttons.h"

namespace talvane {
namespace {

// What one panel shows and where.
struct PanelLayout {
    const char* title;                                  // drawn in white above the rows
    int titleX;                                         // baseline start of the title
    int swatchX;                                        // left edge of every row's swatch
    int nameX;                                          // baseline start of every row's name
    int rows;                                           // 8 strategies or 3 colours
    const std::array<const char*, kCodeCount>& names;   // row i shows names[i]
    const std::array<std::atomic<bool>, kCodeCount>& pool;  // a set flag excludes code i
    bool leftColumn;                                    // hover applies while hoverOnLeftPanel is this
};

bool rowHovered(const PanelLayout& panel, int row) {
    return sim.hoveredPanelRow.load(std::memory_order_relaxed) == row &&
           sim.hoverOnLeftPanel.load(std::memory_order_relaxed) == panel.leftColumn;
}

void drawRow(const PanelLayout& panel, int row) {
    const int y = kPanelFirstRowBaseline + kPanelRowPitch * row;
    const unsigned code = static_cast<unsigned>(row);
    const bool excluded = sim.randomPoolMode.load(std::memory_order_relaxed) &&
                          panel.pool[code].load(std::memory_order_relaxed);
    if (!excluded) {
        setPaletteColor(code);
        glRectf(static_cast<float>(panel.swatchX), static_cast<float>(y - 8),
                static_cast<float>(panel.swatchX + 8), static_cast<float>(y));
    }
    if (rowHovered(panel, row)) setPaletteColor(code);
    else if (excluded) glColor3fv(kExcludedRowColor.data());
    else glColor3fv(kRowNameColor.data());
    drawText(kFontPanel, panel.names[code], panel.nameX, y);
}

void drawPanel(const PanelLayout& panel) {
    setPaletteColor(8);
    drawText(kFontPanel, panel.title, panel.titleX, kPanelTitleBaseline);
    for (int row = 0; row < panel.rows; ++row) drawRow(panel, row);
}

// The random layout's fixed pattern, rows from the top, columns from the
// left: 0 green, 2 red.
constexpr std::array<std::array<unsigned, 4>, 4> kRandomLayoutPattern{{
    {2, 0, 2, 0},
    {0, 0, 0, 2},
    {2, 2, 0, 2},
    {0, 2, 0, 0},
}};

// Palette colour of icon square (column a, row b), or -1 for none.
int layoutSquareColor(ColorLayout layout, int a, int b) {
    switch (layout) {
        case ColorLayout::Random: return static_cast<int>(kRandomLayoutPattern[static_cast<std::size_t>(b)][static_cast<std::size_t>(a)]);
        case ColorLayout::Checkerboard: return (a + b) % 2 == 0 ? 0 : 2;
        case ColorLayout::Segregated: return a < 2 ? 0 : 2;
        default: return -1;
    }
}

}  // namespace

void drawSelfPanel() {
    const PanelColumn& c = kLeftPanelColumn;
    drawPanel({"self strategies", c.titleX, c.swatchX, c.nameX, 8, strategyNames, sim.selfPool, true});
}

void drawOthersPanel() {
    const PanelColumn& c = kRightPanelColumn;
    drawPanel({"others strategies", c.titleX, c.swatchX, c.nameX, 8, strategyNames, sim.otherPool, false});
}

void drawColorPanel() {
    const PanelColumn& c = kLeftPanelColumn;
    drawPanel({"colors (ethnicity)", c.titleX, c.swatchX, c.nameX, 3, colorNames, sim.selfPool, true});
}

void drawPanels() {
    if (sim.viewStrategies.load(std::memory_order_relaxed)) {
        drawSelfPanel();
        drawOthersPanel();
    } else {
        drawColorPanel();
    }
}

void drawLayoutIcon() {
    glColor3fv(kIconPlateColor.data());
    glRecti(kLayoutIconLeft, kLayoutIconTop, kLayoutIconRight, kLayoutIconBottom - 1);
    setPaletteColor(9);
    drawRectOutline(kLayoutIconLeft, kLayoutIconTop, kLayoutIconRight, kLayoutIconBottom);
    const ColorLayout layout = colorLayoutOf(sim);
    for (int a = 0; a < 4; ++a) {
        for (int b = 0; b < 4; ++b) {
            const int color = layoutSquareColor(layout, a, b);
            if (color < 0) continue;
            setPaletteColor(static_cast<unsigned>(color));
            const int x = kLayoutIconLeft + 2 + 6 * a;  // 4 x 4 squares of 5 x 5 inside the plate
            const int y = kLayoutIconTop + 1 + 6 * b;
            glRecti(x, y, x + 5, y + 5);
        }
    }
}

}  // namespace talvane
