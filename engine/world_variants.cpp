// The model's variants for research: asynchronous (random sequential)
// updating, Fermi (pairwise comparison) imitation and mutation. They draw
// every random number from the world's own generator, so a seed repeats a
// run exactly, and they keep the scores current cell by cell: a cell's score
// depends only on the cells it plays, so a change of one pair touches the
// score of that cell and of its neighbours, nothing else.
#include <cmath>

#include "world.h"

namespace talvane {

namespace {

constexpr double kTwoTo32 = 4294967296.0;

int elementOf(int rowStart, int col) { return rowStart < 0 || col < 0 ? -1 : rowStart + col; }

}  // namespace

const char* updateRuleName(UpdateRule rule) {
    switch (rule) {
        case UpdateRule::Asynchronous: return "asynchronous";
        case UpdateRule::Fermi: return "fermi";
        default: return "synchronous";
    }
}

bool parseUpdateRule(const std::string& text, UpdateRule& out) {
    if (text == "synchronous") out = UpdateRule::Synchronous;
    else if (text == "asynchronous") out = UpdateRule::Asynchronous;
    else if (text == "fermi") out = UpdateRule::Fermi;
    else return false;
    return true;
}

std::uint32_t drawBelow(Mt19937& random, std::uint32_t bound) {
    // Lemire's multiply-and-shift with rejection: no division on the usual
    // path and no bias towards small values.
    std::uint64_t product = static_cast<std::uint64_t>(random.next()) * bound;
    auto low = static_cast<std::uint32_t>(product);
    if (low < bound) {
        const std::uint32_t threshold = (0u - bound) % bound;
        while (low < threshold) {
            product = static_cast<std::uint64_t>(random.next()) * bound;
            low = static_cast<std::uint32_t>(product);
        }
    }
    return static_cast<std::uint32_t>(product >> 32);
}

double drawUnit(Mt19937& random) { return (random.next() + 0.5) / kTwoTo32; }

int World::neighboursOf(int cell, int out[8]) const {
    const Around a = around(cell / cols(), cell % cols());
    const bool moore = shape_.neighbourhood == Neighbourhood::Moore;
    const int all[8] = {
        elementOf(a.row, a.left),
        elementOf(a.row, a.right),
        elementOf(a.up, a.col),
        elementOf(a.down, a.col),
        moore ? elementOf(a.up, a.left) : -1,
        moore ? elementOf(a.down, a.left) : -1,
        moore ? elementOf(a.up, a.right) : -1,
        moore ? elementOf(a.down, a.right) : -1,
    };
    int count = 0;
    for (const int n : all) {
        if (n >= 0) out[count++] = n;
    }
    return count;
}

void World::scoreAll() {
    for (int r = 0; r < rows(); ++r) {
        for (int c = 0; c < cols(); ++c) score[index(r, c)] = scoreCell(r, c);
    }
}

// The new pair of `cell` changes its own score and those of the cells that
// play it.
void World::rescoreAround(int cell) {
    int neighbours[8];
    const int count = neighboursOf(cell, neighbours);
    score[cell] = scoreCell(cell / cols(), cell % cols());
    for (int k = 0; k < count; ++k) {
        const int n = neighbours[k];
        score[n] = scoreCell(n / cols(), n % cols());
    }
}

bool World::takePair(int cell, int from) {
    if (selfStrategy[from] == selfStrategy[cell] && otherStrategy[from] == otherStrategy[cell]) return false;
    selfStrategy[cell] = selfStrategy[from];
    otherStrategy[cell] = otherStrategy[from];
    rescoreAround(cell);
    return true;
}

bool World::updateCell(int cell, std::uint32_t draw) {
    return takePair(cell, chooseCell(cell / cols(), cell % cols(), draw));
}

bool World::compareWithNeighbour(int cell, int neighbour, double chance) {
    int neighbours[8];
    neighboursOf(cell, neighbours);
    const int other = neighbours[neighbour];
    const double adopt = 1.0 / (1.0 + std::exp((score[cell] - score[other]) / noise));
    return chance < adopt && takePair(cell, other);
}

void World::stepVariant() {
    scoreAll();
    const auto cells = static_cast<std::uint32_t>(cellCount());
    if (updateRule == UpdateRule::Fermi) {
        int neighbours[8];
        for (std::uint32_t u = 0; u < cells; ++u) {
            const auto cell = static_cast<int>(drawBelow(random, cells));
            const auto count = static_cast<std::uint32_t>(neighboursOf(cell, neighbours));
            const auto neighbour = static_cast<int>(drawBelow(random, count));
            compareWithNeighbour(cell, neighbour, drawUnit(random));
        }
    } else {
        for (std::uint32_t u = 0; u < cells; ++u) {
            const auto cell = static_cast<int>(drawBelow(random, cells));
            updateCell(cell, random.next());
        }
    }
    // The whole-grid step must not reuse what it computed before these updates.
    forgetLastStep();
    ++generation;
    countPairs();
}

int World::mutate() {
    if (mutation <= 0.0) return 0;
    // chance < mutation as a comparison of whole numbers: mutation 1 always holds.
    const auto threshold = static_cast<std::uint64_t>(mutation * kTwoTo32);
    int drawn = 0;
    const auto mutates = [&] { return static_cast<std::uint64_t>(random.next()) < threshold; };
    const auto freshCode = [&] { return static_cast<CellCode>(random.next() >> 29); };
    for (int i = 0; i < cellCount(); ++i) {
        if (mutates()) {
            selfStrategy[i] = freshCode();
            ++drawn;
        }
        if (mutates()) {
            otherStrategy[i] = freshCode();
            ++drawn;
        }
    }
    if (drawn > 0) forgetLastStep();
    countPairs();
    return drawn;
}

}  // namespace talvane
