// The ways the desktop program ends besides its close box, Escape and Quit: a
// quit signal and a lost connection to the X server. Each stops the
// simulation thread after the step under way and closes the log with
// complete lines before the process goes.
#pragma once

namespace talvane {

class FltkHost;

// Catches SIGTERM, SIGINT and SIGHUP (a signal ignored when the program
// started, as under nohup, stays ignored). A caught signal closes every
// window from within the toolkit's loop, which then returns; the message
// boxes still to come go to standard error. When the loop has not ended the
// program a quarter of a second later (a file chooser runs a loop of its
// own), a thread of its own stops the simulation, closes the log and ends the
// process by the signal. Call once, on the user-interface thread, with the
// display open.
void catchQuitSignals(FltkHost& host);

// The signal that ended the toolkit's loop, or 0.
int quitSignal();

// Ends the process by the signal, with its default action, so that the parent
// sees how it ended. For after the clean ending that quitSignal asked for.
[[noreturn]] void endBySignal(int signal);

// Makes a lost connection to the X server (the server died, the window was
// killed) end the program cleanly: the simulation thread stops, the log is
// closed, a line goes to standard error and the status is 1. Call after the
// display is open.
void catchLostDisplay(FltkHost& host);

// True once the connection to the X server is lost: nothing may be drawn.
bool displayLost();

// The host given to catchQuitSignals and catchLostDisplay is going away:
// endings from now on only stop the thread and close the log.
void forgetEndingHost();

}  // namespace talvane
