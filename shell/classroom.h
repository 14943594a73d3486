// The commands the desktop program offers for teaching: one generation at a
// time, worlds to and from files, pictures of the frame, undo and redo of
// changes made by hand, the population chart and the guide. Like the other
// handlers they work through the window system interface and the engine.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "chart_history.h"
#include "undo_history.h"

namespace talvane {

// N / "Step": while paused, one generation on the simulation thread, drawn
// and logged; the run stays paused. Does nothing while running.
void singleStepCommand();

// Ctrl+O / "Open world...": asks for a world file and opens it.
void openWorldCommand();

// Opens the world file at path: a 64 x 64 world is shown at generation 0 in
// paint mode and the log starts afresh with the next generation. A file that
// cannot be read, or a world of another size, gets a message box and changes
// nothing. Returns true when the world was opened.
bool openWorldFile(const std::string& path);

// Ctrl+S / "Save world...": asks for a file name and saves the world.
void saveWorldCommand();

// Writes the world as it stands to path in the world-file format (under a
// temporary name, renamed when complete). A failure gets a message box.
bool saveWorldFile(const std::string& path);

// F12 / "Save picture...": asks for a file name and writes the frame as a PNG.
void savePictureCommand();

// The name "Save picture..." suggests: talvane-gen-000123.png for generation 123.
std::string defaultPictureName();

// Records the world as it is now as the state undo brings back; called just
// before each change made by hand. Takes the hold while it reads the world.
void recordUndoPoint();

// Makes every restart (but the first, the start-up seeding) record the world
// it replaces, from the simulation thread, as its undo point.
void recordRestartsForUndo();

// Called by a command that changes the strategy set or the colour layout and
// then asks for a restart: undoing that restart brings back the settings as
// they were before the command (the first of a burst of such commands).
void noteSettingsBeforeRestart();

// Ctrl+Z / Ctrl+Y: brings back the world (with its generation, the log cut
// back to it, the strategy set and the colour layout) as it was before the
// last change, or again after it. False when there was nothing to undo/redo.
bool undoCommand();
bool redoCommand();

// The history behind undo and redo.
UndoHistory& undoHistory();

// The population chart's history: every frame the main window draws adds its
// counts (user-interface thread); undo and redo put earlier histories back.
const ChartHistory& chartHistory();
void observeChartFrame(std::int32_t generation, const PairCounts& pairs, const std::array<std::uint32_t, 8>& colors,
                       const CooperationRates& rates);

// G / "Population chart": opens or closes the chart window.
void toggleChartCommand();

// The chart window was closed by its own close box.
void chartWindowClosed();

// Whether the chart window is open.
bool chartOpen();

// "Guide...": opens the guide window.
void guideCommand();

// Forgets the undo history and closes the chart (for tests).
void resetClassroom();

}  // namespace talvane
