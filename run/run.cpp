#include "run.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

#include "checkpoint_copy.h"
#include "file_clash.h"
#include "metadata.h"
#include "output_file.h"
#include "population_log.h"
#include "run_description.h"
#include "run_world.h"
#include "statistics.h"

namespace talvane {

namespace {

constexpr std::int32_t kProgressEvery = 256;  // generations between progress calls

int reportFailure(const std::string& path, const std::string& what) {
    std::fprintf(stderr, "talvane-batch: %s: %s\n", path.c_str(), what.c_str());
    return kExitFailure;
}

// Counts the line feeds of a file; false when it cannot be read. last: its
// last byte ('\n' for an empty file).
bool countLines(const std::string& path, std::int64_t& lines, char& last, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = std::strerror(errno);
        return false;
    }
    lines = 0;
    last = '\n';
    char buffer[1 << 16];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        for (std::size_t i = 0; i < got; ++i) lines += buffer[i] == '\n';
        last = buffer[got - 1];
    }
    const bool readFailed = std::ferror(file) != 0;
    std::fclose(file);
    if (readFailed) error = "read error";
    return !readFailed;
}

// The engine ignores write errors on the log, so the finished file is checked:
// it must hold exactly one complete line per generation.
bool logIsComplete(const std::string& path, std::int64_t generations, std::string& error) {
    std::int64_t lines = 0;
    char last = '\n';
    if (!countLines(path, lines, last, error)) return false;
    if (lines != generations || last != '\n') {
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

bool readWhole(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream out;
    out << in.rdbuf();
    text = out.str();
    return !in.bad();
}

FileMark markOf(const std::string& text) {
    return {static_cast<std::int64_t>(std::count(text.begin(), text.end(), '\n')),
            fnv1a(kFnvBasis, text.data(), text.size())};
}

// A resumed run goes on with the log and the table of the run it
// continues: they must end where the checkpoint does, with the bytes it
// recorded.
int earlierOutputs(const RunSettings& settings_, std::string& log, std::string& stats) {
    const Checkpoint& c = *settings_.resume;
    auto refuse = [&settings_](const std::string& path, const std::string& what) {
        std::fprintf(stderr, "talvane-batch: --resume %s: %s %s\n", settings_.resumePath.c_str(), path.c_str(),
                     what.c_str());
        return kExitBadInput;
    };
    auto lineCount = [](const std::string& text) {
        return static_cast<std::int64_t>(std::count(text.begin(), text.end(), '\n'));
    };
    const bool logToFile = !settings_.logPath.empty() && settings_.logPath != "-";
    const bool statsToFile = !settings_.statsPath.empty() && settings_.statsPath != "-";
    if (logToFile && !namesNonRegularFile(settings_.logPath)) {
        if (!readWhole(settings_.logPath, log) && c.generation > 0) {
            return refuse(settings_.logPath, "cannot be read; the log to go on with is needed");
        }
        if (lineCount(log) != c.generation || (!log.empty() && log.back() != '\n')) {
            return refuse(settings_.logPath, "holds " + std::to_string(lineCount(log)) +
                                                 " lines; the checkpoint is at generation " +
                                                 std::to_string(c.generation));
        }
        if (c.log && markOf(log) != *c.log) {
            return refuse(settings_.logPath, "is not the log the checkpoint continues (its lines differ from those "
                                             "the checkpoint recorded)");
        }
    }
    if (statsToFile && !namesNonRegularFile(settings_.statsPath)) {
        World world(c.shape);
        world.cellColor = c.color;
        const std::string header = writesEcologyTable(settings_.rules) ? ecologyStatsHeader(ecologyTableColors(settings_.rules))
                                                                 : statsHeader(colorsPresent(world));
        if (!readWhole(settings_.statsPath, stats)) {
            return refuse(settings_.statsPath, "cannot be read; the table to go on with is needed");
        }
        if (stats.compare(0, header.size(), header) != 0 || lineCount(stats) != c.generation + 2 ||
            stats.back() != '\n') {
            return refuse(settings_.statsPath, "does not hold the header and the rows of generations 0 to " +
                                                   std::to_string(c.generation));
        }
        if (c.stats && markOf(stats) != *c.stats) {
            return refuse(settings_.statsPath, "is not the table the checkpoint continues (its rows differ from "
                                               "those the checkpoint recorded)");
        }
    }
    return kExitOk;
}


// The files a run writes, checked and prepared before its first generation.
class RunOutputs {
public:
    explicit RunOutputs(const RunSettings& settings)
        : settings_(settings), extras_(settings.extraOutputs.size()) {}

    ~RunOutputs() {
        if (statsFile_ != nullptr && statsFile_ != stdout) std::fclose(statsFile_);
        closeLogFile();
    }

    // Refuses outputs that clash with each other or with the loaded world
    // (kExitUsage), a log or table that does not end where the checkpoint
    // resumed from does (kExitBadInput), and outputs that cannot be written
    // (kExitFailure).
    int prepare() {
        std::vector<NamedFile> files{{"--log", settings_.logPath},     {"--save", settings_.savePath},
                                     {"--stats", settings_.statsPath}, {"--meta", settings_.metaPath},
                                     {"--checkpoint", settings_.checkpointPath},
                                     {"--save-graph", settings_.graph.savePath}};
        for (const ExtraOutput& extra : settings_.extraOutputs) files.push_back({extra.option, extra.path});
        files.push_back({"--load", settings_.loadPath});
        files.push_back({"--graph", settings_.graph.path});
        std::string error;
        if (!filesAreDistinct(files, error) || !resumeIsNoOtherOutput(files, settings_.resumePath, error)) {
            std::fprintf(stderr, "talvane-batch: %s\n", error.c_str());
            return kExitUsage;
        }
        std::string logBefore, statsBefore;
        if (settings_.resume) {
            if (const int status = earlierOutputs(settings_, logBefore, statsBefore); status != kExitOk) return status;
        }
        if (logToFile() && !log_.create(settings_.logPath, error)) return reportFailure(settings_.logPath, error);
        if (logToFile() && !logBefore.empty() && !log_.write(logBefore, error)) {
            return reportFailure(settings_.logPath, error);
        }
        if (!settings_.savePath.empty() && !save_.create(settings_.savePath, error)) {
            return reportFailure(settings_.savePath, error);
        }
        if (!settings_.graph.savePath.empty() && !saveGraph_.create(settings_.graph.savePath, error)) {
            return reportFailure(settings_.graph.savePath, error);
        }
        if (statsToFile()) {
            if (!stats_.create(settings_.statsPath, error) || (!statsBefore.empty() && !stats_.write(statsBefore, error))) {
                return reportFailure(settings_.statsPath, error);
            }
        }
        // A checkpoint records what the log and the table hold; with
        // --checkpoint-every their copies under the final names follow them.
        const bool copying = settings_.checkpointEvery > 0;
        const bool resumed = settings_.resume.has_value();
        if (tracksLog() && !logCopy_.begin(settings_.logPath, log_.writePath(), logBefore,
                                           resumed && fileExists(settings_.logPath), copying, error)) {
            return reportFailure(settings_.logPath, error);
        }
        if (tracksStats() && !statsCopy_.begin(settings_.statsPath, stats_.writePath(), statsBefore,
                                               resumed && fileExists(settings_.statsPath), copying, error)) {
            return reportFailure(settings_.statsPath, error);
        }
        if (!settings_.checkpointPath.empty() && !checkpoint_.create(settings_.checkpointPath, error)) {
            return reportFailure(settings_.checkpointPath, error);
        }
        if (!settings_.metaPath.empty() && !meta_.create(settings_.metaPath, error)) {
            return reportFailure(settings_.metaPath, error);
        }
        for (std::size_t i = 0; i < extras_.size(); ++i) {
            const ExtraOutput& extra = settings_.extraOutputs[i];
            if (!extras_[i].create(extra.path, error)) {
                reportFailure(extra.path, error);
                return extra.writeFailure;
            }
        }
        if (!settings_.statsPath.empty()) {
            statsFile_ = statsToFile() ? openCreated(stats_.writePath(), true) : stdout;
            if (statsFile_ == nullptr) return reportFailure(settings_.statsPath, std::strerror(errno));
        }
        return kExitOk;
    }

    // Appends the world's pair counts to the log as one line, opening the
    // log at the first line (a resumed run appends to the log it copied).
    // A failed opening or write stops the logging; healthCheck then ends
    // the run.
    void writeLogLine(const PairCounts& counts) {
        if (settings_.logPath.empty() || logFailed_) return;
        errno = 0;
        if (logFile_ == nullptr) {
            logFile_ = logToFile() ? openCreated(log_.writePath(), settings_.resume.has_value()) : stdout;
            if (logFile_ == nullptr) return stopLogging(errno);
        }
        char line[kLogLineBytes];
        const std::size_t length = formatLogLine(counts, line);
        if (std::fwrite(line, 1, length, logFile_) != length || std::ferror(logFile_)) stopLogging(errno);
    }

    // The statistics table, or null when none is written.
    std::FILE* stats() const { return statsFile_; }

    // A checkpoint during the run: the log and the table so far go under
    // their final names together with the checkpoint, so that a run cut
    // short can be resumed from the files it left. Only the lines written
    // since the last checkpoint are read and appended. Whatever fails, the
    // files under the final names stay those of the last good checkpoint.
    int checkpointNow(Checkpoint checkpoint) {
        if (const int status = healthCheck(); status != kExitOk) return status;
        if (logFile_ != nullptr && std::fflush(logFile_) != 0) stopLogging(errno);
        if (const int status = healthCheck(); status != kExitOk) return status;
        std::string error;
        if (!markCheckpoint(checkpoint, error)) return kExitFailure;
        OutputFile checkpointFile;
        if (!checkpointFile.create(settings_.checkpointPath, error) ||
            !checkpointFile.write(formatCheckpoint(checkpoint), error)) {
            return reportFailure(settings_.checkpointPath, error);
        }
        const SignalBlock block;  // the files and the checkpoint change together
        if (tracksLog() && !logCopy_.apply(error)) return reportFailure(settings_.logPath, error);
        if (tracksStats() && !statsCopy_.apply(error)) {
            logCopy_.undo();
            return reportFailure(settings_.statsPath, error);
        }
        if (!checkpointFile.commit(error)) {
            logCopy_.undo();
            statsCopy_.undo();
            return reportFailure(settings_.checkpointPath, error);
        }
        return kExitOk;
    }

    // A write that failed on the log or the table ends the run: kExitFailure
    // with a line naming the file, else kExitOk.
    int healthCheck() const {
        if (logFailed_) {
            return reportFailure(settings_.logPath, std::string("write error on the log: ") + std::strerror(logError_));
        }
        if (statsFile_ != nullptr && std::ferror(statsFile_)) {
            return reportFailure(settings_.statsPath, "write error on the statistics table");
        }
        return kExitOk;
    }

    // Checks the log the engine wrote (logLines lines) and closes it, then
    // writes the table, the saved world (savedWorld gives its text), the
    // graph, the checkpoint, the record and the extra outputs (of a lattice
    // world: world is null for a graph's).
    int finish(const World* world, const std::function<std::string()>& savedWorld, const std::string& graphText,
               std::int64_t logLines, std::optional<Checkpoint> checkpoint, const std::string& metadata) {
        std::string error;
        const bool streamOk = logStreamHealthy(error);
        closeLogFile();
        if (settings_.logPath.empty()) {
            // No log asked for: nothing to check.
        } else if (!streamOk || (logToFile() && !log_.direct() && !logIsComplete(log_.writePath(), logLines, error))) {
            return reportFailure(settings_.logPath, error);
        } else if (settings_.logPath == "-" && !finishStdoutLog(error)) {
            return reportFailure(settings_.logPath, error);
        }
        if (statsFile_ != nullptr) {
            const bool ok = std::fflush(statsFile_) == 0 && !std::ferror(statsFile_);
            if (statsFile_ != stdout && std::fclose(statsFile_) != 0 && ok) {
                statsFile_ = nullptr;
                return reportFailure(settings_.statsPath, std::strerror(errno));
            }
            statsFile_ = nullptr;
            if (!ok) return reportFailure(settings_.statsPath, "write error on the statistics table");
        }
        if (checkpoint && !markCheckpoint(*checkpoint, error)) return kExitFailure;
        if (!settings_.savePath.empty() && !save_.write(savedWorld(), error)) {
            return reportFailure(settings_.savePath, error);
        }
        if (!settings_.graph.savePath.empty() && !saveGraph_.write(graphText, error)) {
            return reportFailure(settings_.graph.savePath, error);
        }
        if (checkpoint && !checkpoint_.write(formatCheckpoint(*checkpoint), error)) {
            return reportFailure(settings_.checkpointPath, error);
        }
        if (!settings_.metaPath.empty() && !meta_.write(metadata, error)) {
            return reportFailure(settings_.metaPath, error);
        }
        for (std::size_t i = 0; i < extras_.size(); ++i) {
            const ExtraOutput& extra = settings_.extraOutputs[i];
            std::string bytes;
            if (world == nullptr) continue;
            if (const int status = extra.render(settings_, *world, metadata, bytes, error); status != kExitOk) {
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
        if (!settings_.graph.savePath.empty() && !saveGraph_.commit(error)) {
            return reportFailure(settings_.graph.savePath, error);
        }
        if (statsToFile() && !stats_.commit(error)) return reportFailure(settings_.statsPath, error);
        if (!settings_.checkpointPath.empty() && !checkpoint_.commit(error)) {
            return reportFailure(settings_.checkpointPath, error);
        }
        for (std::size_t i = 0; i < extras_.size(); ++i) {
            if (!extras_[i].commit(error)) {
                reportFailure(settings_.extraOutputs[i].path, error);
                return settings_.extraOutputs[i].writeFailure;
            }
        }
        // The record last: it vouches for the files beside it.
        if (!settings_.metaPath.empty() && !meta_.commit(error)) return reportFailure(settings_.metaPath, error);
        return kExitOk;
    }

private:
    bool logToFile() const { return !settings_.logPath.empty() && settings_.logPath != "-"; }
    bool statsToFile() const { return !settings_.statsPath.empty() && settings_.statsPath != "-"; }
    // A checkpoint records the log and the table it goes on with when they are files.
    bool tracksLog() const { return !settings_.checkpointPath.empty() && logToFile() && !log_.direct(); }
    bool tracksStats() const { return !settings_.checkpointPath.empty() && statsToFile() && !stats_.direct(); }

    static bool fileExists(const std::string& path) {
        struct stat info {};
        return stat(path.c_str(), &info) == 0;
    }

    // Gives checkpoint what the log and the table hold now; false (reported) when they cannot be read back.
    bool markCheckpoint(Checkpoint& checkpoint, std::string& error) {
        if (statsFile_ != nullptr && std::fflush(statsFile_) != 0) {
            reportFailure(settings_.statsPath, std::string("write error on the statistics table: ") + std::strerror(errno));
            return false;
        }
        if (tracksLog()) {
            if (!logCopy_.catchUp(error)) return reportFailure(settings_.logPath, error), false;
            checkpoint.log = logCopy_.mark();
        }
        if (tracksStats()) {
            if (!statsCopy_.catchUp(error)) return reportFailure(settings_.statsPath, error), false;
            checkpoint.stats = statsCopy_.mark();
        }
        return true;
    }

    // A failed write or opening: no more lines; the stream is closed.
    void stopLogging(int error) {
        logFailed_ = true;
        logError_ = error != 0 ? error : EIO;
        if (logFile_ != nullptr && logFile_ != stdout) std::fclose(logFile_);
        logFile_ = nullptr;
    }

    void closeLogFile() {
        if (logFile_ != nullptr && logFile_ != stdout) std::fclose(logFile_);
        logFile_ = nullptr;
    }

    // Write errors on a buffered stream show at its flush.
    bool logStreamHealthy(std::string& error) const {
        if (settings_.logPath.empty()) return true;
        if (logFile_ == nullptr) {
            if (settings_.generations == 0) return true;
            error = "the log could not be opened";
            return false;
        }
        if (std::fflush(logFile_) != 0 || std::ferror(logFile_)) {
            error = std::string("write error on the log: ") + std::strerror(errno);
            return false;
        }
        return true;
    }

    const RunSettings& settings_;
    OutputFile log_;
    OutputFile save_;
    OutputFile saveGraph_;
    OutputFile stats_;
    OutputFile checkpoint_;
    OutputFile meta_;
    std::vector<OutputFile> extras_;
    std::FILE* statsFile_ = nullptr;
    std::FILE* logFile_ = nullptr;  // the log's stream once its first line is written
    bool logFailed_ = false;        // a write or the opening failed: no more lines
    int logError_ = 0;              // the errno of that failure
    CheckpointCopy logCopy_;    // what the log holds, and its copy under its name
    CheckpointCopy statsCopy_;  // the same for the table
};

}  // namespace

int checkResumedOutputs(const RunSettings& settings) {
    if (!settings.resume) return kExitOk;
    std::string log, stats;
    return earlierOutputs(settings, log, stats);
}

int runOnce(const RunSettings& settings, PairCounts& finalCounts) {
    RunResult result;
    const int status = runOnce(settings, result);
    finalCounts = result.counts;
    return status;
}

namespace {

// What a run on a lattice writes of its world.
class LatticeRunWorld {
public:
    using AnyWorld = World;
    LatticeRunWorld(const RunSettings& settings, WorldRun<World>& run) : settings_(settings), run_(run) {}

    void describe(RunRecord&) const {}
    // The run's hook on the world as it stands at generation.
    int report(const World& world, std::int64_t generation) {
        return settings_.onGeneration ? settings_.onGeneration(world, static_cast<std::int32_t>(generation)) : kExitOk;
    }
    const World* picture() { return &run_.world(); }
    std::string savedWorld() const { return formatWorld(worldFileOf(run_.world())); }
    std::string savedGraph() const { return std::string(); }

private:
    const RunSettings& settings_;
    WorldRun<World>& run_;
};

// What a run on a graph writes of its world. A lattice graph's nodes are
// its lattice's cells, so its pictures and hooks see a lattice world that
// holds the nodes' cells.
class GraphRunWorld {
public:
    using AnyWorld = GraphWorld;
    GraphRunWorld(const RunSettings& settings, WorldRun<GraphWorld>& run) : settings_(settings), run_(run) {
        const GraphWorld& world = run.world();
        if (world.graph().lattice && (settings.onGeneration || !settings.extraOutputs.empty())) {
            lattice_.emplace(*world.graph().lattice);
        }
    }

    void describe(RunRecord& record) const { record.graph = graphRecordOf(run_.world().graph()); }
    int report(const GraphWorld& world, std::int64_t generation) {
        if (settings_.onGraphGeneration) settings_.onGraphGeneration(world, static_cast<std::int32_t>(generation));
        if (!settings_.onGeneration || !lattice_) return kExitOk;
        return settings_.onGeneration(latticeNow(), static_cast<std::int32_t>(generation));
    }
    const World* picture() { return lattice_ ? &latticeNow() : nullptr; }
    std::string savedWorld() const { return formatNodeFile(nodeCellsOf(run_.world())); }
    std::string savedGraph() const {
        return settings_.graph.savePath.empty() ? std::string() : formatEdgeList(run_.world().graph());
    }

private:
    const World& latticeNow() {
        const GraphWorld& world = run_.world();
        lattice_->cellColor = world.nodeColor;
        lattice_->selfStrategy = world.selfStrategy;
        lattice_->otherStrategy = world.otherStrategy;
        lattice_->generation = world.generation;
        lattice_->countPairs();
        return *lattice_;
    }

    const RunSettings& settings_;
    WorldRun<GraphWorld>& run_;
    std::optional<World> lattice_;
};

// One run of talvane-batch: the world's run (through Kind, one of the two
// above, for what it writes of its world) with its outputs as the run's
// sinks, its record and its checkpoints. start writes generation 0 (unless
// the run resumes), stepAll steps the generations, finish writes the final
// outputs and puts every file under its name.
template <typename Kind>
class Run {
public:
    using AnyWorld = typename Kind::AnyWorld;

    Run(const RunSettings& settings, WorldRun<AnyWorld>& run, Kind& kind, RunOutputs& outputs, std::string startTime)
        : settings_(settings), run_(run), kind_(kind), outputs_(outputs) {
        record_.startTime = std::move(startTime);
        kind_.describe(record_);
        run.threads = settings.threads;
        run.watchSettling = true;
        if (settings.resume) run.resume(*settings.resume);
        first_ = run.generation();
        run.sinks.log = [&outputs](const PairCounts& counts) { outputs.writeLogLine(counts); };
        if (std::FILE* stats = outputs.stats(); stats != nullptr) {
            run.sinks.stats = [stats](const std::string& text) { std::fwrite(text.data(), 1, text.size(), stats); };
        }
        run.sinks.check = [&outputs] { return outputs.healthCheck(); };
        run.sinks.frame = [&kind](const AnyWorld& world, std::int64_t generation) {
            return kind.report(world, generation);
        };
    }

    // Generation 0's table row, the watch's first state and the hook; a
    // resumed run wrote them before.
    int start() { return settings_.resume ? kExitOk : run_.start(); }

    // The run's generations, or fewer when it stops once settled.
    int stepAll() {
        record_.stopReason = "generations";
        for (std::int32_t done = 1; done <= settings_.generations; ++done) {
            if (const int status = run_.step(1); status != kExitOk) return status;
            if (settings_.onProgress && done % kProgressEvery == 0) settings_.onProgress(done);
            const bool stop = settings_.untilSettled && run_.settledNow();
            if (stop) {
                record_.stopReason = "settled";
                break;
            }
            const std::int64_t generation = run_.generation();
            if (settings_.checkpointEvery > 0 && generation % settings_.checkpointEvery == 0 &&
                done < settings_.generations) {
                if (const int status = outputs_.checkpointNow(run_.checkpoint(settings_.seed)); status != kExitOk) {
                    return status;
                }
            }
        }
        return kExitOk;
    }

    int finish(RunResult& result) {
        const Settling& settled = run_.settling();
        record_.firstGeneration = first_;
        record_.generationReached = run_.generation();
        record_.settledGeneration = settled.generation;
        record_.period = settled.period;
        record_.absorbing = settled.absorbing;
        record_.endTime = utcTimeNow();
        result.counts = run_.world().countPairs();
        result.generationReached = record_.generationReached;
        result.settledGeneration = settled.generation;
        result.period = settled.period;
        result.absorbing = settled.absorbing;
        std::optional<Checkpoint> checkpoint;
        if (!settings_.checkpointPath.empty()) checkpoint = run_.checkpoint(settings_.seed);
        const auto savedWorld = [this] { return kind_.savedWorld(); };
        const int status =
            outputs_.finish(kind_.picture(), savedWorld, kind_.savedGraph(), record_.generationReached,
                            std::move(checkpoint), formatMetadata(describeRun(settings_, record_), record_));
        if (status != kExitOk) return status;
        return outputs_.commit();
    }

private:
    const RunSettings& settings_;
    WorldRun<AnyWorld>& run_;
    Kind& kind_;
    RunOutputs& outputs_;
    RunRecord record_;
    std::int64_t first_ = 0;
};

template <typename Kind>
int runToTheEnd(Run<Kind>& run, RunResult& result) {
    if (const int status = run.start(); status != kExitOk) return status;
    if (const int status = run.stepAll(); status != kExitOk) return status;
    return run.finish(result);
}

int runOnceWithMemory(const RunSettings& settings, RunResult& result) {
    RunOutputs outputs(settings);
    if (const int status = outputs.prepare(); status != kExitOk) return status;
    std::string startTime = utcTimeNow();
    WorldRun<World> world(startWorld(settings), settings.rules);
    LatticeRunWorld kind(settings, world);
    Run<LatticeRunWorld> run(settings, world, kind, outputs, std::move(startTime));
    return runToTheEnd(run, result);
}

int runGraphWithMemory(const RunSettings& settings, RunResult& result) {
    std::optional<GraphWorld> drawn;
    std::string error;
    if (!startGraphWorld(settings, drawn, error)) {
        if (settings.resume) {
            std::fprintf(stderr, "talvane-batch: --resume %s: %s\n", settings.resumePath.c_str(), error.c_str());
            return kExitBadInput;
        }
        std::fprintf(stderr, "talvane-batch: --network %s: %s\n", settings.graph.network->text.c_str(), error.c_str());
        return kExitUsage;
    }
    RunOutputs outputs(settings);
    if (const int status = outputs.prepare(); status != kExitOk) return status;
    WorldRun<GraphWorld> world(std::move(*drawn), settings.rules);
    GraphRunWorld kind(settings, world);
    Run<GraphRunWorld> run(settings, world, kind, outputs, utcTimeNow());
    return runToTheEnd(run, result);
}

}  // namespace

int runOnce(const RunSettings& settings, RunResult& result) {
    try {
        if (settings.graph.on()) return runGraphWithMemory(settings, result);
        return runOnceWithMemory(settings, result);
    } catch (const std::bad_alloc&) {
        // The outputs' temporary files went with the unwinding.
        return reportOutOfMemory(settings.effectiveShape());
    }
}

int reportOutOfMemory(const WorldShape& shape) {
    // The grids, the scores and the step's scratch: measured, 16 bytes for
    // the synchronous rule, about 26 for the others or with statistics; with some room.
    constexpr double kBytesPerCell = 32;
    const double cells = static_cast<double>(shape.rows) * shape.cols;
    std::fprintf(stderr, "talvane-batch: not enough memory for a %d x %d world: it needs about %.0f MiB\n",
                 shape.rows, shape.cols, std::ceil(cells * kBytesPerCell / (1024.0 * 1024.0)));
    return kExitFailure;
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
