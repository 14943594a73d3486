// Random seeding of the desktop's world from its strategy pools and colour
// layout, through the seeding every program uses (world_seeding.h).
#pragma once

namespace talvane {

// True when each strategy pool admits at least one code; otherwise tells the
// user which pool is empty (self first) and returns false.
bool validatePools();

// Seeds sim.world with seedWorld from the seed the host takes (the clock's,
// or the desktop's --seed): every cell from the pools, then the colour
// layout, drawn from the world's own generator, which the generations then
// go on drawing from. Does nothing in
// "Paint cells" mode; pauses a running simulation first; leaves the grids
// alone when a pool is empty.
void seedPopulation();

}  // namespace talvane
