#include "graph_world.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>

#include "mutation.h"

namespace talvane {

namespace {

// colour << 6 | self << 3 | others, as the lattice step packs a cell.
constexpr std::uint16_t kColorBits = 0x1c0;
constexpr int kBonusOffset = kPairCount;  // terms[64 + i]: the same game with the extra point

// Graphs below this many nodes always step on one thread.
constexpr int kMinNodesForThreads = 1 << 15;

// How many edges ahead the passes over the edges ask for the neighbour's
// key or score: the neighbours lie at random, beyond the caches of a large
// graph, and the processor cannot foresee those loads.
constexpr std::uint32_t kAhead = 16;

// Runs body(first, end, part) over `parts` ranges of 0 .. count, one per thread.
template <typename Body>
void forParts(int count, int parts, Body&& body) {
    if (parts <= 1) {
        body(0, count, 0);
        return;
    }
    std::vector<std::thread> helpers;
    helpers.reserve(static_cast<std::size_t>(parts - 1));
    for (int p = 1; p < parts; ++p) {
        const int first = static_cast<int>(static_cast<std::int64_t>(count) * p / parts);
        const int end = static_cast<int>(static_cast<std::int64_t>(count) * (p + 1) / parts);
        helpers.emplace_back([&body, first, end, p] { body(first, end, p); });
    }
    body(0, static_cast<int>(static_cast<std::int64_t>(count) / parts), 0);
    for (std::thread& t : helpers) t.join();
}

std::uint16_t keyOf(CellCode color, CellCode self, CellCode other) {
    return static_cast<std::uint16_t>((color & 7) << 6 | (self & 7) << 3 | (other & 7));
}

// The lattice's order of games as slots of its scan order: left, right, up,
// down, then the diagonals up-left, down-left, up-right, down-right.
constexpr int kGameSlots[8] = {5, 7, 4, 6, 0, 1, 2, 3};

// What the choices read and write, for chooseNodes.
struct ChoiceArrays {
    const std::uint32_t* offsets;
    const std::int32_t* neighbours;
    const std::uint16_t* keys;
    const std::uint8_t* uniform;
    const std::uint32_t* draws;
    CellCode* nextSelf;
    CellCode* nextOther;
    std::uint32_t lastEdge;
};

// The key of the node whose pair node u takes: the best-scoring of itself
// and its neighbours (see pickFrom), from scores of type Score. drawDecides
// is set when more than one neighbour shares the best score above its own,
// so that the draw may decide between them.
template <typename Score, bool kAheadToo>
[[gnu::always_inline]] inline int chooseOne(const ChoiceArrays& a, const Score* scores, int u, bool& drawDecides) {
    drawDecides = false;
    // It and all its neighbours hold one pair: it keeps it, whatever it chooses.
    if (a.uniform[u]) return a.keys[u];
    const std::uint32_t lo = a.offsets[u], hi = a.offsets[u + 1];
    const Score own = scores[u];
    const auto start = static_cast<std::uint32_t>((static_cast<std::uint64_t>(a.draws[u]) * (hi - lo)) >> 32);
    // One pass: the best so far, the first and the last neighbour at it,
    // and the last at it placed before start.
    Score best = own;
    int first = u, any = u, beforeStart = -1;
    for (std::uint32_t e = lo; e < hi; ++e) {
        if constexpr (kAheadToo) __builtin_prefetch(scores + a.neighbours[std::min(e + kAhead, a.lastEdge)]);
        const int v = a.neighbours[e];
        const Score s = scores[v];
        const bool atLeast = s >= best;
        beforeStart = s > best ? -1 : beforeStart;
        first = s > best ? v : first;
        best = atLeast ? s : best;
        any = atLeast ? v : any;
        beforeStart = atLeast && e - lo < start ? v : beforeStart;
    }
    if (own == best || best < 0) return a.keys[u];
    drawDecides = first != any;
    return a.keys[beforeStart >= 0 ? beforeStart : any];
}

// chooseOne for the nodes first .. end - 1, into the next grids, counting
// the new pairs and marking the nodes whose draw did not decide.
template <typename Score>
void chooseNodes(const ChoiceArrays& a, const Score* scores, int first, int end, PairCounts& counts,
                 std::uint8_t* settled) {
    for (int u = first; u < end; ++u) {
        bool drawDecides;
        const int key = chooseOne<Score, true>(a, scores, u, drawDecides);
        a.nextSelf[u] = static_cast<CellCode>((key >> 3) & 7);
        a.nextOther[u] = static_cast<CellCode>(key & 7);
        ++counts[key & 0x3f];
        settled[u] = !drawDecides;
    }
}

}  // namespace

GraphWorld::GraphWorld(Graph graph) : graph_(std::move(graph)) {
    const auto n = static_cast<std::size_t>(graph_.nodes);
    nodeColor.assign(n, 0);
    selfStrategy.assign(n, 0);
    otherStrategy.assign(n, 0);
    score.assign(n, 0.0);
    pairCounts_[0] = static_cast<std::uint32_t>(n);
    for (int u = 0; u < graph_.nodes; ++u) maxDegree_ = std::max(maxDegree_, graph_.degree(u));
    if (!graph_.slots.empty()) {
        fermiOrder_.reserve(graph_.neighbours.size());
        for (int u = 0; u < graph_.nodes; ++u) {
            for (const int slot : kGameSlots) {
                for (std::uint32_t e = graph_.offsets[u]; e < graph_.offsets[u + 1]; ++e) {
                    if (graph_.slots[e] == slot) fermiOrder_.push_back(graph_.neighbours[e]);
                }
            }
        }
    }
}

double GraphWorld::scoreNode(int node) const {
    const int color = nodeColor[node];
    const int self = selfStrategy[node];
    const int other = otherStrategy[node];
    const double bonus = (extraPoint && self != other) ? 1.0 : 0.0;
    double sum = 0.0;
    for (std::uint32_t e = graph_.offsets[node]; e < graph_.offsets[node + 1]; ++e) {
        const int n = graph_.neighbours[e];
        if (nodeColor[n] == color) sum += payoffTable[self][selfStrategy[n]] + bonus;
        else sum += payoffTable[other][otherStrategy[n]];
    }
    return sum + (playSelf ? payoffTable[self][self] + bonus : 0.0);
}

int GraphWorld::pickFrom(int node, const double* scores, int start) const {
    const std::uint32_t first = graph_.offsets[node], end = graph_.offsets[node + 1];
    double best = scores[node];
    for (std::uint32_t e = first; e < end; ++e) best = std::max(best, scores[graph_.neighbours[e]]);
    if (scores[node] == best || best < 0.0) return node;
    int beforeStart = -1, any = -1;
    for (std::uint32_t e = first; e < end; ++e) {
        const int n = graph_.neighbours[e];
        if (scores[n] != best) continue;
        any = n;
        if (placeOf(node, e) < start) beforeStart = n;
    }
    return beforeStart >= 0 ? beforeStart : any;
}

int GraphWorld::chooseNode(int node, std::uint32_t draw) const {
    return pickFrom(node, score.data(), startOf(node, draw));
}

void GraphWorld::scoreAll(int threads) {
    forgetLastStep();
    const int parts = nodeCount() >= kMinNodesForThreads ? std::max(threads, 1) : 1;
    forParts(nodeCount(), parts, [this](int first, int end, int) {
        for (int u = first; u < end; ++u) score[u] = scoreNode(u);
    });
}

void GraphWorld::step(int threads) {
    draws_.resize(static_cast<std::size_t>(nodeCount()));
    random.fill(draws_.data(), nodeCount());
    step(draws_.data(), threads);
}

void GraphWorld::stepAsLattice(const std::uint32_t* draws, int threads) {
    if (!lattice_) lattice_.emplace(*graph_.lattice);
    World& lattice = *lattice_;
    lattice.payoffTable = payoffTable;
    lattice.playSelf = playSelf;
    lattice.extraPoint = extraPoint;
    const auto swapCells = [&] {
        lattice.cellColor.swap(nodeColor);
        lattice.selfStrategy.swap(selfStrategy);
        lattice.otherStrategy.swap(otherStrategy);
        lattice.score.swap(score);
    };
    swapCells();
    lattice.step(draws, threads);
    swapCells();
    pairCounts_ = lattice.pairCounts();
    ++generation;
}

// A node's score against its neighbours' keys, its uniform flag (it and all
// its neighbours hold one pair) and its whole-number copy (when whole is
// given). Each game's term is looked up by both keys in gameTable's table,
// not found by a branch on the colours, which lie at random. kAheadToo: the nodes go in order, and the keys of
// the neighbours kAhead edges on are asked for.
struct GraphScoring {
    const std::uint32_t* offsets;
    const std::int32_t* neighbours;
    const std::uint16_t* keys;
    const double* games;  // gameTable's: each game's term by the two keys
    bool playSelf;
    double* scores;
    std::int32_t* whole;
    std::uint8_t* uniform;
    std::uint32_t lastEdge;
};

namespace {

template <bool kAheadToo>
[[gnu::always_inline]] inline void scoreOne(const GraphScoring& a, int u) {
    const int me = a.keys[u];
    const double* const games = a.games + ((me & 0x3f) << 7);
    double sum = 0.0;
    int differ = 0;
    for (std::uint32_t e = a.offsets[u]; e < a.offsets[u + 1]; ++e) {
        if constexpr (kAheadToo) __builtin_prefetch(a.keys + a.neighbours[std::min(e + kAhead, a.lastEdge)]);
        const int them = a.keys[a.neighbours[e]];
        differ |= (them ^ me) & 0x3f;
        const int same = ((them ^ me) & kColorBits) == 0;
        sum += games[same << 6 | (them & 0x3f)];
    }
    // Against itself: its own colour, its self strategy on both sides.
    if (a.playSelf) sum += games[64 | (me & 0x3f)];
    a.scores[u] = sum;
    if (a.whole) a.whole[u] = static_cast<std::int32_t>(sum);
    a.uniform[u] = differ == 0;
}

}  // namespace

const double* GraphWorld::gameTable(const std::array<double, 2 * kPairCount>& terms) {
    if (games_.empty() || std::memcmp(gamesTerms_.data(), terms.data(), sizeof terms) != 0 || gamesExtraPoint_ != extraPoint) {
        // Entry (mine & 0x3f) << 7 | same << 6 | (theirs & 0x3f): against its
        // own colour a node plays its self strategy against theirs, with the
        // extra point when it discriminates; against another colour its
        // others strategy against theirs.
        games_.resize(static_cast<std::size_t>(kPairCount) * 2 * kPairCount);
        for (int mine = 0; mine < kPairCount; ++mine) {
            const int self = mine >> 3, other = mine & 7;
            const int sameRow = self * 8 + (extraPoint && self != other ? kBonusOffset : 0);
            for (int theirs = 0; theirs < kPairCount; ++theirs) {
                const auto at = static_cast<std::size_t>(mine << 7 | theirs);
                games_[at] = terms[static_cast<std::size_t>(other * 8 + (theirs & 7))];
                games_[at | 64] = terms[static_cast<std::size_t>(sameRow + (theirs >> 3))];
            }
        }
        gamesTerms_ = terms;
        gamesExtraPoint_ = extraPoint;
    }
    return games_.data();
}

void GraphWorld::step(const std::uint32_t* draws, int threads) {
    if (graph_.lattice) {
        stepAsLattice(draws, threads);
        return;
    }
    const int n = nodeCount();
    const auto size = static_cast<std::size_t>(n);
    const int parts = n >= kMinNodesForThreads ? std::clamp(threads, 1, 64) : 1;
    // This step's keys, and the step before's beside them.
    keys_.swap(keysBefore_);
    keys_.resize(size);
    uniform_.resize(size);
    settled_.resize(size);
    // terms[self * 8 + theirs]: one game's payoff; from 64 on, with the extra point.
    std::array<double, 2 * kPairCount> terms;
    for (int a = 0; a < kCodeCount; ++a) {
        for (int b = 0; b < kCodeCount; ++b) {
            terms[static_cast<std::size_t>(a * kCodeCount + b)] = payoffTable[a][b];
            terms[static_cast<std::size_t>(kBonusOffset + a * kCodeCount + b)] = payoffTable[a][b] + 1.0;
        }
    }
    const std::uint32_t* offsets = graph_.offsets.data();
    const std::int32_t* neighbours = graph_.neighbours.data();
    std::uint16_t* keys = keys_.data();
    const std::uint32_t lastEdge = offsets[n] > 0 ? offsets[n] - 1 : 0;
    // Whole terms keep every score whole; no score exceeds the largest term
    // times the most games a node plays.
    double largestTerm = 0.0;
    bool wholeTerms = true;
    for (const double term : terms) {
        wholeTerms = wholeTerms && term == std::trunc(term);
        largestTerm = std::max(largestTerm, std::fabs(term));
    }
    const bool inInt32 = wholeTerms && largestTerm * (static_cast<double>(maxDegree_) + 1.0) < 0x1p31;
    wholeScores_.resize(inInt32 ? size : 0);
    std::int32_t* const whole = inInt32 ? wholeScores_.data() : nullptr;
    forParts(n, parts, [&](int first, int end, int) {
        for (int u = first; u < end; ++u) keys[u] = keyOf(nodeColor[u], selfStrategy[u], otherStrategy[u]);
    });
    const GraphScoring scoring{offsets, neighbours, keys,  gameTable(terms), playSelf, score.data(),
                               whole,   uniform_.data(), lastEdge};
    const bool reuse = lastStep_.valid && lastStep_.terms == terms && lastStep_.playSelf == playSelf &&
                       lastStep_.extraPoint == extraPoint && keysBefore_.size() == size;
    lastStep_ = {true, terms, playSelf, extraPoint};
    if (reuse && stepChangedNodes(scoring, draws)) {
        ++generation;
        return;
    }
    // Scores.
    forParts(n, parts, [&](int first, int end, int) {
        const GraphScoring here = scoring;  // a local copy: the byte stores may alias the captures
        for (int u = first; u < end; ++u) scoreOne<true>(here, u);
    });
    // Choices, from the scores and the pairs as they were: from whole-number
    // copies of the scores where they are exact in 32 bits, half the bytes to
    // fetch from wherever the neighbours lie; from the scores themselves
    // otherwise. The two compare alike, so they choose alike.
    nextSelf_.resize(size);
    nextOther_.resize(size);
    std::vector<PairCounts> counts(static_cast<std::size_t>(parts));
    const ChoiceArrays arrays{offsets, neighbours, keys, uniform_.data(), draws, nextSelf_.data(), nextOther_.data(), lastEdge};
    std::uint8_t* const settled = settled_.data();
    forParts(n, parts, [&](int first, int end, int part) {
        PairCounts& mine = counts[static_cast<std::size_t>(part)];
        mine = {};
        if (whole) chooseNodes(arrays, static_cast<const std::int32_t*>(whole), first, end, mine, settled);
        else chooseNodes(arrays, static_cast<const double*>(score.data()), first, end, mine, settled);
    });
    selfStrategy.swap(nextSelf_);
    otherStrategy.swap(nextOther_);
    pairCounts_ = {};
    for (const PairCounts& part : counts) {
        for (int k = 0; k < kPairCount; ++k) pairCounts_[k] += part[k];
    }
    unsettled_.clear();
    for (int u = 0; u < n; ++u) {
        if (!settled[u]) unsettled_.push_back(u);
    }
    ++generation;
}

bool GraphWorld::stepChangedNodes(const GraphScoring& scoring, const std::uint32_t* draws) {
    const int n = nodeCount();
    const std::uint16_t* const keys = keys_.data();
    const std::uint16_t* const before = keysBefore_.data();
    // The nodes whose key changed since the step before (beyond a few, the
    // whole graph is stepped as usual), and the pairs as they stand.
    changed_.clear();
    const auto most = static_cast<std::size_t>(n / 128);
    std::array<std::array<std::uint32_t, kPairCount>, 4> lanes{};
    for (int u = 0; u < n; ++u) {
        ++lanes[static_cast<std::size_t>(u & 3)][keys[u] & 0x3f];
        if (keys[u] == before[u]) [[likely]] continue;
        if (changed_.size() >= most) return false;
        changed_.push_back(u);
    }
    const std::uint32_t* offsets = graph_.offsets.data();
    const std::int32_t* neighbours = graph_.neighbours.data();
    if (marks_.size() != static_cast<std::size_t>(n)) marks_.assign(static_cast<std::size_t>(n), 0);
    std::uint8_t* const mark = marks_.data();
    // Scores change only within one edge of a change: those nodes are scored
    // again. A choice depends on the node's key and score and on those of its
    // neighbours: the choices of the nodes within one edge of a changed key
    // or score are made again, and those the draw decided last time; every
    // other node's choice, from the same scores and pairs, would take the
    // pair it holds.
    near_.clear();
    const auto addNear = [&](int u) {
        if ((mark[u] & 1) == 0) {
            mark[u] |= 1;
            near_.push_back(u);
        }
    };
    for (const int u : changed_) {
        addNear(u);
        for (std::uint32_t e = offsets[u]; e < offsets[u + 1]; ++e) addNear(neighbours[e]);
    }
    if (near_.size() > static_cast<std::size_t>(n / 32)) {
        // Too many to score again one by one (and the choices to make again
        // would be several times as many).
        for (const int u : near_) mark[u] = 0;
        return false;
    }
    around_.clear();
    const auto addAround = [&](int u) {
        if ((mark[u] & 2) == 0) {
            mark[u] |= 2;
            around_.push_back(u);
        }
    };
    const auto addWithNeighbours = [&](int u) {
        if ((mark[u] & 4) != 0) return;  // its neighbours are in already
        mark[u] |= 4;
        addAround(u);
        for (std::uint32_t e = offsets[u]; e < offsets[u + 1]; ++e) addAround(neighbours[e]);
    };
    for (const int u : near_) {
        const double was = scoring.scores[u];
        scoreOne<false>(scoring, u);
        // Compared as bits: a NaN score is the same NaN.
        if (std::memcmp(&was, scoring.scores + u, sizeof was) != 0) addWithNeighbours(u);
    }
    for (const int u : changed_) addWithNeighbours(u);
    for (const int u : unsettled_) addAround(u);
    if (around_.size() > static_cast<std::size_t>(n / 16)) {
        // Choices made one by one cost several times those of the whole
        // pass. The nodes scored again have the scores the pass gives them.
        for (const int u : near_) mark[u] = 0;
        for (const int u : around_) mark[u] = 0;
        return false;
    }
    // The changes the choices make to the pairs as they stand.
    for (int k = 0; k < kPairCount; ++k) {
        pairCounts_[static_cast<std::size_t>(k)] = lanes[0][static_cast<std::size_t>(k)] + lanes[1][static_cast<std::size_t>(k)] +
                                                   lanes[2][static_cast<std::size_t>(k)] + lanes[3][static_cast<std::size_t>(k)];
    }
    const ChoiceArrays arrays{offsets, neighbours, keys, uniform_.data(), draws, nullptr, nullptr, 0};
    unsettled_.clear();
    const std::size_t count = around_.size();
    for (std::size_t i = 0; i < count; ++i) {
        // The nodes lie at random: their places in the lists are asked for
        // a few nodes ahead, their neighbour lists a few nodes later.
        if (i + 8 < count) __builtin_prefetch(offsets + around_[i + 8]);
        if (i + 4 < count) __builtin_prefetch(neighbours + offsets[around_[i + 4]]);
        if (i + 2 < count) {
            // And the scores of the neighbours of the node after next.
            const int w = around_[i + 2];
            for (std::uint32_t e = offsets[w]; e < offsets[w + 1]; ++e) {
                if (scoring.whole) __builtin_prefetch(scoring.whole + neighbours[e]);
                else __builtin_prefetch(scoring.scores + neighbours[e]);
            }
        }
        const int v = around_[i];
        bool drawDecides;
        const int key = scoring.whole ? chooseOne<std::int32_t, false>(arrays, scoring.whole, v, drawDecides)
                                      : chooseOne<double, false>(arrays, scoring.scores, v, drawDecides);
        settled_[static_cast<std::size_t>(v)] = !drawDecides;
        if (drawDecides) unsettled_.push_back(v);
        mark[v] = 0;
        if ((key & 0x3f) == (keys[v] & 0x3f)) continue;
        // The keys keep the pairs as they were, for the choices still to come.
        selfStrategy[static_cast<std::size_t>(v)] = static_cast<CellCode>((key >> 3) & 7);
        otherStrategy[static_cast<std::size_t>(v)] = static_cast<CellCode>(key & 7);
        --pairCounts_[static_cast<std::size_t>(keys[v] & 0x3f)];
        ++pairCounts_[static_cast<std::size_t>(key & 0x3f)];
    }
    for (const int u : near_) mark[u] = 0;
    ++partialSteps_;
    return true;
}

// --- Variants ---

void GraphWorld::rescoreAround(int node, int oldSelf, int oldOther) {
    forgetLastStep();
    score[node] = scoreNode(node);
    const std::uint32_t lo = graph_.offsets[node], hi = graph_.offsets[node + 1];
    if (!exact_) {
        for (std::uint32_t e = lo; e < hi; ++e) score[graph_.neighbours[e]] = scoreNode(graph_.neighbours[e]);
        return;
    }
    // Whole numbers: each neighbour's score changes by its one game against
    // the node, whatever order its games are summed in.
    const int color = nodeColor[node];
    const int self = selfStrategy[node];
    const int other = otherStrategy[node];
    for (std::uint32_t e = lo; e < hi; ++e) {
        const int n = graph_.neighbours[e];
        if (nodeColor[n] == color) score[n] += payoffTable[selfStrategy[n]][self] - payoffTable[selfStrategy[n]][oldSelf];
        else score[n] += payoffTable[otherStrategy[n]][other] - payoffTable[otherStrategy[n]][oldOther];
    }
}

bool GraphWorld::takePair(int node, int from) {
    const int oldSelf = selfStrategy[node];
    const int oldOther = otherStrategy[node];
    if (selfStrategy[from] == oldSelf && otherStrategy[from] == oldOther) return false;
    selfStrategy[node] = selfStrategy[from];
    otherStrategy[node] = otherStrategy[from];
    rescoreAround(node, oldSelf, oldOther);
    return true;
}

bool GraphWorld::updateNode(int node, std::uint32_t draw) { return takePair(node, chooseNode(node, draw)); }

int GraphWorld::fermiNeighbour(int node, int k) const {
    const std::uint32_t entry = graph_.offsets[node] + static_cast<std::uint32_t>(k);
    return fermiOrder_.empty() ? graph_.neighbours[entry] : fermiOrder_[entry];
}

bool GraphWorld::compareWithNeighbour(int node, int neighbour, double chance) {
    const int other = fermiNeighbour(node, neighbour);
    if (selfStrategy[other] == selfStrategy[node] && otherStrategy[other] == otherStrategy[node]) return false;
    return fermiAdopts(score[node], score[other], chance) && takePair(node, other);
}

bool GraphWorld::fermiAdopts(double own, double theirs, double chance) const {
    const double x = (own - theirs) / noise;
    // As on the lattice: far from zero the exponential decides nothing.
    if (x <= -40.0) return chance < 1.0;
    if (x >= 40.0 && chance >= 1e-17) return false;
    return chance < 1.0 / (1.0 + std::exp(x));
}

void GraphWorld::prepareVariantScores() {
    // Whole-number entries keep every score a whole number below 2^53, where
    // adding the change of one game is exact.
    const double limit = 0x1p53 / (static_cast<double>(maxDegree_) + 2.0) - 2.0;
    exact_ = true;
    for (const auto& row : payoffTable) {
        for (const double entry : row) exact_ = exact_ && entry == std::trunc(entry) && std::fabs(entry) <= limit;
    }
    scoreAll();
}

void GraphWorld::stepVariant() {
    prepareVariantScores();
    if (updateRule == UpdateRule::FermiSynchronous || updateRule == UpdateRule::Proportional) {
        stepSynchronousImitation(updateRule == UpdateRule::FermiSynchronous);
    } else {
        sequentialUpdates(static_cast<std::uint32_t>(nodeCount()));
    }
    ++generation;
    countPairs();
}

void GraphWorld::singleUpdates(std::uint32_t count) {
    prepareVariantScores();
    sequentialUpdates(count);
    countPairs();
}

void GraphWorld::sequentialUpdates(std::uint32_t updates) {
    switch (updateRule) {
    case UpdateRule::ProportionalSequential: stepProportionalSequential(updates); break;
    case UpdateRule::DeathBirth: stepDeathBirth(updates); break;
    case UpdateRule::BirthDeath: stepBirthDeath(updates); break;
    default: stepBestOrFermi(updates); break;
    }
}

void GraphWorld::stepBestOrFermi(std::uint32_t updates) {
    const auto n = static_cast<std::uint32_t>(nodeCount());
    for (std::uint32_t u = 0; u < updates; ++u) {
        const auto node = static_cast<int>(drawBelow(random, n));
        if (updateRule == UpdateRule::Fermi) {
            const auto d = static_cast<std::uint32_t>(degree(node));
            if (d == 0) continue;
            const auto k = static_cast<int>(drawBelow(random, d));
            compareWithNeighbour(node, k, drawUnit(random));
        } else {
            if (degree(node) == 0) continue;
            updateNode(node, random.next());
        }
    }
}

int GraphWorld::mutate() {
    if (mutation <= 0.0) return 0;
    // The lattice's draws, node by node.
    const int drawn = mutateStrategies(random, mutation, selfMutationExcluded, otherMutationExcluded,
                                       selfStrategy.data(), otherStrategy.data(), nodeCount());
    countPairs();
    return drawn;
}

const PairCounts& GraphWorld::countPairs() {
    pairCounts_ = {};
    for (int i = 0; i < nodeCount(); ++i) ++pairCounts_[(selfStrategy[i] & 7) * kCodeCount + (otherStrategy[i] & 7)];
    return pairCounts_;
}

bool GraphWorld::codesInRange() const {
    int bits = 0;
    for (int i = 0; i < nodeCount(); ++i) bits |= nodeColor[i] | selfStrategy[i] | otherStrategy[i];
    return (bits & ~7) == 0;
}

bool GraphWorld::isAbsorbing() const {
    if (mutation > 0.0) return false;
    const auto samePair = [this](int a, int b) {
        return selfStrategy[a] == selfStrategy[b] && otherStrategy[a] == otherStrategy[b];
    };
    std::vector<int> mixed;
    for (int u = 0; u < nodeCount(); ++u) {
        for (std::uint32_t e = graph_.offsets[u]; e < graph_.offsets[u + 1]; ++e) {
            if (!samePair(u, graph_.neighbours[e])) {
                mixed.push_back(u);
                break;
            }
        }
    }
    if (mixed.empty()) return true;
    const bool proportional = updateRule == UpdateRule::Proportional || updateRule == UpdateRule::ProportionalSequential;
    if (updateRule != UpdateRule::Asynchronous && !proportional) return false;
    std::vector<double> fresh(static_cast<std::size_t>(nodeCount()));
    for (int u = 0; u < nodeCount(); ++u) fresh[u] = scoreNode(u);
    if (proportional) {
        // Proportional imitation copies only a neighbour that scores more.
        if (!(payoffRangeOf(payoffTable, extraPoint) > 0.0)) return true;
        for (const int u : mixed) {
            for (std::uint32_t e = graph_.offsets[u]; e < graph_.offsets[u + 1]; ++e) {
                const int v = graph_.neighbours[e];
                if (!samePair(u, v) && fresh[v] > fresh[u]) return false;
            }
        }
        return true;
    }
    for (const int u : mixed) {
        const int starts = graph_.slots.empty() ? degree(u) : 8;
        for (int start = 0; start < starts; ++start) {
            if (!samePair(u, pickFrom(u, fresh.data(), start))) return false;
        }
    }
    return true;
}

NodeCells nodeCellsOf(const GraphWorld& world) { return {world.nodeColor, world.selfStrategy, world.otherStrategy}; }

std::string formatNodeFile(const NodeCells& cells) {
    std::string text(kNodeFileHeader);
    text += '\n';
    text.reserve(text.size() + static_cast<std::size_t>(cells.count()) * 16);
    for (int i = 0; i < cells.count(); ++i) {
        text += std::to_string(i);
        for (CellCode code : {cells.color[i], cells.self[i], cells.other[i]}) {
            text += ',';
            text += static_cast<char>('0' + (code & 7));
        }
        text += '\n';
    }
    return text;
}

bool parseNodeFile(std::string_view text, NodeCells& out, WorldError& error) {
    out = {};
    long line = 0;
    std::size_t at = 0;
    const auto fail = [&](const std::string& message) {
        error.line = line;
        error.message = message;
        return false;
    };
    while (at < text.size() || line == 0) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view row = text.substr(at, end - at);
        at = end + 1;
        ++line;
        if (!row.empty() && row.back() == '\r') row.remove_suffix(1);
        if (line == 1) {
            if (row != kNodeFileHeader) return fail("the first line is not \"" + std::string(kNodeFileHeader) + "\"");
            if (end == text.size()) break;
            continue;
        }
        if (row.empty() && at >= text.size()) break;  // the line end of the last line
        long values[4] = {};
        std::size_t pos = 0;
        for (int k = 0; k < 4; ++k) {
            std::size_t digitsEnd = pos;
            while (digitsEnd < row.size() && row[digitsEnd] >= '0' && row[digitsEnd] <= '9') ++digitsEnd;
            if (digitsEnd == pos || digitsEnd - pos > 9) {
                return fail("expected four numbers node,color,self,other");
            }
            values[k] = std::stol(std::string(row.substr(pos, digitsEnd - pos)));
            pos = digitsEnd;
            if (k < 3) {
                if (pos >= row.size() || row[pos] != ',') return fail("expected four numbers node,color,self,other");
                ++pos;
            }
        }
        if (pos != row.size()) return fail("expected four numbers node,color,self,other");
        if (values[0] != out.count()) {
            return fail("node " + std::to_string(values[0]) + " where node " + std::to_string(out.count()) +
                        " was expected (one line per node, in order)");
        }
        if (out.count() >= kMaxGraphNodes) return fail("more than " + std::to_string(kMaxGraphNodes) + " nodes");
        for (int k = 1; k < 4; ++k) {
            if (values[k] > 7) return fail("the code " + std::to_string(values[k]) + " is not 0 to 7");
        }
        out.color.push_back(static_cast<CellCode>(values[1]));
        out.self.push_back(static_cast<CellCode>(values[2]));
        out.other.push_back(static_cast<CellCode>(values[3]));
    }
    if (out.count() == 0) {
        line = 0;
        return fail("the file lists no nodes");
    }
    return true;
}

}  // namespace talvane
