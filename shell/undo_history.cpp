#include "undo_history.h"

#include <utility>

namespace talvane {

void UndoHistory::push(std::deque<WorldSnapshot>& stack, WorldSnapshot state, std::size_t limit) {
    stack.push_back(std::move(state));
    while (stack.size() > limit) stack.pop_front();
}

void UndoHistory::record(WorldSnapshot before) {
    push(undo_, std::move(before), limit_);
    redo_.clear();
}

bool UndoHistory::undo(WorldSnapshot current, WorldSnapshot& restored) {
    if (undo_.empty()) return false;
    restored = std::move(undo_.back());
    undo_.pop_back();
    push(redo_, std::move(current), limit_);
    return true;
}

bool UndoHistory::redo(WorldSnapshot current, WorldSnapshot& restored) {
    if (redo_.empty()) return false;
    restored = std::move(redo_.back());
    redo_.pop_back();
    push(undo_, std::move(current), limit_);
    return true;
}

void UndoHistory::clear() {
    undo_.clear();
    redo_.clear();
}

}  // namespace talvane
