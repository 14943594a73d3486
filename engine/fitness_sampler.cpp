#include "fitness_sampler.h"

#include <bit>
#include <cstring>

#include "world.h"

namespace talvane {
namespace {

// 2^(exponent - 1023), for exponents 1 .. 2046.
double powerOfTwo(int exponent) {
    const std::uint64_t bits = static_cast<std::uint64_t>(exponent) << 52;
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

}  // namespace

void FitnessSampler::rebuild() {
    const auto cells = fitness_.size();
    bin_.assign(cells, kNone);
    place_.assign(cells, 0);
    for (auto& list : members_) list.clear();
    reweighAll();
    // The window's top is the highest exponent held (infinities and NaNs,
    // which the callers never keep, are in no bin).
    int top = 0;
    for (const double f : fitness_) {
        if (f > 0.0 && keyOf(f) < 2046) top = std::max(top, keyOf(f));
    }
    floor_ = std::max(1, top - (kWindow - 1));
    for (std::size_t cell = 0; cell < cells; ++cell) {
        const std::int16_t bin = binFor(fitness_[cell]);
        if (bin != kNone) add(static_cast<int>(cell), bin);
    }
}

std::int16_t FitnessSampler::binFor(double fitness) {
    if (!(fitness > 0.0)) return kNone;
    const int exponent = keyOf(fitness);
    if (exponent >= 2046) return kNone;  // no bound above it: never kept
    if (exponent < floor_) return kFloor;
    if (exponent >= floor_ + kWindow) raise(exponent);
    return static_cast<std::int16_t>(exponent);
}

double FitnessSampler::slotBound(int slot) const {
    if (slot == kFloorSlot) return powerOfTwo(floor_);
    // The exponent of the slot within the window.
    const int exponent = floor_ + ((slot - floor_) & (kWindow - 1));
    return powerOfTwo(exponent + 1);
}

FitnessSampler::Units FitnessSampler::slotUnits(int slot) const {
    if (slot == kFloorSlot) return 1;
    return Units{1} << (((slot - floor_) & (kWindow - 1)) + 1);
}

void FitnessSampler::add(int cell, std::int16_t bin) {
    const int slot = slotOf(bin);
    auto& list = members_[static_cast<std::size_t>(slot)];
    bin_[static_cast<std::size_t>(cell)] = bin;
    place_[static_cast<std::size_t>(cell)] = static_cast<std::int32_t>(list.size());
    list.push_back({cell, fitness_[static_cast<std::size_t>(cell)]});
    weight_[static_cast<std::size_t>(slot)] += slotBound(slot);
    units_ += slotUnits(slot);
    if (slot != kFloorSlot) occupied_ |= std::uint64_t{1} << slot;
}

void FitnessSampler::remove(int cell) {
    const std::int16_t bin = bin_[static_cast<std::size_t>(cell)];
    if (bin == kNone) return;
    const int slot = slotOf(bin);
    auto& list = members_[static_cast<std::size_t>(slot)];
    const std::int32_t place = place_[static_cast<std::size_t>(cell)];
    const Member last = list.back();
    list[static_cast<std::size_t>(place)] = last;
    place_[static_cast<std::size_t>(last.cell)] = place;
    list.pop_back();
    bin_[static_cast<std::size_t>(cell)] = kNone;
    // Exact: the weight is a count times a power of two.
    weight_[static_cast<std::size_t>(slot)] -= slotBound(slot);
    units_ -= slotUnits(slot);
    if (list.empty() && slot != kFloorSlot) occupied_ &= ~(std::uint64_t{1} << slot);
}

void FitnessSampler::raise(int top) {
    const int floor = top - (kWindow - 1);
    // The bins below the new floor join the floor bin, lowest first.
    for (int exponent = floor_; exponent < std::min(floor, floor_ + kWindow); ++exponent) {
        const int slot = exponent & (kWindow - 1);
        auto& list = members_[static_cast<std::size_t>(slot)];
        for (const Member member : list) {
            bin_[static_cast<std::size_t>(member.cell)] = kFloor;
            place_[static_cast<std::size_t>(member.cell)] = static_cast<std::int32_t>(members_[kFloorSlot].size());
            members_[kFloorSlot].push_back(member);
        }
        list.clear();
    }
    floor_ = floor;
    reweighAll();
}

void FitnessSampler::reweighAll() {
    occupied_ = 0;
    units_ = 0;
    for (int slot = 0; slot <= kWindow; ++slot) {
        const auto count = members_[static_cast<std::size_t>(slot)].size();
        weight_[static_cast<std::size_t>(slot)] = static_cast<double>(count) * slotBound(slot);
        units_ += static_cast<Units>(count) * slotUnits(slot);
        if (count > 0 && slot != kFloorSlot) occupied_ |= std::uint64_t{1} << slot;
    }
}

void FitnessSampler::move(int cell, double fitness) {
    const std::int16_t bin = binFor(fitness);
    if (bin == bin_[static_cast<std::size_t>(cell)]) {
        if (bin != kNone) {
            members_[static_cast<std::size_t>(slotOf(bin))][static_cast<std::size_t>(place_[static_cast<std::size_t>(cell)])]
                .fitness = fitness;
        }
        return;
    }
    remove(cell);
    if (bin != kNone) add(cell, bin);
}

double FitnessSampler::bound() const {
    // Both halves through 64-bit conversions, which take a few instructions
    // where a 128-bit one calls a library routine; the same double everywhere.
    const auto high = static_cast<std::uint64_t>(units_ >> 64);
    const auto low = static_cast<std::uint64_t>(units_);
    return (static_cast<double>(high) * 0x1p64 + static_cast<double>(low)) * powerOfTwo(floor_);
}

bool FitnessSampler::boundBelow(double least) const {
    // Every bin's bound is at least the floor bin's: with any cell held, the
    // sum is at least that.
    if (units_ != 0 && powerOfTwo(floor_) >= least) return false;
    return bound() < least;
}

int FitnessSampler::draw(Mt19937& random) {
    for (int tries = 0;; ++tries) {
        if (tries == kStubbornTries) {
            // The bounds lie far above the fitness they hold: the best cells
            // fell far below the window's top. Made again from the top held now.
            rebuild();
            tries = 0;
        }
        ++tries_;
        double target = drawUnit(random) * bound();
        // The bin where the target falls, highest first; whatever rounding
        // leaves beyond the last goes to the last bin with members.
        int slot = -1;
        const std::uint64_t rotated = std::rotr(occupied_, floor_ & (kWindow - 1));
        for (std::uint64_t left = rotated; left != 0;) {
            const int offset = 63 - std::countl_zero(left);
            left &= ~(std::uint64_t{1} << offset);
            slot = (floor_ + offset) & (kWindow - 1);
            const double weight = weight_[static_cast<std::size_t>(slot)];
            if (target < weight) break;
            target -= weight;
            if (left == 0 && !members_[kFloorSlot].empty()) slot = kFloorSlot;
        }
        if (slot < 0) slot = kFloorSlot;
        const auto& list = members_[static_cast<std::size_t>(slot)];
        const Member member = list[drawBelow(random, static_cast<std::uint32_t>(list.size()))];
        if (drawUnit(random) * slotBound(slot) < member.fitness) return member.cell;
    }
}

}  // namespace talvane
