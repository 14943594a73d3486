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

// Marks the thread sim.threadBusy unless a hold is in force; true when it may work.
bool beginTurn() {
    sim.threadBusy.store(true);
    if (sim.holdCount.load() > 0) {
        sim.threadBusy.store(false);
        return false;
    }
    return true;
}

// One turn of the loop; false when there was nothing to do.
bool runTurn() {
    const std::int32_t rewind = sim.logRewindLines.exchange(-1);
    if (rewind >= 0) rewindLog(rewind);
    if (sim.restartPending.load()) {
        restartSimulation();
        return true;
    }
    if (!sim.paused.load()) {
        sim.stepPending = false;  // running: a single step has nothing to add
        stepGeneration();
        return true;
    }
    if (sim.stepPending.exchange(false)) {
        stepGeneration();
        // Drawn whatever the speed: it is the generation that was asked for.
        const std::int32_t interval = sim.frameInterval.load();
        if (interval > 1 && sim.generation.load() % interval != 0) sim.host->requestRepaint();
        return true;
    }
    return false;
}

void fillPayoffTable() {
    const Rules rules = simRules();
    // An unknown mode keeps the table as it is.
    if (rules.competition == CompetitionMode::Finite || rules.competition == CompetitionMode::Infinite) {
        sim.world.payoffTable = payoffTableOf(rules);
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
    const bool wasBusy = sim.threadBusy.exchange(false);
    sim.host->sleepMs(ms);
    if (wasBusy) sim.threadBusy.store(true);
}

}  // namespace detail

void simulationThreadMain() {
    while (!sim.stopRequested.load()) {
        if (!beginTurn()) {
            // Held: nothing else touches the log meanwhile.
            flushLog();
            sim.host->sleepMs(kIdlePollMs);
            continue;
        }
        const bool worked = runTurn();
        if (!worked) flushLog();  // paused: a reader of the file sees every line
        sim.threadBusy.store(false);
        if (!worked) sim.host->sleepMs(kIdlePollMs);
    }
}

void setRestartObserver(void (*observer)()) { sim.restartObserver = observer; }

void restartSimulation() {
    if (void (*observer)() = sim.restartObserver.load()) observer();
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
        sim.world.clearScores();
    }
    if (sim.frameInterval.load() == 0) sim.host->sleepMs(sim.slowDelayMs);
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

bool requestSingleStep() {
    if (!sim.paused.load()) return false;
    if (sim.randomPoolMode.load() && sim.poolEdited.load()) sim.restartPending = true;  // reseed first, as Go does
    sim.stepPending = true;
    return true;
}

void startSimulationThread() {
    if (sim.simulationThread.joinable()) return;
    sim.stopRequested = false;
    sim.threadFinished = false;
    sim.simulationThread = std::thread([] {
        simulationThreadMain();
        sim.threadFinished = true;
    });
}

void stopSimulationThread() {
    if (!sim.simulationThread.joinable()) return;
    sim.stopRequested = true;
    // The thread may be waiting for a repaint or a message box that this
    // thread has to serve before the step under way can end.
    while (!sim.threadFinished.load()) sim.host->serviceWhileWaiting();
    sim.simulationThread.join();
    sim.stopRequested = false;
}

void holdSimulation() {
    sim.holdCount.fetch_add(1);
    pauseIfRunning();
    while (sim.threadBusy.load()) sim.host->serviceWhileWaiting();
}

void releaseSimulation() { sim.holdCount.fetch_sub(1); }

}  // namespace talvane
