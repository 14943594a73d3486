#include "py_world.h"

#include <cmath>
#include <limits>
#include <stdexcept>

#include "payoffs.h"
#include "run_world.h"

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
    : run(other.run), world(run.world()), lastSeed(other.lastSeed), seeding(other.seeding) {}

void setPayoffs(Rules& rules, const Payoffs& payoffs) {
    rules.realPayoffs.reset();
    if (!payoffs.whole) {
        rules.realPayoffs = payoffs.values;
        return;
    }
    for (std::size_t k = 0; k < 4; ++k) rules.payoffs[k] = static_cast<std::int32_t>(payoffs.values[k]);
}

void PyWorld::seedCells(const SeedingOptions& options, const PairWeights& mix) {
    run.seed(options, mix);
    seeding = options;
    lastSeed = options.seed;
}

}  // namespace talvane::python
