// The one shared record of the whole program: the world, the game settings,
// run control, seeding settings, and the log's scratch data. Both threads use
// it; everything the simulation thread and the user-interface thread both
// touch outside the grids is a lock-free atomic. What the user-interface
// thread alone uses (the view, the pointer, the paint tools, the menu) is the
// desktop's own record, not this one.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "rules.h"
#include "world.h"

namespace talvane {

class Host;

inline constexpr int kGridSize = 64;                   // cells along each side of the torus
inline constexpr int kCellCount = kGridSize * kGridSize;  // 4096 cells, row-major: row*64 + column

// Display names of the eight strategies, at most 18 characters each.
extern const std::array<const char*, kCodeCount> strategyNames;
// Display names of the colour codes: "Green", "Cyan", "Red", then empty texts.
extern const std::array<const char*, kCodeCount> colorNames;

// Paint tools of paint mode.
enum PaintTool : std::int32_t {
    kToolNone = 0,    // none chosen yet
    kToolFill = 1,    // the paint bucket: flood fill
    kToolPencil = 2,  // the pencil: single cells and strokes
};

// Colour layouts of seeding, in the order the C key cycles through them.
enum class ColorLayout : std::int32_t {
    Random = 0,        // every cell Green or Red at random
    Checkerboard = 1,  // alternating cells
    Segregated = 2,    // Green on one half, Red on the other
};
inline constexpr std::int32_t kLayoutCount = 3;  // layouts 0 .. 2

// The names every program gives layouts (options, run records, Python), and
// their parser: false for any other text.
inline constexpr std::array<const char*, kLayoutCount> kLayoutNames{"random", "checkerboard", "segregated"};
inline const char* colorLayoutName(ColorLayout layout) {
    const auto code = static_cast<std::int32_t>(layout);
    return code >= 0 && code < kLayoutCount ? kLayoutNames[static_cast<std::size_t>(code)] : "checkerboard";
}
inline bool parseColorLayout(std::string_view text, ColorLayout& out) {
    for (std::int32_t i = 0; i < kLayoutCount; ++i) {
        if (text == kLayoutNames[static_cast<std::size_t>(i)]) {
            out = static_cast<ColorLayout>(i);
            return true;
        }
    }
    return false;
}

template <typename T>
using Grid = std::array<T, kCellCount>;

struct SimState {
    // --- The world ---
    // The grids, scores, payoff table and generator of the run; 64 x 64 on
    // the desktop, any shape a batch run asks for.
    World world;
    // Held while the simulation thread writes the grids (a generation, a
    // seeding) and while a frame reads them, so that a frame drawn at any
    // moment shows one whole generation. Never held across a repaint request.
    std::mutex gridMutex;
    int stepThreads = 1;                 // threads that share one generation of a large world

    // --- Game settings ---
    std::atomic<std::int32_t> payoffCC{3};  // R: both cooperate
    std::atomic<std::int32_t> payoffCD{0};  // S: I cooperate, the opponent defects
    std::atomic<std::int32_t> payoffDC{5};  // T: I defect, the opponent cooperates
    std::atomic<std::int32_t> payoffDD{1};  // P: both defect
    std::atomic<std::int32_t> competitionMode{4};  // a CompetitionMode's number (4 finite, 5 infinite)
    std::atomic<bool> playSelf{false};             // every cell also plays one game against itself
    std::atomic<bool> extraPointSameColor{false};  // discriminating cells earn 1.0 per same-colour game

    // --- Run control ---
    std::atomic<bool> paused{true};                // no generation is computed while set
    std::atomic<bool> restartPending{true};        // the simulation thread must restart before anything else
    std::atomic<bool> reseedPending{false};        // the next restart reseeds even a fresh, unrun seeding
    std::atomic<std::int32_t> generation{0};       // generations computed since the last restart
    std::atomic<std::int32_t> frameInterval{1};    // 0 slow motion, 1 every frame, N > 1 every Nth generation drawn
    std::int32_t slowDelayMs = 500;                // sleep per generation (and per restart) in slow motion
    std::atomic<bool> consoleEcho{false};          // the restart prints its trace on standard output
    std::atomic<bool> seededUnrun{false};          // the grids hold a fresh seeding nobody has run or painted
    std::atomic<bool> poolEdited{false};           // a strategy pool flag changed since the last seeding
    std::atomic<bool> stepPending{false};          // while paused: run exactly one generation, stay paused
    std::atomic<std::int32_t> logRewindLines{-1};  // >= 0: the log must be cut back to this many lines

