// The extension module talvane._talvane: the engine's World for Python, with
// its grids as NumPy arrays, and the batch runner's names, checks, tables and
// world files. The package talvane (talvane/__init__.py) adds the pandas
// tables on top.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "graph.h"
#include "graph_world.h"
#include "checkpoint.h"
#include "frame_capsule.h"
#include "grid_image.h"
#include "measures.h"
#include "metadata.h"
#include "output_file.h"
#include "payoffs.h"
#include "py_world.h"
#include "run_world.h"
#include "sim_state.h"
#include "statistics.h"
#include "world_file.h"

namespace py = pybind11;
using namespace pybind11::literals;

namespace talvane::python {

namespace {

constexpr std::int64_t kMaxSeed = 4294967295;
// Cells stepped between two looks at Python's signals (Ctrl-C) in a long step.
constexpr std::int64_t kCellsBetweenSignalChecks = 1 << 22;

[[noreturn]] void fail(const std::string& message) { throw py::value_error(message); }

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

// The world's lock, taken with the GIL released: a thread that steps holds
// the lock without the GIL, so waiting for it with the GIL could deadlock.
std::unique_lock<std::mutex> lockWorld(PyWorld& w) {
    py::gil_scoped_release release;
    return std::unique_lock<std::mutex>(w.mutex);
}

// --- Checks, with the batch runner's words ---

int checkSide(int value, const char* name) {
    if (value < kMinWorldSide || value > kMaxWorldSide) {
        fail(std::string(name) + ": " + std::to_string(value) + " is not in the range 3 to 4096");
    }
    return value;
}

Edges edgesOf(const std::string& text) {
    Edges edges{};
    if (!parseEdges(text, edges)) fail("edges: " + quoted(text) + " is not wrap or fixed");
    return edges;
}

Neighbourhood neighbourhoodOf(const std::string& text) {
    Neighbourhood neighbourhood{};
    if (!parseNeighbourhood(text, neighbourhood)) {
        fail("neighbourhood: " + quoted(text) + " is not moore or von-neumann");
    }
    return neighbourhood;
}

// update and schedule together, as talvane-batch takes --update and
// --schedule: "synchronous" and "asynchronous" are the best rule on either
// schedule, and each rule has its own schedule when none is given.
// "ecology" is the ecological tag model, which has no schedule.
UpdateRule updateOf(const std::string& text, const std::optional<std::string>& scheduleText = std::nullopt) {
    if (text == "ecology") {
        if (scheduleText) fail("schedule: the ecology rule has no schedule");
        return UpdateRule::Ecology;
    }
    ImitationRule rule = ImitationRule::Best;
    std::optional<Schedule> implied;
    if (text == "synchronous") {
        implied = Schedule::Synchronous;
    } else if (text == "asynchronous") {
        implied = Schedule::RandomSequential;
    } else if (!parseImitation(text, rule)) {
        fail("update: " + quoted(text) +
             " is not best, fermi, proportional, death-birth, birth-death or ecology (or synchronous, asynchronous)");
    }
    Schedule schedule = implied.value_or(defaultSchedule(rule));
    if (scheduleText) {
        if (!parseSchedule(*scheduleText, schedule)) {
            fail("schedule: " + quoted(*scheduleText) + " is not synchronous or random-sequential");
        }
        if (implied && schedule != *implied) {
            fail("schedule: update=" + quoted(text) + " is the best rule on the " + scheduleName(*implied) +
                 " schedule; give update=\"best\"");
        }
    }
    UpdateRule out{};
    if (!combineRule(rule, schedule, out)) fail("schedule: " + quoted(text) + " is random-sequential by nature");
    return out;
}

double checkSelection(double selection) {
    if (!(selection > 0.0) || !std::isfinite(selection)) {
        fail("selection: " + std::to_string(selection) + " is not a number above 0 (such as 1 or 0.01)");
    }
    return selection;
}

int checkRounds(std::int64_t rounds) {
    if (rounds < 1 || rounds > kMaxRounds) fail("rounds: " + std::to_string(rounds) + " is not in the range 1 to 1000000");
    return static_cast<int>(rounds);
}

CompetitionMode competitionOf(const std::string& text) {
    CompetitionMode mode = CompetitionMode::Finite;
    if (!parseCompetition(text, mode)) fail("competition: " + quoted(text) + " is not finite or infinite");
    return mode;
}

ColorLayout layoutOf(const std::string& text) {
    ColorLayout layout = ColorLayout::Checkerboard;
    if (parseColorLayout(text, layout)) return layout;
    fail("layout: " + quoted(text) + " is not random, checkerboard or segregated");
}

double checkNoise(double noise) {
    if (!(noise > 0.0) || !std::isfinite(noise)) {
        fail("noise: " + std::to_string(noise) + " is not a number above 0 (such as 0.1)");
    }
    return noise;
}

double checkMutation(double mutation) {
    if (!(mutation >= 0.0 && mutation <= 1.0)) {
        fail("mutation: " + std::to_string(mutation) + " is not a number from 0 to 1 (such as 0.001)");
    }
    return mutation;
}

int checkThreads(int threads) {
    if (threads < 1 || threads > 256) fail("threads: " + std::to_string(threads) + " is not in the range 1 to 256");
    return threads;
}

// The ecology rule's parameters, with talvane-batch's words.
EcologyRules ecologyRulesOf(int colors, int immigrants, double ptr, double cost, double benefit, double death,
                            double mutation) {
    if (colors < 1 || colors > kMaxEcologyColors) fail("colors: " + std::to_string(colors) + " is not in the range 1 to 8");
    if (immigrants < 0) fail("immigrants: " + std::to_string(immigrants) + " is not a number of agents 0 or more");
    if (!(ptr >= 0.0 && ptr <= 1.0)) fail("ptr: " + std::to_string(ptr) + " is not a number from 0 to 1 (such as 0.1)");
    if (!(cost >= 0.0) || !std::isfinite(cost)) fail("cost: " + std::to_string(cost) + " is not a number of 0 or more");
    if (!(benefit >= 0.0) || !std::isfinite(benefit)) {
        fail("benefit: " + std::to_string(benefit) + " is not a number of 0 or more");
    }
    if (!(death >= 0.0 && death <= 1.0)) fail("death: " + std::to_string(death) + " is not a number from 0 to 1 (such as 0.1)");
    return EcologyRules{colors, immigrants, ptr, cost, benefit, death, checkMutation(mutation)};
}

Payoffs payoffsOf(const std::vector<double>& values) {
    if (values.size() != 4) {
        fail("payoffs: four numbers R, S, T, P are needed (such as (3, 0, 5, 1) or (1, 0, 1.9, 0)), not " +
             std::to_string(values.size()));
    }
    try {
        return checkPayoffs({values[0], values[1], values[2], values[3]});
    } catch (const std::invalid_argument& error) {
        fail(error.what());
    }
}

std::uint32_t seedOf(const std::optional<std::int64_t>& seed) {
    if (!seed) {
        std::random_device device;
        return device();
    }
    if (*seed < 0 || *seed > kMaxSeed) fail("seed: " + std::to_string(*seed) + " is not in the range 0 to 4294967295");
    return static_cast<std::uint32_t>(*seed);
}

// Exclusion flags from the codes a pool admits (None: all of them).
CodeExclusions poolOf(const std::optional<std::vector<int>>& codes, const char* name, const char* which) {
    CodeExclusions excluded{};
    if (!codes) return excluded;
    excluded.fill(true);
    for (const int code : *codes) {
        if (code < 0 || code >= kCodeCount) {
            fail(std::string(name) + ": " + std::to_string(code) + " is not a strategy code 0 to 7");
        }
        excluded[static_cast<std::size_t>(code)] = false;
    }
    if (!admitsSomething(excluded)) {
        fail(std::string(name) + ": Can't create a random pool with nothing in it! Would you like to enable at least one \"" +
             which + "\" strategy?");
    }
    return excluded;
}

std::vector<int> admittedCodes(const CodeExclusions& excluded) {
    std::vector<int> codes;
    for (int i = 0; i < kCodeCount; ++i) {
        if (!excluded[static_cast<std::size_t>(i)]) codes.push_back(i);
    }
    return codes;
}

// --- Arrays ---

void makeReadOnly(py::array& array) {
    py::detail::array_proxy(array.ptr())->flags &= ~py::detail::npy_api::NPY_ARRAY_WRITEABLE_;
}

// A read-only (rows, cols) view of one of the world's grids, which keeps the
// world alive as long as the view lives.
template <typename T>
py::array gridView(py::object owner, std::vector<T>& grid, const World& world) {
    const auto rows = static_cast<py::ssize_t>(world.rows());
    const auto cols = static_cast<py::ssize_t>(world.cols());
    py::array view(py::dtype::of<T>(), {rows, cols}, {cols * static_cast<py::ssize_t>(sizeof(T)), static_cast<py::ssize_t>(sizeof(T))},
                   grid.data(), owner);
    makeReadOnly(view);
    return view;
}

// Copies an array of codes 0..7 of the world's shape into grid; integers or
// whole floating-point numbers.
void setGrid(PyWorld& w, std::vector<CellCode> World::*grid, const py::handle& value, const char* name) {
    auto array = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(value);
    if (!array) {
        PyErr_Clear();
        fail(std::string(name) + ": an array of codes 0 to 7 is needed");
    }
    const World& world = w.world;
    if (array.ndim() != 2 || array.shape(0) != world.rows() || array.shape(1) != world.cols()) {
        std::ostringstream shape;
        shape << "(";
        for (py::ssize_t d = 0; d < array.ndim(); ++d) shape << (d ? ", " : "") << array.shape(d);
        shape << (array.ndim() == 1 ? ",)" : ")");
        fail(std::string(name) + ": an array of shape (" + std::to_string(world.rows()) + ", " +
             std::to_string(world.cols()) + ") is needed, not " + shape.str());
    }
    const double* data = array.data();
    std::vector<CellCode> codes(static_cast<std::size_t>(world.cellCount()));
    for (int i = 0; i < world.cellCount(); ++i) {
        const double code = data[i];
        const bool empty = code == kEmptyCode && world.updateRule == UpdateRule::Ecology;
        if (!empty && !(code >= 0 && code < kCodeCount && code == std::trunc(code))) {
            std::ostringstream message;
            message << name << ": " << code << " at (" << i / world.cols() << ", " << i % world.cols()
                    << ") is not a code 0 to 7"
                    << (world.updateRule == UpdateRule::Ecology ? " or -1 (empty)" : "");
            fail(message.str());
        }
        codes[static_cast<std::size_t>(i)] = static_cast<CellCode>(code);
    }
    auto lock = lockWorld(w);
    // Into the grid's own storage: views handed out earlier keep pointing at it.
    std::copy(codes.begin(), codes.end(), (w.world.*grid).begin());
    w.world.countPairs();
}

py::array_t<std::int64_t> pairCountsOf(PyWorld& w) {
    PairCounts counts;
    {
        auto lock = lockWorld(w);
        counts = w.world.countPairs();
    }
    py::array_t<std::int64_t> out(kPairCount);
    for (int k = 0; k < kPairCount; ++k) out.mutable_at(k) = counts[static_cast<std::size_t>(k)];
    return out;
}

py::array tableArray(const PayoffTable& table) {
    py::array_t<double> out({kCodeCount, kCodeCount});
    for (int i = 0; i < kCodeCount; ++i) {
        for (int j = 0; j < kCodeCount; ++j) out.mutable_at(i, j) = table[i][j];
    }
    py::array result = out;
    makeReadOnly(result);
    return result;
}

// --- Stepping ---

// Gives a world's run its sinks for one call, and takes them away after
// (and stops any watching for settled states), whatever happens: the world
// may be copied afterwards.
class SinksFor {
public:
    SinksFor(PyWorld& w, RunSinks<World> sinks) : w_(w) { w_.run.sinks = std::move(sinks); }
    ~SinksFor() {
        w_.run.sinks = {};
        w_.run.watchSettling = false;
    }
    SinksFor(const SinksFor&) = delete;
    SinksFor& operator=(const SinksFor&) = delete;

private:
    PyWorld& w_;
};

// Steps n generations of the world's run with the GIL released, in pieces
// between which Ctrl-C is looked at; the run's sinks see every generation.
void stepMany(PyWorld& w, std::int64_t n) {
    if (n < 0) fail("n: " + std::to_string(n) + " is not a number of generations 0 or more");
    const std::int64_t piece = std::max<std::int64_t>(1, kCellsBetweenSignalChecks / w.world.cellCount());
    for (std::int64_t done = 0; done < n;) {
        const std::int64_t count = std::min(n - done, piece);
        {
            py::gil_scoped_release release;
            std::lock_guard<std::mutex> lock(w.mutex);
            w.run.step(count);
        }
        done += count;
        if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    }
}

void step(PyWorld& w, std::int64_t n) { stepMany(w, n); }

// n generations, and the pair counts after each: an (n, 64) array.
py::array_t<std::uint32_t> stepCounts(PyWorld& w, std::int64_t n) {
    if (n < 0) fail("generations: " + std::to_string(n) + " is not a number of generations 0 or more");
    py::array_t<std::uint32_t> out({static_cast<py::ssize_t>(n), static_cast<py::ssize_t>(kPairCount)});
    std::uint32_t* row = out.mutable_data();
    RunSinks<World> sinks;
    sinks.log = [&row](const PairCounts& counts) { row = std::copy(counts.begin(), counts.end(), row); };
    const SinksFor given(w, std::move(sinks));
    stepMany(w, n);
    return out;
}

// Runs generations from the world as it stands, taking the measurements of
// talvane-batch --measure over generations first..last (the world's own
// numbering) and watching for a settled state as a run does; returns the
// record's "measures" object and the settling as JSON text.
std::string runMeasured(PyWorld& w, std::int64_t n, const std::vector<std::string>& names, std::int64_t first,
                        std::int64_t last) {
    if (n < 0) fail("generations: " + std::to_string(n) + " is not a number of generations 0 or more");
    if (last < first) fail("window: " + std::to_string(first) + ":" + std::to_string(last) + " ends before it starts");
    std::vector<Measure> measures;
    for (const std::string& name : names) {
        Measure m;
        std::string error;
        if (!parseMeasure(name, m, error)) fail(error);
        measures.push_back(m);
    }
    MeasureSet set(std::move(measures), first, last, w.rules().competition);
    RunSinks<World> sinks;
    sinks.frame = [&set](const World& world, std::int64_t generation) {
        set.observe(world, generation);
        return 0;
    };
    const SinksFor given(w, std::move(sinks));
    {
        py::gil_scoped_release release;
        std::lock_guard<std::mutex> lock(w.mutex);
        w.run.restartWatch();
        w.run.start();
    }
    stepMany(w, n);
    RunRecord record;
    const Settling& settled = w.run.settling();
    record.generationReached = w.world.generation;
    record.settledGeneration = settled.generation;
    record.period = settled.period;
    record.absorbing = settled.absorbing;
    return "{\"measures\": " + set.json(record) + ", \"generation_reached\": " +
           std::to_string(record.generationReached) + ", \"settled_generation\": " +
           (record.settledGeneration >= 0 ? std::to_string(record.settledGeneration) : "null") +
           ", \"period\": " + (record.period > 0 ? std::to_string(record.period) : "null") +
           ", \"settled_by\": " +
           (record.settledGeneration < 0 ? "null" : record.absorbing ? "\"absorbing\"" : "\"cycle\"") + "}";
}

// --- Construction and seeding ---

struct WorldOptions {
    std::string edges, neighbourhood, competition, update;
    std::vector<double> payoffs;
    bool playSelf, extraPoint;
    double noise, mutation;
    int threads;
    std::optional<std::string> schedule;
    std::optional<std::int64_t> rounds;
    double selection;
};

void applyOptions(PyWorld& w, const WorldOptions& o) {
    Rules rules = w.rules();
    setPayoffs(rules, payoffsOf(o.payoffs));
    rules.competition = competitionOf(o.competition);
    rules.playSelf = o.playSelf;
    rules.extraPoint = o.extraPoint;
    rules.updateRule = updateOf(o.update, o.schedule);
    rules.selection = checkSelection(o.selection);
    if (o.rounds) {
        if (rules.competition == CompetitionMode::Infinite) {
            fail("rounds: the infinite competition has no match length; give rounds only with competition=\"finite\"");
        }
        rules.rounds = checkRounds(*o.rounds);
    }
    rules.noise = checkNoise(o.noise);
    rules.mutation = checkMutation(o.mutation);
    w.threads = checkThreads(o.threads);
    w.run.setRules(rules);
}

SeedingOptions seedingOf(const std::optional<std::int64_t>& seed, const std::string& layout,
                         const std::optional<std::vector<int>>& selfPool,
                         const std::optional<std::vector<int>>& otherPool) {
    SeedingOptions options;
    options.layout = layoutOf(layout);
    options.selfExcluded = poolOf(selfPool, "self_pool", "self");
    options.otherExcluded = poolOf(otherPool, "other_pool", "others");
    options.seed = seedOf(seed);
    return options;
}

int codeOf(int value, const char* name) {
    if (value < 0 || value >= kCodeCount) fail(std::string(name) + ": " + std::to_string(value) + " is not a code 0 to 7");
    return value;
}

std::string reprOf(const py::handle& value) { return py::repr(value).cast<std::string>(); }

[[noreturn]] void failType(const std::string& message) { throw py::type_error(message); }

// A whole number given as a Python int (or anything that is an index, such as
// NumPy's integers), not a bool, a float or a string.
long long wholeOf(const py::handle& value, const std::string& name) {
    if (PyBool_Check(value.ptr()) || !PyIndex_Check(value.ptr())) {
        failType(name + ": " + reprOf(value) + " is not a whole number");
    }
    const long long number = PyLong_AsLongLong(py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr())).ptr());
    if (number == -1 && PyErr_Occurred()) {
        PyErr_Clear();
        fail(name + ": " + reprOf(value) + " is out of range");
    }
    return number;
}

