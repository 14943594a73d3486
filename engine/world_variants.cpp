// The model's variants for research: asynchronous (random sequential)
// updating, Fermi (pairwise comparison) imitation and mutation. They draw
// every random number from the world's own generator, so a seed repeats a
// run exactly, and they keep the scores current cell by cell: a cell's score
// depends only on the cells it plays, so a change of one pair touches the
// score of that cell and of its neighbours, nothing else.
#include <bit>
#include <cmath>
#include <cstring>

#include "mutation.h"
#include "world.h"

namespace talvane {

namespace {

constexpr double kTwoTo32 = 4294967296.0;

}  // namespace

const char* updateRuleName(UpdateRule rule) {
    switch (rule) {
        case UpdateRule::Synchronous: return "synchronous";
        case UpdateRule::Asynchronous: return "asynchronous";
        case UpdateRule::Fermi: return "fermi";
        case UpdateRule::Ecology: return "ecology";
        default: return imitationName(imitationOf(rule));
    }
}

bool parseUpdateRule(const std::string& text, UpdateRule& out) {
    if (text == "synchronous") out = UpdateRule::Synchronous;
    else if (text == "asynchronous") out = UpdateRule::Asynchronous;
    else if (text == "fermi") out = UpdateRule::Fermi;
    else if (text == "ecology") out = UpdateRule::Ecology;
    else return false;
    return true;
}

ImitationRule imitationOf(UpdateRule rule) {
    switch (rule) {
        case UpdateRule::Fermi:
        case UpdateRule::FermiSynchronous: return ImitationRule::Fermi;
        case UpdateRule::Proportional:
        case UpdateRule::ProportionalSequential: return ImitationRule::Proportional;
        case UpdateRule::DeathBirth: return ImitationRule::DeathBirth;
        case UpdateRule::BirthDeath: return ImitationRule::BirthDeath;
        default: return ImitationRule::Best;
    }
}

Schedule scheduleOf(UpdateRule rule) {
    switch (rule) {
        case UpdateRule::Synchronous:
        case UpdateRule::FermiSynchronous:
        case UpdateRule::Proportional: return Schedule::Synchronous;
        default: return Schedule::RandomSequential;
    }
}

bool combineRule(ImitationRule rule, Schedule schedule, UpdateRule& out) {
    const bool sync = schedule == Schedule::Synchronous;
    switch (rule) {
        case ImitationRule::Best: out = sync ? UpdateRule::Synchronous : UpdateRule::Asynchronous; return true;
        case ImitationRule::Fermi: out = sync ? UpdateRule::FermiSynchronous : UpdateRule::Fermi; return true;
        case ImitationRule::Proportional:
            out = sync ? UpdateRule::Proportional : UpdateRule::ProportionalSequential;
            return true;
        case ImitationRule::DeathBirth: out = UpdateRule::DeathBirth; return !sync;
        case ImitationRule::BirthDeath: out = UpdateRule::BirthDeath; return !sync;
    }
    return false;
}

Schedule defaultSchedule(ImitationRule rule) {
    return rule == ImitationRule::Best || rule == ImitationRule::Proportional ? Schedule::Synchronous
                                                                              : Schedule::RandomSequential;
}

const char* imitationName(ImitationRule rule) {
    switch (rule) {
        case ImitationRule::Fermi: return "fermi";
        case ImitationRule::Proportional: return "proportional";
        case ImitationRule::DeathBirth: return "death-birth";
        case ImitationRule::BirthDeath: return "birth-death";
        default: return "best";
    }
}

bool parseImitation(const std::string& text, ImitationRule& out) {
    if (text == "best") out = ImitationRule::Best;
    else if (text == "fermi") out = ImitationRule::Fermi;
    else if (text == "proportional") out = ImitationRule::Proportional;
    else if (text == "death-birth") out = ImitationRule::DeathBirth;
    else if (text == "birth-death") out = ImitationRule::BirthDeath;
    else return false;
    return true;
}

const char* scheduleName(Schedule schedule) {
    return schedule == Schedule::Synchronous ? "synchronous" : "random-sequential";
}

bool parseSchedule(const std::string& text, Schedule& out) {
    if (text == "synchronous") out = Schedule::Synchronous;
    else if (text == "random-sequential") out = Schedule::RandomSequential;
    else return false;
    return true;
}

int World::neighboursOf(int cell, int out[8]) const {
    int games[8];
    gamesOf(cell, games);
    return presentOf(games, out);
}

double World::scoreAt(int cell) const {
    int games[8];
    gamesOf(cell, games);
    return scoreOf(cell, games);
}

namespace {

// scoreCell's sum for a cell with colour `color` and pair (self, other), over
// the games kGames - 1 down to 0, game g being against cell playerAt(g) or
// none where that is negative (when `someMissing`).
template <int kGames, bool someMissing, class PlayerAt>
[[gnu::always_inline]] inline double sumOfGames(const PayoffTable& payoffTable, const CellCode* colors,
                                                const CellCode* selfCodes, const CellCode* otherCodes,
                                                bool extraPoint, bool playSelf, int color, int self, int other,
                                                PlayerAt playerAt) {
    // Only a cell that treats its own colour differently earns the extra point.
    const double bonus = (extraPoint && self != other) ? 1.0 : 0.0;
    // Colours lie at random, so the entry of each game is found with masks
    // rather than a branch that would be mispredicted half the time. A game
    // of another colour adds +0.0 as its bonus, which changes no sum: the
    // sum starts at +0.0 and so is never -0.0.
    const double* table = payoffTable[0].data();
    const int sameRow = self * kCodeCount;
    const int otherRow = other * kCodeCount;
    double sum = 0.0;
    for (int g = kGames - 1; g >= 0; --g) {
        const int n = playerAt(g);
        if (someMissing && n < 0) continue;
        const int same = -static_cast<int>(colors[n] == color);  // all ones or zero
        const int codeSame = selfCodes[n];
        const int codeOther = otherCodes[n];
        const int entry = (otherRow + codeOther) ^ (((sameRow + codeSame) ^ (otherRow + codeOther)) & same);
        sum += table[entry] + bonus * static_cast<double>(same & 1);
    }
    return sum + (playSelf ? payoffTable[self][self] + bonus : 0.0);
}

}  // namespace

double World::scoreOf(int cell, const int games[8]) const {
    return sumOfGames<8, true>(payoffTable, cellColor.data(), selfStrategy.data(), otherStrategy.data(), extraPoint,
                               playSelf, cellColor[cell], selfStrategy[cell], otherStrategy[cell],
                               [games](int g) { return games[g]; });
}

template <int kGames>
void World::rescoreInside(int cell, const int offsets[8]) {
    const CellCode* const colors = cellColor.data();
    const CellCode* const selfCodes = selfStrategy.data();
    const CellCode* const otherCodes = otherStrategy.data();
    double* const scores = score.data();
    const auto rescore = [&](int at) {
        scores[at] = sumOfGames<kGames, false>(payoffTable, colors, selfCodes, otherCodes, extraPoint, playSelf,
                                               colors[at], selfCodes[at], otherCodes[at],
                                               [at, offsets](int g) { return at + offsets[g]; });
    };
    rescore(cell);
    for (int g = 0; g < kGames; ++g) rescore(cell + offsets[g]);
}

void World::scoreAll() {
    // Whole numbers up to 2^40 keep every score (nine games and the extra
    // points) a whole number below 2^53, where adding the change of one game
    // gives exactly the sum scoreCell computes.
    bool exact = true;
    for (const auto& row : payoffTable) {
        for (const double entry : row) exact = exact && entry == std::trunc(entry) && std::fabs(entry) <= 0x1p40;
    }
    variant_.exact = exact;
    variant_.valid = false;
    // The whole-grid scoring: scoreAt's numbers for every cell, summed in
    // the same order, many cells at a time.
    scoreCurrentState(score);
}

void World::prepareVariantScores() {
    const VariantScratch& v = variant_;
    if (v.valid && v.table == payoffTable && v.playSelf == playSelf && v.extraPoint == extraPoint &&
        v.color == cellColor && v.self == selfStrategy && v.other == otherStrategy) {
        // The state is the one kept, so its pairs are counted as they were.
        pairCounts_ = v.pairCounts;
        return;
    }
    scoreAll();
    countPairs();
}

void World::keepVariantScores() {
    variant_.color = cellColor;
    variant_.self = selfStrategy;
    variant_.other = otherStrategy;
    variant_.table = payoffTable;
    variant_.playSelf = playSelf;
    variant_.extraPoint = extraPoint;
    variant_.pairCounts = pairCounts_;
    variant_.valid = true;
}

// The new pair of `cell` changes its own score and, by one game each, the
// scores of the cells that play it.
void World::rescoreAround(int cell, const int games[8], int oldSelf, int oldOther) {
    if (!variant_.exact) {
        // Each score summed again in scoreCell's order. When the cell and
        // all it plays lie away from the edges, each one's games are at
        // fixed offsets, with none missing.
        const int row = rowOf(cell);
        const int col = cell - row * shape_.cols;
        if (row >= 2 && row < shape_.rows - 2 && col >= 2 && col < shape_.cols - 2) {
            const int cols = shape_.cols;
            const int offsets[8] = {-1, 1, -cols, cols, -cols - 1, cols - 1, -cols + 1, cols + 1};
            if (shape_.neighbourhood == Neighbourhood::Moore) rescoreInside<8>(cell, offsets);
            else rescoreInside<4>(cell, offsets);
            return;
        }
        score[cell] = scoreOf(cell, games);
        for (int g = 0; g < 8; ++g) {
            if (games[g] >= 0) score[games[g]] = scoreAt(games[g]);
        }
        return;
    }
    // Whole numbers: every sum is exact in any order, so one pass over the
    // neighbours sums the cell's own games and adds the change of each
    // neighbour's game against it. A game against the own colour uses the
    // self strategies, one against another colour the others strategies:
    // entry k < 8 of the tables below is for a same-colour neighbour whose
    // self strategy is k, entry 8 + k for another colour's neighbour whose
    // others strategy is k. Which one is selected with a mask: the colours
    // lie at random and a branch on them would be mispredicted half the time.
    const double* table = payoffTable[0].data();
    const int color = cellColor[cell];
    const int self = selfStrategy[cell];
    const int other = otherStrategy[cell];
    const double bonus = (extraPoint && self != other) ? 1.0 : 0.0;
    double own[2 * kCodeCount];     // the cell's payoff in the game
    double change[2 * kCodeCount];  // the change of the neighbour's payoff
    for (int k = 0; k < kCodeCount; ++k) {
        own[k] = table[self * kCodeCount + k] + bonus;
        own[kCodeCount + k] = table[other * kCodeCount + k];
        change[k] = table[k * kCodeCount + self] - table[k * kCodeCount + oldSelf];
        change[kCodeCount + k] = table[k * kCodeCount + other] - table[k * kCodeCount + oldOther];
    }
    double sum = playSelf ? table[self * kCodeCount + self] + bonus : 0.0;
    for (int g = 0; g < 8; ++g) {
        const int n = games[g];
        if (n < 0) continue;
        const int same = -static_cast<int>(cellColor[n] == color);  // all ones or zero
        const int theirSelf = selfStrategy[n];
        const int theirOther = kCodeCount + otherStrategy[n];
        const int entry = theirOther ^ ((theirSelf ^ theirOther) & same);
        sum += own[entry];
        score[n] += change[entry];
    }
    score[cell] = sum;
}

bool World::takePair(int cell, int from, const int games[8]) {
    const int oldSelf = selfStrategy[cell];
    const int oldOther = otherStrategy[cell];
    if (selfStrategy[from] == oldSelf && otherStrategy[from] == oldOther) return false;
    selfStrategy[cell] = selfStrategy[from];
    otherStrategy[cell] = otherStrategy[from];
    // The counts follow the change (an empty cell, code -1, is in none).
    if (oldSelf >= 0) --pairCounts_[static_cast<std::size_t>((oldSelf & 7) * kCodeCount + (oldOther & 7))];
    if (selfStrategy[from] >= 0) {
        ++pairCounts_[static_cast<std::size_t>((selfStrategy[from] & 7) * kCodeCount + (otherStrategy[from] & 7))];
    }
    rescoreAround(cell, games, oldSelf, oldOther);
    return true;
}

bool World::updateCell(int cell, std::uint32_t draw) {
    int games[8];
    gamesOf(cell, games);
    // chooseCell's nine candidates: the diagonals, up, left, down, right,
    // the cell itself; a missing one scores -infinity.
    const int order[9] = {games[4], games[5], games[6], games[7], games[2], games[0], games[3], games[1], cell};
    double scores[9];
    for (int k = 0; k < 9; ++k) scores[k] = order[k] < 0 ? -HUGE_VAL : score[order[k]];
    double best = scores[8];
    for (int k = 0; k < 8; ++k) best = scores[k] > best ? scores[k] : best;
    // chooseCell's scan starts its best at 0, so when every score is below
    // zero nothing is taken; a cell that scores as well as the best keeps
    // its own pair.
    if (best < 0.0 || scores[8] >= best) return false;
    // The scan from draw % 8 round to draw % 8 - 1 takes the last candidate
    // it meets that scores the best: the highest such index below the start
    // if there is one, else the highest of them all.
    unsigned atBest = 0;
    for (int k = 0; k < 8; ++k) atBest |= static_cast<unsigned>(scores[k] == best) << k;
    const unsigned beforeStart = atBest & ((1u << (draw % 8)) - 1u);
    const int pick = std::bit_width(beforeStart != 0 ? beforeStart : atBest) - 1;
    return takePair(cell, order[pick], games);
}

bool World::compareWith(int cell, int other, double chance, const int games[8]) {
    // The same pair is no change, whatever the chance.
    if (selfStrategy[other] == selfStrategy[cell] && otherStrategy[other] == otherStrategy[cell]) return false;
    return fermiAdopts(score[cell], score[other], chance) && takePair(cell, other, games);
}

bool World::fermiAdopts(double own, double theirs, double chance) {
    const double x = (own - theirs) / noise;
    // Far from zero the exponential decides nothing: at x <= -40, exp(x) <
    // 2^-53 and 1 / (1 + exp(x)) rounds to exactly 1; at x >= 40 it is below
    // 1e-17, under any chance from drawUnit.
    bool adopt;
    if (x <= -40.0) adopt = chance < 1.0;
    else if (x >= 40.0 && chance >= 1e-17) adopt = false;
    else {
        std::uint64_t bits;
        std::memcpy(&bits, &x, sizeof bits);  // std::bit_cast is missing from the page's library
        VariantScratch::FermiMemo& memo = variant_.fermiMemo[(bits * 0x9e37'79b9'7f4a'7c15ull) >> 58];
        if (memo.bits != bits) {
            memo.bits = bits;
            memo.chance = 1.0 / (1.0 + std::exp(x));
        }
        adopt = chance < memo.chance;
    }
    return adopt;
}

double World::fermiChanceOf(double difference) {
    VariantScratch& v = variant_;
    // Far from zero the bound needs no exp, nor a place in the memo: beyond
    // 41 noises x lies beyond 40, where fermiAdopts decides without exp.
    if (difference < v.fermiBelow) return 1.0;
    if (difference > v.fermiAbove) return 0.0;
    std::uint64_t bits;
    std::memcpy(&bits, &difference, sizeof bits);
    VariantScratch::FermiMemo& memo = v.fermiByDifference[(bits * 0x9e37'79b9'7f4a'7c15ull) >> 56];
    if (memo.bits != bits) [[unlikely]] {
        // As fermiAdopts decides: x = difference / noise, and a chance below
        // 1 / (1 + exp(x)) adopts. Its shortcuts beyond |x| = 40 decide as
        // the bounds 1 and 0 do for every chance drawUnit gives (none lies
        // below 1e-17).
        memo.bits = bits;
        const double x = difference / noise;
        if (x <= -40.0) memo.chance = 1.0;
        else if (x >= 40.0) memo.chance = 0.0;
        else memo.chance = 1.0 / (1.0 + std::exp(x));
    }
    return memo.chance;
}

void World::prepareFermiChances() {
    VariantScratch& v = variant_;
    // The chances are kept by score difference for one noise.
    if (std::memcmp(&v.fermiNoise, &noise, sizeof noise) != 0) {
        v.fermiByDifference.fill(VariantScratch::FermiMemo{});
        v.fermiNoise = noise;
        // NaN bounds, which no difference passes, unless the noise is above 0.
        const double far = noise > 0.0 ? 41.0 * noise : std::numeric_limits<double>::quiet_NaN();
        v.fermiBelow = -far;
        v.fermiAbove = far;
        // Beyond the bounds the chance needs no table; too wide a table
        // would not stay in the caches.
        v.fermiSpan = noise > 0.0 && far <= 32768.0 ? static_cast<int>(far) : -1;
        v.fermiByWhole.assign(v.fermiSpan >= 0 ? static_cast<std::size_t>(2 * v.fermiSpan + 1) : 0, -1.0);
    }
}

void World::fermiUpdates(std::uint32_t updates) {
    prepareFermiChances();
    const auto cells = static_cast<std::uint32_t>(cellCount());
    const int cols = shape_.cols;
    const bool moore = shape_.neighbourhood == Neighbourhood::Moore;
    const auto full = static_cast<std::uint32_t>(moore ? 8 : 4);
    // An inside cell's games as gamesOf lists them, as offsets from the cell.
    const int offsets[8] = {-1, 1, -cols, cols, -cols - 1, cols - 1, -cols + 1, cols + 1};
    const CellCode* const self = selfStrategy.data();
    const CellCode* const other = otherStrategy.data();
    const double* const scores = score.data();
    int games[8];
    int neighbours[8];
    // The cell, one of its neighbours and the chance are drawn for every
    // update, whatever follows, and what is drawn depends on the shape
    // alone: a block of updates is drawn first, the same numbers in the
    // same order, and the cells the block will read are fetched meanwhile
    // (in a large world they lie beyond the nearest cache).
    constexpr std::uint32_t kBlock = 64;
    struct Drawn {
        int cell, chosen;
        double chance;
    };
    std::array<Drawn, kBlock> block;
    for (std::uint32_t first = 0; first < updates; first += kBlock) {
        const std::uint32_t count = std::min(kBlock, updates - first);
        for (std::uint32_t k = 0; k < count; ++k) {
            Drawn& d = block[k];
            d.cell = static_cast<int>(drawBelow(random, cells));
            const int row = rowOf(d.cell);
            const int col = d.cell - row * cols;
            const bool inside = static_cast<unsigned>(row - 1) < static_cast<unsigned>(shape_.rows - 2) &&
                                static_cast<unsigned>(col - 1) < static_cast<unsigned>(cols - 2);
            if (inside) [[likely]] {
                d.chosen = d.cell + offsets[drawBelow(random, full)];
            } else {
                gamesBesideEdge(row, col, games);
                const auto present = static_cast<std::uint32_t>(presentOf(games, neighbours));
                d.chosen = neighbours[drawBelow(random, present)];
            }
            d.chance = drawUnit(random);
            __builtin_prefetch(scores + d.cell);
            __builtin_prefetch(scores + d.chosen);
            __builtin_prefetch(self + d.chosen);
            __builtin_prefetch(other + d.chosen);
        }
        for (std::uint32_t k = 0; k < count; ++k) {
            const Drawn& d = block[k];
            // The same pair is no change, whatever the chance.
            if (self[d.chosen] == self[d.cell] && other[d.chosen] == other[d.cell]) continue;
            if (!(d.chance < fermiChance(scores[d.cell] - scores[d.chosen]))) continue;
            const int row = rowOf(d.cell);
            const int col = d.cell - row * cols;
            if (static_cast<unsigned>(row - 1) < static_cast<unsigned>(shape_.rows - 2) &&
                static_cast<unsigned>(col - 1) < static_cast<unsigned>(cols - 2)) {
                gamesOf(d.cell, games);
            } else {
                gamesBesideEdge(row, col, games);
            }
            takePair(d.cell, d.chosen, games);
        }
    }
}

bool World::compareWithNeighbour(int cell, int neighbour, double chance) {
    int games[8];
    gamesOf(cell, games);
    int neighbours[8];
    presentOf(games, neighbours);
    return compareWith(cell, neighbours[neighbour], chance, games);
}

void World::stepVariant() {
    prepareVariantScores();
    if (updateRule == UpdateRule::FermiSynchronous || updateRule == UpdateRule::Proportional) {
        stepSynchronousImitation(updateRule == UpdateRule::FermiSynchronous);
        countPairs();
    } else {
        // Each change of pair updates the counts as it is made.
        sequentialUpdates(static_cast<std::uint32_t>(cellCount()));
    }
    // The whole-grid step must not reuse what it computed before these updates.
    forgetLastStep();
    keepVariantScores();
    ++generation;
}

void World::singleUpdates(std::uint32_t count) {
    prepareVariantScores();
    sequentialUpdates(count);
    forgetLastStep();
    keepVariantScores();
}

void World::sequentialUpdates(std::uint32_t updates) {
    const auto cells = static_cast<std::uint32_t>(cellCount());
    if (updateRule == UpdateRule::ProportionalSequential) {
        stepProportionalSequential(updates);
    } else if (updateRule == UpdateRule::DeathBirth) {
        stepDeathBirth(updates);
    } else if (updateRule == UpdateRule::BirthDeath) {
        stepBirthDeath(updates);
    } else if (updateRule == UpdateRule::Fermi) {
        fermiUpdates(updates);
    } else {
        for (std::uint32_t u = 0; u < updates; ++u) {
            const auto cell = static_cast<int>(drawBelow(random, cells));
            updateCell(cell, random.next());
        }
    }
}

int mutateStrategies(Mt19937& random, double mutation, const std::array<bool, kCodeCount>& selfExcluded,
                     const std::array<bool, kCodeCount>& otherExcluded, CellCode* self, CellCode* other, int count) {
    if (mutation <= 0.0) return 0;
    // chance < mutation as a comparison of whole numbers: mutation 1 always holds.
    const auto threshold = static_cast<std::uint64_t>(mutation * kTwoTo32);
    struct Pool {
        std::array<CellCode, kCodeCount> codes{};
        std::uint32_t size = 0;
    };
    const auto poolOf = [](const std::array<bool, kCodeCount>& excluded) {
        Pool pool;
        for (int k = 0; k < kCodeCount; ++k) {
            if (!excluded[k]) pool.codes[pool.size++] = static_cast<CellCode>(k);
        }
        return pool;
    };
    const Pool selfPool = poolOf(selfExcluded);
    const Pool otherPool = poolOf(otherExcluded);
    const auto mutates = [&] { return static_cast<std::uint64_t>(random.next()) < threshold; };
    const auto freshCode = [&](const Pool& pool) {
        if (pool.size == kCodeCount) return static_cast<CellCode>(random.next() >> 29);
        return pool.codes[drawBelow(random, pool.size)];
    };
    int drawn = 0;
    for (int i = 0; i < count; ++i) {
        if (mutates() && selfPool.size > 0) {
            self[i] = freshCode(selfPool);
            ++drawn;
        }
        if (mutates() && otherPool.size > 0) {
            other[i] = freshCode(otherPool);
            ++drawn;
        }
    }
    return drawn;
}

int World::mutate() {
    const int drawn = mutateStrategies(random, mutation, selfMutationExcluded, otherMutationExcluded,
                                       selfStrategy.data(), otherStrategy.data(), cellCount());
    if (drawn > 0) forgetLastStep();
    if (mutation > 0.0) countPairs();
    return drawn;
}

}  // namespace talvane
