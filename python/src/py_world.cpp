#include "py_world.h"

#include <cmath>
#include <limits>
#include <stdexcept>

#include "payoffs.h"

namespace talvane::python {

Payoffs checkPayoffs(const std::array<double, 4>& values) {
    constexpr double kLow = std::numeric_limits<std::int32_t>::min();
    constexpr double kHigh = std::numeric_limits<std::int32_t>::max();
    Payoffs payoffs{values, true};
    for (const double value : values) {
        if (!std::isfinite(value) || value < kLow || value > kHigh) {
            throw std::invalid_argument(
                "payoffs: each of R, S, T, P must be a finite number within the 32-bit integers' range, not " +
                std::to_string(value));
        }
        payoffs.whole = payoffs.whole && value == std::trunc(value);
    }
    return payoffs;
}

PyWorld::PyWorld(const PyWorld& other)
    : world(other.world),
      payoffs(other.payoffs),
      competition(other.competition),
      threads(other.threads),
      rounds(other.rounds),
      lastSeed(other.lastSeed),
      seeding(other.seeding) {}

PayoffTable payoffTableFor(CompetitionMode competition, const Payoffs& payoffs, int rounds) {
    if (competition == kCompetitionInfinite) return infinitePayoffTable;
    if (!payoffs.whole) return finitePayoffTableOf(payoffs.values, rounds);
    const auto& v = payoffs.values;
    return finitePayoffTable(static_cast<std::int32_t>(v[0]), static_cast<std::int32_t>(v[1]),
                             static_cast<std::int32_t>(v[2]), static_cast<std::int32_t>(v[3]), rounds);
}

void PyWorld::applyPayoffs() { world.payoffTable = payoffTableFor(competition, payoffs, rounds); }

void PyWorld::seedCells(const SeedingOptions& options, const PairWeights& mix) {
    if (mix.empty()) {
        seedWorld(world, options);
    } else {
        seedWorldMixture(world, options.seed, mix, options.layout);
    }
    seeding = options;
    lastSeed = options.seed;
    // Mutation draws from the pools seeding drew from, as in talvane-batch.
    world.selfMutationExcluded = options.selfExcluded;
    world.otherMutationExcluded = options.otherExcluded;
}

void PyWorld::stepOnce() {
    if (world.updateRule == UpdateRule::Ecology) {
        world.stepEcology();
        return;
    }
    if (world.updateRule == UpdateRule::Synchronous) {
        world.step(threads);
    } else {
        world.stepVariant();
    }
    world.mutate();
}

}  // namespace talvane::python
