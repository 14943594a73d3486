// Cells packed into one number each, for the passes over the whole grid:
// the generation step's games and choices and the statistics table's counts.
#pragma once

#include <cstdint>

#include "world.h"

namespace talvane::detail {

// colour << 6 | self << 3 | others, for codes 0 to 7; kAbsent where no cell lies.
using Key = std::uint16_t;
inline constexpr Key kColorBits = 0x1c0;
inline constexpr Key kPairBits = 0x3f;
inline constexpr Key kAbsent = 0x8000;

// Packs cols cells into keys from the low three bits of each code, and
// returns all the codes or-ed together: (bits & ~7) != 0 when some code lies
// outside 0 .. 7. The codes are read as unsigned bytes, which the compilers
// widen to keys many at a time in fewer steps than signed ones; restricted
// pointers, or the stores could change the bytes and the loop would go a
// cell at a time.
inline unsigned packCells(const CellCode* __restrict color, const CellCode* __restrict self,
                          const CellCode* __restrict other, Key* __restrict out, int cols) {
    const auto* colors = reinterpret_cast<const std::uint8_t*>(color);
    const auto* selves = reinterpret_cast<const std::uint8_t*>(self);
    const auto* others = reinterpret_cast<const std::uint8_t*>(other);
    std::uint8_t bits = 0;
    for (int c = 0; c < cols; ++c) {
        bits |= colors[c] | selves[c] | others[c];
        out[c] = static_cast<Key>((colors[c] & 7u) << 6 | (selves[c] & 7u) << 3 | (others[c] & 7u));
    }
    return bits;
}

}  // namespace talvane::detail
