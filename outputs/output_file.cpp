#include "output_file.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace talvane {

namespace {

// Temporary files the signal handler removes: pointers to the paths their
// OutputFile holds. Fixed storage, because the handler may use only
// async-signal-safe calls: no allocation, no locks. Room for a dozen outputs
// of each of 4,096 runs on threads of one process.
constexpr int kSlots = 1 << 16;
std::array<std::atomic<const char*>, kSlots> pendingPaths{};

constexpr int kChildSlots = 4096;
std::array<std::atomic<int>, kChildSlots> childPids{};

// The handler and the threads of the process agree through these two: a
// thread inside a SignalBlock is counted in sectionsOpen, and the handler,
// once it has set ending, waits until none is counted before it removes
// anything, so a file and its entry, or a run's renames, are never caught
// half done by a signal taken on another thread. A thread that would open
// a section after ending was set waits for the end instead.
std::atomic<int> sectionsOpen{0};
std::atomic<bool> ending{false};
thread_local int blockDepth = 0;  // SignalBlocks open on this thread

// How long the handler waits for the open sections: they are short, but one
// may wait for a lock (the allocator's, standard error's) that the thread
// the handler interrupted holds, and then it never closes.
constexpr int kSectionWaitMs = 2000;

constexpr std::size_t kPathMax = 4096;

// Symbolic links followed before giving up, as the kernel does (ELOOP).
constexpr int kMaxLinks = 40;

// A short temporary name: it fits in the folder whenever the final name does.
constexpr const char* kTempPattern = ".tvXXXXXX";

int claimSlot(const std::string& path) {
    for (int i = 0; i < kSlots; ++i) {
        const char* empty = nullptr;
        if (pendingPaths[i].compare_exchange_strong(empty, path.c_str())) return i;
    }
    return -1;
}

void releaseSlot(int& slot) {
    if (slot >= 0) pendingPaths[slot].store(nullptr);
    slot = -1;
}

// The process is ending on another thread's signal: nothing more is done here.
[[noreturn]] void waitForTheEnd() {
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    for (;;) pause();
}

void awaitOpenSections() {
    const timespec millisecond{0, 1000000};
    for (int waited = 0; sectionsOpen.load() > 0 && waited < kSectionWaitMs; ++waited) {
        nanosleep(&millisecond, nullptr);
    }
}

// Faults the process itself caused: the signal is not the children's business.
bool isFault(int signo) {
    return signo == SIGILL || signo == SIGTRAP || signo == SIGABRT || signo == SIGBUS || signo == SIGFPE ||
           signo == SIGSEGV || signo == SIGSYS;
}

extern "C" void removePendingAndDie(int signo) {
    if (ending.exchange(true)) waitForTheEnd();
    awaitOpenSections();
    if (!isFault(signo)) {
        for (auto& pid : childPids) {
            if (int child = pid.load(); child > 0) kill(child, signo);
        }
    }
    for (auto& path : pendingPaths) {
        if (const char* pending = path.load()) unlink(pending);
    }
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signo, &fallback, nullptr);
    raise(signo);  // delivered, with its default action, once the handler returns
}

// Every signal whose default action ends the process and that can be caught.
std::vector<int> endingSignals() {
    std::vector<int> signals{SIGHUP,  SIGINT,  SIGQUIT, SIGILL,  SIGTRAP,   SIGABRT, SIGBUS, SIGFPE,
                             SIGUSR1, SIGSEGV, SIGUSR2, SIGPIPE, SIGALRM,   SIGTERM, SIGXCPU, SIGXFSZ,
                             SIGVTALRM, SIGPROF, SIGIO, SIGPWR, SIGSYS};
#ifdef SIGSTKFLT
    signals.push_back(SIGSTKFLT);
#endif
    for (int signo = SIGRTMIN; signo <= SIGRTMAX; ++signo) signals.push_back(signo);
    return signals;
}

// Installs the cleanup handler on signo; force replaces an inherited "ignore".
void catchSignal(int signo, bool force) {
    struct sigaction old {};
    if (sigaction(signo, nullptr, &old) != 0) return;
    if (old.sa_handler == SIG_IGN && !force) return;
    struct sigaction action {};
    action.sa_handler = removePendingAndDie;
    sigfillset(&action.sa_mask);  // one cleanup at a time
    sigaction(signo, &action, nullptr);
}

std::string directoryOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return "";
    return path.substr(0, slash + 1);
}

std::string baseOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

mode_t creationMode() {
    mode_t mask = umask(0);
    umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
}

// Gives the fresh temporary file what the file it replaces had: owner and
// group where the user may set them, and the mode (set-id bits only when the
// owner or group they belong to carried over).
void copyOwnerAndMode(int fd, const struct stat& replaced) {
    if (fchown(fd, replaced.st_uid, replaced.st_gid) != 0) {
        if (fchown(fd, static_cast<uid_t>(-1), replaced.st_gid) != 0) {
            // Neither could be kept; the file stays the user's.
        }
    }
    mode_t mode = replaced.st_mode & 07777;
    struct stat now {};
    if (fstat(fd, &now) == 0) {
        if (now.st_uid != replaced.st_uid) mode &= ~static_cast<mode_t>(S_ISUID);
        if (now.st_gid != replaced.st_gid) mode &= ~static_cast<mode_t>(S_ISGID);
    }
    fchmod(fd, mode);
}

