#include "pictures.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "cell_palette.h"
#include "file_clash.h"
#include "output_file.h"
#include "sim_state.h"

extern char** environ;

namespace talvane {

namespace {

bool given(const CLI::Option* option) { return option != nullptr && option->count() > 0; }

int usage(const std::string& message) {
    std::fprintf(stderr, "talvane-batch: %s\n", message.c_str());
    return kExitUsage;
}

// The file name of a frame: gen-000000.png, gen-000250.png, ...
std::string frameName(std::int32_t generation) {
    char name[32];
    std::snprintf(name, sizeof name, "gen-%06d.png", static_cast<int>(generation));
    return name;
}

std::string extensionOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

// The full path of a program found on PATH, or empty.
std::string findProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t colon = dirs.find(':', start);
        if (colon == std::string::npos) colon = dirs.size();
        std::string dir = dirs.substr(start, colon - start);
        if (dir.empty()) dir = ".";
        const std::string candidate = dir + "/" + name;
        struct stat info {};
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        start = colon + 1;
    }
    return "";
}

// The folder for frames: made when missing (one level), refused when it is
// not a folder we may write into.
bool prepareFrameFolder(const std::string& dir, std::string& error) {
    if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
        error = std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (stat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        error = "not a folder";
        return false;
    }
    if (access(dir.c_str(), W_OK | X_OK) != 0) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

// The frames a folder holds: the names of its files that --frames writes.
std::vector<std::string> framesIn(const std::string& dir) {
    std::vector<std::string> names;
    DIR* folder = opendir(dir.c_str());
    if (folder == nullptr) return names;
    while (const dirent* entry = readdir(folder)) {
        if (isFrameName(entry->d_name)) names.emplace_back(entry->d_name);
    }
    closedir(folder);
    std::sort(names.begin(), names.end());
    return names;
}

// The generation a frame's name gives.
std::int64_t frameGeneration(const std::string& name) { return std::atoll(name.c_str() + 4); }

}  // namespace

// Writes the frames of the generations asked for: PNG files into a folder,
// raw RGB pictures into ffmpeg's standard input, or both.
class FrameRecorder {
public:
    FrameRecorder(GridPicture picture, std::int32_t every) : picture_(picture), every_(every) {}

    ~FrameRecorder() { stopEncoder(); }

    FrameRecorder(const FrameRecorder&) = delete;
    FrameRecorder& operator=(const FrameRecorder&) = delete;

    bool setFrames(const std::string& dir, std::string& error) {
        if (!prepareFrameFolder(dir, error)) return false;
        framesDir_ = dir;
        return true;
    }

    // Old frames to remove before the first frame is written.
    void replaceFrames(std::vector<std::string> names) { oldFrames_ = std::move(names); }

    // Prepares the movie's file (a temporary name until the end) and the
    // arguments of ffmpeg; ffmpeg starts with the first frame, when the
    // picture's size is known.
    bool setMovie(const std::string& path, const std::string& ffmpeg, int fps, std::string& error) {
        if (!movie_.create(path, error)) return false;
        moviePath_ = path;
        ffmpeg_ = ffmpeg;
        fps_ = fps;
        format_ = extensionOf(path);
        if (format_ == "gif" && !palette_.create(path + ".palette.png", error)) return false;
        return true;
    }

    // Called with the world at generation 0 and after every generation.
    int record(const World& world, std::int32_t generation) {
        if (!oldFrames_.empty() && !removeOldFrames()) return kExitFailure;
        if (generation % every_ != 0) return kExitOk;
        picture_.generation = generation;
        drawWorld(world, picture_, image_);
        std::string error;
        if (!framesDir_.empty() && !writeFrame(generation, error)) {
            std::fprintf(stderr, "talvane-batch: --frames %s: %s\n", framesDir_.c_str(), error.c_str());
            return kExitFailure;
        }
        if (!moviePath_.empty() && !sendToEncoder(error)) {
            std::fprintf(stderr, "talvane-batch: --movie %s: %s\n", moviePath_.c_str(), error.c_str());
            return kExitFailure;
        }
        return kExitOk;
    }

