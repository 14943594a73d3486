// talvane-batch --snapshot: a picture of the final world, or a clear refusal
// when there is no display to render on.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <optional>
#include <string>

#include <png.h>

#include "batch_process.h"

namespace talvane {
namespace {

using testing::Outcome;
using testing::Sandbox;
using testing::ScopedEnv;

// Width and height from a PNG's header chunk, or nothing when the bytes are
// not a PNG.
std::optional<std::pair<unsigned, unsigned>> pngSize(const std::string& bytes) {
    static const std::string signature = "\x89PNG\r\n\x1a\n";
    if (bytes.size() < 24 || bytes.compare(0, 8, signature) != 0 || bytes.compare(12, 4, "IHDR") != 0) {
        return std::nullopt;
    }
    auto word = [&bytes](std::size_t at) {
        unsigned value = 0;
        for (std::size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
        return value;
    };
    return std::make_pair(word(16), word(20));
}

// The text of a PNG's "Comment" chunk as libpng reads it; empty when none.
std::string pngComment(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return "";
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::string comment;
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_read_info(png, info);
        png_textp texts = nullptr;
        int count = 0;
        png_get_text(png, info, &texts, &count);
        for (int i = 0; i < count; ++i) {
            if (std::string(texts[i].key) == "Comment") comment.assign(texts[i].text, texts[i].itxt_length);
        }
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return comment;
}

TEST(BatchSnapshot, WritesTheWholeFrameOfEachRunInEitherView) {
    TALVANE_NEEDS_GL_DISPLAY();
    Sandbox box;
    const Outcome single = box.run({"--generations", "3", "--seed", "5", "--snapshot", "world.png"});
    ASSERT_EQ(single.status, 0) << single.err;
    EXPECT_EQ(pngSize(box.read("world.png")), std::make_pair(980u, 700u));

    const Outcome many = box.run({"--generations", "3", "--seed", "5", "--runs", "2", "--jobs", "2",
                                  "--snapshot", "colors.png", "--view", "colors"});
    ASSERT_EQ(many.status, 0) << many.err;
    EXPECT_EQ(pngSize(box.read("colors-1.png")), std::make_pair(980u, 700u));
    EXPECT_EQ(pngSize(box.read("colors-2.png")), std::make_pair(980u, 700u));
    // The colour view of a checkerboard and the strategy view differ.
    EXPECT_NE(box.read("colors-1.png"), box.read("world.png"));

    // Each picture carries its run's record, which libpng reads back (checking the chunk's CRC).
    for (const auto& [name, record] : {std::pair{"world.png", "vemo.json"}, std::pair{"colors-2.png", "vemo-2.json"}}) {
        const std::string comment = pngComment(box.path(name));
        EXPECT_EQ(comment, box.read(record)) << name;
        EXPECT_NE(comment.find("\"generation_reached\": 3,"), std::string::npos) << name;
    }
    EXPECT_NE(pngComment(box.path("colors-2.png")).find("\"seed\": 6,"), std::string::npos);
}

// An endless run: only a refusal before the first generation ends it in time.
const std::vector<std::string> kEndless{"--generations", "2000000000", "--seed", "1", "--log", "run.csv",
                                        "--save", "world.csv"};

std::vector<std::string> endlessWith(std::vector<std::string> more) {
    more.insert(more.begin(), kEndless.begin(), kEndless.end());
    return more;
}

TEST(BatchSnapshot, WithoutADisplayExitsFourSuggestingXvfbBeforeTheRun) {
    ScopedEnv noDisplay("DISPLAY", "");
    Sandbox box;
    for (const auto& more : {std::vector<std::string>{"--snapshot", "world.png"},
                             std::vector<std::string>{"--snapshot", "world.png", "--runs", "2"}}) {
        const Outcome outcome = box.run(endlessWith(more), std::chrono::seconds(20));
        EXPECT_EQ(outcome.status, 4) << outcome.err;
        EXPECT_NE(outcome.err.find("xvfb-run"), std::string::npos) << outcome.err;
        EXPECT_TRUE(box.files().empty()) << "left behind: " << *box.files().begin();
    }
}

TEST(BatchSnapshot, AFolderThatIsNotThereIsRefusedBeforeTheRun) {
    TALVANE_NEEDS_GL_DISPLAY();
    Sandbox box;
    const Outcome outcome = box.run(endlessWith({"--snapshot", "nodir/p.png"}), std::chrono::seconds(20));
    EXPECT_EQ(outcome.status, 6) << outcome.err;
    EXPECT_NE(outcome.err.find("nodir/p.png"), std::string::npos) << outcome.err;
    EXPECT_TRUE(box.files().empty()) << "left behind: " << *box.files().begin();
}

TEST(BatchSnapshot, AnEndedRunLeavesNoPartOfThePicture) {
    TALVANE_NEEDS_GL_DISPLAY();
    Sandbox box;
    const int pid = box.start(endlessWith({"--snapshot", "p.png"}));
    ASSERT_TRUE(box.awaitTemporaryFiles(1));
    kill(pid, SIGTERM);
    EXPECT_EQ(box.wait(pid).status, 128 + SIGTERM);
    EXPECT_TRUE(box.files().empty()) << "left behind: " << *box.files().begin();
}

TEST(BatchSnapshot, AnUnknownViewIsAUsageError) {
    Sandbox box;
    EXPECT_EQ(box.run({"--snapshot", "world.png", "--view", "cells"}).status, 2);
    EXPECT_TRUE(box.files().empty());
}

}  // namespace
}  // namespace talvane
