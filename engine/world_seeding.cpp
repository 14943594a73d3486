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

}  // namespace

bool admitsSomething(const CodeExclusions& excluded) {
    return std::find(excluded.begin(), excluded.end(), false) != excluded.end();
}

void seedWorld(World& world, const SeedingOptions& options) {
    assert(admitsSomething(options.selfExcluded) && admitsSomething(options.otherExcluded));
    world.random.seed(options.seed);
    for (int i = 0; i < world.cellCount(); ++i) {
        world.selfStrategy[i] = drawAdmitted(world.random, options.selfExcluded);
        world.otherStrategy[i] = drawAdmitted(world.random, options.otherExcluded);
        world.cellColor[i] = drawAdmitted(world.random, kSeedingColorExclusions);
    }
    switch (options.layout) {
        case kLayoutRandom:
            for (CellCode& color : world.cellColor) color = drawAdmitted(world.random, kSeedingColorExclusions);
            break;
        case kLayoutCheckerboard: layCheckerboard(world); break;
        case kLayoutSegregated: laySegregated(world); break;
    }
    world.countPairs();
}

}  // namespace talvane
