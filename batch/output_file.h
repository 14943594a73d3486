// Outputs that appear under their final name only when complete: each is
// written under a temporary name in the same directory and renamed at the end.
// Temporary files still open when the process is interrupted (SIGINT, SIGTERM,
// SIGHUP, SIGPIPE) are removed by the signal handler.
#pragma once

#include <string>

namespace talvane {

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();  // removes the temporary file unless committed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates an empty temporary file beside finalPath, readable as a file
    // created by fopen would be. Returns false and sets error when it cannot.
    bool create(const std::string& finalPath, std::string& error);

    // Writes the whole text to the temporary file, replacing what it holds.
    bool write(const std::string& text, std::string& error);

    // Renames the temporary file to the final name. After this the file is
    // no longer removed.
    bool commit(std::string& error);

    // Removes the temporary file now (idempotent).
    void discard();

    const std::string& tempPath() const { return tempPath_; }
    const std::string& finalPath() const { return finalPath_; }

private:
    std::string finalPath_;
    std::string tempPath_;
    int slot_ = -1;  // entry in the table the signal handler clears
};

// Installs the handlers that remove unfinished outputs on SIGINT, SIGTERM,
// SIGHUP and SIGPIPE, pass the signal on to the runs started as child
// processes, and then end the process as the signal would. Call once, early.
void installOutputCleanup();

// Child processes that an interrupt is passed on to.
void addChildProcess(int pid);
void removeChildProcess(int pid);
// In a freshly forked child: the parent's other children are not its own.
void forgetChildProcesses();

}  // namespace talvane
