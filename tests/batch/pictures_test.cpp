// talvane-batch --image, --frames and --movie: pictures drawn in software,
// checked against the window's frame, frames at the right generations, and
// movies as ffprobe decodes them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <string>

#include "batch_process.h"
#include "grid_image.h"

namespace talvane {
namespace {

using testing::Outcome;
using testing::Sandbox;
using testing::ScopedEnv;

// A PNG decoded to RGB.
struct Decoded {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
    std::array<int, 3> at(int x, int y) const {
        const std::size_t k = (static_cast<std::size_t>(y) * width + x) * 3;
        return {rgb[k], rgb[k + 1], rgb[k + 2]};
    }
};

Decoded decode(const std::string& bytes) {
    Decoded d;
    std::string error;
    EXPECT_TRUE(decodePngRgb(bytes, d.width, d.height, d.rgb, error)) << error;
    return d;
}

std::set<std::string> filesIn(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.insert(entry.path().filename());
    return names;
}

// What ffprobe reports of a movie's video stream: "WIDTHxHEIGHT FRAMES".
std::string probe(const std::string& path) {
    const std::string command = "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                                "stream=width,height,nb_read_frames -of csv=p=0:s=x '" + path + "'";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return "";
    char line[256] = {};
    const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
    pclose(pipe);
    std::string text = read ? line : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

TEST(BatchPictures, ImageEqualsTheGridAreaOfTheWindowsFrameInBothViews) {
    TALVANE_NEEDS_GL_DISPLAY();
    Sandbox box;
    for (const char* view : {"strategies", "colors"}) {
        const Outcome outcome = box.run({"--generations", "4", "--seed", "11", "--layout", "random", "--view", view,
                                         "--snapshot", "frame.png", "--image", "grid.png"});
        ASSERT_EQ(outcome.status, 0) << outcome.err;
        const Decoded frame = decode(box.read("frame.png"));
        const Decoded grid = decode(box.read("grid.png"));
        ASSERT_EQ(frame.width, 980);
        ASSERT_EQ(grid.width, 576);
        ASSERT_EQ(grid.height, 576);
        int differing = 0;
        std::set<std::array<int, 3>> colours;
        for (int y = 0; y < 576; ++y) {
            for (int x = 0; x < 576; ++x) {
                differing += grid.at(x, y) != frame.at(20 + x, 80 + y);
                colours.insert(grid.at(x, y));
            }
        }
        EXPECT_EQ(differing, 0) << view;
        EXPECT_GE(colours.size(), 3u) << view << ": a random world shows several colours";
    }
}

TEST(BatchPictures, FramesAtGenerationZeroAndEveryKthEqualTheImageOfThatGeneration) {
    Sandbox box;
    const std::vector<std::string> world{"--seed", "9", "--size", "20x30", "--cell-pixels", "2", "--log", "v.csv"};
    auto with = [&world](std::vector<std::string> more) {
        more.insert(more.end(), world.begin(), world.end());
        return more;
    };
    const Outcome run = box.run(with({"--generations", "7", "--every", "3", "--frames", "fr"}));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(filesIn(box.path("fr")), (std::set<std::string>{"gen-000000.png", "gen-000003.png", "gen-000006.png"}));
    for (int g : {0, 6}) {
        const Outcome still = box.run(with({"--generations", std::to_string(g), "--image", "still.png"}));
        ASSERT_EQ(still.status, 0) << still.err;
        EXPECT_EQ(box.read("still.png"), box.read("fr/gen-00000" + std::to_string(g) + ".png")) << "generation " << g;
    }
    const Decoded first = decode(box.read("fr/gen-000000.png"));
    EXPECT_EQ(first.width, 40);
    EXPECT_EQ(first.height, 60);
    EXPECT_NE(box.read("fr/gen-000000.png"), box.read("fr/gen-000006.png"));
}

TEST(BatchPictures, MoviesHoldEveryKthFrameAtThePicturesSize) {
    Sandbox box;
    // 21 x 16 cells of 9 pixels: 189 x 144; the video formats pad to even sides.
    const Outcome run = box.run({"--generations", "10", "--every", "2", "--seed", "3", "--size", "21x16",
                                 "--movie", "m.mp4", "--fps", "5"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(probe(box.path("m.mp4")), "190x144x6");
    const Outcome gif = box.run({"--generations", "4", "--seed", "3", "--size", "21x16", "--movie", "m.gif"});
    ASSERT_EQ(gif.status, 0) << gif.err;
    EXPECT_EQ(probe(box.path("m.gif")), "189x144x5");
    const Outcome webm = box.run({"--generations", "2", "--seed", "3", "--size", "8", "--cell-pixels", "4",
                                  "--movie", "m.webm", "--legend"});
    ASSERT_EQ(webm.status, 0) << webm.err;
    const std::string probed = probe(box.path("m.webm"));
    EXPECT_EQ(probed.substr(probed.rfind('x')), "x3") << probed;
    // No temporary file is left beside them.
    for (const std::string& name : box.files()) EXPECT_NE(name[0], '.') << name;
}

// An endless run: only a refusal before the first generation ends it in time.
std::vector<std::string> endlessWith(std::vector<std::string> more) {
    const std::vector<std::string> endless{"--generations", "2000000000", "--seed", "1", "--log", "run.csv"};
    more.insert(more.begin(), endless.begin(), endless.end());
    return more;
}

TEST(BatchPictures, WithoutFfmpegAMovieIsRefusedBeforeTheRun) {
    const ScopedEnv noFfmpeg("PATH", "/nonexistent");
    Sandbox box;
    const Outcome outcome = box.run(endlessWith({"--movie", "m.mp4"}), std::chrono::seconds(20));
    EXPECT_EQ(outcome.status, 2) << outcome.err;
    EXPECT_NE(outcome.err.find("ffmpeg"), std::string::npos) << outcome.err;
    EXPECT_TRUE(box.files().empty()) << "left behind: " << *box.files().begin();
}

TEST(BatchPictures, AnFfmpegThatFailsEndsTheRunWithStatusOneAndNoMovie) {
    Sandbox box;
    std::filesystem::create_directory(box.path("bin"));
    box.write("bin/ffmpeg", "#!/bin/sh\necho 'ffmpeg: no encoder' >&2\nexit 1\n");
    std::filesystem::permissions(box.path("bin/ffmpeg"), std::filesystem::perms::owner_all);
    const ScopedEnv fakeFfmpeg("PATH", box.path("bin").c_str());
    const Outcome outcome = box.run(endlessWith({"--movie", "m.mp4"}), std::chrono::seconds(20));
    EXPECT_EQ(outcome.status, 1) << outcome.err;
    EXPECT_NE(outcome.err.find("ffmpeg stopped reading frames"), std::string::npos) << outcome.err;
    EXPECT_EQ(box.files(), (std::set<std::string>{"bin"}));
}

TEST(BatchPictures, BadPictureOptionsAreUsageErrorsBeforeTheRun) {
    Sandbox box;
    const std::vector<std::vector<std::string>> bad{
        {"--every", "3"},                               // nothing to record
        {"--fps", "3", "--frames", "fr"},               // no movie
        {"--movie", "m.avi"},                           // no such container
        {"--image", "p.png", "--cell-pixels", "0"},
        {"--image", "p.png", "--cell-pixels", "65"},
        {"--frames", "fr", "--every", "0"},
        {"--frames", "fr", "--runs", "2"},              // one run per recording
        {"--movie", "run.csv"},                         // not a movie name
        {"--image", "p.png", "--view", "cells"},
        {"--image", ""},
    };
    for (const auto& args : bad) {
        const Outcome outcome = box.run(endlessWith(args), std::chrono::seconds(20));
        EXPECT_EQ(outcome.status, 2) << args[0] << " " << args[1] << ": " << outcome.err;
        EXPECT_TRUE(box.files().empty()) << args[0] << " left " << *box.files().begin();
    }
    box.write("fr", "a file, not a folder");
    const Outcome notAFolder = box.run(endlessWith({"--frames", "fr"}), std::chrono::seconds(20));
    EXPECT_EQ(notAFolder.status, 1) << notAFolder.err;
    EXPECT_NE(notAFolder.err.find("not a folder"), std::string::npos) << notAFolder.err;
}

TEST(BatchPictures, SeveralRunsGetNumberedImages) {
    Sandbox box;
    const Outcome outcome = box.run({"--generations", "2", "--seed", "4", "--runs", "2", "--jobs", "1",
                                     "--log", "v.csv", "--image", "p.png", "--view", "colors"});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(decode(box.read("p-1.png")).width, 576);
    EXPECT_EQ(decode(box.read("p-2.png")).height, 576);
}

}  // namespace
}  // namespace talvane
