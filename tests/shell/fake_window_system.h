// A window system and host with no display, recording what the handlers ask
// of them, for driving the handlers in process.
#pragma once

#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include "commands.h"
#include "host.h"
#include "window_system.h"

namespace talvane::testing {

class FakeHost : public Host {
public:
    std::atomic<int> repaints{0};         // repaint requests so far
    std::vector<std::string> messages;    // texts of message boxes shown
    void requestRepaint() override { ++repaints; }
    void showMessage(const char* text, const char*) override { messages.emplace_back(text); }
    void setArrowCursor() override {}
    void sleepMs(int) override {}
    std::int64_t clockSeconds() override { return 12345; }
};

class FakeWindowSystem : public WindowSystem {
public:
    FakeHost fakeHost;
    std::vector<PointerShape> cursors;          // every cursor set, in order
    std::vector<std::pair<int, int>> warps;    // every pointer warp, frame coordinates
    int pointerX = -1, pointerY = -1;          // what pointerPosition answers
    int menuChoice = 0;                        // what the popup menu returns
    bool menuWasOpenWhileTracking = false;     // menuOpen was set while the menu showed
    bool pausedWhileTracking = false;          // the run was paused while the menu showed
    int menusShown = 0;
    bool dialogAccepts = false;                // whether the Payoffs dialog ends with OK
    PayoffFields dialogResult{};               // what OK returns in the fields
    std::vector<PayoffFields> dialogsShown;    // the fields each dialog opened with
    std::vector<std::string> infoCaptions;     // captions of information boxes
    std::vector<std::string> infoTexts;        // texts of information boxes
    std::string chosenFile;                    // what the file chooser returns ("" cancels)
    std::vector<std::pair<FileDialog, std::string>> choosers;  // each file chooser: kind, suggested name
    std::vector<std::string> pictures;         // paths savePicture was asked to write
    std::string pictureFailure;                // what savePicture answers
    std::vector<bool> chartShows;              // every showChart call
    int guidesShown = 0;
    int exitStatus = -1;                       // status passed to exitProcess
    std::vector<std::string> calls;            // start-up calls in order

    bool setupSurface() override {
        calls.emplace_back(menus.built ? "surface after menus" : "surface before menus");
        return true;
    }
    void loadCursors() override { calls.emplace_back("cursors"); }
    Host& host() override { calls.emplace_back("host"); return fakeHost; }
    void setCursor(PointerShape shape) override { cursors.push_back(shape); }
    void pointerPosition(int& x, int& y) override { x = pointerX; y = pointerY; }
    void warpPointer(int x, int y) override { warps.emplace_back(x, y); pointerX = x; pointerY = y; }
    int trackPopupMenu(const MenuState&, int, int) override;
    bool runPayoffsDialog(PayoffFields& fields) override;
    void showInformation(const char* text, const char* caption) override {
        infoCaptions.emplace_back(caption);
        infoTexts.emplace_back(text);
    }
    std::string chooseFile(FileDialog kind, const std::string& suggested) override {
        choosers.emplace_back(kind, suggested);
        return chosenFile;
    }
    std::string savePicture(const std::string& path) override {
        pictures.push_back(path);
        return pictureFailure;
    }
    void showChart(bool shown) override { chartShows.push_back(shown); }
    void showGuide() override { ++guidesShown; }
    void exitProcess(int status) override { exitStatus = status; }

    PointerShape lastCursor() const { return cursors.empty() ? PointerShape::Arrow : cursors.back(); }
};

// Puts the shared state back to its start values, with the neighbour tables
// and payoff table built as after the first restart, and installs a fresh
// fake as the window system and host.
void installFake(FakeWindowSystem& fake);

// Makes every cell hold the same pair and colour.
void fillWorld(int self, int other, int color);

}  // namespace talvane::testing
