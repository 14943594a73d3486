// The whole-grid generation step. Cells are packed into one number each and
// laid out with a border of one cell on every side: a torus copies its
// opposite rows and columns into the border, fixed edges fill it with a mark
// that plays no game and a score of minus infinity that imitation never
// picks. Every neighbour of a cell then sits at the same distance from it, and
// one loop serves every size, edge and neighbourhood. The scores are laid out
// the same way for the choices: in a small world all of them, kept beside the
// world's own; in a large one a few rows at a time, as the choices need them,
// so that the world's own scores are the only whole copy.
//
// The step keeps what it last computed from and rescores only the rows next
// to a row that changed since; everything is compared afresh at every step,
// so changes made between steps (painting, seeding, a restart, new payoffs)
// are always seen.

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>
#include <type_traits>

#include "cell_keys.h"
#include "wide_vectors.h"
#include "world.h"

#if defined(TALVANE_WIDE_VECTORS)
#include <immintrin.h>
#endif

namespace talvane {

namespace {

using detail::Key;
using detail::kAbsent;
using detail::kColorBits;
using detail::kPairBits;

// terms[] holds the payoff table flattened (own * 8 + opponent), then the
// same plus the extra point, then a zero for the games that are not played.
constexpr int kBonusOffset = kPairCount;
constexpr int kZeroTerm = 2 * kPairCount;

// Worlds below this many cells always step on one thread: the threads would
// cost more than they save.
constexpr int kMinCellsForThreads = 1 << 15;

constexpr double kNoCell = -std::numeric_limits<double>::infinity();
constexpr std::int16_t kNoShortCell = std::numeric_limits<std::int16_t>::min();
constexpr std::uint8_t kNoColour = 0xff;  // the colour plane where no cell lies

// In a cell's mask of candidates at the best: it keeps its own pair.
constexpr std::uint64_t kKeepBit = 1u << 8;
// Where a cell's mask of candidates holds the candidate it takes.
constexpr int kPickShift = 16;
constexpr std::uint64_t kCandidateBits = (1u << kPickShift) - 1;

// Geometry of the padded grids.
struct Padded {
    int rows, cols, stride;
    explicit Padded(const WorldShape& s) : rows(s.rows), cols(s.cols), stride(s.cols + 2) {}
    std::size_t size() const { return static_cast<std::size_t>(rows + 2) * static_cast<std::size_t>(stride); }
    std::size_t at(int r, int c) const {
        return static_cast<std::size_t>(r + 1) * static_cast<std::size_t>(stride) + static_cast<std::size_t>(c + 1);
    }
};

// Copies the torus's opposite rows and columns into the border.
template <typename T>
void wrapBorder(const Padded& p, T* grid) {
    for (int r = 0; r < p.rows; ++r) {
        grid[p.at(r, -1)] = grid[p.at(r, p.cols - 1)];
        grid[p.at(r, p.cols)] = grid[p.at(r, 0)];
    }
    std::memcpy(grid + p.at(-1, -1), grid + p.at(p.rows - 1, -1), static_cast<std::size_t>(p.stride) * sizeof(T));
    std::memcpy(grid + p.at(p.rows, -1), grid + p.at(0, -1), static_cast<std::size_t>(p.stride) * sizeof(T));
}

// Runs body(firstRow, endRow, band) over bands of rows, one band per thread.
template <typename Body>
void forBands(int rows, int bands, Body&& body) {
    if (bands <= 1) {
        body(0, rows, 0);
        return;
    }
    std::vector<std::thread> helpers;
    helpers.reserve(static_cast<std::size_t>(bands - 1));
    for (int b = 1; b < bands; ++b) {
        helpers.emplace_back([&body, rows, bands, b] { body(rows * b / bands, rows * (b + 1) / bands, b); });
    }
    body(0, rows / bands, 0);
    for (std::thread& t : helpers) t.join();
}

// Distances to the neighbours, games and candidates listed as the rules list them.
struct Offsets {
    int games[8];       // in the order their terms are summed: the last game first
    int gameCount;
    int candidates[9];  // scan order; the cell itself last
};

Offsets offsetsFor(const Padded& p, bool moore) {
    const int up = -p.stride, down = p.stride, left = -1, right = 1;
    Offsets o{};
    if (moore) {
        const int games[8] = {down + right, up + right, down + left, up + left, down, up, right, left};
        std::copy(games, games + 8, o.games);
        o.gameCount = 8;
    } else {
        const int games[4] = {down, up, right, left};
        std::copy(games, games + 4, o.games);
        o.gameCount = 4;
    }
    const int candidates[9] = {up + left, down + left, up + right, down + right, up, left, down, right, 0};
    std::copy(candidates, candidates + 9, o.candidates);
    return o;
}

void prepare(BandScratch& band, int cols) {
    band.termIndex.resize(static_cast<std::size_t>(9 * cols));
    band.best.resize(static_cast<std::size_t>(cols));
    band.atBest.resize(static_cast<std::size_t>(cols));
    band.newCounts = {};
    band.skippedDelta = {};
    band.codeBits = 0;
}

// Adds (or with kSign -1 takes away) the pairs of the cols cells from key.
template <int kSign>
void addPairs(const Key* key, int cols, LaneCounts& lanes) {
    int c = 0;
    for (; c + kCountLanes <= cols; c += kCountLanes) {
        for (int l = 0; l < kCountLanes; ++l) lanes[l][key[c + l] & kPairBits] += kSign;
    }
    for (; c < cols; ++c) lanes[0][key[c] & kPairBits] += kSign;
}

// Scores of the cols cells from key, into out, and into copy too unless it is null. Each pass works down the
// whole row, so that the compiler can take many cells at a time; every
// cell's terms are still added in the order of its games.
template <bool kMoore, bool kFixed>
[[gnu::always_inline]] inline void scoreCells(const Key* key, int cols, const Offsets& o, const double* terms, bool playSelf, bool extraPoint,
                BandScratch& row, double* out, double* copy) {
    constexpr int kGames = kMoore ? 8 : 4;
    const Key bonus = extraPoint ? kBonusOffset : 0;
    for (int g = 0; g < kGames; ++g) {
        const Key* opponent = key + o.games[g];
        std::uint16_t* index = row.termIndex.data() + static_cast<std::ptrdiff_t>(g) * cols;
        for (int c = 0; c < cols; ++c) {
            const Key me = key[c], n = opponent[c];
            const Key self = (me >> 3) & 7, other = me & 7;
            // Only a cell that treats its own colour differently earns the extra point.
            const Key selfBase = static_cast<Key>(self * 8 + (self != other ? bonus : 0));
            const Key viaSelf = static_cast<Key>(selfBase + ((n >> 3) & 7));
            const Key viaOther = static_cast<Key>(other * 8 + (n & 7));
            Key term = ((n ^ me) & kColorBits) == 0 ? viaSelf : viaOther;
            if (kFixed) term = (n & kAbsent) != 0 ? Key{kZeroTerm} : term;
            index[c] = term;
        }
    }
    if (playSelf) {
        // The game against itself, last.
        std::uint16_t* index = row.termIndex.data() + static_cast<std::ptrdiff_t>(kGames) * cols;
        for (int c = 0; c < cols; ++c) {
            const Key self = (key[c] >> 3) & 7, other = key[c] & 7;
            index[c] = static_cast<Key>(self * 9 + (self != other ? bonus : 0));
        }
    }
    const std::uint16_t* index = row.termIndex.data();
    const auto sumTerms = [&]<int kTerms, bool kCopy>() {
        for (int c = 0; c < cols; ++c) {
            double sum = 0.0;
            for (int g = 0; g < kTerms; ++g) sum += terms[index[static_cast<std::ptrdiff_t>(g) * cols + c]];
            out[c] = sum;
            if constexpr (kCopy) copy[c] = sum;
        }
    };
    if (copy != nullptr) {
        playSelf ? sumTerms.template operator()<kGames + 1, true>() : sumTerms.template operator()<kGames, true>();
    } else {
        playSelf ? sumTerms.template operator()<kGames + 1, false>() : sumTerms.template operator()<kGames, false>();
    }
}

// The candidate a cell takes: the scan from the start index keeps the last
// candidate at the best, that is the highest one below the start, else the
// highest of all (bit 8 alone, the cell itself, when it keeps its own).
inline int pickOf(std::uint32_t atBest, std::uint32_t draw) {
    const std::uint32_t below = atBest & ((1u << (draw % 8)) - 1u);
    // atBest is never zero: some candidate, or the cell itself, is at the best.
    return 31 - __builtin_clz(below != 0 ? below : atBest);
}

// Bit k of atBest[c]: candidate k scores the best of the cell's candidates.
// A cell that keeps its own pair, as it does when it scores as well as the
// best or when every candidate scores below zero, has bit 8 alone. Above
// them, from bit kPickShift, the candidate its draw picks. Columns first to end.
template <int kFirst>
void markBest(const double* score, const std::uint8_t* draws, int first, int end, const Offsets& o, double* best,
              std::uint64_t* atBest) {
    for (int c = first; c < end; ++c) best[c] = score[c];
    for (int k = kFirst; k < 8; ++k) {
        const double* candidate = score + o.candidates[k];
        for (int c = first; c < end; ++c) best[c] = candidate[c] > best[c] ? candidate[c] : best[c];
    }
    for (int c = first; c < end; ++c) atBest[c] = 0;
    for (int k = kFirst; k < 8; ++k) {
        const double* candidate = score + o.candidates[k];
        const std::uint64_t bit = std::uint64_t{1} << k;
        for (int c = first; c < end; ++c) atBest[c] |= candidate[c] == best[c] ? bit : 0;
    }
    for (int c = first; c < end; ++c) {
        atBest[c] = ((score[c] == best[c]) | (best[c] < 0.0)) ? kKeepBit : atBest[c];
        atBest[c] |= static_cast<std::uint64_t>(pickOf(static_cast<std::uint32_t>(atBest[c]), draws[c])) << kPickShift;
    }
}

#if TALVANE_SIMD

// Several cells at a time in vectors of the compiler's vector extensions:
// two in 128 bits, which every processor the build targets has, four in 256
// bits where the processor has AVX2 (see wide_vectors.h).
using F64x2 = double __attribute__((vector_size(16)));
using I64x2 = std::int64_t __attribute__((vector_size(16)));
using F64x4 = double __attribute__((vector_size(32)));
using I64x4 = std::int64_t __attribute__((vector_size(32)));


template <int kLanes> struct Vectors;
using U64x2 = std::uint64_t __attribute__((vector_size(16)));
using U64x4 = std::uint64_t __attribute__((vector_size(32)));

template <> struct Vectors<2> { using F = F64x2; using I = I64x2; using UI = U64x2; };
template <> struct Vectors<4> { using F = F64x4; using I = I64x4; using UI = U64x4; };

// markBest, kLanes cells at a time. Returns the first column left.
template <int kLanes, int kFirst>
[[gnu::always_inline]] inline int markBestVectors(const double* score, const std::uint8_t* draws, int cols,
                                                   const Offsets& o, std::uint64_t* atBest) {
    using F = typename Vectors<kLanes>::F;
    using I = typename Vectors<kLanes>::I;
    using UI = typename Vectors<kLanes>::UI;
    const F zero{};
    const I keepBits = I{} + static_cast<std::int64_t>(kKeepBit);
    I byteShifts{};
    for (int l = 0; l < kLanes; ++l) byteShifts[l] = 8 * l;
    // The offsets in locals: stores through atBest could otherwise change them.
    int offset[8];
    std::copy(o.candidates, o.candidates + 8, offset);
    int c = 0;
    for (; c + kLanes <= cols; c += kLanes) {
        // Loaded twice rather than kept: an array of vectors would live on the stack.
        F own;
        std::memcpy(&own, score + c, sizeof own);
        F best = own;
        for (int k = kFirst; k < 8; ++k) {
            F candidate;
            std::memcpy(&candidate, score + c + offset[k], sizeof candidate);
            best = candidate > best ? candidate : best;
        }
        I bits{};
        for (int k = kFirst; k < 8; ++k) {
            F candidate;
            std::memcpy(&candidate, score + c + offset[k], sizeof candidate);
            bits |= (candidate == best) & (std::int64_t{1} << k);
        }
        const I keep = (own == best) | (best < zero);
        bits = keep < 0 ? keepBits : bits;
        // pickOf, lane by lane: the highest candidate at the best below the
        // draw's start, else the highest of all, found as the exponent of
        // the mask taken as a double (2^52 + mask, less 2^52, is exact).
        // The lanes' bytes of draws spread over the lanes by shifts: the
        // compilers make a slow lane-by-lane conversion of bytes otherwise.
        std::uint32_t drawn = 0;
        std::memcpy(&drawn, draws + c, kLanes);
        const I start = ((I{} + static_cast<std::int64_t>(drawn)) >> byteShifts) & 7;
        const I below = bits & (((I{} + 1) << start) - 1);
        const I taken = below != 0 ? below : bits;
        const I magic = taken | 0x4330000000000000;
        F asDouble;
        std::memcpy(&asDouble, &magic, sizeof magic);
        asDouble -= 0x1p52;
        UI exponent;
        std::memcpy(&exponent, &asDouble, sizeof exponent);
        const UI pick = ((exponent >> 52) - 1023) << kPickShift;
        I pickBits;
        std::memcpy(&pickBits, &pick, sizeof pickBits);
        bits |= pickBits;
        std::memcpy(atBest + c, &bits, sizeof bits);
    }
    return c;
}

#endif


// Writes each cell's next pair and counts the new pairs.
// Returns true when no choice of the row depended on its number drawn: then
// the same scores and keys give the same row again, whatever is drawn.
template <bool kMoore, int kLanes>
[[gnu::always_inline]] inline bool chooseRow(const Key* key, const double* score, int cols, const Offsets& o,
                                             const std::uint8_t* draws, BandScratch& row, CellCode* self,
                                             CellCode* other) {
    auto& lanes = row.newCounts;
    constexpr int kFirst = kMoore ? 0 : 4;  // von Neumann cells have no diagonal candidates
    std::uint64_t* atBest = row.atBest.data();
    int c = 0;
#if TALVANE_SIMD
    c = markBestVectors<kLanes, kFirst>(score, draws, cols, o, atBest);
#endif
    markBest<kFirst>(score, draws, c, cols, o, row.best.data(), atBest);

    int offset[9];
    std::copy(o.candidates, o.candidates + 9, offset);
    const auto take = [&](int c, int pick) {
        const Key now = key[c + offset[pick]];
        self[c] = static_cast<CellCode>((now >> 3) & 7);
        other[c] = static_cast<CellCode>(now & 7);
        ++lanes[static_cast<unsigned>(c) % kCountLanes][now & kPairBits];
        return now;
    };
    // Until a draw decides a choice, see whether one does: ties decide
    // nothing when every candidate at the best holds one pair.
    c = 0;
    for (; c < cols; ++c) {
        const auto bits = static_cast<std::uint32_t>(atBest[c] & kCandidateBits);
        const Key now = take(c, static_cast<int>(atBest[c] >> kPickShift));
        if ((bits & (bits - 1)) == 0) continue;
        bool same = true;
        for (std::uint32_t rest = bits; rest != 0; rest &= rest - 1) {
            same &= ((key[c + o.candidates[std::countr_zero(rest)]] ^ now) & kPairBits) == 0;
        }
        if (!same) break;
    }
    if (c == cols) return true;
    for (++c; c < cols; ++c) take(c, static_cast<int>(atBest[c] >> kPickShift));
    return false;
}

// Each kind of row once for the baseline processor and, where it has them,
// once more for AVX2's wider vectors.
template <bool kMoore, bool kFixed>
void scoreRow(const Key* key, int cols, const Offsets& o, const double* terms, bool playSelf, bool extraPoint,
              BandScratch& row, double* out, double* copy) {
    scoreCells<kMoore, kFixed>(key, cols, o, terms, playSelf, extraPoint, row, out, copy);
}

template <bool kMoore>
bool chooseRowOf(const Key* key, const double* score, int cols, const Offsets& o, const std::uint8_t* draws,
                 BandScratch& row, CellCode* self, CellCode* other) {
    return chooseRow<kMoore, 2>(key, score, cols, o, draws, row, self, other);
}

#if TALVANE_SIMD && defined(TALVANE_WIDE_VECTORS)
#define TALVANE_WIDE_STEP 1

template <bool kMoore, bool kFixed>
[[gnu::target("avx2")]] void scoreRowWide(const Key* key, int cols, const Offsets& o, const double* terms,
                                          bool playSelf, bool extraPoint, BandScratch& row, double* out,
                                          double* copy) {
    scoreCells<kMoore, kFixed>(key, cols, o, terms, playSelf, extraPoint, row, out, copy);
}

// One cell's new key, taken by its pick (8: its own), its pair written and
// counted. While settled holds, clears it when a draw decided the choice:
// when two candidates at the best (bits, as markBest marks them) hold
// different pairs.
inline void takeOne(const Key* key, int c, const int* offset, int pick, std::uint32_t bits, CellCode* self,
                    CellCode* other, LaneCounts& lanes, bool& settled) {
    const Key now = key[c + offset[pick]];
    self[c] = static_cast<CellCode>((now >> 3) & 7);
    other[c] = static_cast<CellCode>(now & 7);
    ++lanes[static_cast<unsigned>(c) % kCountLanes][now & kPairBits];
    if (!settled || (bits & (bits - 1)) == 0) return;
    for (std::uint32_t rest = bits; rest != 0; rest &= rest - 1) {
        settled &= ((key[c + offset[std::countr_zero(rest)]] ^ now) & kPairBits) == 0;
    }
}

// takeOne for the 16 cells from column c (a multiple of 16), their picks
// and candidates at the best in 16-bit lanes.
template <int kFirst>
[[gnu::target("avx2"), gnu::always_inline]] inline void takeSixteen(const Key* key, int c, const int* offset,
                                                                   __m256i pick, __m256i bits, CellCode* self,
                                                                   CellCode* other, LaneCounts& lanes, bool& settled) {
    const __m256i none = _mm256_setzero_si256();
    const __m256i pairBits = _mm256_set1_epi16(kPairBits);
    const __m256i lowBits = _mm256_set1_epi16(7);
    __m256i now = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(key + c));
    __m256i candidates[8];
    for (int k = kFirst; k < 8; ++k) {
        candidates[k] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(key + c + offset[k]));
        now = _mm256_blendv_epi8(now, candidates[k], _mm256_cmpeq_epi16(pick, _mm256_set1_epi16(static_cast<short>(k))));
    }
    // The pairs out as bytes: the pack interleaves the halves, the permutation puts them in order.
    const __m256i bytes = _mm256_permute4x64_epi64(
        _mm256_packus_epi16(_mm256_and_si256(_mm256_srli_epi16(now, 3), lowBits), _mm256_and_si256(now, lowBits)), 0xd8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(self + c), _mm256_castsi256_si128(bytes));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(other + c), _mm256_extracti128_si256(bytes, 1));
    alignas(32) std::uint16_t taken[16];
    _mm256_store_si256(reinterpret_cast<__m256i*>(taken), _mm256_and_si256(now, pairBits));
    // Read back from memory, which is cheaper than taking each lane out of the vector.
    asm("" : : "r"(taken) : "memory");
    for (int l = 0; l < 16; ++l) ++lanes[static_cast<unsigned>(c + l) % kCountLanes][taken[l]];
    if (!settled) return;
    const __m256i single =
        _mm256_cmpeq_epi16(_mm256_and_si256(bits, _mm256_sub_epi16(bits, _mm256_set1_epi16(1))), none);
    __m256i decided = none;
    for (int k = kFirst; k < 8; ++k) {
        const __m256i bit = _mm256_set1_epi16(static_cast<short>(1 << k));
        const __m256i atBest = _mm256_cmpeq_epi16(_mm256_and_si256(bits, bit), bit);
        const __m256i alike = _mm256_cmpeq_epi16(_mm256_and_si256(_mm256_xor_si256(candidates[k], now), pairBits), none);
        decided = _mm256_or_si256(decided, _mm256_andnot_si256(alike, atBest));
    }
    settled = _mm256_testc_si256(single, decided) != 0;
}

