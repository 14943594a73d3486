#include "headless_host.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

#include "random_generator.h"

namespace talvane {

void HeadlessHost::showMessage(const char* text, const char* caption) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
}

void HeadlessHost::sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void HeadlessHost::fillRandom(std::uint32_t* out, int count) { detail::fillFromThreadGenerator(out, count); }

std::int64_t HeadlessHost::clockSeconds() { return static_cast<std::int64_t>(std::time(nullptr)); }

}  // namespace talvane
