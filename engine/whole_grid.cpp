#include "whole_grid.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "wide_vectors.h"

#if defined(TALVANE_WIDE_VECTORS)
#include <immintrin.h>
#endif

namespace talvane::detail {

namespace {

// A padded grid wraps the torus around itself: each padded row holds column
// 63, columns 0 to 63, then column 0, and the padded rows are row 63, rows 0
// to 63, then row 0. Every neighbour of a cell then sits at a fixed distance
// from it, the same for every cell.
constexpr int kPadded = kGridSize + 2;

template <typename T>
using PaddedGrid = std::array<T, kPadded * kPadded>;

// Column 0 of row r.
template <typename T>
T* rowOf(PaddedGrid<T>& grid, int r) {
    return grid.data() + (r + 1) * kPadded + 1;
}
template <typename T>
const T* rowOf(const PaddedGrid<T>& grid, int r) {
    return grid.data() + (r + 1) * kPadded + 1;
}

// Fills the wrapped copies from rows 0 to 63.
template <typename T>
void wrapAround(PaddedGrid<T>& grid) {
    for (int r = 1; r <= kGridSize; ++r) {
        T* row = grid.data() + r * kPadded;
        row[0] = row[kGridSize];
        row[kPadded - 1] = row[1];
    }
    std::memcpy(grid.data(), grid.data() + kGridSize * kPadded, kPadded * sizeof(T));
    std::memcpy(grid.data() + (kPadded - 1) * kPadded, grid.data() + kPadded, kPadded * sizeof(T));
}

// A cell in one number: colour << 6 | self << 3 | others, for codes 0 to 7.
using Key = std::uint16_t;
constexpr Key kColorBits = 0x1c0;
constexpr Key kPairBits = 0x3f;  // the strategy pair, self * 8 + others

// The world as this step sees it and as the step before saw it; the two
// buffers swap at every step.
PaddedGrid<Key> keyBuffers[2];
PaddedGrid<Key>* worldKeys = &keyBuffers[0];
PaddedGrid<Key>* previousKeys = &keyBuffers[1];

// The scores as last computed, padded like the keys.
PaddedGrid<double> scores;

// Fills *worldKeys from the grids; false when some code is outside 0 to 7,
// where keys could collide.
bool buildKeys() {
    std::int32_t outOfRange = 0;
    for (int r = 0; r < kGridSize; ++r) {
        const std::int32_t* color = sim.cellColor.data() + r * kGridSize;
        const StrategyCode* self = sim.selfStrategy.data() + r * kGridSize;
        const StrategyCode* other = sim.otherStrategy.data() + r * kGridSize;
        Key* row = rowOf(*worldKeys, r);
        int c = 0;
#if defined(__SSE2__)
        __m128i wide = _mm_setzero_si128();
        for (; c < kGridSize; c += 8) {
            const auto load4 = [](const std::int32_t* p) {
                return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            };
            const __m128i color0 = load4(color + c), color1 = load4(color + c + 4);
            const __m128i self0 = load4(self + c), self1 = load4(self + c + 4);
            const __m128i other0 = load4(other + c), other1 = load4(other + c + 4);
            wide = _mm_or_si128(wide, _mm_or_si128(_mm_or_si128(color0, color1), _mm_or_si128(self0, self1)));
            wide = _mm_or_si128(wide, _mm_or_si128(other0, other1));
            // Every code is 0 to 7 when the check below passes, and then the
            // packing of 32-bit into 16-bit lanes keeps each key whole.
            const __m128i key0 = _mm_or_si128(_mm_or_si128(_mm_slli_epi32(color0, 6), _mm_slli_epi32(self0, 3)), other0);
            const __m128i key1 = _mm_or_si128(_mm_or_si128(_mm_slli_epi32(color1, 6), _mm_slli_epi32(self1, 3)), other1);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(row + c), _mm_packs_epi32(key0, key1));
        }
        alignas(16) std::int32_t lanes[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(lanes), wide);
        outOfRange |= (lanes[0] | lanes[1] | lanes[2] | lanes[3]) & ~7;
#endif
        for (; c < kGridSize; ++c) {
            outOfRange |= (color[c] | self[c] | other[c]) & ~7;
            row[c] = static_cast<Key>((color[c] & 7) << 6 | (self[c] & 7) << 3 | (other[c] & 7));
        }
    }
    wrapAround(*worldKeys);
    return outOfRange == 0;
}

// Distances in a padded grid from a cell to its neighbours.
constexpr int kUp = -kPadded;
constexpr int kDown = kPadded;
constexpr int kLeft = -1;
constexpr int kRight = 1;

// The eight games in the order their terms are summed: game 8 first, game 1 last.
constexpr int kGamesLastFirst[8] = {
    kDown + kRight, kUp + kRight, kDown + kLeft, kUp + kLeft, kDown, kUp, kRight, kLeft,
};

// The nine imitation candidates in scan order; the cell itself is last.
constexpr int kCandidates[9] = {
    kUp + kLeft, kDown + kLeft, kUp + kRight, kDown + kRight, kUp, kLeft, kDown, kRight, 0,
};

// The payoff table flattened, entry a * 8 + b, followed by the same entries
// plus the extra point for same-colour games.
constexpr int kBonusOffset = kCodeCount * kCodeCount;

struct ScoringInputs {
    double terms[2 * kBonusOffset];
    bool playSelf;
    bool extraPoint;
};

// One game's term of a cell is terms[index]: for a same-colour opponent the
// cell's self row (with the extra point when it earns it) at the opponent's
// self strategy, otherwise its others row at the opponent's others strategy.
// Entry 8 is the cell's game against itself.
using TermIndexes = std::array<std::array<std::uint16_t, kGridSize>, 9>;

#if defined(__SSE2__)

__m128i load8(const Key* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

// Term indexes of columns c to c + 7.
void termIndexesOf8(const Key* cell, int c, bool extraPoint, TermIndexes& out) {
    const __m128i seven = _mm_set1_epi16(7);
    const __m128i colorBits = _mm_set1_epi16(kColorBits);
    const __m128i k = load8(cell + c);
    const __m128i selfCode = _mm_and_si128(_mm_srli_epi16(k, 3), seven);
    const __m128i otherCode = _mm_and_si128(k, seven);
    __m128i selfBase = _mm_slli_epi16(selfCode, 3);
    if (extraPoint) {
        // Only a cell that treats its own colour differently earns the extra point.
        const __m128i same = _mm_cmpeq_epi16(selfCode, otherCode);
        selfBase = _mm_or_si128(selfBase, _mm_andnot_si128(same, _mm_set1_epi16(kBonusOffset)));
    }
    const __m128i otherBase = _mm_slli_epi16(otherCode, 3);
    const __m128i color = _mm_and_si128(k, colorBits);
    for (int g = 0; g < 8; ++g) {
        const __m128i n = load8(cell + kGamesLastFirst[g] + c);
        const __m128i sameColor = _mm_cmpeq_epi16(_mm_and_si128(n, colorBits), color);
        const __m128i viaSelf = _mm_add_epi16(selfBase, _mm_and_si128(_mm_srli_epi16(n, 3), seven));
        const __m128i viaOther = _mm_add_epi16(otherBase, _mm_and_si128(n, seven));
        const __m128i index = _mm_or_si128(_mm_and_si128(sameColor, viaSelf), _mm_andnot_si128(sameColor, viaOther));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out[g].data() + c), index);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out[8].data() + c), _mm_add_epi16(selfBase, selfCode));
}

