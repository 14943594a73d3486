// The world a run starts from, made from the run's settings alone: nothing
// here touches the process-wide sim state, so every program that runs the
// model (talvane-batch, the web page) starts the same world from the same
// options.
#pragma once

#include "run.h"
#include "graph_world.h"
#include "world.h"
#include "world_file.h"
#include "world_run.h"

namespace talvane {

// The world of generation 0: the shape, the payoff table and the rules
// (applyRules); the cells of the loaded world file, of the mixture or of
// the pools' seeding, then the centre and placed cells; its generator
// seeded as talvane-batch seeds it. For a run that resumes, only the shape
// and the rules: WorldRun::resume puts in the checkpoint's cells and
// generator. Its generation counter starts at 0.
World startWorld(const RunSettings& run);

// The graph world of generation 0: the generator restarts from the seed;
// a --network recipe is drawn from it first, then the nodes are seeded (a
// loaded graph world file draws nothing), then the placed nodes are set.
// The lattice recipe draws nothing, so a lattice graph seeds as the
// lattice world does. False with error when the network cannot be drawn.
bool startGraphWorld(const RunSettings& run, std::optional<GraphWorld>& out, std::string& error);

// One generation as every program steps a run: the world's update rule,
// with the draws from its own generator, then mutation (the ecology rule
// mutates in its reproduction). threads share a synchronous generation.
void stepRun(World& world, int threads);
// The same on a graph, which has no ecology rule.
void stepRun(GraphWorld& world, int threads);

}  // namespace talvane
