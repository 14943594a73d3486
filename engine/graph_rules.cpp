// The update rules beyond best and random-sequential Fermi on graph worlds:
// Fermi and proportional imitation on the synchronous schedule,
// proportional imitation on the random-sequential one, and the Moran
// death-birth and birth-death processes. They make the lattice world's
// draws in the lattice world's order, a node's neighbours taken in the
// order fermiNeighbour gives, so that a lattice graph repeats the lattice's
// runs; stepVariant has scored every node before they start.
#include <algorithm>
#include <cmath>

#include "graph_world.h"

namespace talvane {

bool GraphWorld::proportionalAdopts(int node, int other, double chance) const {
    const double gain = score[other] - score[node];
    if (!(gain > 0.0)) return false;
    const double range = payoffRangeOf(payoffTable, extraPoint);
    if (!(range > 0.0)) return false;
    const int k = std::max(gameCount(node), gameCount(other));
    return chance < gain / (static_cast<double>(k) * range);
}

void GraphWorld::stepSynchronousImitation(bool fermi) {
    // Every node decides from the state the generation started with; the
    // new pairs are written aside and every node scored again at the end.
    const int n = nodeCount();
    nextSelf_ = selfStrategy;
    nextOther_ = otherStrategy;
    for (int node = 0; node < n; ++node) {
        const auto d = static_cast<std::uint32_t>(degree(node));
        if (d == 0) continue;
        const int other = fermiNeighbour(node, static_cast<int>(drawBelow(random, d)));
        const double chance = drawUnit(random);
        if (selfStrategy[other] == selfStrategy[node] && otherStrategy[other] == otherStrategy[node]) continue;
        const bool adopt =
            fermi ? fermiAdopts(score[node], score[other], chance) : proportionalAdopts(node, other, chance);
        if (adopt) {
            nextSelf_[node] = selfStrategy[other];
            nextOther_[node] = otherStrategy[other];
        }
    }
    selfStrategy.swap(nextSelf_);
    otherStrategy.swap(nextOther_);
    scoreAll();
}

void GraphWorld::stepProportionalSequential(std::uint32_t updates) {
    const auto n = static_cast<std::uint32_t>(nodeCount());
    for (std::uint32_t u = 0; u < updates; ++u) {
        const auto node = static_cast<int>(drawBelow(random, n));
        const auto d = static_cast<std::uint32_t>(degree(node));
        if (d == 0) continue;
        const int other = fermiNeighbour(node, static_cast<int>(drawBelow(random, d)));
        const double chance = drawUnit(random);
        if (proportionalAdopts(node, other, chance)) takePair(node, other);
    }
}

void GraphWorld::stepDeathBirth(std::uint32_t updates) {
    const auto n = static_cast<std::uint32_t>(nodeCount());
    std::vector<double> weight;
    for (std::uint32_t u = 0; u < updates; ++u) {
        const auto node = static_cast<int>(drawBelow(random, n));
        const int d = degree(node);
        if (d == 0) continue;
        const double chance = drawUnit(random);
        // Nothing changes where every neighbour holds the dying node's pair.
        bool differs = false;
        double top = -INFINITY;
        for (int k = 0; k < d; ++k) {
            const int v = fermiNeighbour(node, k);
            differs = differs || selfStrategy[v] != selfStrategy[node] || otherStrategy[v] != otherStrategy[node];
            top = std::max(top, score[v]);
        }
        if (!differs) continue;
        // Fitness relative to the best neighbour, which weighs 1: the sum
        // lies in [1, d] whatever the scores.
        weight.resize(static_cast<std::size_t>(d));
        double total = 0.0;
        for (int k = 0; k < d; ++k) {
            weight[k] = std::exp(selection * (score[fermiNeighbour(node, k)] - top));
            total += weight[k];
        }
        const int pick = pickByWeight(weight.data(), d, total, chance);
        takePair(node, fermiNeighbour(node, pick));
    }
}

void GraphWorld::buildFitness() {
    const auto n = static_cast<std::size_t>(nodeCount());
    reference_ = *std::max_element(score.begin(), score.end());
    std::vector<double>& values = fitness_.values();
    values.resize(n);
    for (std::size_t i = 0; i < n; ++i) values[i] = std::exp(selection * (score[i] - reference_));
    // The best node's fitness is exp(0) = 1, and no node's lies above it.
    fitness_.rebuild(1.0);
}

void GraphWorld::setFitness(int node) {
    fitness_.set(node, std::exp(selection * (score[node] - reference_)));
}

void GraphWorld::stepBirthDeath(std::uint32_t updates) {
    // Fitness is measured from the largest score at the start of the
    // generation: the best node weighs 1, so the total is at least 1.
    buildFitness();
    for (std::uint32_t u = 0; u < updates; ++u) {
        int parent = fitness_.draw(random);
        if (parent < 0) [[unlikely]] {
            // Every fitness has fallen out of reach of the reference: the
            // best node now weighs 1 again.
            buildFitness();
            parent = fitness_.draw(random);
        }
        const auto d = static_cast<std::uint32_t>(degree(parent));
        if (d == 0) continue;
        const int child = fermiNeighbour(parent, static_cast<int>(drawBelow(random, d)));
        if (!takePair(child, parent)) continue;
        // The child's score and those of the nodes it plays have changed,
        // set in the order of the lattice's games on a lattice graph: the
        // order of the bins' lists, and so the draws' outcomes, follow it.
        setFitness(child);
        double largest = fitness_.fitness(child);
        for (int k = 0; k < degree(child); ++k) {
            const int v = fermiNeighbour(child, k);
            setFitness(v);
            largest = std::max(largest, fitness_.fitness(v));
        }
        if (largest > kFitnessRebase || fitness_.boundBelow(1.0 / kFitnessRebase)) buildFitness();
    }
}

}  // namespace talvane
