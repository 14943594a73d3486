#include "generation.h"

#include "engine_internal.h"
#include "host.h"
#include "population_log.h"
#include "whole_grid.h"

namespace talvane {

namespace {

constexpr int kNeighbourCount = 8;
constexpr int kCandidateCount = 9;
constexpr int kSelfCandidate = 8;

// Element indexes of the rows and columns around one cell.
struct Around {
    int up, row, down;         // prevRow, r and nextRow, each times 64
    int left, col, right;      // prevCol, c and nextCol
};

Around around(int r, int c) {
    return {sim.prevRow[r] * kGridSize, r * kGridSize, sim.nextRow[r] * kGridSize,
            sim.prevCol[c], c, sim.nextCol[c]};
}

// The eight opponents in the order their games are scored: left, right, up,
// down, then the four diagonals.
void gameOrder(const Around& a, int out[kNeighbourCount]) {
    out[0] = a.row + a.left;
    out[1] = a.row + a.right;
    out[2] = a.up + a.col;
    out[3] = a.down + a.col;
    out[4] = a.up + a.left;
    out[5] = a.down + a.left;
    out[6] = a.up + a.right;
    out[7] = a.down + a.right;
}

// The nine imitation candidates in scan order: the four diagonals, the four
// sides, then the cell itself.
void candidateOrder(const Around& a, int out[kCandidateCount]) {
    out[0] = a.up + a.left;
    out[1] = a.down + a.left;
    out[2] = a.up + a.right;
    out[3] = a.down + a.right;
    out[4] = a.up + a.col;
    out[5] = a.row + a.left;
    out[6] = a.down + a.col;
    out[7] = a.row + a.right;
    out[8] = a.row + a.col;
}

double scoreAgainst(int cell, const int opponents[kNeighbourCount]) {
    const bool playSelf = sim.playSelf.load(std::memory_order_relaxed);
    const bool extraPoint = sim.extraPointSameColor.load(std::memory_order_relaxed);
    const std::int32_t color = sim.cellColor[cell];
    const StrategyCode self = sim.selfStrategy[cell];
    const StrategyCode other = sim.otherStrategy[cell];
    // Only a cell that treats its own colour differently earns the extra point.
    const double bonus = (extraPoint && self != other) ? 1.0 : 0.0;
    const double* selfRow = sim.payoffTable[self].data();
    const double* otherRow = sim.payoffTable[other].data();

    double sum = 0.0;
    for (int g = kNeighbourCount - 1; g >= 0; --g) {
        const int n = opponents[g];
        const bool sameColor = sim.cellColor[n] == color;
        sum += sameColor ? selfRow[sim.selfStrategy[n]] + bonus : otherRow[sim.otherStrategy[n]];
    }
    const double selfGame = playSelf ? selfRow[self] + bonus : 0.0;
    return sum + selfGame;
}

// Index 0..8 of the candidate whose pair the cell takes, scanning from start.
// When every score is below zero nothing is taken and the cell keeps its own.
int pickCandidate(const double scores[kCandidateCount], unsigned start) {
    double best = 0.0;
    int pick = kSelfCandidate;
    unsigned k = start;
    for (int j = 0; j < kCandidateCount; ++j) {
        const bool atLeastBest = scores[k] >= best;
        best = atLeastBest ? scores[k] : best;
        pick = atLeastBest ? static_cast<int>(k) : pick;
        k = (k == kCandidateCount - 1) ? 0 : k + 1;
    }
    // A cell that scores as well as the best keeps its own pair.
    return scores[kSelfCandidate] >= best ? kSelfCandidate : pick;
}

unsigned drawStartIndex() { return sim.host->nextRandom() % 8; }

// Chooses through the candidates' element indexes; returns the chosen element.
int chooseAmong(const int candidates[kCandidateCount]) {
    double scores[kCandidateCount];
    for (int k = 0; k < kCandidateCount; ++k) scores[k] = sim.score[candidates[k]];
    return candidates[pickCandidate(scores, drawStartIndex())];
}

// Scratch of a step: the next strategies and the numbers drawn, one per
// cell. Static, since only the simulation thread steps.
Grid<StrategyCode> nextSelfGrid;
Grid<StrategyCode> nextOtherGrid;
std::array<std::uint32_t, kCellCount> draws;

void scoreAllCellByCell() {
    int opponents[kNeighbourCount];
    for (int r = 0; r < kGridSize; ++r) {
        for (int c = 0; c < kGridSize; ++c) {
            gameOrder(around(r, c), opponents);
            sim.score[r * kGridSize + c] = scoreAgainst(r * kGridSize + c, opponents);
        }
    }
}

void chooseAllCellByCell() {
    int candidates[kCandidateCount];
    for (int r = 0; r < kGridSize; ++r) {
        for (int c = 0; c < kGridSize; ++c) {
            candidateOrder(around(r, c), candidates);
            const int chosen = chooseAmong(candidates);
            nextSelfGrid[r * kGridSize + c] = sim.selfStrategy[chosen];
            nextOtherGrid[r * kGridSize + c] = sim.otherStrategy[chosen];
        }
    }
}

bool generationIsDrawn(std::int32_t generation) {
    const std::int32_t interval = sim.frameInterval.load();
    return interval <= 1 || generation % interval == 0;
}

}  // namespace

double scoreCell(int row, int col) {
    int opponents[kNeighbourCount];
    gameOrder(around(row, col), opponents);
    return scoreAgainst(row * kGridSize + col, opponents);
}

void chooseImitation(int row, int col, StrategyCode& nextSelf, StrategyCode& nextOther) {
    int candidates[kCandidateCount];
    candidateOrder(around(row, col), candidates);
    const int chosen = chooseAmong(candidates);
    nextSelf = sim.selfStrategy[chosen];
    nextOther = sim.otherStrategy[chosen];
}

void stepGeneration() {
    sim.seededUnrun = false;
    // The whole-grid passes update the grids in place and count the new
    // world's pairs as they go; the cell-by-cell operations fill the scratch
    // grids, and the log counts afterwards.
    const bool wholeGrid = detail::torusTablesBuilt() && detail::scoreWorld();
    if (wholeGrid) {
        sim.host->fillRandom(draws.data(), kCellCount);
        detail::chooseWorld(draws.data());
    } else {
        scoreAllCellByCell();
        chooseAllCellByCell();
        sim.selfStrategy = nextSelfGrid;
        sim.otherStrategy = nextOtherGrid;
    }
    const std::int32_t generation = sim.generation.fetch_add(1) + 1;
    if (generationIsDrawn(generation)) sim.host->requestRepaint();
    if (wholeGrid) {
        detail::writeCountedLogLine();
    } else {
        writeLogLine();
    }
    if (sim.frameInterval.load() == 0 && !sim.restartPending.load()) {
        detail::sleepBetweenSteps(sim.slowDelayMs);
    }
}

}  // namespace talvane
