// A run's settings as its record describes them.
#pragma once

#include "metadata.h"
#include "run.h"

namespace talvane {

// The description of the run for its record: the seed, the world's shape or
// graph, the rules, how it started, the options in effect, the files it
// names and the measurements taken (from record) when it takes any.
RunDescription describeRun(const RunSettings& settings, const RunRecord& record);

}  // namespace talvane
