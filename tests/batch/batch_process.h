// Runs talvane-batch as a child process in a private directory and collects
// what it printed, for the tests that check the program from the outside.
#pragma once

#include <chrono>
#include <cstdlib>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace talvane::testing {

// Sets an environment variable for the lifetime of the guard.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value, 1);
    }
    ~ScopedEnv() {
        if (old_) ::setenv(name_, old_->c_str(), 1);
        else ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

// What a finished run of the program left behind.
struct Outcome {
    int status = -1;   // exit status, or 128 + signal number
    std::string out;   // standard output
    std::string err;   // standard error
};

// Who the program runs as.
enum class User {
    me,      // the user running the tests
    nobody,  // uid and gid 65534 with no groups when the tests run as root, else me
};

// A fresh working directory, removed at the end of the test; owned by the
// user the program runs as, and writable by no one else. Whatever the
// program started and left running is killed at the end too.
class Sandbox {
public:
    explicit Sandbox(User user = User::me);
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    // Runs talvane-batch with args in the working directory; waits at most
    // timeout, then kills it and records the status as -1.
    Outcome run(const std::vector<std::string>& args,
                std::chrono::seconds timeout = std::chrono::seconds(60)) const;

    // Starts talvane-batch in a process group of its own (id: the process
    // id) and returns its process id without waiting;
    // ignored: signals it inherits as ignored (as under nohup).
    int start(const std::vector<std::string>& args, const std::vector<int>& ignored = {}) const;
    // Waits for a started process; see run (a timeout kills its whole group).
    Outcome wait(int pid, std::chrono::seconds timeout = std::chrono::seconds(60)) const;

    std::string path(const std::string& name) const;  // a name inside the working directory
    void write(const std::string& name, const std::string& text) const;
    std::string read(const std::string& name) const;  // whole file, "" if missing
    bool exists(const std::string& name) const;
    std::set<std::string> files() const;  // names in the working directory
    // Waits (at most timeout) until count temporary outputs (hidden files)
    // hold data; false when they never do.
    bool awaitTemporaryFiles(std::size_t count, std::chrono::seconds timeout = std::chrono::seconds(30)) const;
    void own(const std::string& name) const;  // gives a file made by the test to the program's user
    bool switchesUser() const { return switchUser_; }  // the program runs as another user than the tests

private:
    bool switchUser_ = false;
    mutable std::vector<int> started_;  // process groups started, killed at the end
    std::string work_;     // the program's working directory
    std::string capture_;  // where its standard output and error go
};

}  // namespace talvane::testing

// The start of a test that draws with OpenGL on an X display: skipped when
// TALVANE_SKIP_GL_TESTS is set (a machine with no display to run them on),
// else a failure without a display.
#define TALVANE_NEEDS_GL_DISPLAY()                                                            \
    do {                                                                                      \
        if (std::getenv("TALVANE_SKIP_GL_TESTS")) GTEST_SKIP() << "TALVANE_SKIP_GL_TESTS is set"; \
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "the snapshot needs an X display (run under xvfb-run)"; \
    } while (false)
