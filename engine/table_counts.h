// The statistics table's rows of a lattice world from whole-number counts.
// The games are counted by colour and pair of codes, through the edges
// between neighbouring cells (each edge once, for the two games across it);
// only the rows near a change since the last row are counted again, or,
// when few cells changed, the changed cells' edges moved one by one. The
// payoffs and cooperation shares are multiplied in at the end. Sums of decimals taken in
// that order may differ in their last bits from the table's own, taken cell
// by cell: a row is written from the counts only when every field it prints
// comes out the same for any sum within the rounding error of that order,
// and from computeWorldStats otherwise, so its text never changes.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "statistics.h"
#include "world.h"

namespace talvane {

class TableCounts {
public:
    // statsRow(generation, computeWorldStats(world, coop), colors), as text.
    std::string row(const World& world, const CooperationTable& coop, std::int64_t generation,
                    const std::vector<int>& colors);

    // How many rows were written from the counts and how many as the table
    // sums them, since this value was made.
    std::uint64_t countedRows() const { return countedRows_; }
    std::uint64_t summedRows() const { return summedRows_; }
    // Of the summed rows, those where only the cooperation shares were.
    std::uint64_t sharesSummedRows() const { return sharesSummedRows_; }
    // How many times the counts followed the changed cells one by one.
    std::uint64_t cellMoves() const { return cellMoves_; }

    // Bins per colour: same-colour games by (self, opponent's self, the cell
    // discriminates) at self * 8 + code + 64 * discriminates, games against
    // other colours by (others, opponent's others) from kOtherGames, cells
    // by pair from kCells.
    static constexpr int kOtherGames = 128;
    static constexpr int kCells = 192;
    static constexpr int kBins = 256;
    // The counts the bins come from: edges by the kinds of their two cells,
    // cells by colour and pair, twice (see table_counts.cpp).
    static constexpr int kCounts = 6145 + 2 * 512;

    // The games' bins behind the last row, by colour.
    const std::array<std::uint32_t, kCodeCount * kBins>& bins() const { return bins_; }

private:
    // False when a code lies outside 0 .. 7: the counts cannot hold it.
    bool count(const World& world);
    template <int kSign>
    void countRow(const std::uint16_t* keys, int cols);
    // Moves the counts from the world in before to the one in now (padded,
    // both wrapped), cell by cell, when few enough cells changed to make
    // that cheaper than counting their rows again. False, with nothing
    // changed, otherwise.
    bool moveChangedCells(const std::uint16_t* now, const std::uint16_t* before);
    // The moves themselves, of the cells in moved_.
    template <bool kMoore, bool kWrap>
    void moveCells(const std::uint16_t* now, const std::uint16_t* before);
    // Adds to moved_ the cells of the padded row from `first` that differ
    // between now and before, while it holds at most `most` (beyond, sets
    // movedOverflow_); moved_ has room for `most`. True when any differ.
    bool collectChanged(const std::uint16_t* now, const std::uint16_t* before, std::size_t first, int cols,
                        std::size_t most);
    // bins_ from the counts of edges and cells.
    void binsFromCounts(const std::uint32_t* counts);
    // row() once count() has counted the world: its fields from bins_.
    std::string rowFromBins(const World& world, const CooperationTable& coop, std::int64_t generation,
                            const std::vector<int>& colors);
    // What moving a cell costs for each of its edges, in cells of a row counted again.
    static constexpr int kCellCost = 3;

    WorldShape shape_{};
    bool playSelf_ = false;
    bool valid_ = false;              // bins_ counts the world held in keys_[current_]
    std::vector<std::uint16_t> keys_[2];  // the world counted last and the one counted now, padded
    int current_ = 0;
    std::vector<std::uint8_t> changed_;
    std::vector<std::uint32_t> moved_;  // the cells moveChangedCells moves: the first movedCount_
    std::size_t movedCount_ = 0;
    bool movedOverflow_ = false;        // more changed than moved_ was let hold
    std::array<std::uint32_t, kCodeCount * kBins> bins_{};  // the sum of the lanes
    static constexpr int kLanes = 4;
    std::array<std::array<std::uint32_t, kCounts>, kLanes> lanes_{};
    std::vector<std::uint16_t> binOf_;  // one row's bin of each game, game by game (or share, for the sums)
    std::vector<double> shareSums_;     // one row's cells' sums of shares
    // The cells' sums of shares of one kind (same colour or other colours)
    // as last summed in order, and what they were summed from, for worlds of
    // up to kMostCachedCells cells.
    static constexpr std::size_t kMostCachedCells = std::size_t{1} << 21;
    struct KeptShares {
        bool valid = false;
        std::vector<std::uint16_t> keys;  // padded, as keys_
        WorldShape shape{};
        bool playSelf = false;
        CooperationTable coop{};
        std::vector<double> sums;         // by cell
        std::vector<std::uint8_t> dirty;  // by row, a flag for each block of 8 cells to sum again
    };
    KeptShares keptSame_, keptOther_;
    std::vector<std::uint8_t> changedPlaces_;  // markChangedBlocks' scratch
    // Marks in kept.dirty the blocks with a cell within one cell of a
    // change between the kept keys and the padded keys now.
    void markChangedBlocks(KeptShares& kept, const std::uint16_t* now);
    std::uint64_t countedRows_ = 0, summedRows_ = 0, sharesSummedRows_ = 0, cellMoves_ = 0;

    // The last row from the counts, after its generation, and all else it
    // was made from: a world that has not changed since gets it again while
    // the payoffs, the shares and the colours listed stay too.
    bool unchanged_ = false;  // count() found the world as it counted it last
    struct LastRow {
        bool valid = false;
        std::string fields;  // from the first comma on
        PayoffTable payoffs{};
        CooperationTable coop{};
        bool extraPoint = false;
        std::vector<int> colors;
        // What kind of row it was: from the counts, summed, or with only its shares summed.
        enum class Kind { Counted, Summed, SharesSummed } kind = Kind::Counted;
    } last_;
};

}  // namespace talvane
