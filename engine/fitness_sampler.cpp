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
    // The window's top is the highest exponent held (infinities and NaNs,
    // which the callers never keep, are in no bin).
    int top = 0;
    for (const double f : fitness_) {
        if (f > 0.0 && keyOf(f) < 2046) top = std::max(top, keyOf(f));
    }
    binAll(top);
}

void FitnessSampler::rebuild(double highest) {
    const int top = highest > 0.0 && keyOf(highest) < 2046 ? keyOf(highest) : 0;
    if (binAll(top) != top) rebuild();
}

int FitnessSampler::binAll(int top) {
    const auto cells = fitness_.size();
    bin_.resize(cells);
    place_.resize(cells);
    const int floor = std::max(1, top - (kWindow - 1));
    // Each cell's bin and each bin's count, then the members in cell order:
    // the lists that adding the cells one by one would make, without their
    // growing. Four counts by bin, a cell's going to the count of its place
    // modulo 4: neighbours often share a bin, and one count would make each
    // increment wait for the last.
    std::array<std::array<std::int32_t, kWindow + 1>, 4> counts{};
    int seen = 0;
    for (std::size_t cell = 0; cell < cells; ++cell) {
        const double f = fitness_[cell];
        const int key = keyOf(f);
        const bool held = f > 0.0 && key < 2046;
        seen = held ? std::max(seen, key) : seen;
        const std::int16_t bin = !held ? kNone : key < floor ? kFloor : static_cast<std::int16_t>(key);
        bin_[cell] = bin;
        if (held) ++counts[cell & 3][static_cast<std::size_t>(slotOf(bin))];
    }
    // A window placed too low would leave cells above it: the caller bins
    // again from the top seen.
    if (seen != top) return seen;
    floor_ = floor;
    std::array<std::int32_t, kWindow + 1> fill{};
    for (std::size_t slot = 0; slot <= kWindow; ++slot) {
        const std::int32_t count = counts[0][slot] + counts[1][slot] + counts[2][slot] + counts[3][slot];
        members_[slot].resize(static_cast<std::size_t>(count));
    }
    for (std::size_t cell = 0; cell < cells; ++cell) {
        const std::int16_t bin = bin_[cell];
        if (bin == kNone) continue;
        const auto slot = static_cast<std::size_t>(slotOf(bin));
        const std::int32_t place = fill[slot]++;
        place_[cell] = place;
        members_[slot][static_cast<std::size_t>(place)] = {static_cast<std::int32_t>(cell), fitness_[cell]};
    }
    // Every weight is a count times a power of two: the sums adding would
    // have made, exactly.
    reweighAll();
    return seen;
}

inline std::int16_t FitnessSampler::binFor(double fitness) {
    if (!(fitness > 0.0)) return kNone;
    const int exponent = keyOf(fitness);
    if (exponent >= 2046) return kNone;  // no bound above it: never kept
    if (exponent < floor_) return kFloor;
    if (exponent >= floor_ + kWindow) raise(exponent);
    return static_cast<std::int16_t>(exponent);
}

void FitnessSampler::placeWindow() {
    for (int slot = 0; slot < kWindow; ++slot) {
        // The exponent of the slot within the window.
        const int offset = (slot - floor_) & (kWindow - 1);
        bounds_[static_cast<std::size_t>(slot)] = powerOfTwo(floor_ + offset + 1);
        slotUnits_[static_cast<std::size_t>(slot)] = Units{1} << (offset + 1);
    }
    bounds_[kFloorSlot] = powerOfTwo(floor_);
    slotUnits_[kFloorSlot] = 1;
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
    placeWindow();
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
    // Most draws find the bins as the last one left them.
    if (units_ == boundUnits_ && floor_ == boundFloor_) return bound_;
    // Both halves through 64-bit conversions, which take a few instructions
    // where a 128-bit one calls a library routine; the same double everywhere.
    const auto high = static_cast<std::uint64_t>(units_ >> 64);
    const auto low = static_cast<std::uint64_t>(units_);
    bound_ = (static_cast<double>(high) * 0x1p64 + static_cast<double>(low)) * powerOfTwo(floor_);
    boundUnits_ = units_;
    boundFloor_ = floor_;
    return bound_;
}

bool FitnessSampler::boundBelow(double least) const {
    // Every bin's bound is at least the floor bin's: with any cell held, the
    // sum is at least that.
    if (units_ != 0 && powerOfTwo(floor_) >= least) return false;
    return bound() < least;
}

int FitnessSampler::draw(Mt19937& random) {
    if (units_ == 0) return -1;
    double total = bound();
    int rebuilds = 0;
    for (int tries = 0;; ++tries) {
        if (tries == kStubbornTries) {
            // The bounds lie far above the fitness they hold: the best cells
            // fell far below the window's top. Made again from the top held now.
            if (rebuilds == kStubbornRebuilds) return -1;
            ++rebuilds;
            rebuild();
            if (units_ == 0) return -1;
            total = bound();
            tries = 0;
        }
        ++tries_;
        double target = drawUnit(random) * total;
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
