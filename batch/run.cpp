#include "run.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "batch_host.h"
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
}

void loadWorld(const WorldFile& world) {
    for (int i = 0; i < kCellCount; ++i) {
        sim.cellColor[i] = world.color[i];
        sim.selfStrategy[i] = world.self[i];
        sim.otherStrategy[i] = world.other[i];
    }
    // "Paint cells" mode: the restart keeps the world as loaded.
    sim.randomPoolMode = false;
}

WorldFile currentWorld() {
    WorldFile world;
    for (int i = 0; i < kCellCount; ++i) {
        world.color[i] = sim.cellColor[i];
        world.self[i] = sim.selfStrategy[i];
        world.other[i] = sim.otherStrategy[i];
    }
    return world;
}

PairCounts countPairs() {
    PairCounts counts{};
    for (int i = 0; i < kCellCount; ++i) ++counts[sim.selfStrategy[i] * kCodeCount + sim.otherStrategy[i]];
    return counts;
}

void runGenerations(const RunSettings& settings) {
    for (std::int32_t g = 1; g <= settings.generations; ++g) {
        stepGeneration();
        if (settings.onProgress && g % kProgressEvery == 0) settings.onProgress(g);
    }
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

}  // namespace

int runOnce(const RunSettings& settings, const RunContext& context, PairCounts& finalCounts) {
    const bool logToStdout = settings.logPath == "-";
    OutputFile log;
    OutputFile save;
    std::string error;
    if (!logToStdout && !log.create(settings.logPath, error)) return reportFailure(settings.logPath, error);
    if (!settings.savePath.empty() && !save.create(settings.savePath, error)) {
        return reportFailure(settings.savePath, error);
    }

    BatchHost host(settings.seed);
    resetSimState();
    sim.host = &host;
    struct HostGuard {
        ~HostGuard() { sim.host = nullptr; }  // the host dies with this call
    } hostGuard;
    setLogPath(logToStdout ? "-" : log.tempPath().c_str());
    applySettings(settings);
    host.seedRandom(settings.seed);  // the imitation draws of a loaded world, which no seeding reseeds
    if (settings.start) loadWorld(*settings.start);

    restartSimulation();
    runGenerations(settings);
    closeLog();
    finalCounts = countPairs();

    if (logToStdout ? !finishStdoutLog(error) : !logIsComplete(log.tempPath(), settings.generations, error)) {
        return reportFailure(settings.logPath, error);
    }
    if (!settings.savePath.empty() && !save.write(formatWorld(currentWorld()), error)) {
        return reportFailure(settings.savePath, error);
    }
    for (const AfterRunHook& hook : settings.afterRun) {
        if (int status = hook(context); status != kExitOk) return status;
    }
    if (!logToStdout && !log.commit(error)) return reportFailure(settings.logPath, error);
    if (!settings.savePath.empty() && !save.commit(error)) return reportFailure(settings.savePath, error);
    return kExitOk;
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
