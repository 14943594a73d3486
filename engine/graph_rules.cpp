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

void GraphWorld::buildFitnessTree() {
    const int n = nodeCount();
    leaves_ = 1;
    while (leaves_ < n) leaves_ *= 2;
    fitnessTree_.assign(static_cast<std::size_t>(2 * leaves_), 0.0);
    reference_ = *std::max_element(score.begin(), score.end());
    for (int i = 0; i < n; ++i) fitnessTree_[leaves_ + i] = std::exp(selection * (score[i] - reference_));
    for (int entry = leaves_ - 1; entry >= 1; --entry) {
        fitnessTree_[entry] = fitnessTree_[2 * entry] + fitnessTree_[2 * entry + 1];
    }
}

void GraphWorld::setFitnessLeaf(int node) {
    int entry = leaves_ + node;
    fitnessTree_[entry] = std::exp(selection * (score[node] - reference_));
    for (entry >>= 1; entry >= 1; entry >>= 1) {
        fitnessTree_[entry] = fitnessTree_[2 * entry] + fitnessTree_[2 * entry + 1];
    }
}

void GraphWorld::stepBirthDeath(std::uint32_t updates) {
    // Fitness is measured from the largest score at the start of the
    // generation: the best node weighs 1, so the total is at least 1.
    buildFitnessTree();
    for (std::uint32_t u = 0; u < updates; ++u) {
        // Down the tree to the leaf where chance * total falls; never into
        // a side that weighs nothing.
        double target = drawUnit(random) * fitnessTree_[1];
        int entry = 1;
        while (entry < leaves_) {
            const double left = fitnessTree_[2 * entry];
            if (target < left || fitnessTree_[2 * entry + 1] <= 0.0) {
                entry = 2 * entry;
            } else {
                target -= left;
                entry = 2 * entry + 1;
            }
        }
        const int parent = entry - leaves_;
        const auto d = static_cast<std::uint32_t>(degree(parent));
        if (d == 0) continue;
        const int child = fermiNeighbour(parent, static_cast<int>(drawBelow(random, d)));
        if (!takePair(child, parent)) continue;
        // The child's score and those of the nodes it plays have changed.
        // Every entry of the tree is the sum of its two below, so setting
        // the leaves one path at a time gives the sums the lattice's
        // level-by-level pass gives.
        double largest = 0.0;
        setFitnessLeaf(child);
        largest = std::max(largest, fitnessTree_[leaves_ + child]);
        for (std::uint32_t e = graph_.offsets[child]; e < graph_.offsets[child + 1]; ++e) {
            const int v = graph_.neighbours[e];
            setFitnessLeaf(v);
            largest = std::max(largest, fitnessTree_[leaves_ + v]);
        }
        if (largest > kFitnessRebase || fitnessTree_[1] < 1.0 / kFitnessRebase) buildFitnessTree();
    }
}

}  // namespace talvane
