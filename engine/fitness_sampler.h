// Draws a cell (or node) with chance proportional to its fitness, in a
// number of steps that does not grow with the world: composition and
// rejection (Slepoy, Thompson and Plimpton, J. Chem. Phys. 128, 2008).
//
// Cells are kept in bins by the binary exponent of their fitness: a cell of
// bin e has fitness in (2^e, 2^(e+1)], a power of two at the top of its bin. A draw picks a bin with chance
// proportional to count(e) * 2^(e+1), a cell of it uniformly, and keeps the
// cell with chance fitness / 2^(e+1) (at least one half), else starts again.
// Each try thus proposes a cell with chance proportional to an upper bound
// of its fitness and keeps it in proportion to how near the bound it lies:
// the cell kept has chance exactly fitness / total, up to the rounding of
// the draws themselves.
//
// The bins cover the 64 exponents below the highest seen since rebuild();
// cells further below (at most 2^-63 of the best each) share one last bin,
// bounded by the window's floor. Should the tries keep failing (the best
// cells have fallen far below the window), the bins are made again from
// the fitness as it stands. Every step is a function of the fitness values
// and the draws alone, so a seed repeats the draws on any machine.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "random_generator.h"

namespace talvane {

class FitnessSampler {
public:
    // Every cell's fitness, to be filled (finite, 0 or above; 0 is never
    // drawn) and then binned by rebuild().
    std::vector<double>& values() { return fitness_; }
    void rebuild();
    // rebuild() when the highest fitness is expected to be `highest`: one
    // pass fewer when it is, rebuild() itself when it is not.
    void rebuild(double highest);
    // A cell's fitness changed. Inline: most changes keep the cell's bin.
    void set(int cell, double fitness) {
        fitness_[static_cast<std::size_t>(cell)] = fitness;
        const int key = keyOf(fitness);
        const int was = bin_[static_cast<std::size_t>(cell)];
        // Bins of the window hold exponents from the floor up; the window's
        // top lies below 2046, the exponent of no bound.
        const bool inWindow = fitness > 0.0 && key >= floor_ && key < floor_ + kWindow;
        if (inWindow && key == was) {
            members_[static_cast<std::size_t>(slotOf(static_cast<std::int16_t>(key)))]
                    [static_cast<std::size_t>(place_[static_cast<std::size_t>(cell)])]
                        .fitness = fitness;
            return;
        }
        if (inWindow && was >= 0) {
            // From one bin of the window to another, inline.
            remove(cell);
            add(cell, static_cast<std::int16_t>(key));
            return;
        }
        move(cell, fitness);
    }
    double fitness(int cell) const { return fitness_[static_cast<std::size_t>(cell)]; }
    // The sum of the bins' bounds: between the total fitness and twice it,
    // but for the cells of the last bin. Zero when every fitness is.
    double bound() const;
    // bound() < least, mostly without working out the bound.
    bool boundBelow(double least) const;
    // A cell drawn by fitness: per try a chance (drawUnit) for the bin, a
    // cell of it (drawBelow of its count), a chance (drawUnit) to keep it.
    // -1 when there is nothing to draw from: every fitness is 0, or the
    // tries keep failing though the bins were made again (the fitness held
    // lies among the subnormal numbers, where a bin's bound can be 2^40
    // times what its cells hold). The caller then measures the fitness
    // again from a larger reference and draws again.
    int draw(Mt19937& random);

    // Tries and draws made, for tests and benchmarks.
    std::uint64_t tries() const { return tries_; }

private:
    // Exponents are those of the doubles' bits (1023 for [1, 2)). A bin of
    // the window lives in slot exponent % kWindow; the floor bin in the last.
    static constexpr int kWindow = 64;
    static constexpr int kFloorSlot = kWindow;
    static constexpr std::int16_t kNone = -1;   // a cell of fitness 0: in no bin
    static constexpr std::int16_t kFloor = -2;  // a cell of the floor bin
    static constexpr int kStubbornTries = 64;   // tries before the bins are made again
    // Times the bins are made again in one draw before it gives up. Once
    // made from the highest fitness held, a try keeps a cell with chance
    // near one half unless that fitness is subnormal: needing a second
    // making is already a chance of 2^-64.
    static constexpr int kStubbornRebuilds = 4;

