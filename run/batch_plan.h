// What talvane-batch (or the web page) will do, as its command line plans
// it: the settings of the run and how many runs to make.
#pragma once

#include <cstdint>
#include <string>

#include "run.h"

namespace talvane {

// What the program will do.
struct BatchPlan {
    RunSettings run;        // settings of the run, or of run 1 under --runs
    std::string loadPath;   // world file to start from, empty to seed
    std::int32_t runs = 1;  // number of runs
    bool manyRuns = false;  // --runs was given: numbered files, a summary
    std::int32_t jobs = 1;  // runs at a time
    bool sizeGiven = false; // --size was given: a loaded world must have that size
    std::string resumePath; // checkpoint to go on from, empty for a fresh run
    bool layoutGiven = false;  // --layout was given
};

}  // namespace talvane
