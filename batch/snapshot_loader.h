// The OpenGL snapshot, reached through its module (loaded on first use), so
// that talvane-batch itself links no X or GL library. The status codes are
// those of snapshot.h.
#pragma once

#include <string>

namespace talvane {

// Renders the frame of sim as the drawing window shows it into PNG bytes.
int snapshotPngThroughModule(std::string& png, std::string& error);

// Checks that the module loads and that a snapshot can be rendered here.
int checkSnapshotThroughModule(std::string& error);

}  // namespace talvane