    // The bin a fitness belongs in (an exponent, kFloor or kNone), raising
    // the window first when it lies above it.
    std::int16_t binFor(double fitness);
    // The bin's exponent of a positive value: e such that the value lies in
    // (2^(e - 1023), 2^(e - 1022)], e being the exponent of its bits, less
    // one for a power of two. A power of two thus sits at the top of its bin,
    // where it is always kept: the best cell, of fitness 1, and a world of
    // equal scores are drawn at the first try.
    static int keyOf(double value) {
        std::uint64_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        const int exponent = static_cast<int>((bits >> 52) & 0x7ff);
        return (bits & 0xf'ffff'ffff'ffffull) == 0 ? exponent - 1 : exponent;
    }
    // Bins every cell under a window whose top is the exponent top, unless
    // some cell lies above it or none at it; returns the highest exponent held.
    int binAll(int top);
    void move(int cell, double fitness);  // set's way when the bin changes
    static int slotOf(std::int16_t bin) { return bin == kFloor ? kFloorSlot : bin & (kWindow - 1); }
    void add(int cell, std::int16_t bin);
    void remove(int cell);
    // Raises the window so that its top is the exponent top, the bins
    // falling below it joining the floor bin.
    void raise(int top);
    void reweighAll();  // the weights and the total from the bins' members
    // The fitness every cell of the slot's bin lies below, and the same in
    // units of the floor bin's bound: both depend on the floor alone, so
    // they are kept by slot and made again when the floor moves.
    double slotBound(int slot) const { return bounds_[static_cast<std::size_t>(slot)]; }
    void placeWindow();

    std::vector<double> fitness_;
    std::vector<std::int16_t> bin_;    // by cell
    std::vector<std::int32_t> place_;  // by cell: where in its bin's list
    // A bin's cells with their fitness beside them: a try reads one place.
    struct Member {
        std::int32_t cell;
        double fitness;
    };
    std::array<std::vector<Member>, kWindow + 1> members_;  // by slot
    std::uint64_t occupied_ = 0;  // bit s: slot s of the window has members
    int floor_ = 1;               // the window's lowest exponent, at least 1
    std::array<double, kWindow + 1> weight_{};  // count * bound, by slot
    // The sum of the weights, exactly, in units of the floor bin's bound:
    // kept as cells come and go, it needs no pass over the bins.
    __extension__ using Units = unsigned __int128;
    Units units_ = 0;
    Units slotUnits(int slot) const { return slotUnits_[static_cast<std::size_t>(slot)]; }
    // bound() as last worked out, for these units and floor.
    mutable double bound_ = 0.0;
    mutable Units boundUnits_ = 0;
    mutable int boundFloor_ = 1;
    std::array<double, kWindow + 1> bounds_{};
    std::array<Units, kWindow + 1> slotUnits_{};
    std::uint64_t tries_ = 0;
};

inline void FitnessSampler::add(int cell, std::int16_t bin) {
    const int slot = slotOf(bin);
    auto& list = members_[static_cast<std::size_t>(slot)];
    bin_[static_cast<std::size_t>(cell)] = bin;
    place_[static_cast<std::size_t>(cell)] = static_cast<std::int32_t>(list.size());
    list.push_back({cell, fitness_[static_cast<std::size_t>(cell)]});
    weight_[static_cast<std::size_t>(slot)] += slotBound(slot);
    units_ += slotUnits(slot);
    if (slot != kFloorSlot) occupied_ |= std::uint64_t{1} << slot;
}

inline void FitnessSampler::remove(int cell) {
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

}  // namespace talvane
