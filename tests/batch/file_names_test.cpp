// Numbered file names of several runs: the number goes before the extension
// of the file name, never into a directory name.
#include <gtest/gtest.h>

#include "run.h"

namespace talvane {
namespace {

TEST(BatchNames, RunNumberGoesBeforeTheExtensionOfTheFileName) {
    EXPECT_EQ(numberedPath("vemo.csv", 3), "vemo-3.csv");
    EXPECT_EQ(numberedPath("out/world.csv", 12), "out/world-12.csv");
    EXPECT_EQ(numberedPath("log", 2), "log-2");
    EXPECT_EQ(numberedPath("run.v2.csv", 1), "run.v2-1.csv");
    EXPECT_EQ(numberedPath("data.d/log", 4), "data.d/log-4");  // a dot in a directory is no extension
    EXPECT_EQ(numberedPath(".hidden", 5), ".hidden-5");
    EXPECT_EQ(numberedPath("dir/.hidden.csv", 6), "dir/.hidden-6.csv");
}

}  // namespace
}  // namespace talvane
