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

// True while the widest paths are in use too: where the processor has
// AVX-512 (with its byte and word instructions, the shorter vectors and the
// leading-zero counts),
// while the wide paths are, and while they are allowed on their own.
bool widestVectorsInUse();

// Allows or forbids the widest paths alone (allowed by default), so that
// tests on such a processor check the wide paths beneath them as well.
// Returns widestVectorsInUse().
bool allowWidestVectors(bool allow);

}  // namespace talvane::detail
