#include "panels.h"

#include <GL/gl.h>

#include <array>
#include <span>

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
    std::span<const FrameText> names;                   // one row per name: 8 strategies or 3 colours
    const std::array<bool, kCodeCount>& excluded;       // a set flag excludes code i
    bool leftColumn;                                    // hover applies while hoverOnLeftPanel is this
};

bool rowHovered(const FrameDescription& frame, const PanelLayout& panel, int row) {
    return frame.hoveredPanelRow == row && frame.hoverOnLeftPanel == panel.leftColumn;
}

void drawRow(const FrameDescription& frame, const PanelLayout& panel, int row) {
    const int y = kPanelFirstRowBaseline + kPanelRowPitch * row;
    const unsigned code = static_cast<unsigned>(row);
    const bool excluded = frame.poolMarksShown && panel.excluded[code];
    if (!excluded) {
        setPaletteColor(code);
        glRectf(static_cast<float>(panel.swatchX), static_cast<float>(y - 8),
                static_cast<float>(panel.swatchX + 8), static_cast<float>(y));
    }
    if (rowHovered(frame, panel, row)) setPaletteColor(code);
    else if (excluded) glColor3fv(kExcludedRowColor.data());
    else glColor3fv(kRowNameColor.data());
    drawText(kFontPanel, panel.names[code].data(), panel.nameX, y);
}

void drawPanel(const FrameDescription& frame, const PanelLayout& panel) {
    setPaletteColor(8);
    drawText(kFontPanel, panel.title, panel.titleX, kPanelTitleBaseline);
    for (int row = 0; row < static_cast<int>(panel.names.size()); ++row) drawRow(frame, panel, row);
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
int layoutSquareColor(int layout, int a, int b) {
    switch (static_cast<ColorLayout>(layout)) {
        case ColorLayout::Random: return static_cast<int>(kRandomLayoutPattern[static_cast<std::size_t>(b)][static_cast<std::size_t>(a)]);
        case ColorLayout::Checkerboard: return (a + b) % 2 == 0 ? 0 : 2;
        case ColorLayout::Segregated: return a < 2 ? 0 : 2;
        default: return -1;
    }
}

}  // namespace

void drawSelfPanel(const FrameDescription& frame) {
    const PanelColumn& c = kLeftPanelColumn;
    drawPanel(frame, {"self strategies", c.titleX, c.swatchX, c.nameX, frame.strategyNames, frame.selfExcluded, true});
}

void drawOthersPanel(const FrameDescription& frame) {
    const PanelColumn& c = kRightPanelColumn;
    drawPanel(frame,
              {"others strategies", c.titleX, c.swatchX, c.nameX, frame.strategyNames, frame.otherExcluded, false});
}

void drawColorPanel(const FrameDescription& frame) {
    const PanelColumn& c = kLeftPanelColumn;
    drawPanel(frame, {"colors (ethnicity)", c.titleX, c.swatchX, c.nameX, frame.colorNames, frame.selfExcluded, true});
}

void drawPanels(const FrameDescription& frame) {
    if (frame.viewStrategies) {
        drawSelfPanel(frame);
        drawOthersPanel(frame);
    } else {
        drawColorPanel(frame);
    }
}

void drawLayoutIcon(const FrameDescription& frame) {
    glColor3fv(kIconPlateColor.data());
    glRecti(kLayoutIconLeft, kLayoutIconTop, kLayoutIconRight, kLayoutIconBottom - 1);
    setPaletteColor(9);
    drawRectOutline(kLayoutIconLeft, kLayoutIconTop, kLayoutIconRight, kLayoutIconBottom);
    const int layout = frame.colorLayout;
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
