// The world a run starts from, made from the run's settings alone: nothing
// here touches the process-wide sim state, so every program that runs the
// model (talvane-batch, the web page) starts the same world from the same
// options.
#pragma once

#include "run.h"
#include "world.h"
#include "world_file.h"

namespace talvane {

// Puts the payoff table of the settings' competition into world: the
// infinite competition's fixed table, or the finite one of the decimal or
// whole-number payoffs.
void applyPayoffTable(World& world, const RunSettings& run);

// The world of generation 0 (or of the checkpoint it resumes): the shape,
// the payoff table and the rules; the cells of the checkpoint, of the loaded
// world file, of the mixture or of the pools' seeding, then the centre and
// placed cells; its generator seeded as talvane-batch seeds it (or set to
// the checkpoint's state). Its generation counter starts at 0.
World startWorld(const RunSettings& run);

// The cells of world as a world file holds them.
WorldFile worldFileOf(const World& world);

}  // namespace talvane
