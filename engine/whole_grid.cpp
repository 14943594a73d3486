#include "whole_grid.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace talvane::detail {

namespace {

// A padded row holds column 63, columns 0 to 63, then column 0, so that the
// left and right neighbours of column c sit at c and c + 2.
constexpr int kPadded = kGridSize + 2;

template <typename T>
using PaddedRows = std::array<std::array<T, kPadded>, kGridSize>;

PaddedRows<std::int32_t> paddedColor;
PaddedRows<std::int32_t> paddedSelf;
PaddedRows<std::int32_t> paddedOther;
PaddedRows<double> paddedScore;

template <typename T>
void padRows(const Grid<T>& grid, PaddedRows<T>& out) {
    for (int r = 0; r < kGridSize; ++r) {
        const T* row = grid.data() + r * kGridSize;
        out[r][0] = row[kGridSize - 1];
        std::memcpy(out[r].data() + 1, row, kGridSize * sizeof(T));
        out[r][kPadded - 1] = row[0];
    }
}

enum RowOf { kUp = 0, kSame = 1, kDown = 2 };

struct Offset {
    int row;    // kUp, kSame or kDown
    int shift;  // column offset -1, 0 or +1
};

// The eight games in the order their terms are summed: game 8 first, game 1 last.
constexpr Offset kGamesLastFirst[8] = {
    {kDown, +1}, {kUp, +1}, {kDown, -1}, {kUp, -1}, {kDown, 0}, {kUp, 0}, {kSame, +1}, {kSame, -1},
};

// The nine imitation candidates in scan order; the cell itself is last.
constexpr Offset kCandidates[9] = {
    {kUp, -1}, {kDown, -1}, {kUp, +1}, {kDown, +1}, {kUp, 0}, {kSame, -1}, {kDown, 0}, {kSame, +1}, {kSame, 0},
};

struct RowTriple {
    int index[3];  // prevRow[r], r, nextRow[r]
};

RowTriple rowsAround(int r) { return {{sim.prevRow[r], r, sim.nextRow[r]}}; }

// The payoff table flattened, entry a * 8 + b, followed by the same entries
// plus the extra point for same-colour games.
constexpr int kBonusOffset = kCodeCount * kCodeCount;

struct FlatTables {
    double entries[2 * kBonusOffset];
    const double* plain() const { return entries; }
    const double* withBonus() const { return entries + kBonusOffset; }
};

// The opponents of row r in the order their games are summed.
struct Opponents {
    const std::int32_t* color[8];
    const std::int32_t* self[8];
    const std::int32_t* other[8];
};

Opponents opponentsOfRow(int r) {
    const RowTriple rows = rowsAround(r);
    Opponents out{};
    for (int g = 0; g < 8; ++g) {
        const int row = rows.index[kGamesLastFirst[g].row];
        const int first = 1 + kGamesLastFirst[g].shift;
        out.color[g] = paddedColor[row].data() + first;
        out.self[g] = paddedSelf[row].data() + first;
        out.other[g] = paddedOther[row].data() + first;
    }
    return out;
}

// Scores the cells of row r whose bits are set in which, into out.
void scoreCells(int r, std::uint64_t which, const FlatTables& tables, bool playSelf, bool extraPoint, double* out) {
    const std::int32_t* colorA = paddedColor[r].data() + 1;
    const std::int32_t* selfA = paddedSelf[r].data() + 1;
    const std::int32_t* otherA = paddedOther[r].data() + 1;
    const Opponents b = opponentsOfRow(r);
    for (; which != 0; which &= which - 1) {
        const int c = std::countr_zero(which);
        const std::int32_t color = colorA[c];
        // Only a cell that treats its own colour differently earns the extra point.
        const bool bonus = extraPoint && selfA[c] != otherA[c];
        const double* sameRow = (bonus ? tables.withBonus() : tables.plain()) + selfA[c] * kCodeCount;
        const double* otherRow = tables.plain() + otherA[c] * kCodeCount;
        double sum = 0.0;
#pragma GCC unroll 8
        for (int g = 0; g < 8; ++g) {
            sum += b.color[g][c] == color ? sameRow[b.self[g][c]] : otherRow[b.other[g][c]];
        }
        out[c] = sum + (playSelf ? sameRow[selfA[c]] : 0.0);
    }
}

// Bit k (0 to 7) set: neighbour candidate k reaches the best of the nine
// scores; bit 8 set: the cell keeps its own pair, because it scores the best
// itself or because every score is below zero and the scan takes nobody.
constexpr std::uint32_t kKeepOwn = 1u << 8;

#if defined(__SSE2__)

// The marks of columns c and c + 1, two lanes at a time.
void markPair(const double* up, const double* same, const double* down, int c, std::uint32_t* marks) {
    // Padded rows: column c - 1 at c, column c at c + 1, column c + 1 at c + 2.
    const __m128d s[9] = {
        _mm_loadu_pd(up + c),     _mm_loadu_pd(down + c),     _mm_loadu_pd(up + c + 2),
        _mm_loadu_pd(down + c + 2), _mm_loadu_pd(up + c + 1), _mm_loadu_pd(same + c),
        _mm_loadu_pd(down + c + 1), _mm_loadu_pd(same + c + 2), _mm_loadu_pd(same + c + 1),
    };
    const __m128d best = _mm_max_pd(_mm_max_pd(_mm_max_pd(_mm_max_pd(s[0], s[1]), _mm_max_pd(s[2], s[3])),
                                               _mm_max_pd(_mm_max_pd(s[4], s[5]), _mm_max_pd(s[6], s[7]))),
                                    s[8]);
    const __m128d keep = _mm_or_pd(_mm_cmpeq_pd(s[8], best), _mm_cmplt_pd(best, _mm_setzero_pd()));
    __m128i bits = _mm_and_si128(_mm_castpd_si128(keep), _mm_set1_epi64x(kKeepOwn));
#pragma GCC unroll 8
    for (int k = 0; k < 8; ++k) {
        const __m128i atBest = _mm_castpd_si128(_mm_cmpeq_pd(s[k], best));
        bits = _mm_or_si128(bits, _mm_and_si128(atBest, _mm_set1_epi64x(1ll << k)));
    }
    marks[c] = static_cast<std::uint32_t>(_mm_cvtsi128_si32(bits));
    marks[c + 1] = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(bits, 8)));
}

