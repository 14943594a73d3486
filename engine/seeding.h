// Random seeding of the world from the strategy and colour pools, and the
// three colour layouts.
#pragma once

namespace talvane {

// True when each strategy pool admits at least one code; otherwise tells the
// user which pool is empty (self first) and returns false.
bool validatePools();

// Fills every cell from the pools and applies the colour layout. Does nothing
// in "Paint cells" mode; pauses a running simulation first; leaves the grids
// alone when a pool is empty.
void seedPopulation();

// Colour layout 0: every cell's colour drawn again from the colour pool.
void applyRandomColors();
// Colour layout 1: Green and Red alternate along rows and columns, random phase.
void applyCheckerboard();
// Colour layout 2: the first half of the rows (rounded down) Green, the rest Red.
void applySegregated();

}  // namespace talvane