#else

void termIndexesOf8(const Key* cell, int c, bool extraPoint, TermIndexes& out) {
    for (int col = c; col < c + 8; ++col) {
        const int self = (cell[col] >> 3) & 7;
        const int other = cell[col] & 7;
        const int selfBase = self * 8 + ((extraPoint && self != other) ? kBonusOffset : 0);
        for (int g = 0; g < 8; ++g) {
            const Key n = cell[kGamesLastFirst[g] + col];
            const bool sameColor = (n & kColorBits) == (cell[col] & kColorBits);
            out[g][col] = static_cast<std::uint16_t>(sameColor ? selfBase + ((n >> 3) & 7) : other * 8 + (n & 7));
        }
        out[8][col] = static_cast<std::uint16_t>(selfBase + self);
    }
}

#endif

#if defined(TALVANE_WIDE_VECTORS)

[[gnu::target("avx2")]] inline __m256i load16(const Key* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// Four term indexes widened to 32-bit lanes.
[[gnu::target("avx2")]] inline __m128i fourIndexes(const std::uint16_t* p) {
    return _mm_cvtepu16_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
}

// The terms at four indexes. (The masked form, with every lane enabled,
// leaves no lane undefined.)
[[gnu::target("avx2")]] inline __m256d gatherTerms(const double* terms, const std::uint16_t* index) {
    const __m256d all = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
    return _mm256_mask_i32gather_pd(_mm256_setzero_pd(), terms, fourIndexes(index), all, 8);
}

// termIndexesOf8 for columns c to c + 15 with 256-bit registers.
[[gnu::target("avx2")]] inline void termIndexesOf16(const Key* cell, int c, bool extraPoint, TermIndexes& out) {
    const __m256i seven = _mm256_set1_epi16(7);
    const __m256i colorBits = _mm256_set1_epi16(kColorBits);
    const __m256i k = load16(cell + c);
    const __m256i selfCode = _mm256_and_si256(_mm256_srli_epi16(k, 3), seven);
    const __m256i otherCode = _mm256_and_si256(k, seven);
    __m256i selfBase = _mm256_slli_epi16(selfCode, 3);
    if (extraPoint) {
        const __m256i same = _mm256_cmpeq_epi16(selfCode, otherCode);
        selfBase = _mm256_or_si256(selfBase, _mm256_andnot_si256(same, _mm256_set1_epi16(kBonusOffset)));
    }
    const __m256i otherBase = _mm256_slli_epi16(otherCode, 3);
    const __m256i color = _mm256_and_si256(k, colorBits);
#pragma GCC unroll 8
    for (int g = 0; g < 8; ++g) {
        const __m256i n = load16(cell + kGamesLastFirst[g] + c);
        const __m256i sameColor = _mm256_cmpeq_epi16(_mm256_and_si256(n, colorBits), color);
        const __m256i viaSelf = _mm256_add_epi16(selfBase, _mm256_and_si256(_mm256_srli_epi16(n, 3), seven));
        const __m256i viaOther = _mm256_add_epi16(otherBase, _mm256_and_si256(n, seven));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out[g].data() + c),
                            _mm256_blendv_epi8(viaOther, viaSelf, sameColor));
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out[8].data() + c), _mm256_add_epi16(selfBase, selfCode));
}

