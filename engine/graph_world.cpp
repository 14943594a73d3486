#include "graph_world.h"

#include <algorithm>
#include <cmath>
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

// Each node of first .. end takes the pair of the best-scoring node among
// itself and its neighbours (see pickFrom), from scores of type Score.
template <typename Score>
void chooseNodes(const ChoiceArrays& a, const Score* scores, int first, int end, PairCounts& counts) {
    for (int u = first; u < end; ++u) {
        if (a.uniform[u]) {
            // It and all its neighbours hold one pair: it keeps it, whatever it chooses.
            const int key = a.keys[u];
            a.nextSelf[u] = static_cast<CellCode>((key >> 3) & 7);
            a.nextOther[u] = static_cast<CellCode>(key & 7);
            ++counts[key & 0x3f];
            continue;
        }
        const std::uint32_t lo = a.offsets[u], hi = a.offsets[u + 1];
        const Score own = scores[u];
        const auto start = static_cast<std::uint32_t>((static_cast<std::uint64_t>(a.draws[u]) * (hi - lo)) >> 32);
        // One pass: the best so far, the last neighbour at it, and the
        // last at it placed before start.
        Score best = own;
        int any = u, beforeStart = -1;
        for (std::uint32_t e = lo; e < hi; ++e) {
            __builtin_prefetch(scores + a.neighbours[std::min(e + kAhead, a.lastEdge)]);
            const int v = a.neighbours[e];
            const Score s = scores[v];
            const bool atLeast = s >= best;
            beforeStart = s > best ? -1 : beforeStart;
            best = atLeast ? s : best;
            any = atLeast ? v : any;
            beforeStart = atLeast && e - lo < start ? v : beforeStart;
        }
        const int from = (own == best || best < 0) ? u : (beforeStart >= 0 ? beforeStart : any);
        const int key = a.keys[from];
        a.nextSelf[u] = static_cast<CellCode>((key >> 3) & 7);
        a.nextOther[u] = static_cast<CellCode>(key & 7);
        ++counts[key & 0x3f];
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

void GraphWorld::step(const std::uint32_t* draws, int threads) {
    if (graph_.lattice) {
        stepAsLattice(draws, threads);
        return;
    }
    const int n = nodeCount();
    const int parts = n >= kMinNodesForThreads ? std::clamp(threads, 1, 64) : 1;
    keys_.resize(static_cast<std::size_t>(n));
    nextSelf_.resize(static_cast<std::size_t>(n));
    nextOther_.resize(static_cast<std::size_t>(n));
    // terms[self * 8 + theirs]: one game's payoff; from 64 on, with the extra point.
    double terms[2 * kPairCount];
    for (int a = 0; a < kCodeCount; ++a) {
        for (int b = 0; b < kCodeCount; ++b) {
            terms[a * kCodeCount + b] = payoffTable[a][b];
            terms[kBonusOffset + a * kCodeCount + b] = payoffTable[a][b] + 1.0;
        }
    }
    const int bonusOffset = extraPoint ? kBonusOffset : 0;
    const std::uint32_t* offsets = graph_.offsets.data();
    const std::int32_t* neighbours = graph_.neighbours.data();
    std::uint16_t* keys = keys_.data();
    double* scores = score.data();
    // A node whose neighbours all hold its own pair keeps it, whatever it
    // chooses: its choice need not be made.
    uniform_.resize(static_cast<std::size_t>(n));
    std::uint8_t* uniform = uniform_.data();
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
    wholeScores_.resize(inInt32 ? static_cast<std::size_t>(n) : 0);
    std::int32_t* const whole = inInt32 ? wholeScores_.data() : nullptr;
    forParts(n, parts, [&](int first, int end, int) {
        for (int u = first; u < end; ++u) keys[u] = keyOf(nodeColor[u], selfStrategy[u], otherStrategy[u]);
    });
    // Scores: each game's term is found with masks, not a branch on the
    // colours, which lie at random.
    forParts(n, parts, [&](int first, int end, int) {
        // Locals, as in the choices below: the byte stores may alias the captures.
        const std::uint32_t* const offsetsHere = offsets;
        const std::int32_t* const neighboursHere = neighbours;
        const std::uint16_t* const keysHere = keys;
        double* const scoresHere = scores;
        std::int32_t* const wholeHere = whole;
        std::uint8_t* const uniformHere = uniform;
        for (int u = first; u < end; ++u) {
            const int me = keysHere[u];
            const int self = (me >> 3) & 7, other = me & 7;
            const int sameRow = self * 8 + (self != other ? bonusOffset : 0);
            const int otherRow = other * 8;
            double sum = 0.0;
            int differ = 0;
            for (std::uint32_t e = offsetsHere[u]; e < offsetsHere[u + 1]; ++e) {
                __builtin_prefetch(keysHere + neighboursHere[std::min(e + kAhead, lastEdge)]);
                const int them = keysHere[neighboursHere[e]];
                differ |= (them ^ me) & 0x3f;
                const int same = -static_cast<int>(((them ^ me) & kColorBits) == 0);
                const int viaSelf = sameRow + ((them >> 3) & 7);
                const int viaOther = otherRow + (them & 7);
                sum += terms[viaOther ^ ((viaSelf ^ viaOther) & same)];
            }
            if (playSelf) sum += terms[self * 9 + (self != other ? bonusOffset : 0)];
            scoresHere[u] = sum;
            if (wholeHere) wholeHere[u] = static_cast<std::int32_t>(sum);
            uniformHere[u] = differ == 0;
        }
    });
    // Choices, from the scores and the pairs as they were: from whole-number
    // copies of the scores where they are exact in 32 bits, half the bytes to
    // fetch from wherever the neighbours lie; from the scores themselves
    // otherwise. The two compare alike, so they choose alike.
    std::vector<PairCounts> counts(static_cast<std::size_t>(parts));
    const ChoiceArrays arrays{offsets, neighbours, keys, uniform, draws, nextSelf_.data(), nextOther_.data(), lastEdge};
    forParts(n, parts, [&](int first, int end, int part) {
        PairCounts& mine = counts[static_cast<std::size_t>(part)];
        mine = {};
        if (whole) chooseNodes(arrays, whole, first, end, mine);
        else chooseNodes(arrays, static_cast<const double*>(scores), first, end, mine);
    });
    selfStrategy.swap(nextSelf_);
    otherStrategy.swap(nextOther_);
    pairCounts_ = {};
    for (const PairCounts& part : counts) {
        for (int k = 0; k < kPairCount; ++k) pairCounts_[k] += part[k];
    }
    ++generation;
}

// --- Variants ---

void GraphWorld::rescoreAround(int node, int oldSelf, int oldOther) {
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
