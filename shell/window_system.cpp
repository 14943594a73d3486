#include "window_system.h"

#include <mutex>

#include "classroom.h"
#include "commands.h"
#include "host.h"
#include "population_log.h"
#include "run_control.h"
#include "sim_state.h"

namespace talvane {

namespace {

WindowSystem* activeSystem = nullptr;

// Repaints nothing: the host of a window system with no window.
class NoWindowHost final : public Host {
public:
    void requestRepaint() override {}
    void showMessage(const char*, const char*) override {}
    void setArrowCursor() override {}
    void sleepMs(int) override {}
    std::int64_t clockSeconds() override { return 0; }
};

// Answers for handlers that run before any window exists: nothing to show.
class NoWindowSystem final : public WindowSystem {
public:
    bool setupSurface() override { return false; }
    void loadCursors() override {}
    Host& host() override { return host_; }
    void setCursor(PointerShape) override {}
    void pointerPosition(int& x, int& y) override { x = y = -1; }
    void warpPointer(int, int) override {}
    int trackPopupMenu(const MenuState&, int, int) override { return 0; }
    bool runPayoffsDialog(PayoffFields&) override { return false; }
    void showInformation(const char*, const char*) override {}
    void exitProcess(int) override {}

private:
    NoWindowHost host_;
};

}  // namespace

WindowSystem& windowSystem() {
    static NoWindowSystem none;
    return activeSystem != nullptr ? *activeSystem : none;
}

void setWindowSystem(WindowSystem* system) { activeSystem = system; }

void OnCreate(WindowSystem& system) {
    setWindowSystem(&system);
    buildMenus();
    system.setupSurface();
    system.loadCursors();
    sim.host = &system.host();
    recordRestartsForUndo();
    startSimulationThread();
}

void OnDestroy() {
    // Called from the user-interface thread and, for a signal that a dialog
    // keeps from the toolkit's loop, from the thread that guards the ending:
    // one at a time, and the second finds nothing left to do.
    static std::mutex ending;
    std::lock_guard<std::mutex> lock(ending);
    stopSimulationThread();
    closeLog();
}

}  // namespace talvane
