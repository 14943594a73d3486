// Talvane, the desktop program: a spatial population of strategies for a
// repeated two-person game, evolving on a 64 x 64 torus.
#include <FL/Fl.H>

#include "app_windows.h"
#include "program_end.h"

int main() {
    // The simulation thread hands repaints to this thread through Fl::awake.
    Fl::lock();
    const int status = talvane::runDesktop();
    // Ended by a signal: the log is closed; now end as that signal would have.
    if (talvane::quitSignal() != 0) talvane::endBySignal(talvane::quitSignal());
    return status;
}
