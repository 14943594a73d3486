// The simulation thread, the restart sequence and the pause toggle, plus the
// operations the user interface needs to steer the thread safely.
#pragma once

namespace talvane {

// Body of the simulation thread: restart when asked, else one generation when
// running, else sleep 10 ms; until a stop is requested.
void simulationThreadMain();

// The restart sequence: closes the log, resets the counter, fills the payoff table, reseeds when due (in random-pool
// mode, when asked with reseedPending, or when the grids are not a fresh
// unrun seeding, or a pool changed), clears the scores, builds the neighbour
// tables, leaves the run paused and takes back the restart request.
void restartSimulation();

// Sets the function the simulation thread calls at the start of every
// restart, before anything changes (null: none). The desktop program keeps
// the world it is about to replace for undo.
void setRestartObserver(void (*observer)());

// Pauses or resumes the run (a resume after a pool edit becomes a restart),
// and asks for a repaint.
void togglePause();

// Pauses the run if it is running, with the repaint that togglePause makes in
// that case. The test and the set are one atomic step, so two threads that
// both want the run paused can never toggle it back to running.
void pauseIfRunning();

// While paused, asks the simulation thread for exactly one generation (drawn
// and logged like any other); the run stays paused. Does nothing while the
// run goes on. Returns true when a step was asked for.
bool requestSingleStep();

// Starts the simulation thread (once).
void startSimulationThread();

// Stops the simulation thread after the step under way and joins it. While it
// waits it keeps calling the host's serviceWhileWaiting, so a step blocked on
// a repaint request can finish. Safe to call when no thread runs.
void stopSimulationThread();

// Pauses the run (through togglePause when it is running) and returns only
// when no generation and no restart is under way; until the matching
// releaseSimulation the thread starts neither. Serves the host while it waits.
// Calls nest.
void holdSimulation();

// Ends one holdSimulation; the thread goes on with what is pending.
void releaseSimulation();

// Holds the simulation for the lifetime of the guard.
class SimulationHold {
public:
    SimulationHold() { holdSimulation(); }
    ~SimulationHold() { releaseSimulation(); }
    SimulationHold(const SimulationHold&) = delete;
    SimulationHold& operator=(const SimulationHold&) = delete;
};

}  // namespace talvane
