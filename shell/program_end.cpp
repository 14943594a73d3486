#include "program_end.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <semaphore.h>
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

// The host to tell of the ending; the guard thread uses it too, so it is
// read and cleared under the lock.
std::mutex hostLock;
FltkHost* endingHost = nullptr;

// How long the toolkit's loop is given to end the program after a quit
// signal before the guard thread ends it: a dialog with a loop of its own
// (the file chooser's) does not serve the signal pipe until it is answered.
constexpr std::chrono::milliseconds kCleanEndingGrace{250};

// Posted by the signal handler (sem_post may be called from a handler).
sem_t signalArrived;

extern "C" void onQuitSignal(int signal) {
    const int saved = errno;
    caughtSignal = signal;
    const unsigned char byte = static_cast<unsigned char>(signal);
    if (write(signalPipe[1], &byte, 1) < 0) {
        // The pipe is full: a signal is waiting to be served already.
    }
    sem_post(&signalArrived);
    errno = saved;
}

void tellHostOfEnding() {
    std::lock_guard<std::mutex> lock(hostLock);
    if (endingHost != nullptr) endingHost->setEnding();
}

// Waits for a quit signal; when the toolkit's loop has not ended the program
// within the grace, ends it from here: message boxes go to standard error
// and nothing waits for the user-interface thread any more, the simulation
// thread stops after the step under way, the log is closed with complete
// lines, and the process ends by the signal, whatever dialog is open.
void guardEnding() {
    while (sem_wait(&signalArrived) != 0) {
    }
    std::this_thread::sleep_for(kCleanEndingGrace);
    tellHostOfEnding();
    OnDestroy();
    endBySignal(caughtSignal);
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
    tellHostOfEnding();
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
    tellHostOfEnding();
    std::fputs("talvane: lost the connection to the X server; stopping\n", stderr);
    OnDestroy();  // the step under way ends and the log is closed
    std::fflush(stdout);
    std::_Exit(1);  // the toolkit's exit handlers would talk to the lost display
}

}  // namespace

void catchQuitSignals(FltkHost& host) {
    {
        std::lock_guard<std::mutex> lock(hostLock);
        endingHost = &host;
    }
    if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    if (sem_init(&signalArrived, 0, 0) != 0) return;
    Fl::add_fd(signalPipe[0], FL_READ, onSignalPipe);
    // Started before the handlers, with the signals unblocked, so that
    // nothing can arrive without a guard to serve it.
    std::thread(guardEnding).detach();
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
    {
        std::lock_guard<std::mutex> lock(hostLock);
        endingHost = &host;
    }
    XSetIOErrorHandler(onLostDisplay);
    // A write to a connection the server has closed raises SIGPIPE, which
    // would end the process before Xlib sees the error, with the log left
    // unclosed. Ignored, the write fails instead and Xlib calls the handler
    // above. The program starts no other programs and writes to no pipe or
    // socket of its own, so nothing else relies on the signal.
    std::signal(SIGPIPE, SIG_IGN);
}

bool displayLost() { return lost.load(); }

void forgetEndingHost() {
    std::lock_guard<std::mutex> lock(hostLock);
    endingHost = nullptr;
}

}  // namespace talvane
