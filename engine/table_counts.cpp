#include "table_counts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "cell_keys.h"
#include "wide_vectors.h"

#if TALVANE_SIMD && defined(TALVANE_WIDE_VECTORS)
// The AVX-512 passes, where the processor has it (and the vector code is built).
#define TALVANE_WIDEST_TABLE 1
#include <immintrin.h>
#endif

namespace talvane {

namespace {

using detail::Key;
using detail::kAbsent;
using detail::kColorBits;

// The counts are kept by edge, each edge between two cells once, counted
// from the cell it leaves to the right or downwards (the forward
// directions): an edge between cells of one colour by that colour and both
// cells' self strategies and whether they discriminate, one between colours
// by both colours and others strategies. Each edge stands for the two games
// across it, so that half as many are counted; the games' bins are worked
// out from the edges' at the end.
constexpr int kSameEdges = 0;           // colour * 256 + (self * 2 + discriminates) * 16 + the same of the other cell
constexpr int kOtherEdges = 2048;       // colour * 512 + others * 64 + the other cell's colour * 8 + its others
constexpr int kNoEdge = 6144;           // edges beyond a fixed edge
constexpr int kCellCounts = 6145;       // colour * 64 + self * 8 + others
constexpr int kItselfCounts = 6145 + 512;  // the same, for the games against itself
static_assert(kItselfCounts + 512 == TableCounts::kCounts);

// Where cell (r, c) lies in a padded grid of rows stride long (r and c from -1).
inline std::size_t paddedAt(int stride, int r, int c) {
    return static_cast<std::size_t>(r + 1) * static_cast<std::size_t>(stride) + static_cast<std::size_t>(c + 1);
}

// An edge's count is the cell `me`'s part or-ed with its neighbour `n`'s:
// between cells of one colour, sameSide(me) | the low byte of
// kNeighbourPart[n]; between colours, otherSide(me) | its high byte.
constexpr int discriminates(Key k) { return (((k >> 3) ^ k) & 7) != 0 ? 1 : 0; }
constexpr int sameSide(Key me) { return kSameEdges | (me & kColorBits) << 2 | (me & 0x38) << 2 | discriminates(me) << 4; }
constexpr int otherSide(Key me) { return kOtherEdges + ((me & kColorBits) << 3 | (me & 7) << 6); }
constexpr auto kNeighbourPart = [] {
    std::array<std::uint16_t, 512> parts{};
    for (int n = 0; n < 512; ++n) {
        const int same = (n & 0x38) >> 2 | discriminates(static_cast<Key>(n));
        const int other = (n & kColorBits) >> 3 | (n & 7);
        parts[static_cast<std::size_t>(n)] = static_cast<std::uint16_t>(same | other << 8);
    }
    return parts;
}();

// A bound on the relative rounding error of n additions or products in
// doubles, taken in any order: n u / (1 - n u), u = 2^-53.
double roundingBound(double n) {
    const double u = 0x1p-53;
    return n * u / (1.0 - n * u);
}

// True when every sum within bound of sum, divided by count, prints as sum does.
bool printsAlike(double sum, double bound, std::uint64_t count) {
    if (count == 0) return true;
    if (!std::isfinite(sum) || !std::isfinite(bound)) return false;  // the sign of a NaN or an infinity's sums is the table's to tell
    if (bound == 0.0) return true;
    const double n = static_cast<double>(count);
    char low[64], high[64];
    std::snprintf(low, sizeof low, "%.6f", (sum - bound) / n);
    std::snprintf(high, sizeof high, "%.6f", (sum + bound) / n);
    return std::strcmp(low, high) == 0;
}

#if TALVANE_WIDEST_TABLE
#if !defined(__clang__)
// GCC 12 takes the intrinsics' undefined starting values for uninitialised ones.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

// Packs a row as packCells does and compares it with the row before, 32
// cells at a time with AVX-512; returns the codes or-ed together. Sets
// `differs` when any cell changed, and, when `moved` is given, adds the
// changed cells' places (from `first`) to moved[count ...] while they fit
// in `most` (beyond, sets overflow and adds no more).
[[gnu::target("avx512f,avx512bw,avx512vl")]] unsigned packAndCompareWidest(
    const CellCode* color, const CellCode* self, const CellCode* other, Key* out, const Key* before, int cols,
    bool& differs, std::uint32_t* moved, std::uint32_t first, std::size_t& count, std::size_t most, bool& overflow) {
    __m256i bits = _mm256_setzero_si256();
    const __m256i low = _mm256_set1_epi8(7);
    const __m512i lanes16 = _mm512_set_epi32(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
    for (int c = 0; c < cols; c += 32) {
        const int left = cols - c;
        const __mmask32 lanes = left >= 32 ? ~__mmask32{0} : (__mmask32{1} << left) - 1;
        const __m256i colors = _mm256_maskz_loadu_epi8(lanes, color + c);
        const __m256i selves = _mm256_maskz_loadu_epi8(lanes, self + c);
        const __m256i others = _mm256_maskz_loadu_epi8(lanes, other + c);
        bits = _mm256_or_si256(bits, _mm256_or_si256(colors, _mm256_or_si256(selves, others)));
        const __m512i key = _mm512_or_si512(
            _mm512_slli_epi16(_mm512_cvtepu8_epi16(_mm256_and_si256(colors, low)), 6),
            _mm512_or_si512(_mm512_slli_epi16(_mm512_cvtepu8_epi16(_mm256_and_si256(selves, low)), 3),
                            _mm512_cvtepu8_epi16(_mm256_and_si256(others, low))));
        _mm512_mask_storeu_epi16(out + c, lanes, key);
        const __mmask32 changed = _mm512_mask_cmpneq_epi16_mask(lanes, key, _mm512_maskz_loadu_epi16(lanes, before + c));
        if (changed == 0) continue;  // the usual case
        differs = true;
        if (moved == nullptr || overflow) continue;
        const auto n = static_cast<std::size_t>(__builtin_popcount(changed));
        if (count + n > most) {
            overflow = true;
            continue;
        }
        const __m512i at = _mm512_add_epi32(lanes16, _mm512_set1_epi32(static_cast<int>(first) + c));
        const auto lowHalf = static_cast<__mmask16>(changed);
        const auto highHalf = static_cast<__mmask16>(changed >> 16);
        _mm512_mask_compressstoreu_epi32(moved + count, lowHalf, at);
        _mm512_mask_compressstoreu_epi32(moved + count + static_cast<std::size_t>(__builtin_popcount(lowHalf)),
                                         highHalf, _mm512_add_epi32(at, _mm512_set1_epi32(16)));
        count += n;
    }
    alignas(32) std::uint8_t lanesOf[32];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanesOf), bits);
    unsigned all = 0;
    for (const std::uint8_t b : lanesOf) all |= b;
    return all;
}

#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

// The cells' sums of shares kept from the rows summed in order, rows * cols
// of each kind (`cached`), with a flag for each block of 8 cells of each row
// whose sums of that kind must be found again (all of them when the kind's
// flags are null). Without it, each row's sums are found afresh in scratch.
struct ShareCache {
    bool cached = false;
    double* same = nullptr;
    double* other = nullptr;
    const std::uint8_t* dirtySame = nullptr;
    const std::uint8_t* dirtyOther = nullptr;
};

// Adds a row's cells' sums of shares into the groups, one after another as
// the table adds them.
template <bool kSame, bool kOther>
void addCellSums(const Key* row, std::size_t n, const double* same, const double* other, WorldStats& stats) {
    for (std::size_t c = 0; c < n; ++c) {
        GroupStats& group = stats[1 + static_cast<std::size_t>(row[c] >> 6 & 7)];
        if (kSame) {
            stats[0].coopSame += same[c];
            group.coopSame += same[c];
        }
        if (kOther) {
            stats[0].coopOther += other[c];
            group.coopOther += other[c];
        }
    }
}

// The sums of the cooperation shares as the table adds them cell by cell
// (row-major, each cell's games in its neighbours' order, then the game
// against itself), from the padded keys of a world whose codes all lie in
// 0 .. 7: each row's cells' own sums first, a pass down the row for each
// game, which the compiler does many cells at a time; then the cells' sums
// into the groups, one after another as the table adds them. A game of the
// other kind, or beyond a fixed edge, adds 0, which leaves a sum of shares
// (never below 0) as it was.
//
// With a cache (see ShareCache), the cells' sums are kept in it, and only
// those of the blocks marked dirty are summed again, cell by cell in the
// same order.
template <bool kMoore, bool kSame, bool kOther>
void shareSums(const Key* keys, int rows, int cols, bool playSelf, const CooperationTable& coop,
               std::vector<std::uint16_t>& indexScratch, std::vector<double>& sumScratch, const ShareCache& cache,
               WorldStats& stats) {
    constexpr int kGames = kMoore ? 8 : 4;
    constexpr std::uint16_t kNoShare = 64;
    const int stride = cols + 2;
    const int moore[8] = {-stride - 1, -stride, -stride + 1, -1, 1, stride - 1, stride, stride + 1};
    const int vonNeumann[4] = {-stride, -1, 1, stride};
    const int* offsets = kMoore ? moore : vonNeumann;
    std::array<double, 65> sameShare{}, otherShare{};
    for (int a = 0; a < kCodeCount; ++a) {
        for (int b = 0; b < kCodeCount; ++b) sameShare[static_cast<std::size_t>(a * 8 + b)] = coop[a][b];
    }
    otherShare = sameShare;
    const auto n = static_cast<std::size_t>(cols);
    indexScratch.resize(2 * kGames * n);
    sumScratch.resize(2 * n);
    std::uint16_t* const sameIndex = indexScratch.data();
    std::uint16_t* const otherIndex = sameIndex + kGames * n;
    double* const same = sumScratch.data();
    double* const other = same + n;
    const std::size_t blocks = (n + 7) / 8;
    for (int r = 0; r < rows; ++r) {
        const Key* row = keys + paddedAt(stride, r, 0);
        if (cache.cached) {
            double* const cachedSame = kSame ? cache.same + static_cast<std::size_t>(r) * n : nullptr;
            double* const cachedOther = kOther ? cache.other + static_cast<std::size_t>(r) * n : nullptr;
            const auto at = static_cast<std::size_t>(r) * blocks;
            for (std::size_t b = 0; b < blocks; ++b) {
                const bool again = (kSame && (!cache.dirtySame || cache.dirtySame[at + b])) ||
                                   (kOther && (!cache.dirtyOther || cache.dirtyOther[at + b]));
                if (!again) continue;
                for (std::size_t c = 8 * b; c < std::min(n, 8 * b + 8); ++c) {
                    const Key me = row[c];
                    double cellSame = 0.0, cellOther = 0.0;
                    for (int g = 0; g < kGames; ++g) {
                        const Key them = row[static_cast<std::ptrdiff_t>(c) + offsets[g]];
                        const bool absent = (them & kAbsent) != 0;
                        const bool alike = ((me ^ them) & kColorBits) == 0;
                        cellSame += sameShare[absent || !alike ? kNoShare : (me >> 3 & 7) * 8u + (them >> 3 & 7)];
                        cellOther += otherShare[absent || alike ? kNoShare : (me & 7) * 8u + (them & 7)];
                    }
                    if (playSelf) cellSame += sameShare[(me >> 3 & 7) * 9u];
                    if (kSame) cachedSame[c] = cellSame;
                    if (kOther) cachedOther[c] = cellOther;
                }
            }
            addCellSums<kSame, kOther>(row, n, cachedSame, cachedOther, stats);
            continue;
        }
        for (int g = 0; g < kGames; ++g) {
            const Key* opponent = row + offsets[g];
            for (std::size_t c = 0; c < n; ++c) {
                const Key me = row[c], them = opponent[c];
                const bool absent = (them & kAbsent) != 0;
                const bool alike = ((me ^ them) & kColorBits) == 0;
                if (kSame) {
                    const auto share = static_cast<std::uint16_t>((me >> 3 & 7) * 8 + (them >> 3 & 7));
                    sameIndex[g * n + c] = absent || !alike ? kNoShare : share;
                }
                if (kOther) {
                    const auto share = static_cast<std::uint16_t>((me & 7) * 8 + (them & 7));
                    otherIndex[g * n + c] = absent || alike ? kNoShare : share;
                }
            }
        }
        const auto sum = [n](const std::uint16_t* index, const std::array<double, 65>& shares, double* out) {
            for (std::size_t c = 0; c < n; ++c) {
                double cell = 0.0;
                for (int g = 0; g < kGames; ++g) cell += shares[index[g * n + c]];
                out[c] = cell;
            }
        };
        if (kSame) {
            sum(sameIndex, sameShare, same);
            // The game against itself, last.
            if (playSelf) {
                for (std::size_t c = 0; c < n; ++c) same[c] += sameShare[(row[c] >> 3 & 7) * 9u];
            }
        }
        if (kOther) sum(otherIndex, otherShare, other);
        addCellSums<kSame, kOther>(row, n, same, other, stats);
    }
}

#if TALVANE_WIDEST_TABLE
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

// shareSums with AVX-512: each row's cells' sums 8 cells at a time, each
// lane's games added in the same order; a game that does not count takes
// 0 instead of a share, which leaves its sum as it was.
template <bool kMoore, bool kSame, bool kOther>
[[gnu::target("avx512f,avx512bw,avx512vl")]] void shareSumsWidest(const Key* keys, int rows, int cols, bool playSelf,
                                                                  const CooperationTable& coop,
                                                                  std::vector<std::uint16_t>&,
                                                                  std::vector<double>& sumScratch,
                                                                  const ShareCache& cache, WorldStats& stats) {
    constexpr int kGames = kMoore ? 8 : 4;
    const int stride = cols + 2;
    const int moore[8] = {-stride - 1, -stride, -stride + 1, -1, 1, stride - 1, stride, stride + 1};
    const int vonNeumann[4] = {-stride, -1, 1, stride};
    const int* offsets = kMoore ? moore : vonNeumann;
    const double* const shares = coop[0].data();  // shares[own * 8 + theirs]
    const auto n = static_cast<std::size_t>(cols);
    sumScratch.resize(2 * n);
    double* const same = sumScratch.data();
    double* const other = same + n;
    const __m512i colorBits = _mm512_set1_epi64(kColorBits);
    const __m512i selfBits = _mm512_set1_epi64(0x38);
    const __m512i lowBits = _mm512_set1_epi64(7);
    const __m512i absent = _mm512_set1_epi64(kAbsent);
    const __m512d zero = _mm512_setzero_pd();
    // The sums start from the stats given, as shareSums adds to them.
    double wholeSame = stats[0].coopSame, wholeOther = stats[0].coopOther;
    alignas(64) double start[2][8];
    for (std::size_t k = 0; k < 8; ++k) {
        start[0][k] = stats[1 + k].coopSame;
        start[1][k] = stats[1 + k].coopOther;
    }
    __m512d groupSame = _mm512_load_pd(start[0]), groupOther = _mm512_load_pd(start[1]);
    // With a cache, the sums are kept in it, and found for the dirty blocks only.
    const bool cached = cache.cached;
    const std::size_t blocks = (n + 7) / 8;
    for (int r = 0; r < rows; ++r) {
        const Key* row = keys + paddedAt(stride, r, 0);
        double* const rowSame = cached && kSame ? cache.same + static_cast<std::size_t>(r) * n : same;
        double* const rowOther = cached && kOther ? cache.other + static_cast<std::size_t>(r) * n : other;
        const auto at = static_cast<std::size_t>(r) * blocks;
        for (int c = 0; c < cols; c += 8) {
            const auto b = at + static_cast<std::size_t>(c / 8);
            if (cached && !((kSame && (!cache.dirtySame || cache.dirtySame[b])) ||
                            (kOther && (!cache.dirtyOther || cache.dirtyOther[b])))) {
                continue;
            }
            const auto lanes = static_cast<__mmask8>(cols - c >= 8 ? 0xff : (1u << (cols - c)) - 1);
            const __m512i me = _mm512_cvtepu16_epi64(_mm_maskz_loadu_epi16(lanes, row + c));
            const __m512i mySelf = _mm512_and_si512(me, selfBits);
            const __m512i myOther = _mm512_slli_epi64(_mm512_and_si512(me, lowBits), 3);
            __m512d sumSame = zero, sumOther = zero;
            for (int g = 0; g < kGames; ++g) {
                const __m512i them = _mm512_cvtepu16_epi64(_mm_maskz_loadu_epi16(lanes, row + c + offsets[g]));
                const __mmask8 present = _mm512_mask_testn_epi64_mask(lanes, them, absent);
                const __mmask8 alike = _mm512_testn_epi64_mask(_mm512_xor_si512(me, them), colorBits);
                if (kSame) {
                    const __m512i index =
                        _mm512_or_si512(mySelf, _mm512_and_si512(_mm512_srli_epi64(them, 3), lowBits));
                    sumSame = _mm512_add_pd(sumSame, _mm512_mask_i64gather_pd(zero, present & alike, index, shares, 8));
                }
                if (kOther) {
                    const __m512i index = _mm512_or_si512(myOther, _mm512_and_si512(them, lowBits));
                    sumOther = _mm512_add_pd(
                        sumOther, _mm512_mask_i64gather_pd(zero, present & static_cast<__mmask8>(~alike), index, shares, 8));
                }
            }
            if (kSame && playSelf) {
                // The game against itself, last.
                const __m512i index = _mm512_or_si512(mySelf, _mm512_srli_epi64(mySelf, 3));
                sumSame = _mm512_add_pd(sumSame, _mm512_mask_i64gather_pd(zero, lanes, index, shares, 8));
            }
            if (kSame) _mm512_mask_storeu_pd(rowSame + c, lanes, sumSame);
            if (kOther) _mm512_mask_storeu_pd(rowOther + c, lanes, sumOther);
        }
        // Into the sums, cell after cell: the colours' sums in the lanes of
        // a vector, the cell's own lane alone taking its sum, so that the
        // next cell's need not wait for it to be stored and read back.
        for (std::size_t c = 0; c < n; ++c) {
            const auto lane = static_cast<__mmask8>(1u << (row[c] >> 6 & 7));
            if (kSame) {
                wholeSame += rowSame[c];
                groupSame = _mm512_mask_add_pd(groupSame, lane, groupSame, _mm512_set1_pd(rowSame[c]));
            }
            if (kOther) {
                wholeOther += rowOther[c];
                groupOther = _mm512_mask_add_pd(groupOther, lane, groupOther, _mm512_set1_pd(rowOther[c]));
            }
        }
    }
    alignas(64) double groups[2][8];
    _mm512_store_pd(groups[0], groupSame);
    _mm512_store_pd(groups[1], groupOther);
    stats[0].coopSame = wholeSame;
    stats[0].coopOther = wholeOther;
    for (std::size_t k = 0; k < 8; ++k) {
        stats[1 + k].coopSame = groups[0][k];
        stats[1 + k].coopOther = groups[1][k];
    }
}

#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

}  // namespace

