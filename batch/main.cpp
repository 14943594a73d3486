// talvane-batch: runs the model with no window, from a seed or a world file,
// for any number of generations, and writes the population log and the final
// world. Several independent runs go to threads of this process, a few at a time.
//
// Exit status: 0 done, 1 an output could not be written, 2 usage error,
// 3 bad world file, 4 no display for the snapshot (5 and 6 other snapshot
// failures).

#include <algorithm>
#include <chrono>
#include <new>
#include <cstdio>
#include <mutex>
#include <unistd.h>

#include "file_clash.h"
#include "frame_describe.h"
#include "measures.h"
#include "options.h"
#include "sim_state.h"
#include "snapshot.h"
#include "checkpoint.h"
#include "output_file.h"
#include "pictures.h"
#include "png_text.h"
#include "snapshot_loader.h"
#include "run.h"
#include "runs.h"
#include "world_file.h"

namespace {

using namespace talvane;

// Keeps a line on standard error saying how far a single run has come,
// redrawn at most a few times a second.
class GenerationProgress {
public:
    explicit GenerationProgress(std::int32_t total) : total_(total) {}

    void operator()(std::int32_t done) {
        const auto now = std::chrono::steady_clock::now();
        if (now - lastShown_ < std::chrono::milliseconds(200)) return;
        lastShown_ = now;
        std::fprintf(stderr, "\rtalvane-batch: generation %d of %d", done, total_);
        shown_ = true;
    }

