// The OpenGL snapshot as a shared library that talvane-batch loads only when
// --snapshot is asked for, so that plain runs need no X or GL library. The
// program hands it a filled frame description: the library draws that and
// nothing else, and needs no engine of its own or the program's.
#include <string>

#include "snapshot.h"

extern "C" {

// Renders the described frame into PNG bytes; a snapshot status code.
__attribute__((visibility("default"))) int talvane_snapshot_render(const talvane::FrameDescription* frame,
                                                                   std::string* png, std::string* error) {
    return talvane::renderSnapshotPng(*frame, *png, *error);
}

// Checks that a display and a GL surface are there; a snapshot status code.
__attribute__((visibility("default"))) int talvane_snapshot_check(std::string* error) {
    return talvane::checkSnapshotRenderer(*error);
}

// The size of the description this library draws, so that a program built
// against another description is refused rather than misread.
__attribute__((visibility("default"))) unsigned long talvane_snapshot_description_size() {
    return sizeof(talvane::FrameDescription);
}
}