    // --- Seeding settings ---
    std::atomic<bool> randomPoolMode{true};        // true "Random pool" (seeded at random), false "Paint cells"
    std::atomic<std::int32_t> colorLayout{1};  // a ColorLayout's number (0 random, 1 checkerboard, 2 segregated)
    std::array<std::atomic<bool>, kCodeCount> selfPool{};   // true keeps the code out of seeded self strategies
    std::array<std::atomic<bool>, kCodeCount> otherPool{};  // true keeps the code out of seeded others strategies
    // The same for colours; only Green (0) and Red (2) are admitted, and nothing changes it.
    std::array<bool, kCodeCount> colorPool{false, true, false, true, true, true, true, true};

    // --- Population log ---
    std::array<std::uint32_t, kCodeCount * kCodeCount> pairCounts{};  // cells per (self, others) pair, self*8 + others
    std::FILE* logFile = nullptr;                  // the open log stream, or none

    // --- The simulation thread and its log (kept by resetSimState: they
    // belong to the thread's life and the program's choice of log file) ---
    // The thread sets threadBusy before it looks at holdCount and the run
    // flags, and clears it when it has nothing under way. All accesses are
    // sequentially consistent: a holder that has raised holdCount and then
    // reads threadBusy == false knows the thread will start nothing until
    // the hold ends.
    std::atomic<bool> threadBusy{false};
    std::atomic<int> holdCount{0};                 // holds in force
    std::atomic<bool> stopRequested{false};        // the thread ends after what it has under way
    std::atomic<bool> threadFinished{true};        // the thread's body has returned
    std::thread simulationThread;                  // the simulation thread, while it runs
    std::atomic<void (*)()> restartObserver{nullptr};  // called by each restart before it changes the world
    std::string logPath = "vemo.csv";              // where the log is (re)opened; "-" standard output
    bool logUnflushed = false;                     // lines handed to the log stream since its last flush
    bool logWriteFailed = false;                   // a write or opening failed: no more lines until the next setLogPath
    int logWriteError = 0;                         // the errno of that failed write, 0 none
    std::atomic<unsigned> logStarts{0};            // fresh starts of the log file; read by the user-interface thread

    // --- Platform ---
    Host* host = nullptr;                          // repaints, message boxes, cursor, sleep, clock, random numbers
};

// The competition and the colour layout of a state record as their types
// (its atomics hold their numbers, which a test or a future menu may set to
// a value that names neither).
inline CompetitionMode competitionOf(const SimState& state) {
    return static_cast<CompetitionMode>(state.competitionMode.load());
}
inline ColorLayout colorLayoutOf(const SimState& state) {
    return static_cast<ColorLayout>(state.colorLayout.load());
}

// The one instance, holding its start values before any window or thread exists.
extern SimState sim;

// Holds sim.gridMutex for its lifetime.
class GridLock {
public:
    GridLock() : lock_(sim.gridMutex) {}

private:
    std::lock_guard<std::mutex> lock_;
};

// Puts every field of sim back to its start value (the host pointer included,
// which becomes null). For tests and for hosts that run several worlds in turn.
void resetSimState();

// The game settings of sim as rules: the payoffs, the competition, play-self
// and the extra point; every other rule has its default (the desktop runs
// the synchronous best rule in 200-round matches).
Rules simRules();
// Stores those settings of rules into sim's atomics.
void setSimRules(const Rules& rules);

// Overwrites sim.world.payoffTable with the totals of 200-round matches under
// sim's four payoffs. Exact for every 32-bit payoff.
void computeFinitePayoffTable();

}  // namespace talvane