    // Ends ffmpeg's input, waits for it and puts the movie in place.
    int finish() {
        if (moviePath_.empty()) return kExitOk;
        std::string error;
        const int status = stopEncoder();
        palette_.discard();
        if (status != 0) {
            std::fprintf(stderr, "talvane-batch: --movie %s: ffmpeg failed (status %d)\n", moviePath_.c_str(), status);
            return kExitFailure;
        }
        if (!movie_.commit(error)) {
            std::fprintf(stderr, "talvane-batch: %s: %s\n", moviePath_.c_str(), error.c_str());
            return kExitFailure;
        }
        return kExitOk;
    }

private:
    bool writeFrame(std::int32_t generation, std::string& error) {
        OutputFile file;
        const std::string path = framesDir_ + "/" + frameName(generation);
        if (file.create(path, error) && file.write(encodePng(image_), error) && file.commit(error)) return true;
        error = frameName(generation) + ": " + error;
        return false;
    }

    // Done once the run has started, so that a refused run leaves them.
    bool removeOldFrames() {
        for (const std::string& name : oldFrames_) {
            const std::string path = framesDir_ + "/" + name;
            if (unlink(path.c_str()) != 0 && errno != ENOENT) {
                std::fprintf(stderr, "talvane-batch: --replace-frames: %s: %s\n", path.c_str(), std::strerror(errno));
                return false;
            }
        }
        oldFrames_.clear();
        return true;
    }

    // ffmpeg's arguments for the container the movie's name asks for.
    std::vector<std::string> encoderArguments() const {
        std::vector<std::string> args{ffmpeg_, "-hide_banner", "-loglevel", "error", "-nostdin", "-y",
                                      "-f", "rawvideo", "-pix_fmt", "rgb24",
                                      "-s", std::to_string(image_.width) + "x" + std::to_string(image_.height),
                                      "-framerate", std::to_string(fps_), "-i", "pipe:0"};
        // yuv420p needs even sides; a black pixel line pads an odd one.
        const std::string even = "pad=ceil(iw/2)*2:ceil(ih/2)*2";
        if (format_ == "gif") {
            args.insert(args.end(), {"-f", "png_pipe", "-i", palette_.writePath(), "-lavfi",
                                     "[0:v][1:v]paletteuse=dither=none", "-f", "gif"});
        } else if (format_ == "webm") {
            args.insert(args.end(), {"-vf", even, "-c:v", "libvpx-vp9", "-pix_fmt", "yuv420p", "-b:v", "0",
                                     "-crf", "30", "-deadline", "good", "-cpu-used", "4", "-row-mt", "1",
                                     "-f", "webm"});
        } else {
            args.insert(args.end(), {"-vf", even, "-c:v", "libx264", "-pix_fmt", "yuv420p", "-crf", "18",
                                     "-movflags", "+faststart", "-f", "mp4"});
        }
        args.push_back(movie_.writePath());
        return args;
    }

    // A GIF takes its colours from the program's palette, in a 16 x 16 picture.
    bool writePalette(std::string& error) {
        IndexedImage palette;
        palette.width = 16;
        palette.height = 16;
        palette.index.assign(256, kBlackIndex);
        for (std::uint8_t i = 0; i < 10; ++i) palette.index[i] = i;
        return palette_.write(encodePng(palette), error);
    }

