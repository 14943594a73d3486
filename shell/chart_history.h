// The population chart's data: the shares of the strategies and colours at
// each generation since the last restart, as the frames showed them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "sim_state.h"
#include "world.h"

namespace talvane {

// Series of one sample: shares 0..1 of the eight self strategies, the eight
// others strategies and the colours Green, Cyan and Red, then how often the
// cells cooperate with their own colour and with the others (0..1, NaN while
// no game of that kind is played).
inline constexpr int kChartSelf = 0;      // series 0..7: self strategy k
inline constexpr int kChartOther = 8;     // series 8..15: others strategy k
inline constexpr int kChartColor = 16;    // series 16..18: Green, Cyan, Red
inline constexpr int kChartCooperation = 19;  // series 19: with the own colour, 20: with the others
inline constexpr int kChartSeries = 21;

// Cooperation rates of a world: the share of cooperative moves in the games
// against the own colour and against the other colours.
struct CooperationRates {
    float own = std::numeric_limits<float>::quiet_NaN();
    float others = std::numeric_limits<float>::quiet_NaN();
};

struct ChartSample {
    std::int32_t generation = 0;
    std::array<float, kChartSeries> share{};
};

// The history: one sample per generation seen, in order. Beyond `capacity`
// samples every second one is dropped and from then on only every second
// (fourth, ...) generation is kept, besides the newest, so memory stays
// bounded however long the run goes on.
class ChartHistory {
public:
    explicit ChartHistory(std::size_t capacity = 100000) : capacity_(capacity) {}

    // Takes the counts of a generation: pairs (self*8 + others) and cells per
    // colour code (0..7). A generation not after the newest sample (a
    // restart, an undo) first drops the samples from it on.
    void observe(std::int32_t generation, const PairCounts& pairs, const std::array<std::uint32_t, 8>& colors,
                 const CooperationRates& rates = {});

    const std::vector<ChartSample>& samples() const { return samples_; }
    // Generations between kept samples: 1 until the history was first thinned.
    std::int32_t stride() const { return stride_; }
    // The newest sample at or before generation, or null when there is none.
    const ChartSample* at(std::int32_t generation) const;
    void clear();

private:
    bool offStride(std::int32_t generation) const { return generation % stride_ != 0; }

    std::size_t capacity_;
    std::int32_t stride_ = 1;
    std::vector<ChartSample> samples_;
};

// Cells per colour code of the world's grid.
std::array<std::uint32_t, 8> countColors(const World& world);

// Cells per (self, others) pair of the world's grid, counted without touching it.
PairCounts countPairsOf(const World& world);

// The world's cooperation rates, as the statistics table of talvane-batch
// counts them, over the matches of the given competition.
CooperationRates cooperationRatesOf(const World& world, CompetitionMode competition);

}  // namespace talvane
