#include "commands.h"

#include "classroom.h"
#include "desktop_view.h"
#include "dialogs.h"
#include "host.h"
#include "run_control.h"
#include "sim_state.h"
#include "window_system.h"

namespace talvane {

const std::array<MenuItemDef, 25> menuItems{{
    {MenuId::Main, "Go", kCmdGo, MenuId::Main},
    {MenuId::Main, "Strategy set", 0, MenuId::StrategySet},
    {MenuId::StrategySet, "Random pool", kCmdRandomPool, MenuId::Main},
    {MenuId::StrategySet, "Paint cells", kCmdPaintCells, MenuId::Main},
    {MenuId::Main, "Speed", 0, MenuId::Speed},
    {MenuId::Speed, "Slow", kCmdSlow, MenuId::Main},
    {MenuId::Speed, "Normal", kCmdNormal, MenuId::Main},
    {MenuId::Speed, "Drop a frame", kCmdDrop1, MenuId::Main},
    {MenuId::Speed, "Drop four frames", kCmdDrop4, MenuId::Main},
    {MenuId::Speed, "Drop 9 frames", kCmdDrop9, MenuId::Main},
    {MenuId::Speed, "Drop 99 frames", kCmdDrop99, MenuId::Main},
    {MenuId::Main, "Competition", 0, MenuId::Competition},
    {MenuId::Competition, "Finite", kCmdFinite, MenuId::Main},
    {MenuId::Competition, "Infinite", kCmdInfinite, MenuId::Main},
    {MenuId::Main, "Restart", kCmdRestart, MenuId::Main},
    {MenuId::Main, "About...", kCmdAbout, MenuId::Main},
    {MenuId::Main, "Quit", kCmdQuit, MenuId::Main},
    {MenuId::Main, "Step", kCmdStep, MenuId::Main},
    {MenuId::Main, "Undo", kCmdUndo, MenuId::Main},
    {MenuId::Main, "Redo", kCmdRedo, MenuId::Main},
    {MenuId::Main, "Open world...", kCmdOpenWorld, MenuId::Main},
    {MenuId::Main, "Save world...", kCmdSaveWorld, MenuId::Main},
    {MenuId::Main, "Save picture...", kCmdSavePicture, MenuId::Main},
    {MenuId::Main, "Population chart", kCmdChart, MenuId::Main},
    {MenuId::Main, "Guide...", kCmdGuide, MenuId::Main},
}};

MenuState menus;

namespace {

// frameInterval set by each speed command, from "Slow" (6) to "Drop 99 frames" (11).
constexpr std::array<int, 6> speedIntervals{0, 1, 2, 5, 10, 100};

void requestRepaint() {
    if (sim.host != nullptr) sim.host->requestRepaint();
}

void checkStrategySet(bool randomPool) {
    checkMenuItem(kCmdRandomPool, randomPool);
    checkMenuItem(kCmdPaintCells, !randomPool);
}

void selectCompetition(CompetitionMode mode) {
    if (competitionOf(sim) == mode) return;
    sim.competitionMode = static_cast<std::int32_t>(mode);
    sim.restartPending = true;
    checkMenuItem(kCmdFinite, mode == CompetitionMode::Finite);
    checkMenuItem(kCmdInfinite, mode == CompetitionMode::Infinite);
}

void enterPaintMode() {
    sim.randomPoolMode = false;
    desktopView.paintTool = kToolPencil;
    pauseIfRunning();
    checkStrategySet(false);
}

// Asks the simulation thread for a restart that reseeds. Only flags are set:
// a burst of restart keys never waits for a step, and restarts asked for
// before the thread gets to them make one.
void restartCommand() {
    noteSettingsBeforeRestart();
    sim.randomPoolMode = true;
    sim.reseedPending = true;
    windowSystem().setCursor(PointerShape::Arrow);
    sim.restartPending = true;
    checkStrategySet(true);
}

void quitCommand() {
    OnDestroy();
    windowSystem().exitProcess(0);
}

}  // namespace

void buildMenus() {
    menus.checked.fill(false);
    menus.pauseText = sim.paused ? "Go" : "Pause";
    checkStrategySet(sim.randomPoolMode);
    for (int id = kCmdSlow; id <= kCmdDrop99; ++id) {
        checkMenuItem(id, sim.frameInterval == frameIntervalForSpeed(id));
    }
    checkMenuItem(kCmdFinite, competitionOf(sim) == CompetitionMode::Finite);
    checkMenuItem(kCmdInfinite, competitionOf(sim) == CompetitionMode::Infinite);
    checkMenuItem(kCmdChart, chartOpen());
    menus.built = true;
}

void checkMenuItem(int command, bool checked) {
    if (command >= 1 && command <= kCommandCount) menus.checked[command] = checked;
}

int frameIntervalForSpeed(int id) {
    if (id < kCmdSlow || id > kCmdDrop99) return -1;
    return speedIntervals[id - kCmdSlow];
}

void selectSpeed(int id) {
    const int interval = frameIntervalForSpeed(id);
    if (interval < 0) return;
    for (int other = kCmdSlow; other <= kCmdDrop99; ++other) checkMenuItem(other, false);
    checkMenuItem(id, true);
    sim.frameInterval = interval;
}

bool OnCommand(unsigned command, unsigned long /*param*/) {
    const int id = static_cast<int>(command & 0xFFFFu);
    switch (id) {
        case kCmdGo: togglePause(); break;
        case kCmdRandomPool:
            noteSettingsBeforeRestart();
            sim.randomPoolMode = true;
            sim.restartPending = true;
            checkStrategySet(true);
            break;
        case kCmdPaintCells: enterPaintMode(); break;
        case kCmdFinite: selectCompetition(CompetitionMode::Finite); break;
        case kCmdInfinite: selectCompetition(CompetitionMode::Infinite); break;
        case kCmdSlow: case kCmdNormal: case kCmdDrop1:
        case kCmdDrop4: case kCmdDrop9: case kCmdDrop99: selectSpeed(id); break;
        case kCmdRestart: restartCommand(); break;
        case kCmdAbout: showAbout(); break;
        case kCmdQuit: quitCommand(); break;
        case kCmdStep: singleStepCommand(); break;
        case kCmdOpenWorld: openWorldCommand(); break;
        case kCmdSaveWorld: saveWorldCommand(); break;
        case kCmdSavePicture: savePictureCommand(); break;
        case kCmdUndo: undoCommand(); break;
        case kCmdRedo: redoCommand(); break;
        case kCmdChart: toggleChartCommand(); break;
        case kCmdGuide: guideCommand(); break;
        default: return false;
    }
    return true;
}

namespace {

void nextColorLayout() {
    noteSettingsBeforeRestart();
    const int layout = sim.colorLayout;
    if (layout >= 0 && layout < kLayoutCount) sim.colorLayout = (layout + 1) % kLayoutCount;
    OnCommand(kCmdRestart);
}

void flip(std::atomic<bool>& flag) { flag = !flag; }

// The Control shortcuts; false for a key that has none.
bool controlKey(unsigned virtualKey) {
    switch (virtualKey) {
        case vk::O: OnCommand(kCmdOpenWorld); return true;
        case vk::S: OnCommand(kCmdSaveWorld); return true;
        case vk::Z: OnCommand(kCmdUndo); return true;
        case vk::Y: OnCommand(kCmdRedo); return true;
        default: return false;
    }
}

}  // namespace

void OnKeyDown(unsigned virtualKey, unsigned /*repeatCount*/, unsigned flags) {
    if ((flags & kKeyControl) != 0 && controlKey(virtualKey)) {
        requestRepaint();
        return;
    }
    switch (virtualKey) {
        case vk::Space: togglePause(); break;
        case vk::Help: desktopView.infoPage = (desktopView.infoPage + 1) % 6; break;
        case vk::C: case vk::Numpad3: nextColorLayout(); break;
        case vk::E: case vk::Numpad5: flip(sim.consoleEcho); break;
        case vk::P: case vk::F1:
            OnCommand(sim.randomPoolMode ? kCmdPaintCells : kCmdRandomPool);
            break;
        case vk::R: case vk::F3: OnCommand(kCmdRestart); break;
        case vk::S: case vk::F4: sim.frameInterval = sim.frameInterval == 0 ? 1 : 0; break;
        case vk::V: case vk::F7: desktopView.viewStrategies = !desktopView.viewStrategies; break;
        case vk::Y: case vk::F10: flip(sim.playSelf); break;
        case vk::Add: case vk::F5: case vk::OemPlus: flip(sim.extraPointSameColor); break;
        case vk::N: OnCommand(kCmdStep); break;
        case vk::G: OnCommand(kCmdChart); break;
        case vk::F12: OnCommand(kCmdSavePicture); break;
        default: break;
    }
    requestRepaint();
}

void OnContextMenu(int screenX, int screenY) {
    desktopView.menuOpen = true;
    pauseIfRunning();
    requestRepaint();
    const int chosen = windowSystem().trackPopupMenu(menus, screenX, screenY);
    desktopView.menuOpen = false;
    if (chosen != 0) {
        OnCommand(static_cast<unsigned>(chosen));
    } else {
        desktopView.ignoreNextClick = true;
    }
}

}  // namespace talvane
