#include "fake_window_system.h"

#include <algorithm>

#include "classroom.h"
#include "desktop_view.h"
#include "payoffs.h"
#include "sim_state.h"

namespace talvane::testing {

int FakeWindowSystem::trackPopupMenu(const MenuState&, int, int) {
    ++menusShown;
    menuWasOpenWhileTracking = desktopView.menuOpen;
    pausedWhileTracking = sim.paused;
    return menuChoice;
}

bool FakeWindowSystem::runPayoffsDialog(PayoffFields& fields) {
    dialogsShown.push_back(fields);
    if (dialogAccepts) fields = dialogResult;
    return dialogAccepts;
}

void installFake(FakeWindowSystem& fake) {
    resetClassroom();
    resetSimState();
    resetDesktopView();
    computeFinitePayoffTable();
    sim.restartPending = false;
    sim.host = &fake.fakeHost;
    setWindowSystem(&fake);
    buildMenus();
}

void fillWorld(int self, int other, int color) {
    std::ranges::fill(sim.world.selfStrategy, self);
    std::ranges::fill(sim.world.otherStrategy, other);
    std::ranges::fill(sim.world.cellColor, color);
}

}  // namespace talvane::testing
