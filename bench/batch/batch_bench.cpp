// What a batch run costs besides the engine's steps: a whole run with its log
// and saved world, and reading and writing world files.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <unistd.h>

#include "run.h"
#include "world_file.h"

namespace talvane {
namespace {

std::string scratchPath(const char* name) {
    return (std::filesystem::temp_directory_path() / (std::string("talvane-bench-") + std::to_string(getpid()) + "-" + name))
        .string();
}

// A seeded run of state.range(0) generations with its log and saved world.
void BM_WholeRun(benchmark::State& state) {
    RunSettings settings;
    settings.seed = 1;
    settings.generations = static_cast<std::int32_t>(state.range(0));
    settings.logPath = scratchPath("vemo.csv");
    settings.savePath = scratchPath("world.csv");
    for (auto _ : state) {
        PairCounts counts{};
        if (runOnce(settings, counts) != kExitOk) state.SkipWithError("run failed");
        benchmark::DoNotOptimize(counts);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));  // generations
    std::filesystem::remove(settings.logPath);
    std::filesystem::remove(settings.savePath);
}
BENCHMARK(BM_WholeRun)->Arg(0)->Arg(1000)->Unit(benchmark::kMillisecond);

WorldFile sampleWorld() {
    WorldFile world;
    for (int i = 0; i < kWorldCells; ++i) {
        world.color[i] = (i % 2) * 2;
        world.self[i] = i % 8;
        world.other[i] = (i * 7) % 8;
    }
    return world;
}

void BM_FormatWorld(benchmark::State& state) {
    const WorldFile world = sampleWorld();
    for (auto _ : state) benchmark::DoNotOptimize(formatWorld(world));
}
BENCHMARK(BM_FormatWorld)->Unit(benchmark::kMicrosecond);

void BM_ParseWorld(benchmark::State& state) {
    const std::string text = formatWorld(sampleWorld());
    WorldFile world;
    WorldError error;
    for (auto _ : state) benchmark::DoNotOptimize(parseWorld(text, world, error));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_ParseWorld)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace talvane

BENCHMARK_MAIN();
