#include "desktop_options.h"

#include <cstdio>
#include <limits>

#include "desktop_view.h"
#include "output_file.h"
#include "population_log.h"
#include "shared_options.h"
#include "sim_state.h"

namespace talvane {

namespace {

int usage(const std::string& text) {
    std::fprintf(stderr, "talvane: %s\n", text.c_str());
    return kDesktopUsage;
}


// The log's file can be made in its folder (or, when it exists, written), as
// talvane-batch checks its outputs: tried with a temporary file of the output
// writer, removed at once.
bool logCanBeWritten(const std::string& path, std::string& error) {
    if (path == "-") return true;
    OutputFile trial;
    if (!trial.create(path, error)) return false;
    trial.discard();
    return true;
}

}  // namespace

int parseDesktopCommandLine(int argc, const char* const* argv, DesktopStart& start) {
    std::string seed;
    std::string layout = "checkerboard";
    RuleLine rules;
    std::string load;
    CLI::App app{"Talvane: a spatial population of strategies for a repeated two-person game, in a window.",
                 "talvane"};
    const ModelOptionHandles handles = defineModelOptions(
        app, {&seed, &layout, &rules, &load, &start.logPath});
    handles.seed->description(handles.seed->get_description() + "; seeds the first world only");
    handles.load->description(handles.load->get_description() + " (64 x 64 cells; opened in paint mode)");
    app.set_version_flag("--version", std::string("talvane ") + TALVANE_VERSION);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e);  // --help, --version
        return usage(e.what());
    }
    if (handles.seed->count() > 0) {
        std::int64_t value = 0;
        std::string error;
        if (!parseDecimal(seed, 0, std::numeric_limits<std::uint32_t>::max(), value, error)) {
            return usage("--seed: " + error);
        }
        start.seed = static_cast<std::uint32_t>(value);
    }
    std::string error;
    // The desktop's payoff matrix holds whole numbers only.
    if (std::array<std::int32_t, 4> whole{}; !parsePayoffs(rules.payoffs, whole, error)) {
        return usage("--payoffs: " + error);
    }
    if (!parseRules(rules, start.rules, error)) return usage(error);
    if (start.logPath.empty()) return usage("--log: a file name is needed (\"-\" for standard output)");
    if (std::string why; !logCanBeWritten(start.logPath, why)) return usage(start.logPath + ": " + why);
    // The option parser admits only the names, so this parse succeeds.
    parseColorLayout(layout, start.colorLayout);
    if (handles.load->count() > 0) {
        if (load.empty()) return usage("--load: a file name is needed");
        WorldFile world;
        WorldError fault;
        if (!readWorldFile(load, world, fault)) {
            if (fault.line > 0) {
                std::fprintf(stderr, "talvane: %s:%ld: %s\n", load.c_str(), fault.line, fault.message.c_str());
            } else {
                std::fprintf(stderr, "talvane: %s: %s\n", load.c_str(), fault.message.c_str());
            }
            return kDesktopBadWorld;
        }
        if (world.hasEmptyCells()) {
            std::fprintf(stderr, "talvane: %s: empty cells (an ecology world): the desktop program runs imitation "
                                 "only (talvane-batch --update ecology runs it)\n",
                         load.c_str());
            return kDesktopBadWorld;
        }
        if (world.rows != kGridSize || world.cols != kGridSize) {
            std::fprintf(stderr, "talvane: %s: the world is %d x %d cells; the desktop program shows 64 x 64\n",
                         load.c_str(), world.rows, world.cols);
            return kDesktopBadWorld;
        }
        start.world = std::move(world);
    }
    return kDesktopGoOn;
}

void applyDesktopStart(const DesktopStart& start) {
    sim.colorLayout = static_cast<std::int32_t>(start.colorLayout);
    setSimRules(start.rules);
    setLogPath(start.logPath.c_str());
    if (start.world) {
        for (int i = 0; i < kCellCount; ++i) {
            sim.world.cellColor[i] = static_cast<CellCode>(start.world->color[i]);
            sim.world.selfStrategy[i] = static_cast<CellCode>(start.world->self[i]);
            sim.world.otherStrategy[i] = static_cast<CellCode>(start.world->other[i]);
        }
        // Made by hand: the start-up restart keeps it.
        sim.randomPoolMode = false;
        desktopView.paintTool = kToolPencil;
    }
}

}  // namespace talvane
