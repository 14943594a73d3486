// The teaching commands driven in process: single step, worlds to and from
// files, undo and redo, the chart, pictures and the guide, with their keys
// and menu items.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "classroom.h"
#include "commands.h"
#include "desktop_view.h"
#include "fake_window_system.h"
#include "generation.h"
#include "mouse.h"
#include "population_log.h"
#include "run_control.h"
#include "sim_state.h"
#include "world_file.h"

namespace talvane {
namespace {

using testing::FakeWindowSystem;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

long lineCount(const std::string& path) {
    const std::string text = readFile(path);
    long lines = 0;
    for (char c : text) lines += c == '\n';
    return lines;
}

// Waits up to five seconds for the condition.
template <typename Condition>
bool waitFor(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// A world file of 64 x 64 cells with a pattern in every grid.
WorldFile patternWorld() {
    WorldFile file;
    for (int i = 0; i < kCellCount; ++i) {
        file.color[i] = (i / 64) < 32 ? 0 : 2;
        file.self[i] = i % 8;
        file.other[i] = (i * 3) % 8;
    }
    return file;
}

bool worldIs(const WorldFile& file) {
    for (int i = 0; i < kCellCount; ++i) {
        if (sim.world.cellColor[i] != file.color[i] || sim.world.selfStrategy[i] != file.self[i] ||
            sim.world.otherStrategy[i] != file.other[i]) {
            return false;
        }
    }
    return true;
}

class ClassroomTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::installFake(ui);
        char pattern[] = "/tmp/talvane-classroom-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        logPath = folder + "/vemo.csv";
        setLogPath(logPath.c_str());
    }
    void TearDown() override {
        stopSimulationThread();
        closeLog();
        setLogPath(nullptr);
        setWindowSystem(nullptr);
        resetClassroom();
        resetSimState();
        resetDesktopView();
        std::system(("rm -rf " + folder).c_str());
    }

    void control(unsigned key) { OnKeyDown(key, 1, kKeyControl); }

    // Paint mode with the pencil on a uniform world (0, 0), colour 0.
    void paintMode() {
        OnCommand(kCmdPaintCells);
        desktopView.paintTool = kToolPencil;
        testing::fillWorld(0, 0, 0);
    }