// scoreCells with 256-bit registers: four cells' terms are gathered at once
// and summed lane by lane, each cell's terms in the same order. A group of
// four is scored whole when any of its cells is asked for: the others get the
// very score they have, since nothing they depend on changed.
[[gnu::target("avx2")]] void scoreCellsWide(const Key* cell, std::uint64_t which, const ScoringInputs& inputs,
                                            double* out) {
    alignas(32) TermIndexes index;
    for (int c = 0; c < kGridSize; c += 16) {
        if (((which >> c) & 0xffffu) != 0) termIndexesOf16(cell, c, inputs.extraPoint, index);
    }
    for (int c = 0; c < kGridSize; c += 4) {
        if (((which >> c) & 0xfu) == 0) continue;
        __m256d sum = _mm256_setzero_pd();
#pragma GCC unroll 8
        for (int g = 0; g < 8; ++g) sum = _mm256_add_pd(sum, gatherTerms(inputs.terms, index[g].data() + c));
        const __m256d selfGame =
            inputs.playSelf ? gatherTerms(inputs.terms, index[8].data() + c) : _mm256_setzero_pd();
        _mm256_storeu_pd(out + c, _mm256_add_pd(sum, selfGame));
    }
}

#endif

// Scores the cells of row r whose bits are set in which, into out.
void scoreCells(int r, std::uint64_t which, const ScoringInputs& inputs, double* out) {
    const Key* cell = rowOf(*worldKeys, r);
#if defined(TALVANE_WIDE_VECTORS)
    // A few scattered cells are cheaper one by one.
    if (wideVectorsInUse() && std::popcount(which) >= 16) {
        scoreCellsWide(cell, which, inputs, out);
        return;
    }
#endif
    TermIndexes index;
    for (int c = 0; c < kGridSize; c += 8) {
        if (((which >> c) & 0xffu) != 0) termIndexesOf8(cell, c, inputs.extraPoint, index);
    }
    const double* terms = inputs.terms;
    for (; which != 0; which &= which - 1) {
        const int c = std::countr_zero(which);
        double sum = 0.0;
#pragma GCC unroll 8
        for (int g = 0; g < 8; ++g) sum += terms[index[g][c]];
        out[c] = sum + (inputs.playSelf ? terms[index[8][c]] : 0.0);
    }
}

// The choosing pass keeps its pair counts in eight sets, one per column
// modulo 8, so that updates of nearby cells to the same pair do not wait for
// one another; the sets add up (modulo 2^32) to the counts.
using PairCountSets = std::array<std::array<std::uint32_t, kCodeCount * kCodeCount>, 8>;

// How a cell chooses: best is the highest of its nine scores. The cell keeps
// its own pair when it scores the best itself, or when every score is below
// zero and the scan takes nobody. Otherwise the scan from start takes, of the
// neighbours at the best, the one it reaches last: the highest index below
// start if there is one, else the highest of all.

