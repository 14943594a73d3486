#include "headless_host.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

namespace talvane {

void HeadlessHost::showMessage(const char* text, const char* caption) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
}

void HeadlessHost::sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::int64_t HeadlessHost::clockSeconds() { return static_cast<std::int64_t>(std::time(nullptr)); }

}  // namespace talvane
