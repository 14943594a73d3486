// Outputs that never clobber what they should not. A regular file (or a name
// not yet taken) is written under a short temporary name in the folder of the
// file, and renamed onto it only when complete; the replaced file's mode (and
// owner, where the user may keep it) carries over. A symbolic link is written
// through: the file it points to is the one replaced, the link stays. A
// character device or a named pipe is written straight into, with no
// temporary file and no rename. Anything else (a directory, a block device, a
// socket) and a file the user may not write are refused.
//
// Temporary files still open when a signal ends the process are removed by
// the signal handler, whichever thread of the process made them and
// whichever takes the signal; an inherited "ignore" (nohup) is kept.
#pragma once

#include <signal.h>

#include <cstdio>
#include <string>

namespace talvane {

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();  // removes the temporary file unless committed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Checks path and prepares to write it: for a file, creates the empty
    // temporary file with the mode the result will have. Returns false and
    // sets error when the output cannot be written.
    bool create(const std::string& path, std::string& error);

    // Writes the whole text to the temporary file (replacing what it holds),
    // or straight into the device or pipe.
    bool write(const std::string& text, std::string& error);

    // Renames the temporary file onto the target (nothing to do for a device
    // or pipe). After this the file is no longer removed.
    bool commit(std::string& error);

    // Removes the temporary file now (idempotent).
    void discard();

    // True when the target is a device or pipe written in place.
    bool direct() const { return direct_; }
    // Where the contents go now: the temporary file, or the device or pipe.
    const std::string& writePath() const { return direct_ ? target_ : tempPath_; }

private:
    std::string target_;    // the file finally written, symbolic links resolved
    std::string tempPath_;  // the temporary file, empty when none
    bool direct_ = false;
    int slot_ = -1;  // entry in the table the signal handler clears
};

// Writes bytes as the whole contents of path through an OutputFile: created,
// written and committed, or left as it was. Returns false with error set
// (what went wrong, without the path) when the output cannot be written.
bool writeOutputFile(const std::string& path, const std::string& bytes, std::string& error);

// Opens what OutputFile::create made (its writePath()) as a stream, emptied
// or for appending; never creates a file, so a temporary file that the
// signal handler removed stays removed. Null with errno set on failure.
std::FILE* openCreated(const std::string& path, bool append);

// The file a path finally names: symbolic links followed (also dangling ones,
// to the name they point to). Returns path unchanged when it is no link.
std::string followLinks(const std::string& path);

// True when path (through links) names something that exists and is not a
// regular file: a device, a pipe, a directory. A name that cannot be looked up
// is left to the writing to report.
bool namesNonRegularFile(const std::string& path);

// Installs the handlers that, on any signal that ends the process, remove
// unfinished outputs, pass the signal on to the child processes (the movie
// encoder), and then end the process as the signal would. Signals the
// process inherited as ignored stay ignored. Call once, early.
void installOutputCleanup();

// Blocks every signal that can be blocked on this thread for the lifetime of
// the guard, and keeps the signal handler of any other thread from cleaning
// up until the guard ends, so that a temporary file and its entry in the
// cleanup table (or a child and its entry in the child table, or a run's
// outputs and their renames) come and go together. Once a signal is ending
// the process, a guard being made waits for the end instead of returning.
class SignalBlock {
public:
    SignalBlock();
    ~SignalBlock();
    SignalBlock(const SignalBlock&) = delete;
    SignalBlock& operator=(const SignalBlock&) = delete;

    // The signal mask before the guard: the one a program started inside it
    // should run with.
    const sigset_t& before() const { return saved_; }

private:
    sigset_t saved_{};  // the signal mask before the guard
};

// Child processes that an ending signal is passed on to.
void addChildProcess(int pid);
void removeChildProcess(int pid);

}  // namespace talvane
