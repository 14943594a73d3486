// The popup menu, the command dispatcher and the keys, driven in process.
#include <gtest/gtest.h>

#include <FL/Enumerations.H>

#include <chrono>
#include <thread>

#include "commands.h"
#include "desktop_view.h"
#include "dialogs.h"
#include "fake_window_system.h"
#include "key_map.h"
#include "mouse.h"
#include "run_control.h"
#include "sim_state.h"

namespace talvane {
namespace {

using testing::FakeWindowSystem;

class CommandsTest : public ::testing::Test {
protected:
    void SetUp() override { testing::installFake(ui); }
    void TearDown() override { setWindowSystem(nullptr); resetSimState(); resetDesktopView(); }

    int repaints() const { return ui.fakeHost.repaints; }
    bool checked(int id) const { return menus.checked[id]; }

    FakeWindowSystem ui;
};

TEST_F(CommandsTest, MenusBuiltFromStartValues) {
    EXPECT_STREQ(menus.pauseText, "Go");
    for (int id = 1; id <= kCommandCount; ++id) {
        const bool expected = id == kCmdRandomPool || id == kCmdNormal || id == kCmdFinite;
        EXPECT_EQ(checked(id), expected) << "command " << id;
    }
    // Every command id has exactly one item.
    std::array<int, kCommandCount + 1> items{};
    for (const MenuItemDef& item : menuItems) ++items[item.command];
    for (int id = 1; id <= kCommandCount; ++id) EXPECT_EQ(items[id], 1) << "command " << id;
}

TEST_F(CommandsTest, PauseItemTogglesAndRepaints) {
    EXPECT_TRUE(OnCommand(kCmdGo));
    EXPECT_FALSE(sim.paused);
    EXPECT_EQ(repaints(), 1);
    OnCommand(kCmdGo);
    EXPECT_TRUE(sim.paused);
    EXPECT_STREQ(menus.pauseText, "Go");  // the item's text never changes
}

TEST_F(CommandsTest, StrategySetCommands) {
    sim.paused = false;
    OnCommand(kCmdPaintCells);
    EXPECT_FALSE(sim.randomPoolMode);
    EXPECT_EQ(desktopView.paintTool, 2);
    EXPECT_TRUE(sim.paused);
    EXPECT_FALSE(checked(kCmdRandomPool));
    EXPECT_TRUE(checked(kCmdPaintCells));
    EXPECT_FALSE(sim.restartPending);

    // Again while paused: only the tool goes back to the pencil.
    desktopView.paintTool = 1;
    OnCommand(kCmdPaintCells);
    EXPECT_EQ(desktopView.paintTool, 2);
    EXPECT_TRUE(sim.paused);

    OnCommand(kCmdRandomPool);
    EXPECT_TRUE(sim.randomPoolMode);
    EXPECT_TRUE(sim.restartPending);
    EXPECT_TRUE(checked(kCmdRandomPool));
    EXPECT_FALSE(checked(kCmdPaintCells));

    // Already in random-pool mode: still a restart.
    sim.restartPending = false;
    OnCommand(kCmdRandomPool);
    EXPECT_TRUE(sim.restartPending);
}

TEST_F(CommandsTest, CompetitionCommandsRestartOnlyOnChange) {
    OnCommand(kCmdFinite);
    EXPECT_FALSE(sim.restartPending);
    EXPECT_TRUE(checked(kCmdFinite));

    OnCommand(kCmdInfinite);
    EXPECT_EQ(sim.competitionMode, 5);
    EXPECT_TRUE(sim.restartPending);
    EXPECT_FALSE(checked(kCmdFinite));
    EXPECT_TRUE(checked(kCmdInfinite));

    sim.restartPending = false;
    OnCommand(kCmdInfinite);
    EXPECT_FALSE(sim.restartPending);

    OnCommand(kCmdFinite);
    EXPECT_EQ(sim.competitionMode, 4);
    EXPECT_TRUE(sim.restartPending);
    EXPECT_TRUE(checked(kCmdFinite));
    EXPECT_FALSE(checked(kCmdInfinite));
}

TEST_F(CommandsTest, SpeedItemsSetIntervalAndMoveTheSingleCheckMark) {
    const int intervals[] = {0, 1, 2, 5, 10, 100};
    for (int id = kCmdSlow; id <= kCmdDrop99; ++id) {
        OnCommand(static_cast<unsigned>(id));
        EXPECT_EQ(sim.frameInterval, intervals[id - kCmdSlow]);
        for (int other = kCmdSlow; other <= kCmdDrop99; ++other) {
            EXPECT_EQ(checked(other), other == id) << "after " << id << ", item " << other;
        }
    }
    // Only the low 16 bits carry the id.
    OnCommand(0x50000u | kCmdDrop4);
    EXPECT_EQ(sim.frameInterval, 5);
    EXPECT_EQ(repaints(), 0);  // commands leave repainting to the next frame
}

TEST_F(CommandsTest, RestartReseedsAndLeavesPaintMode) {
    OnCommand(kCmdPaintCells);
    testing::fillWorld(7, 7, 1);
    sim.seededUnrun = true;  // even a fresh seeding nobody has run is replaced
    OnCommand(kCmdRestart);
    EXPECT_TRUE(sim.randomPoolMode);
    EXPECT_TRUE(sim.restartPending);
    EXPECT_TRUE(checked(kCmdRandomPool));
    EXPECT_FALSE(checked(kCmdPaintCells));
    EXPECT_EQ(ui.lastCursor(), PointerShape::Arrow);
    EXPECT_EQ(sim.world.selfStrategy[0], 7);  // the command only asks: the simulation thread reseeds
    restartSimulation();
    EXPECT_FALSE(sim.restartPending);
    EXPECT_FALSE(sim.reseedPending);
    int reseeded = 0;
    for (int cell = 0; cell < kCellCount; ++cell) {
        EXPECT_TRUE(sim.world.cellColor[cell] == 0 || sim.world.cellColor[cell] == 2);
        if (sim.world.selfStrategy[cell] != 7 || sim.world.otherStrategy[cell] != 7) ++reseeded;
    }
    EXPECT_GT(reseeded, 3000);
}

TEST_F(CommandsTest, RestartWithEmptyPoolTellsTheUserAndStillRequestsRestart) {
    for (auto& flag : sim.selfPool) flag = true;
    testing::fillWorld(3, 3, 0);
    OnCommand(kCmdRestart);
    EXPECT_TRUE(sim.restartPending);
    restartSimulation();
    ASSERT_EQ(ui.fakeHost.messages.size(), 1u);
    EXPECT_EQ(sim.world.selfStrategy[100], 3);
}

// A flood of restart and layout keys must not wait for the simulation: each
// only sets flags, and the restarts asked for meanwhile make one.
TEST_F(CommandsTest, RestartAndLayoutKeysOnlyAskAndNeverWait) {
    struct SleepingHost : testing::FakeHost {
        void sleepMs(int ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
    } host;
    sim.host = &host;
    sim.frameInterval = 0;  // slow motion: every restart sleeps
    sim.slowDelayMs = 300;
    sim.restartPending = true;
    startSimulationThread();
    const auto start = std::chrono::steady_clock::now();
    for (int k = 0; k < 20; ++k) OnKeyDown(k % 2 == 0 ? vk::R : vk::C, 1, 0);
    const auto took = std::chrono::steady_clock::now() - start;
    // The last request is served: the thread reseeds and ends the restart.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while ((sim.restartPending || sim.reseedPending) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const bool served = !sim.restartPending && !sim.reseedPending;
    stopSimulationThread();
    EXPECT_LT(took, std::chrono::milliseconds(250)) << "20 keys waited for the simulation thread";
    EXPECT_TRUE(served) << "the restart asked for was never made";
}

TEST_F(CommandsTest, AboutAndQuit) {
    OnCommand(kCmdAbout);
    ASSERT_EQ(ui.infoCaptions.size(), 1u);
    EXPECT_EQ(ui.infoCaptions[0], "About Talvane (RUNO64)");
    EXPECT_EQ(ui.exitStatus, -1);
    OnCommand(kCmdQuit);
    EXPECT_EQ(ui.exitStatus, 0);
}

TEST_F(CommandsTest, UnknownIdsDoNothing) {
    EXPECT_FALSE(OnCommand(0));
    EXPECT_FALSE(OnCommand(kCommandCount + 1));
    EXPECT_TRUE(sim.paused);
    EXPECT_FALSE(sim.restartPending);
    EXPECT_EQ(sim.frameInterval, 1);
}

TEST_F(CommandsTest, EveryKeyRepaintsOnce) {
    const unsigned keys[] = {vk::Space, vk::Help, vk::E, vk::S, vk::V, vk::Y, vk::Add, 65, 0, 27, 200};
    for (unsigned key : keys) {
        const int before = repaints();
        OnKeyDown(key, 1, 0);
        EXPECT_GE(repaints(), before + 1) << "key " << key;
    }
}

TEST_F(CommandsTest, ToggleKeysAndTheirAlternates) {
    // Flags of the shared record, and the view of the desktop's own record.
    struct Toggle { unsigned key; std::atomic<bool>* shared; bool* own; };
    const Toggle toggles[] = {
        {vk::E, &sim.consoleEcho, nullptr}, {vk::Numpad5, &sim.consoleEcho, nullptr},
        {vk::V, nullptr, &desktopView.viewStrategies}, {vk::F7, nullptr, &desktopView.viewStrategies},
        {vk::Y, &sim.playSelf, nullptr}, {vk::F10, &sim.playSelf, nullptr},
        {vk::Add, &sim.extraPointSameColor, nullptr}, {vk::F5, &sim.extraPointSameColor, nullptr},
        {vk::OemPlus, &sim.extraPointSameColor, nullptr},
    };
    for (const Toggle& t : toggles) {
        auto flag = [&t] { return t.shared ? t.shared->load() : *t.own; };
        const bool before = flag();
        OnKeyDown(t.key, 1, 0);
        EXPECT_EQ(flag(), !before) << "key " << t.key;
        OnKeyDown(t.key, 1, 0);  // an automatic repeat flips it back
        EXPECT_EQ(flag(), before) << "key " << t.key;
    }
    EXPECT_TRUE(sim.paused);
    OnKeyDown(vk::Space, 1, 0);
    EXPECT_FALSE(sim.paused);
}

TEST_F(CommandsTest, HelpKeyCyclesSixTextColours) {
    for (int press = 1; press <= 6; ++press) {
        OnKeyDown(vk::Help, 1, 0);
        EXPECT_EQ(desktopView.infoPage, press % 6);
    }
}

TEST_F(CommandsTest, SpeedKeyTogglesSlowMotionOnly) {
    OnCommand(kCmdDrop99);
    OnKeyDown(vk::S, 1, 0);
    EXPECT_EQ(sim.frameInterval, 0);
    OnKeyDown(vk::F4, 1, 0);
    EXPECT_EQ(sim.frameInterval, 1);
    EXPECT_TRUE(checked(kCmdDrop99));  // the check mark stays where it was
    EXPECT_FALSE(checked(kCmdNormal));
    for (int interval : {2, 5, 10}) {
        sim.frameInterval = interval;
        OnKeyDown(vk::S, 1, 0);
        EXPECT_EQ(sim.frameInterval, 0);
    }
}

TEST_F(CommandsTest, ColourLayoutKeyCyclesAndRestarts) {
    const int expected[] = {2, 0, 1};
    for (int layout : expected) {
        sim.restartPending = false;
        OnKeyDown(vk::C, 1, 0);
        EXPECT_EQ(sim.colorLayout, layout);
        EXPECT_TRUE(sim.restartPending);
    }
    OnKeyDown(vk::Numpad3, 1, 0);
    EXPECT_EQ(sim.colorLayout, 2);
    restartSimulation();
    // Segregated: the first 32 rows green, the rest red.
    EXPECT_EQ(sim.world.cellColor[0], 0);
    EXPECT_EQ(sim.world.cellColor[kCellCount - 1], 2);
}

TEST_F(CommandsTest, PaintKeySwitchesModesBothWays) {
    OnKeyDown(vk::P, 1, 0);
    EXPECT_FALSE(sim.randomPoolMode);
    EXPECT_FALSE(sim.restartPending);
    OnKeyDown(vk::F1, 1, 0);
    EXPECT_TRUE(sim.randomPoolMode);
    EXPECT_TRUE(sim.restartPending);
}

TEST_F(CommandsTest, RestartKeysLeavePaintMode) {
    for (unsigned key : {vk::R, vk::F3}) {
        OnCommand(kCmdPaintCells);
        sim.restartPending = false;
        OnKeyDown(key, 1, 0);
        EXPECT_TRUE(sim.randomPoolMode);
        EXPECT_TRUE(sim.restartPending);
        EXPECT_TRUE(checked(kCmdRandomPool));
    }
}

TEST_F(CommandsTest, ContextMenuPausesAndRunsTheChoice) {
    sim.paused = false;
    ui.menuChoice = kCmdGo;
    OnContextMenu(100, 100);
    EXPECT_TRUE(ui.menuWasOpenWhileTracking);
    EXPECT_TRUE(ui.pausedWhileTracking);
    EXPECT_FALSE(desktopView.menuOpen);
    EXPECT_FALSE(sim.paused);  // "Go" resumed
    EXPECT_FALSE(desktopView.ignoreNextClick);

    ui.menuChoice = kCmdDrop9;
    OnContextMenu(100, 100);
    EXPECT_TRUE(sim.paused);
    EXPECT_EQ(sim.frameInterval, 10);
}

TEST_F(CommandsTest, DismissedMenuSwallowsTheNextLeftPress) {
    sim.paused = false;
    ui.menuChoice = 0;
    OnContextMenu(10, 10);
    EXPECT_TRUE(sim.paused);
    EXPECT_TRUE(desktopView.ignoreNextClick);
    OnLButtonDown(100, 100);  // would resume in random-pool mode
    EXPECT_TRUE(sim.paused);
    EXPECT_FALSE(desktopView.ignoreNextClick);
    OnLButtonDown(100, 100);
    EXPECT_FALSE(sim.paused);
}

TEST(KeyMap, ToolkitKeysMapToVirtualKeyCodes) {
    EXPECT_EQ(virtualKeyFor(' '), vk::Space);
    EXPECT_EQ(virtualKeyFor(0xff6a), vk::Help);  // X's Help key
    EXPECT_EQ(virtualKeyFor(FL_Help), 0u);        // FL_Help is X's Find key
    for (char c = 'a'; c <= 'z'; ++c) {
        EXPECT_EQ(virtualKeyFor(c), static_cast<unsigned>(c - 'a' + 'A'));
    }
    EXPECT_EQ(virtualKeyFor('V'), vk::V);
    EXPECT_EQ(virtualKeyFor('7'), 55u);
    EXPECT_EQ(virtualKeyFor(FL_KP + '3'), vk::Numpad3);
    EXPECT_EQ(virtualKeyFor(FL_KP + '5'), vk::Numpad5);
    EXPECT_EQ(virtualKeyFor(FL_KP + '+'), vk::Add);
    EXPECT_EQ(virtualKeyFor(FL_F + 1), vk::F1);
    EXPECT_EQ(virtualKeyFor(FL_F + 3), vk::F3);
    EXPECT_EQ(virtualKeyFor(FL_F + 4), vk::F4);
    EXPECT_EQ(virtualKeyFor(FL_F + 5), vk::F5);
    EXPECT_EQ(virtualKeyFor(FL_F + 7), vk::F7);
    EXPECT_EQ(virtualKeyFor(FL_F + 10), vk::F10);
    EXPECT_EQ(virtualKeyFor('='), vk::OemPlus);
    EXPECT_EQ(virtualKeyFor(FL_Escape), 0u);  // Escape closes the window instead
}

// The "=" / "+" key is the key that types "+" or "=" on the layout in force.
TEST(KeyMap, PlusKeyOnEveryLayout) {
    EXPECT_EQ(virtualKeyFor('=', "="), vk::OemPlus);  // US, unshifted
    EXPECT_EQ(virtualKeyFor('=', "+"), vk::OemPlus);  // US, shifted
    EXPECT_EQ(virtualKeyFor('+', "+"), vk::OemPlus);  // German: "+" unshifted
    EXPECT_EQ(virtualKeyFor('+', nullptr), vk::OemPlus);
    EXPECT_EQ(virtualKeyFor('1', "+"), vk::OemPlus);  // Swiss: Shift+1
    EXPECT_EQ(virtualKeyFor('0', "="), vk::OemPlus);  // German: Shift+0
    EXPECT_EQ(virtualKeyFor('1', "!"), 49u);
    EXPECT_EQ(virtualKeyFor(FL_KP + '+', "+"), vk::Add);  // the keypad keeps its code
    EXPECT_EQ(virtualKeyFor(FL_F + 5, ""), vk::F5);
    EXPECT_EQ(virtualKeyFor('r', "r"), vk::R);
}

// Start-up through the real simulation thread, with a fake window system.
TEST(StartUp, OnCreateRunsInOrderAndShowsASeededPausedWorld) {
    FakeWindowSystem ui;
    resetSimState();
    resetDesktopView();
    menus = MenuState{};
    OnCreate(ui);
    const std::vector<std::string> order{"surface after menus", "cursors", "host"};
    EXPECT_EQ(ui.calls, order);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (sim.restartPending && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_FALSE(sim.restartPending);
    EXPECT_TRUE(sim.paused);
    EXPECT_EQ(sim.generation, 0);
    EXPECT_TRUE(sim.seededUnrun);
    EXPECT_GE(ui.fakeHost.repaints, 1);  // the seeding showed its world
    OnDestroy();
    setWindowSystem(nullptr);
    resetSimState();
    resetDesktopView();
}

}  // namespace
}  // namespace talvane