#if defined(__SSE2__)

// 16-bit lanes for cells c to c + 7 from the 64-bit lanes of four
// comparisons, cells c and c + 1 in the first.
__m128i narrow(const __m128d (&lanes)[4]) {
    const __m128i low = _mm_packs_epi32(_mm_castpd_si128(lanes[0]), _mm_castpd_si128(lanes[1]));
    const __m128i high = _mm_packs_epi32(_mm_castpd_si128(lanes[2]), _mm_castpd_si128(lanes[3]));
    return _mm_packs_epi16(low, high);
}

// Chooses for cells c to c + 7 of a row: score and keys point at column 0 of
// the row in the padded scores and keys, draws at the row's numbers.
[[gnu::always_inline]] inline void chooseEight(const double* score, const Key* keys, int c, const std::uint32_t* draws,
                 StrategyCode* self, StrategyCode* other, PairCountSets& counts) {
    __m128d best[4];
    #pragma GCC unroll 9
    for (int j = 0; j < 4; ++j) {
        const int col = c + 2 * j;
        __m128d m = _mm_loadu_pd(score + kCandidates[0] + col);
        #pragma GCC unroll 9
        for (int k = 1; k < 9; ++k) m = _mm_max_pd(m, _mm_loadu_pd(score + kCandidates[k] + col));
        best[j] = m;
    }
    __m128i atBest[9];
    #pragma GCC unroll 9
    for (int k = 0; k < 9; ++k) {
        __m128d eq[4];
        #pragma GCC unroll 9
        for (int j = 0; j < 4; ++j) eq[j] = _mm_cmpeq_pd(_mm_loadu_pd(score + kCandidates[k] + c + 2 * j), best[j]);
        atBest[k] = narrow(eq);
    }
    __m128d negative[4];
    #pragma GCC unroll 9
    for (int j = 0; j < 4; ++j) negative[j] = _mm_cmplt_pd(best[j], _mm_setzero_pd());
    const __m128i keep = _mm_or_si128(atBest[8], narrow(negative));

    const __m128i seven32 = _mm_set1_epi32(7);
    const __m128i start = _mm_packs_epi32(
        _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(draws + c)), seven32),
        _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(draws + c + 4)), seven32));
    // Candidate numbers plus one, 0 for none: the highest at the best, and
    // the highest at the best below start.
    __m128i highest = _mm_setzero_si128();
    __m128i highestBelow = _mm_setzero_si128();
    #pragma GCC unroll 9
    for (int k = 0; k < 8; ++k) {
        const __m128i number = _mm_and_si128(atBest[k], _mm_set1_epi16(static_cast<short>(k + 1)));
        highest = _mm_max_epi16(highest, number);
        const __m128i belowStart = _mm_cmpgt_epi16(start, _mm_set1_epi16(static_cast<short>(k)));
        highestBelow = _mm_max_epi16(highestBelow, _mm_and_si128(number, belowStart));
    }
    const __m128i noneBelow = _mm_cmpeq_epi16(highestBelow, _mm_setzero_si128());
    __m128i pick = _mm_or_si128(_mm_and_si128(noneBelow, highest), _mm_andnot_si128(noneBelow, highestBelow));
    pick = _mm_or_si128(_mm_andnot_si128(keep, pick), _mm_and_si128(keep, _mm_set1_epi16(9)));

    __m128i key = _mm_setzero_si128();
    #pragma GCC unroll 9
    for (int k = 0; k < 9; ++k) {
        const __m128i chosen = _mm_cmpeq_epi16(pick, _mm_set1_epi16(static_cast<short>(k + 1)));
        key = _mm_or_si128(key, _mm_and_si128(chosen, load8(keys + kCandidates[k] + c)));
    }
    const __m128i seven = _mm_set1_epi16(7);
    const __m128i selfCode = _mm_and_si128(_mm_srli_epi16(key, 3), seven);
    const __m128i otherCode = _mm_and_si128(key, seven);
    const __m128i zero = _mm_setzero_si128();
    auto* selfOut = reinterpret_cast<__m128i*>(self + c);
    auto* otherOut = reinterpret_cast<__m128i*>(other + c);
    _mm_storeu_si128(selfOut, _mm_unpacklo_epi16(selfCode, zero));
    _mm_storeu_si128(selfOut + 1, _mm_unpackhi_epi16(selfCode, zero));
    _mm_storeu_si128(otherOut, _mm_unpacklo_epi16(otherCode, zero));
    _mm_storeu_si128(otherOut + 1, _mm_unpackhi_epi16(otherCode, zero));

    // The pair counts follow the cells whose pair changed.
    const __m128i pairBits = _mm_set1_epi16(kPairBits);
    const __m128i was = _mm_and_si128(load8(keys + c), pairBits);
    const __m128i now = _mm_and_si128(key, pairBits);
    auto changed = static_cast<std::uint32_t>(~_mm_movemask_epi8(_mm_cmpeq_epi16(was, now)) & 0x5555);
    if (changed != 0) {
        alignas(16) Key before[8];
        alignas(16) Key after[8];
        _mm_store_si128(reinterpret_cast<__m128i*>(before), was);
        _mm_store_si128(reinterpret_cast<__m128i*>(after), now);
        for (; changed != 0; changed &= changed - 1) {
            const int lane = std::countr_zero(changed) / 2;
            --counts[lane][before[lane]];
            ++counts[lane][after[lane]];
        }
    }
}

