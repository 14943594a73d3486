// The OpenGL snapshot, reached through its shared library (loaded on first
// use), so that talvane-batch itself links no X or GL library. The status
// codes are those of snapshot.h.
#pragma once

#include <string>

#include "frame_description.h"

namespace talvane {

// Renders the described frame as the drawing window would show it into PNG bytes.
int snapshotPngThroughModule(const FrameDescription& frame, std::string& png, std::string& error);

// Checks that the module loads and that a snapshot can be rendered here.
int checkSnapshotThroughModule(std::string& error);

}  // namespace talvane