// A pair given as (self, other) or as the code self*8 + other.
int pairCodeOf(const py::handle& pair, const std::string& name) {
    if (py::isinstance<py::tuple>(pair) || py::isinstance<py::list>(pair)) {
        const auto codes = py::reinterpret_borrow<py::sequence>(pair);
        if (codes.size() != 2) fail(name + ": a (self, other) pair of strategy codes is needed, not " + reprOf(pair));
        for (const py::handle code : codes) {
            const long long value = wholeOf(code, name);
            if (value < 0 || value >= kCodeCount) fail(name + ": " + std::to_string(value) + " is not a code 0 to 7");
        }
        return static_cast<int>(wholeOf(codes[0], name) * kCodeCount + wholeOf(codes[1], name));
    }
    if (PyBool_Check(pair.ptr()) || !PyIndex_Check(pair.ptr())) {
        failType(name + ": " + reprOf(pair) + " is not a pair: give (self, other) or the code self*8 + other");
    }
    const long long code = wholeOf(pair, name);
    if (code < 0 || code >= kPairCount) {
        fail(name + ": " + std::to_string(code) + " is not a pair code 0 to 63 (self*8 + other)");
    }
    return static_cast<int>(code);
}

// A weight of the mix: a real number (int, float, NumPy's), finite and >= 0.
double weightOf(const py::handle& weight, int code) {
    const std::string pair = std::to_string(code / kCodeCount) + "/" + std::to_string(code % kCodeCount);
    if (PyBool_Check(weight.ptr()) || PyUnicode_Check(weight.ptr()) || PyComplex_Check(weight.ptr()) ||
        (!PyFloat_Check(weight.ptr()) && !PyIndex_Check(weight.ptr()) && !PyNumber_Check(weight.ptr()))) {
        failType("mix: the weight " + reprOf(weight) + " of pair " + pair + " is not a number");
    }
    const double value = PyFloat_AsDouble(weight.ptr());
    if (value == -1.0 && PyErr_Occurred()) {
        const bool wrongType = PyErr_ExceptionMatches(PyExc_TypeError);
        PyErr_Clear();
        if (wrongType) failType("mix: the weight " + reprOf(weight) + " of pair " + pair + " is not a number");
        fail("mix: the weight " + reprOf(weight) + " of pair " + pair + " is not a number >= 0");
    }
    if (!std::isfinite(value) || value < 0.0) fail("mix: the weight " + reprOf(weight) + " is not a number >= 0");
    return value;
}