#else

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

#endif

// The candidate the scan from start takes: of the best neighbours, the scan
// reaches last the highest index below start if there is one, else the
// highest of all.
int chosenCandidate(std::uint32_t marks, std::uint32_t start) {
    const std::uint32_t atBest = marks & 0xffu;
    const std::uint32_t below = atBest & ((1u << start) - 1u);
    const std::uint32_t pool = (below != 0 ? below : atBest) | 1u;
    const int neighbour = std::bit_width(pool) - 1;
    // Whether the cell keeps its own pair is a coin toss for the branch
    // predictor in a busy world: select without a branch.
    const int keepMask = -static_cast<int>((marks >> 8) & 1u);
    return neighbour ^ ((neighbour ^ 8) & keepMask);
}

void chooseRow(int r, std::uint64_t uniform, const std::uint32_t* draws, StrategyCode* nextSelf,
               StrategyCode* nextOther) {
    const RowTriple rows = rowsAround(r);
    const std::int32_t* candidateSelf[9];
    const std::int32_t* candidateOther[9];
    for (int k = 0; k < 9; ++k) {
        const int row = rows.index[kCandidates[k].row];
        candidateSelf[k] = paddedSelf[row].data() + 1 + kCandidates[k].shift;
        candidateOther[k] = paddedOther[row].data() + 1 + kCandidates[k].shift;
    }
    // Cells whose block holds one pair keep it; the others are chosen from their marks.
    std::memcpy(nextSelf, candidateSelf[8], kGridSize * sizeof(StrategyCode));
    std::memcpy(nextOther, candidateOther[8], kGridSize * sizeof(StrategyCode));
    std::uint32_t marks[kGridSize];
    const double* up = paddedScore[rows.index[kUp]].data();
    const double* same = paddedScore[r].data();
    const double* down = paddedScore[rows.index[kDown]].data();
    for (int c = 0; c < kGridSize; c += 2) {
        if (((uniform >> c) & 3u) != 3u) markPair(up, same, down, c, marks);
    }
    for (std::uint64_t open = ~uniform; open != 0; open &= open - 1) {
        const int c = std::countr_zero(open);
        const int k = chosenCandidate(marks[c], draws[c] % 8);
        nextSelf[c] = candidateSelf[k][c];
        nextOther[c] = candidateOther[k][c];
    }
}

// --- Change tracking between steps ---
//
// A cell's score depends only on the colours and strategies of its 3 x 3
// block, the payoff table and the two scoring options. The scoring pass keeps
// what it last computed from and rescores only the cells whose block changed
// since; everything is compared afresh at every step, so changes made between
// steps (painting, seeding, a restart, the Payoffs dialog) are always seen.

constexpr std::uint64_t kAllColumns = ~std::uint64_t{0};

// A cell in one number: colour * 64 + self * 8 + others, for codes 0 to 7.
Grid<std::uint16_t> cellKey;
Grid<std::uint16_t> lastKey;   // the keys when the scores were last computed
Grid<double> lastScore;        // the scores computed then
struct ScoringInputs {
    FlatTables tables;
    bool playSelf;
    bool extraPoint;
};
ScoringInputs lastInputs{};
bool lastScoresValid = false;
constexpr std::uint16_t kPairBits = 63;  // the strategy pair inside a key

