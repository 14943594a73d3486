#include "file_clash.h"

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "output_file.h"

namespace talvane {

namespace {

// What makes two names one file.
struct FileKey {
    bool exists = false;  // the file exists: compare device and inode
    dev_t device = 0;
    ino_t inode = 0;
    std::string folder;  // the real folder, for a file not yet there
    std::string name;    // the name in that folder
};

std::string realFolder(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    char real[PATH_MAX];
    return realpath(folder.c_str(), real) != nullptr ? std::string(real) : folder;
}

std::string nameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

FileKey keyOf(const std::string& path) {
    FileKey key;
    struct stat info {};
    if (path == "-") {
        // Standard output clashes only when it is a file of its own.
        if (fstat(STDOUT_FILENO, &info) == 0 && S_ISREG(info.st_mode)) {
            key.exists = true;
            key.device = info.st_dev;
            key.inode = info.st_ino;
        } else {
            key.name.assign(1, '-');  // (not = "-": GCC 12 warns of an overlap that cannot happen)
        }
        return key;
    }
    if (stat(path.c_str(), &info) == 0) {
        key.exists = true;
        key.device = info.st_dev;
        key.inode = info.st_ino;
        return key;
    }
    const std::string target = followLinks(path);
    key.folder = realFolder(target);
    key.name = nameOf(target);
    return key;
}

bool sameFile(const FileKey& a, const FileKey& b) {
    if (a.exists != b.exists) return false;
    if (a.exists) return a.device == b.device && a.inode == b.inode;
    if (a.name == "-" || b.name == "-") return false;
    return a.folder == b.folder && a.name == b.name;
}

// True when name is stem-N.ext (stem and ext of outputName) with 1 <= N <= runs.
bool isNumberedName(const std::string& name, const std::string& outputName, int runs) {
    std::size_t dot = outputName.rfind('.');
    if (dot == std::string::npos || dot == 0) dot = outputName.size();
    const std::string stem = outputName.substr(0, dot) + "-";
    const std::string ext = outputName.substr(dot);
    if (name.size() <= stem.size() + ext.size() || name.compare(0, stem.size(), stem) != 0 ||
        name.compare(name.size() - ext.size(), ext.size(), ext) != 0) {
        return false;
    }
    const std::string digits = name.substr(stem.size(), name.size() - stem.size() - ext.size());
    if (digits.size() > 9 || digits.front() == '0') return false;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
    }
    return std::atoi(digits.c_str()) <= runs;
}

}  // namespace

bool filesAreDistinct(const std::vector<NamedFile>& files, std::string& error) {
    std::vector<FileKey> keys;
    for (const NamedFile& file : files) keys.push_back(keyOf(file.path));
    for (std::size_t i = 0; i < files.size(); ++i) {
        for (std::size_t j = i + 1; j < files.size(); ++j) {
            if (files[i].path.empty() || files[j].path.empty() || !sameFile(keys[i], keys[j])) continue;
            error = files[i].option + " " + files[i].path + " and " + files[j].option + " " + files[j].path +
                    " name the same file";
            return false;
        }
    }
    return true;
}

bool inputOutsideNumberedOutputs(const NamedFile& input, const std::vector<NamedFile>& outputs, int runs,
                                 std::string& error) {
    if (input.path.empty()) return true;
    for (const std::string& inputPath : {input.path, followLinks(input.path)}) {
        const std::string folder = realFolder(inputPath);
        const std::string name = nameOf(inputPath);
        for (const NamedFile& output : outputs) {
            if (output.path.empty() || output.path == "-") continue;
            if (realFolder(output.path) != folder || !isNumberedName(name, nameOf(output.path), runs)) continue;
            error = input.option + " " + input.path + " is one of the files " + output.option + " " + output.path +
                    " numbers for " + std::to_string(runs) + " runs";
            return false;
        }
    }
    return true;
}

bool isFrameName(const std::string& name) {
    constexpr std::size_t kPrefix = 4, kSuffix = 4;  // "gen-", ".png"
    if (name.size() < kPrefix + 6 + kSuffix || name.compare(0, kPrefix, "gen-") != 0 ||
        name.compare(name.size() - kSuffix, kSuffix, ".png") != 0) {
        return false;
    }
    for (std::size_t i = kPrefix; i < name.size() - kSuffix; ++i) {
        if (name[i] < '0' || name[i] > '9') return false;
    }
    return true;
}

// The folder of path as a key: its real path, or (when it does not exist
// yet, as a frames folder made at the start of the run) the absolute path
// with "." and ".." worked out.
std::string folderKey(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    char real[PATH_MAX];
    if (realpath(folder.c_str(), real) != nullptr) return real;
    std::error_code ignored;
    std::string key = std::filesystem::absolute(folder, ignored).lexically_normal().string();
    while (key.size() > 1 && key.back() == '/') key.pop_back();
    return key;
}

bool outsideFramesFolder(const std::string& dir, const std::vector<NamedFile>& files, std::string& error) {
    if (dir.empty()) return true;
    const std::string folder = folderKey(dir + "/x");
    for (const NamedFile& file : files) {
        if (file.path.empty() || file.path == "-") continue;
        for (const std::string& path : {file.path, followLinks(file.path)}) {
            if (!isFrameName(nameOf(path)) || folderKey(path) != folder) continue;
            error = file.option + " " + file.path + " is one of the frames --frames " + dir + " writes";
            return false;
        }
    }
    return true;
}

bool resumeIsNoOtherOutput(const std::vector<NamedFile>& files, const std::string& resumePath, std::string& error) {
    if (resumePath.empty()) return true;
    std::vector<NamedFile> others;
    for (const NamedFile& file : files) {
        if (file.option != "--checkpoint") others.push_back(file);
    }
    others.push_back({"--resume", resumePath});
    return filesAreDistinct(others, error);
}

}  // namespace talvane