#if defined(TALVANE_WIDE_VECTORS)

// Every score is a finite sum, so the order of the maxima does not matter.
[[gnu::target("avx2")]] inline __m256d bestOfNine(const __m256d (&s)[9]) {
    const __m256d m = _mm256_max_pd(_mm256_max_pd(_mm256_max_pd(s[0], s[1]), _mm256_max_pd(s[2], s[3])),
                                    _mm256_max_pd(_mm256_max_pd(s[4], s[5]), _mm256_max_pd(s[6], s[7])));
    return _mm256_max_pd(m, s[8]);
}

// 32-bit lanes from the 64-bit lanes of two four-cell comparisons.
[[gnu::target("avx2")]] inline __m256i lanes(__m256d a, __m256d b) {
    return _mm256_castps_si256(_mm256_shuffle_ps(_mm256_castpd_ps(a), _mm256_castpd_ps(b), _MM_SHUFFLE(2, 0, 2, 0)));
}

// Eight keys widened to 32-bit lanes.
[[gnu::target("avx2")]] inline __m256i keysAt(const Key* p) {
    return _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

// chooseEight with 256-bit registers. The eight cells sit in the lanes in the
// order c, c + 1, c + 4, c + 5, c + 2, c + 3, c + 6, c + 7, as one shuffle of
// two four-cell comparisons leaves them; the pick goes back to column order
// before the keys are read.
[[gnu::target("avx2"), gnu::always_inline]] inline void chooseEightWide(const double* score, const Key* keys, int c,
                                             const std::uint32_t* draws, StrategyCode* self, StrategyCode* other,
                                             PairCountSets& counts) {
    __m256d low[9];   // cells c to c + 3
    __m256d high[9];  // cells c + 4 to c + 7
#pragma GCC unroll 9
    for (int k = 0; k < 9; ++k) {
        low[k] = _mm256_loadu_pd(score + kCandidates[k] + c);
        high[k] = _mm256_loadu_pd(score + kCandidates[k] + c + 4);
    }
    const __m256d bestLow = bestOfNine(low);
    const __m256d bestHigh = bestOfNine(high);
    __m256i atBest[9];
#pragma GCC unroll 9
    for (int k = 0; k < 9; ++k) {
        atBest[k] = lanes(_mm256_cmp_pd(low[k], bestLow, _CMP_EQ_OQ), _mm256_cmp_pd(high[k], bestHigh, _CMP_EQ_OQ));
    }
    const __m256i negative = lanes(_mm256_cmp_pd(bestLow, _mm256_setzero_pd(), _CMP_LT_OQ),
                                   _mm256_cmp_pd(bestHigh, _mm256_setzero_pd(), _CMP_LT_OQ));
    const __m256i keep = _mm256_or_si256(atBest[8], negative);
    const __m256i drawn = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(draws + c));
    const __m256i start = _mm256_and_si256(_mm256_permute4x64_epi64(drawn, 0xd8), _mm256_set1_epi32(7));

    // Candidate numbers plus one, 0 for none: the highest at the best, and
    // the highest at the best below start.
    __m256i highest = _mm256_setzero_si256();
    __m256i highestBelow = _mm256_setzero_si256();
#pragma GCC unroll 8
    for (int k = 0; k < 8; ++k) {
        const __m256i number = _mm256_and_si256(atBest[k], _mm256_set1_epi32(k + 1));
        highest = _mm256_max_epi32(highest, number);
        const __m256i belowStart = _mm256_cmpgt_epi32(start, _mm256_set1_epi32(k));
        highestBelow = _mm256_max_epi32(highestBelow, _mm256_and_si256(number, belowStart));
    }
    const __m256i noneBelow = _mm256_cmpeq_epi32(highestBelow, _mm256_setzero_si256());
    __m256i pick = _mm256_blendv_epi8(highestBelow, highest, noneBelow);
    pick = _mm256_blendv_epi8(pick, _mm256_set1_epi32(9), keep);
    pick = _mm256_permute4x64_epi64(pick, 0xd8);  // back to column order

    __m256i key = _mm256_setzero_si256();
#pragma GCC unroll 9
    for (int k = 0; k < 9; ++k) {
        const __m256i chosen = _mm256_cmpeq_epi32(pick, _mm256_set1_epi32(k + 1));
        key = _mm256_or_si256(key, _mm256_and_si256(chosen, keysAt(keys + kCandidates[k] + c)));
    }
    const __m256i seven = _mm256_set1_epi32(7);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(self + c), _mm256_and_si256(_mm256_srli_epi32(key, 3), seven));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(other + c), _mm256_and_si256(key, seven));

    // The pair counts follow the cells whose pair changed.
    const __m256i pairBits = _mm256_set1_epi32(kPairBits);
    const __m256i was = _mm256_and_si256(keysAt(keys + c), pairBits);
    const __m256i now = _mm256_and_si256(key, pairBits);
    auto changed = static_cast<std::uint32_t>(
        ~_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(was, now))) & 0xff);
    if (changed != 0) {
        alignas(32) std::uint32_t before[8];
        alignas(32) std::uint32_t after[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(before), was);
        _mm256_store_si256(reinterpret_cast<__m256i*>(after), now);
        for (; changed != 0; changed &= changed - 1) {
            const int lane = std::countr_zero(changed);
            --counts[lane][before[lane]];
            ++counts[lane][after[lane]];
        }
    }
}