// Four vectors of four 64-bit values below 2^15 into one of sixteen 16-bit
// values, in order: the packs work within 128-bit halves, the permutation
// puts their 32-bit pieces back in order.
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i packQuarters(const __m256i* v) {
    const __m256i ab = _mm256_packus_epi32(v[0], v[1]);
    const __m256i cd = _mm256_packus_epi32(v[2], v[3]);
    return _mm256_permutevar8x32_epi32(_mm256_packus_epi32(ab, cd), _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
}

// chooseRow with AVX2, 16 cells at a time: the candidates at the best and
// the draw's pick found 4 cells to a vector of doubles, then each cell's new
// key taken from the nine candidates' keys by its pick, 16 to a vector; the
// columns beyond the last 16 as chooseRow takes them.
template <bool kMoore>
[[gnu::target("avx2")]] bool chooseRowWide(const Key* key, const double* score, int cols, const Offsets& o,
                                           const std::uint8_t* draws, BandScratch& row, CellCode* self,
                                           CellCode* other) {
    constexpr int kFirst = kMoore ? 0 : 4;  // von Neumann cells have no diagonal candidates
    auto& lanes = row.newCounts;
    int offset[9];
    std::copy(o.candidates, o.candidates + 9, offset);
    const __m256d zero = _mm256_setzero_pd();
    const __m256i none = _mm256_setzero_si256();
    const __m256i one = _mm256_set1_epi64x(1);
    const __m256i keepBits = _mm256_set1_epi64x(static_cast<long long>(kKeepBit));
    const __m256i magic = _mm256_set1_epi64x(0x4330000000000000);
    const __m256i bias = _mm256_set1_epi64x(1023);
    bool settled = true;
    int c = 0;
    for (; c + 16 <= cols; c += 16) {
        // Per cell: bit k of bits when candidate k scores the best (bit 8
        // alone when the cell keeps its own pair), and the candidate its
        // draw picks: the highest at the best below the draw's start, else
        // the highest of all, found as the exponent of the mask taken as a
        // double (2^52 + mask, less 2^52, is exact).
        __m256i picks[4], masks[4];
        for (int q = 0; q < 4; ++q) {
            const int at = c + 4 * q;
            const __m256d own = _mm256_loadu_pd(score + at);
            __m256d best = own;
            for (int k = kFirst; k < 8; ++k) best = _mm256_max_pd(_mm256_loadu_pd(score + at + offset[k]), best);
            __m256i bits = none;
            for (int k = kFirst; k < 8; ++k) {
                const __m256d atBest = _mm256_cmp_pd(_mm256_loadu_pd(score + at + offset[k]), best, _CMP_EQ_OQ);
                bits = _mm256_or_si256(bits, _mm256_and_si256(_mm256_castpd_si256(atBest), _mm256_set1_epi64x(1ll << k)));
            }
            const __m256d keeps = _mm256_or_pd(_mm256_cmp_pd(own, best, _CMP_EQ_OQ), _mm256_cmp_pd(best, zero, _CMP_LT_OQ));
            bits = _mm256_blendv_epi8(bits, keepBits, _mm256_castpd_si256(keeps));
            std::int32_t drawn = 0;
            std::memcpy(&drawn, draws + at, sizeof drawn);
            const __m256i start = _mm256_and_si256(_mm256_cvtepu8_epi64(_mm_cvtsi32_si128(drawn)), _mm256_set1_epi64x(7));
            const __m256i below = _mm256_and_si256(bits, _mm256_sub_epi64(_mm256_sllv_epi64(one, start), one));
            const __m256i from = _mm256_blendv_epi8(below, bits, _mm256_cmpeq_epi64(below, none));
            const __m256d asDouble = _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(from, magic)), _mm256_set1_pd(0x1p52));
            picks[q] = _mm256_sub_epi64(_mm256_srli_epi64(_mm256_castpd_si256(asDouble), 52), bias);
            masks[q] = bits;
        }
        const __m256i pick = packQuarters(picks);
        const __m256i bits = packQuarters(masks);
        takeSixteen<kFirst>(key, c, offset, pick, bits, self, other, lanes, settled);
    }
    if (c == cols) return settled;
    std::uint64_t* atBest = row.atBest.data();
    markBest<kFirst>(score, draws, c, cols, o, row.best.data(), atBest);
    for (; c < cols; ++c) {
        const auto bits = static_cast<std::uint32_t>(atBest[c] & kCandidateBits);
        takeOne(key, c, offset, static_cast<int>(atBest[c] >> kPickShift), bits, self, other, lanes, settled);
    }
    return settled;
}


