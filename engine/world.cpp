#include "world.h"

#include <algorithm>

#include <cassert>

namespace talvane {

namespace {

constexpr int kSelfCandidate = 8;

int wrapOrNone(int i, int count, Edges edges) {
    if (i >= 0 && i < count) return i;
    if (edges == Edges::Fixed) return -1;
    return (i + count) % count;
}

int elementOf(int rowStart, int col) { return rowStart < 0 || col < 0 ? -1 : rowStart + col; }

}  // namespace

bool isValidShape(const WorldShape& shape) {
    return shape.rows >= kMinWorldSide && shape.rows <= kMaxWorldSide && shape.cols >= kMinWorldSide &&
           shape.cols <= kMaxWorldSide;
}

const char* edgesName(Edges edges) { return edges == Edges::Wrap ? "wrap" : "fixed"; }

const char* neighbourhoodName(Neighbourhood neighbourhood) {
    return neighbourhood == Neighbourhood::Moore ? "moore" : "von-neumann";
}

bool parseEdges(const std::string& text, Edges& out) {
    if (text == "wrap") out = Edges::Wrap;
    else if (text == "fixed") out = Edges::Fixed;
    else return false;
    return true;
}

bool parseNeighbourhood(const std::string& text, Neighbourhood& out) {
    if (text == "moore") out = Neighbourhood::Moore;
    else if (text == "von-neumann") out = Neighbourhood::VonNeumann;
    else return false;
    return true;
}

World::World(const WorldShape& shape) : shape_(shape) {
    assert(isValidShape(shape));
    const auto cells = static_cast<std::size_t>(cellCount());
    cellColor.assign(cells, 0);
    selfStrategy.assign(cells, 0);
    otherStrategy.assign(cells, 0);
    score.assign(cells, 0.0);
    for (int r = 0; r < rows(); ++r) {
        rowAbove_.push_back(wrapOrNone(r - 1, rows(), shape.edges));
        rowBelow_.push_back(wrapOrNone(r + 1, rows(), shape.edges));
    }
    for (int c = 0; c < cols(); ++c) {
        colLeft_.push_back(wrapOrNone(c - 1, cols(), shape.edges));
        colRight_.push_back(wrapOrNone(c + 1, cols(), shape.edges));
    }
    pairCounts_[0] = static_cast<std::uint32_t>(cells);
    rowReciprocal_ = (std::uint64_t{1} << 40) / static_cast<std::uint64_t>(cols()) + 1;
}

Around World::around(int row, int col) const {
    const auto start = [this](int r) { return r < 0 ? -1 : r * cols(); };
    return {start(rowAbove_[row]), row * cols(), start(rowBelow_[row]), colLeft_[col], col, colRight_[col]};
}

namespace {

// The games of a cell in the order they are listed, left, right, up, down,
// then the four diagonals; -1 for a game that is not played. Von Neumann
// worlds play the first four only.
void gameOrder(const Around& a, bool moore, int out[8]) {
    out[0] = elementOf(a.row, a.left);
    out[1] = elementOf(a.row, a.right);
    out[2] = elementOf(a.up, a.col);
    out[3] = elementOf(a.down, a.col);
    out[4] = moore ? elementOf(a.up, a.left) : -1;
    out[5] = moore ? elementOf(a.down, a.left) : -1;
    out[6] = moore ? elementOf(a.up, a.right) : -1;
    out[7] = moore ? elementOf(a.down, a.right) : -1;
}

// The nine imitation candidates in scan order: the four diagonals, the four
// sides, then the cell itself; -1 for a candidate that is not there.
void candidateOrder(const Around& a, bool moore, int out[9]) {
    out[0] = moore ? elementOf(a.up, a.left) : -1;
    out[1] = moore ? elementOf(a.down, a.left) : -1;
    out[2] = moore ? elementOf(a.up, a.right) : -1;
    out[3] = moore ? elementOf(a.down, a.right) : -1;
    out[4] = elementOf(a.up, a.col);
    out[5] = elementOf(a.row, a.left);
    out[6] = elementOf(a.down, a.col);
    out[7] = elementOf(a.row, a.right);
    out[8] = a.row + a.col;
}

// The imitation pick among candidates in scan order (-1 where none is),
// scoreOf(k) the score of candidate k: the last candidate of the scan from
// draw % 8 at or above the best so far; when every score is below zero
// nothing is taken, and a cell that scores as well as the best keeps its own.
template <typename ScoreOf>
int pickAmong(const int candidates[9], ScoreOf scoreOf, std::uint32_t draw) {
    double best = 0.0;
    int pick = kSelfCandidate;
    int k = static_cast<int>(draw % 8);
    for (int j = 0; j < 9; ++j, k = (k + 1) % 9) {
        if (candidates[k] < 0) continue;
        if (scoreOf(k) >= best) {
            best = scoreOf(k);
            pick = k;
        }
    }
    if (scoreOf(kSelfCandidate) >= best) pick = kSelfCandidate;
    return candidates[pick];
}

}  // namespace

double World::scoreCell(int row, int col) const { return scoreAt(index(row, col)); }

void World::gamesBesideEdge(int row, int col, int out[8]) const {
    gameOrder(around(row, col), shape_.neighbourhood == Neighbourhood::Moore, out);
}

int World::chooseCell(int row, int col, std::uint32_t draw) const {
    int candidates[9];
    candidateOrder(around(row, col), shape_.neighbourhood == Neighbourhood::Moore, candidates);
    return pickAmong(candidates, [this, &candidates](int k) { return score[candidates[k]]; }, draw);
}

bool World::isAbsorbing() const {
    if (updateRule == UpdateRule::Ecology) return ecologySettled();
    if (mutation > 0.0) return false;
    // A run that has come to rest asks the same question of the same state
    // at every generation: the answer is kept with what it was found from.
    AbsorbingMemo& memo = absorbing_;
    if (memo.valid && memo.rule == updateRule && memo.table == payoffTable && memo.playSelf == playSelf &&
        memo.extraPoint == extraPoint && memo.self == selfStrategy && memo.other == otherStrategy &&
        memo.color == cellColor) {
        return memo.answer;
    }
    memo.answer = absorbingNow();
    memo.rule = updateRule;
    memo.table = payoffTable;
    memo.playSelf = playSelf;
    memo.extraPoint = extraPoint;
    memo.self = selfStrategy;
    memo.other = otherStrategy;
    memo.color = cellColor;
    memo.valid = true;
    return memo.answer;
}

bool World::absorbingNow() const {
    auto samePair = [this](int a, int b) {
        return selfStrategy[a] == selfStrategy[b] && otherStrategy[a] == otherStrategy[b];
    };
    const bool moore = shape_.neighbourhood == Neighbourhood::Moore;
    // Under the asynchronous rule a cell can change when one of its picks,
    // whatever the draw, holds another pair.
    auto canChange = [&](int cell) {
        const int row = cell / cols();
        int candidates[9];
        candidateOrder(around(row, cell - row * cols()), moore, candidates);
        double scores[9];
        for (int k = 0; k < 9; ++k) scores[k] = candidates[k] >= 0 ? scoreAt(candidates[k]) : 0.0;
        for (std::uint32_t draw = 0; draw < 8; ++draw) {
            if (!samePair(cell, pickAmong(candidates, [&scores](int k) { return scores[k]; }, draw))) return true;
        }
        return false;
    };
    // A cell whose neighbours all hold its own pair stays as it is under any
    // rule; Fermi copies any other neighbour with a chance above zero, and
    // so do the Moran rules (every fitness is above zero), in one direction
    // or the other. Proportional imitation copies only a neighbour that
    // scores more.
    const ImitationRule rule = imitationOf(updateRule);
    if (rule == ImitationRule::Proportional) {
        if (!(payoffRange() > 0.0)) return true;
        std::vector<double> fresh(static_cast<std::size_t>(cellCount()));
        for (int cell = 0; cell < cellCount(); ++cell) fresh[cell] = scoreAt(cell);
        int neighbours[8];
        for (int cell = 0; cell < cellCount(); ++cell) {
            const int count = neighboursOf(cell, neighbours);
            for (int k = 0; k < count; ++k) {
                if (!samePair(cell, neighbours[k]) && fresh[neighbours[k]] > fresh[cell]) return false;
            }
        }
        return true;
    }
    const bool best = rule == ImitationRule::Best;
    int neighbours[8];
    for (int cell = 0; cell < cellCount(); ++cell) {
        const int count = neighboursOf(cell, neighbours);
        for (int k = 0; k < count; ++k) {
            if (!samePair(cell, neighbours[k])) {
                if (!best || canChange(cell)) return false;
                break;
            }
        }
    }
    return true;
}

bool World::codesInRange() const {
    int bits = 0;
    for (int i = 0; i < cellCount(); ++i) bits |= cellColor[i] | selfStrategy[i] | otherStrategy[i];
    return (bits & ~7) == 0;
}

const PairCounts& World::countPairs() {
    pairCounts_ = {};
    // An empty cell (code -1) is counted in no pair: it goes to a 65th
    // count that is dropped, so that no branch depends on where the empty
    // cells lie.
    // Neighbouring cells count in different lanes, so that a run of cells
    // with one pair does not make each increment wait for the one before.
    std::array<std::array<std::uint32_t, kPairCount + 1>, kCountLanes> counts{};
    const CellCode* const self = selfStrategy.data();
    const CellCode* const other = otherStrategy.data();
    const int cells = cellCount();
    for (int i = 0; i < cells; ++i) {
        const int pair = (self[i] & 7) * kCodeCount + (other[i] & 7);
        ++counts[static_cast<std::size_t>(i % kCountLanes)][static_cast<std::size_t>(self[i] >= 0 ? pair : kPairCount)];
    }
    for (int k = 0; k < kPairCount; ++k) {
        std::uint32_t sum = 0;
        for (const auto& lane : counts) sum += lane[static_cast<std::size_t>(k)];
        pairCounts_[static_cast<std::size_t>(k)] = sum;
    }
    return pairCounts_;
}

void World::stepCellByCell(const std::uint8_t* draws) {
    variant_.valid = false;  // as stepWith
    for (int r = 0; r < rows(); ++r) {
        for (int c = 0; c < cols(); ++c) score[index(r, c)] = scoreCell(r, c);
    }
    std::vector<CellCode> nextSelf(selfStrategy.size());
    std::vector<CellCode> nextOther(otherStrategy.size());
    for (int r = 0; r < rows(); ++r) {
        for (int c = 0; c < cols(); ++c) {
            const int chosen = chooseCell(r, c, draws[index(r, c)]);
            nextSelf[index(r, c)] = selfStrategy[chosen];
            nextOther[index(r, c)] = otherStrategy[chosen];
        }
    }
    selfStrategy.swap(nextSelf);
    otherStrategy.swap(nextOther);
    scratch_.valid = false;
    countPairs();
}

void World::clearScores() {
    std::fill(score.begin(), score.end(), 0.0);
    forgetLastStep();
}

void World::step(const std::uint32_t* draws, int threads) {
    scratch_.draws.resize(static_cast<std::size_t>(cellCount()));
    std::uint8_t* low = scratch_.draws.data();
    for (int i = 0; i < cellCount(); ++i) low[i] = static_cast<std::uint8_t>(draws[i]);
    stepWith(low, threads, nullptr);
}

void World::step(int threads) {
    scratch_.draws.resize(static_cast<std::size_t>(cellCount()));
    std::uint8_t* draws = scratch_.draws.data();
    stepWith(draws, threads, draws);
}

}  // namespace talvane