template <int kSign>
void TableCounts::countRow(const std::uint16_t* keys, int cols) {
    const int stride = shape_.cols + 2;
    // The forward directions: right, then down-left, down and down-right.
    const int moore[4] = {1, stride - 1, stride, stride + 1};
    const int vonNeumann[2] = {1, stride};
    const bool isMoore = shape_.neighbourhood == Neighbourhood::Moore;
    const int* offsets = isMoore ? moore : vonNeumann;
    const int edges = isMoore ? 4 : 2;
    const int counts = edges + 1 + (playSelf_ ? 1 : 0);
    binOf_.resize(static_cast<std::size_t>(counts) * static_cast<std::size_t>(cols));
    // First every edge's place, a pass down the row for each direction,
    // which the compiler does many cells at a time; then the counts.
    std::uint16_t* binOf = binOf_.data();
    for (int g = 0; g < edges; ++g) {
        const Key* opponent = keys + offsets[g];
        std::uint16_t* out = binOf + static_cast<std::ptrdiff_t>(g) * cols;
        // The edge's count as sameSide and otherSide make it, in 16 bits
        // throughout, with or for +, so that eight cells fit a vector.
        for (int c = 0; c < cols; ++c) {
            const Key me = keys[c], n = opponent[c];
            const Key meDiscriminates = (((me >> 3) ^ me) & 7) != 0 ? Key{16} : Key{0};
            const Key nDiscriminates = (((n >> 3) ^ n) & 7) != 0 ? Key{1} : Key{0};
            const Key same = static_cast<Key>((me & kColorBits) << 2 | (me & 0x38) << 2 | meDiscriminates |
                                              (n & 0x38) >> 2 | nDiscriminates);
            const Key differ = static_cast<Key>(kOtherEdges | (me & kColorBits) << 3 | (me & 7) << 6 |
                                                (n & kColorBits) >> 3 | (n & 7));
            const Key edge = ((n ^ me) & kColorBits) == 0 ? same : differ;
            out[c] = (n & kAbsent) != 0 ? Key{kNoEdge} : edge;
        }
    }
    std::uint16_t* cells = binOf + static_cast<std::ptrdiff_t>(edges) * cols;
    for (int c = 0; c < cols; ++c) cells[c] = static_cast<std::uint16_t>(kCellCounts + (keys[c] & 0x1ff));
    if (playSelf_) {
        std::uint16_t* itself = cells + cols;
        for (int c = 0; c < cols; ++c) itself[c] = static_cast<std::uint16_t>(kItselfCounts + (keys[c] & 0x1ff));
    }
    // Neighbouring cells in turn count into four lanes, so that a stretch of
    // like cells does not make each count wait for the one before.
    const auto sign = static_cast<std::uint32_t>(kSign);
    const int all = counts * cols;
    int k = 0;
    for (; k + kLanes <= all; k += kLanes) {
        for (int l = 0; l < kLanes; ++l) lanes_[static_cast<std::size_t>(l)][binOf[k + l]] += sign;
    }
    for (; k < all; ++k) lanes_[0][binOf[k]] += sign;
}

