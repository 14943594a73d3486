// The desktop's frame as a description: the shared record's settings and
// grid, the pointer and the tools.
#pragma once

#include "frame_describe.h"

namespace talvane {

// The settings of the shared record the frame shows.
FrameSettings desktopFrameSettings();

// The whole frame of the desktop at this moment. Takes the grid lock while it
// copies the cells, so that the frame shows one whole generation; the lock is
// held for the copy only, never across drawing or a repaint request.
FrameDescription describeDesktopFrame();

}  // namespace talvane
