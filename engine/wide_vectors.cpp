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

bool processorHasAvx512() {
#if defined(TALVANE_WIDE_VECTORS)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512cd");
#else
    return false;
#endif
}

const bool hasAvx2 = processorHasAvx2();
const bool hasAvx512 = hasAvx2 && processorHasAvx512();

// Relaxed: switches for tests, made while no step runs.
std::atomic<bool> allowed{true};
std::atomic<bool> widestAllowed{true};

}  // namespace

bool wideVectorsInUse() { return hasAvx2 && allowed.load(std::memory_order_relaxed); }

bool allowWideVectors(bool allow) {
    allowed.store(allow, std::memory_order_relaxed);
    return wideVectorsInUse();
}

bool widestVectorsInUse() {
    return hasAvx512 && wideVectorsInUse() && widestAllowed.load(std::memory_order_relaxed);
}

bool allowWidestVectors(bool allow) {
    widestAllowed.store(allow, std::memory_order_relaxed);
    return widestVectorsInUse();
}

}  // namespace talvane::detail