void TableCounts::binsFromCounts(const std::uint32_t* counts) {
    bins_.fill(0);
    std::uint32_t* const bins = bins_.data();
    for (int color = 0; color < kCodeCount; ++color) {
        std::uint32_t* const mine = bins + static_cast<std::ptrdiff_t>(color) * kBins;
        // Each edge between two cells of the colour: a game of each against the other.
        for (int a = 0; a < 16; ++a) {
            for (int b = 0; b < 16; ++b) {
                const std::uint32_t edges = counts[kSameEdges + color * 256 + a * 16 + b];
                if (edges == 0) continue;
                mine[(a & 1) * 64 + (a >> 1) * 8 + (b >> 1)] += edges;
                mine[(b & 1) * 64 + (b >> 1) * 8 + (a >> 1)] += edges;
            }
        }
        // Each edge from a cell of the colour to one of another colour.
        for (int other = 0; other < kCodeCount; ++other) {
            for (int theirColor = 0; theirColor < kCodeCount; ++theirColor) {
                std::uint32_t* const theirs = bins + static_cast<std::ptrdiff_t>(theirColor) * kBins;
                for (int theirOther = 0; theirOther < kCodeCount; ++theirOther) {
                    const std::uint32_t edges =
                        counts[kOtherEdges + color * 512 + other * 64 + theirColor * 8 + theirOther];
                    if (edges == 0) continue;
                    mine[kOtherGames + other * 8 + theirOther] += edges;
                    theirs[kOtherGames + theirOther * 8 + other] += edges;
                }
            }
        }
        for (int pair = 0; pair < kPairCount; ++pair) {
            const int self = pair / kCodeCount, others = pair % kCodeCount;
            mine[kCells + pair] += counts[kCellCounts + color * 64 + pair];
            mine[(self != others ? 64 : 0) + self * 9] += counts[kItselfCounts + color * 64 + pair];
        }
    }
}

