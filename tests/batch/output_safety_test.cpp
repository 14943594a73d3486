// talvane-batch never clobbers what it should not: devices, pipes and links
// are written into or through, never replaced; a replaced file keeps its
// mode; a file the user may not write is refused. Every case runs as the
// tests' user and, when the tests run as root, as "nobody" too.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <fstream>
#include <future>
#include <sstream>

#include "batch_process.h"

namespace talvane {
namespace {

using testing::Outcome;
using testing::Sandbox;
using testing::User;

bool isRoot() { return geteuid() == 0; }

struct stat statOf(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) info.st_mode = 0;
    return info;
}

struct stat lstatOf(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) info.st_mode = 0;
    return info;
}

std::size_t lineCount(const std::string& text) {
    std::size_t count = 0;
    for (char c : text) count += c == '\n';
    return count;
}

// Runs body once as the tests' user and once as nobody.
template <typename Body>
void asEachUser(Body body) {
    for (User user : {User::me, User::nobody}) {
        SCOPED_TRACE(user == User::me ? "as the tests' user" : "as nobody");
        body(user);
    }
}

// A character device to write into: a private copy of /dev/null or /dev/full
// when the tests run as root (the real one must never be at stake), the real
// one otherwise (no ordinary user can replace it).
std::string characterDevice(const Sandbox& box, const std::string& name, unsigned minor) {
    if (!isRoot()) return "/dev/" + name;
    const std::string path = box.path(name);
    EXPECT_EQ(mknod(path.c_str(), S_IFCHR | 0666, makedev(1, minor)), 0);
    chmod(path.c_str(), 0666);
    return path;
}

TEST(BatchOutputTargets, DevicesAreWrittenIntoAndNeverReplaced) {
    asEachUser([](User user) {
        Sandbox box(user);
        const std::string null = characterDevice(box, "null", 3);
        const std::string full = characterDevice(box, "full", 7);

        const Outcome quiet = box.run({"--generations", "3", "--seed", "1", "--log", null});
        EXPECT_EQ(quiet.status, 0) << quiet.err;
        EXPECT_TRUE(S_ISCHR(statOf(null).st_mode)) << null << " was replaced";

        const Outcome fullDisk = box.run({"--generations", "3", "--seed", "1", "--log", full});
        EXPECT_EQ(fullDisk.status, 1) << "a write error on the device is reported";
        EXPECT_NE(fullDisk.err.find(full), std::string::npos) << fullDisk.err;
        EXPECT_TRUE(S_ISCHR(statOf(full).st_mode)) << full << " was replaced";

        const Outcome saved = box.run({"--generations", "0", "--seed", "1", "--save", null});
        EXPECT_EQ(saved.status, 0) << saved.err;
        EXPECT_TRUE(S_ISCHR(statOf(null).st_mode));

        // Numbered files beside a device make no sense: refused before anything runs.
        const auto before = box.files();
        const Outcome many = box.run({"--runs", "2", "--generations", "1", "--seed", "1", "--log", null});
        EXPECT_EQ(many.status, 2) << many.err;
        EXPECT_NE(many.err.find("not a regular file"), std::string::npos) << many.err;
        EXPECT_EQ(box.files(), before);
        EXPECT_FALSE(box.exists("null-1"));
    });
    EXPECT_TRUE(S_ISCHR(statOf("/dev/null").st_mode)) << "the system's /dev/null was replaced";
}

TEST(BatchOutputTargets, APipeIsWrittenIntoAndItsReaderGetsTheLog) {
    asEachUser([](User user) {
        Sandbox box(user);
        ASSERT_EQ(mkfifo(box.path("pipe").c_str(), 0666), 0);
        chmod(box.path("pipe").c_str(), 0666);
        // The test holds both ends open, so the reader sees the end only once
        // the test lets go, whatever the program did to the pipe.
        const int readEnd = open(box.path("pipe").c_str(), O_RDONLY | O_NONBLOCK);
        const int holdOpen = open(box.path("pipe").c_str(), O_WRONLY);
        ASSERT_GE(readEnd, 0);
        ASSERT_GE(holdOpen, 0);
        fcntl(readEnd, F_SETFL, 0);
        auto reader = std::async(std::launch::async, [readEnd] {
            std::string text;
            char buffer[4096];
            for (ssize_t got; (got = read(readEnd, buffer, sizeof buffer)) > 0;) {
                text.append(buffer, static_cast<std::size_t>(got));
            }
            close(readEnd);
            return text;
        });
        const Outcome outcome = box.run({"--generations", "5", "--seed", "2", "--log", "pipe"}, std::chrono::seconds(30));
        EXPECT_EQ(outcome.status, 0) << outcome.err;
        close(holdOpen);
        ASSERT_EQ(reader.wait_for(std::chrono::seconds(30)), std::future_status::ready);
        EXPECT_EQ(lineCount(reader.get()), 5u);
        EXPECT_TRUE(S_ISFIFO(lstatOf(box.path("pipe")).st_mode));
        EXPECT_EQ(box.files(), (std::set<std::string>{"pipe"}));
    });
}

