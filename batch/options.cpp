#include "options.h"

#include <charconv>
#include <ctime>
#include <limits>
#include <unistd.h>

#include "headless_host.h"
#include "seeding.h"
#include "sim_state.h"

namespace talvane {

namespace {

constexpr std::int64_t kMaxSeed = std::numeric_limits<std::uint32_t>::max();

// Keeps the last message box's text instead of showing it.
class MessageCatcher : public HeadlessHost {
public:
    void showMessage(const char* text, const char* caption) override {
        message = std::string(caption) + " " + text;
    }
    std::string message;
};

std::int32_t coreCount() {
    long cores = sysconf(_SC_NPROCESSORS_ONLN);
    return cores > 0 ? static_cast<std::int32_t>(cores) : 1;
}

// Asks the engine whether the pools admit something, so that the refusal
// carries the engine's own words; self pool first, as seeding checks them.
bool poolsAdmitSomething(const RunSettings& run, std::string& error) {
    MessageCatcher catcher;
    resetSimState();
    sim.host = &catcher;
    for (int i = 0; i < kCodeCount; ++i) {
        sim.selfPool[i] = run.selfExcluded[i];
        sim.otherPool[i] = run.otherExcluded[i];
    }
    const bool ok = validatePools();
    resetSimState();
    error = catcher.message;
    return ok;
}

std::int32_t layoutCode(const std::string& name) {
    if (name == "random") return kLayoutRandom;
    if (name == "segregated") return kLayoutSegregated;
    return kLayoutCheckerboard;
}

bool pools(const CommandLine& line, RunSettings& run, std::string& error) {
    if (!parseStrategyList(line.selfPool, run.selfExcluded, error)) {
        error = "--self-pool: " + error;
        return false;
    }
    if (!parseStrategyList(line.otherPool, run.otherExcluded, error)) {
        error = "--other-pool: " + error;
        return false;
    }
    return poolsAdmitSomething(run, error);
}

bool outputs(const CommandLine& line, BatchPlan& plan, std::string& error) {
    if (line.log.empty()) {
        error = "--log: a file name is needed (\"-\" for standard output)";
        return false;
    }
    if (plan.manyRuns && line.log == "-") {
        error = "--log -: several runs cannot share standard output; give a file name";
        return false;
    }
    if (!line.save.empty() && line.save == line.log) {
        error = "--save and --log name the same file";
        return false;
    }
    plan.run.logPath = line.log;
    plan.run.savePath = line.save;
    plan.loadPath = line.load;
    return true;
}

bool seeds(const CommandLine& line, BatchPlan& plan, std::string& error) {
    const bool given = line.seedOption != nullptr && line.seedOption->count() > 0;
    const std::int64_t first = given ? line.seed : static_cast<std::int64_t>(std::time(nullptr)) & kMaxSeed;
    if (first + plan.runs - 1 > kMaxSeed) {
        error = "--seed " + std::to_string(first) + " with --runs " + std::to_string(plan.runs) +
                ": the seeds would pass " + std::to_string(kMaxSeed);
        return false;
    }
    plan.run.seed = static_cast<std::uint32_t>(first);
    return true;
}

}  // namespace

void defineOptions(CLI::App& app, CommandLine& line) {
    line.jobs = coreCount();
    app.set_version_flag("--version", std::string("talvane-batch ") + TALVANE_VERSION);
    app.add_option("--generations", line.generations,
                   "Generations to run after seeding or loading; 0 seeds or loads, saves and exits")
        ->capture_default_str()
        ->check(CLI::Range(0, std::numeric_limits<std::int32_t>::max()));
    line.seedOption = app.add_option("--seed", line.seed,
                                     "Seed of the random generator (seeding and imitation draws); "
                                     "default: the clock. The seed in use is printed on standard error")
                          ->check(CLI::Range(std::int64_t{0}, kMaxSeed));
    app.add_option("--layout", line.layout, "Colour layout of seeding")
        ->capture_default_str()
        ->check(CLI::IsMember({"random", "checkerboard", "segregated"}));
    app.add_option("--self-pool", line.selfPool, "Strategy codes that seeding may draw as self strategies")
        ->capture_default_str();
    app.add_option("--other-pool", line.otherPool, "Strategy codes that seeding may draw as others strategies")
        ->capture_default_str();
    app.add_option("--payoffs", line.payoffs, "The four payoffs R,S,T,P (any 32-bit integers)")
        ->capture_default_str();
    app.add_option("--competition", line.competition, "200-round matches or long-run averages")
        ->capture_default_str()
        ->check(CLI::IsMember({"finite", "infinite"}));
    app.add_flag("--play-self", line.playSelf, "Every cell also plays itself (default: off)");
    app.add_flag("--extra-point", line.extraPoint, "Extra point for same color (default: off)");
    app.add_option("--load", line.load, "Start from this world file instead of seeding");
    app.add_option("--save", line.save, "Write the world after the last generation to this file");
    app.add_option("--log", line.log, "Population log, one line per generation; \"-\" for standard output")
        ->capture_default_str();
    line.runsOption = app.add_option("--runs", line.runs,
                                     "Independent runs with seeds S, S+1, ...; files numbered, summary at the end")
                          ->capture_default_str()
                          ->check(CLI::Range(1, 1000000));
    app.add_option("--jobs", line.jobs, "Runs at a time (default: the number of cores)")
        ->capture_default_str()
        ->check(CLI::Range(1, 4096));
}

bool makePlan(const CommandLine& line, BatchPlan& plan, std::string& error) {
    RunSettings& run = plan.run;
    run.generations = line.generations;
    run.colorLayout = layoutCode(line.layout);
    run.competitionMode = line.competition == "infinite" ? kCompetitionInfinite : kCompetitionFinite;
    run.playSelf = line.playSelf;
    run.extraPoint = line.extraPoint;
    plan.runs = line.runs;
    plan.manyRuns = line.runsOption != nullptr && line.runsOption->count() > 0;
    plan.jobs = line.jobs;
    if (!parsePayoffs(line.payoffs, run.payoffs, error)) {
        error = "--payoffs: " + error;
        return false;
    }
    return pools(line, run, error) && outputs(line, plan, error) && seeds(line, plan, error);
}

bool parseStrategyList(const std::string& text, std::array<bool, 8>& excluded, std::string& error) {
    excluded.fill(true);
    if (text.empty()) return true;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (item.size() != 1 || item[0] < '0' || item[0] > '7') {
            error = "\"" + item + "\" is not a strategy code 0 to 7 (give a list such as 0,2,6)";
            return false;
        }
        excluded[item[0] - '0'] = false;
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
}

bool parsePayoffs(const std::string& text, std::array<std::int32_t, 4>& payoffs, std::string& error) {
    const char* at = text.data();
    const char* end = text.data() + text.size();
    for (std::size_t i = 0; i < payoffs.size(); ++i) {
        auto [next, ec] = std::from_chars(at, end, payoffs[i]);
        const bool separatorOk = i + 1 < payoffs.size() ? (next != end && *next == ',') : next == end;
        if (ec != std::errc() || !separatorOk) {
            error = "\"" + text + "\" is not four 32-bit integers R,S,T,P (such as 3,0,5,1)";
            return false;
        }
        at = next + 1;
    }
    return true;
}

}  // namespace talvane