bool TableCounts::moveChangedCells(const Key* now, const Key* before) {
    const int rows = shape_.rows, cols = shape_.cols;
    const bool isMoore = shape_.neighbourhood == Neighbourhood::Moore;
    // Counting a row again takes it away and adds it back, a count for each
    // edge the row's cells leave, found many cells at a time; moving one
    // cell changes 2 counts for each of its edges, found one at a time, each
    // costing kCellCost of the others.
    std::int64_t rowCells = 0;
    for (int r = 0; r < rows; ++r) {
        const int down = r < rows - 1 ? r + 1 : 0;
        rowCells += changed_[static_cast<std::size_t>(r)] || changed_[static_cast<std::size_t>(down)];
    }
    rowCells = std::min<std::int64_t>(2 * rowCells, rows) * cols;
    const std::int64_t budget = rowCells / (2 * kCellCost);  // cells
    if (movedOverflow_ || static_cast<std::int64_t>(movedCount_) > budget) return false;
    if (shape_.edges == Edges::Wrap) {
        if (isMoore) moveCells<true, true>(now, before);
        else moveCells<false, true>(now, before);
    } else {
        if (isMoore) moveCells<true, false>(now, before);
        else moveCells<false, false>(now, before);
    }
    ++cellMoves_;
    return true;
}

