// Placing GL vertices on the frame's pixels.
#pragma once

#include <GL/gl.h>

namespace talvane {

// Frame coordinates name a pixel by its upper left corner, while GL lights
// points, lines and bitmaps by where pixel centres fall. A vertex exactly on
// a pixel corner leaves the choice to rounding, so points and line ends go to
// the centre of the pixel they name: a point lights exactly that pixel, and a
// line lights the pixels from its first end up to, not including, its last.
inline void pixelVertex(double x, double y) {
    glVertex2d(x + 0.5, y + 0.5);
}

}  // namespace talvane
