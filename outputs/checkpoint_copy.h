// The log and the statistics table grow under temporary names while a run
// goes. With --checkpoint-every their contents so far also stand under their
// final names, brought up to date at each checkpoint, so that a run cut
// short leaves files it can be resumed from. Each update reads and appends
// only what was written since the one before: a checkpoint costs the same
// however long the run has gone on.
#pragma once

#include <string>

#include "checkpoint.h"

namespace talvane {

class CheckpointCopy {
public:
    CheckpointCopy() = default;
    ~CheckpointCopy();
    CheckpointCopy(const CheckpointCopy&) = delete;
    CheckpointCopy& operator=(const CheckpointCopy&) = delete;

    // Follows growing, the temporary file the run appends to, which starts
    // with the bytes start; its copy goes to path. finalHoldsStart: path
    // holds exactly start already (a resumed run's log), so updates append
    // to it. copying: apply will be called (else only the mark is kept).
    // False with error when growing cannot be read.
    bool begin(const std::string& path, const std::string& growing, const std::string& start, bool finalHoldsStart,
               bool copying, std::string& error);

    // Reads what the run added to the growing file since the last call.
    bool catchUp(std::string& error);

    // Lines and hash of everything read so far.
    FileMark mark() const { return mark_; }

    // Brings the file under the final name up to what was read: the first
    // time (unless it held the start) a complete copy renamed onto it, then
    // the new bytes appended. On failure the file is as it was.
    bool apply(std::string& error);

    // Cuts off what the last apply appended, when a later step of the same
    // checkpoint failed. A first copy, renamed into place, stays.
    void undo();

private:
    std::string path_;        // the final name
    int growingFd_ = -1;      // the temporary file, for reading
    long long readTo_ = 0;    // bytes of it read so far
    FileMark mark_;           // of those bytes
    std::string pending_;     // read but not yet under the final name
    bool copying_ = false;    // pending_ is kept for apply
    bool placed_ = false;     // the final name holds a copy to append to
    int finalFd_ = -1;        // the final file, opened for appending
    long long finalSize_ = 0; // what it holds
    long long undoSize_ = -1; // its size before the last append, -1 none
};

}  // namespace talvane
