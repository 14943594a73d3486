#include "world_seeding.h"

#include <algorithm>
#include <cassert>

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

void layCheckerboard(World& world) {
    const bool phase = world.random.next() % 2 != 0;
    for (int r = 0; r < world.rows(); ++r) {
        for (int c = 0; c < world.cols(); ++c) {
            const bool even = (r + c) % 2 == 0;
            world.cellColor[world.index(r, c)] = (phase == even) ? kGreen : kRed;
        }
    }
}

void laySegregated(World& world) {
    for (int r = 0; r < world.rows(); ++r) {
        const CellCode color = r < world.rows() / 2 ? kGreen : kRed;
        std::fill_n(world.cellColor.begin() + world.index(r, 0), world.cols(), color);
    }
}

// The random layout draws every colour again, the checkerboard its phase.
void layColors(World& world, ColorLayout layout) {
    switch (layout) {
        case kLayoutRandom:
            for (CellCode& color : world.cellColor) color = drawAdmitted(world.random, kSeedingColorExclusions);
            break;
        case kLayoutCheckerboard: layCheckerboard(world); break;
        case kLayoutSegregated: laySegregated(world); break;
    }
}

}  // namespace

bool admitsSomething(const CodeExclusions& excluded) {
    return std::find(excluded.begin(), excluded.end(), false) != excluded.end();
}

void drawMixture(World& world, const PairWeights& mix) {
    std::vector<double> upTo;  // running sums of the weights
    double total = 0.0;
    std::size_t lastWeighted = 0;
    for (std::size_t j = 0; j < mix.size(); ++j) {
        upTo.push_back(total += mix[j].second);
        if (mix[j].second > 0.0) lastWeighted = j;
    }
    for (int i = 0; i < world.cellCount(); ++i) {
        // A point in [0, total) from one 32-bit number; the last pair with a
        // weight above 0 takes whatever rounding leaves beyond the end.
        const double at = (static_cast<double>(world.random.next()) + 0.5) / 4294967296.0 * total;
        std::size_t k = lastWeighted;
        for (std::size_t j = 0; j < mix.size(); ++j) {
            if (mix[j].second > 0.0 && at < upTo[j]) {
                k = j;
                break;
            }
        }
        world.selfStrategy[i] = static_cast<CellCode>(mix[k].first / kCodeCount);
        world.otherStrategy[i] = static_cast<CellCode>(mix[k].first % kCodeCount);
    }
}

void seedWorldMixture(World& world, std::uint32_t seed, const PairWeights& mix, ColorLayout layout) {
    world.random.seed(seed);
    drawMixture(world, mix);
    layColors(world, layout);
    world.countPairs();
}

void seedWorld(World& world, const SeedingOptions& options) {
    assert(admitsSomething(options.selfExcluded) && admitsSomething(options.otherExcluded));
    world.random.seed(options.seed);
    for (int i = 0; i < world.cellCount(); ++i) {
        world.selfStrategy[i] = drawAdmitted(world.random, options.selfExcluded);
        world.otherStrategy[i] = drawAdmitted(world.random, options.otherExcluded);
        world.cellColor[i] = drawAdmitted(world.random, kSeedingColorExclusions);
    }
    layColors(world, options.layout);
    world.countPairs();
}

}  // namespace talvane
