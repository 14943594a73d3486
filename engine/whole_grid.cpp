#include "whole_grid.h"

#include <algorithm>
#include <array>
#include <cstring>

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

// The payoff table flattened, entry a * 8 + b, and the same plus the extra
// point for same-colour games.
struct FlatTables {
    double plain[kCodeCount * kCodeCount];
    double withBonus[kCodeCount * kCodeCount];
};

void scoreRow(int r, const FlatTables& tables, bool playSelf, bool extraPoint) {
    const RowTriple rows = rowsAround(r);
    const std::int32_t* colorA = paddedColor[r].data() + 1;
    const std::int32_t* selfA = paddedSelf[r].data() + 1;
    const std::int32_t* otherA = paddedOther[r].data() + 1;
    const std::int32_t* colorB[8];
    const std::int32_t* selfB[8];
    const std::int32_t* otherB[8];
    for (int g = 0; g < 8; ++g) {
        const int row = rows.index[kGamesLastFirst[g].row];
        const int first = 1 + kGamesLastFirst[g].shift;
        colorB[g] = paddedColor[row].data() + first;
        selfB[g] = paddedSelf[row].data() + first;
        otherB[g] = paddedOther[row].data() + first;
    }
    double* score = sim.score.data() + r * kGridSize;
    for (int c = 0; c < kGridSize; ++c) {
        const std::int32_t color = colorA[c];
        // Only a cell that treats its own colour differently earns the extra point.
        const bool bonus = extraPoint && selfA[c] != otherA[c];
        const double* sameRow = (bonus ? tables.withBonus : tables.plain) + selfA[c] * kCodeCount;
        const double* otherRow = tables.plain + otherA[c] * kCodeCount;
        double sum = 0.0;
#pragma GCC unroll 8
        for (int g = 0; g < 8; ++g) {
            sum += colorB[g][c] == color ? sameRow[selfB[g][c]] : otherRow[otherB[g][c]];
        }
        score[c] = sum + (playSelf ? sameRow[selfA[c]] : 0.0);
    }
}

void chooseRow(int r, const std::uint32_t* draws, StrategyCode* nextSelf, StrategyCode* nextOther) {
    const RowTriple rows = rowsAround(r);
    const double* up = paddedScore[rows.index[kUp]].data();
    const double* same = paddedScore[r].data();
    const double* down = paddedScore[rows.index[kDown]].data();
    const std::int32_t* candidateSelf[9];
    const std::int32_t* candidateOther[9];
    for (int k = 0; k < 9; ++k) {
        const int row = rows.index[kCandidates[k].row];
        candidateSelf[k] = paddedSelf[row].data() + 1 + kCandidates[k].shift;
        candidateOther[k] = paddedOther[row].data() + 1 + kCandidates[k].shift;
    }
    for (int c = 0; c < kGridSize; ++c) {
        // Padded rows: column c - 1 at c, column c at c + 1, column c + 1 at c + 2.
        const double s0 = up[c], s1 = down[c], s2 = up[c + 2], s3 = down[c + 2];
        const double s4 = up[c + 1], s5 = same[c], s6 = down[c + 1], s7 = same[c + 2], own = same[c + 1];
        const double best = std::max(std::max(std::max(std::max(s0, s1), std::max(s2, s3)),
                                              std::max(std::max(s4, s5), std::max(s6, s7))),
                                     own);
        const std::uint32_t atBest = static_cast<std::uint32_t>(s0 == best) | static_cast<std::uint32_t>(s1 == best) << 1 |
                                     static_cast<std::uint32_t>(s2 == best) << 2 | static_cast<std::uint32_t>(s3 == best) << 3 |
                                     static_cast<std::uint32_t>(s4 == best) << 4 | static_cast<std::uint32_t>(s5 == best) << 5 |
                                     static_cast<std::uint32_t>(s6 == best) << 6 | static_cast<std::uint32_t>(s7 == best) << 7;
        // The cell keeps its pair when it scores the best itself, or when every
        // score is below zero and the scan takes nobody.
        const bool keepOwn = own == best || best < 0.0;
        // Of the best neighbours, the scan from start reaches last the highest
        // index below start if there is one, else the highest of all.
        const std::uint32_t start = draws[c] % 8;
        const std::uint32_t below = atBest & ((1u << start) - 1u);
        const std::uint32_t pool = (below != 0 ? below : atBest) | 1u;
        const int k = keepOwn ? 8 : 31 - __builtin_clz(pool);
        nextSelf[c] = candidateSelf[k][c];
        nextOther[c] = candidateOther[k][c];
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
    FlatTables tables;
    for (int a = 0; a < kCodeCount; ++a) {
        for (int b = 0; b < kCodeCount; ++b) {
            tables.plain[a * kCodeCount + b] = sim.payoffTable[a][b];
            tables.withBonus[a * kCodeCount + b] = sim.payoffTable[a][b] + 1.0;
        }
    }
    for (int r = 0; r < kGridSize; ++r) {
        // Options are read once per row: a key pressed during a step takes effect from the next row on.
        scoreRow(r, tables, sim.playSelf.load(std::memory_order_relaxed),
                 sim.extraPointSameColor.load(std::memory_order_relaxed));
    }
}

void chooseWorld(const std::uint32_t* draws, Grid<StrategyCode>& nextSelf, Grid<StrategyCode>& nextOther) {
    padRows(sim.score, paddedScore);
    for (int r = 0; r < kGridSize; ++r) {
        const int first = r * kGridSize;
        chooseRow(r, draws + first, nextSelf.data() + first, nextOther.data() + first);
    }
}

}  // namespace talvane::detail
