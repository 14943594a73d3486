#include "snapshot_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>

#include "snapshot.h"

namespace talvane {
namespace {

using RenderFunction = int (*)(const FrameDescription*, std::string*, std::string*);
using CheckFunction = int (*)(std::string*);
using SizeFunction = unsigned long (*)();

// The module's entry points, once loaded.
struct SnapshotModule {
    RenderFunction render = nullptr;  // talvane_snapshot_render
    CheckFunction check = nullptr;    // talvane_snapshot_check
    std::string error;                // why it could not be loaded
};

std::string programFolder() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return ".";
    const std::string exe(path, static_cast<std::size_t>(length));
    const std::size_t slash = exe.rfind('/');
    return slash == std::string::npos ? "." : exe.substr(0, slash);
}

// The entry points, provided the module draws the description this program fills.
void findEntryPoints(void* handle, SnapshotModule& module) {
    const auto size = reinterpret_cast<SizeFunction>(dlsym(handle, "talvane_snapshot_description_size"));
    module.render = reinterpret_cast<RenderFunction>(dlsym(handle, "talvane_snapshot_render"));
    module.check = reinterpret_cast<CheckFunction>(dlsym(handle, "talvane_snapshot_check"));
    if (!size || !module.render || !module.check) {
        module.error = "the snapshot module lacks its entry points";
    } else if (size() != sizeof(FrameDescription)) {
        module.error = "the snapshot module " TALVANE_SNAPSHOT_MODULE " belongs to another version of talvane-batch";
    } else {
        return;
    }
    module.render = nullptr;
    module.check = nullptr;
}

// Beside the program in the build tree; under the library folder once installed.
SnapshotModule loadModule() {
    SnapshotModule module;
    const std::string folder = programFolder();
    const std::string candidates[] = {folder + "/" TALVANE_SNAPSHOT_MODULE,
                                      folder + "/" TALVANE_SNAPSHOT_MODULE_FROM_BINDIR "/" TALVANE_SNAPSHOT_MODULE};
    void* handle = nullptr;
    for (const std::string& candidate : candidates) {
        if (access(candidate.c_str(), F_OK) != 0) continue;
        handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle) break;
        module.error = std::string("cannot load the snapshot module: ") + dlerror();
        return module;
    }
    if (!handle) {
        module.error = "the snapshot module " TALVANE_SNAPSHOT_MODULE " is not installed beside talvane-batch";
        return module;
    }
    findEntryPoints(handle, module);
    return module;
}

const SnapshotModule& snapshotModule() {
    static const SnapshotModule module = loadModule();
    return module;
}

}  // namespace

int snapshotPngThroughModule(const FrameDescription& frame, std::string& png, std::string& error) {
    const SnapshotModule& module = snapshotModule();
    if (!module.render || !module.check) {
        error = module.error;
        return kSnapshotNoGl;
    }
    return module.render(&frame, &png, &error);
}

int checkSnapshotThroughModule(std::string& error) {
    const SnapshotModule& module = snapshotModule();
    if (!module.render || !module.check) {
        error = module.error;
        return kSnapshotNoGl;
    }
    return module.check(&error);
}

}  // namespace talvane