    ~GenerationProgress() {
        if (shown_) std::fputs("\r\033[K", stderr);
    }

private:
    std::int32_t total_;
    std::chrono::steady_clock::time_point lastShown_ = std::chrono::steady_clock::now();
    bool shown_ = false;
};

// Reads the world file to start from; returns an exit status.
int loadStartWorld(BatchPlan& plan) {
    if (plan.loadPath.empty() || plan.run.graph.on()) return kExitOk;
    WorldFile world;
    WorldError error;
    if (!readWorldFile(plan.loadPath, world, error)) {
        if (error.line > 0) {
            std::fprintf(stderr, "talvane-batch: %s:%ld: %s\n", plan.loadPath.c_str(), error.line,
                         error.message.c_str());
        } else {
            std::fprintf(stderr, "talvane-batch: %s: %s\n", plan.loadPath.c_str(), error.message.c_str());
        }
        return kExitBadInput;
    }
    if (plan.sizeGiven && (world.rows != plan.run.shape.rows || world.cols != plan.run.shape.cols)) {
        std::fprintf(stderr, "talvane-batch: --size %dx%d: the world in %s is %dx%d\n", plan.run.shape.rows,
                     plan.run.shape.cols, plan.loadPath.c_str(), world.rows, world.cols);
        return kExitUsage;
    }
    if (std::string unfit; !worldFitsRule(world, plan.run, unfit)) {
        std::fprintf(stderr, "talvane-batch: %s: %s\n", plan.loadPath.c_str(), unfit.c_str());
        return kExitBadInput;
    }
    plan.run.start = world;
    std::vector<Placement> unused;
    std::string placeError;
    if (!placementsFor(plan.run.startConditions, world.rows, world.cols, unused, placeError)) {
        std::fprintf(stderr, "talvane-batch: %s (the world in %s)\n", placeError.c_str(), plan.loadPath.c_str());
        return kExitUsage;
    }
    return kExitOk;
}

// Reads the checkpoint to go on from and takes its world and rules; returns
// an exit status.
int loadCheckpoint(BatchPlan& plan) {
    if (plan.resumePath.empty()) return kExitOk;
    Checkpoint checkpoint;
    std::string error;
    if (!readCheckpoint(plan.resumePath, checkpoint, error)) {
        std::fprintf(stderr, "talvane-batch: %s\n", error.c_str());
        return kExitBadInput;
    }
    RunSettings& run = plan.run;
    if (checkpoint.graph.has_value() != run.graph.on()) {
        std::fprintf(stderr,
                     checkpoint.graph ? "talvane-batch: --resume %s: its world lives on a graph; give the graph "
                                        "again with --graph FILE or --network KIND:PARAMS\n"
                                      : "talvane-batch: --resume %s: its world is a lattice, not a graph\n",
                     plan.resumePath.c_str());
        return kExitUsage;
    }
    run.seed = checkpoint.seed;
    if (!checkpoint.graph) run.shape = checkpoint.shape;
    run.rules = checkpoint.rules;
    run.resume = std::move(checkpoint);
    return kExitOk;
}

void announceSeeds(const BatchPlan& plan) {
    if (plan.manyRuns && plan.runs > 1) {
        std::fprintf(stderr, "talvane-batch: seeds %u to %u\n", plan.run.seed,
                     plan.run.seed + static_cast<std::uint32_t>(plan.runs - 1));
    } else {
        std::fprintf(stderr, "talvane-batch: seed %u\n", plan.run.seed);
    }
}

// Options that draw the final world as the desktop window would show it.
struct SnapshotOptions {
    std::string path;                  // --snapshot: PNG to write, none when empty
    std::string view = "strategies";  // --view: strategies or colors
};

void defineSnapshotOptions(CLI::App& app, SnapshotOptions& snapshot) {
    app.add_option("--snapshot", snapshot.path,
                   "Write the frame of the world after the last generation as a PNG picture "
                   "(needs an X display; use xvfb-run on a machine without one)");
    app.add_option("--view", snapshot.view, "What the grid shows in the snapshot and the pictures")
        ->check(CLI::IsMember({"strategies", "colors"}))
        ->capture_default_str();
}

// The desktop's frame of the run's final world and settings, paused.
FrameDescription describeFinalFrame(const RunSettings& run, const World& world, bool strategies) {
    FrameSettings shown;
    shown.payoffs = run.rules.payoffs;
    shown.competition = run.rules.competition;
    shown.playSelf = run.rules.playSelf;
    shown.extraPoint = run.rules.extraPoint;
    shown.colorLayout = run.colorLayout;
    shown.selfExcluded = run.rules.selfExcluded;
    shown.otherExcluded = run.rules.otherExcluded;
    // "Random pool" unless the run started from cells of its own.
    shown.randomPool = !run.resume && !run.start && !run.startConditions.any();
    shown.generation = static_cast<std::int32_t>(world.generation);
    shown.viewStrategies = strategies;
    return describeWorld(world, shown);
}

// The snapshot of one run's final world, with the run's record as its text.
// The snapshot module draws in one off-screen context, so the runs of
// --runs, on threads of their own, draw one at a time.
int renderSnapshot(const RunSettings& run, const World& world, bool strategies, const std::string& record,
                   std::string& png, std::string& error) {
    const FrameDescription frame = describeFinalFrame(run, world, strategies);
    static std::mutex drawing;
    const std::lock_guard<std::mutex> lock(drawing);
    const int status = snapshotPngThroughModule(frame, png, error);
    // The picture carries the run's record, as its JSON file does.
    if (status == kSnapshotWritten && !record.empty()) addPngText(png, "Comment", record);
    return status;
}

// Draws the final world, paused, in the chosen view; under --runs each run
// gets its own numbered picture.
void addSnapshotOutput(BatchPlan& plan, const SnapshotOptions& snapshot) {
    if (snapshot.path.empty()) return;
    const bool strategies = snapshot.view == "strategies";
    const auto render = [strategies](const RunSettings& run, const World& world, const std::string& record,
                                     std::string& png, std::string& error) {
        return renderSnapshot(run, world, strategies, record, png, error);
    };
    plan.run.extraOutputs.push_back({"--snapshot", snapshot.path, render, kSnapshotFileError});
}

// The outputs and the input as the command line names them.
std::vector<NamedFile> namedOutputs(const BatchPlan& plan) {
    std::vector<NamedFile> files{{"--log", plan.run.logPath},
                                 {"--save", plan.run.savePath},
                                 {"--stats", plan.run.statsPath},
                                 {"--meta", plan.run.metaPath},
                                 {"--checkpoint", plan.run.checkpointPath},
                                 {"--save-graph", plan.run.graph.savePath}};
    for (const ExtraOutput& extra : plan.run.extraOutputs) files.push_back({extra.option, extra.path});
    return files;
}

// Refuses, before anything runs, outputs that are one file with another
// output or with the loaded world (a frame's name in the frames folder
// included), and (for numbered runs) outputs that are not regular files.
// Returns kExitOk or kExitUsage.
int checkFileNames(const BatchPlan& plan, const PictureOptions& pictures) {
    std::vector<NamedFile> files = namedOutputs(plan);
    files.push_back({"--image", pictures.image});
    files.push_back({"--movie", pictures.movie});
    const NamedFile load{"--load", plan.loadPath};
    std::string error;
    auto refuse = [&error] {
        std::fprintf(stderr, "talvane-batch: %s\n", error.c_str());
        return kExitUsage;
    };
    if (plan.manyRuns) {
        for (const NamedFile& file : files) {
            if (file.path.empty() || !namesNonRegularFile(file.path)) continue;
            error = file.option + " " + file.path +
                    ": not a regular file; several runs write numbered files beside a file name";
            return refuse();
        }
        if (!inputOutsideNumberedOutputs(load, files, plan.runs, error)) return refuse();
    }
    files.push_back(load);
    files.push_back({"--graph", plan.run.graph.path});
    if (!filesAreDistinct(files, error) || !resumeIsNoOtherOutput(files, plan.resumePath, error)) return refuse();
    files.push_back({"--resume", plan.resumePath});
    if (!outsideFramesFolder(pictures.frames, files, error)) return refuse();
    return kExitOk;
}

// Pictures draw lattices: a graph world has none to draw.
int refusePicturesOfGraphs(const SnapshotOptions& snapshot, const PictureOptions& pictures, const BatchPlan& plan) {
    if (!plan.run.graph.on() || plan.run.graph.lattice()) return kExitOk;
    const char* option = !snapshot.path.empty()     ? "--snapshot"
                         : !pictures.image.empty()  ? "--image"
                         : !pictures.frames.empty() ? "--frames"
                         : !pictures.movie.empty()  ? "--movie"
                                                    : nullptr;
    if (option == nullptr) return kExitOk;
    std::fprintf(stderr,
                 "talvane-batch: %s: pictures show lattices; a graph that is no lattice's has no picture\n", option);
    return kExitUsage;
}

// A snapshot needs a display and OpenGL: found out before the run, not after.
int checkSnapshot(const SnapshotOptions& snapshot, const BatchPlan& plan) {
    if (snapshot.path.empty()) return kExitOk;
    const int rows = plan.run.start ? plan.run.start->rows : plan.run.shape.rows;
    const int cols = plan.run.start ? plan.run.start->cols : plan.run.shape.cols;
    if (rows != kGridSize || cols != kGridSize) {
        std::fprintf(stderr, "talvane-batch: --snapshot: the window's frame shows 64 x 64 worlds only; this one is %dx%d\n",
                     rows, cols);
        return kExitUsage;
    }
    std::string error;
    const int status = checkSnapshotThroughModule(error);
    if (status != kSnapshotWritten) std::fprintf(stderr, "talvane-batch: %s\n", error.c_str());
    return status;
}

int runPlan(BatchPlan& plan) {
    const bool terminal = isatty(STDERR_FILENO) != 0;
    if (plan.manyRuns) return runMany(plan.run, plan.runs, plan.jobs, terminal);
    GenerationProgress progress(plan.run.generations);
    if (terminal) plan.run.onProgress = [&progress](std::int32_t done) { progress(done); };
    RunResult result;
    const int status = runOnce(plan.run, result);
    if (status == kExitOk && plan.run.untilSettled) {
        if (result.absorbing) {
            std::fprintf(stderr, "talvane-batch: settled at generation %lld (absorbing: no draw can change the world)\n",
                         static_cast<long long>(result.generationReached));
        } else if (result.period > 0) {
            std::fprintf(stderr, "talvane-batch: settled at generation %lld (period %d)\n",
                         static_cast<long long>(result.generationReached), result.period);
        } else {
            std::fprintf(stderr, "talvane-batch: not settled by generation %lld\n",
                         static_cast<long long>(result.generationReached));
        }
    }
    return status;
}

int runFromCommandLine(const CLI::App& app, const CommandLine& line, const SnapshotOptions& snapshot,
                       const PictureOptions& pictures, const MeasureOptions& measures, BatchPlan& plan);

}  // namespace