    FakeWindowSystem ui;
    std::string folder;
    std::string logPath;
};

TEST_F(ClassroomTest, StepRunsExactlyOneLoggedGenerationWhilePausedAndNothingWhileRunning) {
    testing::fillWorld(6, 0, 0);
    sim.world.selfStrategy[100] = 0;  // something for the step to change
    startSimulationThread();
    OnKeyDown(vk::N, 1, 0);
    ASSERT_TRUE(waitFor([] { return sim.generation == 1 && !sim.stepPending; }));
    OnCommand(kCmdStep);  // the menu item does the same
    ASSERT_TRUE(waitFor([] { return sim.generation == 2 && !sim.stepPending; }));
    EXPECT_TRUE(sim.paused);
    // Paused, the thread flushes every line: two generations, two lines.
    ASSERT_TRUE(waitFor([&] { return lineCount(logPath) == 2; }));
    EXPECT_GE(ui.fakeHost.repaints, 2);

    // At "Drop 99 frames" the stepped generation is drawn all the same.
    selectSpeed(kCmdDrop99);
    const int before = ui.fakeHost.repaints;
    OnKeyDown(vk::N, 1, 0);
    ASSERT_TRUE(waitFor([] { return sim.generation == 3; }));
    // The step's frame and the key's.
    EXPECT_TRUE(waitFor([&] { return ui.fakeHost.repaints >= before + 2; }));

    stopSimulationThread();
    sim.paused = false;
    OnKeyDown(vk::N, 1, 0);
    EXPECT_FALSE(sim.stepPending) << "a step asked for while running";
}

TEST_F(ClassroomTest, OpenWorldShowsItAtGenerationZeroInPaintMode) {
    const WorldFile file = patternWorld();
    const std::string path = folder + "/start.csv";
    writeFile(path, formatWorld(file));
    sim.generation = 321;
    ui.chosenFile = path;
    control(vk::O);
    ASSERT_EQ(ui.choosers.size(), 1u);
    EXPECT_EQ(ui.choosers[0].first, FileDialog::OpenWorld);
    EXPECT_TRUE(worldIs(file));
    EXPECT_EQ(sim.generation, 0);
    EXPECT_FALSE(sim.randomPoolMode);
    EXPECT_EQ(desktopView.paintTool, kToolPencil);
    EXPECT_TRUE(menus.checked[kCmdPaintCells]);
    EXPECT_TRUE(sim.restartPending);  // the log starts afresh, as at a restart
    restartSimulation();
    EXPECT_TRUE(worldIs(file)) << "the restart replaced the opened world";
    EXPECT_TRUE(ui.infoTexts.empty());

    // The menu item, cancelled: nothing happens.
    ui.chosenFile.clear();
    OnCommand(kCmdOpenWorld);
    EXPECT_EQ(ui.choosers.size(), 2u);
    EXPECT_TRUE(worldIs(file));
}

TEST_F(ClassroomTest, BadOrForeignSizedWorldFilesAreRefusedWithTheReadersMessage) {
    testing::fillWorld(5, 5, 2);
    sim.generation = 12;
    const std::string bad = folder + "/bad.csv";
    writeFile(bad, "row,col,color,self,other\n0,0,9,1,1\n");
    EXPECT_FALSE(openWorldFile(bad));
    ASSERT_EQ(ui.infoTexts.size(), 1u);
    EXPECT_EQ(ui.infoTexts[0].rfind(bad + ":2: ", 0), 0u) << ui.infoTexts[0];
    EXPECT_EQ(ui.infoTexts[0].find('\n'), std::string::npos);
    EXPECT_EQ(ui.infoCaptions[0], "Open world");

    const std::string small = folder + "/small.csv";
    writeFile(small, formatWorld(WorldFile::ofSize(10, 12)));
    EXPECT_FALSE(openWorldFile(small));
    ASSERT_EQ(ui.infoTexts.size(), 2u);
    EXPECT_NE(ui.infoTexts[1].find("10 x 12"), std::string::npos) << ui.infoTexts[1];
    EXPECT_NE(ui.infoTexts[1].find("64 x 64"), std::string::npos) << ui.infoTexts[1];

    EXPECT_FALSE(openWorldFile(folder + "/missing.csv"));
    EXPECT_EQ(ui.infoTexts.size(), 3u);

    // Nothing changed.
    EXPECT_EQ(sim.world.selfStrategy[77], 5);
    EXPECT_EQ(sim.world.cellColor[77], 2);
    EXPECT_EQ(sim.generation, 12);
    EXPECT_TRUE(sim.randomPoolMode);
    EXPECT_FALSE(sim.restartPending);
    EXPECT_EQ(undoHistory().undoDepth(), 0u);
}

TEST_F(ClassroomTest, SaveWorldWritesTheBatchFormatAndOpensBack) {
    const WorldFile file = patternWorld();
    const std::string source = folder + "/source.csv";
    writeFile(source, formatWorld(file));
    ASSERT_TRUE(openWorldFile(source));
    sim.generation = 123;
    const std::string saved = folder + "/saved.csv";
    ui.chosenFile = saved;
    control(vk::S);
    ASSERT_EQ(ui.choosers.size(), 1u);
    EXPECT_EQ(ui.choosers[0].first, FileDialog::SaveWorld);
    EXPECT_EQ(ui.choosers[0].second, "world-gen-000123.csv");
    EXPECT_EQ(readFile(saved), readFile(source));
    EXPECT_EQ(sim.frameInterval, 1) << "Ctrl+S also toggled slow motion";

    // Over an existing file, by the menu item; no temporary file is left.
    testing::fillWorld(1, 2, 0);
    OnCommand(kCmdSaveWorld);
    WorldFile back;
    WorldError error;
    ASSERT_TRUE(readWorldFile(saved, back, error)) << error.message;
    EXPECT_EQ(back.self[0], 1);
    EXPECT_EQ(back.other[4095], 2);
    EXPECT_NE(std::system(("ls -A " + folder + " | grep -q '^\\.tv'").c_str()), 0) << "a temporary file was left";

    // A folder that does not exist: a message, no crash.
    EXPECT_FALSE(saveWorldFile(folder + "/no/such/folder/w.csv"));
    ASSERT_EQ(ui.infoCaptions.size(), 1u);
    EXPECT_EQ(ui.infoCaptions[0], "Save world");
}

TEST_F(ClassroomTest, SaveWorldWritesThroughLinksIntoPipesAndDevicesAndKeepsModes) {
    testing::fillWorld(7, 0, 2);
    const std::string expected = [&] {
        const std::string probe = folder + "/plain.csv";
        EXPECT_TRUE(saveWorldFile(probe));
        return readFile(probe);
    }();
    ASSERT_FALSE(expected.empty());

    // A link stays a link; the file it names gets the world.
    const std::string target = folder + "/target.csv", link = folder + "/link.csv";
    writeFile(target, "old\n");
    ASSERT_EQ(symlink("target.csv", link.c_str()), 0);
    ASSERT_TRUE(saveWorldFile(link));
    struct stat info {};
    ASSERT_EQ(lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode)) << "the link was replaced";
    EXPECT_EQ(readFile(target), expected);

