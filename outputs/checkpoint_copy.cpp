#include "checkpoint_copy.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "output_file.h"

namespace talvane {

namespace {

void addToMark(FileMark& mark, const char* data, std::size_t size) {
    mark.hash = fnv1a(mark.hash, data, size);
    mark.lines += std::count(data, data + size, '\n');
}

bool appendAll(int fd, const std::string& text, std::string& error) {
    const char* at = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t done = ::write(fd, at, left);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) {
            error = std::strerror(done < 0 ? errno : EIO);
            return false;
        }
        at += done;
        left -= static_cast<std::size_t>(done);
    }
    return true;
}

}  // namespace

CheckpointCopy::~CheckpointCopy() {
    if (growingFd_ >= 0) close(growingFd_);
    if (finalFd_ >= 0) close(finalFd_);
}

bool CheckpointCopy::begin(const std::string& path, const std::string& growing, const std::string& start,
                           bool finalHoldsStart, bool copying, std::string& error) {
    path_ = path;
    copying_ = copying;
    growingFd_ = open(growing.c_str(), O_RDONLY | O_CLOEXEC);
    if (growingFd_ < 0) {
        error = std::strerror(errno);
        return false;
    }
    readTo_ = static_cast<long long>(start.size());
    mark_ = {0, kFnvBasis};
    addToMark(mark_, start.data(), start.size());
    placed_ = finalHoldsStart;
    finalSize_ = placed_ ? readTo_ : 0;
    pending_ = placed_ || !copying_ ? std::string() : start;
    return true;
}

bool CheckpointCopy::catchUp(std::string& error) {
    char buffer[1 << 16];
    while (true) {
        const ssize_t got = pread(growingFd_, buffer, sizeof buffer, static_cast<off_t>(readTo_));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            error = std::string("cannot be read back: ") + std::strerror(errno);
            return false;
        }
        if (got == 0) return true;
        addToMark(mark_, buffer, static_cast<std::size_t>(got));
        if (copying_) pending_.append(buffer, static_cast<std::size_t>(got));
        readTo_ += got;
    }
}

bool CheckpointCopy::apply(std::string& error) {
    undoSize_ = -1;
    if (!placed_) {
        OutputFile copy;
        if (!copy.create(path_, error) || !copy.write(pending_, error) || !copy.commit(error)) return false;
        placed_ = true;
        finalSize_ = static_cast<long long>(pending_.size());
        pending_.clear();
        return true;
    }
    if (pending_.empty()) return true;
    if (finalFd_ < 0) {
        finalFd_ = open(path_.c_str(), O_WRONLY | O_APPEND | O_NOCTTY | O_CLOEXEC);
        if (finalFd_ < 0) {
            error = std::strerror(errno);
            return false;
        }
    }
    struct stat info {};
    if (fstat(finalFd_, &info) != 0 || info.st_size != finalSize_) {
        error = "changed by something else during the run; left as it is";
        return false;
    }
    if (!appendAll(finalFd_, pending_, error)) {
        if (ftruncate(finalFd_, static_cast<off_t>(finalSize_)) != 0) error += " (and cannot be cut back)";
        return false;
    }
    undoSize_ = finalSize_;
    finalSize_ += static_cast<long long>(pending_.size());
    pending_.clear();
    return true;
}

void CheckpointCopy::undo() {
    if (undoSize_ < 0 || finalFd_ < 0) return;
    if (ftruncate(finalFd_, static_cast<off_t>(undoSize_)) == 0) finalSize_ = undoSize_;
    undoSize_ = -1;
}

}  // namespace talvane
