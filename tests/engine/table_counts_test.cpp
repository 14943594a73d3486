// The statistics table's rows from counts: the same text as the rows summed
// cell by cell, over runs where a few cells change and where many do, on
// every edge, neighbourhood and game option, with whole and decimal payoffs.
#include <gtest/gtest.h>

#include <random>

#include "payoffs.h"
#include "statistics.h"
#include "table_counts.h"
#include "wide_vectors.h"

namespace talvane {
namespace {

std::string summedRow(const World& world, const CooperationTable& coop, std::int64_t generation) {
    return statsRow(generation, computeWorldStats(world, coop), colorsPresent(world));
}

void paintRandomly(World& world, std::mt19937& rng, int cells, int colors) {
    for (int k = 0; k < cells; ++k) {
        const auto i = static_cast<std::size_t>(rng() % static_cast<unsigned>(world.cellCount()));
        world.cellColor[i] = static_cast<CellCode>(rng() % static_cast<unsigned>(colors));
        world.selfStrategy[i] = static_cast<CellCode>(rng() % 8);
        world.otherStrategy[i] = static_cast<CellCode>(rng() % 8);
    }
}

// Runs body with the widest vector code where the processor has it, then without.
template <typename Body>
void withAndWithoutWidestVectors(Body&& body) {
    struct WidestAgain {
        ~WidestAgain() { detail::allowWidestVectors(true); }
    } widestAgain;
    for (const bool widest : {true, false}) {
        detail::allowWidestVectors(widest);
        body();
    }
}

TEST(TableCounts, RowsMatchTheTableSummedCellByCell) {
    withAndWithoutWidestVectors([] {
        std::mt19937 rng(77);
        const CooperationTable finite = finiteCooperationTable();
        const CooperationTable infinite = infiniteCooperationTable();
        std::uint64_t counted = 0, sharesSummed = 0;
        for (Edges edges : {Edges::Wrap, Edges::Fixed}) {
            for (Neighbourhood hood : {Neighbourhood::Moore, Neighbourhood::VonNeumann}) {
                for (int options = 0; options < 4; ++options) {
                    World world(WorldShape{23, 31, edges, hood});
                    world.playSelf = (options & 1) != 0;
                    world.extraPoint = (options & 2) != 0;
                    // Whole-number payoffs, then decimal ones, which the counts
                    // can only bound.
                    world.payoffTable = options < 2 ? infinitePayoffTable : finitePayoffTable(3, 0, 5, 1, 200);
                    if (options >= 2) world.payoffTable[6][0] += 0.37;
                    paintRandomly(world, rng, world.cellCount() * 2, 3);
                    TableCounts counts;
                    const CooperationTable& coop = options % 2 == 0 ? finite : infinite;
                    for (int row = 0; row < 24; ++row) {
                        ASSERT_EQ(counts.row(world, coop, row, colorsPresent(world)), summedRow(world, coop, row))
                            << edgesName(edges) << " " << neighbourhoodName(hood) << " options " << options << " row " << row;
                        // A few cells (rows counted again), many (counted afresh)
                        // or none; across the wrap too.
                        if (row % 3 == 0) paintRandomly(world, rng, 2, 3);
                        if (row % 3 == 1) paintRandomly(world, rng, world.cellCount(), 3);
                        if (row % 4 == 0) world.selfStrategy[static_cast<std::size_t>(world.index(22, 30))] ^= 1;
                    }
                    EXPECT_EQ(counts.countedRows() + counts.summedRows(), 24u);
                    counted += counts.countedRows();
                    sharesSummed += counts.sharesSummedRows();
                }
            }
        }
        // Rows whose fields lie too near a rounding tie are summed; most are not.
        EXPECT_GT(counted, 16u * 24u * 3 / 4);
        EXPECT_GT(sharesSummed, 0u) << "no row had only its shares summed: that path went untested";
    });
}

// When few cells change, the counts follow them one by one; they must come
// out as a fresh count of the world, with colours changing as well, and
// with cells that meet across the wrap changing together.
TEST(TableCounts, CountsThatFollowChangedCellsAreAFreshCount) {
    withAndWithoutWidestVectors([] {
        std::mt19937 rng(3);
        const CooperationTable coop = finiteCooperationTable();
        std::uint64_t moves = 0;
        for (const WorldShape& shape : {WorldShape{6, 40, Edges::Wrap, Neighbourhood::Moore},
                                        WorldShape{5, 7, Edges::Wrap, Neighbourhood::VonNeumann},
                                        WorldShape{23, 31, Edges::Wrap, Neighbourhood::Moore},
                                        WorldShape{23, 31, Edges::Fixed, Neighbourhood::Moore},
                                        WorldShape{17, 9, Edges::Fixed, Neighbourhood::VonNeumann}}) {
            for (const bool playSelf : {false, true}) {
                World world(shape);
                world.playSelf = playSelf;
                world.payoffTable = finitePayoffTable(3, 0, 5, 1, 200);
                paintRandomly(world, rng, world.cellCount() * 2, 3);
                TableCounts counts;
                for (int row = 0; row < 20; ++row) {
                    counts.row(world, coop, row, colorsPresent(world));
                    TableCounts fresh;
                    fresh.row(world, coop, row, colorsPresent(world));
                    ASSERT_EQ(counts.bins(), fresh.bins()) << shape.rows << " x " << shape.cols << " "
                                                           << edgesName(shape.edges) << " row " << row;
                    // One or two cells, some on the edges and corners, some side by side.
                    paintRandomly(world, rng, 1 + row % 2, 3);
                    if (row % 3 == 0) world.otherStrategy[0] ^= 5;
                    if (row % 4 == 1) {
                        // Cells that meet across the wrap: by the first column's,
                        // the first row's and the corner's copies.
                        // Both codes change, so that every game's bin does.
                        const auto last = static_cast<std::size_t>(world.cellCount() - 1);
                        for (const std::size_t i : {std::size_t{0}, static_cast<std::size_t>(shape.cols - 1), last - 1, last}) {
                            world.selfStrategy[i] ^= 1;
                            world.otherStrategy[i] ^= 1;
                        }
                    }
                }
                moves += counts.cellMoves();
            }
        }
        EXPECT_GT(moves, 100u) << "the counts were seldom moved cell by cell: that path went untested";
    });
}

// The rows on a tie of their shares keep each cell's sums of shares from
// one such row to the next, and sum again only those within one cell of a
// change: a change in the row above or below a cell, beside it across a
// block of eight, across the wrap, or of the shares themselves, must reach
// its sums.
TEST(TableCounts, SharesKeptBetweenTiedRowsFollowEveryChange) {
    withAndWithoutWidestVectors([] {
        std::mt19937 rng(21);
        std::uint64_t sharesSummed = 0;
        // Sizes whose game counts make exact ties of the sixth decimal common.
        for (const WorldShape& shape : {WorldShape{40, 40, Edges::Wrap, Neighbourhood::Moore},
                                        WorldShape{25, 32, Edges::Fixed, Neighbourhood::Moore},
                                        WorldShape{20, 50, Edges::Wrap, Neighbourhood::VonNeumann}}) {
            for (const bool playSelf : {false, true}) {
                World world(shape);
                world.playSelf = playSelf;
                world.payoffTable = finitePayoffTable(3, 0, 5, 1, 200);
                CooperationTable coop = finiteCooperationTable();
                paintRandomly(world, rng, world.cellCount() * 2, 1);
                TableCounts counts;
                std::size_t undo = 0;
                CellCode undoSelf = world.selfStrategy[0], undoOther = world.otherStrategy[0];
                for (int row = 0; row < 150; ++row) {
                    ASSERT_EQ(counts.row(world, coop, row, colorsPresent(world)), summedRow(world, coop, row))
                        << shape.rows << " x " << shape.cols << " " << neighbourhoodName(shape.neighbourhood)
                        << " play-self " << playSelf << " row " << row;
                    // One cell, at random or on a corner (its neighbours lie
                    // across the wrap), or at the edge of a block of eight.
                    paintRandomly(world, rng, 1, 1);
                    const auto cell = static_cast<std::size_t>(
                        row % 3 == 0 ? world.index(0, 0) : world.index(static_cast<int>(rng() % 8), 8 * static_cast<int>(rng() % 3)));
                    // Now and then the cell changed before changes back: its
                    // kept sums must still follow it.
                    if (row % 4 == 2) {
                        world.selfStrategy[undo] = undoSelf;
                        world.otherStrategy[undo] = undoOther;
                    }
                    undo = cell;
                    undoSelf = world.selfStrategy[cell];
                    undoOther = world.otherStrategy[cell];
                    world.selfStrategy[cell] = static_cast<CellCode>(rng() % 8);
                    world.otherStrategy[cell] = static_cast<CellCode>(rng() % 8);
                    if (row % 50 == 49) coop[1][6] = 0.5 + coop[1][6] / 4;
                }
                sharesSummed += counts.sharesSummedRows();
            }
        }
        EXPECT_GT(sharesSummed, 30u) << "few rows had their shares summed: the kept sums went untested";
    });
}

// A world that has not changed since the last row keeps its counts, but
// not its row when the payoffs, the shares or the colours listed change.
TEST(TableCounts, AnUnchangedWorldFollowsNewPayoffsSharesAndColours) {
    std::mt19937 rng(11);
    CooperationTable coop = finiteCooperationTable();
    World world(WorldShape{12, 14, Edges::Wrap, Neighbourhood::Moore});
    world.payoffTable = finitePayoffTable(3, 0, 5, 1, 200);
    paintRandomly(world, rng, 400, 3);
    TableCounts counts;
    std::vector<int> colors = colorsPresent(world);
    const auto expectSummed = [&](std::int64_t generation, const char* what) {
        EXPECT_EQ(counts.row(world, coop, generation, colors),
                  statsRow(generation, computeWorldStats(world, coop), colors))
            << what;
    };
    expectSummed(0, "first row");
    expectSummed(1, "the same world again");
    expectSummed(1234567, "a longer generation number");
    world.payoffTable[5][2] += 0.25;
    expectSummed(3, "new payoffs");
    world.extraPoint = true;
    expectSummed(4, "the extra point");
    coop[2][5] = 0.125;
    expectSummed(5, "new shares");
    colors = {colors.front()};
    expectSummed(6, "fewer colours listed");
    expectSummed(7, "all as before");
    EXPECT_EQ(counts.countedRows() + counts.summedRows(), 8u);
}

TEST(TableCounts, ANewShapeOrGameAgainstItselfIsCountedAfresh) {
    std::mt19937 rng(5);
    const CooperationTable coop = finiteCooperationTable();
    TableCounts counts;
    World small(WorldShape{9, 9, Edges::Wrap, Neighbourhood::Moore});
    small.payoffTable = infinitePayoffTable;
    paintRandomly(small, rng, 200, 2);
    EXPECT_EQ(counts.row(small, coop, 0, colorsPresent(small)), summedRow(small, coop, 0));
    World large(WorldShape{12, 10, Edges::Fixed, Neighbourhood::VonNeumann});
    large.payoffTable = infinitePayoffTable;
    paintRandomly(large, rng, 400, 2);
    EXPECT_EQ(counts.row(large, coop, 1, colorsPresent(large)), summedRow(large, coop, 1));
    large.playSelf = true;
    EXPECT_EQ(counts.row(large, coop, 2, colorsPresent(large)), summedRow(large, coop, 2));
}

TEST(TableCounts, CodesBeyondSevenAreSummedAsTheTableSumsThem) {
    std::mt19937 rng(8);
    const CooperationTable coop = finiteCooperationTable();
    World world(WorldShape{10, 10, Edges::Wrap, Neighbourhood::Moore});
    world.payoffTable = infinitePayoffTable;
    paintRandomly(world, rng, 300, 3);
    TableCounts counts;
    EXPECT_EQ(counts.row(world, coop, 0, colorsPresent(world)), summedRow(world, coop, 0));
    world.cellColor[17] = 9;
    EXPECT_EQ(counts.row(world, coop, 1, colorsPresent(world)), summedRow(world, coop, 1));
    EXPECT_EQ(counts.summedRows(), 1u);
    world.cellColor[17] = 1;
    EXPECT_EQ(counts.row(world, coop, 2, colorsPresent(world)), summedRow(world, coop, 2));
    EXPECT_EQ(counts.countedRows(), 2u);
}

}  // namespace
}  // namespace talvane
