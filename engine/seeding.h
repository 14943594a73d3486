// Random seeding of the desktop's world from its strategy pools and colour
// layout, through the seeding every program uses (world_seeding.h).
#pragma once

namespace talvane {

// True when each strategy pool admits at least one code; otherwise tells the
// user which pool is empty (self first) and returns false.
bool validatePools();

// Reseeds the host's generator from the clock and seeds sim.world with
// seedWorld from the seed the host took: every cell from the pools, then the
// colour layout, drawn from the world's own generator. Does nothing in
// "Paint cells" mode; pauses a running simulation first; leaves the grids
// alone when a pool is empty.
void seedPopulation();

}  // namespace talvane
