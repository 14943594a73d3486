// One period of the ecological tag model, step by step, every number from
// the world's own generator in this order:
//   1. immigration: the empty cells are listed in row-major order; for each
//      immigrant while one is empty, drawBelow(empties) picks the cell (the
//      last listed cell takes its place in the list), drawBelow(colors) its
//      colour, then one number each for the self and the others code (the
//      top bit: 1 AllC, 0 AllD);
//   2. interaction draws nothing;
//   3. reproduction: the agents are listed in row-major order and shuffled
//      (Fisher-Yates from the last: drawBelow(i + 1) for i = n-1 .. 1); each
//      in turn draws drawUnit and reproduces when it is below its PTR, and
//      then, when a neighbour is empty, drawBelow(empty neighbours) picks
//      the child's cell among them in the order of the games; the child
//      draws one number for its colour's mutation (none with one colour),
//      then, if it mutates, drawBelow(colors - 1) for the new colour, then
//      one number for its self code's mutation and one for its others code's;
//   4. death: every agent in row-major order, this period's children
//      included, draws one number.
// A chance p is met by a number x when x < p * 2^32, so 0 never and 1 always.
#include <algorithm>
#include <cstdio>
#include <utility>

#include "statistics.h"
#include "world.h"

namespace talvane {

namespace {

constexpr double kTwoTo32 = 4294967296.0;

std::uint64_t thresholdOf(double chance) {
    if (chance <= 0.0) return 0;
    if (chance >= 1.0) return std::uint64_t{1} << 32;
    return static_cast<std::uint64_t>(chance * kTwoTo32);
}

bool meets(Mt19937& random, std::uint64_t threshold) {
    return static_cast<std::uint64_t>(random.next()) < threshold;
}

// Whether a strategy code helps in a one-move game: its first move.
bool helps(int code) { return (code & 4) != 0; }

// The PTR of every cell from the help and occupancy bits (World::interact),
// the neighbours in the order of the games (left, right, up, down, then up
// left, down left, up right, down right), as World::gamesOf gives them; a
// fixed number of games lets the compiler keep them in registers. Returns
// the meetings.
template <int Games>
int interactAll(const WorldShape& shape, const CellCode* color, const std::uint8_t* helpBits, const double* ptrOf,
                double* score) {
    const int rows = shape.rows;
    const int cols = shape.cols;
    const bool wrap = shape.edges == Edges::Wrap;
    int meetings = 0;
    for (int r = 0; r < rows; ++r) {
        const int up = r > 0 ? r - 1 : (wrap ? rows - 1 : -1);
        const int down = r + 1 < rows ? r + 1 : (wrap ? 0 : -1);
        const int here = r * cols;
        const int above = up * cols;
        const int below = down * cols;
        for (int c = 0; c < cols; ++c) {
            const int left = c > 0 ? c - 1 : (wrap ? cols - 1 : -1);
            const int right = c + 1 < cols ? c + 1 : (wrap ? 0 : -1);
            int around[8];
            around[0] = left < 0 ? -1 : here + left;
            around[1] = right < 0 ? -1 : here + right;
            around[2] = up < 0 ? -1 : above + c;
            around[3] = down < 0 ? -1 : below + c;
            if constexpr (Games == 8) {
                around[4] = up < 0 || left < 0 ? -1 : above + left;
                around[5] = down < 0 || left < 0 ? -1 : below + left;
                around[6] = up < 0 || right < 0 ? -1 : above + right;
                around[7] = down < 0 || right < 0 ? -1 : below + right;
            }
            const int cell = here + c;
            const int own = color[cell];
            const unsigned mine = helpBits[cell];
            unsigned key = 0;
            unsigned met = 0;
            for (int g = 0; g < Games; ++g) {
                const int n = around[g];
                if (n < 0) continue;  // beyond a fixed edge: the same cells every period
                const unsigned theirs = helpBits[n];
                const unsigned occupied = theirs >> 2;
                // Towards its own colour a strategy uses bit 0, towards the others bit 1.
                const unsigned side = color[n] == own ? 0u : 1u;
                const unsigned give = (mine >> side) & occupied;
                const unsigned get = (theirs >> side) & 1u;  // 0 for an empty neighbour
                key |= ((give & 1u) | get << 1) << (2 * g);
                met += occupied;
            }
            const bool agent = own >= 0;
            score[cell] = agent ? ptrOf[key] : 0.0;
            meetings += agent ? static_cast<int>(met) : 0;
        }
    }
    return meetings;
}

}  // namespace

const char* agentTypeName(AgentType type) {
    switch (type) {
        case AgentType::Ethnocentric: return "ethnocentric";
        case AgentType::Humanitarian: return "humanitarian";
        case AgentType::Selfish: return "selfish";
        default: return "traitorous";
    }
}

int agentTypeOf(int self, int other) {
    if (self == kHelpCode && other == kRefuseCode) return static_cast<int>(AgentType::Ethnocentric);
    if (self == kHelpCode && other == kHelpCode) return static_cast<int>(AgentType::Humanitarian);
    if (self == kRefuseCode && other == kRefuseCode) return static_cast<int>(AgentType::Selfish);
    if (self == kRefuseCode && other == kHelpCode) return static_cast<int>(AgentType::Traitorous);
    return -1;
}

void World::clearCells() {
    std::fill(cellColor.begin(), cellColor.end(), kEmptyCode);
    std::fill(selfStrategy.begin(), selfStrategy.end(), kEmptyCode);
    std::fill(otherStrategy.begin(), otherStrategy.end(), kEmptyCode);
    std::fill(score.begin(), score.end(), 0.0);
    forgetLastStep();
}

// Lists the cells that are empty (or, with agents, those that are not) in
// row-major order, without a branch on each cell: the two kinds lie at random.
void World::listCells(bool agents) {
    std::vector<int>& list = ecologyCells_;
    list.resize(static_cast<std::size_t>(cellCount()));
    std::size_t count = 0;
    const CellCode* color = cellColor.data();
    for (int i = 0; i < cellCount(); ++i) {
        list[count] = i;
        count += (color[i] >= 0) == agents;
    }
    list.resize(count);
}

int World::immigrate() {
    if (ecology.immigrants <= 0) return 0;
    std::vector<int>& empties = ecologyCells_;
    listCells(false);
    const auto colors = static_cast<std::uint32_t>(ecology.colors);
    int placed = 0;
    while (placed < ecology.immigrants && !empties.empty()) {
        const std::uint32_t k = drawBelow(random, static_cast<std::uint32_t>(empties.size()));
        const int cell = empties[k];
        empties[k] = empties.back();
        empties.pop_back();
        cellColor[cell] = static_cast<CellCode>(drawBelow(random, colors));
        selfStrategy[cell] = static_cast<CellCode>((random.next() >> 31) != 0 ? kHelpCode : kRefuseCode);
        otherStrategy[cell] = static_cast<CellCode>((random.next() >> 31) != 0 ? kHelpCode : kRefuseCode);
        ++placed;
    }
    return placed;
}

int World::interact() {
    forgetLastStep();  // the scores become PTRs
    // Each agent meets each occupied neighbour once as the helper and once
    // as the helped; its PTR starts from the base and changes game by game
    // in the order of its games (the cost when it helps, then the benefit
    // when it is helped), so the sums are the same on every machine. Each
    // game has four outcomes, two bits of a key: bit 2g, the agent helps in
    // game g; bit 2g+1, it is helped. A table holds the PTR of every key,
    // summed in that order, so the cells need no branch on the colours and
    // empty cells around them, which lie at random.
    const int games = shape_.neighbourhood == Neighbourhood::Moore ? 8 : 4;
    EcologyPtrTable& table = ecologyTable_;
    if (table.ptr.empty() || table.games != games || table.base != ecology.ptr || table.cost != ecology.cost ||
        table.benefit != ecology.benefit) {
        table.games = games;
        table.base = ecology.ptr;
        table.cost = ecology.cost;
        table.benefit = ecology.benefit;
        table.ptr.assign(std::size_t{1} << (2 * games), 0.0);
        for (std::size_t key = 0; key < table.ptr.size(); ++key) {
            double ptr = table.base;
            for (int g = 0; g < games; ++g) {
                if ((key >> (2 * g)) & 1) ptr -= table.cost;
                if ((key >> (2 * g + 1)) & 1) ptr += table.benefit;
            }
            table.ptr[key] = ptr;
        }
    }
    const double* ptrOf = table.ptr.data();
    // Per cell: bit 0, its self strategy helps; bit 1, its others strategy
    // helps (bit 2 of a code is its first move); bit 2, it holds an agent.
    std::vector<std::uint8_t>& bits = ecologyBits_;
    bits.resize(static_cast<std::size_t>(cellCount()));
    for (int i = 0; i < cellCount(); ++i) {
        const auto s = static_cast<unsigned>(selfStrategy[i]);
        const auto o = static_cast<unsigned>(otherStrategy[i]);
        const unsigned agent = cellColor[i] >= 0 ? 1u : 0u;
        bits[static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>((((s >> 2) & 1u) | ((o >> 2) & 1u) << 1 | agent << 2) * agent);
    }
    return games == 8 ? interactAll<8>(shape_, cellColor.data(), bits.data(), ptrOf, score.data())
                      : interactAll<4>(shape_, cellColor.data(), bits.data(), ptrOf, score.data());
}

int World::reproduce() {
    forgetLastStep();  // newborns' scores are set to 0
    // The agents with their PTR, shuffled together, so that the turns below
    // read them in order rather than from all over the grid.
    listCells(true);
    std::vector<EcologyTurn>& order = ecologyTurns_;
    order.resize(ecologyCells_.size());
    for (std::size_t k = 0; k < order.size(); ++k) order[k] = {ecologyCells_[k], score[ecologyCells_[k]]};
    for (std::size_t i = order.size(); i > 1; --i) {
        const std::uint32_t j = drawBelow(random, static_cast<std::uint32_t>(i));
        std::swap(order[i - 1], order[j]);
    }
    const std::uint64_t mutates = thresholdOf(ecology.mutation);
    const int colors = ecology.colors;
    int born = 0;
    int games[8];
    int empties[8];
    for (const EcologyTurn& turn : order) {
        if (!(drawUnit(random) < turn.ptr)) continue;
        const int parent = turn.cell;
        gamesOf(parent, games);
        int count = 0;
        for (int g = 0; g < 8; ++g) {
            empties[count] = games[g];
            count += games[g] >= 0 && isEmpty(games[g]);
        }
        if (count == 0) continue;
        const int child = empties[drawBelow(random, static_cast<std::uint32_t>(count))];
        int color = cellColor[parent];
        int self = selfStrategy[parent];
        int other = otherStrategy[parent];
        if (colors > 1 && meets(random, mutates)) {
            // Another colour, every other one equally likely.
            const auto fresh = static_cast<int>(drawBelow(random, static_cast<std::uint32_t>(colors - 1)));
            color = fresh >= color ? fresh + 1 : fresh;
        }
        if (meets(random, mutates)) self = kHelpCode - self;
        if (meets(random, mutates)) other = kHelpCode - other;
        cellColor[child] = static_cast<CellCode>(color);
        selfStrategy[child] = static_cast<CellCode>(self);
        otherStrategy[child] = static_cast<CellCode>(other);
        score[child] = 0.0;
        ++born;
    }
    return born;
}

int World::die() {
    forgetLastStep();  // the dead's scores are set to 0
    const std::uint64_t dies = thresholdOf(ecology.death);
    int deaths = 0;
    listCells(true);
    // Every agent is listed, so the survivors' pairs are the world's pair
    // counts: counted here, in lanes as countPairs counts, the world need
    // not be read again.
    std::array<std::array<std::uint32_t, kPairCount>, kCountLanes> counts{};
    std::size_t k = 0;
    for (const int cell : ecologyCells_) {
        if (!meets(random, dies)) {
            ++counts[k++ % kCountLanes][static_cast<std::size_t>((selfStrategy[cell] & 7) * kCodeCount +
                                                                 (otherStrategy[cell] & 7))];
            continue;
        }
        cellColor[cell] = kEmptyCode;
        selfStrategy[cell] = kEmptyCode;
        otherStrategy[cell] = kEmptyCode;
        score[cell] = 0.0;
        ++deaths;
    }
    for (int pair = 0; pair < kPairCount; ++pair) {
        std::uint32_t sum = 0;
        for (const auto& lane : counts) sum += lane[static_cast<std::size_t>(pair)];
        pairCounts_[static_cast<std::size_t>(pair)] = sum;
    }
    return deaths;
}

void World::stepEcology() {
    immigrate();
    interact();
    reproduce();
    die();  // counts the pairs of the agents that live on
    forgetLastStep();
    ++generation;
}

bool World::ecologySettled() const {
    // Only a world where nothing can happen: with no death, no empty cell
    // (no immigrant, no child has room), or an empty world no immigrant enters.
    bool anyEmpty = false;
    bool anyAgent = false;
    for (int i = 0; i < cellCount(); ++i) {
        anyEmpty = anyEmpty || isEmpty(i);
        anyAgent = anyAgent || !isEmpty(i);
    }
    if (!anyAgent) return ecology.immigrants <= 0;
    return !anyEmpty && ecology.death <= 0.0;
}

EcologyCensus takeCensus(const World& world) {
    EcologyCensus census;
    for (int cell = 0; cell < world.cellCount(); ++cell) {
        if (world.isEmpty(cell)) {
            ++census.empty;
            continue;
        }
        ++census.agents;
        const int color = world.cellColor[cell];
        const int self = world.selfStrategy[cell];
        const int other = world.otherStrategy[cell];
        ++census.perColor[static_cast<std::size_t>(color & 7)];
        const int type = agentTypeOf(self, other);
        if (type < 0) ++census.otherPairs;
        else ++census.types[static_cast<std::size_t>(type)];
        int neighbours[8];
        const int count = world.neighboursOf(cell, neighbours);
        for (int k = 0; k < count; ++k) {
            const int n = neighbours[k];
            if (world.isEmpty(n)) continue;
            if (world.cellColor[n] == color) {
                ++census.meetingsSame;
                census.helpsSame += helps(self);
            } else {
                ++census.meetingsOther;
                census.helpsOther += helps(other);
            }
        }
    }
    return census;
}

std::string ecologyStatsHeader(int colors) {
    std::string out = "generation,agents,empty";
    for (int c = 0; c < colors; ++c) out += "," + groupPrefix(1 + c);
    for (int t = 0; t < kAgentTypes; ++t) out += std::string(",") + agentTypeName(static_cast<AgentType>(t));
    return out + ",other_pairs,help_same,help_other\n";
}

std::string ecologyStatsRow(std::int64_t generation, const EcologyCensus& census, int colors) {
    std::string out = std::to_string(generation);
    auto count = [&out](std::uint64_t n) { out += "," + std::to_string(n); };
    auto share = [&out](std::uint64_t part, std::uint64_t whole) {
        out += ',';
        if (whole == 0) return;
        char text[32];
        std::snprintf(text, sizeof text, "%.6f", static_cast<double>(part) / static_cast<double>(whole));
        out += text;
    };
    count(census.agents);
    count(census.empty);
    for (int c = 0; c < colors; ++c) count(census.perColor[static_cast<std::size_t>(c)]);
    for (const std::uint64_t n : census.types) count(n);
    count(census.otherPairs);
    share(census.helpsSame, census.meetingsSame);
    share(census.helpsOther, census.meetingsOther);
    return out + "\n";
}

}  // namespace talvane