    // A file's mode is kept.
    const std::string secret = folder + "/secret.csv";
    writeFile(secret, "old\n");
    ASSERT_EQ(chmod(secret.c_str(), 0600), 0);
    ASSERT_TRUE(saveWorldFile(secret));
    ASSERT_EQ(stat(secret.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_EQ(readFile(secret), expected);

    // A named pipe is written into and stays a pipe.
    const std::string pipe = folder + "/pipe";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
    std::string received;
    std::thread reader([&] { received = readFile(pipe); });
    const bool written = saveWorldFile(pipe);
    reader.join();
    EXPECT_TRUE(written);
    EXPECT_EQ(received, expected);
    ASSERT_EQ(lstat(pipe.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode)) << "the pipe was replaced";

    // A device that refuses the bytes (a copy of /dev/full, where we may make
    // one) is reported and stays a device.
    const std::string full = folder + "/full";
    if (mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)) == 0) {
        EXPECT_FALSE(saveWorldFile(full));
        ASSERT_EQ(lstat(full.c_str(), &info), 0);
        EXPECT_TRUE(S_ISCHR(info.st_mode)) << "the device was replaced by a file";
        ASSERT_FALSE(ui.infoCaptions.empty());
        EXPECT_EQ(ui.infoCaptions.back(), "Save world");
    }
    EXPECT_NE(std::system(("ls -A " + folder + " | grep -q '^\\.tv'").c_str()), 0) << "a temporary file was left";
}

TEST_F(ClassroomTest, ControlKeysDoNotReachThePlainKeys) {
    control(vk::Y);  // redo with nothing to redo
    EXPECT_FALSE(sim.playSelf);
    control(vk::Z);
    control(vk::S);  // cancelled chooser
    EXPECT_EQ(sim.frameInterval, 1);
    // Other keys act as they do alone, Control or not.
    control(vk::V);
    EXPECT_FALSE(desktopView.viewStrategies);
    OnKeyDown(vk::S, 1, 0);
    EXPECT_EQ(sim.frameInterval, 0);
    OnKeyDown(vk::Y, 1, 0);
    EXPECT_TRUE(sim.playSelf);
}