bool TableCounts::collectChanged(const Key* now, const Key* before, std::size_t first, int cols, std::size_t most) {
    // How many bits of a 4-bit mask are set (a table: without a popcount
    // instruction in the target, std::popcount is a library call).
    static constexpr std::uint8_t kSetBits[16] = {0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4};
    // The places of the set bits of a 4-bit mask, lowest first.
    static constexpr std::uint8_t kPlaces[16][4] = {
        {0, 0, 0, 0}, {0, 0, 0, 0}, {1, 0, 0, 0}, {0, 1, 0, 0}, {2, 0, 0, 0}, {0, 2, 0, 0}, {1, 2, 0, 0}, {0, 1, 2, 0},
        {3, 0, 0, 0}, {0, 3, 0, 0}, {1, 3, 0, 0}, {0, 1, 3, 0}, {2, 3, 0, 0}, {0, 2, 3, 0}, {1, 2, 3, 0}, {0, 1, 2, 3}};
    const std::size_t end = first + static_cast<std::size_t>(cols);
    std::uint32_t* const out = moved_.data();
    std::size_t count = movedCount_;
    std::uint64_t any = 0;
    std::size_t i = first;
    for (; i + 4 <= end; i += 4) {
        std::uint64_t a, b;
        std::memcpy(&a, now + i, sizeof a);
        std::memcpy(&b, before + i, sizeof b);
        const std::uint64_t x = a ^ b;
        any |= x;
        if (x == 0) continue;  // the usual case
        // The top bit of each 16-bit lane that differs, then the four as a
        // mask; the cells are written without a branch on each.
        const std::uint64_t low = 0x7fff'7fff'7fff'7fffull;
        const std::uint64_t top = (((x & low) + low) | x) & ~low;
        const auto mask = static_cast<unsigned>((top >> 15 & 1) | (top >> 30 & 2) | (top >> 45 & 4) | (top >> 60 & 8));
        if (count + 4 > most) {
            movedOverflow_ = true;
            movedCount_ = count;
            return true;
        }
        const std::uint8_t* places = kPlaces[mask];
        for (int k = 0; k < 4; ++k) out[count + static_cast<std::size_t>(k)] = static_cast<std::uint32_t>(i + places[k]);
        count += kSetBits[mask];
    }
    for (; i < end; ++i) {
        if (now[i] == before[i]) continue;
        any = 1;
        if (count + 1 > most) {
            movedOverflow_ = true;
            movedCount_ = count;
            return true;
        }
        out[count++] = static_cast<std::uint32_t>(i);
    }
    movedCount_ = count;
    return any != 0;
}

template <bool kMoore, bool kWrap>
void TableCounts::moveCells(const Key* now, const Key* before) {
    const int stride = shape_.cols + 2;
    constexpr int kGames = kMoore ? 8 : 4;
    const int moore[8] = {-stride - 1, -stride, -stride + 1, -1, 1, stride - 1, stride, stride + 1};
    const int vonNeumann[4] = {-stride, -1, 1, stride};
    const int* offsets = kMoore ? moore : vonNeumann;
    // An edge stands for the games both ways across it, and the bins take
    // each count once for each way: an edge may be counted from either of
    // its cells. A moved cell's edges are counted from it, its part of the
    // count worked out once, the neighbour's once for the two moves.
    // Every edge of a changed cell goes from the kinds of the two cells in
    // `before` to their kinds in `now`. An edge between two changed cells is
    // moved once, from the cell it leaves forwards, so that the cells can be
    // moved in any order, and `before` stays as it was.
    const std::size_t moves = movedCount_;
    for (std::size_t k = 0; k < moves; ++k) {
        const std::uint32_t i = moved_[k];
        if (k + 8 < moves) {
            // The rows around the cells to come, which lie beyond the caches of a large world.
            const std::uint32_t ahead = moved_[k + 8];
            __builtin_prefetch(before + ahead - stride);
            __builtin_prefetch(before + ahead + stride);
            __builtin_prefetch(now + ahead - stride);
            __builtin_prefetch(now + ahead + stride);
        }
        const Key from = before[i], to = now[i];
        const int fromSame = sameSide(from), fromOther = otherSide(from);
        const int toSame = sameSide(to), toOther = otherSide(to);
#pragma GCC unroll 8
        for (int g = 0; g < kGames; ++g) {
            const std::uint32_t at = i + static_cast<std::uint32_t>(offsets[g]);
            const Key was = before[at], is = now[at];
            if constexpr (!kWrap) {
                if ((was & kAbsent) != 0) continue;  // no edge; the edge beyond keeps its count
            }
            // The first half of the directions go backwards.
            const auto weight = static_cast<std::uint32_t>(g >= kGames / 2 || was == is);
            const int wasPart = kNeighbourPart[was & 0x1ff], isPart = kNeighbourPart[is & 0x1ff];
            const int wasEdge = ((was ^ from) & kColorBits) == 0 ? fromSame | (wasPart & 0xff) : fromOther | wasPart >> 8;
            const int isEdge = ((is ^ to) & kColorBits) == 0 ? toSame | (isPart & 0xff) : toOther | isPart >> 8;
            // Most edges of a settling world are of a few kinds: the moves
            // go round the lanes, so that each waits less often for the one
            // before to have written the same count.
            lanes_[static_cast<std::size_t>(g % kLanes)][wasEdge] -= weight;
            lanes_[static_cast<std::size_t>((g + 1) % kLanes)][isEdge] += weight;
        }
        --lanes_[0][kCellCounts + (from & 0x1ff)];
        ++lanes_[1][kCellCounts + (to & 0x1ff)];
        if (playSelf_) {
            --lanes_[2][kItselfCounts + (from & 0x1ff)];
            ++lanes_[3][kItselfCounts + (to & 0x1ff)];
        }
    }
}