[[gnu::target("avx2")]] void chooseChunksWide(const double* score, const Key* keys,
                                              std::uint64_t uniform, const std::uint32_t* draws, StrategyCode* self,
                                              StrategyCode* other, PairCountSets& counts) {
    for (int c = 0; c < kGridSize; c += 8) {
        if (((uniform >> c) & 0xffu) != 0xffu) chooseEightWide(score, keys, c, draws, self, other, counts);
    }
}

#endif

void chooseRow(int r, std::uint64_t uniform, const std::uint32_t* draws, PairCountSets& counts) {
    const double* score = rowOf(scores, r);
    const Key* keys = rowOf(*worldKeys, r);
    StrategyCode* self = sim.selfStrategy.data() + r * kGridSize;
    StrategyCode* other = sim.otherStrategy.data() + r * kGridSize;
    // Cells whose block holds one pair keep it, and the grids hold it already.
#if defined(TALVANE_WIDE_VECTORS)
    if (wideVectorsInUse()) {
        chooseChunksWide(score, keys, uniform, draws, self, other, counts);
        return;
    }
#endif
    for (int c = 0; c < kGridSize; c += 8) {
        if (((uniform >> c) & 0xffu) != 0xffu) chooseEight(score, keys, c, draws, self, other, counts);
    }
}

#else

// Bit k (0 to 7) set: neighbour candidate k reaches the best of the nine
// scores; bit 8 set: the cell keeps its own pair.
constexpr std::uint32_t kKeepOwn = 1u << 8;

void markPair(const double* up, const double* same, const double* down, int c, std::uint32_t* marks) {
    for (int col = c; col < c + 2; ++col) {
        const double s[9] = {up[col],       down[col],   up[col + 2],   down[col + 2], up[col + 1],
                             same[col],     down[col + 1], same[col + 2], same[col + 1]};
        double best = s[0];
        for (int k = 1; k < 9; ++k) best = std::max(best, s[k]);
        std::uint32_t bits = (s[8] == best || best < 0.0) ? kKeepOwn : 0u;
        for (int k = 0; k < 8; ++k) bits |= static_cast<std::uint32_t>(s[k] == best) << k;
        marks[col] = bits;
    }
}

int chosenCandidate(std::uint32_t marks, std::uint32_t start) {
    const std::uint32_t atBest = marks & 0xffu;
    const std::uint32_t below = atBest & ((1u << start) - 1u);
    const std::uint32_t pool = (below != 0 ? below : atBest) | 1u;
    const int neighbour = std::bit_width(pool) - 1;
    return (marks & kKeepOwn) != 0 ? 8 : neighbour;
}