TEST_F(ClassroomTest, UndoAndRedoAPencilStrokeAndAFill) {
    paintMode();
    desktopView.brushSelf = 6;
    desktopView.brushOther = 2;
    // A stroke over three cells of row 10 is one change.
    OnLButtonDown(kGridLeft + 9 * 3 + 4, kGridTop + 9 * 10 + 4);
    OnMouseMove(kGridLeft + 9 * 4 + 4, kGridTop + 9 * 10 + 4);
    OnMouseMove(kGridLeft + 9 * 5 + 4, kGridTop + 9 * 10 + 4);
    OnLButtonUp(kGridLeft + 9 * 5 + 4, kGridTop + 9 * 10 + 4);
    ASSERT_EQ(sim.world.selfStrategy[5 * 64 + 10], 6);
    desktopView.paintTool = kToolFill;
    desktopView.brushSelf = 7;
    desktopView.brushOther = 7;
    OnLButtonDown(kGridLeft + 9 * 40 + 4, kGridTop + 9 * 40 + 4);  // fills the (0, 0) region
    ASSERT_EQ(sim.world.selfStrategy[0], 7);
    EXPECT_EQ(undoHistory().undoDepth(), 2u);

    control(vk::Z);  // the fill
    EXPECT_EQ(sim.world.selfStrategy[0], 0);
    EXPECT_EQ(sim.world.selfStrategy[4 * 64 + 10], 6);
    OnCommand(kCmdUndo);  // the stroke
    EXPECT_EQ(sim.world.selfStrategy[3 * 64 + 10], 0);
    EXPECT_EQ(sim.world.selfStrategy[5 * 64 + 10], 0);
    EXPECT_FALSE(undoCommand()) << "nothing left to undo";
    EXPECT_EQ(sim.world.selfStrategy[4 * 64 + 10], 0);

    control(vk::Y);  // the stroke again
    EXPECT_EQ(sim.world.selfStrategy[4 * 64 + 10], 6);
    EXPECT_EQ(sim.world.otherStrategy[4 * 64 + 10], 2);
    OnCommand(kCmdRedo);  // the fill again
    EXPECT_EQ(sim.world.selfStrategy[0], 7);
    EXPECT_FALSE(redoCommand());
    EXPECT_TRUE(sim.paused);
    EXPECT_FALSE(sim.randomPoolMode);

    // A new change forgets what could be redone.
    undoCommand();
    desktopView.paintTool = kToolPencil;
    OnLButtonDown(kGridLeft + 4, kGridTop + 4);
    OnLButtonUp(kGridLeft + 4, kGridTop + 4);
    EXPECT_EQ(undoHistory().redoDepth(), 0u);
}

TEST_F(ClassroomTest, UndoARestartBringsBackTheWorldGenerationAndLog) {
    recordRestartsForUndo();
    restartSimulation();  // the start-up seeding: nothing to undo
    EXPECT_EQ(undoHistory().undoDepth(), 0u);
    OnCommand(kCmdPaintCells);
    testing::fillWorld(6, 6, 0);
    for (int g = 0; g < 5; ++g) {
        stepGeneration();
        flushLog();
    }
    ASSERT_EQ(lineCount(logPath), 5);
    const std::vector<CellCode> before = sim.world.selfStrategy;

    OnKeyDown(vk::R, 1, 0);
    restartSimulation();  // what the simulation thread does next
    EXPECT_EQ(sim.generation, 0);
    EXPECT_TRUE(sim.randomPoolMode);
    ASSERT_NE(sim.world.selfStrategy, before);

    control(vk::Z);
    EXPECT_EQ(sim.world.selfStrategy, before);
    EXPECT_EQ(sim.generation, 5);
    EXPECT_FALSE(sim.randomPoolMode);
    EXPECT_TRUE(menus.checked[kCmdPaintCells]);
    EXPECT_FALSE(sim.restartPending);
    // The thread cuts the log back before its next turn; the next generation is line 6.
    EXPECT_EQ(sim.logRewindLines, 5);
    rewindLog(sim.logRewindLines.exchange(-1));
    stepGeneration();
    flushLog();
    EXPECT_EQ(lineCount(logPath), 6);
    EXPECT_EQ(sim.generation, 6);
}

// What the window does with every frame it draws: the chart takes its counts.
void drawFrame() { observeChartFrame(sim.generation, countPairsOf(sim.world), countColors(sim.world), {}); }

std::vector<std::int32_t> chartGenerations() {
    std::vector<std::int32_t> generations;
    for (const ChartSample& sample : chartHistory().samples()) generations.push_back(sample.generation);
    return generations;
}

// A generation as the simulation thread runs it while paused: stepped,
// drawn, flushed.
void runGeneration() {
    stepGeneration();
    drawFrame();
    flushLog();
}

// What the simulation thread does before its next turn after an undo or a redo.
void afterUndoOrRedo() {
    rewindLog(sim.logRewindLines.exchange(-1));
    drawFrame();
}