// chooseRowWide from 16-bit scores, as whole-number payoffs give them (a
// small world's padded copy, or a large one's window): 16 cells to a vector
// throughout. Where no cell lies the score
// is the least 16-bit number, below any sum of nine terms.
template <bool kMoore>
[[gnu::target("avx2")]] bool chooseRowShort(const Key* key, const std::int16_t* score, int cols, const Offsets& o,
                                            const std::uint8_t* draws, BandScratch& row, CellCode* self,
                                            CellCode* other) {
    constexpr int kFirst = kMoore ? 0 : 4;  // von Neumann cells have no diagonal candidates
    auto& lanes = row.newCounts;
    int offset[9];
    std::copy(o.candidates, o.candidates + 9, offset);
    const __m256i none = _mm256_setzero_si256();
    const __m256i keepBits = _mm256_set1_epi16(static_cast<short>(kKeepBit));
    const __m256i nibble = _mm256_set1_epi16(15);
    // The candidates below a draw's start 0 .. 7, and the highest bit of
    // a nibble, 4 more for the high one (0 for none): byte lookups.
    const __m128i belowStart = _mm_setr_epi8(0, 1, 3, 7, 15, 31, 63, 127, 0, 1, 3, 7, 15, 31, 63, 127);
    const __m256i highLow = _mm256_setr_epi8(0, 0, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3,
                                             0, 0, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3);
    const __m256i highHigh = _mm256_setr_epi8(0, 4, 5, 5, 6, 6, 6, 6, 7, 7, 7, 7, 7, 7, 7, 7,
                                              0, 4, 5, 5, 6, 6, 6, 6, 7, 7, 7, 7, 7, 7, 7, 7);
    bool settled = true;
    int c = 0;
    for (; c + 16 <= cols; c += 16) {
        // Bit k of bits when candidate k scores the best (bit 8 alone when
        // the cell keeps its own pair), and the candidate the draw picks:
        // the highest at the best below the draw's start, else the highest
        // of all; 8 for the cell itself.
        const __m256i own = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(score + c));
        __m256i candidateScores[8];
        __m256i best = own;
        for (int k = kFirst; k < 8; ++k) {
            candidateScores[k] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(score + c + offset[k]));
            best = _mm256_max_epi16(best, candidateScores[k]);
        }
        __m256i bits = none;
        for (int k = kFirst; k < 8; ++k) {
            bits = _mm256_or_si256(bits, _mm256_and_si256(_mm256_cmpeq_epi16(candidateScores[k], best),
                                                          _mm256_set1_epi16(static_cast<short>(1 << k))));
        }
        const __m256i keeps = _mm256_or_si256(_mm256_cmpeq_epi16(own, best), _mm256_cmpgt_epi16(none, best));
        bits = _mm256_blendv_epi8(bits, keepBits, keeps);
        const __m128i start = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(draws + c)), _mm_set1_epi8(7));
        const __m256i below = _mm256_and_si256(bits, _mm256_cvtepu8_epi16(_mm_shuffle_epi8(belowStart, start)));
        const __m256i from = _mm256_blendv_epi8(below, bits, _mm256_cmpeq_epi16(below, none));
        const __m256i highest =
            _mm256_max_epi16(_mm256_shuffle_epi8(highLow, _mm256_and_si256(from, nibble)),
                             _mm256_shuffle_epi8(highHigh, _mm256_and_si256(_mm256_srli_epi16(from, 4), nibble)));
        const __m256i pick = _mm256_blendv_epi8(highest, _mm256_set1_epi16(8), _mm256_cmpeq_epi16(from, keepBits));
        takeSixteen<kFirst>(key, c, offset, pick, bits, self, other, lanes, settled);
    }
    for (; c < cols; ++c) {
        const int own = score[c];
        int best = own;
        for (int k = kFirst; k < 8; ++k) best = std::max(best, static_cast<int>(score[c + offset[k]]));
        std::uint32_t bits = 0;
        for (int k = kFirst; k < 8; ++k) bits |= score[c + offset[k]] == best ? 1u << k : 0u;
        if (own == best || best < 0) bits = kKeepBit;
        takeOne(key, c, offset, pickOf(bits, draws[c]), bits, self, other, lanes, settled);
    }
    return settled;
}

