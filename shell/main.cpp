// Talvane, the desktop program: a spatial population of strategies for a
// repeated two-person game, evolving on a 64 x 64 torus.
#include <FL/Fl.H>

#include "app_windows.h"
#include "desktop_options.h"
#include "program_end.h"

int main(int argc, char** argv) {
    // The command line is checked before any window opens.
    talvane::DesktopStart start;
    if (const int status = talvane::parseDesktopCommandLine(argc, argv, start); status != talvane::kDesktopGoOn) {
        return status;
    }
    talvane::applyDesktopStart(start);
    // The simulation thread hands repaints to this thread through Fl::awake.
    Fl::lock();
    const int status = talvane::runDesktop(start.seed);
    // Ended by a signal: the log is closed; now end as that signal would have.
    if (talvane::quitSignal() != 0) talvane::endBySignal(talvane::quitSignal());
    return status;
}