void TableCounts::markChangedBlocks(KeptShares& kept, const Key* now) {
    const int rows = shape_.rows, cols = shape_.cols;
    const int stride = cols + 2;
    const Key* const before = kept.keys.data();
    const auto padded = static_cast<std::size_t>(rows + 2) * static_cast<std::size_t>(stride);
    // Which padded places changed (the borders too: they are the wrapped
    // neighbours), then which changed within a row of each place.
    std::vector<std::uint8_t>& changed = changedPlaces_;
    changed.resize(padded);
    {
        // Restricted, or the byte stores could change the keys, and the
        // loop would go a place at a time.
        const Key* __restrict is = now;
        const Key* __restrict was = before;
        std::uint8_t* __restrict out = changed.data();
        for (std::size_t p = 0; p < padded; ++p) out[p] = is[p] != was[p];
    }
    const auto blocks = static_cast<std::size_t>((cols + 7) / 8);
    kept.dirty.assign(static_cast<std::size_t>(rows) * blocks, 0);
    // Room past the last column, for the 8-byte reads below.
    std::vector<std::uint8_t> near(static_cast<std::size_t>(stride) + 16, 0);
    for (int r = 0; r < rows; ++r) {
        const std::uint8_t* above = changed.data() + paddedAt(stride, r - 1, -1);
        const std::uint8_t* here = above + stride;
        const std::uint8_t* below = here + stride;
        std::uint8_t any = 0;
        for (int c = 0; c < stride; ++c) {
            near[static_cast<std::size_t>(c)] = above[c] | here[c] | below[c];
            any |= near[static_cast<std::size_t>(c)];
        }
        if (any == 0) continue;
        // A cell's sums read its neighbours, at most one column either side:
        // block b's cells 8b .. 8b + 7 lie at padded columns 8b + 1 on.
        std::uint8_t* const dirty = kept.dirty.data() + static_cast<std::size_t>(r) * blocks;
        for (std::size_t b = 0; b < blocks; ++b) {
            // Padded columns 8b .. 8b + 9 (beyond the last, zeros).
            std::uint64_t eight;
            std::uint16_t two;
            std::memcpy(&eight, near.data() + 8 * b, sizeof eight);
            std::memcpy(&two, near.data() + 8 * b + 8, sizeof two);
            dirty[b] = (eight | two) != 0;
        }
    }
}

bool TableCounts::count(const World& world) {
    const int rows = world.rows(), cols = world.cols();
    const int stride = cols + 2;
    const auto size = static_cast<std::size_t>(rows + 2) * static_cast<std::size_t>(stride);
    if (!(world.shape() == shape_) || world.playSelf != playSelf_ || keys_[0].size() != size) {
        for (auto& keys : keys_) keys.assign(size, kAbsent);
        changed_.assign(static_cast<std::size_t>(rows), 1);
        shape_ = world.shape();
        playSelf_ = world.playSelf;
        valid_ = false;
    }
    const auto at = [stride](int r, int c) { return paddedAt(stride, r, c); };
    Key* now = keys_[current_ ^ 1].data();
    Key* before = keys_[current_].data();
    int bits = 0;
    unchanged_ = false;
    movedCount_ = 0;
    movedOverflow_ = false;
    const std::size_t most = static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols) / (2 * kCellCost) + 4;
    if (moved_.size() < most) moved_.resize(most);
#if TALVANE_WIDEST_TABLE
    if (detail::widestVectorsInUse()) {
        for (int r = 0; r < rows; ++r) {
            const auto first = static_cast<std::size_t>(world.index(r, 0));
            bool differs = false;
            bits |= static_cast<int>(packAndCompareWidest(
                world.cellColor.data() + first, world.selfStrategy.data() + first, world.otherStrategy.data() + first,
                now + at(r, 0), before + at(r, 0), cols, differs, valid_ ? moved_.data() : nullptr,
                static_cast<std::uint32_t>(at(r, 0)), movedCount_, most, movedOverflow_));
            changed_[static_cast<std::size_t>(r)] = differs;
        }
    } else
