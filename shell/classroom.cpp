#include "classroom.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string>
#include <utility>

#include "commands.h"
#include "host.h"
#include "output_file.h"
#include "population_log.h"
#include "run_control.h"
#include "sim_state.h"
#include "window_system.h"
#include "world_file.h"

namespace talvane {

namespace {

// The simulation thread touches the history only inside a restart and the
// user-interface thread only under the hold, so the two never meet.
UndoHistory history;
bool chartShown = false;
bool startupRestartSeen = false;  // the first restart seeds the start-up world: nothing to undo
bool openedWorldRestart = false;  // the next restart is an opened world's, recorded already

// The strategy set and colour layout before the commands that asked for the
// coming restart; set by the user-interface thread, read by the restart.
std::atomic<bool> settingsNoted{false};
std::atomic<bool> notedRandomPool{true};
std::atomic<std::int32_t> notedLayout{kLayoutCheckerboard};

void requestRepaint() {
    if (sim.host != nullptr) sim.host->requestRepaint();
}

void tell(const std::string& text, const char* caption) { windowSystem().showInformation(text.c_str(), caption); }

// The world's state as undo keeps it; call under the hold.
WorldSnapshot captureWorld() {
    WorldSnapshot state;
    state.color = sim.world.cellColor;
    state.self = sim.world.selfStrategy;
    state.other = sim.world.otherStrategy;
    state.generation = sim.generation;
    state.logStart = logStarts();
    state.randomPoolMode = sim.randomPoolMode;
    state.colorLayout = sim.colorLayout;
    return state;
}

void showStrategySet(bool randomPool) {
    checkMenuItem(kCmdRandomPool, randomPool);
    checkMenuItem(kCmdPaintCells, !randomPool);
}

// Puts a captured state back; call under the hold. Whatever the thread was
// about to do for the undone change (a restart, a step) is called off, and
// the log is cut back to the restored generation by the simulation thread
// before its next turn.
void restoreWorld(const WorldSnapshot& state) {
    sim.world.cellColor = state.color;
    sim.world.selfStrategy = state.self;
    sim.world.otherStrategy = state.other;
    sim.restartPending = false;
    sim.reseedPending = false;
    sim.stepPending = false;
    sim.seededUnrun = false;
    sim.generation = state.generation;
    // Lines of an earlier start of the log file are gone: it starts afresh.
    sim.logRewindLines = state.logStart == logStarts() ? state.generation : 0;
    sim.randomPoolMode = state.randomPoolMode;
    sim.colorLayout = state.colorLayout;
    showStrategySet(state.randomPoolMode);
    if (!state.randomPoolMode) sim.paintTool = kToolPencil;
}

std::string generationDigits() {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%06d", static_cast<int>(sim.generation.load()));
    return digits;
}

// Writes text as the whole file at path through the one output writer.
// Returns an empty text, or what went wrong.
std::string writeWholeFile(const std::string& path, const std::string& text) {
    std::string error;
    return writeOutputFile(path, text, error) ? std::string() : error;
}

}  // namespace

void singleStepCommand() { requestSingleStep(); }

void openWorldCommand() {
    pauseIfRunning();
    const std::string path = windowSystem().chooseFile(FileDialog::OpenWorld, "");
    if (!path.empty()) openWorldFile(path);
}

bool openWorldFile(const std::string& path) {
    WorldFile file;
    WorldError error;
    if (!readWorldFile(path, file, error)) {
        const std::string where = error.line > 0 ? path + ":" + std::to_string(error.line) : path;
        tell(where + ": " + error.message, "Open world");
        return false;
    }
    if (file.rows != kGridSize || file.cols != kGridSize) {
        tell(path + " holds a world of " + std::to_string(file.rows) + " x " + std::to_string(file.cols) +
                 " cells; this window shows worlds of 64 x 64 cells only (talvane-batch runs other sizes).",
             "Open world");
        return false;
    }
    {
        SimulationHold hold;
        recordUndoPoint();
        for (int i = 0; i < kCellCount; ++i) {
            sim.world.cellColor[i] = static_cast<CellCode>(file.color[i]);
            sim.world.selfStrategy[i] = static_cast<CellCode>(file.self[i]);
            sim.world.otherStrategy[i] = static_cast<CellCode>(file.other[i]);
        }
        // Made by hand like a painted world: paint mode, and a restart that
        // keeps the cells, starts the count at 0 and the log afresh.
        sim.randomPoolMode = false;
        sim.paintTool = kToolPencil;
        showStrategySet(false);
        sim.seededUnrun = false;
        sim.stepPending = false;
        sim.reseedPending = false;
        sim.generation = 0;
        openedWorldRestart = true;
        sim.restartPending = true;
    }
    requestRepaint();
    return true;
}

void saveWorldCommand() {
    SimulationHold hold;
    const std::string path = windowSystem().chooseFile(FileDialog::SaveWorld, "world-gen-" + generationDigits() + ".csv");
    if (!path.empty()) saveWorldFile(path);
}

bool saveWorldFile(const std::string& path) {
    std::string text;
    {
        SimulationHold hold;
        WorldFile file = WorldFile::ofSize(sim.world.rows(), sim.world.cols());
        for (int i = 0; i < sim.world.cellCount(); ++i) {
            file.color[i] = sim.world.cellColor[i];
            file.self[i] = sim.world.selfStrategy[i];
            file.other[i] = sim.world.otherStrategy[i];
        }
        text = formatWorld(file);
    }
    const std::string failure = writeWholeFile(path, text);
    if (failure.empty()) return true;
    tell(path + ": " + failure + ".", "Save world");
    return false;
}

std::string defaultPictureName() { return "talvane-gen-" + generationDigits() + ".png"; }

void savePictureCommand() {
    // Held: the picture is the frame on screen, not a later generation.
    SimulationHold hold;
    const std::string path = windowSystem().chooseFile(FileDialog::SavePicture, defaultPictureName());
    if (path.empty()) return;
    const std::string failure = windowSystem().savePicture(path);
    if (!failure.empty()) tell(path + ": " + failure + ".", "Save picture");
}

void recordUndoPoint() {
    SimulationHold hold;
    history.record(captureWorld());
}

namespace {

void recordBeforeRestart() {
    if (!startupRestartSeen) {
        startupRestartSeen = true;
        return;
    }
    if (openedWorldRestart) {
        openedWorldRestart = false;
        return;
    }
    WorldSnapshot before = captureWorld();
    if (settingsNoted.exchange(false)) {
        before.randomPoolMode = notedRandomPool;
        before.colorLayout = notedLayout;
    }
    history.record(std::move(before));
}

}  // namespace

void noteSettingsBeforeRestart() {
    if (settingsNoted.load()) return;
    notedRandomPool = sim.randomPoolMode.load();
    notedLayout = sim.colorLayout.load();
    settingsNoted = true;
}

void recordRestartsForUndo() {
    settingsNoted = false;
    startupRestartSeen = false;
    openedWorldRestart = false;
    setRestartObserver(recordBeforeRestart);
}

bool undoCommand() {
    bool done = false;
    {
        SimulationHold hold;
        WorldSnapshot restored;
        done = history.undo(captureWorld(), restored);
        if (done) {
            openedWorldRestart = false;
            restoreWorld(restored);
        }
    }
    requestRepaint();
    return done;
}

bool redoCommand() {
    bool done = false;
    {
        SimulationHold hold;
        WorldSnapshot restored;
        done = history.redo(captureWorld(), restored);
        if (done) {
            openedWorldRestart = false;
            restoreWorld(restored);
        }
    }
    requestRepaint();
    return done;
}

UndoHistory& undoHistory() { return history; }

void toggleChartCommand() {
    chartShown = !chartShown;
    checkMenuItem(kCmdChart, chartShown);
    windowSystem().showChart(chartShown);
}

void chartWindowClosed() {
    chartShown = false;
    checkMenuItem(kCmdChart, false);
}

bool chartOpen() { return chartShown; }

void guideCommand() { windowSystem().showGuide(); }

void resetClassroom() {
    setRestartObserver(nullptr);
    history.clear();
    chartShown = false;
    startupRestartSeen = false;
    openedWorldRestart = false;
    settingsNoted = false;
}

}  // namespace talvane
