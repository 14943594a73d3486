// The world-file reader and writer: what it accepts, and that every fault is
// caught on the right line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdlib.h>

#include "world_file.h"

namespace talvane {
namespace {

WorldFile patternedWorld() {
    WorldFile world;
    for (int i = 0; i < kWorldCells; ++i) {
        world.color[i] = (i * 5) % 8;
        world.self[i] = (i * 3 + 1) % 8;
        world.other[i] = (i / 64 + i % 64) % 8;
    }
    return world;
}

std::string validText() { return formatWorld(patternedWorld()); }

// The text with line number lineNo (1-based) replaced.
// The first n lines of text, each with its line end.
std::string firstLines(const std::string& text, int n) {
    std::size_t end = 0;
    for (int i = 0; i < n; ++i) end = text.find('\n', end) + 1;
    return text.substr(0, end);
}

std::string withLine(const std::string& text, int lineNo, const std::string& replacement) {
    std::size_t start = 0;
    for (int i = 1; i < lineNo; ++i) start = text.find('\n', start) + 1;
    const std::size_t end = text.find('\n', start);
    return text.substr(0, start) + replacement + text.substr(end);
}

TEST(WorldFile, FormatStartsWithHeaderAndListsCellsRowMajor) {
    const std::string text = validText();
    EXPECT_EQ(text.rfind("row,col,color,self,other\n0,0,0,1,0\n0,1,5,4,1\n", 0), 0u);
    EXPECT_NE(text.find("\n1,0,0,1,1\n"), std::string::npos);  // cell 64: row 1, column 0
    EXPECT_NE(text.find("\n63,63,3,6,6\n"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), kWorldCells + 1);
}

TEST(WorldFile, RoundTripsAndAcceptsCommonLineEndVariants) {
    const WorldFile original = patternedWorld();
    const std::string text = formatWorld(original);
    std::string crlf;
    for (char ch : text) crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
    const std::string noFinalNewline = text.substr(0, text.size() - 1);

    for (const std::string& variant : {text, crlf, noFinalNewline}) {
        WorldFile read;
        WorldError error;
        ASSERT_TRUE(parseWorld(variant, read, error)) << error.line << ": " << error.message;
        EXPECT_EQ(read.color, original.color);
        EXPECT_EQ(read.self, original.self);
        EXPECT_EQ(read.other, original.other);
    }
}

struct BadWorld {
    const char* what;
    std::string text;
    long line;             // line the fault must be reported on
    const char* mentions;  // part of the message
};

std::vector<BadWorld> badWorlds() {
    const std::string good = validText();
    const std::string header = "row,col,color,self,other\n";
    return {
        {"empty file", "", 0, "empty"},
        {"header only", header, 1, "no cells"},
        {"wrong header", withLine(good, 1, "row,col,colour,self,other"), 1, "header"},
        {"last cell missing", good.substr(0, good.rfind("63,63")), 4096, "row 63 after column 62"},
        {"extra line", good + "0,0,0,0,0\n", 4098, "expected row 64, col 0"},
        {"blank line at the end", good + "\n", 4098, "not a decimal integer"},
        {"blank line inside", withLine(good, 10, ""), 10, "not a decimal integer"},
        {"too few fields", withLine(good, 3, "0,1,0,0"), 3, "4 fields"},
        {"too many fields", withLine(good, 3, "0,1,0,0,0,0"), 3, "6 fields"},
        {"word for a value", withLine(good, 2, "0,0,red,1,0"), 2, "\"red\" is not a decimal integer"},
        {"space in a value", withLine(good, 2, "0,0,0, 1,0"), 2, "not a decimal integer"},
        {"plus sign", withLine(good, 2, "0,0,+1,1,0"), 2, "not a decimal integer"},
        {"colour out of range", withLine(good, 5, "0,3,8,0,0"), 5, "color 8 is out of range 0..7"},
        {"self out of range", withLine(good, 5, "0,3,0,-1,0"), 5, "self -1 is out of range"},
        {"row out of range", withLine(good, 5, "4096,3,0,0,0"), 5, "row 4096 is out of range 0..4095"},
        {"row out of order", withLine(good, 5, "64,3,0,0,0"), 5, "expected row 0, col 3"},
        {"huge number", withLine(good, 5, "0,3,0,0,99999999999999999999999"), 5, "out of range"},
        {"cells swapped", withLine(withLine(good, 3, "0,2,0,0,0"), 4, "0,1,0,0,0"), 3, "out of order"},
        // Row 0 may be longer than 64 cells: the fault shows where row 1 goes on.
        {"row and column swapped", withLine(good, 66, "0,64,0,0,0"), 67, "expected row 0, col 65"},
        {"cell repeated", withLine(good, 66, "0,63,0,0,0"), 66, "expected row 0, col 64 (or row 1, col 0)"},
        {"cell left out", withLine(good, 200, "3,8,0,0,0"), 200, "expected row 3, col 6"},
        {"row 0 too short", header + "0,0,0,0,0\n0,1,0,0,0\n1,0,0,0,0\n", 4, "row 1 begins after 2 columns"},
        {"two rows only", firstLines(good, 129), 129, "2 rows; a world needs 3 to 4096"},
        {"NUL byte", withLine(good, 7, std::string("0,5,0,0\0,0", 10)), 7, "\\x00"},
        {"endless line", header + std::string(100000, '7'), 2, "longer than"},
    };
}

TEST(WorldFile, AnySizeRoundTripsWithTheSizeTakenFromTheLines) {
    for (const auto& [rows, cols] : {std::pair{3, 3}, {5, 7}, {13, 11}, {4, 64}, {64, 4}, {3, 4096}}) {
        WorldFile world = WorldFile::ofSize(rows, cols);
        for (int i = 0; i < rows * cols; ++i) {
            world.color[i] = (i * 7) % 3;
            world.self[i] = (i * 5) % 8;
            world.other[i] = (i / cols + i) % 8;
        }
        const std::string text = formatWorld(world);
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), rows * cols + 1);
        WorldFile read;
        WorldError error;
        ASSERT_TRUE(parseWorld(text, read, error)) << rows << "x" << cols << ": " << error.message;
        EXPECT_EQ(read.rows, rows);
        EXPECT_EQ(read.cols, cols);
        EXPECT_EQ(read, world) << rows << "x" << cols;
    }
}

