// The whole frame: pixel format failures, every frame starting clean in a
// context that lives on, elements in their places and black elsewhere, and
// the snapshot written as a PNG.
#include <GL/gl.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "desktop_frame.h"
#include "desktop_view.h"
#include "frame.h"
#include "frame_fixture.h"
#include "offscreen.h"
#include "sim_state.h"
#include "snapshot.h"

namespace talvane::test {
namespace {

using FrameCompositionTest = FrameTest;

// Records what setupPixelFormat asks of the window.
struct FakeTarget : PixelFormatTarget {
    FakeTarget(bool choose, bool set) : choose(choose), set(set) {}
    bool choosePixelFormat() override { return choose; }
    bool setPixelFormat() override { return ++setCalls, set; }
    void showPlainMessage(const char* text) override { messages.emplace_back(text); }
    bool choose, set;
    int setCalls = 0;
    std::vector<std::string> messages;
};

TEST(PixelFormat, FailuresAreToldOnceEach) {
    FakeTarget noVisual(false, true), cannotSet(true, false), fine(true, true);
    EXPECT_FALSE(setupPixelFormat(noVisual));
    EXPECT_EQ(noVisual.messages, std::vector<std::string>{"ChoosePixelFormat Failed"});
    EXPECT_EQ(noVisual.setCalls, 0);
    EXPECT_FALSE(setupPixelFormat(cannotSet));
    EXPECT_EQ(cannotSet.messages, std::vector<std::string>{"SetPixelFormat Failed"});
    EXPECT_TRUE(setupPixelFormat(fine));
    EXPECT_TRUE(fine.messages.empty());
}

// A world with every strategy pair and colour somewhere.
void varyTheWorld() {
    for (int k = 0; k < kCellCount; ++k) {
        sim.world.selfStrategy[static_cast<std::size_t>(k)] = k % 8;
        sim.world.otherStrategy[static_cast<std::size_t>(k)] = (k / 8) % 8;
        sim.world.cellColor[static_cast<std::size_t>(k)] = (k / 3) % 3;
    }
}

TEST_F(FrameCompositionTest, FrameStartsCleanInAContextThatHeldOtherState) {
    varyTheWorld();
    const Picture first = renderFrame();
    // Leave the context as another user of it might: another matrix, smooth
    // shading, another clear colour, something drawn.
    glScalef(0.5f, 2.0f, 1.0f);
    glShadeModel(GL_SMOOTH);
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glColor3f(0.3f, 0.6f, 0.9f);
    glRecti(0, 0, 400, 400);
    const Picture again = renderFrame();
    EXPECT_TRUE(again.sameRegion(first, 0, 0, kFrameWidth, kFrameHeight));
}

TEST_F(FrameCompositionTest, EverythingOutsideTheElementsIsBlack) {
    varyTheWorld();
    struct Area {
        int x0, y0, x1, y1;
    };
    // Title, panels, grid, status block, payoff matrix, layout icon or buttons.
    const Area elements[] = {{0, 28, 615, 64},    {615, 55, 980, 236},  {20, 80, 595, 655},
                             {615, 269, 845, 441}, {840, 265, 980, 325}, {625, 452, 732, 485}};
    auto insideAny = [&](int x, int y) {
        for (const Area& a : elements)
            if (x >= a.x0 && x < a.x1 && y >= a.y0 && y < a.y1) return true;
        return false;
    };
    for (bool randomPool : {true, false}) {
        sim.randomPoolMode = randomPool;
        const Picture p = renderFrame();
        int stray = 0;
        for (int y = 0; y < kFrameHeight; ++y)
            for (int x = 0; x < kFrameWidth; ++x)
                if (!insideAny(x, y) && !near(p.at(x, y), kBlack) && ++stray <= 5)
                    ADD_FAILURE() << "lit pixel (" << x << ", " << y << ") outside every element";
        EXPECT_EQ(stray, 0);
        // Each element drew something.
        for (const Area& a : elements) EXPECT_GT(p.countLit(a.x0, a.y0, a.x1, a.y1), 0);
    }
}

// The PNG at path as RGB rows, top first; empty if it cannot be read.
std::vector<std::uint8_t> readPng(const std::string& path, png_uint_32& width, png_uint_32& height) {
    std::vector<std::uint8_t> rgb;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return rgb;
    image.format = PNG_FORMAT_RGB;
    width = image.width;
    height = image.height;
    rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) rgb.clear();
    return rgb;
}

class SnapshotTest : public FrameTest {
protected:
    void SetUp() override {
        FrameTest::SetUp();
        dir_ = std::filesystem::temp_directory_path() / ("talvane-snapshot-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        std::filesystem::remove_all(dir_);
        FrameTest::TearDown();
    }
    std::filesystem::path dir_;
};

TEST_F(SnapshotTest, WritesTheFrameAsTheWindowShowsIt) {
    varyTheWorld();
    desktopView.viewStrategies = false;
    sim.generation = 77;
    const std::string path = (dir_ / "world.png").string();
    std::string error;
    ASSERT_EQ(writeSnapshotPng(describeDesktopFrame(), path.c_str(), error), 0) << error;

    png_uint_32 width = 0, height = 0;
    const Picture written(readPng(path, width, height));
    ASSERT_EQ(width, 980u);
    ASSERT_EQ(height, 700u);
    // The same frame rendered here, pixel for pixel; and only the picture is left.
    const Picture here = renderFrame();
    EXPECT_TRUE(written.sameRegion(here, 0, 0, kFrameWidth, kFrameHeight));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 1);
}

TEST_F(SnapshotTest, APictureIsWrittenThroughALinkAndKeepsTheFilesMode) {
    const std::string target = (dir_ / "target.png").string(), link = (dir_ / "link.png").string();
    { std::ofstream(target) << "old"; }
    ASSERT_EQ(chmod(target.c_str(), 0600), 0);
    ASSERT_EQ(symlink("target.png", link.c_str()), 0);
    std::string error;
    ASSERT_EQ(writeSnapshotPng(describeDesktopFrame(), link.c_str(), error), kSnapshotWritten) << error;
    EXPECT_TRUE(std::filesystem::is_symlink(link)) << "the link was replaced";
    png_uint_32 width = 0, height = 0;
    readPng(target, width, height);
    EXPECT_EQ(width, 980u);
    struct stat info {};
    ASSERT_EQ(stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 2) << "a temporary file was left";
}

TEST_F(SnapshotTest, FailuresSayWhyAndLeaveNothing) {
    std::string error;
    const std::string unwritable = (dir_ / "missing" / "world.png").string();
    EXPECT_EQ(writeSnapshotPng(describeDesktopFrame(), unwritable.c_str(), error), kSnapshotFileError);
    EXPECT_NE(error.find(unwritable), std::string::npos) << error;
    EXPECT_EQ(writeSnapshotPng(describeDesktopFrame(), "", error), kSnapshotFileError);

    const char* saved = std::getenv("DISPLAY");
    const std::string display = saved ? saved : "";
    setenv("DISPLAY", ":4093", 1);  // no server there
    const int status = writeSnapshotPng(describeDesktopFrame(), (dir_ / "world.png").string().c_str(), error);
    setenv("DISPLAY", display.c_str(), 1);
    EXPECT_EQ(status, kSnapshotNoDisplay);
    EXPECT_NE(error.find("xvfb-run"), std::string::npos) << error;
    EXPECT_TRUE(std::filesystem::is_empty(dir_));
}

}  // namespace
}  // namespace talvane::test