// Whole-number payoffs small enough that nine of them add up within 16 bits
// score in 16-bit sums, 32 cells at a time, each game's term looked up in
// registers: the sums of whole numbers are exact in any order, so they are
// the very scores the doubles add up to.
constexpr double kNarrowTermMost = 32767.0 / 9.0;
using NarrowTerms = std::array<std::int16_t, 2 * kPairCount>;  // terms[] without its zero

bool narrowTermsOf(const std::array<double, 2 * kPairCount + 1>& terms, NarrowTerms& out) {
    for (int t = 0; t < 2 * kPairCount; ++t) {
        const double term = terms[static_cast<std::size_t>(t)];
        if (!(std::fabs(term) <= kNarrowTermMost) || term != std::trunc(term)) return false;
        out[static_cast<std::size_t>(t)] = static_cast<std::int16_t>(term);
    }
    return true;
}

using ScoreRowNarrow = void (*)(const Key*, int, const Offsets&, const NarrowTerms&, bool, bool, double*, double*);

// GCC 12 takes the intrinsics' undefined starting values for uninitialised ones.
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

template <bool kMoore, bool kFixed>
[[gnu::target("avx512f,avx512bw,avx512vl")]] void scoreRowNarrow(const Key* key, int cols, const Offsets& o,
                                                                 const NarrowTerms& terms, bool playSelf,
                                                                 bool extraPoint, double* out, double* copy) {
    constexpr int kGames = kMoore ? 8 : 4;
    // Two 32-term halves of each table, indexed by own code * 8 + the opponent's.
    const __m512i plainLow = _mm512_loadu_si512(terms.data());
    const __m512i plainHigh = _mm512_loadu_si512(terms.data() + 32);
    const __m512i bonusLow = _mm512_loadu_si512(terms.data() + kBonusOffset);
    const __m512i bonusHigh = _mm512_loadu_si512(terms.data() + kBonusOffset + 32);
    const __m512i colorBits = _mm512_set1_epi16(static_cast<short>(kColorBits));
    const __m512i selfBits = _mm512_set1_epi16(0x38);
    const __m512i lowBits = _mm512_set1_epi16(7);
    const __m512i absent = _mm512_set1_epi16(static_cast<short>(kAbsent));
    int offset[8];
    std::copy(o.games, o.games + 8, offset);
    for (int c = 0; c < cols; c += 32) {
        const __mmask32 lanes = cols - c >= 32 ? ~__mmask32{0} : (__mmask32{1} << (cols - c)) - 1;
        const __m512i me = _mm512_maskz_loadu_epi16(lanes, key + c);
        const __m512i mySelf = _mm512_and_si512(me, selfBits);                     // self * 8
        const __m512i myOther = _mm512_slli_epi16(_mm512_and_si512(me, lowBits), 3);  // others * 8
        // Only a cell that treats its own colour differently earns the extra point.
        const __mmask32 bonus =
            extraPoint ? _mm512_cmpneq_epi16_mask(_mm512_srli_epi16(mySelf, 3), _mm512_and_si512(me, lowBits)) : 0;
        __m512i sum = _mm512_setzero_si512();
        for (int g = 0; g < kGames; ++g) {
            const __m512i them = _mm512_maskz_loadu_epi16(lanes, key + c + offset[g]);
            const __mmask32 alike = _mm512_testn_epi16_mask(_mm512_xor_si512(me, them), colorBits);
            const __m512i viaSelf = _mm512_or_si512(mySelf, _mm512_and_si512(_mm512_srli_epi16(them, 3), lowBits));
            const __m512i viaOther = _mm512_or_si512(myOther, _mm512_and_si512(them, lowBits));
            const __m512i index = _mm512_mask_blend_epi16(alike, viaOther, viaSelf);
            __m512i term = _mm512_permutex2var_epi16(plainLow, index, plainHigh);
            if (extraPoint) {
                term = _mm512_mask_blend_epi16(alike & bonus, term,
                                               _mm512_permutex2var_epi16(bonusLow, index, bonusHigh));
            }
            // No game beyond a fixed edge.
            const __mmask32 played = kFixed ? _mm512_testn_epi16_mask(them, absent) : ~__mmask32{0};
            sum = _mm512_mask_add_epi16(sum, played, sum, term);
        }
        if (playSelf) {
            const __m512i index = _mm512_or_si512(mySelf, _mm512_srli_epi16(mySelf, 3));  // self * 9
            __m512i term = _mm512_permutex2var_epi16(plainLow, index, plainHigh);
            if (extraPoint) {
                term = _mm512_mask_blend_epi16(bonus, term, _mm512_permutex2var_epi16(bonusLow, index, bonusHigh));
            }
            sum = _mm512_add_epi16(sum, term);
        }
        // Out as doubles, 8 at a time.
        const __m512i low = _mm512_cvtepi16_epi32(_mm512_castsi512_si256(sum));
        const __m512i high = _mm512_cvtepi16_epi32(_mm512_extracti64x4_epi64(sum, 1));
        const __m512d scores[4] = {_mm512_cvtepi32_pd(_mm512_castsi512_si256(low)),
                                   _mm512_cvtepi32_pd(_mm512_extracti64x4_epi64(low, 1)),
                                   _mm512_cvtepi32_pd(_mm512_castsi512_si256(high)),
                                   _mm512_cvtepi32_pd(_mm512_extracti64x4_epi64(high, 1))};
        for (int k = 0; k < 4; ++k) {
            const auto part = static_cast<__mmask8>(lanes >> (8 * k));
            if (part == 0) break;
            _mm512_mask_storeu_pd(out + c + 8 * k, part, scores[k]);
            if (copy != nullptr) _mm512_mask_storeu_pd(copy + c + 8 * k, part, scores[k]);
        }
    }
}

// chooseRow with AVX-512, 32 cells at a time: the candidates at the best
// and the draw's pick found 8 cells to a vector, then each cell's new key
// taken from the nine candidates' keys by its pick, 32 to a vector.
template <bool kMoore>
[[gnu::target("avx512f,avx512bw,avx512vl,avx512cd")]] bool chooseRowWidest(const Key* key, const double* score,
                                                                           int cols, const Offsets& o,
                                                                           const std::uint8_t* draws, BandScratch& row,
                                                                           CellCode* self, CellCode* other) {
    constexpr int kFirst = kMoore ? 0 : 4;  // von Neumann cells have no diagonal candidates
    auto& lanes = row.newCounts;
    int offset[9];
    std::copy(o.candidates, o.candidates + 9, offset);
    const __m512d zero = _mm512_setzero_pd();
    const __m512i one = _mm512_set1_epi64(1);
    const __m512i keep = _mm512_set1_epi64(static_cast<long long>(kKeepBit));
    const __m512i pairBits = _mm512_set1_epi16(kPairBits);
    const __m512i lowBits = _mm512_set1_epi16(7);
    bool settled = true;
    alignas(64) std::uint16_t taken[32];
    for (int c = 0; c < cols; c += 32) {
        const int count = std::min(32, cols - c);
        const __mmask32 lanes32 = count == 32 ? ~__mmask32{0} : (__mmask32{1} << count) - 1;
        // Per cell, 8 cells at a time: bit k of bits when candidate k scores
        // the best (bit 8 alone when the cell keeps its own pair), and the
        // candidate its draw picks: the highest at the best below the
        // draw's start, else the highest of all.
        __m128i picks[4], masks[4];
        for (int q = 0; q < 4; ++q) {
            const int at = c + 8 * q;
            const auto part = static_cast<__mmask8>(lanes32 >> (8 * q));
            if (part == 0) {
                picks[q] = masks[q] = _mm_setzero_si128();
                continue;
            }
            const __m512d own = _mm512_maskz_loadu_pd(part, score + at);
            __m512d best = own;
            for (int k = kFirst; k < 8; ++k) best = _mm512_max_pd(best, _mm512_maskz_loadu_pd(part, score + at + offset[k]));
            __m512i bits = _mm512_setzero_si512();
            for (int k = kFirst; k < 8; ++k) {
                const __mmask8 atBest =
                    _mm512_cmp_pd_mask(_mm512_maskz_loadu_pd(part, score + at + offset[k]), best, _CMP_EQ_OQ);
                bits = _mm512_mask_or_epi64(bits, atBest, bits, _mm512_set1_epi64(1ll << k));
            }
            const __mmask8 keeps = _mm512_cmp_pd_mask(own, best, _CMP_EQ_OQ) | _mm512_cmp_pd_mask(best, zero, _CMP_LT_OQ);
            bits = _mm512_mask_mov_epi64(bits, keeps, keep);
            const __m512i start =
                _mm512_and_si512(_mm512_maskz_cvtepu8_epi64(0xff, _mm_maskz_loadu_epi8(part, draws + at)), _mm512_set1_epi64(7));
            const __m512i below = _mm512_and_si512(bits, _mm512_sub_epi64(_mm512_sllv_epi64(one, start), one));
            const __m512i from = _mm512_mask_mov_epi64(bits, _mm512_test_epi64_mask(below, below), below);
            const __m512i pick = _mm512_sub_epi64(_mm512_set1_epi64(63), _mm512_lzcnt_epi64(from));
            picks[q] = _mm512_cvtepi64_epi16(pick);
            masks[q] = _mm512_cvtepi64_epi16(bits);
        }
        const __m512i pick = _mm512_inserti64x4(
            _mm512_castsi256_si512(_mm256_inserti128_si256(_mm256_castsi128_si256(picks[0]), picks[1], 1)),
            _mm256_inserti128_si256(_mm256_castsi128_si256(picks[2]), picks[3], 1), 1);
        const __m512i bits = _mm512_inserti64x4(
            _mm512_castsi256_si512(_mm256_inserti128_si256(_mm256_castsi128_si256(masks[0]), masks[1], 1)),
            _mm256_inserti128_si256(_mm256_castsi128_si256(masks[2]), masks[3], 1), 1);
        // Each cell's new key: its own, or the candidate's it picks.
        __m512i now = _mm512_maskz_loadu_epi16(lanes32, key + c);
        __m512i candidates[8];
        for (int k = kFirst; k < 8; ++k) {
            candidates[k] = _mm512_maskz_loadu_epi16(lanes32, key + c + offset[k]);
            now = _mm512_mask_mov_epi16(now, _mm512_cmpeq_epi16_mask(pick, _mm512_set1_epi16(static_cast<short>(k))),
                                        candidates[k]);
        }
        _mm256_mask_storeu_epi8(self + c, lanes32, _mm512_cvtepi16_epi8(_mm512_and_si512(_mm512_srli_epi16(now, 3), lowBits)));
        _mm256_mask_storeu_epi8(other + c, lanes32, _mm512_cvtepi16_epi8(_mm512_and_si512(now, lowBits)));
        _mm512_store_si512(taken, now);
        for (int l = 0; l < count; ++l) ++lanes[static_cast<unsigned>(l) % kCountLanes][taken[l] & kPairBits];
        // A draw decided a choice where two candidates at the best hold
        // different pairs.
        if (settled) {
            const __mmask32 ties = _mm512_cmpneq_epi16_mask(_mm512_and_si512(bits, _mm512_sub_epi16(bits, _mm512_set1_epi16(1))),
                                                            _mm512_setzero_si512());
            __mmask32 decided = 0;
            for (int k = kFirst; k < 8; ++k) {
                const __mmask32 atBest = _mm512_test_epi16_mask(bits, _mm512_set1_epi16(static_cast<short>(1 << k)));
                decided |= atBest & _mm512_test_epi16_mask(_mm512_xor_si512(candidates[k], now), pairBits);
            }
            settled = (ties & decided & lanes32) == 0;
        }
    }
    return settled;
}

