#include "batch_host.h"

#include <cstdio>

namespace talvane {

void BatchHost::showMessage(const char* text, const char* caption) {
    std::fprintf(stderr, "talvane-batch: %s %s\n", caption, text);
}

}  // namespace talvane
