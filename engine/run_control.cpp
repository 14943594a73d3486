#include "run_control.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

#include "engine_internal.h"
#include "generation.h"
#include "host.h"
#include "payoffs.h"
#include "population_log.h"
#include "seeding.h"
#include "sim_state.h"

namespace talvane {

namespace {

constexpr int kIdlePollMs = 10;

// The simulation thread sets busy before it looks at the hold count and the
// run flags, and clears it when it has nothing under way. All accesses are
// sequentially consistent: a holder that has raised holdCount and then reads
// busy == false knows the thread will start nothing until the hold ends.
std::atomic<bool> busy{false};
std::atomic<int> holdCount{0};
std::atomic<bool> stopRequested{false};
std::atomic<bool> threadFinished{true};
std::thread simulationThread;

// Marks the thread busy unless a hold is in force; true when it may work.
bool beginTurn() {
    busy.store(true);
    if (holdCount.load() > 0) {
        busy.store(false);
        return false;
    }
    return true;
}

// One turn of the loop; false when there was nothing to do.
bool runTurn() {
    if (sim.restartPending.load()) {
        restartSimulation();
        return true;
    }
    if (!sim.paused.load()) {
        stepGeneration();
        return true;
    }
    return false;
}

void fillPayoffTable() {
    switch (sim.competitionMode.load()) {
        case kCompetitionFinite: computeFinitePayoffTable(); break;
        case kCompetitionInfinite: sim.world.payoffTable = infinitePayoffTable; break;
        default: break;  // an unknown mode keeps the table as it is
    }
}

bool seedingIsDue() {
    const bool asked = sim.reseedPending.exchange(false);
    return sim.randomPoolMode.load() && (asked || !sim.seededUnrun.load() || sim.poolEdited.load());
}

}  // namespace

void pauseIfRunning() {
    bool running = false;
    if (sim.paused.compare_exchange_strong(running, true)) sim.host->requestRepaint();
}

namespace detail {

void sleepBetweenSteps(int ms) {
    const bool wasBusy = busy.exchange(false);
    sim.host->sleepMs(ms);
    if (wasBusy) busy.store(true);
}

}  // namespace detail

void simulationThreadMain() {
    while (!stopRequested.load()) {
        if (!beginTurn()) {
            // Held: nothing else touches the log meanwhile.
            flushLog();
            sim.host->sleepMs(kIdlePollMs);
            continue;
        }
        const bool worked = runTurn();
        if (!worked) flushLog();  // paused: a reader of the file sees every line
        busy.store(false);
        if (!worked) sim.host->sleepMs(kIdlePollMs);
    }
}

void restartSimulation() {
    closeLog();
    if (sim.consoleEcho.load()) {
        std::fputs("> Initializing cellular automata... ", stdout);
        std::fflush(stdout);
    }
    sim.generation = 0;
    fillPayoffTable();
    if (seedingIsDue()) {
        seedPopulation();
        sim.host->setArrowCursor();
        sim.seededUnrun = true;
    }
    {
        GridLock lock;
        std::fill(sim.world.score.begin(), sim.world.score.end(), 0.0);
    }
    if (sim.frameInterval.load() == 0) sim.host->sleepMs(sim.slowDelayMs);
    buildNeighbourTables();
    pauseIfRunning();
    // A reseeding asked for after this restart took its request asks for
    // another restart rather than being lost.
    sim.restartPending = sim.reseedPending.load();
}

void togglePause() {
    if (sim.randomPoolMode.load() && sim.poolEdited.load()) {
        // Resuming after a pool edit reseeds first: the restart leaves the run paused.
        if (sim.paused.load()) {
            sim.restartPending = true;
            return;
        }
        pauseIfRunning();
        return;
    }
    bool wasPaused = sim.paused.load();
    while (!sim.paused.compare_exchange_weak(wasPaused, !wasPaused)) {
    }
    sim.host->requestRepaint();
}

void startSimulationThread() {
    if (simulationThread.joinable()) return;
    stopRequested = false;
    threadFinished = false;
    simulationThread = std::thread([] {
        simulationThreadMain();
        threadFinished = true;
    });
}

void stopSimulationThread() {
    if (!simulationThread.joinable()) return;
    stopRequested = true;
    // The thread may be waiting for a repaint or a message box that this
    // thread has to serve before the step under way can end.
    while (!threadFinished.load()) sim.host->serviceWhileWaiting();
    simulationThread.join();
    stopRequested = false;
}

void holdSimulation() {
    holdCount.fetch_add(1);
    pauseIfRunning();
    while (busy.load()) sim.host->serviceWhileWaiting();
}

void releaseSimulation() { holdCount.fetch_sub(1); }

}  // namespace talvane
