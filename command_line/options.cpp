#include "options.h"

#include <charconv>
#include <cmath>
#include <ctime>
#include <limits>
#include <optional>
#include <unistd.h>

#include "metadata.h"
#include "output_file.h"
#include "payoffs.h"
#include "statistics.h"
#include "shared_options.h"
#include "world_seeding.h"

namespace talvane {

namespace {

constexpr std::int64_t kMaxSeed = std::numeric_limits<std::uint32_t>::max();

std::int32_t coreCount() {
    long cores = sysconf(_SC_NPROCESSORS_ONLN);
    return cores > 0 ? static_cast<std::int32_t>(cores) : 1;
}

// The pools must admit something; the refusal carries the desktop's words,
// self pool first, as seeding checks them.
bool poolsAdmitSomething(const RunSettings& run, std::string& error) {
    const std::optional<EmptyPoolMessage> refusal = emptyPoolMessage(run.rules.selfExcluded, run.rules.otherExcluded);
    if (refusal) error = std::string(refusal->caption) + " " + refusal->text;
    return !refusal;
}


bool pools(const CommandLine& line, RunSettings& run, std::string& error) {
    if (!parseStrategyList(line.selfPool, run.rules.selfExcluded, error)) {
        error = "--self-pool: " + error;
        return false;
    }
    if (!parseStrategyList(line.otherPool, run.rules.otherExcluded, error)) {
        error = "--other-pool: " + error;
        return false;
    }
    return poolsAdmitSomething(run, error);
}

bool given(const CLI::Option* option) { return option != nullptr && option->count() > 0; }

// A file option given with an empty name is a mistake, not "no file".
bool namesAFile(const CLI::Option* option, const std::string& value, const char* name, std::string& error) {
    if (!given(option) || !value.empty()) return true;
    error = std::string(name) + ": a file name is needed";
    return false;
}

bool outputs(const CommandLine& line, BatchPlan& plan, std::string& error) {
    if (line.log.empty()) {
        error = "--log: a file name is needed (\"-\" for standard output)";
        return false;
    }
    if (!namesAFile(line.saveOption, line.save, "--save", error) ||
        !namesAFile(line.loadOption, line.load, "--load", error)) {
        return false;
    }
    if (plan.manyRuns && line.log == "-") {
        error = "--log -: several runs cannot share standard output; give a file name";
        return false;
    }
    // With no generation there is nothing to log: an existing log is left alone
    // unless --log asks for an (empty) one.
    const bool logWanted = plan.run.generations > 0 || given(line.logOption);
    plan.run.logPath = logWanted ? line.log : "";
    plan.run.savePath = line.save;
    plan.run.loadPath = line.load;
    if (!namesAFile(line.statsOption, line.stats, "--stats", error) ||
        !namesAFile(line.metaOption, line.meta, "--meta", error) ||
        !namesAFile(line.checkpointOption, line.checkpoint, "--checkpoint", error) ||
        !namesAFile(line.resumeOption, line.resume, "--resume", error)) {
        return false;
    }
    if (plan.manyRuns && (line.stats == "-" || line.meta == "-")) {
        error = std::string(line.stats == "-" ? "--stats" : "--meta") +
                " -: several runs cannot share standard output; give a file name";
        return false;
    }
    if (line.stats == "-" && plan.run.logPath == "-") {
        error = "--stats - and --log -: the table and the log cannot share standard output";
        return false;
    }
    if (line.meta == "-") {
        error = "--meta: a file name is needed";
        return false;
    }
    plan.run.statsPath = line.stats;
    // The record goes beside the log unless named; with the log on standard
    // output, a device or a pipe (or no log) only --meta writes one.
    const bool logIsFile =
        !plan.run.logPath.empty() && plan.run.logPath != "-" && !namesNonRegularFile(plan.run.logPath);
    plan.run.metaPath = given(line.metaOption) ? line.meta : logIsFile ? metadataPathFor(plan.run.logPath) : "";
    plan.run.checkpointPath = line.checkpoint;
    plan.resumePath = line.resume;
    plan.run.resumePath = line.resume;
    plan.loadPath = line.load;
    return true;
}

bool numbers(const CommandLine& line, BatchPlan& plan, std::string& error) {
    std::int64_t generations = 0;
    std::int64_t runs = 0;
    std::int64_t jobs = 0;
    if (!parseDecimal(line.generations, 0, std::numeric_limits<std::int32_t>::max(), generations, error)) {
        error = "--generations: " + error;
        return false;
    }
    if (!parseDecimal(line.runs, 1, 1000000, runs, error)) {
        error = "--runs: " + error;
        return false;
    }
    if (!parseDecimal(line.jobs, 1, 4096, jobs, error)) {
        error = "--jobs: " + error;
        return false;
    }
    std::int64_t threads = 0;
    if (!parseDecimal(line.threads, 1, 256, threads, error)) {
        error = "--threads: " + error;
        return false;
    }
    std::int64_t every = 0;
    if (!parseDecimal(line.checkpointEvery, 0, std::numeric_limits<std::int32_t>::max(), every, error)) {
        error = "--checkpoint-every: " + error;
        return false;
    }
    if (every > 0 && line.checkpoint.empty()) {
        error = "--checkpoint-every: give the file with --checkpoint FILE";
        return false;
    }
    plan.run.checkpointEvery = static_cast<std::int32_t>(every);
    plan.run.untilSettled = line.untilSettled;
    plan.run.threads = static_cast<int>(threads);
    plan.run.generations = static_cast<std::int32_t>(generations);
    plan.runs = static_cast<std::int32_t>(runs);
    plan.jobs = static_cast<std::int32_t>(jobs);
    return true;
}

bool seeds(const CommandLine& line, BatchPlan& plan, std::string& error) {
    std::int64_t first = static_cast<std::int64_t>(std::time(nullptr)) & kMaxSeed;
    if (given(line.seedOption) && !parseDecimal(line.seed, 0, kMaxSeed, first, error)) {
        error = "--seed: " + error;
        return false;
    }
    if (first + plan.runs - 1 > kMaxSeed) {
        error = "--seed " + std::to_string(first) + " with --runs " + std::to_string(plan.runs) +
                ": the seeds would pass " + std::to_string(kMaxSeed);
        return false;
    }
    plan.run.seed = static_cast<std::uint32_t>(first);
    return true;
}

bool startConditions(const CommandLine& line, BatchPlan& plan, std::string& error) {
    StartConditions& start = plan.run.startConditions;
    if (given(line.mixOption)) {
        if (!parseMix(line.mix, start.mix, error)) {
            error = "--mix: " + error;
            return false;
        }
        if (given(line.loadOption)) {
            error = "--mix: a loaded world is not seeded; give --mix or --load, not both";
            return false;
        }
    }
    if (given(line.centerOption) && !parsePair(line.center, start.centerPair, error)) {
        error = "--center: " + error;
        return false;
    }
    // A graph's cells are placed as NODE,PAIR (graphPlan reads them).
    const bool onGraph = given(line.graph.graphOption) || given(line.graph.networkOption);
    for (const std::string& text : onGraph ? std::vector<std::string>{} : line.places) {
        Placement place;
        if (!parsePlace(text, place, error)) {
            error = "--place: " + error;
            return false;
        }
        start.places.push_back(place);
    }
    // A seeded world's size is known now; a loaded one's once it is read.
    std::vector<Placement> unused;
    if (!given(line.loadOption) && !onGraph &&
        !placementsFor(start, plan.run.shape.rows, plan.run.shape.cols, unused, error)) {
        return false;
    }
    return true;
}

bool shape(const CommandLine& line, BatchPlan& plan, std::string& error) {
    WorldShape& shape = plan.run.shape;
    if (!parseSize(line.size, shape.rows, shape.cols, error)) {
        error = "--size: " + error;
        return false;
    }
    if (!parseEdges(line.edges, shape.edges)) {
        error = "--edges: \"" + line.edges + "\" is not wrap or fixed";
        return false;
    }
    if (!parseNeighbourhood(line.neighbourhood, shape.neighbourhood)) {
        error = "--neighbourhood: \"" + line.neighbourhood + "\" is not moore or von-neumann";
        return false;
    }
    plan.sizeGiven = given(line.sizeOption);
    return true;
}

// A checkpoint holds the rules and the world: options that would change them
// have no place beside --resume, whatever their values (a default given is
// still a wish the checkpoint would silently overrule).
bool resumption(const CommandLine& line, const BatchPlan& plan, std::string& error) {
    if (!given(line.resumeOption)) return true;
    std::string name = plan.manyRuns ? "--runs" : "";
    for (const CLI::Option* option : line.worldOptions) {
        if (name.empty() && given(option)) name = option->get_name();
    }
    if (name.empty()) return true;
    error = "--resume: " + name + " cannot be given; the checkpoint holds the world and its rules";
    return false;
}

// The infinite competition's table is fixed: payoffs given with it would be
// silently without effect.
bool competition(const CommandLine& line, std::string& error) {
    if (line.rules.competition != "infinite" || !given(line.rules.payoffsOption)) return true;
    error = "--payoffs: the infinite competition's table does not depend on the payoffs; give --payoffs only "
            "with --competition finite";
    return false;
}

}  // namespace

void defineOptions(CLI::App& app, CommandLine& line) {
    line.jobs = std::to_string(coreCount());
    app.set_version_flag("--version", std::string("talvane-batch ") + TALVANE_VERSION);
    app.add_option("--generations", line.generations,
                   "Generations to run after seeding or loading; 0 seeds or loads, saves and exits")
        ->capture_default_str();
    const ModelOptionHandles shared = defineModelOptions(
        app, {&line.seed, &line.layout, &line.rules, &line.load, &line.log});
    line.seedOption = shared.seed;
    line.seedOption->description(line.seedOption->get_description() + ". The seed in use is printed on standard error");
    line.loadOption = shared.load;
    line.logOption = shared.log;
    app.get_option("--payoffs")->description("The four payoffs R,S,T,P: 32-bit integers, or decimals such as 1,0,1.9,0");
    line.logOption->description(line.logOption->get_description() +
                                " (not written when there are no generations, unless given)");
    app.add_option("--self-pool", line.selfPool, "Strategy codes that seeding may draw as self strategies")
        ->capture_default_str();
    app.add_option("--other-pool", line.otherPool, "Strategy codes that seeding may draw as others strategies")
        ->capture_default_str();
    line.saveOption = app.add_option("--save", line.save, "Write the world after the last generation to this file");
    line.runsOption = app.add_option("--runs", line.runs,
                                     "Independent runs with seeds S, S+1, ...; files numbered, summary at the end")
                          ->capture_default_str();
    app.add_option("--jobs", line.jobs, "Runs at a time (default: the number of cores)")
        ->capture_default_str();
    line.sizeOption = app.add_option("--size", line.size,
                                     "World size ROWSxCOLS, or N for N x N; 3 to 4096 each (a loaded world has its own)")
                          ->capture_default_str();
    app.add_option("--edges", line.edges, "wrap (a torus) or fixed (no cells beyond the edges)")->capture_default_str();
    app.add_option("--neighbourhood", line.neighbourhood, "moore (8 neighbours) or von-neumann (4)")
        ->capture_default_str();
    app.add_option("--threads", line.threads,
                   "Threads that share each generation of a large world (synchronous rule only); same results")
        ->capture_default_str();
    app.add_option("--update", line.rules.update,
                   "Update rule: best (take the best-scoring pair around), fermi (pairwise comparison with "
                   "noise K), proportional (copy a better neighbour with chance proportional to the "
                   "difference), death-birth or birth-death (Moran, fitness exp(W * score)), or ecology (the "
                   "tag model with empty cells, birth, death and immigration); synchronous and asynchronous "
                   "are best on either schedule")
        ->capture_default_str();
    line.rules.scheduleOption = app.add_option("--schedule", line.rules.schedule,
                                         "synchronous (every cell from the same state) or random-sequential "
                                         "(rows x cols single updates of random cells); default: synchronous for "
                                         "best and proportional, random-sequential for the others");
    app.add_option("--selection", line.rules.selection,
                                          "W > 0 of the death-birth and birth-death fitness exp(W * score); "
                                          "small is weak selection (default: 1)");
    line.rules.roundsOption = app.add_option("--rounds", line.rules.rounds,
                                       "Rounds of a finite match, 1 (one-shot) to 1000000 (default: 200)");
    app.add_option("--noise", line.rules.noise,
                   "K of the fermi rule, > 0, in units of the scores (sums over a cell's games)")
        ->capture_default_str();
    app.add_option("--mutation", line.rules.mutation,
                   "Chance, 0 to 1, that each strategy of each cell becomes a random code after each generation")
        ->capture_default_str();
    line.mixOption = app.add_option("--mix", line.mix,
                                    "Seed every cell with a pair drawn with these weights, e.g. 7/7:0.9,0/0:0.1 "
                                    "(colours from --layout)");
    line.centerOption = app.add_option("--center", line.center,
                                       "Set the centre cell (row rows/2, column cols/2) to this pair, e.g. AllD/AllD");
    app.add_option("--place", line.places, "Set cell ROW,COL to PAIR, e.g. 0,5,TFT/AllD (repeatable)")
        ->allow_extra_args(false);
    line.statsOption = app.add_option("--stats", line.stats,
                                      "Statistics table, one row per generation from 0, with a header; \"-\" for "
                                      "standard output");
    line.metaOption = app.add_option("--meta", line.meta, "The run's JSON record (default: beside the log, NAME.json)");
    app.add_flag("--until-settled", line.untilSettled,
                 "Stop when the world repeats its state of 1 to 8 generations before (default: off)");
    line.checkpointOption = app.add_option("--checkpoint", line.checkpoint,
                                           "Write everything needed to go on exactly (world, generation, rules, "
                                           "random state) to this file at the end");
    line.checkpointEveryOption =
        app.add_option("--checkpoint-every", line.checkpointEvery, "Also write the checkpoint every N generations")
            ->capture_default_str();
    line.resumeOption = app.add_option("--resume", line.resume,
                                       "Go on from this checkpoint for --generations more, appending to the log "
                                       "and the statistics table");
        defineEcologyOptions(app, line.ecology);
    line.worldOptions = line.ecology.options;
    for (const char* name : {"--seed", "--size", "--load", "--mix", "--center", "--place", "--payoffs",
                             "--competition", "--play-self", "--extra-point", "--edges", "--neighbourhood",
                             "--layout", "--self-pool", "--other-pool", "--update", "--noise", "--mutation",
                             "--schedule", "--selection", "--rounds"}) {
        line.worldOptions.push_back(app.get_option(name));
    }
    defineGraphOptions(app, line.graph);
}

bool makePlan(const CommandLine& line, BatchPlan& plan, std::string& error) {
    RunSettings& run = plan.run;
    plan.manyRuns = given(line.runsOption);
    if (!numbers(line, plan, error) || !shape(line, plan, error)) return false;
    // The option parser admits only the names, so both parses succeed.
    ColorLayout layout = ColorLayout::Checkerboard;
    parseColorLayout(line.layout, layout);
    run.colorLayout = layout;
    plan.layoutGiven = given(line.graph.layoutOption);
    if (!parseRules(line.rules, run.rules, error) || !ecologySettings(line, run, error)) return false;
    return pools(line, run, error) && startConditions(line, plan, error) && outputs(line, plan, error) &&
           resumption(line, plan, error) && competition(line, error) && seeds(line, plan, error) &&
           graphPlan(line, line.graph, plan, error);
}
std::vector<std::pair<std::string, std::string>> optionValues(const CLI::App& app) {
    std::vector<std::pair<std::string, std::string>> values;
    for (const CLI::Option* option : app.get_options()) {
        const std::string name = option->get_name();
        if (name.empty() || name == "--help" || name == "--version") continue;
        // Options newer than the run record's list appear in it only when given.
        if ((name == "--schedule" || name == "--selection" || name == "--rounds") && option->count() == 0) continue;
        std::string value;
        if (option->get_items_expected_max() == 0) {
            value = option->count() > 0 ? "true" : "false";
        } else if (option->count() > 0) {
            for (const std::string& result : option->results()) value += (value.empty() ? "" : " ") + result;
        } else {
            value = option->get_default_str();
        }
        values.emplace_back(name, value);
    }
    return values;
}

bool parseStrategyList(const std::string& text, std::array<bool, 8>& excluded, std::string& error) {
    excluded.fill(true);
    if (text.empty()) return true;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        StrategyCode code = 0;
        if (!parseStrategy(item, code)) {
            error = "\"" + item + "\" is not a strategy code 0 to 7 or name (give a list such as 0,2,6 or TFT,AllD)";
            return false;
        }
        excluded[code] = false;
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
}

bool parseSize(const std::string& text, int& rows, int& cols, std::string& error) {
    const std::size_t x = text.find('x');
    const std::string rowsText = text.substr(0, x);
    const std::string colsText = x == std::string::npos ? rowsText : text.substr(x + 1);
    std::int64_t r = 0, c = 0;
    if (!parseDecimal(rowsText, kMinWorldSide, kMaxWorldSide, r, error) ||
        !parseDecimal(colsText, kMinWorldSide, kMaxWorldSide, c, error)) {
        error = "\"" + text + "\" is not a size ROWSxCOLS or N, each 3 to 4096 (" + error + ")";
        return false;
    }
    rows = static_cast<int>(r);
    cols = static_cast<int>(c);
    return true;
}

}  // namespace talvane