TEST_F(ClassroomTest, UndoAndRedoOfARestartBringBackTheLogAndTheChartAsTheyWere) {
    recordRestartsForUndo();
    restartSimulation();
    OnCommand(kCmdPaintCells);
    testing::fillWorld(6, 6, 0);
    sim.world.selfStrategy[100] = 0;  // a world that changes for a while
    drawFrame();
    for (int g = 0; g < 6; ++g) runGeneration();
    const std::string logBefore = readFile(logPath);
    const std::vector<std::int32_t> chartBefore = chartGenerations();
    ASSERT_EQ(lineCount(logPath), 6);
    ASSERT_EQ(chartBefore.size(), 7u);  // generations 0 to 6

    // The restart, then a run after it that starts the log afresh.
    OnKeyDown(vk::R, 1, 0);
    restartSimulation();
    drawFrame();
    for (int g = 0; g < 3; ++g) runGeneration();
    const std::string logAfter = readFile(logPath);
    const std::vector<std::int32_t> chartAfter = chartGenerations();
    ASSERT_EQ(lineCount(logPath), 3);
    ASSERT_EQ(chartAfter, (std::vector<std::int32_t>{0, 1, 2, 3}));

    ASSERT_TRUE(undoCommand());  // back past the restart
    EXPECT_EQ(sim.generation, 6);
    EXPECT_EQ(sim.pairCounts, countPairsOf(sim.world));  // what the frame and the chart show next
    afterUndoOrRedo();
    EXPECT_EQ(readFile(logPath), logBefore);
    EXPECT_EQ(chartGenerations(), chartBefore);

    ASSERT_TRUE(redoCommand());
    EXPECT_EQ(sim.generation, 3);
    afterUndoOrRedo();
    EXPECT_EQ(readFile(logPath), logAfter);
    EXPECT_EQ(chartGenerations(), chartAfter);

    // The run goes on from the redone state: the next line is the fourth.
    runGeneration();
    const std::string logOn = readFile(logPath);
    EXPECT_EQ(lineCount(logPath), 4);
    EXPECT_EQ(logOn.substr(0, logAfter.size()), logAfter);

    // And back once more: the log of before the restart, whole.
    ASSERT_TRUE(undoCommand());
    afterUndoOrRedo();
    EXPECT_EQ(readFile(logPath), logBefore);
}

TEST_F(ClassroomTest, RedoAfterUndoingAStrokeGivesBackTheLinesAndSamplesThatUndoCut) {
    OnCommand(kCmdPaintCells);
    testing::fillWorld(6, 0, 0);
    sim.world.selfStrategy[200] = 7;
    drawFrame();
    for (int g = 0; g < 3; ++g) runGeneration();
    desktopView.paintTool = kToolPencil;
    OnLButtonDown(kGridLeft + 4, kGridTop + 4);
    OnLButtonUp(kGridLeft + 4, kGridTop + 4);
    drawFrame();
    for (int g = 0; g < 5; ++g) runGeneration();
    const std::string logRun = readFile(logPath);
    const std::vector<std::int32_t> chartRun = chartGenerations();
    ASSERT_EQ(lineCount(logPath), 8);

    ASSERT_TRUE(undoCommand());
    afterUndoOrRedo();
    EXPECT_EQ(lineCount(logPath), 3);
    EXPECT_EQ(chartGenerations(), (std::vector<std::int32_t>{0, 1, 2, 3}));

    ASSERT_TRUE(redoCommand());
    EXPECT_EQ(sim.generation, 8);
    afterUndoOrRedo();
    EXPECT_EQ(readFile(logPath), logRun);
    EXPECT_EQ(chartGenerations(), chartRun);
}

TEST_F(ClassroomTest, UndoAfterRunningOnCutsTheLogBack) {
    OnCommand(kCmdPaintCells);
    testing::fillWorld(6, 0, 0);
    for (int g = 0; g < 3; ++g) stepGeneration();
    desktopView.paintTool = kToolPencil;
    OnLButtonDown(kGridLeft + 4, kGridTop + 4);
    OnLButtonUp(kGridLeft + 4, kGridTop + 4);
    for (int g = 0; g < 4; ++g) stepGeneration();
    flushLog();
    ASSERT_EQ(lineCount(logPath), 7);
    undoCommand();
    EXPECT_EQ(sim.generation, 3);
    rewindLog(sim.logRewindLines.exchange(-1));
    EXPECT_EQ(lineCount(logPath), 3);
    stepGeneration();
    flushLog();
    EXPECT_EQ(lineCount(logPath), 4);
}