// Fills cellKey; false when some colour is outside 0 to 7, where keys could collide.
bool buildKeys() {
    std::int32_t outOfRange = 0;
    for (int i = 0; i < kCellCount; ++i) {
        const std::int32_t color = sim.cellColor[i];
        outOfRange |= color & ~7;
        cellKey[i] = static_cast<std::uint16_t>((color & 7) << 6 | sim.selfStrategy[i] << 3 | sim.otherStrategy[i]);
    }
    return outOfRange == 0;
}

// Bit c set when (a[c] & bits) == (b[c] & bits), for c = 0 to 63.
std::uint64_t equalMask(const std::uint16_t* a, const std::uint16_t* b, std::uint16_t bits) {
    std::uint64_t mask = 0;
#if defined(__SSE2__)
    const __m128i keep = _mm_set1_epi16(static_cast<short>(bits));
    const auto load = [&](const std::uint16_t* p) {
        return _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), keep);
    };
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

const std::uint16_t* keyRow(const Grid<std::uint16_t>& keys, int r) { return keys.data() + r * kGridSize; }

bool sameInputs(const ScoringInputs& a, const ScoringInputs& b) {
    return a.playSelf == b.playSelf && a.extraPoint == b.extraPoint &&
           std::memcmp(a.tables.entries, b.tables.entries, sizeof a.tables.entries) == 0;
}

// Per row, the cells whose score may differ from lastScore.
void cellsToScore(bool reuseAllowed, std::uint64_t (&toScore)[kGridSize]) {
    if (!reuseAllowed) {
        for (auto& row : toScore) row = kAllColumns;
        return;
    }
    std::uint64_t changed[kGridSize];
    for (int r = 0; r < kGridSize; ++r) {
        changed[r] = ~equalMask(keyRow(cellKey, r), keyRow(lastKey, r), 0xffff);
    }
    for (int r = 0; r < kGridSize; ++r) {
        toScore[r] = widen(changed[sim.prevRow[r]]) | widen(changed[r]) | widen(changed[sim.nextRow[r]]);
    }
}

// Per row, the cells whose nine candidates all hold one pair: whatever the
// scores, such a cell keeps that pair.
void uniformBlocks(std::uint64_t (&uniform)[kGridSize]) {
    std::uint64_t sameAsRight[kGridSize];  // bit c: pair (r, c) equals pair (r, c + 1)
    std::uint64_t sameAsBelow[kGridSize];  // bit c: pair (r, c) equals pair (r + 1, c)
    for (int r = 0; r < kGridSize; ++r) {
        std::uint16_t shifted[kGridSize];
        std::memcpy(shifted, keyRow(cellKey, r) + 1, (kGridSize - 1) * sizeof(std::uint16_t));
        shifted[kGridSize - 1] = keyRow(cellKey, r)[0];
        sameAsRight[r] = equalMask(keyRow(cellKey, r), shifted, kPairBits);
        sameAsBelow[r] = equalMask(keyRow(cellKey, r), keyRow(cellKey, sim.nextRow[r]), kPairBits);
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

void scoreWorld() {
    padRows(sim.cellColor, paddedColor);
    padRows(sim.selfStrategy, paddedSelf);
    padRows(sim.otherStrategy, paddedOther);
    ScoringInputs inputs{};
    for (int a = 0; a < kCodeCount; ++a) {
        for (int b = 0; b < kCodeCount; ++b) {
            inputs.tables.entries[a * kCodeCount + b] = sim.payoffTable[a][b];
            inputs.tables.entries[kBonusOffset + a * kCodeCount + b] = sim.payoffTable[a][b] + 1.0;
        }
    }
    // The options are read once per step: a key pressed during a step takes effect at the next.
    inputs.playSelf = sim.playSelf.load(std::memory_order_relaxed);
    inputs.extraPoint = sim.extraPointSameColor.load(std::memory_order_relaxed);
    const bool keysValid = buildKeys();

    std::uint64_t toScore[kGridSize];
    cellsToScore(keysValid && lastScoresValid && sameInputs(inputs, lastInputs), toScore);
    for (int r = 0; r < kGridSize; ++r) {
        scoreCells(r, toScore[r], inputs.tables, inputs.playSelf, inputs.extraPoint,
                   lastScore.data() + r * kGridSize);
    }
    sim.score = lastScore;
    lastKey = cellKey;
    lastInputs = inputs;
    lastScoresValid = keysValid;
}

void chooseWorld(const std::uint32_t* draws, Grid<StrategyCode>& nextSelf, Grid<StrategyCode>& nextOther) {
    padRows(sim.score, paddedScore);
    std::uint64_t uniform[kGridSize];
    uniformBlocks(uniform);
    for (int r = 0; r < kGridSize; ++r) {
        const int first = r * kGridSize;
        chooseRow(r, uniform[r], draws + first, nextSelf.data() + first, nextOther.data() + first);
    }
}

}  // namespace talvane::detail