TEST(BatchOutputTargets, LinksAreWrittenThroughToTheirTargets) {
    asEachUser([](User user) {
        Sandbox box(user);
        ASSERT_EQ(mkdir(box.path("data").c_str(), 0755), 0);
        box.own("data");
        box.write("data/world.csv", "old");
        box.own("data/world.csv");
        ASSERT_EQ(symlink("data/world.csv", box.path("link.csv").c_str()), 0);
        ASSERT_EQ(symlink("data/new-log.csv", box.path("dangling.csv").c_str()), 0);
        box.own("link.csv");
        box.own("dangling.csv");
        const Outcome outcome = box.run({"--generations", "4", "--seed", "3", "--save", "link.csv", "--log", "dangling.csv"});
        ASSERT_EQ(outcome.status, 0) << outcome.err;
        EXPECT_TRUE(S_ISLNK(lstatOf(box.path("link.csv")).st_mode)) << "the link was replaced";
        EXPECT_TRUE(S_ISLNK(lstatOf(box.path("dangling.csv")).st_mode)) << "the link was replaced";
        EXPECT_EQ(box.read("data/world.csv").rfind("row,col,color,self,other\n", 0), 0u);
        EXPECT_EQ(lineCount(box.read("data/new-log.csv")), 4u);
        // The run's record goes beside the name the log was given.
        EXPECT_EQ(box.files(), (std::set<std::string>{"data", "link.csv", "dangling.csv", "dangling.json"}));
    });
}

TEST(BatchOutputTargets, AReplacedFileKeepsItsModeAndAReadOnlyFileIsTheUsersToProtect) {
    asEachUser([](User user) {
        Sandbox box(user);
        box.write("private.csv", "old");
        box.own("private.csv");
        chmod(box.path("private.csv").c_str(), 0600);
        // Root replacing another user's file gives it back to that user.
        const bool foreign = isRoot() && !box.switchesUser();
        if (foreign) {
            ASSERT_EQ(chown(box.path("private.csv").c_str(), 65534, 65534), 0);
        }
        box.write("group.csv", "old");
        box.own("group.csv");
        chmod(box.path("group.csv").c_str(), 0664);
        const Outcome kept = box.run({"--generations", "2", "--seed", "4", "--log", "private.csv", "--save", "group.csv"});
        ASSERT_EQ(kept.status, 0) << kept.err;
        EXPECT_EQ(statOf(box.path("private.csv")).st_mode & 07777, 0600u);
        EXPECT_EQ(statOf(box.path("group.csv")).st_mode & 07777, 0664u);
        EXPECT_EQ(statOf(box.path("private.csv")).st_uid, foreign ? 65534u : statOf(box.path(".")).st_uid)
            << "owner lost";
        EXPECT_EQ(lineCount(box.read("private.csv")), 2u);

        // A read-only file: refused before the run for a user who may not
        // write it (as cp refuses); root may, and the mode stays.
        box.write("frozen.csv", "keep me");
        box.own("frozen.csv");
        chmod(box.path("frozen.csv").c_str(), 0444);
        const Outcome frozen = box.run({"--generations", "2", "--seed", "4", "--log", "frozen.csv"});
        if (isRoot() && !box.switchesUser()) {
            EXPECT_EQ(frozen.status, 0) << frozen.err;
            EXPECT_EQ(lineCount(box.read("frozen.csv")), 2u);
        } else {
            EXPECT_EQ(frozen.status, 1) << frozen.err;
            EXPECT_NE(frozen.err.find("frozen.csv"), std::string::npos) << frozen.err;
            EXPECT_EQ(box.read("frozen.csv"), "keep me");
        }
        EXPECT_EQ(statOf(box.path("frozen.csv")).st_mode & 07777, 0444u);
        std::set<std::string> expected{"private.csv", "private.json", "group.csv", "frozen.csv"};
        if (frozen.status == 0) expected.insert("frozen.json");  // a run's record comes with its log
        EXPECT_EQ(box.files(), expected);
    });
}

TEST(BatchOutputTargets, ALongNameThatFitsIsWrittenAndAnUnwritableFolderRefusedBeforeTheRun) {
    asEachUser([](User user) {
        Sandbox box(user);
        const std::string longName = std::string(250, 'v') + ".csv";  // 254 characters
        const Outcome outcome = box.run({"--generations", "2", "--seed", "5", "--log", longName});
        EXPECT_EQ(outcome.status, 0) << outcome.err;
        EXPECT_EQ(lineCount(box.read(longName)), 2u);

        if (isRoot() && !box.switchesUser()) return;  // root writes in any folder
        ASSERT_EQ(mkdir(box.path("locked").c_str(), 0555), 0);
        box.own("locked");
        chmod(box.path("locked").c_str(), 0555);
        // An endless run: only a refusal before the first generation ends it in time.
        const Outcome locked = box.run({"--generations", "2000000000", "--seed", "5", "--save", "locked/world.csv"},
                                       std::chrono::seconds(20));
        EXPECT_EQ(locked.status, 1) << locked.err;
        EXPECT_NE(locked.err.find("locked"), std::string::npos) << locked.err;
    });
}

}  // namespace
}  // namespace talvane