void chooseRow(int r, std::uint64_t uniform, const std::uint32_t* draws, PairCountSets& counts) {
    const Key* candidate[9];
    for (int k = 0; k < 9; ++k) candidate[k] = rowOf(*worldKeys, r) + kCandidates[k];
    std::uint32_t marks[kGridSize];
    // Padded rows: column c - 1 at c, column c at c + 1, column c + 1 at c + 2.
    const double* same = rowOf(scores, r) - 1;
    const double* up = same + kUp;
    const double* down = same + kDown;
    for (int c = 0; c < kGridSize; c += 2) {
        if (((uniform >> c) & 3u) != 3u) markPair(up, same, down, c, marks);
    }
    // Cells whose block holds one pair keep it, and the grids hold it already.
    StrategyCode* self = sim.selfStrategy.data() + r * kGridSize;
    StrategyCode* other = sim.otherStrategy.data() + r * kGridSize;
    for (std::uint64_t open = ~uniform; open != 0; open &= open - 1) {
        const int c = std::countr_zero(open);
        const Key was = candidate[8][c];
        const Key now = candidate[chosenCandidate(marks[c], draws[c] % 8)][c];
        self[c] = (now >> 3) & 7;
        other[c] = now & 7;
        --counts[c % 8][was & kPairBits];
        ++counts[c % 8][now & kPairBits];
    }
}

#endif

// --- Change tracking between steps ---
//
// A cell's score depends only on the colours and strategies of its 3 x 3
// block, the payoff table and the two scoring options. The scoring pass keeps
// what it last computed from and rescores only the cells whose block changed
// since; everything is compared afresh at every step, so changes made between
// steps (painting, seeding, a restart, the Payoffs dialog) are always seen.
// The pair counts of the log follow the same changes.

constexpr std::uint64_t kAllColumns = ~std::uint64_t{0};

ScoringInputs lastInputs{};
bool lastStepValid = false;  // previousKeys, scores and pairCounts hold a scored world
std::array<std::uint32_t, kCodeCount * kCodeCount> pairCounts{};  // cells per pair of *worldKeys

// Bit c set when (a[c] & bits) == (b[c] & bits), for c = 0 to 63.
std::uint64_t equalMask(const Key* a, const Key* b, Key bits) {
    std::uint64_t mask = 0;
#if defined(__SSE2__)
    const __m128i keep = _mm_set1_epi16(static_cast<short>(bits));
    const auto load = [&](const Key* p) { return _mm_and_si128(load8(p), keep); };
    for (int c = 0; c < kGridSize; c += 16) {
        const __m128i low = _mm_cmpeq_epi16(load(a + c), load(b + c));
        const __m128i high = _mm_cmpeq_epi16(load(a + c + 8), load(b + c + 8));
        const auto sixteen = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(low, high)));
        mask |= std::uint64_t{sixteen} << c;
    }
#else
    for (int c = 0; c < kGridSize; ++c) mask |= std::uint64_t{(a[c] & bits) == (b[c] & bits)} << c;
#endif
    return mask;
}

std::uint64_t rotateLeft(std::uint64_t m) { return std::rotl(m, 1); }
std::uint64_t rotateRight(std::uint64_t m) { return std::rotr(m, 1); }

// Adds to each set bit its left and right neighbour, across the wrap.
std::uint64_t widen(std::uint64_t m) { return m | rotateLeft(m) | rotateRight(m); }

bool sameInputs(const ScoringInputs& a, const ScoringInputs& b) {
    return a.playSelf == b.playSelf && a.extraPoint == b.extraPoint &&
           std::memcmp(a.terms, b.terms, sizeof a.terms) == 0;
}

void countAllPairs() {
    // Eight sets of counters, so that a world of one pair does not make every
    // increment wait for the one before.
    constexpr int kSets = 8;
    std::uint32_t sets[kSets][kCodeCount * kCodeCount] = {};
    for (int r = 0; r < kGridSize; ++r) {
        const Key* row = rowOf(*worldKeys, r);
        for (int c = 0; c < kGridSize; c += kSets) {
            for (int j = 0; j < kSets; ++j) ++sets[j][row[c + j] & kPairBits];
        }
    }
    for (int k = 0; k < kCodeCount * kCodeCount; ++k) {
        std::uint32_t total = 0;
        for (const auto& set : sets) total += set[k];
        pairCounts[k] = total;
    }
}