bool writeAll(int fd, const std::string& text, std::string& error) {
    const char* data = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        ssize_t done = ::write(fd, data, left);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) {
            error = std::strerror(done < 0 ? errno : EIO);
            return false;
        }
        data += done;
        left -= static_cast<std::size_t>(done);
    }
    return true;
}

}  // namespace

std::string followLinks(const std::string& path) {
    std::string at = path;
    for (int hop = 0; hop < kMaxLinks; ++hop) {
        struct stat info {};
        if (lstat(at.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return at;
        std::vector<char> target(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : kPathMax) + 1);
        const ssize_t size = readlink(at.c_str(), target.data(), target.size());
        if (size < 0 || static_cast<std::size_t>(size) >= target.size()) return at;
        const std::string next(target.data(), static_cast<std::size_t>(size));
        at = next.front() == '/' ? next : directoryOf(at) + next;
    }
    return at;
}

bool namesNonRegularFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
}

OutputFile::~OutputFile() { discard(); }

bool OutputFile::create(const std::string& path, std::string& error) {
    discard();
    direct_ = false;
    target_ = followLinks(path);
    const std::string base = baseOf(target_);
    if (base.empty() || base == "." || base == "..") {
        error = "not a file name";
        return false;
    }
    struct stat info {};
    const bool exists = stat(target_.c_str(), &info) == 0;
    if (!exists && errno != ENOENT) {
        error = std::strerror(errno);
        return false;
    }
    if (exists) {
        if (S_ISDIR(info.st_mode)) {
            error = "is a directory";
            return false;
        }
        if (!S_ISREG(info.st_mode) && !S_ISCHR(info.st_mode) && !S_ISFIFO(info.st_mode)) {
            error = "is not a file, a character device or a pipe; refusing to write it";
            return false;
        }
        // A file the user may not write is not replaced behind the user's back.
        if (faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0) {
            error = std::string("cannot be written: ") + std::strerror(errno);
            return false;
        }
        if (!S_ISREG(info.st_mode)) {
            direct_ = true;
            return true;
        }
    }
    std::string pattern = directoryOf(target_) + kTempPattern;
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const SignalBlock block;  // the file and its cleanup entry appear together
    const int fd = mkstemp(name.data());
    if (fd < 0) {
        const std::string folder = directoryOf(target_).empty() ? "." : directoryOf(target_);
        error = "cannot create a file in " + folder + ": " + std::strerror(errno);
        return false;
    }
    if (exists) {
        copyOwnerAndMode(fd, info);
    } else {
        fchmod(fd, creationMode());
    }
    close(fd);
    tempPath_ = name.data();
    slot_ = claimSlot(tempPath_);
    return true;
}

bool OutputFile::write(const std::string& text, std::string& error) {
    const int flags = direct_ ? O_WRONLY | O_NOCTTY | O_CLOEXEC : O_WRONLY | O_TRUNC | O_CLOEXEC;
    const int fd = open(writePath().c_str(), flags);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    if (!writeAll(fd, text, error)) {
        close(fd);
        return false;
    }
    if (close(fd) != 0) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

bool OutputFile::commit(std::string& error) {
    if (direct_) return true;
    const SignalBlock block;
    if (std::rename(tempPath_.c_str(), target_.c_str()) != 0) {
        error = std::strerror(errno);
        return false;
    }
    releaseSlot(slot_);
    tempPath_.clear();
    return true;
}

void OutputFile::discard() {
    if (tempPath_.empty()) return;
    const SignalBlock block;
    unlink(tempPath_.c_str());
    releaseSlot(slot_);
    tempPath_.clear();
}

std::FILE* openCreated(const std::string& path, bool append) {
    const int flags = O_WRONLY | O_NOCTTY | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
    const int fd = open(path.c_str(), flags);
    if (fd < 0) return nullptr;
    std::FILE* file = fdopen(fd, append ? "ab" : "wb");
    if (file == nullptr) close(fd);
    return file;
}

bool writeOutputFile(const std::string& path, const std::string& bytes, std::string& error) {
    OutputFile out;
    return out.create(path, error) && out.write(bytes, error) && out.commit(error);
}

SignalBlock::SignalBlock() {
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &saved_);
    if (blockDepth++ > 0) return;
    sectionsOpen.fetch_add(1);
    if (!ending.load()) return;
    sectionsOpen.fetch_sub(1);
    waitForTheEnd();
}

SignalBlock::~SignalBlock() {
    if (--blockDepth == 0) sectionsOpen.fetch_sub(1);
    pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
}

void addChildProcess(int pid) {
    for (auto& slot : childPids) {
        int empty = 0;
        if (slot.compare_exchange_strong(empty, pid)) return;
    }
}

void removeChildProcess(int pid) {
    for (auto& slot : childPids) {
        int expected = pid;
        if (slot.compare_exchange_strong(expected, 0)) return;
    }
}

void installOutputCleanup() {
    for (int signo : endingSignals()) catchSignal(signo, false);
}

}  // namespace talvane