#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif

ScoreRowNarrow scoreRowNarrowFor(bool moore, bool fixed) {
    return moore ? (fixed ? scoreRowNarrow<true, true> : scoreRowNarrow<true, false>)
                 : (fixed ? scoreRowNarrow<false, true> : scoreRowNarrow<false, false>);
}

// The terms of 32 cells' games from their indexes (0 .. 127), one a byte,
// looked up in the pieces of the table (see scoreRowNarrowWide): term0 has
// the terms of the indexes' bytes 0 .. 7 and 16 .. 23, term1 the others.
template <int kPieces>
[[gnu::target("avx2"), gnu::always_inline]] inline void lookUpBytes(const __m256i* lowBytes, const __m256i* highBytes,
                                                                   __m256i index, __m256i& term0, __m256i& term1) {
    __m256i low = _mm256_setzero_si256(), high = _mm256_setzero_si256();
    for (int j = 0; j < kPieces; ++j) {
        // Within piece j the index's low four bits, elsewhere bit 7 set: a zero.
        const __m256i at =
            _mm256_adds_epu8(_mm256_xor_si256(index, _mm256_set1_epi8(static_cast<char>(16 * j))), _mm256_set1_epi8(0x70));
        low = _mm256_or_si256(low, _mm256_shuffle_epi8(lowBytes[j], at));
        high = _mm256_or_si256(high, _mm256_shuffle_epi8(highBytes[j], at));
    }
    term0 = _mm256_unpacklo_epi8(low, high);
    term1 = _mm256_unpackhi_epi8(low, high);
}

// The same from two vectors of 16 indexes, terms in their order: the pack
// interleaves the two vectors' halves as the unpacks take them apart.
template <int kPieces>
[[gnu::target("avx2"), gnu::always_inline]] inline void lookUpTerms(const __m256i* lowBytes, const __m256i* highBytes,
                                                                   __m256i index0, __m256i index1, __m256i& term0,
                                                                   __m256i& term1) {
    lookUpBytes<kPieces>(lowBytes, highBytes, _mm256_packus_epi16(index0, index1), term0, term1);
}

// The table's pieces for the byte lookups: 16 terms each, low bytes and
// high bytes, twice over (for both halves of a vector); the bonus table's
// four pieces follow the plain table's. Made once a step.
struct NarrowPieces {
    alignas(32) std::uint8_t low[8][32];
    alignas(32) std::uint8_t high[8][32];
};

NarrowPieces piecesOf(const NarrowTerms& terms) {
    NarrowPieces pieces{};
    for (int j = 0; j < 8; ++j) {
        for (int t = 0; t < 32; ++t) {
            const auto term = static_cast<std::uint16_t>(terms[static_cast<std::size_t>(16 * j + t % 16)]);
            pieces.low[j][t] = static_cast<std::uint8_t>(term & 0xff);
            pieces.high[j][t] = static_cast<std::uint8_t>(term >> 8);
        }
    }
    return pieces;
}

// The terms as the AVX2 scorers take them.
struct WideTerms {
    NarrowTerms terms;
    NarrowPieces pieces;
};

template <int kPieces>
[[gnu::target("avx2"), gnu::always_inline]] inline void termPieces(const NarrowPieces& pieces, __m256i* lowBytes,
                                                                  __m256i* highBytes) {
    for (int j = 0; j < kPieces; ++j) {
        lowBytes[j] = _mm256_load_si256(reinterpret_cast<const __m256i*>(pieces.low[j]));
        highBytes[j] = _mm256_load_si256(reinterpret_cast<const __m256i*>(pieces.high[j]));
    }
}

// scoreRowNarrowWide's rows of 32 cells or more; kPieces 8 with the extra point, 4 without.
template <bool kMoore, bool kFixed, int kPieces>
[[gnu::target("avx2")]] void scoreNarrowBlocks(const Key* key, int cols, const Offsets& o, const WideTerms& terms,
                                               bool playSelf, double* out, double* copy, std::int16_t* sums) {
    constexpr int kGames = kMoore ? 8 : 4;
    int offset[8];
    std::copy(o.games, o.games + 8, offset);
    const int bonus = kPieces == 8 ? kBonusOffset : 0;
    __m256i lowBytes[8], highBytes[8];
    termPieces<kPieces>(terms.pieces, lowBytes, highBytes);
    const __m256i colorBits = _mm256_set1_epi16(static_cast<short>(kColorBits));
    const __m256i selfBits = _mm256_set1_epi16(0x38);
    const __m256i lowBits = _mm256_set1_epi16(7);
    const __m256i absent = _mm256_set1_epi16(static_cast<short>(kAbsent));
    const __m256i bonusTerms = _mm256_set1_epi16(static_cast<short>(bonus));
    const __m256i zero = _mm256_setzero_si256();
    for (int c = 0;; c += 32) {
        if (c + 32 > cols) c = cols - 32;
        __m256i me[2], mySelf[2], myOther[2], bonusOf[2], sum[2] = {zero, zero};
        for (int h = 0; h < 2; ++h) {
            me[h] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(key + c + 16 * h));
            mySelf[h] = _mm256_and_si256(me[h], selfBits);                            // self * 8
            myOther[h] = _mm256_slli_epi16(_mm256_and_si256(me[h], lowBits), 3);      // others * 8
            // The bonus table's offset where the cell treats its own colour differently.
            bonusOf[h] = _mm256_andnot_si256(_mm256_cmpeq_epi16(_mm256_srli_epi16(mySelf[h], 3), _mm256_and_si256(me[h], lowBits)),
                                             bonusTerms);
        }
        for (int g = 0; g < kGames; ++g) {
            __m256i index[2], played[2];
            for (int h = 0; h < 2; ++h) {
                const __m256i them = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(key + c + 16 * h + offset[g]));
                const __m256i alike = _mm256_cmpeq_epi16(_mm256_and_si256(_mm256_xor_si256(me[h], them), colorBits), zero);
                const __m256i viaSelf = _mm256_or_si256(_mm256_or_si256(mySelf[h], bonusOf[h]),
                                                        _mm256_and_si256(_mm256_srli_epi16(them, 3), lowBits));
                const __m256i viaOther = _mm256_or_si256(myOther[h], _mm256_and_si256(them, lowBits));
                index[h] = _mm256_blendv_epi8(viaOther, viaSelf, alike);
                // No game beyond a fixed edge.
                if (kFixed) played[h] = _mm256_cmpeq_epi16(_mm256_and_si256(them, absent), zero);
            }
            __m256i term[2];
            lookUpTerms<kPieces>(lowBytes, highBytes, index[0], index[1], term[0], term[1]);
            for (int h = 0; h < 2; ++h) {
                sum[h] = _mm256_add_epi16(sum[h], kFixed ? _mm256_and_si256(term[h], played[h]) : term[h]);
            }
        }
        if (playSelf) {
            __m256i index[2], term[2];
            for (int h = 0; h < 2; ++h) {
                // self * 9, from the bonus table where the cell earns it.
                index[h] = _mm256_or_si256(_mm256_or_si256(mySelf[h], _mm256_srli_epi16(mySelf[h], 3)), bonusOf[h]);
            }
            lookUpTerms<kPieces>(lowBytes, highBytes, index[0], index[1], term[0], term[1]);
            for (int h = 0; h < 2; ++h) sum[h] = _mm256_add_epi16(sum[h], term[h]);
        }
        // Out as doubles, 4 at a time, and as they are.
        for (int h = 0; h < 2; ++h) {
            if (sums != nullptr) _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums + c + 16 * h), sum[h]);
            const __m256i wide[2] = {_mm256_cvtepi16_epi32(_mm256_castsi256_si128(sum[h])),
                                     _mm256_cvtepi16_epi32(_mm256_extracti128_si256(sum[h], 1))};
            for (int q = 0; q < 4; ++q) {
                const __m128i part = (q & 1) == 0 ? _mm256_castsi256_si128(wide[q / 2]) : _mm256_extracti128_si256(wide[q / 2], 1);
                const __m256d score = _mm256_cvtepi32_pd(part);
                _mm256_storeu_pd(out + c + 16 * h + 4 * q, score);
                if (copy != nullptr) _mm256_storeu_pd(copy + c + 16 * h + 4 * q, score);
            }
        }
        if (c + 32 == cols) break;
    }
}

