// The popup menu, the command dispatcher and the single-key commands.
#pragma once

#include <array>

namespace talvane {

// Command ids of the popup menu and of the keys that issue commands.
enum CommandId : int {
    kCmdGo = 1,            // "Go" / "Pause": toggles the pause
    kCmdRandomPool = 2,    // "Random pool": seed at random, restart
    kCmdPaintCells = 3,    // "Paint cells": paint by hand, pencil tool
    kCmdFinite = 4,        // "Finite": 200-round matches, restart
    kCmdInfinite = 5,      // "Infinite": long-run averages, restart
    kCmdSlow = 6,          // "Slow": slow motion
    kCmdNormal = 7,        // "Normal": every generation drawn
    kCmdDrop1 = 8,         // "Drop a frame"
    kCmdDrop4 = 9,         // "Drop four frames"
    kCmdDrop9 = 10,        // "Drop 9 frames"
    kCmdDrop99 = 11,       // "Drop 99 frames"
    kCmdRestart = 12,      // "Restart": reseed now and restart
    kCmdAbout = 13,        // "About..."
    kCmdQuit = 14,         // "Quit"
    kCmdStep = 15,         // "Step": one generation while paused
    kCmdOpenWorld = 16,    // "Open world...": a world file
    kCmdSaveWorld = 17,    // "Save world...": the world to a file
    kCmdSavePicture = 18,  // "Save picture...": the frame as a PNG
    kCmdUndo = 19,         // "Undo": the world before the last change by hand
    kCmdRedo = 20,         // "Redo": the undone change again
    kCmdChart = 21,        // "Population chart": opens / closes the chart window (checked while open)
    kCmdGuide = 22,        // "Guide...": what the picture shows, the keys, the games
};

inline constexpr int kCommandCount = 22;  // ids run 1..22

// Which menu an item belongs to.
enum class MenuId { Main, StrategySet, Speed, Competition };

// One item of the popup menu: a command item, or (command 0) the entry that
// opens a submenu.
struct MenuItemDef {
    MenuId menu;      // the menu that holds the item
    const char* text; // the item's text, fixed once the menus are built
    int command;      // command id, or 0 for a submenu entry
    MenuId submenu;   // the submenu opened, for a submenu entry
};

// Every item in menu order: the main menu's entries interleave with the
// submenus they open ("Strategy set", "Speed", "Competition"). The teaching
// items follow "Quit", so the items above keep their places.
extern const std::array<MenuItemDef, 25> menuItems;

// The popup menu as built: the pause item's text and the check marks.
struct MenuState {
    bool built = false;                         // buildMenus has run
    const char* pauseText = "Go";               // first item: "Go" or "Pause", chosen at construction
    std::array<bool, kCommandCount + 1> checked{};  // check mark per command id (index 0 unused)
};

// The process's popup menu.
extern MenuState menus;

// Builds the menus: the pause item's text from sim.paused, the check marks
// from the strategy set, the speed and the competition mode.
void buildMenus();

// Sets or clears the check mark of a command id.
void checkMenuItem(int command, bool checked);

// The command dispatcher: carries out command id (low 16 bits of command).
// Returns true when the id was one of ours.
bool OnCommand(unsigned command, unsigned long param = 0);

// Moves the Speed check mark to id (6..11) and sets frameInterval.
void selectSpeed(int id);

// The frameInterval a speed command sets, or -1 for an id outside 6..11.
int frameIntervalForSpeed(int id);

// Bit of OnKeyDown's flags: the Control key was held down.
inline constexpr unsigned kKeyControl = 1u << 16;

// The key handler: acts on the virtual-key code, then repaints. With
// kKeyControl, Ctrl+O, Ctrl+S, Ctrl+Z and Ctrl+Y open, save, undo and redo;
// any other key acts as it does alone.
void OnKeyDown(unsigned virtualKey, unsigned repeatCount, unsigned flags);

// Shows the popup menu at the screen point: pauses, repaints, waits for a
// choice and carries it out; a dismissed menu swallows the next left press.
void OnContextMenu(int screenX, int screenY);

// Virtual-key codes of the key table.
namespace vk {
inline constexpr unsigned Space = 32;
inline constexpr unsigned Help = 47;
inline constexpr unsigned C = 67;
inline constexpr unsigned E = 69;
inline constexpr unsigned G = 71;
inline constexpr unsigned N = 78;
inline constexpr unsigned O = 79;
inline constexpr unsigned P = 80;
inline constexpr unsigned R = 82;
inline constexpr unsigned S = 83;
inline constexpr unsigned V = 86;
inline constexpr unsigned Y = 89;
inline constexpr unsigned Z = 90;
inline constexpr unsigned Numpad3 = 99;
inline constexpr unsigned Numpad5 = 101;
inline constexpr unsigned Add = 107;  // the keypad's "+"
inline constexpr unsigned F1 = 112;
inline constexpr unsigned F3 = 114;
inline constexpr unsigned F4 = 115;
inline constexpr unsigned F5 = 116;
inline constexpr unsigned F7 = 118;
inline constexpr unsigned F10 = 121;
inline constexpr unsigned F12 = 123;
inline constexpr unsigned OemPlus = 187;  // the main keyboard's "=" / "+" key
}  // namespace vk

}  // namespace talvane
