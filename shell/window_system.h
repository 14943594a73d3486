// What the desktop program's handlers need from the window system, and the
// program's start and end. The handlers of commands.h, mouse.h and dialogs.h
// call only this interface (and the engine), so a test can drive them with a
// fake and no display; the FLTK program fills it in.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace talvane {

class Host;
struct MenuState;

// The pointer shapes the drawing window shows.
enum class PointerShape {
    Arrow,   // the system's standard arrow
    Hand,    // pointing hand: a click here does something
    Pencil,  // the pencil tool over the grid
    Bucket,  // the flood-fill tool over the grid
};

// The file dialogs of the popup menu's file items.
enum class FileDialog {
    OpenWorld,    // "Open world...": an existing world file
    SaveWorld,    // "Save world...": a world file to write
    SavePicture,  // "Save picture...": a PNG to write
};

// The four payoffs in the dialog's order: CC, CD, DC, DD.
using PayoffFields = std::array<std::int32_t, 4>;

class WindowSystem {
public:
    virtual ~WindowSystem() = default;

    // Gives the drawing window its GL pixel format; false when it failed (the
    // user has been told).
    virtual bool setupSurface() = 0;

    // Creates the four cursors of the drawing window.
    virtual void loadCursors() = 0;

    // The engine's host for this window: repaints, message boxes, sleeping.
    virtual Host& host() = 0;

    // Shows the given pointer shape over the drawing window.
    virtual void setCursor(PointerShape shape) = 0;

    // The pointer's position in frame coordinates (relative to the drawing
    // window's top left corner, possibly outside the window).
    virtual void pointerPosition(int& x, int& y) = 0;

    // Moves the pointer to the frame coordinates (x, y).
    virtual void warpPointer(int x, int y) = 0;

    // Shows the popup menu with its top left corner at the screen point and
    // waits; returns the chosen command id, or 0 when the menu was dismissed.
    virtual int trackPopupMenu(const MenuState& menus, int screenX, int screenY) = 0;

    // Runs the Payoffs dialog modally on the fields; true when it ended with
    // OK (the fields then hold the accepted values), false otherwise.
    virtual bool runPayoffsDialog(PayoffFields& fields) = 0;

    // Shows an information message box owned by the active window; does
    // nothing when no window of ours is active.
    virtual void showInformation(const char* text, const char* caption) = 0;

    // Ends the process at once with the given status.
    virtual void exitProcess(int status) = 0;

    // Asks for a file with the toolkit's file chooser, suggesting the name
    // given; returns the chosen path, or an empty text when cancelled.
    virtual std::string chooseFile(FileDialog /*kind*/, const std::string& /*suggested*/) { return {}; }

    // Writes the frame as the window shows it to path as a PNG; returns an
    // empty text when written, else what went wrong.
    virtual std::string savePicture(const std::string& /*path*/) { return "there is no window to take a picture of"; }

    // Shows or hides the "Population" chart window.
    virtual void showChart(bool /*shown*/) {}

    // Opens the "Guide" window (or raises it when open).
    virtual void showGuide() {}
};

// The window system the handlers use; set by OnCreate.
WindowSystem& windowSystem();

// Start-up of the drawing window, in this order: menus, GL surface, cursors,
// the engine's host (the window that receives repaint requests), then the
// simulation thread, whose first act is the restart that seeds the world.
void OnCreate(WindowSystem& system);

// End of the drawing window: stops the simulation thread after the step
// under way, then closes the log, so the log ends with complete lines.
void OnDestroy();

// Makes the handlers use this window system (null: none, nothing is shown).
// OnCreate does this; tests install a fake with it.
void setWindowSystem(WindowSystem* system);

}  // namespace talvane