int main(int argc, char** argv) {
    installOutputCleanup();
    CLI::App app{"Runs the Talvane model with no window and writes its population log and final world."};
    app.name("talvane-batch");
    CommandLine line;
    defineOptions(app, line);
    SnapshotOptions snapshot;
    defineSnapshotOptions(app, snapshot);
    PictureOptions pictures;
    definePictureOptions(app, pictures);
    MeasureOptions measures;
    defineMeasureOptions(app, measures);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e);  // --help, --version
        // One line with the program's name, as every other refusal.
        std::string what = e.what();
        std::replace(what.begin(), what.end(), '\n', ' ');
        std::fprintf(stderr, "talvane-batch: %s (see --help)\n", what.c_str());
        return kExitUsage;
    }

    BatchPlan plan;
    try {
        return runFromCommandLine(app, line, snapshot, pictures, measures, plan);
    } catch (const std::bad_alloc&) {
        return reportOutOfMemory(plan.run.effectiveShape());
    }
}

namespace {

int runFromCommandLine(const CLI::App& app, const CommandLine& line, const SnapshotOptions& snapshot,
                       const PictureOptions& pictures, const MeasureOptions& measures, BatchPlan& plan) {
    std::string error;
    if (!makePlan(line, plan, error) || !addMeasures(measures, plan, error)) {
        std::fprintf(stderr, "talvane-batch: %s\n", error.c_str());
        return kExitUsage;
    }
    addSnapshotOutput(plan, snapshot);
    plan.run.optionValues = optionValues(app);
    ecologyOptionValues(plan.run.optionValues, line, plan.run);
    dropUngivenMeasureOptions(measures, plan.run.optionValues);
    if (const int status = checkFileNames(plan, pictures); status != kExitOk) return status;
    if (const int status = loadCheckpoint(plan); status != kExitOk) return status;
    if (const int status = loadStartWorld(plan); status != kExitOk) return status;
    if (const int status = loadGraphInputs(plan); status != kExitOk) return status;
    if (const int status = refusePicturesOfGraphs(snapshot, pictures, plan); status != kExitOk) return status;
    if (const int status = checkResumedOutputs(plan.run); status != kExitOk) return status;
    if (const int status = checkSnapshot(snapshot, plan); status != kExitOk) return status;
    // The pictures set their own per-generation hook; the measurements' goes first.
    auto measureHook = std::move(plan.run.onGeneration);
    plan.run.onGeneration = nullptr;
    FrameRecorderPtr recorder;
    if (const int status = preparePictures(pictures, snapshot.view, plan, recorder); status != kExitOk) return status;
    if (measureHook) {
        auto pictureHook = std::move(plan.run.onGeneration);
        plan.run.onGeneration = [measureHook, pictureHook](const World& world, std::int32_t generation) {
            const int status = measureHook(world, generation);
            return status == kExitOk && pictureHook ? pictureHook(world, generation) : status;
        };
    }
    announceSeeds(plan);
    if (const int status = runPlan(plan); status != kExitOk) return status;
    return finishPictures(recorder.get());
}

}  // namespace
