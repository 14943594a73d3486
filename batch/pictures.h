// Pictures of the world drawn in software: --image (the final world),
// --frames (a PNG every K generations) and --movie (the same frames piped to
// ffmpeg), all in one run with no re-simulation.
#pragma once

#include <CLI/CLI.hpp>
#include <memory>
#include <string>

#include "grid_image.h"
#include "options.h"

namespace talvane {

// The picture options as typed.
struct PictureOptions {
    std::string image;             // --image FILE.png, none when empty
    std::string frames;            // --frames DIR, none when empty
    std::string movie;             // --movie FILE.mp4|.webm|.gif, none when empty
    std::string cellPixels;        // --cell-pixels K; empty: the default for the world's size
    bool legend = false;           // --legend
    bool replaceFrames = false;    // --replace-frames: old frames in the folder are removed first
    std::string every = "1";       // --every K, decimal
    std::string fps = "10";        // --fps F, decimal
    CLI::Option* imageOption = nullptr;   // tells whether --image was given
    CLI::Option* framesOption = nullptr;  // tells whether --frames was given
    CLI::Option* movieOption = nullptr;   // tells whether --movie was given
    CLI::Option* everyOption = nullptr;   // tells whether --every was given
    CLI::Option* fpsOption = nullptr;     // tells whether --fps was given
};

// Declares --image, --frames, --replace-frames, --movie, --every, --fps,
// --cell-pixels and --legend on app.
void definePictureOptions(CLI::App& app, PictureOptions& options);

// Writes frames and movie as the run goes; made by preparePictures.
class FrameRecorder;
struct FrameRecorderDeleter {
    void operator()(FrameRecorder* recorder) const;  // deletes it, stopping ffmpeg
};
using FrameRecorderPtr = std::unique_ptr<FrameRecorder, FrameRecorderDeleter>;

// Checks the picture options against each other and the plan (usage errors:
// kExitUsage with a message on standard error), looks for ffmpeg when a
// movie is asked for, adds --image to the plan's outputs and hooks frames and
// movie into the run. view is what --view chose. Call after the start world
// is loaded, so that its size is known. Returns kExitOk or an exit status.
int preparePictures(const PictureOptions& options, const std::string& view, BatchPlan& plan,
                    FrameRecorderPtr& recorder);

// Completes the movie after a successful run and puts it under its name.
// Returns kExitOk or an exit status (the run's outputs are already in place).
int finishPictures(FrameRecorder* recorder);

}  // namespace talvane
