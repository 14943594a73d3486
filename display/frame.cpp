// What one frame draws, in order, onto a 980 x 700 surface whose frame
// coordinates run x right and y down, one unit per pixel:
//   1. the title line naming the game (text_overlay);
//   2. the status block: bevel and eleven lines of state and keys (text_overlay);
//   3. the panels of strategies or colours, with swatches (panels);
//   4. the 64 x 64 grid (grid_view);
//   5. the payoff matrix, in finite competition only (text_overlay);
//   6. the layout icon in random-pool mode (panels), otherwise the paint
//      tool buttons (tool_buttons).
// Everything else stays black. Nothing carries over from the last frame.
#include "frame.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include "grid_view.h"
#include "panels.h"
#include "sim_state.h"
#include "text_overlay.h"
#include "tool_buttons.h"

namespace talvane {

bool setupPixelFormat(PixelFormatTarget& target) {
    if (!target.choosePixelFormat()) {
        target.showPlainMessage("ChoosePixelFormat Failed");
        return false;
    }
    if (!target.setPixelFormat()) {
        target.showPlainMessage("SetPixelFormat Failed");
        return false;
    }
    return true;
}

void clearFrame() {
    glLoadIdentity();
    gluOrtho2D(0.0, 980.0, 700.0, 0.0);
    glShadeModel(GL_FLAT);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
}

void composeFrame() {
    clearFrame();
    drawTitleLine();
    drawStatusBlock();
    drawPanels();
    drawGrid();
    if (competitionOf(sim) == CompetitionMode::Finite) drawPayoffMatrix();
    if (sim.randomPoolMode.load(std::memory_order_relaxed)) drawLayoutIcon();
    else drawToolButtons();
}

}  // namespace talvane