// scoreRowNarrow with AVX2, 32 cells at a time in two vectors of 16-bit
// sums. AVX2 has no 16-bit table lookup: each game's term is looked up by
// byte, its low and high bytes apart, in 16-entry pieces of the table, the
// piece of each index picked by making the others' lookups give zero. The
// columns beyond the last 32 are taken with the last 32 of the row, again;
// rows of fewer than 32 one cell at a time. The scores go to out, to copy
// unless it is null, and as 16-bit numbers to sums unless it is null.
template <bool kMoore, bool kFixed>
[[gnu::target("avx2")]] void scoreRowNarrowWide(const Key* key, int cols, const Offsets& o, const WideTerms& wide,
                                                bool playSelf, bool extraPoint, double* out, double* copy,
                                                std::int16_t* sums) {
    constexpr int kGames = kMoore ? 8 : 4;
    int offset[8];
    std::copy(o.games, o.games + 8, offset);
    const int bonus = extraPoint ? kBonusOffset : 0;
    if (cols < 32) {
        const NarrowTerms& terms = wide.terms;
        for (int c = 0; c < cols; ++c) {
            const int me = key[c], self = (me >> 3) & 7, other = me & 7;
            const int selfBase = self * 8 + (self != other ? bonus : 0);
            int sum = 0;
            for (int g = 0; g < kGames; ++g) {
                const int them = key[c + offset[g]];
                if (kFixed && (them & kAbsent) != 0) continue;
                sum += terms[static_cast<std::size_t>(((them ^ me) & kColorBits) == 0 ? selfBase + ((them >> 3) & 7)
                                                                                       : other * 8 + (them & 7))];
            }
            if (playSelf) sum += terms[static_cast<std::size_t>(selfBase + self)];
            out[c] = sum;
            if (copy != nullptr) copy[c] = sum;
            if (sums != nullptr) sums[c] = static_cast<std::int16_t>(sum);
        }
        return;
    }
    extraPoint ? scoreNarrowBlocks<kMoore, kFixed, 8>(key, cols, o, wide, playSelf, out, copy, sums)
               : scoreNarrowBlocks<kMoore, kFixed, 4>(key, cols, o, wide, playSelf, out, copy, sums);
}

using ScoreRowNarrowWide = void (*)(const Key*, int, const Offsets&, const WideTerms&, bool, bool, double*, double*,
                                    std::int16_t*);

ScoreRowNarrowWide scoreRowNarrowWideFor(bool moore, bool fixed) {
    return moore ? (fixed ? scoreRowNarrowWide<true, true> : scoreRowNarrowWide<true, false>)
                 : (fixed ? scoreRowNarrowWide<false, true> : scoreRowNarrowWide<false, false>);
}

// The padded grids of a small world a byte a cell, as the planes scorer
// reads them: each cell's self and others strategies, and its colour (or
// kNoColour where no cell lies).
struct CellPlanes {
    const std::uint8_t* self;
    const std::uint8_t* other;
    const std::uint8_t* color;
};

// scoreRowNarrowWide for the rows of a small world, from its cells' planes
// of bytes rather than from their keys: a game's index comes out of three
// bytes of the opponent, 32 cells to a vector, with no pack. The sums are
// kept in the order the byte lookups leave them, and put in order at the
// end. at is the padded place of the row's first cell; rows of fewer than
// 32 cells go to scoreRowNarrowWide.
template <bool kMoore, bool kFixed, int kPieces>
[[gnu::target("avx2")]] void scorePlanes(const CellPlanes& planes, std::size_t at, int cols, const Offsets& o,
                                         const WideTerms& terms, bool playSelf, double* out, std::int16_t* sums) {
    constexpr int kGames = kMoore ? 8 : 4;
    int offset[8];
    std::copy(o.games, o.games + 8, offset);
    __m256i lowBytes[8], highBytes[8];
    termPieces<kPieces>(terms.pieces, lowBytes, highBytes);
    const __m256i bonusTerms = _mm256_set1_epi8(kPieces == 8 ? static_cast<char>(kBonusOffset) : 0);
    const __m256i noColour = _mm256_set1_epi8(static_cast<char>(kNoColour));
    const std::uint8_t* const self = planes.self + at;
    const std::uint8_t* const other = planes.other + at;
    const std::uint8_t* const color = planes.color + at;
    for (int c = 0;; c += 32) {
        if (c + 32 > cols) c = cols - 32;
        const __m256i mySelf = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(self + c));
        const __m256i myOther = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(other + c));
        const __m256i myColor = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(color + c));
        // Codes below 8 times 8 stay within their bytes.
        const __m256i bonus = _mm256_andnot_si256(_mm256_cmpeq_epi8(mySelf, myOther), bonusTerms);
        const __m256i viaSelfBase = _mm256_or_si256(_mm256_slli_epi16(mySelf, 3), bonus);
        const __m256i viaOtherBase = _mm256_slli_epi16(myOther, 3);
        __m256i sum0 = _mm256_setzero_si256(), sum1 = _mm256_setzero_si256();
        for (int g = 0; g < kGames; ++g) {
            const std::ptrdiff_t them = c + offset[g];
            const __m256i theirColor = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(color + them));
            const __m256i alike = _mm256_cmpeq_epi8(myColor, theirColor);
            const __m256i index = _mm256_blendv_epi8(
                _mm256_or_si256(viaOtherBase, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(other + them))),
                _mm256_or_si256(viaSelfBase, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(self + them))), alike);
            __m256i term0, term1;
            lookUpBytes<kPieces>(lowBytes, highBytes, index, term0, term1);
            if (kFixed) {
                // No game beyond a fixed edge.
                const __m256i absent = _mm256_cmpeq_epi8(theirColor, noColour);
                term0 = _mm256_andnot_si256(_mm256_unpacklo_epi8(absent, absent), term0);
                term1 = _mm256_andnot_si256(_mm256_unpackhi_epi8(absent, absent), term1);
            }
            sum0 = _mm256_add_epi16(sum0, term0);
            sum1 = _mm256_add_epi16(sum1, term1);
        }
        if (playSelf) {
            __m256i term0, term1;
            lookUpBytes<kPieces>(lowBytes, highBytes, _mm256_or_si256(viaSelfBase, mySelf), term0, term1);  // self * 9
            sum0 = _mm256_add_epi16(sum0, term0);
            sum1 = _mm256_add_epi16(sum1, term1);
        }
        // sum0 holds cells 0 .. 7 and 16 .. 23, sum1 the others.
        const __m256i inOrder[2] = {_mm256_permute2x128_si256(sum0, sum1, 0x20), _mm256_permute2x128_si256(sum0, sum1, 0x31)};
        for (int h = 0; h < 2; ++h) {
            if (sums != nullptr) _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums + c + 16 * h), inOrder[h]);
            const __m256i wide[2] = {_mm256_cvtepi16_epi32(_mm256_castsi256_si128(inOrder[h])),
                                     _mm256_cvtepi16_epi32(_mm256_extracti128_si256(inOrder[h], 1))};
            for (int q = 0; q < 2; ++q) {
                _mm256_storeu_pd(out + c + 16 * h + 8 * q, _mm256_cvtepi32_pd(_mm256_castsi256_si128(wide[q])));
                _mm256_storeu_pd(out + c + 16 * h + 8 * q + 4, _mm256_cvtepi32_pd(_mm256_extracti128_si256(wide[q], 1)));
            }
        }
        if (c + 32 == cols) break;
    }
}

using ScorePlanes = void (*)(const CellPlanes&, std::size_t, int, const Offsets&, const WideTerms&, bool, double*,
                             std::int16_t*);

ScorePlanes scorePlanesFor(bool moore, bool fixed, bool extraPoint) {
    if (extraPoint) {
        return moore ? (fixed ? scorePlanes<true, true, 8> : scorePlanes<true, false, 8>)
                     : (fixed ? scorePlanes<false, true, 8> : scorePlanes<false, false, 8>);
    }
    return moore ? (fixed ? scorePlanes<true, true, 4> : scorePlanes<true, false, 4>)
                 : (fixed ? scorePlanes<false, true, 4> : scorePlanes<false, false, 4>);
}

#endif

// The payoff table flattened as terms[] holds it (see kBonusOffset).
std::array<double, 2 * kPairCount + 1> termsOf(const PayoffTable& table) {
    std::array<double, 2 * kPairCount + 1> terms{};
    for (int a = 0; a < kCodeCount; ++a) {
        for (int b = 0; b < kCodeCount; ++b) {
            terms[a * kCodeCount + b] = table[a][b];
            terms[kBonusOffset + a * kCodeCount + b] = table[a][b] + 1.0;
        }
    }
    terms[kZeroTerm] = 0.0;
    return terms;
}

