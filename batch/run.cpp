#include "run.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "batch_host.h"
#include "file_clash.h"
#include "generation.h"
#include "output_file.h"
#include "population_log.h"
#include "run_control.h"
#include "sim_state.h"

namespace talvane {

namespace {

constexpr std::int32_t kProgressEvery = 256;  // generations between progress calls

int reportFailure(const std::string& path, const std::string& what) {
    std::fprintf(stderr, "talvane-batch: %s: %s\n", path.c_str(), what.c_str());
    return kExitFailure;
}

void applySettings(const RunSettings& settings) {
    sim.payoffCC = settings.payoffs[0];
    sim.payoffCD = settings.payoffs[1];
    sim.payoffDC = settings.payoffs[2];
    sim.payoffDD = settings.payoffs[3];
    sim.competitionMode = settings.competitionMode;
    sim.playSelf = settings.playSelf;
    sim.extraPointSameColor = settings.extraPoint;
    sim.colorLayout = settings.colorLayout;
    for (int i = 0; i < kCodeCount; ++i) {
        sim.selfPool[i] = settings.selfExcluded[i];
        sim.otherPool[i] = settings.otherExcluded[i];
    }
    // Every generation "repaints" through a host that draws nothing; no slow motion.
    sim.frameInterval = 1;
    WorldShape shape = settings.shape;
    if (settings.start) {
        shape.rows = settings.start->rows;
        shape.cols = settings.start->cols;
    }
    sim.world = World(shape);
    sim.stepThreads = settings.threads;
}

void loadWorld(const WorldFile& world) {
    for (int i = 0; i < sim.world.cellCount(); ++i) {
        sim.world.cellColor[i] = static_cast<CellCode>(world.color[i]);
        sim.world.selfStrategy[i] = static_cast<CellCode>(world.self[i]);
        sim.world.otherStrategy[i] = static_cast<CellCode>(world.other[i]);
    }
    // "Paint cells" mode: the restart keeps the world as loaded.
    sim.randomPoolMode = false;
}

WorldFile currentWorld() {
    WorldFile world = WorldFile::ofSize(sim.world.rows(), sim.world.cols());
    for (int i = 0; i < sim.world.cellCount(); ++i) {
        world.color[i] = sim.world.cellColor[i];
        world.self[i] = sim.world.selfStrategy[i];
        world.other[i] = sim.world.otherStrategy[i];
    }
    return world;
}


// Runs the generations; kExitOk, or the status with which onGeneration ended the run.
int runGenerations(const RunSettings& settings) {
    if (settings.onGeneration) {
        if (const int status = settings.onGeneration(sim.world, 0); status != kExitOk) return status;
    }
    for (std::int32_t g = 1; g <= settings.generations; ++g) {
        stepGeneration();
        if (settings.onProgress && g % kProgressEvery == 0) settings.onProgress(g);
        if (settings.onGeneration) {
            if (const int status = settings.onGeneration(sim.world, g); status != kExitOk) return status;
        }
    }
    return kExitOk;
}

// The engine ignores write errors on the log, so the finished file is checked:
// it must hold exactly one complete line per generation.
bool logIsComplete(const std::string& path, std::int32_t generations, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = std::strerror(errno);
        return false;
    }
    std::int64_t lines = 0;
    char last = '\n';
    char buffer[1 << 16];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        for (std::size_t i = 0; i < got; ++i) lines += buffer[i] == '\n';
        last = buffer[got - 1];
    }
    bool readFailed = std::ferror(file) != 0;
    std::fclose(file);
    if (readFailed || lines != generations || last != '\n') {
        error = "the log could not be written completely (" + std::to_string(lines) + " of " +
                std::to_string(generations) + " lines)";
        return false;
    }
    return true;
}

bool finishStdoutLog(std::string& error) {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
    error = "write error on standard output";
    return false;
}

// The files a run writes, checked and prepared before its first generation.
class RunOutputs {
public:
    explicit RunOutputs(const RunSettings& settings)
        : settings_(settings), extras_(settings.extraOutputs.size()) {}

    // Refuses outputs that clash with each other or with the loaded world
    // (kExitUsage) and outputs that cannot be written (kExitFailure).
    int prepare() {
        std::vector<NamedFile> files{{"--log", settings_.logPath}, {"--save", settings_.savePath}};
        for (const ExtraOutput& extra : settings_.extraOutputs) files.push_back({extra.option, extra.path});
        files.push_back({"--load", settings_.loadPath});
        std::string error;
        if (!filesAreDistinct(files, error)) {
            std::fprintf(stderr, "talvane-batch: %s\n", error.c_str());
            return kExitUsage;
        }
        if (logToFile() && !log_.create(settings_.logPath, error)) return reportFailure(settings_.logPath, error);
        if (!settings_.savePath.empty() && !save_.create(settings_.savePath, error)) {
            return reportFailure(settings_.savePath, error);
        }
        for (std::size_t i = 0; i < extras_.size(); ++i) {
            const ExtraOutput& extra = settings_.extraOutputs[i];
            if (!extras_[i].create(extra.path, error)) {
                reportFailure(extra.path, error);
                return extra.writeFailure;
            }
        }
        return kExitOk;
    }