    bool startEncoder(std::string& error) {
        if (format_ == "gif" && !writePalette(error)) return false;
        int pipeEnds[2];
        if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
            error = std::strerror(errno);
            return false;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], STDIN_FILENO);
        const std::vector<std::string> args = encoderArguments();
        std::vector<char*> argv;
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        pid_t pid = 0;
        int spawned = 0;
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        {
            const SignalBlock block;  // the child and its entry in the table come together
            // ffmpeg runs with the mask from before the block, so that the
            // signals that end the run (passed on to it) end it too.
            posix_spawnattr_setsigmask(&attributes, &block.before());
            posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
            spawned = posix_spawn(&pid, ffmpeg_.c_str(), &actions, &attributes, argv.data(), environ);
            if (spawned == 0) addChildProcess(pid);
        }
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
        close(pipeEnds[0]);
        if (spawned != 0) {
            close(pipeEnds[1]);
            error = std::string("cannot start ffmpeg: ") + std::strerror(spawned);
            return false;
        }
        encoder_ = pid;
        pipe_ = pipeEnds[1];
        return true;
    }

    // Writes the frame into ffmpeg's pipe. SIGPIPE is held off meanwhile, so
    // that an ffmpeg that gave up is reported (exit status 1), not fatal.
    bool sendToEncoder(std::string& error) {
        if (encoder_ == 0 && !startEncoder(error)) return false;
        toRgb(image_, rgb_);
        sigset_t brokenPipe;
        sigemptyset(&brokenPipe);
        sigaddset(&brokenPipe, SIGPIPE);
        sigset_t before;
        pthread_sigmask(SIG_BLOCK, &brokenPipe, &before);
        const bool sent = writeAll(rgb_.data(), rgb_.size(), error);
        if (!sent && sigismember(&before, SIGPIPE) == 0) {
            const timespec now{};
            sigtimedwait(&brokenPipe, nullptr, &now);  // the SIGPIPE of this write, if any
        }
        pthread_sigmask(SIG_SETMASK, &before, nullptr);
        return sent;
    }

    bool writeAll(const std::uint8_t* at, std::size_t left, std::string& error) {
        while (left > 0) {
            const ssize_t sent = ::write(pipe_, at, left);
            if (sent < 0 && errno == EINTR) continue;
            if (sent <= 0) {
                error = errno == EPIPE ? std::string("ffmpeg stopped reading frames")
                                       : std::string("cannot send frames to ffmpeg: ") + std::strerror(errno);
                return false;
            }
            at += sent;
            left -= static_cast<std::size_t>(sent);
        }
        return true;
    }

    // Closes ffmpeg's input and waits for it; its exit status, or -1.
    int stopEncoder() {
        if (pipe_ >= 0) close(pipe_);
        pipe_ = -1;
        if (encoder_ == 0) return -1;
        int status = 0;
        while (waitpid(encoder_, &status, 0) < 0 && errno == EINTR) {
        }
        removeChildProcess(encoder_);
        encoder_ = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    GridPicture picture_;
    std::int32_t every_;
    IndexedImage image_;
    std::vector<std::uint8_t> rgb_;
    std::string framesDir_;
    std::vector<std::string> oldFrames_;  // removed before the first frame
    std::string moviePath_;
    std::string ffmpeg_;
    std::string format_;
    int fps_ = 10;
    OutputFile movie_;
    OutputFile palette_;
    pid_t encoder_ = 0;
    int pipe_ = -1;
};

void definePictureOptions(CLI::App& app, PictureOptions& options) {
    options.imageOption = app.add_option("--image", options.image,
                                         "Write the world after the last generation as a PNG picture of its grid "
                                         "(drawn in software: no display needed)");
    options.framesOption = app.add_option("--frames", options.frames,
                                          "Write DIR/gen-000000.png, ... every --every generations (and generation 0)");
    options.movieOption = app.add_option("--movie", options.movie,
                                         "Pipe the frames to ffmpeg as a movie: FILE.mp4, FILE.webm or FILE.gif");
    options.everyOption = app.add_option("--every", options.every, "Generations between frames")->capture_default_str();
    options.fpsOption = app.add_option("--fps", options.fps, "Frames per second of the movie")->capture_default_str();
    app.add_option("--cell-pixels", options.cellPixels,
                   "Pixels per cell side in pictures, 1 to 64 (default 9, the window's look; smaller for worlds "
                   "wider than 256 cells); below 5 a cell shows one colour, its self strategy's");
    app.add_flag("--legend", options.legend, "Add a strip naming the colours below the pictures");
    app.add_flag("--replace-frames", options.replaceFrames,
                 "Remove the frames the --frames folder holds before writing the new ones (default: such a "
                 "folder is refused)");
}