using ScoreRow = void (*)(const Key*, int, const Offsets&, const double*, bool, bool, BandScratch&, double*,
                          double*);

// The row scorer for this neighbourhood and edge, wide where the processor allows.
ScoreRow scoreRowFor(bool moore, bool fixed) {
#if TALVANE_WIDE_STEP
    if (detail::wideVectorsInUse()) {
        return moore ? (fixed ? scoreRowWide<true, true> : scoreRowWide<true, false>)
                     : (fixed ? scoreRowWide<false, true> : scoreRowWide<false, false>);
    }
#endif
    return moore ? (fixed ? scoreRow<true, true> : scoreRow<true, false>)
                 : (fixed ? scoreRow<false, true> : scoreRow<false, false>);
}

}  // namespace

void World::scoreCurrentState(std::vector<double>& out) const {
    out.resize(static_cast<std::size_t>(cellCount()));
    const Padded p(shape_);
    std::vector<Key> keys(p.size(), kAbsent);
    int bits = 0;
    for (int r = 0; r < rows(); ++r) {
        Key* row = keys.data() + p.at(r, 0);
        const CellCode* color = cellColor.data() + index(r, 0);
        const CellCode* self = selfStrategy.data() + index(r, 0);
        const CellCode* other = otherStrategy.data() + index(r, 0);
        bits |= detail::packCells(color, self, other, row, cols());
    }
    if ((bits & ~7u) != 0) {
        for (int i = 0; i < cellCount(); ++i) out[static_cast<std::size_t>(i)] = scoreAt(i);
        return;
    }
    const bool fixed = shape_.edges == Edges::Fixed;
    const bool moore = shape_.neighbourhood == Neighbourhood::Moore;
    if (!fixed) wrapBorder(p, keys.data());
    const std::array<double, 2 * kPairCount + 1> terms = termsOf(payoffTable);
    const ScoreRow scoreKind = scoreRowFor(moore, fixed);
    const Offsets o = offsetsFor(p, moore);
    BandScratch band;
    prepare(band, cols());
    for (int r = 0; r < rows(); ++r) {
        scoreKind(keys.data() + p.at(r, 0), cols(), o, terms.data(), playSelf, extraPoint, band, out.data() + index(r, 0),
                  nullptr);
    }
}

// One generation of the packed step, in its stages: pack the cells into
// keys, score them, choose every cell's next pair, count the new pairs.
class World::GenerationStep {
public:
    GenerationStep(World& w, int threads);
    // Packs the cells into this step's keys (drawing the draws into fill
    // meanwhile, when fill is given); false when a code does not fit the
    // packing, and the step must go cell by cell.
    bool pack(std::uint8_t* fill);
    // Scores every cell; rows that nothing near them changed since the step
    // before keep their scores when the payoffs are the same.
    void score();
    // Every cell's next pair, straight into the grids: the keys keep the
    // world as this step found it.
    void choose(const std::uint8_t* draws);
    // The counts of the new world: those of the rows skipped and of the rows chosen.
    void countPairs();

private:
    BandScratch& band(int b) { return s_.bands[static_cast<std::size_t>(b)]; }
    void packRows(int first, int end, int b);
    // Whether a row within distance rows of r changed since the step before.
    bool changedNear(int r, int distance) const;
    // The padded scores of row r, with rows r - 1 and r + 1 around them at
    // the keys' distances, from the band's window (of doubles, or of 16-bit
    // numbers); end is the band's end.
    template <typename T>
    const T* scoresAround(BandScratch& band, int r, int end) const;
    // Row q (-1 .. rows) of the world's scores into out, padded.
    void padScores(int q, double* out) const;
    void padScores(int q, std::int16_t* out) const;

    World& w_;
    StepScratch& s_;
    const Padded p_;
    const bool fixed_;
    const bool moore_;
    int bandCount_ = 1;
    Key* keys_ = nullptr;
    const Key* before_ = nullptr;
    bool full_ = false;     // a small world: the padded scores of every row are kept
    bool short_ = false;    // the choices read the scores in 16 bits, as whole-number payoffs let them be
    bool reuse_ = false;    // the scores of the step before hold for unchanged rows
    bool wasValid_ = false; // the step before left its scratch complete
};

World::GenerationStep::GenerationStep(World& w, int threads)
    : w_(w),
      s_(w.scratch_),
      p_(w.shape_),
      fixed_(w.shape_.edges == Edges::Fixed),
      moore_(w.shape_.neighbourhood == Neighbourhood::Moore) {
    if (s_.keys[0].size() != p_.size()) {
        const auto rows = static_cast<std::size_t>(w.rows());
        for (auto& keys : s_.keys) keys.assign(p_.size(), kAbsent);
        s_.rowChanged.assign(rows, 1);
        s_.rowSettled.assign(rows, 0);
        s_.rowSkipped.assign(rows, 0);
        s_.valid = false;
    }
    bandCount_ = w.cellCount() >= kMinCellsForThreads ? std::clamp(threads, 1, w.rows()) : 1;
    full_ = w.cellCount() < kMinCellsForThreads;
    if (full_ && s_.scores.size() != p_.size()) {
        s_.scores.assign(p_.size(), kNoCell);
        s_.shortScores.assign(p_.size(), kNoShortCell);
        s_.planes[0].assign(p_.size(), 0);
        s_.planes[1].assign(p_.size(), 0);
        s_.planes[2].assign(p_.size(), kNoColour);
        s_.valid = false;
    }
    s_.bands.resize(static_cast<std::size_t>(bandCount_));
    // Windows of about 256 KB, which stay in the second-level cache, and
    // at least four rows, so that their two rows of overlap cost little.
    const int windowRows = std::clamp((1 << 15) / p_.stride, 4, 64);
    for (BandScratch& b : s_.bands) {
        prepare(b, w.cols());
        if (full_) continue;
        b.windowRows = windowRows;
        b.window.resize(static_cast<std::size_t>(windowRows + 2) * static_cast<std::size_t>(p_.stride));
        b.shortWindow.resize(b.window.size());
        b.windowFirst = b.windowEnd = 0;
    }
}

void World::GenerationStep::padScores(int q, double* out) const {
    const int rows = w_.rows(), cols = w_.cols();
    if (fixed_ && (q < 0 || q >= rows)) {
        std::fill(out, out + p_.stride, kNoCell);
        return;
    }
    const double* row = w_.score.data() + w_.index(q < 0 ? rows - 1 : q >= rows ? 0 : q, 0);
    std::memcpy(out + 1, row, static_cast<std::size_t>(cols) * sizeof(double));
    out[0] = fixed_ ? kNoCell : row[cols - 1];
    out[cols + 1] = fixed_ ? kNoCell : row[0];
}

void World::GenerationStep::padScores(int q, std::int16_t* out) const {
    const int rows = w_.rows(), cols = w_.cols();
    if (fixed_ && (q < 0 || q >= rows)) {
        std::fill(out, out + p_.stride, kNoShortCell);
        return;
    }
    const double* row = w_.score.data() + w_.index(q < 0 ? rows - 1 : q >= rows ? 0 : q, 0);
    // Whole numbers within 16 bits: exact.
    for (int c = 0; c < cols; ++c) out[c + 1] = static_cast<std::int16_t>(row[c]);
    out[0] = fixed_ ? kNoShortCell : static_cast<std::int16_t>(row[cols - 1]);
    out[cols + 1] = fixed_ ? kNoShortCell : static_cast<std::int16_t>(row[0]);
}

template <typename T>
const T* World::GenerationStep::scoresAround(BandScratch& b, int r, int end) const {
    const auto stride = static_cast<std::size_t>(p_.stride);
    T* window = nullptr;
    if constexpr (std::is_same_v<T, double>) {
        window = b.window.data();
    } else {
        window = b.shortWindow.data();
    }
    if (r >= b.windowFirst && r < b.windowEnd) return window + static_cast<std::size_t>(r - b.windowFirst + 1) * stride + 1;
    int from = r - 1;
    if (r == b.windowEnd && b.windowEnd > b.windowFirst) {
        // Rows r - 1 and r end the window already: they move to its start.
        std::memmove(window, window + static_cast<std::size_t>(b.windowEnd - b.windowFirst) * stride,
                     2 * stride * sizeof(T));
        from = r + 1;
    }
    const int last = std::min(r + b.windowRows, end);
    for (int q = from; q <= last; ++q) padScores(q, window + static_cast<std::size_t>(q - (r - 1)) * stride);
    b.windowFirst = r;
    b.windowEnd = last;
    return window + stride + 1;
}

bool World::GenerationStep::changedNear(int r, int distance) const {
    if (s_.rowChanged[r]) return true;
    int up = r, down = r;
    for (int d = 0; d < distance; ++d) {
        up = up < 0 ? -1 : w_.rowAbove_[up];
        down = down < 0 ? -1 : w_.rowBelow_[down];
        if ((up >= 0 && s_.rowChanged[up]) || (down >= 0 && s_.rowChanged[down])) return true;
    }
    return false;
}