TEST(WorldFile, EveryFaultIsRefusedOnItsLine) {
    for (const BadWorld& bad : badWorlds()) {
        WorldFile world = patternedWorld();
        const WorldFile before = world;
        WorldError error;
        EXPECT_FALSE(parseWorld(bad.text, world, error)) << bad.what;
        EXPECT_EQ(error.line, bad.line) << bad.what << ": " << error.message;
        EXPECT_NE(error.message.find(bad.mentions), std::string::npos) << bad.what << ": " << error.message;
        EXPECT_EQ(world.self, before.self) << bad.what << ": a refused world must leave the target alone";
    }
}

class WorldFileOnDisk : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "talvane-world-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string write(const std::string& name, const std::string& text) {
        const std::string path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    std::filesystem::path dir_;
};

TEST_F(WorldFileOnDisk, ReadsWhatWasWrittenAndRefusesWhatIsNoFile) {
    WorldFile read;
    WorldError error;
    ASSERT_TRUE(readWorldFile(write("world.csv", validText()), read, error)) << error.message;
    EXPECT_EQ(read.other, patternedWorld().other);

    EXPECT_FALSE(readWorldFile((dir_ / "missing.csv").string(), read, error));
    EXPECT_EQ(error.line, 0);
    EXPECT_NE(error.message.find("No such file"), std::string::npos) << error.message;

    EXPECT_FALSE(readWorldFile(dir_.string(), read, error));
    EXPECT_NE(error.message.find("directory"), std::string::npos) << error.message;

    const std::string file = write("plain.csv", validText());
    EXPECT_FALSE(readWorldFile(file + "/inside.csv", read, error));  // a path through a file
    EXPECT_NE(error.message.find("Not a directory"), std::string::npos) << error.message;
}

TEST_F(WorldFileOnDisk, LinesThatStraddleTheReadBufferAreReadWhole) {
    // Zero-padded values are still decimal integers; they make the file long
    // enough that lines cross the reader's 64 KiB buffer boundaries.
    const WorldFile original = patternedWorld();
    std::string text = std::string(kWorldHeader) + "\n";
    char line[96];
    for (int i = 0; i < kWorldCells; ++i) {
        std::snprintf(line, sizeof line, "%07d,%07d,%07d,%07d,%07d\n", i / 64, i % 64, original.color[i],
                      original.self[i], original.other[i]);
        text += line;
    }
    ASSERT_GT(text.size(), 2u * 65536u);
    WorldFile read;
    WorldError error;
    ASSERT_TRUE(readWorldFile(write("padded.csv", text), read, error)) << error.line << ": " << error.message;
    EXPECT_EQ(read.color, original.color);
    EXPECT_EQ(read.self, original.self);
    EXPECT_EQ(read.other, original.other);

    text.replace(text.size() - 3, 1, "9");  // the last cell's others strategy becomes 9
    EXPECT_FALSE(readWorldFile(write("padded-bad.csv", text), read, error));
    EXPECT_EQ(error.line, kWorldCells + 1);
}

}  // namespace
}  // namespace talvane