// mix= as talvane-batch --mix takes it: pairs with weights, given as a
// mapping {pair: weight} or a sequence of (pair, weight); every weight a
// number >= 0, at least one above 0, no pair twice. None: no mix. A mix of
// another type is a TypeError, a malformed one a ValueError, both naming mix.
PairWeights mixOf(const py::object& mix) {
    PairWeights out;
    if (mix.is_none()) return out;
    const char* shape = "a mapping {pair: weight} or a sequence of (pair, weight), such as {(7, 7): 0.9, (0, 0): 0.1}";
    if (PyUnicode_Check(mix.ptr()) || PyBytes_Check(mix.ptr()) || !py::isinstance<py::iterable>(mix)) {
        failType(std::string("mix: ") + reprOf(mix) + " is not " + shape);
    }
    const py::object items = py::isinstance<py::dict>(mix) ? mix.attr("items")() : mix;
    double total = 0.0;
    for (const py::handle item : items) {
        if (!py::isinstance<py::tuple>(item) && !py::isinstance<py::list>(item)) {
            failType("mix: the entry " + reprOf(item) + " is not a (pair, weight); mix is " + shape);
        }
        const auto entry = py::reinterpret_borrow<py::sequence>(item);
        if (entry.size() != 2) fail("mix: each entry is a pair and its weight, not " + reprOf(item));
        const int code = pairCodeOf(entry[0], "mix");
        const double weight = weightOf(entry[1], code);
        for (const auto& [seen, w] : out) {
            if (seen == code) fail("mix: the pair " + std::to_string(code / kCodeCount) + "/" + std::to_string(code % kCodeCount) + " is given twice");
        }
        out.emplace_back(code, weight);
        total += weight;
    }
    if (!(total > 0.0)) fail("mix: the weights add up to 0");
    return out;
}

// The infinite competition's table is fixed: payoffs given for it would be
// silently without effect, as talvane-batch refuses them.
void refusePayoffsOfInfinite() {
    fail("payoffs: the infinite competition's table does not depend on the payoffs; give payoffs only with "
         "competition=\"finite\"");
}

std::unique_ptr<PyWorld> makeWorld(int rows, int cols, const std::string& edges, const std::string& neighbourhood,
                                   const std::optional<std::vector<double>>& payoffsGiven, const std::string& competition, bool playSelf,
                                   bool extraPoint, const std::string& update, double noise,
                                   std::optional<double> mutationGiven, int threads, std::optional<std::int64_t> seed,
                                   const std::string& layout, std::optional<std::vector<int>> selfPool,
                                   std::optional<std::vector<int>> otherPool, const py::object& mix, bool populate,
                                   const std::optional<std::string>& schedule, std::optional<std::int64_t> rounds,
                                   double selection, int colors, int immigrants, double ptr, double cost,
                                   double benefit, double death) {
    const bool ecology = updateOf(update, schedule) == UpdateRule::Ecology;
    const double mutation = mutationGiven ? *mutationGiven : (ecology ? EcologyRules{}.mutation : 0.0);
    const EcologyRules rules = ecologyRulesOf(colors, immigrants, ptr, cost, benefit, death, mutation);
    if (ecology && !mix.is_none()) fail("mix: an ecology world starts empty; place agents or load a world file");
    WorldShape shape{checkSide(rows, "rows"), checkSide(cols, "cols"), edgesOf(edges), neighbourhoodOf(neighbourhood)};
    if (payoffsGiven && competitionOf(competition) == CompetitionMode::Infinite) refusePayoffsOfInfinite();
    const std::vector<double> payoffs = payoffsGiven ? *payoffsGiven : std::vector<double>{3, 0, 5, 1};
    const WorldOptions options{edges, neighbourhood, competition, update, payoffs, playSelf, extraPoint,
                               noise, ecology ? 0.0 : mutation, threads, schedule, rounds, selection};
    const SeedingOptions seeding = seedingOf(seed, layout, selfPool, otherPool);
    const PairWeights pairs = mixOf(mix);
    if (!populate && !pairs.empty()) fail("mix: a world that is not populated is not seeded; give mix or populate=False");
    auto w = std::make_unique<PyWorld>(shape);
    applyOptions(*w, options);
    w->changeRules([&](Rules& r) { r.ecology = rules; });
    if (ecology) {
        // The paper's start: an empty world, the generator from the seed.
        w->world.clearCells();
        w->world.countPairs();
        w->world.random.seed(seeding.seed);
        w->lastSeed = seeding.seed;
        w->seeding = seeding;
    } else if (populate) {
        w->seedCells(seeding, pairs);
    } else {
        // A blank world: only the generator starts from the seed, as for a loaded world.
        w->world.random.seed(seeding.seed);
        w->lastSeed = seeding.seed;
        w->seeding = seeding;
    }
    return w;
}