TEST_F(ClassroomTest, UndoOfAnOpenedWorldAndAColourLayoutChange) {
    recordRestartsForUndo();
    restartSimulation();
    testing::fillWorld(3, 3, 0);
    const std::string path = folder + "/w.csv";
    writeFile(path, formatWorld(patternWorld()));
    ASSERT_TRUE(openWorldFile(path));
    restartSimulation();  // the opened world's own restart adds no second undo point
    EXPECT_EQ(undoHistory().undoDepth(), 1u);
    undoCommand();
    EXPECT_EQ(sim.world.selfStrategy[9], 3);
    EXPECT_TRUE(sim.randomPoolMode);

    const int layout = sim.colorLayout;
    OnKeyDown(vk::C, 1, 0);
    restartSimulation();
    EXPECT_NE(sim.colorLayout, layout);
    undoCommand();
    EXPECT_EQ(sim.colorLayout, layout);
    EXPECT_EQ(sim.world.selfStrategy[9], 3);
}

TEST_F(ClassroomTest, HistoryHoldsAtLeastTwentyAndStaysBounded) {
    paintMode();
    for (int k = 1; k <= 200; ++k) {
        desktopView.brushSelf = k % 8;
        desktopView.brushOther = (k / 8) % 8;
        fillAll(desktopView.brushSelf, desktopView.brushOther);
    }
    EXPECT_LE(undoHistory().undoDepth(), undoHistory().limit());
    EXPECT_GE(undoHistory().limit(), 20u);
    for (int k = 200; k > 180; --k) {
        ASSERT_TRUE(undoCommand()) << "undo " << 201 - k;
        EXPECT_EQ(sim.world.selfStrategy[0], (k - 1) % 8);
        EXPECT_EQ(sim.world.otherStrategy[0], ((k - 1) / 8) % 8);
    }
}

TEST_F(ClassroomTest, ChartKeyAndItemOpenAndCloseTheChartWindow) {
    OnKeyDown(vk::G, 1, 0);
    EXPECT_TRUE(chartOpen());
    EXPECT_TRUE(menus.checked[kCmdChart]);
    OnCommand(kCmdChart);
    EXPECT_FALSE(chartOpen());
    EXPECT_FALSE(menus.checked[kCmdChart]);
    OnKeyDown(vk::G, 1, 0);
    chartWindowClosed();  // its own close box
    EXPECT_FALSE(menus.checked[kCmdChart]);
    EXPECT_EQ(ui.chartShows, (std::vector<bool>{true, false, true}));
    OnKeyDown(vk::G, 1, 0);
    EXPECT_TRUE(chartOpen());
}

TEST_F(ClassroomTest, SavePictureSuggestsTheGenerationAndReportsFailures) {
    sim.generation = 123;
    ui.chosenFile = folder + "/p.png";
    OnKeyDown(vk::F12, 1, 0);
    ASSERT_EQ(ui.choosers.size(), 1u);
    EXPECT_EQ(ui.choosers[0].first, FileDialog::SavePicture);
    EXPECT_EQ(ui.choosers[0].second, "talvane-gen-000123.png");
    EXPECT_EQ(ui.pictures, std::vector<std::string>{folder + "/p.png"});
    EXPECT_TRUE(ui.infoTexts.empty());
    ui.pictureFailure = "the file cannot be written";
    OnCommand(kCmdSavePicture);
    ASSERT_EQ(ui.infoCaptions.size(), 1u);
    EXPECT_EQ(ui.infoCaptions[0], "Save picture");
    ui.chosenFile.clear();
    OnCommand(kCmdSavePicture);
    EXPECT_EQ(ui.pictures.size(), 2u) << "a cancelled chooser wrote a picture";
}

TEST_F(ClassroomTest, GuideItemAndTheTeachingItemsFollowQuit) {
    OnCommand(kCmdGuide);
    EXPECT_EQ(ui.guidesShown, 1);
    std::size_t quit = 0;
    for (std::size_t k = 0; k < menuItems.size(); ++k) {
        if (menuItems[k].command == kCmdQuit) quit = k;
    }
    EXPECT_EQ(quit, 16u) << "the standard items moved";
    for (std::size_t k = quit + 1; k < menuItems.size(); ++k) {
        EXPECT_GE(menuItems[k].command, kCmdStep);
        EXPECT_EQ(menuItems[k].menu, MenuId::Main);
    }
}

}  // namespace
}  // namespace talvane