    // Where the engine writes the log lines.
    std::string logTarget() const { return logToFile() ? log_.writePath() : settings_.logPath; }

    // Checks the log the engine wrote and closes it, then writes the saved
    // world and the extra outputs.
    int finish() {
        std::string error;
        const bool streamOk = logStreamHealthy(error);
        closeLog();
        if (settings_.logPath.empty()) {
            // No log asked for: nothing to check.
        } else if (!streamOk || (logToFile() && !log_.direct() &&
                                 !logIsComplete(log_.writePath(), settings_.generations, error))) {
            return reportFailure(settings_.logPath, error);
        } else if (settings_.logPath == "-" && !finishStdoutLog(error)) {
            return reportFailure(settings_.logPath, error);
        }
        if (!settings_.savePath.empty() && !save_.write(formatWorld(currentWorld()), error)) {
            return reportFailure(settings_.savePath, error);
        }
        for (std::size_t i = 0; i < extras_.size(); ++i) {
            const ExtraOutput& extra = settings_.extraOutputs[i];
            std::string bytes;
            if (const int status = extra.render(bytes, error); status != kExitOk) {
                std::fprintf(stderr, "talvane-batch: %s\n", error.c_str());
                return status;
            }
            if (!extras_[i].write(bytes, error)) {
                reportFailure(extra.path, error);
                return extra.writeFailure;
            }
        }
        return kExitOk;
    }

    // Puts every output under its final name; a signal waits until all are.
    int commit() {
        const SignalBlock block;
        std::string error;
        if (logToFile() && !log_.commit(error)) return reportFailure(settings_.logPath, error);
        if (!settings_.savePath.empty() && !save_.commit(error)) return reportFailure(settings_.savePath, error);
        for (std::size_t i = 0; i < extras_.size(); ++i) {
            if (!extras_[i].commit(error)) {
                reportFailure(settings_.extraOutputs[i].path, error);
                return settings_.extraOutputs[i].writeFailure;
            }
        }
        return kExitOk;
    }

private:
    bool logToFile() const { return !settings_.logPath.empty() && settings_.logPath != "-"; }

    // The engine ignores write errors on the log: its stream tells them.
    bool logStreamHealthy(std::string& error) const {
        if (settings_.logPath.empty()) return true;
        if (sim.logFile == nullptr) {
            if (settings_.generations == 0) return true;
            error = "the log could not be opened";
            return false;
        }
        if (std::fflush(sim.logFile) != 0 || std::ferror(sim.logFile)) {
            error = std::string("write error on the log: ") + std::strerror(errno);
            return false;
        }
        return true;
    }

    const RunSettings& settings_;
    OutputFile log_;
    OutputFile save_;
    std::vector<OutputFile> extras_;
};

}  // namespace

int runOnce(const RunSettings& settings, PairCounts& finalCounts) {
    RunOutputs outputs(settings);
    if (const int status = outputs.prepare(); status != kExitOk) return status;

    BatchHost host(settings.seed);
    resetSimState();
    sim.host = &host;
    struct HostGuard {
        ~HostGuard() { sim.host = nullptr; }  // the host dies with this call
    } hostGuard;
    // With no log only a run of no generations goes here, and it writes no line.
    setLogPath(settings.logPath.empty() ? "-" : outputs.logTarget().c_str());
    applySettings(settings);
    host.seedRandom(settings.seed);  // the imitation draws of a loaded world, which no seeding reseeds
    if (settings.start) loadWorld(*settings.start);

    restartSimulation();
    if (const int status = runGenerations(settings); status != kExitOk) return status;
    finalCounts = sim.world.countPairs();
    if (const int status = outputs.finish(); status != kExitOk) return status;
    return outputs.commit();
}

std::string numberedPath(const std::string& path, int run) {
    const std::size_t slash = path.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::size_t dot = path.rfind('.');
    // A dot that starts the file name (".hidden") or lies in a directory is no extension.
    if (dot == std::string::npos || dot <= nameStart) dot = path.size();
    return path.substr(0, dot) + "-" + std::to_string(run) + path.substr(dot);
}

}  // namespace talvane
