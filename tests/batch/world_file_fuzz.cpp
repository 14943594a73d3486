// libFuzzer target for the world-file reader: any bytes are either refused
// with a line number inside the text, or read as a world that writes back to
// text which reads as the same world.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "world_file.h"

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

long lineCount(std::string_view text) {
    long lines = 0;
    for (char ch : text) lines += ch == '\n';
    return lines + 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    talvane::WorldFile world;
    talvane::WorldError error;
    if (!talvane::parseWorld(text, world, error)) {
        check(!error.message.empty());
        check(error.line >= 0 && error.line <= lineCount(text));
        return 0;
    }
    for (int i = 0; i < talvane::kWorldCells; ++i) {
        check(world.color[i] >= 0 && world.color[i] < 8);
        check(world.self[i] >= 0 && world.self[i] < 8);
        check(world.other[i] >= 0 && world.other[i] < 8);
    }
    const std::string written = talvane::formatWorld(world);
    talvane::WorldFile again;
    check(talvane::parseWorld(written, again, error));
    check(again.color == world.color && again.self == world.self && again.other == world.other);
    return 0;
}
