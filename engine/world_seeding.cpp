#include "world_seeding.h"

#include <algorithm>
#include <cassert>

#include "graph_world.h"

namespace talvane {

namespace {

constexpr CellCode kGreen = 0;
constexpr CellCode kRed = 2;

CellCode drawAdmitted(Mt19937& random, const CodeExclusions& excluded) {
    std::uint32_t code = 0;
    do {
        code = random.next() % kCodeCount;
    } while (excluded[code]);
    return static_cast<CellCode>(code);
}

// The cells (or nodes) that seeding fills, and the lattice they lie on:
// rows and cols are 0 for a graph whose nodes are no lattice's cells.
struct SeedTarget {
    std::vector<CellCode>& color;
    std::vector<CellCode>& self;
    std::vector<CellCode>& other;
    Mt19937& random;
    int rows = 0;
    int cols = 0;
};

SeedTarget targetOf(World& world) {
    return {world.cellColor, world.selfStrategy, world.otherStrategy, world.random, world.rows(), world.cols()};
}

SeedTarget targetOf(GraphWorld& world) {
    const auto& lattice = world.graph().lattice;
    return {world.nodeColor, world.selfStrategy, world.otherStrategy, world.random, lattice ? lattice->rows : 0,
            lattice ? lattice->cols : 0};
}

void layCheckerboard(SeedTarget& cells) {
    const bool phase = cells.random.next() % 2 != 0;
    for (int r = 0; r < cells.rows; ++r) {
        for (int c = 0; c < cells.cols; ++c) {
            const bool even = (r + c) % 2 == 0;
            cells.color[static_cast<std::size_t>(r) * cells.cols + c] = (phase == even) ? kGreen : kRed;
        }
    }
}

// The upper half of the rows Green (rows / 2 of them), the rest Red; on a
// graph, the first half of the node numbers.
void laySegregated(SeedTarget& cells) {
    const std::size_t green =
        cells.rows > 0 ? static_cast<std::size_t>(cells.rows / 2) * cells.cols : cells.color.size() / 2;
    std::fill(cells.color.begin(), cells.color.begin() + static_cast<std::ptrdiff_t>(green), kGreen);
    std::fill(cells.color.begin() + static_cast<std::ptrdiff_t>(green), cells.color.end(), kRed);
}

// The random layout draws every colour again, the checkerboard its phase.
void layColors(SeedTarget& cells, ColorLayout layout) {
    switch (layout) {
        case ColorLayout::Random:
            for (CellCode& color : cells.color) color = drawAdmitted(cells.random, kSeedingColorExclusions);
            break;
        case ColorLayout::Checkerboard: layCheckerboard(cells); break;
        case ColorLayout::Segregated: laySegregated(cells); break;
    }
}

void drawMixtureInto(SeedTarget& cells, const PairWeights& mix) {
    std::vector<double> upTo;  // running sums of the weights
    double total = 0.0;
    std::size_t lastWeighted = 0;
    for (std::size_t j = 0; j < mix.size(); ++j) {
        upTo.push_back(total += mix[j].second);
        if (mix[j].second > 0.0) lastWeighted = j;
    }
    for (std::size_t i = 0; i < cells.self.size(); ++i) {
        // A point in [0, total) from one 32-bit number; the last pair with a
        // weight above 0 takes whatever rounding leaves beyond the end.
        const double at = (static_cast<double>(cells.random.next()) + 0.5) / 4294967296.0 * total;
        std::size_t k = lastWeighted;
        for (std::size_t j = 0; j < mix.size(); ++j) {
            if (mix[j].second > 0.0 && at < upTo[j]) {
                k = j;
                break;
            }
        }
        cells.self[i] = static_cast<CellCode>(mix[k].first / kCodeCount);
        cells.other[i] = static_cast<CellCode>(mix[k].first % kCodeCount);
    }
}

void drawPools(SeedTarget& cells, const SeedingOptions& options) {
    assert(admitsSomething(options.selfExcluded) && admitsSomething(options.otherExcluded));
    for (std::size_t i = 0; i < cells.self.size(); ++i) {
        cells.self[i] = drawAdmitted(cells.random, options.selfExcluded);
        cells.other[i] = drawAdmitted(cells.random, options.otherExcluded);
        cells.color[i] = drawAdmitted(cells.random, kSeedingColorExclusions);
    }
    layColors(cells, options.layout);
}

}  // namespace

bool admitsSomething(const CodeExclusions& excluded) {
    return std::find(excluded.begin(), excluded.end(), false) != excluded.end();
}

std::optional<EmptyPoolMessage> emptyPoolMessage(const CodeExclusions& self, const CodeExclusions& other) {
    constexpr const char* kCaption = "Can't create a random pool with nothing in it!";
    if (!admitsSomething(self)) return EmptyPoolMessage{kCaption, "Would you like to enable at least one \"self\" strategy?"};
    if (!admitsSomething(other)) {
        return EmptyPoolMessage{kCaption, "Would you like to enable at least one \"others\" strategy?"};
    }
    return std::nullopt;
}

void drawMixture(World& world, const PairWeights& mix) {
    SeedTarget cells = targetOf(world);
    drawMixtureInto(cells, mix);
}

void seedWorldMixture(World& world, std::uint32_t seed, const PairWeights& mix, ColorLayout layout) {
    world.random.seed(seed);
    SeedTarget cells = targetOf(world);
    drawMixtureInto(cells, mix);
    layColors(cells, layout);
    world.countPairs();
}

void seedWorld(World& world, const SeedingOptions& options) {
    world.random.seed(options.seed);
    SeedTarget cells = targetOf(world);
    drawPools(cells, options);
    world.countPairs();
}

void seedGraphWorld(GraphWorld& world, const SeedingOptions& options) {
    SeedTarget cells = targetOf(world);
    drawPools(cells, options);
    world.countPairs();
}

void seedGraphWorldMixture(GraphWorld& world, const PairWeights& mix, ColorLayout layout) {
    SeedTarget cells = targetOf(world);
    drawMixtureInto(cells, mix);
    layColors(cells, layout);
    world.countPairs();
}

}  // namespace talvane
