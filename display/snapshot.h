// A picture of the frame for papers and handouts, rendered off screen.
#pragma once

#include <string>

#include "frame_description.h"

namespace talvane {

// Results of writeSnapshotPng.
inline constexpr int kSnapshotWritten = 0;    // the PNG is complete at its path
inline constexpr int kSnapshotNoDisplay = 4;  // no X display to render on (suggests xvfb-run)
inline constexpr int kSnapshotNoGl = 5;       // no GL configuration, context or fonts
inline constexpr int kSnapshotFileError = 6;  // the file could not be written

// Renders the frame of the description exactly as the drawing window would
// show it (980 x 700) and writes it to path as an RGB PNG, through the one
// output writer: a regular file is written under a temporary name beside it
// and renamed over it only once complete (its mode kept), a link is written
// through, a device or pipe written into; path never holds half a picture.
// On failure returns one of the
// codes above and says why in error.
int writeSnapshotPng(const FrameDescription& frame, const char* path, std::string& error);

// Renders the frame as writeSnapshotPng does and returns the PNG's bytes in
// png, for a caller that writes files its own way. Returns kSnapshotWritten
// or the code of what failed, with error set.
int renderSnapshotPng(const FrameDescription& frame, std::string& png, std::string& error);

// Checks that a snapshot can be rendered here (a display and a GL surface)
// without rendering one, so that a long run can be refused before it
// starts. Returns kSnapshotWritten when it can.
int checkSnapshotRenderer(std::string& error);

}  // namespace talvane