#endif
    for (int r = 0; r < rows; ++r) {
        Key* row = now + at(r, 0);
        const auto first = static_cast<std::size_t>(world.index(r, 0));
        bits |= detail::packCells(world.cellColor.data() + first, world.selfStrategy.data() + first,
                        world.otherStrategy.data() + first, row, cols);
        // While the row is at hand: the cells that changed, for the counts
        // to follow, up to as many as could ever be worth following.
        // The library's comparison first: most rows of most worlds are as they were.
        const bool differs = std::memcmp(row, before + at(r, 0), static_cast<std::size_t>(cols) * sizeof(Key)) != 0;
        changed_[static_cast<std::size_t>(r)] = differs && (!valid_ || collectChanged(now, before, at(r, 0), cols, most));
    }
    if ((bits & ~7) != 0) {
        valid_ = false;
        return false;
    }
    // Nothing changed since the last row: its counts and bins stand. The
    // world stays in before, borders and all; now is scratch again.
    unchanged_ = valid_ && std::find(changed_.begin(), changed_.end(), std::uint8_t{1}) == changed_.end();
    if (unchanged_) return true;
    const bool wrap = shape_.edges == Edges::Wrap;
    if (wrap) {
        for (int r = 0; r < rows; ++r) {
            now[at(r, -1)] = now[at(r, cols - 1)];
            now[at(r, cols)] = now[at(r, 0)];
        }
        std::memcpy(now + at(-1, -1), now + at(rows - 1, -1), static_cast<std::size_t>(stride) * sizeof(Key));
        std::memcpy(now + at(rows, -1), now + at(0, -1), static_cast<std::size_t>(stride) * sizeof(Key));
    }
    // A row's edges reach one row down: a row is counted again when it or
    // the row below changed.
    std::vector<int> again;
    if (valid_ && moveChangedCells(now, before)) {
        // The counts followed each changed cell instead.
    } else if (valid_) {
        for (int r = 0; r < rows; ++r) {
            const int down = r < rows - 1 ? r + 1 : (wrap ? 0 : r);
            if (changed_[static_cast<std::size_t>(r)] || changed_[static_cast<std::size_t>(down)]) again.push_back(r);
        }
    }
    if (!valid_ || 2 * static_cast<int>(again.size()) > rows) {
        // Most rows changed: counting them afresh costs half as much.
        for (auto& lane : lanes_) lane.fill(0);
        for (int r = 0; r < rows; ++r) countRow<1>(now + at(r, 0), cols);
    } else {
        for (int r : again) {
            countRow<-1>(before + at(r, 0), cols);
            countRow<1>(now + at(r, 0), cols);
        }
    }
    std::array<std::uint32_t, kCounts> counts;
    for (std::size_t b = 0; b < counts.size(); ++b) {
        std::uint32_t sum = 0;
        for (const auto& lane : lanes_) sum += lane[b];
        counts[b] = sum;
    }
    binsFromCounts(counts.data());
    current_ ^= 1;
    valid_ = true;
    return true;
}

std::string TableCounts::row(const World& world, const CooperationTable& coop, std::int64_t generation,
                             const std::vector<int>& colors) {
    if (!count(world)) {
        last_.valid = false;
        ++summedRows_;
        return statsRow(generation, computeWorldStats(world, coop), colors);
    }
    // Compared by their bytes: a payoff of -0 prints unlike one of 0.
    const auto sameBytes = [](const auto& a, const auto& b) { return std::memcmp(&a, &b, sizeof a) == 0; };
    if (unchanged_ && last_.valid && sameBytes(world.payoffTable, last_.payoffs) && sameBytes(coop, last_.coop) &&
        world.extraPoint == last_.extraPoint && colors == last_.colors) {
        if (last_.kind == LastRow::Kind::Counted) ++countedRows_;
        if (last_.kind != LastRow::Kind::Counted) ++summedRows_;
        if (last_.kind == LastRow::Kind::SharesSummed) ++sharesSummedRows_;
        return std::to_string(generation) + last_.fields;
    }
    const std::uint64_t counted = countedRows_, shares = sharesSummedRows_;
    std::string text = rowFromBins(world, coop, generation, colors);
    last_.valid = true;
    last_.fields = text.substr(text.find(','));
    last_.payoffs = world.payoffTable;
    last_.coop = coop;
    last_.extraPoint = world.extraPoint;
    last_.colors = colors;
    last_.kind = countedRows_ != counted   ? LastRow::Kind::Counted
                 : sharesSummedRows_ != shares ? LastRow::Kind::SharesSummed
                                               : LastRow::Kind::Summed;
    return text;
}

