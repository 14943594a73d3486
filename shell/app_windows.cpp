#include "app_windows.h"

#include <FL/Fl.H>
#include <FL/Fl_Menu_Item.H>
#include <FL/Fl_Native_File_Chooser.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/fl_ask.H>
#include <FL/gl.h>
#include <FL/x.H>
#include <GL/glx.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "chart_window.h"
#include "classroom.h"
#include "commands.h"
#include "cursors.h"
#include "desktop_frame.h"
#include "dialog_windows.h"
#include "fltk_host.h"
#include "key_map.h"
#include "mouse.h"
#include "program_end.h"
#include "sim_state.h"
#include "snapshot.h"

namespace talvane {

namespace {

constexpr int kGlMode = FL_RGB | FL_DOUBLE | FL_DEPTH;

void centreOnScreen(int& x, int& y) {
    int sx = 0, sy = 0, sw = 0, sh = 0;
    Fl::screen_xywh(sx, sy, sw, sh, 0);
    x = sx + (sw - kFrameWidth) / 2;
    y = sy + (sh - kFrameHeight) / 2;
}

Fl_Menu_Item menuEntry(const char* text, int command, int flags) {
    Fl_Menu_Item item{};
    item.text = text;
    item.user_data_ = reinterpret_cast<void*>(static_cast<std::intptr_t>(command));
    item.flags = flags;
    return item;
}

// The popup menu as toolkit items: the constant item table with the check
// marks and the pause item's text of the menu state.
std::vector<Fl_Menu_Item> popupItems(const MenuState& menus) {
    std::vector<Fl_Menu_Item> items;
    bool inSubmenu = false;
    for (const MenuItemDef& def : menuItems) {
        if (inSubmenu && def.menu == MenuId::Main) {
            items.push_back(Fl_Menu_Item{});  // ends the submenu
            inSubmenu = false;
        }
        if (def.command == 0) {
            items.push_back(menuEntry(def.text, 0, FL_SUBMENU));
            inSubmenu = true;
        } else if (def.command == kCmdChart) {
            const int check = menus.checked[def.command] ? FL_MENU_VALUE : 0;
            items.push_back(menuEntry(def.text, def.command, FL_MENU_TOGGLE | check));
        } else if (def.menu == MenuId::Main) {
            // A line parts the standard items from the teaching items after "Quit".
            const int flags = def.command == kCmdQuit ? FL_MENU_DIVIDER : 0;
            items.push_back(menuEntry(def.command == kCmdGo ? menus.pauseText : def.text, def.command, flags));
        } else {
            const int check = menus.checked[def.command] ? FL_MENU_VALUE : 0;
            items.push_back(menuEntry(def.text, def.command, FL_MENU_RADIO | check));
        }
    }
    if (inSubmenu) items.push_back(Fl_Menu_Item{});
    items.push_back(Fl_Menu_Item{});
    return items;
}

}  // namespace

// --- DrawingWindow ---

DrawingWindow::DrawingWindow(int x, int y) : Fl_Gl_Window(x, y, kFrameWidth, kFrameHeight, kMainCaption) {
    size_range(kFrameWidth, kFrameHeight, kFrameWidth, kFrameHeight);  // not resizable
    xclass("talvane");
    callback(onClose);
    end();
}

void DrawingWindow::draw() {
    if (!valid()) glViewport(0, 0, w(), h());
    composeFrame(describeDesktopFrame());
    if (composed_) composed_();
}

int DrawingWindow::handle(int event) {
    switch (event) {
        case FL_FOCUS:
        case FL_UNFOCUS:
            return 1;
        case FL_KEYBOARD:
        case FL_SHORTCUT:  // a key that reached the window without the focus
            handleKey();
            return 1;
        case FL_PUSH:
        case FL_RELEASE:
        case FL_MOVE:
        case FL_DRAG:
        case FL_ENTER:
            return handleMouse(event);
        default:
            return Fl_Gl_Window::handle(event);
    }
}

void DrawingWindow::handleKey() {
    if (Fl::event_key() == FL_Escape) {
        // An Escape typed into the chart or the guide reaches this window
        // too when it holds the focus or the pointer: it closes only the
        // window it was typed into (the toolkit puts the window of the
        // latest event first).
        Fl_Window* typedInto = Fl::first_window();
        if (typedInto != nullptr && typedInto != this && Fl::modal() == nullptr) {
            typedInto->do_callback();
            return;
        }
        do_callback();  // closes the window like the close box
        return;
    }
    if (input_) input_(true);
    const unsigned flags = Fl::event_state(FL_CTRL) != 0 ? kKeyControl : 0u;
    OnKeyDown(virtualKeyFor(Fl::event_key(), Fl::event_text()), 1, flags);
    if (input_) input_(false);
}

int DrawingWindow::handleMouse(int event) {
    const int x = Fl::event_x();
    const int y = Fl::event_y();
    switch (event) {
        case FL_PUSH:
            if (Fl::event_button() == FL_LEFT_MOUSE) OnLButtonDown(x, y);
            return 1;
        case FL_RELEASE:
            if (Fl::event_button() == FL_LEFT_MOUSE) OnLButtonUp(x, y);
            if (Fl::event_button() == FL_RIGHT_MOUSE) OnContextMenu(Fl::event_x_root(), Fl::event_y_root());
            return 1;
        default:  // FL_MOVE, FL_DRAG, FL_ENTER: the cursor follows every move, a drag's too
            if (input_) input_(true);
            OnSetCursor();
            OnMouseMove(x, y);
            if (input_) input_(false);
            return 1;
    }
}

void DrawingWindow::onClose(Fl_Widget* widget, void*) {
    OnDestroy();
    widget->hide();
    // The chart and the guide go with the main window, so that the toolkit's
    // loop ends.
    while (Fl_Window* other = Fl::first_window()) other->hide();
}

// --- FltkWindowSystem ---

FltkWindowSystem::FltkWindowSystem(DrawingWindow& window)
    : window_(window),
      host_(std::make_unique<FltkHost>([this] { drawFrameNow(); }, showAlertBox,
                                       [this] { setCursor(PointerShape::Arrow); }, [this] { window_.redraw(); })) {
    window_.onComposed([this] { frameComposed(); });
    window_.onInput([this](bool handling) { host_->deferUiRepaints(handling); });
}

FltkWindowSystem::~FltkWindowSystem() {
    window_.onComposed(nullptr);
    window_.onInput(nullptr);
}

bool FltkWindowSystem::setupSurface() {
    surfaceReady_ = setupPixelFormat(*this);
    return surfaceReady_;
}

bool FltkWindowSystem::choosePixelFormat() { return Fl_Gl_Window::can_do(kGlMode) != 0; }

bool FltkWindowSystem::setPixelFormat() {
    window_.mode(kGlMode);
    return window_.can_do() != 0;
}

void FltkWindowSystem::showPlainMessage(const char* text) { showInformationBox(text, ""); }

void FltkWindowSystem::loadCursors() {
    cursorImages_[0].reset(makeCursorImage(handArt));
    cursorImages_[1].reset(makeCursorImage(pencilArt));
    cursorImages_[2].reset(makeCursorImage(bucketArt));
}

Host& FltkWindowSystem::host() { return *host_; }

void FltkWindowSystem::setCursor(PointerShape shape) {
    if (cursorKnown_ && shape == shown_) return;  // X cursors are costly to remake
    if (!window_.shown() || displayLost()) return;
    cursorKnown_ = true;
    shown_ = shape;
    switch (shape) {
        case PointerShape::Arrow: window_.cursor(FL_CURSOR_DEFAULT); break;
        case PointerShape::Hand: window_.cursor(cursorImages_[0].get(), handArt.hotX, handArt.hotY); break;
        case PointerShape::Pencil: window_.cursor(cursorImages_[1].get(), pencilArt.hotX, pencilArt.hotY); break;
        case PointerShape::Bucket: window_.cursor(cursorImages_[2].get(), bucketArt.hotX, bucketArt.hotY); break;
    }
}

void FltkWindowSystem::pointerPosition(int& x, int& y) {
    int rootX = 0, rootY = 0;
    Fl::get_mouse(rootX, rootY);
    x = rootX - window_.x_root();
    y = rootY - window_.y_root();
}

void FltkWindowSystem::warpPointer(int x, int y) {
    if (!window_.shown() || displayLost()) return;
    XWarpPointer(fl_display, None, fl_xid(&window_), 0, 0, 0, 0, x, y);
    XFlush(fl_display);
}

int FltkWindowSystem::trackPopupMenu(const MenuState& menus, int screenX, int screenY) {
    const std::vector<Fl_Menu_Item> items = popupItems(menus);
    setCursor(PointerShape::Arrow);
    const Fl_Menu_Item* picked = items.front().popup(screenX - window_.x_root(), screenY - window_.y_root());
    // The area the menu covered is drawn again once the choice has been
    // carried out (the toolkit draws damage after the handler returns): the
    // expose of the closing menu may have been served before the choice took
    // effect, as with "Infinite", which hides the payoff matrix.
    window_.redraw();
    if (picked == nullptr) return 0;
    return static_cast<int>(picked->argument());
}

bool FltkWindowSystem::runPayoffsDialog(PayoffFields& fields) { return runPayoffsDialogWindow(fields); }

void FltkWindowSystem::showInformation(const char* text, const char* caption) {
    if (!window_.shown()) return;  // no window of ours to own the box
    showInformationBox(text, caption);
}

void FltkWindowSystem::exitProcess(int status) { std::exit(status); }

void FltkWindowSystem::frameComposed() {
    // The chart takes every frame's counts; the simulation thread waits for
    // the frame, so the counts and the generation belong together.
    const std::int32_t generation = sim.generation;
    const PairCounts pairs = generation > 0 ? PairCounts(sim.pairCounts) : countPairsOf(sim.world);
    observeChartFrame(generation, pairs, countColors(sim.world),
                      cooperationRatesOf(sim.world, competitionOf(sim)));
    if (chart_) chart_->historyChanged();
    host_->frameComposed();
}

std::string FltkWindowSystem::chooseFile(FileDialog kind, const std::string& suggested) {
    Fl_Native_File_Chooser chooser;
    switch (kind) {
        case FileDialog::OpenWorld:
            chooser.title("Open world");
            chooser.type(Fl_Native_File_Chooser::BROWSE_FILE);
            chooser.filter("World files\t*.csv\nAll files\t*");
            break;
        case FileDialog::SaveWorld:
            chooser.title("Save world");
            chooser.type(Fl_Native_File_Chooser::BROWSE_SAVE_FILE);
            chooser.options(Fl_Native_File_Chooser::SAVEAS_CONFIRM | Fl_Native_File_Chooser::NEW_FOLDER);
            chooser.filter("World files\t*.csv");
            break;
        case FileDialog::SavePicture:
            chooser.title("Save picture");
            chooser.type(Fl_Native_File_Chooser::BROWSE_SAVE_FILE);
            chooser.options(Fl_Native_File_Chooser::SAVEAS_CONFIRM | Fl_Native_File_Chooser::NEW_FOLDER);
            chooser.filter("PNG pictures\t*.png");
            break;
    }
    // The working directory, where the log is written too.
    chooser.directory(".");
    if (!suggested.empty()) chooser.preset_file(suggested.c_str());
    setCursor(PointerShape::Arrow);
    if (chooser.show() != 0 || chooser.filename() == nullptr) return {};
    return chooser.filename();
}

std::string FltkWindowSystem::savePicture(const std::string& path) {
    std::string error;
    const int status = writeSnapshotPng(describeDesktopFrame(), path.c_str(), error);
    // The snapshot renders with a GL context of its own; the toolkit believes
    // the window's context is still current, so make it so.
    if (window_.shown() && window_.context() != nullptr && !displayLost()) {
        glXMakeCurrent(fl_display, fl_xid(&window_), static_cast<GLXContext>(window_.context()));
    }
    return status == kSnapshotWritten ? std::string() : error;
}

void FltkWindowSystem::showChart(bool shown) {
    if (!shown) {
        if (chart_) chart_->hide();
        return;
    }
    if (!chart_) {
        // Beside the main window, on the right when the screen has room.
        int sx = 0, sy = 0, sw = 0, sh = 0;
        Fl::screen_xywh(sx, sy, sw, sh, 0);
        // Without room on either side, at the screen's right edge, over the
        // main window's status block rather than its grid.
        int x = window_.x() + window_.w() + 12;
        if (x + ChartWindow::kWidth > sx + sw) x = window_.x() - ChartWindow::kWidth - 12;
        if (x < sx) x = std::max(sx, sx + sw - ChartWindow::kWidth);
        chart_ = std::make_unique<ChartWindow>(x, window_.y(), ChartWindow::kWidth, ChartWindow::kHeight, chartHistory());
        chart_->onClosed([] { chartWindowClosed(); });
        chart_->onKey([this] { window_.handle(FL_KEYBOARD); });
    }
    chart_->show();
}

void FltkWindowSystem::showGuide() { showGuideWindow(window_.x() + 40, window_.y() + 40); }

void FltkWindowSystem::drawFrameNow() {
    if (!window_.shown() || displayLost()) return;
    window_.redraw();
    window_.flush();
    // The frame is whole on the screen: without this the toolkit's loop would
    // see the damage still set and draw the same frame a second time.
    window_.clear_damage();
}

// --- The program ---

namespace {

// Stops the simulation thread and closes the log (unless the close box or
// Quit did so already), then lets go of the window system.
void endSimulation() {
    OnDestroy();
    forgetEndingHost();
    setWindowSystem(nullptr);
    sim.host = nullptr;  // the host goes with the window system
}

}  // namespace

int runDesktop(std::optional<std::uint32_t> firstSeed) {
    fl_open_display();
    int x = 0, y = 0;
    centreOnScreen(x, y);
    DrawingWindow window(x, y);
    std::unique_ptr<Fl_RGB_Image> icon(makeWindowIcon());
    window.icon(icon.get());
    FltkWindowSystem system(window);
    if (firstSeed) system.fltkHost().seedFirstSeeding(*firstSeed);
    catchLostDisplay(system.fltkHost());
    catchQuitSignals(system.fltkHost());
    OnCreate(system);
    if (!system.surfaceReady()) {
        endSimulation();
        std::fputs("talvane: the X display offers no OpenGL visual (GLX, double-buffered RGB with a depth buffer);"
                    " the window cannot be drawn\n", stderr);
        return 1;
    }
    if (quitSignal() == 0) {  // a signal during start-up leaves nothing to show
        window.show();
        window.wait_for_expose();
        Fl::run();
    }
    endSimulation();
    return 0;
}

}  // namespace talvane
