// The whole-grid generation step. Cells are packed into one number each and
// laid out with a border of one cell on every side: a torus copies its
// opposite rows and columns into the border, fixed edges fill it with a mark
// that plays no game and a score of minus infinity that imitation never
// picks. Every neighbour of a cell then sits at the same distance from it, and
// one loop serves every size, edge and neighbourhood.
//
// The step keeps what it last computed from and rescores only the rows next
// to a row that changed since; everything is compared afresh at every step,
// so changes made between steps (painting, seeding, a restart, new payoffs)
// are always seen.

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <thread>

#include "world.h"

namespace talvane {

namespace {

// colour << 6 | self << 3 | others, for codes 0 to 7; kAbsent where no cell lies.
using Key = std::uint16_t;
constexpr Key kColorBits = 0x1c0;
constexpr Key kPairBits = 0x3f;
constexpr Key kAbsent = 0x8000;

// terms[] holds the payoff table flattened (own * 8 + opponent), then the
// same plus the extra point, then a zero for the games that are not played.
constexpr int kBonusOffset = kPairCount;
constexpr int kZeroTerm = 2 * kPairCount;

// Worlds below this many cells always step on one thread: the threads would
// cost more than they save.
constexpr int kMinCellsForThreads = 1 << 15;

constexpr double kNoCell = -std::numeric_limits<double>::infinity();

// Geometry of the padded grids.
struct Padded {
    int rows, cols, stride;
    explicit Padded(const WorldShape& s) : rows(s.rows), cols(s.cols), stride(s.cols + 2) {}
    std::size_t size() const { return static_cast<std::size_t>(rows + 2) * static_cast<std::size_t>(stride); }
    std::size_t at(int r, int c) const {
        return static_cast<std::size_t>(r + 1) * static_cast<std::size_t>(stride) + static_cast<std::size_t>(c + 1);
    }
};

// Copies the torus's opposite rows and columns into the border.
template <typename T>
void wrapBorder(const Padded& p, T* grid) {
    for (int r = 0; r < p.rows; ++r) {
        grid[p.at(r, -1)] = grid[p.at(r, p.cols - 1)];
        grid[p.at(r, p.cols)] = grid[p.at(r, 0)];
    }
    std::memcpy(grid + p.at(-1, -1), grid + p.at(p.rows - 1, -1), static_cast<std::size_t>(p.stride) * sizeof(T));
    std::memcpy(grid + p.at(p.rows, -1), grid + p.at(0, -1), static_cast<std::size_t>(p.stride) * sizeof(T));
}

// Runs body(firstRow, endRow, band) over bands of rows, one band per thread.
template <typename Body>
void forBands(int rows, int bands, Body&& body) {
    if (bands <= 1) {
        body(0, rows, 0);
        return;
    }
    std::vector<std::thread> helpers;
    helpers.reserve(static_cast<std::size_t>(bands - 1));
    for (int b = 1; b < bands; ++b) {
        helpers.emplace_back([&body, rows, bands, b] { body(rows * b / bands, rows * (b + 1) / bands, b); });
    }
    body(0, rows / bands, 0);
    for (std::thread& t : helpers) t.join();
}

// Distances to the neighbours, games and candidates listed as the rules list them.
struct Offsets {
    int games[8];       // in the order their terms are summed: the last game first
    int gameCount;
    int candidates[9];  // scan order; the cell itself last
};

Offsets offsetsFor(const Padded& p, bool moore) {
    const int up = -p.stride, down = p.stride, left = -1, right = 1;
    Offsets o{};
    if (moore) {
        const int games[8] = {down + right, up + right, down + left, up + left, down, up, right, left};
        std::copy(games, games + 8, o.games);
        o.gameCount = 8;
    } else {
        const int games[4] = {down, up, right, left};
        std::copy(games, games + 4, o.games);
        o.gameCount = 4;
    }
    const int candidates[9] = {up + left, down + left, up + right, down + right, up, left, down, right, 0};
    std::copy(candidates, candidates + 9, o.candidates);
    return o;
}

// Scores of the cols cells from key, into out.
template <bool kMoore, bool kFixed>
void scoreCells(const Key* key, int cols, const Offsets& o, const double* terms, bool playSelf, bool extraPoint,
              double* out) {
    constexpr int kGames = kMoore ? 8 : 4;
    for (int c = 0; c < cols; ++c) {
        const Key me = key[c];
        const int self = (me >> 3) & 7;
        const int other = me & 7;
        const Key color = me & kColorBits;
        const int selfBase = self * 8 + ((extraPoint && self != other) ? kBonusOffset : 0);
        const int otherBase = other * 8;
        double sum = 0.0;
        for (int g = 0; g < kGames; ++g) {
            const Key n = key[c + o.games[g]];
            int term = (n & kColorBits) == color ? selfBase + ((n >> 3) & 7) : otherBase + (n & 7);
            if (kFixed && (n & kAbsent) != 0) term = kZeroTerm;
            sum += terms[term];
        }
        out[c] = sum + (playSelf ? terms[selfBase + self] : 0.0);
    }
}

// Marks the cells whose nine candidates all hold one pair: whatever the
// scores, such a cell keeps its pair. A cell beyond a fixed edge matches
// nothing.
void markUniform(const Key* key, int cols, int stride, std::uint8_t* uniform) {
    constexpr Key kBits = kPairBits | kAbsent;
    const Key* up = key - stride;
    const Key* down = key + stride;
    for (int c = 0; c < cols; ++c) {
        const Key k = key[c] & kBits;
        const bool rowSame = ((key[c - 1] & kBits) == k) & ((key[c + 1] & kBits) == k);
        const bool upSame = ((up[c - 1] & kBits) == k) & ((up[c] & kBits) == k) & ((up[c + 1] & kBits) == k);
        const bool downSame = ((down[c - 1] & kBits) == k) & ((down[c] & kBits) == k) & ((down[c + 1] & kBits) == k);
        uniform[c] = rowSame & upSame & downSame;
    }
}

// Writes each cell's next pair and the changes to the pair counts.
// Returns true when no choice of the row depended on its number drawn: then
// the same scores and keys give the same row again, whatever is drawn.
template <bool kMoore>
bool chooseRow(const Key* key, const double* score, int cols, const Offsets& o, const std::uint8_t* uniform,
               const std::uint32_t* draws, CellCode* self, CellCode* other,
               std::array<std::int32_t, kPairCount>& delta) {
    constexpr int kFirst = kMoore ? 0 : 4;  // von Neumann cells have no diagonal candidates
    bool drawFree = true;
    for (int c = 0; c < cols; ++c) {
        if (uniform[c]) continue;
        double best = score[c];
        for (int k = kFirst; k < 8; ++k) best = std::max(best, score[c + o.candidates[k]]);
        Key now = key[c];
        if (!(score[c] == best || best < 0.0)) {
            std::uint32_t atBest = 0;
            for (int k = kFirst; k < 8; ++k) atBest |= std::uint32_t{score[c + o.candidates[k]] == best} << k;
            // The scan from the start index keeps the last candidate at the
            // best: the highest one below the start, else the highest of all.
            const std::uint32_t below = atBest & ((1u << (draws[c] % 8)) - 1u);
            const int pick = std::bit_width(below != 0 ? below : atBest) - 1;
            now = key[c + o.candidates[pick]];
            // Ties decide nothing when every candidate at the best holds one pair.
            for (std::uint32_t rest = atBest; rest != 0 && drawFree; rest &= rest - 1) {
                drawFree = ((key[c + o.candidates[std::countr_zero(rest)]] ^ now) & kPairBits) == 0;
            }
        }
        if (((now ^ key[c]) & kPairBits) != 0) {
            self[c] = static_cast<CellCode>((now >> 3) & 7);
            other[c] = static_cast<CellCode>(now & 7);
            --delta[key[c] & kPairBits];
            ++delta[now & kPairBits];
        }
    }
    return drawFree;
}

}  // namespace

void World::step(const std::uint32_t* draws, int threads) {
    const Padded p(shape_);
    const bool fixed = shape_.edges == Edges::Fixed;
    const bool moore = shape_.neighbourhood == Neighbourhood::Moore;
    StepScratch& s = scratch_;
    if (s.keys[0].size() != p.size()) {
        for (auto& keys : s.keys) keys.assign(p.size(), kAbsent);
        s.scores.assign(p.size(), kNoCell);
        s.rowChanged.assign(static_cast<std::size_t>(rows()), 1);
        s.rowSettled.assign(static_cast<std::size_t>(rows()), 0);
        s.valid = false;
    }
    const int bands = cellCount() >= kMinCellsForThreads ? std::clamp(threads, 1, rows()) : 1;

    // Pack this world's cells, and see which rows differ from the step before's.
    s.current ^= 1;
    Key* keys = s.keys[s.current].data();
    const Key* before = s.keys[s.current ^ 1].data();
    std::vector<int>& codeBits = s.codeBits;
    codeBits.assign(static_cast<std::size_t>(bands), 0);
    forBands(rows(), bands, [&](int first, int end, int band) {
        int bits = 0;
        for (int r = first; r < end; ++r) {
            Key* row = keys + p.at(r, 0);
            const std::size_t cell = static_cast<std::size_t>(index(r, 0));
            for (int c = 0; c < cols(); ++c) {
                const int color = cellColor[cell + c], self = selfStrategy[cell + c], other = otherStrategy[cell + c];
                bits |= color | self | other;
                row[c] = static_cast<Key>((color & 7) << 6 | (self & 7) << 3 | (other & 7));
            }
            s.rowChanged[r] = std::memcmp(row, before + p.at(r, 0), static_cast<std::size_t>(cols()) * sizeof(Key)) != 0;
        }
        codeBits[static_cast<std::size_t>(band)] = bits;
    });
    int bits = 0;
    for (int b : codeBits) bits |= b;
    if ((bits & ~7) != 0) {
        // Codes that do not fit the packing: every cell by the per-cell rules.
        stepCellByCell(draws);
        ++generation;
        return;
    }
    if (!fixed) wrapBorder(p, keys);

    // The pair counts of the world as it stands, from the step before's
    // where few cells changed.
    const auto changedRows = std::count(s.rowChanged.begin(), s.rowChanged.end(), std::uint8_t{1});
    if (!s.valid || changedRows > rows() / 2) {
        // Two updates per changed cell cost more than one count per cell.
        s.keyCounts = countPairs();
    } else {
        for (int r = 0; r < rows(); ++r) {
            if (!s.rowChanged[r]) continue;
            const Key* now = keys + p.at(r, 0);
            const Key* was = before + p.at(r, 0);
            for (int c = 0; c < cols(); ++c) {
                --s.keyCounts[was[c] & kPairBits];
                ++s.keyCounts[now[c] & kPairBits];
            }
        }
    }

    // Scores: only rows next to a changed row, unless the inputs changed.
    std::array<double, 2 * kPairCount + 1> terms{};
    for (int a = 0; a < kCodeCount; ++a) {
        for (int b = 0; b < kCodeCount; ++b) {
            terms[a * kCodeCount + b] = payoffTable[a][b];
            terms[kBonusOffset + a * kCodeCount + b] = payoffTable[a][b] + 1.0;
        }
    }
    terms[kZeroTerm] = 0.0;
    const bool reuse = s.valid && terms == s.terms && playSelf == s.playSelf && extraPoint == s.extraPoint;
    const Offsets o = offsetsFor(p, moore);
    // Whether a row within distance rows of r (1 or 2) changed since the step before.
    const auto changedNear = [&](int r, int distance) {
        if (s.rowChanged[r]) return true;
        int up = r, down = r;
        for (int d = 0; d < distance; ++d) {
            up = up < 0 ? -1 : rowAbove_[up];
            down = down < 0 ? -1 : rowBelow_[down];
            if ((up >= 0 && s.rowChanged[up]) || (down >= 0 && s.rowChanged[down])) return true;
        }
        return false;
    };
    const auto scoreRow = [&](int r, const Offsets& offsets, const double* t, double* out) {
        const Key* row = keys + p.at(r, 0);
        if (moore) {
            fixed ? scoreCells<true, true>(row, cols(), offsets, t, playSelf, extraPoint, out)
                  : scoreCells<true, false>(row, cols(), offsets, t, playSelf, extraPoint, out);
        } else {
            fixed ? scoreCells<false, true>(row, cols(), offsets, t, playSelf, extraPoint, out)
                  : scoreCells<false, false>(row, cols(), offsets, t, playSelf, extraPoint, out);
        }
    };
    forBands(rows(), bands, [&](int first, int end, int) {
        for (int r = first; r < end; ++r) {
            double* out = s.scores.data() + p.at(r, 0);
            if (!reuse || changedNear(r, 1)) scoreRow(r, o, terms.data(), out);
            // Copied every time: the world's own scores may have been cleared since (a restart does).
            std::memcpy(score.data() + index(r, 0), out, static_cast<std::size_t>(cols()) * sizeof(double));
        }
    });
    if (!fixed) wrapBorder(p, s.scores.data());
    s.terms = terms;
    s.playSelf = playSelf;
    s.extraPoint = extraPoint;
    s.valid = true;

    // Every cell's next pair, straight into the grids: the keys keep the
    // world as this step found it.
    auto& deltas = s.pairDeltas;
    deltas.resize(static_cast<std::size_t>(bands));
    s.uniform.resize(static_cast<std::size_t>(bands));
    forBands(rows(), bands, [&](int first, int end, int band) {
        auto& delta = deltas[static_cast<std::size_t>(band)];
        delta = {};
        std::vector<std::uint8_t>& uniform = s.uniform[static_cast<std::size_t>(band)];
        uniform.resize(static_cast<std::size_t>(cols()));
        for (int r = first; r < end; ++r) {
            const std::size_t cell = static_cast<std::size_t>(index(r, 0));
            const Key* row = keys + p.at(r, 0);
            const double* rowScores = s.scores.data() + p.at(r, 0);
            // A row that kept every pair last time, with nothing changed within
            // two rows since and no choice left to its draws, keeps them again.
            if (reuse && s.rowSettled[r] && !changedNear(r, 2)) continue;
            markUniform(row, cols(), p.stride, uniform.data());
            const bool drawFree =
                moore ? chooseRow<true>(row, rowScores, cols(), o, uniform.data(), draws + cell,
                                        selfStrategy.data() + cell, otherStrategy.data() + cell, delta)
                      : chooseRow<false>(row, rowScores, cols(), o, uniform.data(), draws + cell,
                                         selfStrategy.data() + cell, otherStrategy.data() + cell, delta);
            s.rowSettled[r] = drawFree;
        }
    });
    // The counts of the new world: those of the keys and the choices' changes.
    pairCounts_ = s.keyCounts;
    for (const auto& delta : deltas) {
        for (int k = 0; k < kPairCount; ++k) pairCounts_[k] += static_cast<std::uint32_t>(delta[k]);
    }
    ++generation;
}

}  // namespace talvane