void reseed(PyWorld& w, std::optional<std::int64_t> seed, const std::optional<std::string>& layout,
            const std::optional<std::vector<int>>& selfPool, const std::optional<std::vector<int>>& otherPool,
            const py::object& mix) {
    const std::string layoutName = layout ? *layout : colorLayoutName(w.seeding.layout);
    const SeedingOptions options = seedingOf(seed, layoutName, selfPool ? selfPool : admittedCodes(w.seeding.selfExcluded),
                                             otherPool ? otherPool : admittedCodes(w.seeding.otherExcluded));
    const PairWeights pairs = mixOf(mix);
    auto lock = lockWorld(w);
    if (w.world.updateRule == UpdateRule::Ecology) {
        if (!pairs.empty()) fail("mix: an ecology world starts empty; place agents or load a world file");
        w.world.clearCells();
        w.world.countPairs();
        w.world.random.seed(options.seed);
        w.lastSeed = options.seed;
        w.seeding = options;
    } else {
        w.seedCells(options, pairs);
    }
    w.world.generation = 0;
    w.world.clearScores();
}

void place(PyWorld& w, int row, int col, py::object pair, std::optional<int> color) {
    if (row < 0 || row >= w.world.rows() || col < 0 || col >= w.world.cols()) {
        throw py::index_error("place: (" + std::to_string(row) + ", " + std::to_string(col) + ") is outside the " +
                              std::to_string(w.world.rows()) + " x " + std::to_string(w.world.cols()) + " world");
    }
    const int code = pairCodeOf(pair, "pair");
    const int self = code / kCodeCount;
    const int other = code % kCodeCount;
    const int newColor = color ? codeOf(*color, "color") : -1;
    if (w.world.updateRule == UpdateRule::Ecology) {
        const auto side = [](int code) { return code == kHelpCode || code == kRefuseCode; };
        if (!side(self) || !side(other)) fail("pair: ecology agents hold 0 (AllD) or 7 (AllC) for each side");
        if (newColor >= w.world.ecology.colors) fail("color: " + std::to_string(newColor) + " is not below colors");
        if (newColor < 0 && w.world.isEmpty(w.world.index(row, col))) fail("color: an empty cell needs a colour");
    }
    auto lock = lockWorld(w);
    const int i = w.world.index(row, col);
    w.world.selfStrategy[i] = static_cast<CellCode>(self);
    w.world.otherStrategy[i] = static_cast<CellCode>(other);
    if (newColor >= 0) w.world.cellColor[i] = static_cast<CellCode>(newColor);
    w.world.countPairs();
}

// --- Files ---

[[noreturn]] void raiseOsError(int error, const std::string& path) {
    errno = error;
    PyErr_SetFromErrnoWithFilename(PyExc_OSError, path.c_str());
    throw py::error_already_set();
}

std::string readWhole(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) raiseOsError(errno, path);
    if (S_ISDIR(info.st_mode)) raiseOsError(EISDIR, path);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) raiseOsError(errno, path);
    std::string text;
    char buffer[1 << 16];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    const int readError = std::ferror(file) ? errno : 0;
    std::fclose(file);
    if (readError != 0) raiseOsError(readError, path);
    return text;
}

// The grids of a world file: (rows, cols, color, self, other) with (rows, cols) arrays.
py::tuple readWorld(const std::filesystem::path& file_path) {
    const std::string path = file_path.string();
    const std::string text = readWhole(path);
    WorldFile file;
    WorldError error;
    if (!parseWorld(text, file, error)) {
        fail(path + (error.line > 0 ? ":" + std::to_string(error.line) : std::string()) + ": " + error.message);
    }
    const auto grid = [&file](const std::vector<std::int32_t>& codes) {
        py::array_t<std::int8_t> out({file.rows, file.cols});
        std::copy(codes.begin(), codes.end(), out.mutable_data());
        return out;
    };
    return py::make_tuple(file.rows, file.cols, grid(file.color), grid(file.self), grid(file.other));
}

void save(PyWorld& w, const std::filesystem::path& file_path) {
    const std::string path = file_path.string();
    WorldFile file;
    {
        auto lock = lockWorld(w);
        file = WorldFile::ofSize(w.world.rows(), w.world.cols());
        std::copy(w.world.cellColor.begin(), w.world.cellColor.end(), file.color.begin());
        std::copy(w.world.selfStrategy.begin(), w.world.selfStrategy.end(), file.self.begin());
        std::copy(w.world.otherStrategy.begin(), w.world.otherStrategy.end(), file.other.begin());
    }
    OutputFile out;
    std::string error;
    if (!out.create(path, error) || !out.write(formatWorld(file), error) || !out.commit(error)) {
        PyErr_Format(PyExc_OSError, "%s: %s", path.c_str(), error.c_str());
        throw py::error_already_set();
    }
}

// --- Pictures ---

// The grid drawn in software as talvane-batch --image draws it: any size,
// no display needed.
py::bytes gridPng(PyWorld& w, std::optional<int> cellPixels, const std::string& viewName, bool legend) {
    GridPicture picture;
    if (!parseGridView(viewName, picture.view)) {
        throw py::value_error("view: \"" + viewName + "\" is not strategies or colors");
    }
    if (cellPixels && (*cellPixels < 1 || *cellPixels > kMaxCellPixels)) {
        throw py::value_error("cell_pixels: " + std::to_string(*cellPixels) + " is not 1 to " +
                              std::to_string(kMaxCellPixels));
    }
    picture.legend = legend;
    std::string png;
    {
        py::gil_scoped_release release;
        std::lock_guard<std::mutex> lock(w.mutex);
        picture.cellPixels = cellPixels ? *cellPixels : defaultCellPixels(w.world.rows(), w.world.cols());
        picture.generation = w.world.generation;
        IndexedImage image;
        drawWorld(w.world, picture, image);
        png = encodePng(image);
    }
    if (png.empty()) throw std::runtime_error("PNG encoding failed");
    return py::bytes(png);
}

// Writes bytes to path as every Talvane program writes its outputs: into
// devices and pipes, through links, keeping the file's mode.
void writeOutput(const std::filesystem::path& file_path, const py::bytes& bytes) {
    const std::string path = file_path.string();
    const std::string data = bytes;
    std::string error;
    if (!writeOutputFile(path, data, error)) {
        PyErr_Format(PyExc_OSError, "%s: %s", path.c_str(), error.c_str());
        throw py::error_already_set();
    }
}

// --- Names ---

// "TFT" from "110 TFT"; the bits alone where a strategy has no name.
std::string strategyName(int code) {
    const std::string full = strategyNames[static_cast<std::size_t>(code)];
    const std::size_t space = full.find(' ');
    return space == std::string::npos ? full : full.substr(space + 1);
}

std::string classify(double r, double s, double t, double p) {
    const Payoffs payoffs = payoffsOf({r, s, t, p});
    if (payoffs.whole) {
        return classifyGame(static_cast<std::int32_t>(r), static_cast<std::int32_t>(s), static_cast<std::int32_t>(t),
                            static_cast<std::int32_t>(p));
    }
    return classifyRealGame(r, s, t, p);
}

std::string describe(PyWorld& w) {
    std::ostringstream text;
    text << "talvane.World(rows=" << w.world.rows() << ", cols=" << w.world.cols() << ", edges='"
         << edgesName(w.world.shape().edges) << "', neighbourhood='" << neighbourhoodName(w.world.shape().neighbourhood)
         << "', generation=" << w.world.generation << ")";
    return text.str();
}

// Splits one line of comma-separated fields.
std::vector<std::string> fieldsOf(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = line.find(',', start);
        fields.push_back(line.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) return fields;
        start = comma + 1;
    }
}

