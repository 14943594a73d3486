// The toolkit's side of the dialogs: the Payoffs dialog window and the
// message boxes.
#pragma once

#include "window_system.h"

namespace talvane {

// Runs the Payoffs dialog modally, filled from fields; OK checks every
// field in order and stays open on the first that is not a 32-bit whole
// number. True (fields updated) when it ended with OK.
bool runPayoffsDialogWindow(PayoffFields& fields);

// A message box with an exclamation mark and one OK button.
void showAlertBox(const char* text, const char* caption);

// A message box with an information mark and one OK button.
void showInformationBox(const char* text, const char* caption);

}  // namespace talvane
