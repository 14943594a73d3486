#include "shared_options.h"

namespace talvane {

ModelOptionHandles defineModelOptions(CLI::App& app, const ModelOptionFields& fields) {
    ModelOptionHandles handles;
    handles.seed = app.add_option("--seed", *fields.seed,
                                  "Seed of the random generator (seeding and imitation draws), 0 to 4294967295; "
                                  "default: the clock");
    app.add_option("--layout", *fields.layout, "Colour layout of seeding")
        ->capture_default_str()
        ->check(CLI::IsMember({"random", "checkerboard", "segregated"}));
    app.add_option("--payoffs", *fields.payoffs, "The four payoffs R,S,T,P (any 32-bit integers)")
        ->capture_default_str();
    app.add_option("--competition", *fields.competition, "200-round matches or long-run averages")
        ->capture_default_str()
        ->check(CLI::IsMember({"finite", "infinite"}));
    app.add_flag("--play-self", *fields.playSelf, "Every cell also plays itself (default: off)");
    app.add_flag("--extra-point", *fields.extraPoint, "Extra point for same color (default: off)");
    handles.load = app.add_option("--load", *fields.load, "Start from this world file instead of seeding");
    handles.log = app.add_option("--log", *fields.log,
                                 "Population log, one line per generation; \"-\" for standard output")
                      ->capture_default_str();
    return handles;
}

}  // namespace talvane
