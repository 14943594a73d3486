#include "batch_process.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace talvane::testing {

namespace fs = std::filesystem;

namespace {

std::string makeTempDir(const char* label) {
    std::string pattern = (fs::temp_directory_path() / (std::string("talvane-") + label + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    return pattern;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

constexpr uid_t kNobody = 65534;

Sandbox::Sandbox(User user)
    : switchUser_(user == User::nobody && geteuid() == 0), work_(makeTempDir("work")), capture_(makeTempDir("capture")) {
    if (switchUser_ && chown(work_.c_str(), kNobody, kNobody) != 0) throw std::runtime_error("chown failed");
}

void Sandbox::own(const std::string& name) const {
    if (switchUser_ && lchown(path(name).c_str(), kNobody, kNobody) != 0) throw std::runtime_error("chown failed");
}

Sandbox::~Sandbox() {
    for (int group : started_) kill(-group, SIGKILL);
    std::error_code ignored;
    fs::remove_all(work_, ignored);
    fs::remove_all(capture_, ignored);
}

int Sandbox::start(const std::vector<std::string>& args, const std::vector<int>& ignored) const {
    const std::string outPath = capture_ + "/out";
    const std::string errPath = capture_ + "/err";
    const pid_t pid = fork();
    if (pid > 0) {
        setpgid(pid, pid);  // as the child does, so that the group exists from here on
        started_.push_back(pid);
    }
    if (pid != 0) return pid;
    if (chdir(work_.c_str()) != 0) _exit(126);
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int in = open("/dev/null", O_RDONLY);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    for (int signo : ignored) std::signal(signo, SIG_IGN);
    setpgid(0, 0);  // a group of its own, so that its runs can be found and ended
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);  // signals that dump core leave no file behind
    std::vector<char*> argv;
    if (switchUser_) {
        for (const char* word : {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"}) {
            argv.push_back(const_cast<char*>(word));
        }
    }
    argv.push_back(const_cast<char*>(TALVANE_BATCH_EXE));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    if (switchUser_) {
        execvp("setpriv", argv.data());
    } else {
        execv(TALVANE_BATCH_EXE, argv.data());
    }
    _exit(127);
}

Outcome Sandbox::wait(int pid, std::chrono::seconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    Outcome outcome;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(-pid, SIGKILL);
            waitpid(pid, &status, 0);
            outcome.err = "(timed out)";
            return outcome;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    outcome.out = slurp(capture_ + "/out");
    outcome.err = slurp(capture_ + "/err");
    return outcome;
}

Outcome Sandbox::run(const std::vector<std::string>& args, std::chrono::seconds timeout) const {
    return wait(start(args), timeout);
}

std::string Sandbox::path(const std::string& name) const { return work_ + "/" + name; }

void Sandbox::write(const std::string& name, const std::string& text) const {
    std::ofstream(path(name), std::ios::binary) << text;
}

std::string Sandbox::read(const std::string& name) const { return slurp(path(name)); }

bool Sandbox::exists(const std::string& name) const { return fs::exists(path(name)); }

bool Sandbox::awaitTemporaryFiles(std::size_t count, std::chrono::seconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        std::size_t found = 0;
        for (const std::string& name : files()) found += name.front() == '.' && !read(name).empty();
        if (found >= count) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

std::set<std::string> Sandbox::files() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(work_)) names.insert(entry.path().filename().string());
    return names;
}

}  // namespace talvane::testing
