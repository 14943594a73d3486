#include "statistics.h"

#include "graph_world.h"

#include <cctype>
#include <cinttypes>
#include <cstdio>

namespace talvane {

namespace {

constexpr int kFiniteRounds = 200;

const std::array<const char*, kCodeCount> kShortNames = {
    "AllD", "1", "STFT", "3", "C-then-AllD", "5", "TFT", "AllC",
};

bool firstMove(StrategyCode code) { return (code & 4) != 0; }

bool reply(StrategyCode code, bool opponentCooperated) {
    return opponentCooperated ? (code & 2) != 0 : (code & 1) != 0;
}

std::string lower(const std::string& text) {
    std::string out = text;
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Share of a's moves that are cooperation once the match of a against b has
// entered its cycle. The state (a's move, b's move) takes 4 values, so the
// moves repeat within 5 rounds.
double cycleShare(StrategyCode a, StrategyCode b) {
    int seenAt[4] = {-1, -1, -1, -1};
    bool moves[5][2]{};
    bool moveA = firstMove(a);
    bool moveB = firstMove(b);
    for (int round = 0;; ++round) {
        const int state = (moveA ? 2 : 0) + (moveB ? 1 : 0);
        if (seenAt[state] >= 0) {
            int cooperations = 0;
            for (int k = seenAt[state]; k < round; ++k) cooperations += moves[k][0] ? 1 : 0;
            return static_cast<double>(cooperations) / static_cast<double>(round - seenAt[state]);
        }
        seenAt[state] = round;
        moves[round][0] = moveA;
        moves[round][1] = moveB;
        const bool nextA = reply(a, moveB);
        moveB = reply(b, moveA);
        moveA = nextA;
    }
}

void appendCount(std::string& out, std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, ",%" PRIu64, value);
    out += text;
}

// A share or mean with six decimals; an empty field when nothing was measured.
void appendRatio(std::string& out, double sum, std::uint64_t count) {
    out += ',';
    if (count == 0) return;
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", sum / static_cast<double>(count));
    out += text;
}

// The cells a cell plays, as World::around leaves them (-1: none).
int opponentsOf(const World& world, int row, int col, int out[8]) {
    const Around a = world.around(row, col);
    auto at = [](int rowStart, int column) { return rowStart < 0 || column < 0 ? -1 : rowStart + column; };
    int n = 0;
    if (world.shape().neighbourhood == Neighbourhood::Moore) {
        out[n++] = at(a.up, a.left);
        out[n++] = at(a.up, a.col);
        out[n++] = at(a.up, a.right);
        out[n++] = at(a.row, a.left);
        out[n++] = at(a.row, a.right);
        out[n++] = at(a.down, a.left);
        out[n++] = at(a.down, a.col);
        out[n++] = at(a.down, a.right);
    } else {
        out[n++] = at(a.up, a.col);
        out[n++] = at(a.row, a.left);
        out[n++] = at(a.row, a.right);
        out[n++] = at(a.down, a.col);
    }
    return n;
}

void addCell(GroupStats& group, int self, int other, double score, double coopSame, std::uint64_t gamesSame,
             double coopOther, std::uint64_t gamesOther) {
    ++group.cells;
    group.scoreSum += score;
    ++group.self[self];
    ++group.other[other];
    group.discriminating += self != other ? 1 : 0;
    group.coopSame += coopSame;
    group.gamesSame += gamesSame;
    group.coopOther += coopOther;
    group.gamesOther += gamesOther;
}

}  // namespace

std::string strategyShortName(StrategyCode code) { return kShortNames[code & 7]; }

bool parseStrategy(const std::string& text, StrategyCode& code) {
    if (text.size() == 1 && text[0] >= '0' && text[0] <= '7') {
        code = text[0] - '0';
        return true;
    }
    const std::string wanted = lower(text);
    for (int k = 0; k < kCodeCount; ++k) {
        if (std::isdigit(static_cast<unsigned char>(kShortNames[k][0])) == 0 && lower(kShortNames[k]) == wanted) {
            code = k;
            return true;
        }
    }
    return false;
}

void addCounts(GroupStats& whole, const GroupStats& group) {
    whole.cells += group.cells;
    for (int k = 0; k < kCodeCount; ++k) {
        whole.self[static_cast<std::size_t>(k)] += group.self[static_cast<std::size_t>(k)];
        whole.other[static_cast<std::size_t>(k)] += group.other[static_cast<std::size_t>(k)];
    }
    whole.discriminating += group.discriminating;
    whole.gamesSame += group.gamesSame;
    whole.gamesOther += group.gamesOther;
}

std::string pairName(int pair) { return strategyShortName(pair / 8) + "/" + strategyShortName(pair % 8); }

CooperationTable finiteCooperationTable() {
    CooperationTable table{};
    for (StrategyCode a = 0; a < kCodeCount; ++a) {
        for (StrategyCode b = 0; b < kCodeCount; ++b) {
            bool moveA = firstMove(a);
            bool moveB = firstMove(b);
            int cooperations = 0;
            for (int round = 0; round < kFiniteRounds; ++round) {
                cooperations += moveA ? 1 : 0;
                const bool nextA = reply(a, moveB);
                moveB = reply(b, moveA);
                moveA = nextA;
            }
            table[a][b] = static_cast<double>(cooperations) / kFiniteRounds;
        }
    }
    return table;
}

CooperationTable infiniteCooperationTable() {
    CooperationTable table{};
    for (StrategyCode a = 0; a < kCodeCount; ++a) {
        for (StrategyCode b = 0; b < kCodeCount; ++b) table[a][b] = cycleShare(a, b);
    }
    return table;
}

namespace {

// How often the cell at (r, c) cooperates in its games (its own moves only),
// against its own colour (and itself, when it plays itself) and the others.
struct CellCooperation {
    double coopSame = 0.0, coopOther = 0.0;
    std::uint64_t gamesSame = 0, gamesOther = 0;
};

}  // namespace

namespace {

// computeWorldStats with each cell's score from scores, or none when that is
// null, and only the cooperation sums asked for (the others stay 0).
template <bool kSame, bool kOther>
WorldStats cellByCell(const World& world, const CooperationTable& coop, const double* scores) {
    // Whole-number counts do not depend on the order they are taken in: the
    // cells per (colour, self, others) and the games per colour are gathered
    // here and put into the groups at the end. The sums of decimals are
    // added as they always have been, so that the table's digits stay: cell
    // by cell in row-major order, each cell's games in opponentsOf's order.
    std::array<std::uint32_t, kCodeCount * kPairCount> cellsOf{};
    std::array<std::uint64_t, kCodeCount> gamesSame{}, gamesOther{};
    std::array<double, kCodeCount + 1> scoreSum{}, coopSame{}, coopOther{};  // 0: the whole world, 1 + c: colour c
    const CellCode* colors = world.cellColor.data();
    const CellCode* selves = world.selfStrategy.data();
    const CellCode* others = world.otherStrategy.data();
    const int cols = world.cols();
    const bool moore = world.shape().neighbourhood == Neighbourhood::Moore;
    const int mooreOffsets[8] = {-cols - 1, -cols, -cols + 1, -1, 1, cols - 1, cols, cols + 1};
    const int vonNeumannOffsets[4] = {-cols, -1, 1, cols};
    const int* offsets = moore ? mooreOffsets : vonNeumannOffsets;
    const int count = moore ? 8 : 4;
    for (int r = 0; r < world.rows(); ++r) {
        const bool innerRow = r > 0 && r < world.rows() - 1;
        for (int c = 0; c < cols; ++c) {
            const int cell = world.index(r, c);
            const CellCode ownColor = colors[cell];
            const int color = ownColor & 7;
            const int self = selves[cell] & 7;
            const int other = others[cell] & 7;
            double same = 0.0, otherColors = 0.0;
            std::uint32_t sameGames = 0, otherGames = 0;
            // A game against the other kind adds 0.0, which leaves a sum of
            // shares as it was: the same sums as adding only the games of
            // each kind, without a branch a game.
            const auto play = [&](int opponent) {
                const bool sameColor = colors[opponent] == ownColor;
                if (kSame) same += sameColor ? coop[self][selves[opponent] & 7] : 0.0;
                if (kOther) otherColors += sameColor ? 0.0 : coop[other][others[opponent] & 7];
                sameGames += sameColor ? 1 : 0;
                otherGames += sameColor ? 0 : 1;
            };
            if (innerRow && c > 0 && c < cols - 1) {
                for (int k = 0; k < count; ++k) play(cell + offsets[k]);
            } else {
                int opponents[8];
                const int n = opponentsOf(world, r, c, opponents);
                for (int k = 0; k < n; ++k) {
                    if (opponents[k] >= 0) play(opponents[k]);
                }
            }
            if (world.playSelf) {
                if (kSame) same += coop[self][self];
                ++sameGames;
            }
            const std::size_t group = 1 + static_cast<std::size_t>(color);
            if (scores != nullptr) {
                const double score = scores[static_cast<std::size_t>(cell)];
                scoreSum[0] += score;
                scoreSum[group] += score;
            }
            coopSame[0] += same;
            coopSame[group] += same;
            coopOther[0] += otherColors;
            coopOther[group] += otherColors;
            ++cellsOf[static_cast<std::size_t>(color * kPairCount + self * kCodeCount + other)];
            gamesSame[static_cast<std::size_t>(color)] += sameGames;
            gamesOther[static_cast<std::size_t>(color)] += otherGames;
        }
    }
    WorldStats stats{};
    for (std::size_t g = 0; g <= kCodeCount; ++g) {
        stats[g].scoreSum = scoreSum[g];
        stats[g].coopSame = coopSame[g];
        stats[g].coopOther = coopOther[g];
    }
    for (int color = 0; color < kCodeCount; ++color) {
        GroupStats& group = stats[static_cast<std::size_t>(1 + color)];
        for (int pair = 0; pair < kPairCount; ++pair) {
            const std::uint32_t cells = cellsOf[static_cast<std::size_t>(color * kPairCount + pair)];
            group.cells += cells;
            group.self[static_cast<std::size_t>(pair / kCodeCount)] += cells;
            group.other[static_cast<std::size_t>(pair % kCodeCount)] += cells;
            if (pair / kCodeCount != pair % kCodeCount) group.discriminating += cells;
        }
        group.gamesSame = gamesSame[static_cast<std::size_t>(color)];
        group.gamesOther = gamesOther[static_cast<std::size_t>(color)];
        GroupStats& whole = stats[0];
        addCounts(whole, group);
    }
    return stats;
}

}  // namespace

WorldStats computeWorldStats(const World& world, const CooperationTable& coop) {
    std::vector<double> scores;
    world.scoreCurrentState(scores);
    return cellByCell<true, true>(world, coop, scores.data());
}

WorldStats worldStatsWithoutScores(const World& world, const CooperationTable& coop, bool same, bool other) {
    if (same && other) return cellByCell<true, true>(world, coop, nullptr);
    if (same) return cellByCell<true, false>(world, coop, nullptr);
    if (other) return cellByCell<false, true>(world, coop, nullptr);
    return cellByCell<false, false>(world, coop, nullptr);
}

GroupStats worldCooperation(const World& world, const CooperationTable& coop) {
    // The games counted by (own code, opponent's code), against the own colour
    // (0 .. 63) and the others (64 .. 127), in four lanes that the games take
    // in turn so that a run of like games does not wait on one counter; the
    // shares are multiplied in at the end.
    std::array<std::array<std::uint32_t, 2 * kPairCount>, 4> lanes{};
    const CellCode* colors = world.cellColor.data();
    const CellCode* selves = world.selfStrategy.data();
    const CellCode* others = world.otherStrategy.data();
    const bool moore = world.shape().neighbourhood == Neighbourhood::Moore;
    for (int r = 0; r < world.rows(); ++r) {
        for (int c = 0; c < world.cols(); ++c) {
            const Around a = world.around(r, c);
            const int cell = a.row + a.col;
            const int color = colors[cell];
            const int self = selves[cell] & 7;
            const int other = others[cell] & 7;
            const auto play = [&](int lane, int rowStart, int column) {
                if (rowStart < 0 || column < 0) return;  // beyond a fixed edge
                const int n = rowStart + column;
                const int key = colors[n] == color ? self * kCodeCount + (selves[n] & 7)
                                                   : kPairCount + other * kCodeCount + (others[n] & 7);
                ++lanes[static_cast<std::size_t>(lane)][static_cast<std::size_t>(key)];
            };
            play(0, a.up, a.col);
            play(1, a.row, a.left);
            play(2, a.row, a.right);
            play(3, a.down, a.col);
            if (moore) {
                play(0, a.up, a.left);
                play(1, a.up, a.right);
                play(2, a.down, a.left);
                play(3, a.down, a.right);
            }
            if (world.playSelf) ++lanes[0][static_cast<std::size_t>(self * kCodeCount + self)];
        }
    }
    GroupStats all{};
    for (int key = 0; key < 2 * kPairCount; ++key) {
        std::uint64_t games = 0;
        for (const auto& lane : lanes) games += lane[static_cast<std::size_t>(key)];
        const int pair = key % kPairCount;
        const double share = coop[pair / kCodeCount][pair % kCodeCount] * static_cast<double>(games);
        if (key < kPairCount) {
            all.coopSame += share;
            all.gamesSame += games;
        } else {
            all.coopOther += share;
            all.gamesOther += games;
        }
    }
    return all;
}

WorldStats computeGraphStats(const GraphWorld& world, const CooperationTable& coop) {
    WorldStats stats{};
    const Graph& graph = world.graph();
    for (int node = 0; node < world.nodeCount(); ++node) {
        const int color = world.nodeColor[node];
        const int self = world.selfStrategy[node] & 7;
        const int other = world.otherStrategy[node] & 7;
        CellCooperation k;
        for (std::uint32_t e = graph.offsets[node]; e < graph.offsets[node + 1]; ++e) {
            const int n = graph.neighbours[e];
            if (world.nodeColor[n] == color) {
                k.coopSame += coop[self][world.selfStrategy[n] & 7];
                ++k.gamesSame;
            } else {
                k.coopOther += coop[other][world.otherStrategy[n] & 7];
                ++k.gamesOther;
            }
        }
        if (world.playSelf) {
            k.coopSame += coop[self][self];
            ++k.gamesSame;
        }
        const double score = world.scoreNode(node);
        addCell(stats[0], self, other, score, k.coopSame, k.gamesSame, k.coopOther, k.gamesOther);
        addCell(stats[1 + (color & 7)], self, other, score, k.coopSame, k.gamesSame, k.coopOther, k.gamesOther);
    }
    return stats;
}

namespace {

std::vector<int> colorsIn(const std::vector<CellCode>& grid) {
    std::array<bool, kCodeCount> seen{};
    for (CellCode color : grid) seen[color & 7] = true;
    std::vector<int> colors;
    for (int c = 0; c < kCodeCount; ++c) {
        if (seen[c]) colors.push_back(c);
    }
    return colors;
}

}  // namespace

std::vector<int> colorsPresent(const World& world) { return colorsIn(world.cellColor); }
std::vector<int> colorsPresent(const GraphWorld& world) { return colorsIn(world.nodeColor); }

std::string groupPrefix(int group) {
    static const std::array<const char*, 3> named = {"green", "cyan", "red"};
    if (group == 0) return "all";
    const int color = group - 1;
    return color < 3 ? named[color] : "color" + std::to_string(color);
}

std::string statsHeader(const std::vector<int>& colors) {
    std::string out = "generation";
    std::vector<int> groups{0};
    for (int color : colors) groups.push_back(1 + color);
    for (int group : groups) {
        const std::string p = "," + groupPrefix(group) + "_";
        out += p + "cells" + p + "mean_score";
        for (int k = 0; k < kCodeCount; ++k) out += p + "self_" + std::to_string(k);
        for (int k = 0; k < kCodeCount; ++k) out += p + "other_" + std::to_string(k);
        out += p + "discriminating" + p + "coop_same" + p + "coop_other";
    }
    return out + "\n";
}

std::string statsRow(std::int64_t generation, const WorldStats& stats, const std::vector<int>& colors) {
    std::string out = std::to_string(generation);
    std::vector<int> groups{0};
    for (int color : colors) groups.push_back(1 + color);
    for (int group : groups) {
        const GroupStats& g = stats[group];
        appendCount(out, g.cells);
        appendRatio(out, g.scoreSum, g.cells);
        for (std::uint64_t n : g.self) appendCount(out, n);
        for (std::uint64_t n : g.other) appendCount(out, n);
        appendRatio(out, static_cast<double>(g.discriminating), g.cells);
        appendRatio(out, g.coopSame, g.gamesSame);
        appendRatio(out, g.coopOther, g.gamesOther);
    }
    return out + "\n";
}

}  // namespace talvane
