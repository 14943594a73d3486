// The update rules of evolutionary game theory on lattices beyond the
// original best rule: Fermi and proportional imitation on the synchronous schedule,
// proportional imitation on the random-sequential one, and the Moran
// death-birth and birth-death processes. Like the other variants they draw
// only from the world's own generator, in the order stepVariant documents,
// and keep the scores current as pairs change.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "world.h"

namespace talvane {

double payoffRangeOf(const PayoffTable& table, bool extraPoint) {
    double low = table[0][0];
    double high = low;
    for (const auto& row : table) {
        for (const double entry : row) {
            low = std::min(low, entry);
            high = std::max(high, entry);
        }
    }
    return high - low + (extraPoint ? 1.0 : 0.0);
}

double World::payoffRange() const { return payoffRangeOf(payoffTable, extraPoint); }

int World::gameCount(int cell) const {
    int games[8];
    int count = 0;
    gamesOf(cell, games);
    for (int g = 0; g < 8; ++g) count += games[g] >= 0;
    return count + (playSelf ? 1 : 0);
}

bool World::proportionalAdopts(int cell, int other, double chance) const {
    const double gain = score[other] - score[cell];
    if (!(gain > 0.0)) return false;
    const double range = payoffRange();
    if (!(range > 0.0)) return false;
    const int k = std::max(gameCount(cell), gameCount(other));
    return chance < gain / (static_cast<double>(k) * range);
}

double World::memoExp(double x) {
    std::uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    VariantScratch::FermiMemo& memo = variant_.expMemo[(bits * 0x9e37'79b9'7f4a'7c15ull) >> 52];
    if (memo.bits != bits) {
        memo.bits = bits;
        memo.chance = std::exp(x);
    }
    return memo.chance;
}

inline double World::fitnessFrom(double* table, double difference) {
    if (table && difference <= 0.0 && difference > -kFitnessTableSize) {
        // -difference lies in [0, kFitnessTableSize): through int, the
        // conversion needs none of the steps a conversion to size_t takes.
        double& entry = table[static_cast<std::size_t>(static_cast<int>(-difference))];
        if (entry < 0.0) entry = std::exp(selection * difference);
        return entry;
    }
    return memoExp(selection * difference);
}

double* World::fitnessTable() {
    VariantScratch& v = variant_;
    if (!v.exact) return nullptr;
    if (v.expTableSelection != selection || v.expTable.empty()) {
        v.expTable.assign(kFitnessTableSize, -1.0);
        v.expTableSelection = selection;
    }
    return v.expTable.data();
}

double World::fitnessOf(double difference) { return fitnessFrom(fitnessTable(), difference); }

void World::stepSynchronousImitation(bool fermi) {
    // Every cell decides from the state the generation started with; the
    // new pairs are written aside and the world rescored once at the end.
    const int cells = cellCount();
    variant_.nextSelf = selfStrategy;
    variant_.nextOther = otherStrategy;
    const double range = payoffRange();
    if (fermi) prepareFermiChances();
    int games[8];
    int neighbours[8];
    for (int cell = 0; cell < cells; ++cell) {
        gamesOf(cell, games);
        const int count = presentOf(games, neighbours);
        const int other = neighbours[drawBelow(random, static_cast<std::uint32_t>(count))];
        const double chance = drawUnit(random);
        if (selfStrategy[other] == selfStrategy[cell] && otherStrategy[other] == otherStrategy[cell]) continue;
        bool adopt;
        if (fermi) {
            // As fermiAdopts decides, for every chance drawUnit gives.
            adopt = chance < fermiChance(score[cell] - score[other]);
        } else {
            const double gain = score[other] - score[cell];
            adopt = gain > 0.0 && range > 0.0 &&
                    chance < gain / (static_cast<double>(std::max(count + (playSelf ? 1 : 0), gameCount(other))) *
                                     range);
        }
        if (adopt) {
            variant_.nextSelf[cell] = selfStrategy[other];
            variant_.nextOther[cell] = otherStrategy[other];
        }
    }
    selfStrategy.swap(variant_.nextSelf);
    otherStrategy.swap(variant_.nextOther);
    // The whole-grid scoring gives scoreCell's numbers for every cell, much
    // faster than cell by cell; scoreAll also works out whether the scores
    // are whole numbers, which does not change with the pairs.
    const bool exact = variant_.exact;
    scoreCurrentState(score);
    variant_.exact = exact;
    variant_.valid = false;
}

void World::stepProportionalSequential(std::uint32_t updates) {
    const auto cells = static_cast<std::uint32_t>(cellCount());
    const double range = payoffRange();
    if (!(range > 0.0)) {
        // No score can exceed another's: the draws are made and nothing changes.
        for (std::uint32_t u = 0; u < updates; ++u) {
            int games[8];
            int neighbours[8];
            const auto cell = static_cast<int>(drawBelow(random, cells));
            gamesOf(cell, games);
            drawBelow(random, static_cast<std::uint32_t>(presentOf(games, neighbours)));
            drawUnit(random);
        }
        return;
    }
    const int full = shape_.neighbourhood == Neighbourhood::Moore ? 8 : 4;
    const int self = playSelf ? 1 : 0;
    int games[8];
    int neighbours[8];
    for (std::uint32_t u = 0; u < updates; ++u) {
        const auto cell = static_cast<int>(drawBelow(random, cells));
        const bool inside = gamesOf(cell, games);
        const int count = inside ? full : presentOf(games, neighbours);
        const int other = (inside ? games : neighbours)[drawBelow(random, static_cast<std::uint32_t>(count))];
        const double chance = drawUnit(random);
        const double gain = score[other] - score[cell];
        if (!(gain > 0.0)) continue;
        // Away from the edges every cell plays the same number of games.
        const int k = inside ? count + self : std::max(count + self, gameCount(other));
        if (chance < gain / (static_cast<double>(k) * range)) takePair(cell, other, games);
    }
}

void World::stepDeathBirth(std::uint32_t updates) {
    const auto cells = static_cast<std::uint32_t>(cellCount());
    int games[8];
    int neighbours[8];
    double weight[8];
    // The table does not move while the selection stays.
    double* const table = fitnessTable();
    const int full = shape_.neighbourhood == Neighbourhood::Moore ? 8 : 4;
    const CellCode* const self = selfStrategy.data();
    const CellCode* const other = otherStrategy.data();
    for (std::uint32_t u = 0; u < updates; ++u) {
        const auto cell = static_cast<int>(drawBelow(random, cells));
        const double chance = drawUnit(random);
        // Away from the edges the neighbours are the first `full` games.
        const bool inside = gamesOf(cell, games);
        const int* const around = inside ? games : neighbours;
        const int count = inside ? full : presentOf(games, neighbours);
        // Nothing changes where every neighbour holds the dying cell's pair.
        int differs = 0;
        for (int k = 0; k < count; ++k) {
            const int n = around[k];
            differs |= (self[n] ^ self[cell]) | (other[n] ^ other[cell]);
        }
        if (differs == 0) continue;
        // Fitness relative to the best neighbour: that one weighs 1, so the
        // sum lies in [1, 8] whatever the scores.
        double top = score[around[0]];
        for (int k = 1; k < count; ++k) top = std::max(top, score[around[k]]);
        double total = 0.0;
        double running[8];
        for (int k = 0; k < count; ++k) {
            const double difference = score[around[k]] - top;
            // fitnessFrom, knowing that no difference lies above 0 (top is
            // the largest score; a NaN fails the test and goes the long way).
            if (table && difference > -kFitnessTableSize) [[likely]] {
                double& entry = table[static_cast<std::size_t>(static_cast<int>(-difference))];
                if (entry < 0.0) [[unlikely]] entry = std::exp(selection * difference);
                weight[k] = entry;
            } else {
                weight[k] = memoExp(selection * difference);
            }
            total += weight[k];
            running[k] = total;
        }
        takePair(cell, around[pickByRunningSums(weight, running, count, total, chance)], games);
    }
}

void World::buildFitness() {
    VariantScratch& v = variant_;
    const auto cells = static_cast<std::size_t>(cellCount());
    // The largest score, in four running maxima: std::max_element's value
    // for any scores but NaNs, without its chain of one comparison a cell.
    const double* const scores = score.data();
    double top[4] = {scores[0], scores[0], scores[0], scores[0]};
    std::size_t i = 0;
    for (; i + 4 <= cells; i += 4) {
        for (int k = 0; k < 4; ++k) top[k] = std::max(top[k], scores[i + static_cast<std::size_t>(k)]);
    }
    for (; i < cells; ++i) top[0] = std::max(top[0], scores[i]);
    v.reference = std::max(std::max(top[0], top[1]), std::max(top[2], top[3]));
    std::vector<double>& values = v.fitness.values();
    values.resize(cells);
    double* const table = fitnessTable();
    const double reference = v.reference;
    for (std::size_t c = 0; c < cells; ++c) values[c] = fitnessFrom(table, scores[c] - reference);
    // The best cell's fitness is exp(0) = 1, and no cell's lies above it.
    v.fitness.rebuild(1.0);
}

void World::stepBirthDeath(std::uint32_t updates) {
    // Fitness is measured from the largest score at the start of the
    // generation: the best cell weighs 1, so the total is at least 1.
    buildFitness();
    VariantScratch& v = variant_;
    // The table does not move while the selection stays.
    double* const table = fitnessTable();
    const int full = shape_.neighbourhood == Neighbourhood::Moore ? 8 : 4;
    int games[8];
    int neighbours[8];
    for (std::uint32_t u = 0; u < updates; ++u) {
        int parent = v.fitness.draw(random);
        if (parent < 0) [[unlikely]] {
            // Every fitness has fallen out of reach of the reference: the
            // best cell now weighs 1 again.
            buildFitness();
            parent = v.fitness.draw(random);
        }
        // Away from the edges the neighbours are the first `full` games.
        const bool inside = gamesOf(parent, games);
        const int count = inside ? full : presentOf(games, neighbours);
        const int child = (inside ? games : neighbours)[drawBelow(random, static_cast<std::uint32_t>(count))];
        // Most draws find the child holding the parent's pair already; the
        // child's games are only needed when it changes.
        if (selfStrategy[child] == selfStrategy[parent] && otherStrategy[child] == otherStrategy[parent]) continue;
        int childGames[8];
        gamesOf(child, childGames);
        // The scores the copy may change, as they were.
        double before[9];
        before[8] = score[child];
        for (int g = 0; g < 8; ++g) before[g] = childGames[g] >= 0 ? score[childGames[g]] : 0.0;
        takePair(child, parent, childGames);
        // The child's score and those of the cells it plays may have
        // changed. A cell whose score stayed keeps its fitness: setting it
        // again would change nothing, and it cannot be above the rebase,
        // which its last setting would have caught.
        double largest = 0.0;
        const auto refit = [&](int cell, double was) {
            if (score[cell] == was) return;
            const double fitness = fitnessFrom(table, score[cell] - v.reference);
            v.fitness.set(cell, fitness);
            largest = std::max(largest, fitness);
        };
        refit(child, before[8]);
        for (int g = 0; g < 8; ++g) {
            if (childGames[g] >= 0) refit(childGames[g], before[g]);
        }
        if (largest > kFitnessRebase || v.fitness.boundBelow(1.0 / kFitnessRebase)) buildFitness();
    }
}

}  // namespace talvane
