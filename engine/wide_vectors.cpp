#include "wide_vectors.h"

#include <atomic>

namespace talvane::detail {

namespace {

bool processorHasAvx2() {
#if defined(TALVANE_WIDE_VECTORS)
    // This runs during static initialisation, perhaps before the run-time
    // library has read the processor's features on its own.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

const bool hasAvx2 = processorHasAvx2();

// Relaxed: a switch for tests, made while no step runs.
std::atomic<bool> allowed{true};

}  // namespace

bool wideVectorsInUse() { return hasAvx2 && allowed.load(std::memory_order_relaxed); }

bool allowWideVectors(bool allow) {
    allowed.store(allow, std::memory_order_relaxed);
    return wideVectorsInUse();
}

}  // namespace talvane::detail
