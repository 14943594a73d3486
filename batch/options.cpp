#include "options.h"

#include <charconv>
#include <ctime>
#include <limits>
#include <unistd.h>

#include "headless_host.h"
#include "seeding.h"
#include "shared_options.h"
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

}  // namespace

void defineOptions(CLI::App& app, CommandLine& line) {
    line.jobs = std::to_string(coreCount());
    app.set_version_flag("--version", std::string("talvane-batch ") + TALVANE_VERSION);
    app.add_option("--generations", line.generations,
                   "Generations to run after seeding or loading; 0 seeds or loads, saves and exits")
        ->capture_default_str();
    const ModelOptionHandles shared = defineModelOptions(
        app, {&line.seed, &line.layout, &line.payoffs, &line.competition, &line.playSelf, &line.extraPoint, &line.load,
              &line.log});
    line.seedOption = shared.seed;
    line.seedOption->description(line.seedOption->get_description() + ". The seed in use is printed on standard error");
    line.loadOption = shared.load;
    line.logOption = shared.log;
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
    app.add_option("--threads", line.threads, "Threads that share each generation of a large world; same results")
        ->capture_default_str();
}

bool makePlan(const CommandLine& line, BatchPlan& plan, std::string& error) {
    RunSettings& run = plan.run;
    plan.manyRuns = given(line.runsOption);
    if (!numbers(line, plan, error) || !shape(line, plan, error)) return false;
    run.colorLayout = layoutCode(line.layout);
    run.competitionMode = line.competition == "infinite" ? kCompetitionInfinite : kCompetitionFinite;
    run.playSelf = line.playSelf;
    run.extraPoint = line.extraPoint;
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

bool parseDecimal(const std::string& text, std::int64_t low, std::int64_t high, std::int64_t& value,
                  std::string& error) {
    const bool negative = !text.empty() && text[0] == '-';
    const std::size_t digitsStart = negative ? 1 : 0;
    bool digitsOnly = text.size() > digitsStart;
    for (std::size_t i = digitsStart; i < text.size(); ++i) digitsOnly = digitsOnly && text[i] >= '0' && text[i] <= '9';
    const std::string range = std::to_string(low) + " to " + std::to_string(high);
    if (!digitsOnly) {
        error = "\"" + text + "\" is not an integer (give a decimal number " + range + ")";
        return false;
    }
    std::int64_t read = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), read, 10);
    if (ec != std::errc() || end != text.data() + text.size() || read < low || read > high) {
        error = text + " is not in the range " + range;
        return false;
    }
    value = read;
    return true;
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
