#include "program_end.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <fcntl.h>
#include <unistd.h>

#include "fltk_host.h"
#include "window_system.h"

namespace talvane {

namespace {

constexpr int kQuitSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The signal handler writes the signal's number here; the toolkit's loop
// reads it (the self-pipe: a handler may do little more than write).
int signalPipe[2] = {-1, -1};
volatile std::sig_atomic_t caughtSignal = 0;
std::atomic<bool> lost{false};
FltkHost* endingHost = nullptr;

extern "C" void onQuitSignal(int signal) {
    const int saved = errno;
    caughtSignal = signal;
    const unsigned char byte = static_cast<unsigned char>(signal);
    if (write(signalPipe[1], &byte, 1) < 0) {
        // The pipe is full: a signal is waiting to be served already.
    }
    errno = saved;
}

// An open popup menu keeps showing its windows until it is dismissed, as
// Escape does: hand it an Escape.
void dismissPopupMenu() {
    Fl_Window* menu = Fl::grab();
    if (menu == nullptr) return;
    Fl::e_keysym = FL_Escape;
    Fl::handle(FL_KEYBOARD, menu);
}

// On the user-interface thread: closes every window, which ends the modal
// loops of menus, dialogs and message boxes and then the toolkit's own.
void onSignalPipe(int fd, void*) {
    unsigned char byte = 0;
    while (read(fd, &byte, 1) > 0) {
    }
    if (endingHost != nullptr) endingHost->setEnding();
    dismissPopupMenu();
    while (Fl_Window* window = Fl::first_window()) window->hide();
}

bool ignoredAtStart(int signal) {
    struct sigaction current {};
    return sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

// Xlib calls this when the connection is gone and ends the process if it
// returns, so it never returns.
int onLostDisplay(Display*) {
    lost = true;
    if (endingHost != nullptr) endingHost->setEnding();
    std::fputs("talvane: lost the connection to the X server; stopping\n", stderr);
    OnDestroy();  // the step under way ends and the log is closed
    std::fflush(stdout);
    std::_Exit(1);  // the toolkit's exit handlers would talk to the lost display
}

}  // namespace

void catchQuitSignals(FltkHost& host) {
    endingHost = &host;
    if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    Fl::add_fd(signalPipe[0], FL_READ, onSignalPipe);
    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : kQuitSignals) {
        if (!ignoredAtStart(signal)) sigaction(signal, &action, nullptr);
    }
}

int quitSignal() { return caughtSignal; }

void endBySignal(int signal) {
    std::fflush(stdout);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    std::_Exit(128 + signal);
}

void catchLostDisplay(FltkHost& host) {
    endingHost = &host;
    XSetIOErrorHandler(onLostDisplay);
}

bool displayLost() { return lost.load(); }

void forgetEndingHost() { endingHost = nullptr; }

}  // namespace talvane
