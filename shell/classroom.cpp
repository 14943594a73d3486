#include "classroom.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>

#include "commands.h"
#include "desktop_view.h"
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
std::atomic<std::int32_t> notedLayout{static_cast<std::int32_t>(ColorLayout::Checkerboard)};

// The chart's history. Frames add to it on the user-interface thread; a
// restart copies it on the simulation thread, hence the lock.
ChartHistory chartSamples;
std::mutex chartLock;

// A log file rewritten from an undo state holds the lines of that state's
// start of the log, until the log next starts afresh.
std::optional<unsigned> restoredLogStart;
unsigned startsAtRestore = 0;

// Which start of the log the file on disk holds.
unsigned currentLogStart() {
    if (restoredLogStart && logStarts() == startsAtRestore) return *restoredLogStart;
    restoredLogStart.reset();
    return logStarts();
}

std::string readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::int32_t linesIn(const std::string& text) {
    std::int32_t lines = 0;
    for (char c : text) lines += c == '\n';
    return lines;
}

bool logKeptInFile() { return !sim.logWriteFailed && sim.logPath != "-"; }

// The log file's text. The simulation thread (or, with none running, this
// thread) flushes first; under the hold the simulation thread flushes by
// itself within a turn, so the file is read again until it holds the lines of
// the generation shown (a second at most).
std::shared_ptr<const std::string> captureLogText() {
    if (!logKeptInFile()) return nullptr;
    const bool ownThread = !sim.simulationThread.joinable() ||
                           sim.simulationThread.get_id() == std::this_thread::get_id();
    if (ownThread) flushLog();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    std::string text = readWhole(sim.logPath);
    while (!ownThread && linesIn(text) < sim.generation && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        text = readWhole(sim.logPath);
    }
    return std::make_shared<const std::string>(std::move(text));
}

std::shared_ptr<const ChartHistory> captureChart() {
    std::lock_guard<std::mutex> lock(chartLock);
    return std::make_shared<const ChartHistory>(chartSamples);
}

// Rewrites the log file with the first `lines` lines of text; the simulation
// thread then goes on after them (sim.logRewindLines). Under the hold, with
// every line flushed: nothing else writes the file meanwhile.
void restoreLogText(const std::string& text, std::int32_t lines, unsigned start) {
    std::size_t end = 0;
    for (std::int32_t seen = 0; seen < lines && end < text.size(); ++end) seen += text[end] == '\n';
    std::FILE* file = std::fopen(sim.logPath.c_str(), "wb");
    if (file == nullptr) return;
    const bool written = std::fwrite(text.data(), 1, end, file) == end;
    if (std::fclose(file) != 0 || !written) return;
    restoredLogStart = start;
    startsAtRestore = logStarts();
}

void requestRepaint() {
    if (sim.host != nullptr) sim.host->requestRepaint();
}

void tell(const std::string& text, const char* caption) { windowSystem().showInformation(text.c_str(), caption); }

// Whether a captured state keeps the log's text and the chart's history:
// needed when what follows may discard them (a restart, an opened world, an
// undo or redo), not before a paint stroke, after which they only grow.
enum class Keep { WorldOnly, LogAndChart };

// The world's state as undo keeps it; call under the hold.
WorldSnapshot captureWorld(Keep keep = Keep::WorldOnly) {
    WorldSnapshot state;
    state.color = sim.world.cellColor;
    state.self = sim.world.selfStrategy;
    state.other = sim.world.otherStrategy;
    state.generation = sim.generation;
    state.logStart = currentLogStart();
    state.randomPoolMode = sim.randomPoolMode;
    state.colorLayout = sim.colorLayout;
    if (keep == Keep::LogAndChart) {
        state.logText = captureLogText();
        state.chart = captureChart();
    }
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
    if (state.logText && logKeptInFile()) {
        restoreLogText(*state.logText, state.generation, state.logStart);
        sim.logRewindLines = state.generation;
    } else {
        // Lines of an earlier start of the log file are gone: it starts afresh.
        sim.logRewindLines = state.logStart == currentLogStart() ? state.generation : 0;
    }
    // The counts the frame shows and the chart takes are the restored world's.
    sim.pairCounts = countPairsOf(sim.world);
    if (state.chart) {
        std::lock_guard<std::mutex> lock(chartLock);
        chartSamples = *state.chart;  // the next frame cuts it back to the generation shown
    }
    sim.randomPoolMode = state.randomPoolMode;
    sim.colorLayout = state.colorLayout;
    showStrategySet(state.randomPoolMode);
    if (!state.randomPoolMode) desktopView.paintTool = kToolPencil;
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
    if (file.hasEmptyCells()) {
        tell(path + " holds empty cells, an ecology world; this window runs imitation only "
                    "(talvane-batch --update ecology runs it).",
             "Open world");
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
        // The opened world's log and chart start afresh: undo brings them back.
        history.record(captureWorld(Keep::LogAndChart));
        for (int i = 0; i < kCellCount; ++i) {
            sim.world.cellColor[i] = static_cast<CellCode>(file.color[i]);
            sim.world.selfStrategy[i] = static_cast<CellCode>(file.self[i]);
            sim.world.otherStrategy[i] = static_cast<CellCode>(file.other[i]);
        }
        // Made by hand like a painted world: paint mode, and a restart that
        // keeps the cells, starts the count at 0 and the log afresh.
        sim.randomPoolMode = false;
        desktopView.paintTool = kToolPencil;
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
    WorldSnapshot before = captureWorld(Keep::LogAndChart);
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
        done = history.undo(captureWorld(Keep::LogAndChart), restored);
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
        done = history.redo(captureWorld(Keep::LogAndChart), restored);
        if (done) {
            openedWorldRestart = false;
            restoreWorld(restored);
        }
    }
    requestRepaint();
    return done;
}

UndoHistory& undoHistory() { return history; }

const ChartHistory& chartHistory() { return chartSamples; }

void observeChartFrame(std::int32_t generation, const PairCounts& pairs, const std::array<std::uint32_t, 8>& colors,
                       const CooperationRates& rates) {
    std::lock_guard<std::mutex> lock(chartLock);
    chartSamples.observe(generation, pairs, colors, rates);
}

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
    {
        std::lock_guard<std::mutex> lock(chartLock);
        chartSamples.clear();
    }
    restoredLogStart.reset();
    chartShown = false;
    startupRestartSeen = false;
    openedWorldRestart = false;
    settingsNoted = false;
}

}  // namespace talvane