py::dict stats(PyWorld& w) {
    PairCounts counts;
    std::int64_t generation = 0;
    std::string header, row;
    {
        auto lock = lockWorld(w);
        counts = w.world.countPairs();
        generation = w.world.generation;
        // The row the batch runner's --stats table writes for this world
        // (start takes the table's colours from the world as it stands).
        w.run.start();
        header = w.run.tableHeader();
        row = w.run.tableRow();
    }
    py::dict out;
    out["generation"] = generation;
    const auto names = fieldsOf(header.substr(0, header.find('\n')));
    const auto values = fieldsOf(row.substr(0, row.find('\n')));
    for (std::size_t i = 1; i < names.size() && i < values.size(); ++i) {
        const std::string& value = values[i];
        const bool whole = value.find_first_not_of("0123456789-") == std::string::npos && !value.empty();
        out[py::str(names[i])] = value.empty() ? py::object(py::float_(std::nan("")))
                                 : whole      ? py::object(py::int_(std::stoll(value)))
                                              : py::object(py::float_(std::stod(value)));
    }
    for (int k = 0; k < kPairCount; ++k) {
        out[py::str("s{}o{}").format(k / kCodeCount, k % kCodeCount)] = counts[static_cast<std::size_t>(k)];
    }
    return out;
}

// A line of the statistics table with the 64 pair counts added at its end.
std::string withPairCounts(const std::string& line, const PairCounts& counts) {
    std::string out = line.substr(0, line.find('\n'));
    for (const std::uint32_t count : counts) out += "," + std::to_string(count);
    return out + "\n";
}

// Runs n generations; returns, as CSV text with its header, the statistics
// table that --stats writes, from the world as it stands to the last
// generation, each row followed by the 64 pair counts of the log.
std::string stepStats(PyWorld& w, std::int64_t n) {
    if (n < 0) fail("generations: " + std::to_string(n) + " is not a number of generations 0 or more");
    std::string table;
    RunSinks<World> sinks;
    sinks.stats = [&table, &w](const std::string& text) {
        if (!table.empty()) {
            table += withPairCounts(text, w.world.pairCounts());
            return;
        }
        // The header, with the names of the pair counts.
        table = text.substr(0, text.find('\n'));
        for (int k = 0; k < kPairCount; ++k) {
            table += ",s" + std::to_string(k / kCodeCount) + "o" + std::to_string(k % kCodeCount);
        }
        table += "\n";
    };
    const SinksFor given(w, std::move(sinks));
    {
        auto lock = lockWorld(w);
        w.run.start();
    }
    stepMany(w, n);
    return table;
}

// --- Worlds on graphs ---

// The value behind talvane.GraphWorld: the run of an engine GraphWorld (its
// rules, generator and threads) with its seed and a lock, as PyWorld.
struct PyGraphWorld {
    PyGraphWorld(Graph graph, const Rules& rules) : run(GraphWorld(std::move(graph)), rules), world(run.world()) {}
    PyGraphWorld(const PyGraphWorld& other) : run(other.run), world(run.world()), lastSeed(other.lastSeed) {}
    WorldRun<GraphWorld> run;
    GraphWorld& world;  // the run's world
    const Rules& rules() const { return run.rules(); }
    std::optional<std::uint32_t> lastSeed;
    std::mutex mutex;
};

std::unique_lock<std::mutex> lockGraphWorld(PyGraphWorld& w) {
    py::gil_scoped_release release;
    return std::unique_lock<std::mutex>(w.mutex);
}

// The edges of an (E, 2) array of node numbers, or of an object with an
// edges() method (a networkx graph, whose nodes must be 0 .. N - 1).
Graph graphOf(const py::object& edges, std::optional<int> nodesGiven) {
    std::vector<Edge> list;
    std::int64_t largest = -1;
    std::optional<int> nodes = nodesGiven;
    const auto add = [&](std::int64_t u, std::int64_t v) {
        if (u < 0 || v < 0 || u >= kMaxGraphNodes || v >= kMaxGraphNodes) {
            fail("graph: the edge " + std::to_string(u) + "-" + std::to_string(v) + " names a node outside 0 to " +
                 std::to_string(kMaxGraphNodes - 1));
        }
        largest = std::max({largest, u, v});
        list.emplace_back(static_cast<std::int32_t>(u), static_cast<std::int32_t>(v));
    };
    if (py::hasattr(edges, "edges") && !py::isinstance<py::array>(edges)) {
        if (!nodes && py::hasattr(edges, "number_of_nodes")) nodes = edges.attr("number_of_nodes")().cast<int>();
        for (const py::handle edge : edges.attr("edges")()) {
            const py::tuple pair = py::reinterpret_borrow<py::object>(edge).cast<py::tuple>();
            if (pair.size() < 2) fail("graph: edges() gave an edge that is no pair of nodes");
            add(wholeOf(pair[0], "graph: a node"), wholeOf(pair[1], "graph: a node"));
        }
    } else {
        auto array = py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>::ensure(edges);
        if (!array || array.ndim() != 2 || array.shape(1) != 2) {
            PyErr_Clear();
            fail("graph: an (E, 2) array of node numbers, or an object with an edges() method, is needed");
        }
        for (py::ssize_t e = 0; e < array.shape(0); ++e) add(array.at(e, 0), array.at(e, 1));
    }
    const int count = nodes ? *nodes : static_cast<int>(largest + 1);
    if (count < largest + 1) {
        fail("nodes: " + std::to_string(count) + " is fewer than the edges name (" + std::to_string(largest + 1) + ")");
    }
    if (count < kMinGraphNodes || count > kMaxGraphNodes) {
        fail("graph: " + std::to_string(count) + " nodes; a graph world has " + std::to_string(kMinGraphNodes) +
             " to " + std::to_string(kMaxGraphNodes));
    }
    Graph graph;
    std::string error;
    if (!graphFromEdges(count, list, graph, error)) fail("graph: " + error);
    return graph;
}

std::unique_ptr<PyGraphWorld> makeGraphWorld(const py::object& edges, std::optional<int> nodes,
                                             const std::optional<std::vector<double>>& payoffsGiven,
                                             const std::string& competition, bool playSelf, bool extraPoint,
                                             const std::string& update, double noise, double mutation, int threads,
                                             std::optional<std::int64_t> seed, const std::string& layout,
                                             std::optional<std::vector<int>> selfPool,
                                             std::optional<std::vector<int>> otherPool, const py::object& mix,
                                             const std::optional<std::string>& schedule,
                                             std::optional<std::int64_t> rounds, double selection) {
    if (payoffsGiven && competitionOf(competition) == CompetitionMode::Infinite) refusePayoffsOfInfinite();
    if (rounds && competitionOf(competition) == CompetitionMode::Infinite) {
        fail("rounds: the infinite competition has no match length; give rounds only with competition=\"finite\"");
    }
    const UpdateRule rule = updateOf(update, schedule);
    if (rule == UpdateRule::Ecology) fail("update: the ecology rule runs on lattices, not on graphs");
    if (layout == "checkerboard") fail("layout: \"checkerboard\" needs a lattice; give \"random\" or \"segregated\"");
    const SeedingOptions seeding = seedingOf(seed, layout, selfPool, otherPool);
    const PairWeights pairs = mixOf(mix);
    Rules rules;
    setPayoffs(rules, payoffsOf(payoffsGiven ? *payoffsGiven : std::vector<double>{3, 0, 5, 1}));
    rules.competition = competitionOf(competition);
    rules.playSelf = playSelf;
    rules.extraPoint = extraPoint;
    rules.updateRule = rule;
    rules.noise = checkNoise(noise);
    rules.selection = checkSelection(selection);
    rules.mutation = checkMutation(mutation);
    // Mutation draws from the pools seeding draws from, as in talvane-batch.
    rules.selfExcluded = seeding.selfExcluded;
    rules.otherExcluded = seeding.otherExcluded;
    rules.rounds = rounds ? checkRounds(*rounds) : kDefaultRounds;
    auto w = std::make_unique<PyGraphWorld>(graphOf(edges, nodes), rules);
    w->run.threads = checkThreads(threads);
    // As talvane-batch --graph FILE --seed S: the generator starts from the
    // seed and the nodes are seeded from it.
    w->run.seed(seeding, pairs);
    w->lastSeed = seeding.seed;
    return w;
}

