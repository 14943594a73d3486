// The desktop program's window: one 980 x 700 OpenGL window captioned
// "Talvane (RUNO64)" that draws the frame and turns toolkit events into
// calls of the handlers (frame coordinates, virtual-key codes).
#pragma once

#include <FL/Fl_Gl_Window.H>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "chart_history.h"
#include "frame.h"
#include "window_system.h"

class Fl_RGB_Image;

namespace talvane {

class ChartWindow;
class FltkHost;

inline constexpr int kFrameWidth = 980;   // the drawing area, pixels
inline constexpr int kFrameHeight = 700;
inline constexpr const char* kMainCaption = "Talvane (RUNO64)";

// The main window and drawing window in one: draw() composes the frame,
// handle() calls the handlers.
class DrawingWindow final : public Fl_Gl_Window {
public:
    DrawingWindow(int x, int y);
    void draw() override;
    int handle(int event) override;

    // Called at the end of draw(), once the frame is composed and before the
    // toolkit presents it.
    void onComposed(std::function<void()> composed) { composed_ = std::move(composed); }

    // Called with true before a key or pointer move is handled and with
    // false after it.
    void onInput(std::function<void(bool)> input) { input_ = std::move(input); }

private:
    std::function<void()> composed_;
    std::function<void(bool)> input_;
    void handleKey();
    int handleMouse(int event);
    static void onClose(Fl_Widget*, void*);
};

// The window system of the desktop program: cursors, pointer, popup menu,
// dialogs and the engine's host, all on the FLTK window.
class FltkWindowSystem final : public WindowSystem, public PixelFormatTarget {
public:
    explicit FltkWindowSystem(DrawingWindow& window);
    ~FltkWindowSystem() override;

    bool setupSurface() override;
    void loadCursors() override;
    Host& host() override;
    void setCursor(PointerShape shape) override;
    void pointerPosition(int& x, int& y) override;
    void warpPointer(int x, int y) override;
    int trackPopupMenu(const MenuState& menus, int screenX, int screenY) override;
    bool runPayoffsDialog(PayoffFields& fields) override;
    void showInformation(const char* text, const char* caption) override;
    void exitProcess(int status) override;
    std::string chooseFile(FileDialog kind, const std::string& suggested) override;
    std::string savePicture(const std::string& path) override;
    void showChart(bool shown) override;
    void showGuide() override;

    // True when setupSurface gave the window its GL pixel format.
    bool surfaceReady() const { return surfaceReady_; }
    // The engine's host as the toolkit's.
    FltkHost& fltkHost() { return *host_; }

    bool choosePixelFormat() override;
    bool setPixelFormat() override;
    void showPlainMessage(const char* text) override;

private:
    void drawFrameNow();
    void frameComposed();

    std::unique_ptr<ChartWindow> chart_;

    DrawingWindow& window_;
    std::unique_ptr<FltkHost> host_;
    std::unique_ptr<Fl_RGB_Image> cursorImages_[3];  // hand, pencil, bucket
    bool surfaceReady_ = false;
    bool cursorKnown_ = false;                       // shown_ holds the shape in force
    PointerShape shown_ = PointerShape::Arrow;
};

// Builds the window, runs OnCreate, shows the window centred and runs the
// toolkit's loop until the window closes; the simulation thread is stopped
// and the log closed on every way out. Returns the exit status: 0, or 1 when
// the display offers no OpenGL (after the message box, with a line on
// standard error). After a quit signal quitSignal() names it. With a seed, the
// start-up world is seeded from it rather than from the clock.
int runDesktop(std::optional<std::uint32_t> firstSeed = std::nullopt);

}  // namespace talvane