// Packs rows first .. end - 1, and sees which differ from the step before's.
void World::GenerationStep::packRows(int first, int end, int b) {
    // Locals throughout: the byte stores would otherwise make every member be read again.
    const int cols = w_.cols();
    const Padded p = p_;
    Key* const keys = keys_;
    const Key* const before = before_;
    std::uint8_t* const changed = s_.rowChanged.data();
    const CellCode* const colors = w_.cellColor.data();
    const CellCode* const selves = w_.selfStrategy.data();
    const CellCode* const others = w_.otherStrategy.data();
    int bits = 0;
    for (int r = first; r < end; ++r) {
        Key* row = keys + p.at(r, 0);
        const std::size_t at = static_cast<std::size_t>(r) * static_cast<std::size_t>(cols);
        const CellCode* color = colors + at;
        const CellCode* self = selves + at;
        const CellCode* other = others + at;
        bits |= detail::packCells(color, self, other, row, cols);
        changed[r] = std::memcmp(row, before + p.at(r, 0), static_cast<std::size_t>(cols) * sizeof(Key)) != 0;
#if TALVANE_WIDE_STEP
        if (full_) {
            const std::size_t place = p.at(r, 0), n = static_cast<std::size_t>(cols);
            std::memcpy(s_.planes[0].data() + place, self, n);
            std::memcpy(s_.planes[1].data() + place, other, n);
            std::memcpy(s_.planes[2].data() + place, color, n);
        }
#endif
    }
    band(b).codeBits = bits;
}

bool World::GenerationStep::pack(std::uint8_t* fill) {
    s_.current ^= 1;
    keys_ = s_.keys[s_.current].data();
    before_ = s_.keys[s_.current ^ 1].data();
    if (fill && bandCount_ > 1) {
        // The draws come one after another from the generator: while this
        // thread draws them, another packs every row.
        std::thread packer([this] { packRows(0, w_.rows(), 0); });
        w_.random.fillLowBytes(fill, w_.cellCount());
        packer.join();
    } else {
        if (fill) w_.random.fillLowBytes(fill, w_.cellCount());
        forBands(w_.rows(), bandCount_, [this](int first, int end, int b) { packRows(first, end, b); });
    }
    int bits = 0;
    for (const BandScratch& b : s_.bands) bits |= b.codeBits;
    if ((bits & ~7) != 0) return false;
    if (!fixed_) {
        wrapBorder(p_, keys_);
#if TALVANE_WIDE_STEP
        if (full_) {
            for (auto& plane : s_.planes) wrapBorder(p_, plane.data());
        }
#endif
    }
    return true;
}

void World::GenerationStep::score() {
    const std::array<double, 2 * kPairCount + 1> terms = termsOf(w_.payoffTable);
    const bool playSelf = w_.playSelf;
    const bool extraPoint = w_.extraPoint;
    wasValid_ = s_.valid;
    reuse_ = s_.valid && terms == s_.terms && playSelf == s_.playSelf && extraPoint == s_.extraPoint;
    const Offsets o = offsetsFor(p_, moore_);
    const ScoreRow scoreKind = scoreRowFor(moore_, fixed_);
#if TALVANE_WIDE_STEP
    ScoreRowNarrow narrowKind = nullptr;
    ScoreRowNarrowWide narrowWideKind = nullptr;
    // The 16-bit terms and their pieces as last made on this thread, and
    // what they were made from: a world's payoffs seldom change.
    thread_local struct {
        bool known = false;
        std::array<double, 2 * kPairCount + 1> from{};
        bool fits = false;
        WideTerms wide{};
    } made;
    if (!made.known || made.from != terms) {
        made.fits = narrowTermsOf(terms, made.wide.terms);
        if (made.fits) made.wide.pieces = piecesOf(made.wide.terms);
        made.from = terms;
        made.known = true;
    }
    const NarrowTerms& narrow = made.wide.terms;
    const WideTerms& wide = made.wide;
    if (detail::wideVectorsInUse() && made.fits) {
        if (detail::widestVectorsInUse()) {
            narrowKind = scoreRowNarrowFor(moore_, fixed_);
        } else {
            narrowWideKind = scoreRowNarrowWideFor(moore_, fixed_);
        }
    }
    // The choices then read the scores in 16 bits; a small world's rows of
    // 32 cells or more score from the planes of its cells.
    short_ = narrowWideKind != nullptr;
    const ScorePlanes planesKind = short_ && full_ && w_.cols() >= 32 ? scorePlanesFor(moore_, fixed_, extraPoint) : nullptr;
    const CellPlanes planes{s_.planes[0].data(), s_.planes[1].data(), s_.planes[2].data()};
#endif
    // The rows kept must have their padded scores in the copy the choices read.
    reuse_ = reuse_ && short_ == s_.scoredShort;
    const int cols = w_.cols();
    forBands(w_.rows(), bandCount_, [&](int first, int end, int b) {
        for (int r = first; r < end; ++r) {
            // A row with nothing changed near it keeps its scores.
            if (reuse_ && !changedNear(r, 1)) continue;
            double* own = w_.score.data() + w_.index(r, 0);
            double* padded = full_ ? s_.scores.data() + p_.at(r, 0) : nullptr;
#if TALVANE_WIDE_STEP
            if (narrowKind != nullptr) {
                narrowKind(keys_ + p_.at(r, 0), cols, o, narrow, playSelf, extraPoint, own, padded);
                continue;
            }
            if (planesKind != nullptr) {
                planesKind(planes, p_.at(r, 0), cols, o, wide, playSelf, own, s_.shortScores.data() + p_.at(r, 0));
                continue;
            }
            if (narrowWideKind != nullptr) {
                narrowWideKind(keys_ + p_.at(r, 0), cols, o, wide, playSelf, extraPoint, own, nullptr,
                               full_ ? s_.shortScores.data() + p_.at(r, 0) : nullptr);
                continue;
            }
#endif
            scoreKind(keys_ + p_.at(r, 0), cols, o, terms.data(), playSelf, extraPoint, band(b), own, padded);
        }
    });
    if (full_ && !fixed_) short_ ? wrapBorder(p_, s_.shortScores.data()) : wrapBorder(p_, s_.scores.data());
    s_.scoredShort = short_;
    s_.terms = terms;
    s_.playSelf = playSelf;
    s_.extraPoint = extraPoint;
    s_.valid = true;
}

void World::GenerationStep::choose(const std::uint8_t* draws) {
    // The counts of the rows skipped last step hold only while the keys
    // they were counted from are this step's keys before.
    if (!wasValid_) {
        std::fill(s_.rowSkipped.begin(), s_.rowSkipped.end(), std::uint8_t{0});
        s_.skippedCounts = {};
    }
    using ChooseRow = bool (*)(const Key*, const double*, int, const Offsets&, const std::uint8_t*, BandScratch&,
                               CellCode*, CellCode*);
    ChooseRow chooseKind = moore_ ? chooseRowOf<true> : chooseRowOf<false>;
#if TALVANE_WIDE_STEP
    if (detail::wideVectorsInUse()) chooseKind = moore_ ? chooseRowWide<true> : chooseRowWide<false>;
    if (detail::widestVectorsInUse()) chooseKind = moore_ ? chooseRowWidest<true> : chooseRowWidest<false>;
    const auto chooseShort = moore_ ? chooseRowShort<true> : chooseRowShort<false>;
#endif
    const Offsets o = offsetsFor(p_, moore_);
    const int cols = w_.cols();
    const Padded p = p_;
    const Key* const keys = keys_;
    const Key* const before = before_;
    const bool reuse = reuse_;
    std::uint8_t* const settled = s_.rowSettled.data();
    std::uint8_t* const skipped = s_.rowSkipped.data();
    CellCode* const selves = w_.selfStrategy.data();
    CellCode* const others = w_.otherStrategy.data();
    forBands(w_.rows(), bandCount_, [&](int first, int end, int b) {
        BandScratch& scratch = band(b);
        for (int r = first; r < end; ++r) {
            const Key* row = keys + p.at(r, 0);
            // A row that kept every pair last time, with nothing changed within
            // two rows since and no choice left to its draws, keeps them again.
            // Its pairs are counted once, when it is first skipped, and taken
            // away when it is chosen again (its keys are the same till then).
            if (reuse && settled[r] && !changedNear(r, 2)) {
                if (!skipped[r]) addPairs<1>(row, cols, scratch.skippedDelta);
                skipped[r] = 1;
                continue;
            }
            if (skipped[r]) addPairs<-1>(before + p.at(r, 0), cols, scratch.skippedDelta);
            skipped[r] = 0;
            const int cell = r * cols;
#if TALVANE_WIDE_STEP
            if (short_) {
                const std::int16_t* around =
                    full_ ? s_.shortScores.data() + p.at(r, 0) : scoresAround<std::int16_t>(scratch, r, end);
                settled[r] = chooseShort(row, around, cols, o, draws + cell, scratch, selves + cell, others + cell);
                continue;
            }
#endif
            const double* around = full_ ? s_.scores.data() + p.at(r, 0) : scoresAround<double>(scratch, r, end);
            settled[r] = chooseKind(row, around, cols, o, draws + cell, scratch, selves + cell, others + cell);
        }
    });
}

void World::GenerationStep::countPairs() {
    for (const BandScratch& b : s_.bands) {
        for (const auto& lane : b.skippedDelta) {
            for (int k = 0; k < kPairCount; ++k) s_.skippedCounts[k] += static_cast<std::uint32_t>(lane[k]);
        }
    }
    w_.pairCounts_ = s_.skippedCounts;
    for (const BandScratch& b : s_.bands) {
        for (const auto& lane : b.newCounts) {
            for (int k = 0; k < kPairCount; ++k) w_.pairCounts_[k] += static_cast<std::uint32_t>(lane[k]);
        }
    }
}

void World::stepWith(const std::uint8_t* draws, int threads, std::uint8_t* fill) {
    // The scores this step leaves are summed in its own order: a variant
    // rule that follows sums them again in its own.
    variant_.valid = false;
    GenerationStep step(*this, threads);
    if (step.pack(fill)) {
        step.score();
        step.choose(draws);
        step.countPairs();
    } else {
        // Codes that do not fit the packing: every cell by the per-cell rules.
        stepCellByCell(draws);
    }
    ++generation;
}

}  // namespace talvane
