// Random seeding of a World from its own generator: the desktop's restart
// (seedPopulation), talvane-batch, Python and the web page all seed here, so
// a world seeded with seed S is the world that talvane-batch seeds with
// --seed S and the desktop with --seed S.
#pragma once

#include <array>
#include <optional>
#include <cstdint>
#include <utility>
#include <vector>

#include "sim_state.h"
#include "world.h"

namespace talvane {

class GraphWorld;

// true keeps a code out of the draws, as the desktop's pools do.
using CodeExclusions = std::array<bool, kCodeCount>;

// The colours seeding draws from: Green (0) and Red (2), as on the desktop.
inline constexpr CodeExclusions kSeedingColorExclusions{false, true, false, true, true, true, true, true};

// What to seed a world with.
struct SeedingOptions {
    std::uint32_t seed = 0;                     // the generator restarts from this
    CodeExclusions selfExcluded{};              // codes kept out of the self strategies
    CodeExclusions otherExcluded{};             // codes kept out of the others strategies
    ColorLayout layout = ColorLayout::Checkerboard;   // how the colours are laid out afterwards
};

// True when the pool admits at least one code.
bool admitsSomething(const CodeExclusions& excluded);

// What the user is told when a strategy pool admits nothing: the message
// box's caption and text, the self pool checked first.
struct EmptyPoolMessage {
    const char* caption;
    const char* text;
};
// The message for the first empty strategy pool; nullopt when both admit a code.
std::optional<EmptyPoolMessage> emptyPoolMessage(const CodeExclusions& self, const CodeExclusions& other);

// Restarts world.random from options.seed, then draws every cell's self
// strategy, others strategy and colour in row-major order (each draw repeated
// until its pool admits it), then applies the layout: the random layout
// draws every colour again, the checkerboard draws its phase, the segregated
// layout draws nothing. Both strategy pools must admit a code. Leaves the
// scores, the generation counter and the rules alone.
void seedWorld(World& world, const SeedingOptions& options);

// Pairs (self * 8 + others) with weights: non-negative, at least one above 0.
using PairWeights = std::vector<std::pair<int, double>>;

// Gives every cell of world a pair drawn independently with the weights of
// mix, one number of random per cell in row-major order; colours untouched.
void drawMixture(World& world, const PairWeights& mix);

// Restarts world.random from seed, draws every cell's pair from mix
// (drawMixture), then applies the layout as seedWorld does: the random
// layout draws every colour, the checkerboard its phase. This is what
// talvane-batch --mix seeds with --seed S.
void seedWorldMixture(World& world, std::uint32_t seed, const PairWeights& mix, ColorLayout layout);

// The same seeding for the nodes of a graph world, in node order, going on
// from the generator's state (a run seeds it, then draws its network, then
// its nodes). The segregated layout makes the first half of the node
// numbers Green (a lattice graph: the upper half of its rows, as a lattice
// world); the checkerboard needs a lattice graph.
void seedGraphWorld(GraphWorld& world, const SeedingOptions& options);
void seedGraphWorldMixture(GraphWorld& world, const PairWeights& mix, ColorLayout layout);

}  // namespace talvane
