// Mutation of the strategies of a population, shared by lattice and graph
// worlds so that both draw the same numbers in the same order.
#pragma once

#include <array>
#include <cstdint>

#include "world.h"

namespace talvane {

// Each of count members in order, self strategy then others strategy: with
// chance `mutation` (one number below mutation * 2^32) a fresh code from its
// pool, the codes not excluded. A full pool takes one number's top three
// bits, another pool drawBelow its size among its codes in increasing order;
// an empty pool draws the chance and leaves the strategy alone. Returns how
// many strategies were drawn afresh; draws nothing when mutation is not above 0.
int mutateStrategies(Mt19937& random, double mutation, const std::array<bool, kCodeCount>& selfExcluded,
                     const std::array<bool, kCodeCount>& otherExcluded, CellCode* self, CellCode* other, int count);

}  // namespace talvane