namespace {

int worldSide(const BatchPlan& plan, bool rows) {
    if (plan.run.start) return rows ? plan.run.start->rows : plan.run.start->cols;
    return rows ? plan.run.shape.rows : plan.run.shape.cols;
}

int pictureSettings(const PictureOptions& options, const std::string& view, const BatchPlan& plan,
                    GridPicture& picture) {
    std::string error;
    if (!parseGridView(view, picture.view)) return usage("--view: \"" + view + "\" is not strategies or colors");
    picture.legend = options.legend;
    picture.cellPixels = defaultCellPixels(worldSide(plan, true), worldSide(plan, false));
    if (!options.cellPixels.empty()) {
        std::int64_t k = 0;
        if (!parseDecimal(options.cellPixels, 1, kMaxCellPixels, k, error)) return usage("--cell-pixels: " + error);
        picture.cellPixels = static_cast<int>(k);
    }
    return kExitOk;
}

int checkNames(const PictureOptions& options, const BatchPlan& plan) {
    if (given(options.imageOption) && options.image.empty()) return usage("--image: a file name is needed");
    if (given(options.framesOption) && options.frames.empty()) return usage("--frames: a folder name is needed");
    if (given(options.movieOption) && options.movie.empty()) return usage("--movie: a file name is needed");
    const bool recording = !options.frames.empty() || !options.movie.empty();
    if (options.replaceFrames && options.frames.empty()) return usage("--replace-frames: give --frames");
    if (given(options.everyOption) && !recording) return usage("--every: give --frames or --movie");
    if (given(options.fpsOption) && options.movie.empty()) return usage("--fps: give --movie");
    if (recording && plan.manyRuns) return usage("--frames and --movie record one run; they cannot go with --runs");
    if (!options.movie.empty()) {
        const std::string ext = extensionOf(options.movie);
        if (ext != "mp4" && ext != "webm" && ext != "gif") {
            return usage("--movie " + options.movie + ": name an .mp4, .webm or .gif file");
        }
        std::vector<NamedFile> files{{"--log", plan.run.logPath}, {"--save", plan.run.savePath}};
        for (const ExtraOutput& extra : plan.run.extraOutputs) files.push_back({extra.option, extra.path});
        files.push_back({"--image", options.image});
        files.push_back({"--load", plan.loadPath});
        files.push_back({"--movie", options.movie});
        std::string error;
        if (!filesAreDistinct(files, error)) return usage(error);
    }
    return kExitOk;
}

// A folder that holds frames is refused, so that frames of two runs never
// mix, unless --replace-frames asks to remove them (their names go to
// oldFrames). A resumed run may go on after the frames of the run it
// continues.
int oldFramesOf(const PictureOptions& options, const BatchPlan& plan, std::vector<std::string>& oldFrames) {
    if (options.frames.empty()) return kExitOk;
    const std::int64_t first = plan.run.resume ? plan.run.resume->generation : -1;
    for (const std::string& name : framesIn(options.frames)) {
        if (options.replaceFrames) {
            oldFrames.push_back(name);
        } else if (frameGeneration(name) > first) {
            return usage("--frames " + options.frames + ": the folder already holds frames (" + name +
                         "); empty it, or give --replace-frames to replace them");
        }
    }
    return kExitOk;
}

}  // namespace

int preparePictures(const PictureOptions& options, const std::string& view, BatchPlan& plan,
                    FrameRecorderPtr& recorder) {
    if (const int status = checkNames(options, plan); status != kExitOk) return status;
    GridPicture picture;
    if (const int status = pictureSettings(options, view, plan, picture); status != kExitOk) return status;
    std::string error;
    std::int64_t every = 1;
    std::int64_t fps = 10;
    if (!parseDecimal(options.every, 1, std::numeric_limits<std::int32_t>::max(), every, error)) {
        return usage("--every: " + error);
    }
    if (!parseDecimal(options.fps, 1, 240, fps, error)) return usage("--fps: " + error);
    std::string ffmpeg;
    if (!options.movie.empty()) {
        ffmpeg = findProgram("ffmpeg");
        if (ffmpeg.empty()) return usage("--movie: ffmpeg is not installed (Debian package ffmpeg)");
    }
    if (!options.image.empty()) {
        plan.run.extraOutputs.push_back({"--image", options.image, [picture](const RunSettings&, const World& world,
                                                                             const std::string&, std::string& png,
                                                                             std::string& error) {
                                             IndexedImage image;
                                             GridPicture final = picture;
                                             final.generation = world.generation;
                                             drawWorld(world, final, image);
                                             png = encodePng(image);
                                             if (!png.empty()) return kExitOk;
                                             error = "--image: PNG encoding failed";
                                             return kExitFailure;
                                         }});
    }
    if (options.frames.empty() && options.movie.empty()) return kExitOk;
    std::vector<std::string> oldFrames;
    if (const int status = oldFramesOf(options, plan, oldFrames); status != kExitOk) return status;
    recorder.reset(new FrameRecorder(picture, static_cast<std::int32_t>(every)));
    recorder->replaceFrames(std::move(oldFrames));
    if (!options.frames.empty() && !recorder->setFrames(options.frames, error)) {
        std::fprintf(stderr, "talvane-batch: --frames %s: %s\n", options.frames.c_str(), error.c_str());
        return kExitFailure;
    }
    if (!options.movie.empty() && !recorder->setMovie(options.movie, ffmpeg, static_cast<int>(fps), error)) {
        std::fprintf(stderr, "talvane-batch: %s: %s\n", options.movie.c_str(), error.c_str());
        return kExitFailure;
    }
    FrameRecorder* hook = recorder.get();
    plan.run.onGeneration = [hook](const World& world, std::int32_t generation) {
        return hook->record(world, generation);
    };
    return kExitOk;
}

void FrameRecorderDeleter::operator()(FrameRecorder* recorder) const { delete recorder; }

int finishPictures(FrameRecorder* recorder) { return recorder ? recorder->finish() : kExitOk; }

}  // namespace talvane