void stepGraph(PyGraphWorld& w, std::int64_t n) {
    if (n < 0) fail("n: " + std::to_string(n) + " is not a number of generations 0 or more");
    const std::int64_t piece = std::max<std::int64_t>(1, kCellsBetweenSignalChecks / w.world.nodeCount());
    for (std::int64_t done = 0; done < n;) {
        const std::int64_t end = std::min(n, done + piece);
        {
            py::gil_scoped_release release;
            std::lock_guard<std::mutex> lock(w.mutex);
            w.run.step(end - done);
            done = end;
        }
        if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    }
}

// A read-only view of one entry per node, which keeps the world alive.
template <typename T>
py::array nodeView(py::object owner, std::vector<T>& values) {
    py::array view(py::dtype::of<T>(), {static_cast<py::ssize_t>(values.size())},
                   {static_cast<py::ssize_t>(sizeof(T))}, values.data(), owner);
    makeReadOnly(view);
    return view;
}

py::array_t<std::int64_t> edgeArray(const Graph& graph) {
    const std::vector<Edge> edges = edgesOf(graph);
    py::array_t<std::int64_t> out({static_cast<py::ssize_t>(edges.size()), static_cast<py::ssize_t>(2)});
    for (std::size_t e = 0; e < edges.size(); ++e) {
        out.mutable_at(static_cast<py::ssize_t>(e), 0) = edges[e].first;
        out.mutable_at(static_cast<py::ssize_t>(e), 1) = edges[e].second;
    }
    return out;
}

// talvane.network: the edges of a network drawn as talvane-batch --network
// draws it with --seed S.
py::array_t<std::int64_t> network(const std::string& kind, std::optional<int> n, std::optional<int> k,
                                  std::optional<int> m, std::optional<double> p, std::optional<int> rows,
                                  std::optional<int> cols, const std::string& neighbourhood, const std::string& edges,
                                  std::optional<std::int64_t> seed) {
    const auto need = [&kind](const auto& value, const char* name) {
        if (!value) fail(std::string(name) + ": \"" + kind + "\" needs " + name);
        std::ostringstream text;
        text.precision(17);
        text << *value;
        return text.str();
    };
    std::string recipe = kind + ":";
    if (kind == "random-regular") {
        recipe += need(n, "n") + ":" + need(k, "k");
    } else if (kind == "small-world") {
        recipe += need(n, "n") + ":" + need(k, "k") + ":" + need(p, "p");
    } else if (kind == "scale-free") {
        recipe += need(n, "n") + ":" + need(m, "m");
    } else if (kind == "erdos-renyi") {
        recipe += need(n, "n") + ":" + need(p, "p");
    } else if (kind == "lattice") {
        recipe += need(rows, "rows") + ":" + need(cols, "cols") + ":" + neighbourhood + ":" + edges;
    } else {
        fail("kind: \"" + kind + "\" is none of random-regular, small-world, scale-free, erdos-renyi, lattice");
    }
    NetworkRecipe parsed;
    std::string error;
    if (!parseNetworkRecipe(recipe, parsed, error)) fail(error);
    Mt19937 random;
    random.seed(seedOf(seed));
    Graph graph;
    {
        py::gil_scoped_release release;
        if (!generateNetwork(parsed, random, graph, error)) graph.nodes = 0;
    }
    if (graph.nodes == 0) fail(error);
    return edgeArray(graph);
}

void saveGraphWorld(PyGraphWorld& w, const std::filesystem::path& file_path) {
    std::string text;
    {
        auto lock = lockGraphWorld(w);
        text = formatNodeFile(nodeCellsOf(w.world));
    }
    writeOutput(file_path, py::bytes(text));
}

py::array_t<std::int64_t> graphPairCounts(PyGraphWorld& w) {
    PairCounts counts;
    {
        auto lock = lockGraphWorld(w);
        counts = w.world.countPairs();
    }
    py::array_t<std::int64_t> out(kPairCount);
    for (int k = 0; k < kPairCount; ++k) out.mutable_at(k) = counts[static_cast<std::size_t>(k)];
    return out;
}

void registerGraphWorld(py::module_& m) {
    py::class_<PyGraphWorld>(m, "GraphWorld", R"(A world on a graph: each node has a colour and a (self, others) pair and
plays its neighbours along the edges. Made by talvane.World(graph=EDGES, ...)
(or GraphWorld(EDGES, ...)) with EDGES an (E, 2) array of node numbers or an
object with an edges() method (a networkx graph); nodes: the node count when
nodes without edges follow the last numbered one. Seeded as talvane-batch
--graph FILE --seed S seeds: layouts "random" and "segregated" (the first
half of the node numbers Green). update, schedule, rounds and selection as
World takes them: every imitation and Moran rule runs on graphs, with k_x the
node's degree (plus one with play_self) in proportional imitation; mutation
draws from the seeding pools.)")
        .def(py::init(&makeGraphWorld), "graph"_a, py::kw_only(), "nodes"_a = py::none(), "payoffs"_a = py::none(),
             "competition"_a = "finite", "play_self"_a = false, "extra_point"_a = false, "update"_a = "synchronous",
             "noise"_a = kDefaultNoise, "mutation"_a = 0.0, "threads"_a = 1, "seed"_a = py::none(),
             "layout"_a = "random", "self_pool"_a = py::none(), "other_pool"_a = py::none(), "mix"_a = py::none(),
             "schedule"_a = py::none(), "rounds"_a = py::none(), "selection"_a = kDefaultSelection)
        .def("copy", [](PyGraphWorld& w) { auto lock = lockGraphWorld(w); return std::make_unique<PyGraphWorld>(w); },
             "An independent copy: nodes, rules, generator state and generation.")
        .def("__repr__",
             [](PyGraphWorld& w) {
                 return "<talvane.GraphWorld " + std::to_string(w.world.nodeCount()) + " nodes, " +
                        std::to_string(w.world.graph().edgeCount()) + " edges, generation " +
                        std::to_string(w.world.generation) + ">";
             })
        .def("step", &stepGraph, "n"_a = 1,
             "Steps n generations (the GIL released, so that other worlds step meanwhile).")
        .def("pair_counts", &graphPairCounts, "Nodes per (self, others) pair, entry self * 8 + others.")
        .def("save", &saveGraphWorld, "path"_a,
             "Writes the nodes as a graph world file (node,color,self,other), as talvane-batch --save does.")
        .def_property_readonly("nodes", [](PyGraphWorld& w) { return w.world.nodeCount(); }, "Nodes of the graph.")
        .def_property_readonly("edges", [](PyGraphWorld& w) { return edgeArray(w.world.graph()); },
                               "The edges, (E, 2), each once with the smaller node first.")
        .def_property_readonly(
            "degree",
            [](PyGraphWorld& w) {
                py::array_t<std::int64_t> out(w.world.nodeCount());
                for (int i = 0; i < w.world.nodeCount(); ++i) out.mutable_at(i) = w.world.degree(i);
                return out;
            },
            "Each node's degree.")
        .def_property_readonly(
            "color", [](py::object self) { return nodeView(self, self.cast<PyGraphWorld&>().world.nodeColor); },
            "Each node's colour code (read-only view).")
        .def_property_readonly(
            "self_strategy",
            [](py::object self) { return nodeView(self, self.cast<PyGraphWorld&>().world.selfStrategy); },
            "Each node's strategy against its own colour (read-only view).")
        .def_property_readonly(
            "other_strategy",
            [](py::object self) { return nodeView(self, self.cast<PyGraphWorld&>().world.otherStrategy); },
            "Each node's strategy against other colours (read-only view).")
        .def_property_readonly("generation", [](PyGraphWorld& w) { return w.world.generation; },
                               "Generations stepped.")
        .def_property_readonly("last_seed", [](PyGraphWorld& w) { return w.lastSeed; }, "The seed it was seeded with.");
    m.def("network", &network, "kind"_a, py::kw_only(), "n"_a = py::none(), "k"_a = py::none(), "m"_a = py::none(),
          "p"_a = py::none(), "rows"_a = py::none(), "cols"_a = py::none(), "neighbourhood"_a = "moore",
          "edges"_a = "wrap", "seed"_a = py::none(),
          R"(The edges, (E, 2), of a network drawn as talvane-batch --network draws it
with --seed seed: network("scale-free", n=N, m=M), ("random-regular", n, k),
("small-world", n, k, p), ("erdos-renyi", n, p), ("lattice", rows, cols,
neighbourhood, edges). See docs/networks.md for the draws.)");
}