std::string TableCounts::rowFromBins(const World& world, const CooperationTable& coop, std::int64_t generation,
                                     const std::vector<int>& colors) {
    const PayoffTable& table = world.payoffTable;
    WorldStats stats{};
    // Per group: the sums of the magnitudes of what the decimal sums add,
    // which bound their rounding errors, and whether the scores are whole.
    std::array<double, kCodeCount + 1> scoreSize{}, sameSize{}, otherSize{};
    std::array<bool, kCodeCount + 1> wholeScores{};
    wholeScores.fill(true);
    for (int color = 0; color < kCodeCount; ++color) {
        const std::uint32_t* bins = bins_.data() + static_cast<std::ptrdiff_t>(color) * kBins;
        const auto g = static_cast<std::size_t>(1 + color);
        GroupStats& group = stats[g];
        const auto add = [&](std::uint32_t games, double term, double share, bool same) {
            if (games == 0) return;
            const double n = static_cast<double>(games);
            group.scoreSum += n * term;
            scoreSize[g] += n * std::fabs(term);
            wholeScores[g] = wholeScores[g] && term == std::trunc(term);
            (same ? group.coopSame : group.coopOther) += n * share;
            (same ? sameSize[g] : otherSize[g]) += n * std::fabs(share);
            (same ? group.gamesSame : group.gamesOther) += games;
        };
        for (int self = 0; self < kCodeCount; ++self) {
            for (int code = 0; code < kCodeCount; ++code) {
                const double share = coop[self][code];
                const double term = table[self][code];
                add(bins[self * 8 + code], term, share, true);
                // Only a cell that discriminates earns the extra point, as its score does.
                add(bins[64 + self * 8 + code], world.extraPoint ? term + 1.0 : term, share, true);
                add(bins[kOtherGames + self * 8 + code], term, share, false);
            }
        }
        for (int pair = 0; pair < kPairCount; ++pair) {
            const std::uint32_t cells = bins[kCells + pair];
            group.cells += cells;
            group.self[static_cast<std::size_t>(pair / kCodeCount)] += cells;
            group.other[static_cast<std::size_t>(pair % kCodeCount)] += cells;
            if (pair / kCodeCount != pair % kCodeCount) group.discriminating += cells;
        }
        GroupStats& whole = stats[0];
        addCounts(whole, group);
        whole.scoreSum += group.scoreSum;
        whole.coopSame += group.coopSame;
        whole.coopOther += group.coopOther;
        scoreSize[0] += scoreSize[g];
        sameSize[0] += sameSize[g];
        otherSize[0] += otherSize[g];
        wholeScores[0] = wholeScores[0] && wholeScores[g];
    }
    // The table adds cell by cell, each cell's (at most nine) games first;
    // here the products and their sums round too. Doubled for the rounding
    // of the bounds themselves.
    const double error = 2.0 * (roundingBound(static_cast<double>(world.cellCount()) + 16.0) + roundingBound(1024.0));
    std::vector<int> groups{0};
    for (int color : colors) groups.push_back(1 + color);
    bool scoresAlike = true, sameAlike = true, otherAlike = true;
    for (int g : groups) {
        const GroupStats& group = stats[static_cast<std::size_t>(g)];
        // Whole scores add up exactly in any order while the sums stay below 2^53.
        const double scoreError = wholeScores[static_cast<std::size_t>(g)] && scoreSize[static_cast<std::size_t>(g)] < 0x1p52
                                      ? 0.0
                                      : error * scoreSize[static_cast<std::size_t>(g)];
        scoresAlike = scoresAlike && printsAlike(group.scoreSum, scoreError, group.cells);
        sameAlike = sameAlike && printsAlike(group.coopSame, error * sameSize[static_cast<std::size_t>(g)], group.gamesSame);
        otherAlike = otherAlike &&
                     printsAlike(group.coopOther, error * otherSize[static_cast<std::size_t>(g)], group.gamesOther);
    }
    if (!scoresAlike) {
        ++summedRows_;
        return statsRow(generation, computeWorldStats(world, coop), colors);
    }
    if (!sameAlike || !otherAlike) {
        // Only the cooperation shares are near a tie (the usual case: the
        // finite match's shares are multiples of 1/200, whose means often
        // lie exactly on a tie of the sixth decimal): they are summed cell
        // by cell as the table sums them, without scoring the world again;
        // the scores print the same from the counts. Only the kind of
        // share that needs it is summed: rarely do both.
        WorldStats summed{};
        const Key* keys = keys_[current_].data();
        const bool moore = shape_.neighbourhood == Neighbourhood::Moore;
        using Sums = void (*)(const Key*, int, int, bool, const CooperationTable&, std::vector<std::uint16_t>&,
                              std::vector<double>&, const ShareCache&, WorldStats&);
        static constexpr Sums kSums[2][3] = {
            {shareSums<false, true, true>, shareSums<false, true, false>, shareSums<false, false, true>},
            {shareSums<true, true, true>, shareSums<true, true, false>, shareSums<true, false, true>}};
        const int which = !sameAlike && !otherAlike ? 0 : !sameAlike ? 1 : 2;
        Sums sums = kSums[moore ? 1 : 0][which];
#if TALVANE_WIDEST_TABLE
        static constexpr Sums kWidest[2][3] = {
            {shareSumsWidest<false, true, true>, shareSumsWidest<false, true, false>, shareSumsWidest<false, false, true>},
            {shareSumsWidest<true, true, true>, shareSumsWidest<true, true, false>, shareSumsWidest<true, false, true>}};
        if (detail::widestVectorsInUse()) sums = kWidest[moore ? 1 : 0][which];
#endif
        // Worlds up to kMostCachedCells keep their cells' sums of each kind
        // between such rows: only the cells within one cell of a change since
        // that kind was last summed are summed again.
        ShareCache cache;
        const auto cells = static_cast<std::size_t>(shape_.rows) * static_cast<std::size_t>(shape_.cols);
        const std::vector<Key>& padded = keys_[current_];
        if (cells <= kMostCachedCells) {
            cache.cached = true;
            for (const bool ofSame : {true, false}) {
                if (ofSame ? sameAlike : otherAlike) continue;  // not summed this time
                KeptShares& kept = ofSame ? keptSame_ : keptOther_;
                const bool stands = kept.valid && kept.keys.size() == padded.size() && kept.shape == shape_ &&
                                    kept.playSelf == playSelf_ && std::memcmp(&kept.coop, &coop, sizeof coop) == 0;
                const std::uint8_t* dirty = nullptr;
                if (stands) {
                    markChangedBlocks(kept, padded.data());
                    dirty = kept.dirty.data();
                } else {
                    kept.sums.resize(cells);
                }
                (ofSame ? cache.same : cache.other) = kept.sums.data();
                (ofSame ? cache.dirtySame : cache.dirtyOther) = dirty;
            }
        }
        sums(keys, shape_.rows, shape_.cols, playSelf_, coop, binOf_, shareSums_, cache, summed);
        if (cache.cached) {
            for (const bool ofSame : {true, false}) {
                if (ofSame ? sameAlike : otherAlike) continue;
                KeptShares& kept = ofSame ? keptSame_ : keptOther_;
                kept.keys = padded;
                kept.shape = shape_;
                kept.playSelf = playSelf_;
                kept.coop = coop;
                kept.valid = true;
            }
        }
        for (std::size_t g = 0; g < stats.size(); ++g) {
            if (!sameAlike) stats[g].coopSame = summed[g].coopSame;
            if (!otherAlike) stats[g].coopOther = summed[g].coopOther;
        }
        ++summedRows_;
        ++sharesSummedRows_;
        return statsRow(generation, stats, colors);
    }
    ++countedRows_;
    return statsRow(generation, stats, colors);
}

}  // namespace talvane
