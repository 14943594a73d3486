// The desktop program's undo history: whole worlds as they were before each
// change made by hand (paint strokes, fills, restarts, layout changes, opened
// worlds), with the generation and log they belonged to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "chart_history.h"
#include "world.h"

namespace talvane {

// One state of the world that undo or redo can bring back.
struct WorldSnapshot {
    std::vector<CellCode> color;   // colour of each cell, row-major
    std::vector<CellCode> self;    // self strategy of each cell
    std::vector<CellCode> other;   // others strategy of each cell
    std::int32_t generation = 0;   // generations since the restart, as the window showed them
    unsigned logStart = 0;         // which start of the log file its lines belong to
    bool randomPoolMode = true;    // "Random pool" or "Paint cells"
    std::int32_t colorLayout = 0;  // the colour layout in force
    // The log file's text and the chart's history as they stood, kept where
    // what follows would lose them (a restart starts both afresh, an undo
    // cuts both back): restoring puts them back. Null when not kept; the
    // log and chart of the restored state are then a beginning of the
    // current ones, cut back to its generation.
    std::shared_ptr<const std::string> logText;
    std::shared_ptr<const ChartHistory> chart;
};

// Two stacks of snapshots, each at most `limit` deep: the oldest state is
// dropped when a new one would pass the limit, so memory stays bounded.
class UndoHistory {
public:
    explicit UndoHistory(std::size_t limit = 50) : limit_(limit) {}

    // A change is about to be made to `before`: it becomes the state that
    // undo restores, and what redo could bring back is forgotten.
    void record(WorldSnapshot before);

    // Undo: takes the newest recorded state; `current` becomes redoable.
    // False (and nothing changes) when there is nothing to undo.
    bool undo(WorldSnapshot current, WorldSnapshot& restored);

    // Redo: the reverse of the last undo. False when there is nothing to redo.
    bool redo(WorldSnapshot current, WorldSnapshot& restored);

    void clear();
    std::size_t undoDepth() const { return undo_.size(); }
    std::size_t redoDepth() const { return redo_.size(); }
    std::size_t limit() const { return limit_; }

private:
    static void push(std::deque<WorldSnapshot>& stack, WorldSnapshot state, std::size_t limit);

    std::size_t limit_;
    std::deque<WorldSnapshot> undo_;
    std::deque<WorldSnapshot> redo_;
};

}  // namespace talvane