template <typename T, typename Set>
auto lockedSetter(Set set) {
    return [set](PyWorld& w, T value) {
        auto lock = lockWorld(w);
        set(w, value);
    };
}

}  // namespace

}  // namespace talvane::python

PYBIND11_MODULE(_talvane, m) {
    using namespace talvane;
    using namespace talvane::python;
    m.doc() = "The Talvane engine: worlds of evolving strategies in a spatial population.";

    py::class_<PyWorld> world(m, "World", R"(A world: a grid of cells, each with a colour and two strategies.

World(rows=64, cols=64, *, edges="wrap", neighbourhood="moore", payoffs=None,
      competition="finite", play_self=False, extra_point=False, update="synchronous",
      noise=0.1, mutation=0.0, threads=1, seed=None, layout="checkerboard",
      self_pool=None, other_pool=None, mix=None, populate=True, schedule=None,
      rounds=None, selection=1.0)

update is "best", "fermi", "proportional", "death-birth" or "birth-death"
(or the old "synchronous" and "asynchronous", the best rule on either
schedule); schedule "synchronous" or "random-sequential" (None: the rule's
own); rounds the length of a finite match (None: 200); selection W of the
death-birth and birth-death fitness exp(W * score).

The options are those of talvane-batch; payoffs (None: (3, 0, 5, 1)) go with
the finite competition only. The world is seeded at once from the
strategy pools (None: all eight codes) and the colour layout with the given
seed (None: a random one, kept in last_seed). mix, as talvane-batch --mix,
draws every cell's pair with weights instead of from the pools: a mapping
{pair: weight} or a sequence of (pair, weight), each pair (self, other) or
self*8 + other, e.g. mix={(7, 7): 0.9, (0, 0): 0.1}. With populate=False every cell
stays Green playing AllD against everyone and only the generator starts
from the seed. World(seed=S) is the world `talvane-batch --seed S` seeds,
and stepping it gives the same worlds and counts.)");
    world
        .def(py::init(&makeWorld), "rows"_a = 64, "cols"_a = 64, py::kw_only(), "edges"_a = "wrap",
             "neighbourhood"_a = "moore", "payoffs"_a = py::none(), "competition"_a = "finite",
             "play_self"_a = false, "extra_point"_a = false, "update"_a = "synchronous", "noise"_a = kDefaultNoise,
             "mutation"_a = py::none(), "threads"_a = 1, "seed"_a = py::none(), "layout"_a = "checkerboard",
             "self_pool"_a = py::none(), "other_pool"_a = py::none(), "mix"_a = py::none(), "populate"_a = true,
             "schedule"_a = py::none(), "rounds"_a = py::none(), "selection"_a = kDefaultSelection,
             "colors"_a = 4, "immigrants"_a = 1, "ptr"_a = 0.12, "cost"_a = 0.01, "benefit"_a = 0.03,
             "death"_a = 0.1)
        .def("__copy__", [](PyWorld& w) { auto lock = lockWorld(w); return std::make_unique<PyWorld>(w); })
        .def("__deepcopy__", [](PyWorld& w, py::dict) { auto lock = lockWorld(w); return std::make_unique<PyWorld>(w); },
             "memo"_a)
        .def("copy", [](PyWorld& w) { auto lock = lockWorld(w); return std::make_unique<PyWorld>(w); },
             "An independent copy: grids, rules, generator state and generation.")
        .def("__repr__", &describe)
        .def("seed", &reseed, "seed"_a = py::none(), py::kw_only(), "layout"_a = py::none(), "self_pool"_a = py::none(),
             "other_pool"_a = py::none(), "mix"_a = py::none(),
             R"(Seeds every cell afresh, as talvane-batch does: the generator restarts from
seed (None: a random one), then each cell draws its self strategy, others
strategy and colour; then the colour layout ("random", "checkerboard",
"segregated"). With mix (as in World()), each cell draws its pair with those
weights instead, and the layout its colours. Options left out keep those of
the latest seeding; a mix is used only when given. Sets the generation to 0.)")
        .def("place", &place, "row"_a, "col"_a, "pair"_a, py::kw_only(), "color"_a = py::none(),
             R"(Gives the cell at (row, col) the strategy pair (self, other), or a pair code
self*8 + other; color, when given, also its colour code.)")
        .def("step", &step, "n"_a = 1,
             R"(Runs n generations (the update rule, then mutation) at native speed. The GIL
is released meanwhile, so several worlds step in parallel from Python threads;
Ctrl-C stops a long step between generations.)")
        .def("_step_counts", &stepCounts, "generations"_a,
             "Runs generations and returns the pair counts after each as an (n, 64) array.")
        .def("pair_counts", &pairCountsOf,
             R"(Cells per (self, other) strategy pair: 64 counts, entry self*8 + other, as a
line of the population log. .reshape(8, 8) gives [self, other].)")
        .def("stats", &stats,
             R"(The world's row of statistics as a dict: "generation", the columns of
talvane-batch --stats (all_cells, all_mean_score, ..., all_coop_same,
all_coop_other, then the same for each colour present: green_, red_, ...),
and the 64 pair counts under the names s{self}o{other}.)")
        .def("_step_stats", &stepStats, "generations"_a,
             "Runs generations and returns the statistics table as CSV text, from the world as it stands.")
        .def("_run_measured", &runMeasured, "generations"_a, "measures"_a, "first"_a, "last"_a,
             "Runs generations with measurements over first..last; JSON of the means, spreads and settling.")
        .def("_grid_png", &gridPng, "cell_pixels"_a, "view"_a, "legend"_a)
        .def("save", &save, "path"_a,
             R"(Writes the world file (CSV: row,col,color,self,other) that talvane-batch
--save writes, under a temporary name renamed into place when complete.)")
        .def_property_readonly("rows", [](PyWorld& w) { return w.world.rows(); }, "Rows of the grid.")
        .def_property_readonly("cols", [](PyWorld& w) { return w.world.cols(); }, "Columns of the grid.")
        .def_property_readonly("shape", [](PyWorld& w) { return py::make_tuple(w.world.rows(), w.world.cols()); },
                               "(rows, cols), the shape of every grid array.")
        .def_property_readonly("edges", [](PyWorld& w) { return edgesName(w.world.shape().edges); },
                               "\"wrap\" (a torus) or \"fixed\".")
        .def_property_readonly("neighbourhood",
                               [](PyWorld& w) { return neighbourhoodName(w.world.shape().neighbourhood); },
                               "\"moore\" (8 neighbours) or \"von-neumann\" (4).")
        .def_property(
            "color", [](py::object self) { return gridView(self, self.cast<PyWorld&>().world.cellColor, self.cast<PyWorld&>().world); },
            [](PyWorld& w, py::object value) { setGrid(w, &World::cellColor, value, "color"); },
            R"(Colour codes (0 Green, 1 Cyan, 2 Red), an int8 array of shape (rows, cols).
Reading gives a read-only view of the world's own grid, no copy: it shows the
world as it is whenever it is read (copy it to keep a generation). Assign an
array of that shape with codes 0 to 7 to change the grid.)")
        .def_property(
            "self_strategy",
            [](py::object self) { return gridView(self, self.cast<PyWorld&>().world.selfStrategy, self.cast<PyWorld&>().world); },
            [](PyWorld& w, py::object value) { setGrid(w, &World::selfStrategy, value, "self_strategy"); },
            "Strategy codes played against neighbours of the same colour; a read-only view as color is.")
        .def_property(
            "other_strategy",
            [](py::object self) { return gridView(self, self.cast<PyWorld&>().world.otherStrategy, self.cast<PyWorld&>().world); },
            [](PyWorld& w, py::object value) { setGrid(w, &World::otherStrategy, value, "other_strategy"); },
            "Strategy codes played against neighbours of other colours; a read-only view as color is.")
        .def_property_readonly(
            "scores", [](py::object self) { return gridView(self, self.cast<PyWorld&>().world.score, self.cast<PyWorld&>().world); },
            "Each cell's total payoff in the latest generation, a read-only float64 view of shape (rows, cols).")
        .def_property(
            "generation", [](PyWorld& w) { return w.world.generation; },
            lockedSetter<std::int64_t>([](PyWorld& w, std::int64_t g) {
                if (g < 0) fail("generation: " + std::to_string(g) + " is below 0");
                w.world.generation = g;
            }),
            "Generations stepped since the world was made, seeded or the counter set.")
        .def_property(
            "payoffs", [](PyWorld& w) { const auto v = payoffValues(w.rules()); return py::make_tuple(v[0], v[1], v[2], v[3]); },
            lockedSetter<std::vector<double>>([](PyWorld& w, std::vector<double> v) {
                if (w.rules().competition == CompetitionMode::Infinite) refusePayoffsOfInfinite();
                w.changeRules([&](Rules& r) { setPayoffs(r, payoffsOf(v)); });
            }),
            "R, S, T, P of the finite competition; setting them recomputes the payoff table (refused while "
            "the competition is infinite).")
        .def_property(
            "competition", [](PyWorld& w) { return competitionName(w.rules().competition); },
            lockedSetter<std::string>([](PyWorld& w, const std::string& text) {
                w.changeRules([&](Rules& r) { r.competition = competitionOf(text); });
            }),
            "\"finite\" (200-round matches under the payoffs) or \"infinite\" (long-run averages).")
        .def_property_readonly("payoff_table", [](PyWorld& w) { return tableArray(w.world.payoffTable); },
                               "What one match earns, [own code, opponent's code]: an 8 x 8 read-only copy.")
        .def_property(
            "play_self", [](PyWorld& w) { return w.rules().playSelf; },
            lockedSetter<bool>([](PyWorld& w, bool on) { w.changeRules([&](Rules& r) { r.playSelf = on; }); }), "Every cell also plays itself.")
        .def_property(
            "extra_point", [](PyWorld& w) { return w.rules().extraPoint; },
            lockedSetter<bool>([](PyWorld& w, bool on) { w.changeRules([&](Rules& r) { r.extraPoint = on; }); }),
            "Discriminating cells earn an extra point per same-colour game.")
        .def_property(
            "update", [](PyWorld& w) { return updateRuleName(w.world.updateRule); },
            lockedSetter<std::string>([](PyWorld& w, const std::string& text) {
                const UpdateRule rule = updateOf(text);
                // Ecology worlds hold empty cells and their own rules: they are made so, not switched.
                if ((rule == UpdateRule::Ecology) != (w.world.updateRule == UpdateRule::Ecology)) {
                    fail("update: a world becomes an ecology world (or stops being one) only when it is made: "
                         "World(update=\"ecology\", ...)");
                }
                w.changeRules([&](Rules& r) { r.updateRule = rule; });
            }),
            "\"synchronous\", \"asynchronous\" or \"fermi\" for the rules of old; else the rule's name "
            "(\"fermi\", \"proportional\", \"death-birth\", \"birth-death\"), with its schedule beside it; "
            "\"ecology\" only as the world is made. Set, the rule goes on its own schedule.")
        .def_property(
            "schedule", [](PyWorld& w) { return scheduleName(scheduleOf(w.world.updateRule)); },
            lockedSetter<std::string>([](PyWorld& w, const std::string& text) {
                if (w.world.updateRule == UpdateRule::Ecology) fail("schedule: the ecology rule has no schedule");
                const ImitationRule rule = imitationOf(w.world.updateRule);
                w.changeRules([&](Rules& r) { r.updateRule = updateOf(imitationName(rule), text); });
            }),
            "\"synchronous\" or \"random-sequential\".")
        .def_property(
            "rounds", [](PyWorld& w) { return w.rules().rounds; },
            lockedSetter<std::int64_t>([](PyWorld& w, std::int64_t n) {
                if (w.rules().competition == CompetitionMode::Infinite) fail("rounds: the infinite competition has no match length");
                w.changeRules([&](Rules& r) { r.rounds = checkRounds(n); });
            }),
            "Rounds of a finite match, 1 to 1000000.")
        .def_property(
            "selection", [](PyWorld& w) { return w.rules().selection; },
            lockedSetter<double>([](PyWorld& w, double s) {
                w.changeRules([&](Rules& r) { r.selection = checkSelection(s); });
            }),
            "W of the death-birth and birth-death fitness exp(W * score), above 0.")
        .def_property(
            "noise", [](PyWorld& w) { return w.rules().noise; },
            lockedSetter<double>([](PyWorld& w, double k) {
                w.changeRules([&](Rules& r) { r.noise = checkNoise(k); });
            }),
            "K of the Fermi rule, above 0, in the units of the scores.")
        .def_property(
            "mutation",
            [](PyWorld& w) {
                return w.rules().updateRule == UpdateRule::Ecology ? w.rules().ecology.mutation : w.rules().mutation;
            },
            lockedSetter<double>([](PyWorld& w, double mu) {
                const double checked = checkMutation(mu);
                w.changeRules([&](Rules& r) {
                    (r.updateRule == UpdateRule::Ecology ? r.ecology.mutation : r.mutation) = checked;
                });
            }),
            "Each strategy's chance per generation of becoming a random code, 0 to 1; under ecology a child's "
            "chance per trait of another value.")
        .def_property_readonly(
            "ecology",
            [](PyWorld& w) {
                const EcologyRules& e = w.world.ecology;
                py::dict out;
                out["colors"] = e.colors;
                out["immigrants"] = e.immigrants;
                out["ptr"] = e.ptr;
                out["cost"] = e.cost;
                out["benefit"] = e.benefit;
                out["death"] = e.death;
                out["mutation"] = e.mutation;
                return out;
            },
            "The ecology rule's parameters (a copy): colors, immigrants, ptr, cost, benefit, death, mutation.")
        .def_property(
            "threads", [](PyWorld& w) { return w.threads; },
            lockedSetter<int>([](PyWorld& w, int n) { w.threads = checkThreads(n); }),
            "Threads that share each synchronous generation of a large world (same results).")
        .def_property_readonly("last_seed", [](PyWorld& w) { return w.lastSeed; },
                               "The seed of the latest seeding (or generator start).")
        .def_property_readonly("layout", [](PyWorld& w) { return colorLayoutName(w.seeding.layout); },
                               "Colour layout of the latest seeding.")
        .def_property_readonly("self_pool", [](PyWorld& w) { return admittedCodes(w.seeding.selfExcluded); },
                               "Self strategy codes the latest seeding drew from.")
        .def_property_readonly("other_pool", [](PyWorld& w) { return admittedCodes(w.seeding.otherExcluded); },
                               "Others strategy codes the latest seeding drew from.");
    defineFrameDescription(world);

    m.def("_write_output", &writeOutput, "path"_a, "data"_a,
          "Writes data to path with the programs' one output writer (through links, into pipes, modes kept).");
    m.def("_read_world", &readWorld, "path"_a,
          "Reads a world file: (rows, cols, color, self, other) with (rows, cols) int8 arrays.");
    m.def("classify_game", &classify, "R"_a, "S"_a, "T"_a, "P"_a,
          R"(The game the payoffs R (both cooperate), S (sucker), T (temptation), P (both
defect) define: "Prisoner's Dilemma", "Stag Hunt", "Chicken", "Deadlock" or
"Unnamed Game".)");
    m.def(
        "finite_payoff_table",
        [](double r, double s, double t, double p) {
            const Payoffs payoffs = payoffsOf({r, s, t, p});
            const auto& v = payoffs.values;
            return tableArray(payoffs.whole ? finitePayoffTable(static_cast<std::int32_t>(v[0]), static_cast<std::int32_t>(v[1]),
                                                                static_cast<std::int32_t>(v[2]), static_cast<std::int32_t>(v[3]))
                                            : finitePayoffTableOf(v));
        },
        "R"_a, "S"_a, "T"_a, "P"_a, "Totals of 200-round matches, [own code, opponent's code], 8 x 8.");
    m.attr("INFINITE_PAYOFF_TABLE") = tableArray(infinitePayoffTable);
    py::tuple strategies(kCodeCount);
    py::tuple colors(kCodeCount);
    for (int i = 0; i < kCodeCount; ++i) {
        strategies[static_cast<std::size_t>(i)] = strategyName(i);
        colors[static_cast<std::size_t>(i)] = colorNames[static_cast<std::size_t>(i)];
    }
    m.attr("STRATEGIES") = strategies;
    m.attr("COLORS") = colors;
    m.attr("LAYOUTS") = py::make_tuple(kLayoutNames[0], kLayoutNames[1], kLayoutNames[2]);
    registerGraphWorld(m);
}
