#include "output_file.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace talvane {

namespace {

// Temporary files the signal handler removes. Fixed storage, because the
// handler may use only async-signal-safe calls: no allocation, no locks.
constexpr int kSlots = 8;
constexpr std::size_t kPathMax = 4096;
std::array<std::array<char, kPathMax>, kSlots> pendingPaths{};
std::array<std::atomic<bool>, kSlots> pendingUsed{};

constexpr int kChildSlots = 4096;
std::array<std::atomic<int>, kChildSlots> childPids{};

int claimSlot(const std::string& path) {
    if (path.size() >= kPathMax) return -1;
    for (int i = 0; i < kSlots; ++i) {
        if (pendingUsed[i].load()) continue;
        std::memcpy(pendingPaths[i].data(), path.c_str(), path.size() + 1);
        pendingUsed[i].store(true);
        return i;
    }
    return -1;
}

void releaseSlot(int& slot) {
    if (slot >= 0) pendingUsed[slot].store(false);
    slot = -1;
}

extern "C" void removePendingAndDie(int signo) {
    for (auto& pid : childPids) {
        if (int child = pid.load(); child > 0) kill(child, signo);
    }
    for (int i = 0; i < kSlots; ++i) {
        if (pendingUsed[i].load()) unlink(pendingPaths[i].data());
    }
    std::signal(signo, SIG_DFL);
    raise(signo);
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

}  // namespace

OutputFile::~OutputFile() { discard(); }

bool OutputFile::create(const std::string& finalPath, std::string& error) {
    discard();
    finalPath_ = finalPath;
    std::string base = baseOf(finalPath);
    if (base.empty() || base == "." || base == "..") {
        error = "not a file name";
        return false;
    }
    struct stat info {};
    if (stat(finalPath.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        error = "is a directory";
        return false;
    }
    std::vector<char> name;
    std::string pattern = directoryOf(finalPath) + "." + base + ".tmp-XXXXXX";
    name.assign(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    fchmod(fd, creationMode());
    close(fd);
    tempPath_ = name.data();
    slot_ = claimSlot(tempPath_);
    return true;
}

bool OutputFile::write(const std::string& text, std::string& error) {
    int fd = open(tempPath_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    const char* data = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        ssize_t done = ::write(fd, data, left);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) {
            error = std::strerror(done < 0 ? errno : EIO);
            close(fd);
            return false;
        }
        data += done;
        left -= static_cast<std::size_t>(done);
    }
    if (close(fd) != 0) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

bool OutputFile::commit(std::string& error) {
    if (std::rename(tempPath_.c_str(), finalPath_.c_str()) != 0) {
        error = std::strerror(errno);
        return false;
    }
    releaseSlot(slot_);
    tempPath_.clear();
    return true;
}

void OutputFile::discard() {
    if (tempPath_.empty()) return;
    unlink(tempPath_.c_str());
    releaseSlot(slot_);
    tempPath_.clear();
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

void forgetChildProcesses() {
    for (auto& slot : childPids) slot.store(0);
}

void installOutputCleanup() {
    struct sigaction action {};
    action.sa_handler = removePendingAndDie;
    sigemptyset(&action.sa_mask);
    for (int signo : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaction(signo, &action, nullptr);
}

}  // namespace talvane
