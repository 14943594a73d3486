// Whether the engine's bulk passes use vector instructions beyond the
// baseline of the build: where the compiler can build functions for them and
// the processor reports them at run time (AVX2 on x86-64), they do.
#pragma once

#if defined(__x86_64__) && defined(__GNUC__)
#define TALVANE_WIDE_VECTORS 1
#endif

namespace talvane::detail {

// True while the wide code paths are in use.
bool wideVectorsInUse();

// Allows or forbids the wide code paths (allowed by default); tests forbid
// them to check the baseline code as well. Returns wideVectorsInUse().
bool allowWideVectors(bool allow);

}  // namespace talvane::detail
