// The OpenGL snapshot as a module that talvane-batch loads only when
// --snapshot is asked for, so that plain runs need no X or GL library. It
// draws the program's own sim: its engine references resolve to the
// program's definitions, which the program exports.
#include <string>

#include "snapshot.h"

extern "C" {

// Renders the frame of sim into PNG bytes; a snapshot status code.
__attribute__((visibility("default"))) int talvane_snapshot_render(std::string* png, std::string* error) {
    return talvane::renderSnapshotPng(*png, *error);
}

// Checks that a display and a GL surface are there; a snapshot status code.
__attribute__((visibility("default"))) int talvane_snapshot_check(std::string* error) {
    return talvane::checkSnapshotRenderer(*error);
}
}
