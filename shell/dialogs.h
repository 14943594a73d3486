// The Payoffs dialog and the About box: their texts, the dialog's input
// check, and the operations the mouse and the popup menu call.
#pragma once

#include <array>
#include <cstdint>

namespace talvane {

inline constexpr const char* kPayoffsCaption = "Payoffs";
// Labels of the four fields, top to bottom: CC, CD, DC, DD.
inline constexpr std::array<const char*, 4> kPayoffLabels{
    "Your points if you cooperate, and the opponent cooperates: (CC)",
    "Your points if you cooperate, and the opponent defects: (CD) ",
    "Your points if you defect, and the opponent cooperates: (DC)",
    "Your Points if you defect, and the opponent defects: (DD)",
};
// Shown when a field does not hold one whole number in the 32-bit range.
inline constexpr const char* kIntegerMessage = "Please enter an integer.";
// Caption of that message: the program's name.
inline constexpr const char* kIntegerMessageCaption = "Talvane (RUNO64)";

inline constexpr const char* kAboutCaption = "About Talvane (RUNO64)";
// Three credit lines, an empty line, the project and the build.
inline constexpr const char* kAboutText =
    "The Talvane Group\n"
    "Department of Evolutionary Simulation\n"
    "Talvane Institute of Social Dynamics\n"
    "\n"
    "VEMO Project\n"
    "Jan 14 2004 Build";

// Reads one payoff field: one base-10 integer, optionally signed, with
// blanks and tabs allowed before and after. False for anything else,
// including an empty field and a number outside the 32-bit range.
bool parsePayoffField(const char* text, std::int32_t& value);

// Opens the Payoffs dialog on the current payoffs with the simulation held
// (it stays paused afterwards); on OK stores the four values and rebuilds
// the finite payoff table.
void editPayoffs();

// Shows the About box.
void showAbout();

}  // namespace talvane
