#include "chart_history.h"

#include <algorithm>

#include "statistics.h"

namespace talvane {

void ChartHistory::observe(std::int32_t generation, const PairCounts& pairs,
                           const std::array<std::uint32_t, 8>& colors, const CooperationRates& rates) {
    if (!samples_.empty() && generation <= samples_.back().generation) {
        const auto from = std::lower_bound(samples_.begin(), samples_.end(), generation,
                                           [](const ChartSample& s, std::int32_t g) { return s.generation < g; });
        samples_.erase(from, samples_.end());
        if (samples_.empty()) stride_ = 1;
    }
    // Thinned: only generations on the stride stay, but the newest is always
    // shown until the next one replaces it.
    if (stride_ > 1 && !samples_.empty() && offStride(samples_.back().generation)) samples_.pop_back();
    ChartSample sample;
    sample.generation = generation;
    std::uint32_t cells = 0;
    for (std::uint32_t count : colors) cells += count;
    if (cells == 0) return;
    const float scale = 1.0f / static_cast<float>(cells);
    for (int self = 0; self < kCodeCount; ++self) {
        for (int other = 0; other < kCodeCount; ++other) {
            const float share = static_cast<float>(pairs[self * kCodeCount + other]) * scale;
            sample.share[kChartSelf + self] += share;
            sample.share[kChartOther + other] += share;
        }
    }
    sample.share[kChartColor + 0] = static_cast<float>(colors[0]) * scale;
    sample.share[kChartColor + 1] = static_cast<float>(colors[1]) * scale;
    sample.share[kChartColor + 2] = static_cast<float>(colors[2]) * scale;
    sample.share[kChartCooperation + 0] = rates.own;
    sample.share[kChartCooperation + 1] = rates.others;
    samples_.push_back(sample);
    if (samples_.size() > capacity_) {
        // Thin out: keep the samples on the doubled stride (and the first).
        stride_ *= 2;
        const std::int32_t newest = samples_.back().generation;
        std::erase_if(samples_, [this, newest](const ChartSample& s) {
            return offStride(s.generation) && s.generation != newest;
        });
    }
}

const ChartSample* ChartHistory::at(std::int32_t generation) const {
    const auto after = std::upper_bound(samples_.begin(), samples_.end(), generation,
                                        [](std::int32_t g, const ChartSample& s) { return g < s.generation; });
    if (after == samples_.begin()) return nullptr;
    return &*(after - 1);
}

void ChartHistory::clear() {
    samples_.clear();
    stride_ = 1;
}

std::array<std::uint32_t, 8> countColors(const World& world) {
    std::array<std::uint32_t, 8> counts{};
    for (CellCode code : world.cellColor) counts[static_cast<std::size_t>(code) & 7u] += 1;
    return counts;
}

PairCounts countPairsOf(const World& world) {
    PairCounts counts{};
    const int cells = world.cellCount();
    for (int i = 0; i < cells; ++i) {
        const int self = world.selfStrategy[i] & 7;
        const int other = world.otherStrategy[i] & 7;
        counts[static_cast<std::size_t>(self * kCodeCount + other)] += 1;
    }
    return counts;
}

CooperationRates cooperationRatesOf(const World& world, CompetitionMode competition) {
    static const CooperationTable finite = finiteCooperationTable();
    static const CooperationTable infinite = infiniteCooperationTable();
    const GroupStats all = worldCooperation(world, competition == CompetitionMode::Infinite ? infinite : finite);
    CooperationRates rates;
    if (all.gamesSame > 0) rates.own = static_cast<float>(all.coopSame / static_cast<double>(all.gamesSame));
    if (all.gamesOther > 0) rates.others = static_cast<float>(all.coopOther / static_cast<double>(all.gamesOther));
    return rates;
}

}  // namespace talvane
