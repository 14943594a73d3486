#include "web_world.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <new>

#include "options.h"
#include "run_world.h"
#include "world_file.h"

namespace talvane::web {

namespace {

// Options of talvane-batch that name files or several runs: a page has no
// files and holds one world.
constexpr std::array<const char*, 13> kFileOptions{
    "--load", "--save", "--log", "--stats", "--meta", "--checkpoint", "--checkpoint-every",
    "--resume", "--runs", "--jobs", "--until-settled", "--help", "--version"};

bool refusedOption(const std::vector<std::string>& args, std::string& error) {
    for (const std::string& arg : args) {
        const std::string name = arg.substr(0, arg.find('='));
        if (std::find(kFileOptions.begin(), kFileOptions.end(), name) != kFileOptions.end()) {
            error = name + ": the page holds one world and writes no files; use its buttons instead";
            return true;
        }
    }
    return false;
}

// The options parsed and checked as talvane-batch checks them.
bool planOf(const std::vector<std::string>& args, BatchPlan& plan, std::string& error) {
    if (refusedOption(args, error)) return false;
    CLI::App app{"talvane-web"};
    CommandLine line;
    defineOptions(app, line);
    std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 takes its arguments last first
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& fault) {
        error = fault.what();
        return false;
    }
    return makePlan(line, plan, error);
}

std::string megabytes(std::uint64_t bytes) { return std::to_string((bytes + (1u << 20) - 1) >> 20) + " MB"; }

}  // namespace

std::uint64_t bytesForWorld(int rows, int cols) {
    // Three code grids, the scores, the step's packed keys, padded scores
    // and draws, the variants' copies, the picture: about 64 bytes a cell.
    const auto cells = static_cast<std::uint64_t>(rows + 2) * static_cast<std::uint64_t>(cols + 2);
    return cells * 64 + (1u << 20);
}

bool WebWorld::start(const std::vector<std::string>& args, std::string& error) {
    BatchPlan plan;
    if (!planOf(args, plan, error)) return false;
    const RunSettings& run = plan.run;
    if (run.shape.rows > kMaxPageSide || run.shape.cols > kMaxPageSide) {
        error = "--size: the page holds worlds of up to " + std::to_string(kMaxPageSide) + " x " +
                std::to_string(kMaxPageSide) + " cells; use talvane-batch for larger ones";
        return false;
    }
    const std::uint64_t needed = bytesForWorld(run.shape.rows, run.shape.cols);
    try {
        // Room for the new world beside the old one, or a clean refusal.
        std::vector<std::uint8_t> probe(static_cast<std::size_t>(needed));
        probe.back() = 1;
        WorldRun<World> fresh(startWorld(run), run.rules);
        fresh.step(run.generations);
        probe = {};
        this->run = std::move(fresh);
    } catch (const std::bad_alloc&) {
        error = "a world of " + std::to_string(run.shape.rows) + " x " + std::to_string(run.shape.cols) +
                " cells needs about " + megabytes(needed) + " of memory, more than this device gives the page";
        return false;
    }
    args_ = args;
    seed = run.seed;
    startGeneration = run.generations;
    return true;
}

void WebWorld::restart() {
    std::vector<std::string> args;
    for (std::size_t i = 0; i < args_.size(); ++i) {
        if (args_[i] == "--seed") {
            ++i;  // and its value
        } else if (args_[i].rfind("--seed=", 0) != 0) {
            args.push_back(args_[i]);
        }
    }
    std::string unused;
    // The seed of the latest start, so that a restart without one is the same world again.
    args.push_back("--seed");
    args.push_back(std::to_string(seed));
    start(args, unused);
}

void WebWorld::step() { run.step(1); }

bool WebWorld::setCell(int row, int col, int color, int self, int other) {
    if (row < 0 || col < 0 || row >= world.rows() || col >= world.cols()) return false;
    const int cell = world.index(row, col);
    bool changed = false;
    const auto put = [&changed](std::vector<CellCode>& grid, int cellAt, int code) {
        if (code < 0 || code >= kCodeCount || grid[cellAt] == code) return;
        grid[cellAt] = static_cast<CellCode>(code);
        changed = true;
    };
    put(world.cellColor, cell, color);
    put(world.selfStrategy, cell, self);
    put(world.otherStrategy, cell, other);
    if (changed) {
        world.forgetLastStep();
        world.countPairs();
    }
    return changed;
}

bool WebWorld::setCells(const std::vector<int>& codes) {
    if (codes.size() != static_cast<std::size_t>(world.cellCount())) return false;
    for (int code : codes) {
        if (code < 0 || code >= kCodeCount * 64) return false;
    }
    std::size_t at = 0;
    for (int row = 0; row < world.rows(); ++row) {
        for (int col = 0; col < world.cols(); ++col, ++at) {
            const int cell = world.index(row, col);
            world.cellColor[cell] = static_cast<CellCode>(codes[at] >> 6);
            world.selfStrategy[cell] = static_cast<CellCode>((codes[at] >> 3) & 7);
            world.otherStrategy[cell] = static_cast<CellCode>(codes[at] & 7);
        }
    }
    world.forgetLastStep();
    world.countPairs();
    return true;
}

std::string WebWorld::saveText() const { return formatWorld(worldFileOf(world)); }

bool WebWorld::loadText(const std::string& text, std::string& error) {
    WorldFile file;
    WorldError fault;
    if (!parseWorld(text, file, fault)) {
        error = (fault.line > 0 ? "line " + std::to_string(fault.line) + ": " : std::string()) + fault.message;
        return false;
    }
    if (file.hasEmptyCells()) {
        error = "empty cells (an ecology world): the page runs imitation only";
        return false;
    }
    if (file.rows > kMaxPageSide || file.cols > kMaxPageSide) {
        error = "the page holds worlds of up to " + std::to_string(kMaxPageSide) + " x " +
                std::to_string(kMaxPageSide) + " cells";
        return false;
    }
    try {
        run.load(file);
        world.random.seed(seed);  // a loaded world's draws start from the seed, as talvane-batch --load
    } catch (const std::bad_alloc&) {
        error = "this world needs more memory than this device gives the page";
        return false;
    }
    return true;
}

const IndexedImage& WebWorld::draw(int cellPixels, GridView view) {
    GridPicture picture;
    picture.cellPixels = std::clamp(cellPixels, 1, kMaxCellPixels);
    picture.view = view;
    drawWorld(world, picture, image_);
    return image_;
}

WorldStats WebWorld::stats() const {
    const CooperationTable coop = run.rules().competition == CompetitionMode::Infinite ? infiniteCooperationTable()
                                                                                       : finiteCooperationTable();
    return computeWorldStats(world, coop);
}

}  // namespace talvane::web
