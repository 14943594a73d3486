// Talvane, the desktop program: a spatial population of strategies for a
// repeated two-person game, evolving on a 64 x 64 torus.
#include <FL/Fl.H>

#include "app_windows.h"

int main() {
    // The simulation thread hands repaints to this thread through Fl::awake.
    Fl::lock();
    return talvane::runDesktop();
}