// Per row, the cells whose key differs from the step before's; the pair
// counts follow them.
void findChanges(std::uint64_t (&changed)[kGridSize]) {
    if (!lastStepValid) {
        for (auto& row : changed) row = kAllColumns;
        countAllPairs();
        return;
    }
    int changedCells = 0;
    for (int r = 0; r < kGridSize; ++r) {
        changed[r] = ~equalMask(rowOf(*worldKeys, r), rowOf(*previousKeys, r), 0xffff);
        changedCells += std::popcount(changed[r]);
    }
    // Two updates per changed cell against one per cell for a fresh count.
    if (changedCells > kCellCount / 4) {
        countAllPairs();
        return;
    }
    for (int r = 0; r < kGridSize; ++r) {
        const Key* now = rowOf(*worldKeys, r);
        const Key* before = rowOf(*previousKeys, r);
        for (std::uint64_t m = changed[r]; m != 0; m &= m - 1) {
            const int c = std::countr_zero(m);
            --pairCounts[before[c] & kPairBits];
            ++pairCounts[now[c] & kPairBits];
        }
    }
}

// Per row, the cells whose nine candidates all hold one pair: whatever the
// scores, such a cell keeps that pair.
void uniformBlocks(std::uint64_t (&uniform)[kGridSize]) {
    std::uint64_t sameAsRight[kGridSize];  // bit c: pair (r, c) equals pair (r, c + 1)
    std::uint64_t sameAsBelow[kGridSize];  // bit c: pair (r, c) equals pair (r + 1, c)
    for (int r = 0; r < kGridSize; ++r) {
        const Key* row = rowOf(*worldKeys, r);
        sameAsRight[r] = equalMask(row, row + 1, kPairBits);
        sameAsBelow[r] = equalMask(row, rowOf(*worldKeys, sim.nextRow[r]), kPairBits);
    }
    std::uint64_t rowOfThree[kGridSize];  // bit c: columns c - 1, c and c + 1 of row r hold one pair
    for (int r = 0; r < kGridSize; ++r) rowOfThree[r] = sameAsRight[r] & rotateLeft(sameAsRight[r]);
    for (int r = 0; r < kGridSize; ++r) {
        const int up = sim.prevRow[r];
        uniform[r] = rowOfThree[up] & rowOfThree[r] & rowOfThree[sim.nextRow[r]] & sameAsBelow[up] & sameAsBelow[r];
    }
}

}  // namespace

bool torusTablesBuilt() {
    for (int i = 0; i < kGridSize; ++i) {
        const int next = (i + 1) % kGridSize;
        const int prev = (i + kGridSize - 1) % kGridSize;
        if (sim.nextRow[i] != next || sim.prevRow[i] != prev || sim.nextCol[i] != next || sim.prevCol[i] != prev) {
            return false;
        }
    }
    return true;
}

bool scoreWorld() {
    std::swap(worldKeys, previousKeys);
    if (!buildKeys()) {
        lastStepValid = false;
        return false;
    }
    ScoringInputs inputs{};
    for (int a = 0; a < kCodeCount; ++a) {
        for (int b = 0; b < kCodeCount; ++b) {
            inputs.terms[a * kCodeCount + b] = sim.payoffTable[a][b];
            inputs.terms[kBonusOffset + a * kCodeCount + b] = sim.payoffTable[a][b] + 1.0;
        }
    }
    // The options are read once per step: a key pressed during a step takes effect at the next.
    inputs.playSelf = sim.playSelf.load(std::memory_order_relaxed);
    inputs.extraPoint = sim.extraPointSameColor.load(std::memory_order_relaxed);

    const bool reuseScores = lastStepValid && sameInputs(inputs, lastInputs);
    std::uint64_t changed[kGridSize];
    findChanges(changed);
    for (int r = 0; r < kGridSize; ++r) {
        const std::uint64_t toScore =
            reuseScores ? widen(changed[sim.prevRow[r]]) | widen(changed[r]) | widen(changed[sim.nextRow[r]])
                        : kAllColumns;
        scoreCells(r, toScore, inputs, rowOf(scores, r));
        std::memcpy(sim.score.data() + r * kGridSize, rowOf(scores, r), kGridSize * sizeof(double));
    }
    wrapAround(scores);
    lastInputs = inputs;
    lastStepValid = true;
    return true;
}

void chooseWorld(const std::uint32_t* draws) {
    std::uint64_t uniform[kGridSize];
    uniformBlocks(uniform);
    PairCountSets counts{};
    counts[0] = pairCounts;
    for (int r = 0; r < kGridSize; ++r) chooseRow(r, uniform[r], draws + r * kGridSize, counts);
    for (int k = 0; k < kCodeCount * kCodeCount; ++k) {
        std::uint32_t total = 0;
        for (const auto& set : counts) total += set[k];
        sim.pairCounts[k] = total;
    }
}

}  // namespace talvane::detail
