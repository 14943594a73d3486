// What pictures cost: drawing a world into palette indexes, turning them into
// RGB for ffmpeg, and encoding PNG, for a 64 x 64 movie frame and a
// 1024 x 1024 world.
#include <benchmark/benchmark.h>

#include "grid_image.h"

namespace talvane {
namespace {

// A world with every cell different from its neighbours: the worst case for
// run-length-friendly drawing and for deflate.
World randomWorld(int side) {
    WorldShape shape;
    shape.rows = side;
    shape.cols = side;
    World world(shape);
    std::uint32_t x = 12345;
    for (int i = 0; i < world.cellCount(); ++i) {
        x = x * 1664525u + 1013904223u;
        world.selfStrategy[static_cast<std::size_t>(i)] = static_cast<CellCode>(x >> 29);
        world.otherStrategy[static_cast<std::size_t>(i)] = static_cast<CellCode>((x >> 26) & 7);
        world.cellColor[static_cast<std::size_t>(i)] = static_cast<CellCode>((x >> 20) % 3);
    }
    return world;
}

void BM_Draw(benchmark::State& state) {
    const World world = randomWorld(static_cast<int>(state.range(0)));
    const GridPicture picture{static_cast<int>(state.range(1)), GridView::Strategies, false};
    IndexedImage image;
    for (auto _ : state) {
        drawWorld(world, picture, image);
        benchmark::DoNotOptimize(image.index.data());
    }
}
BENCHMARK(BM_Draw)->Args({64, 9})->Args({1024, 1})->Args({1024, 2})->Args({1024, 4})->Args({1024, 9})
    ->Unit(benchmark::kMillisecond);

// A movie frame: drawn and made RGB for ffmpeg's pipe.
void BM_MovieFrame(benchmark::State& state) {
    const World world = randomWorld(64);
    IndexedImage image;
    std::vector<std::uint8_t> rgb;
    for (auto _ : state) {
        drawWorld(world, {9, GridView::Strategies, false}, image);
        toRgb(image, rgb);
        benchmark::DoNotOptimize(rgb.data());
    }
}
BENCHMARK(BM_MovieFrame)->Unit(benchmark::kMicrosecond);

void BM_DrawAndEncodePng(benchmark::State& state) {
    const World world = randomWorld(static_cast<int>(state.range(0)));
    const GridPicture picture{static_cast<int>(state.range(1)), GridView::Strategies, false};
    IndexedImage image;
    for (auto _ : state) {
        drawWorld(world, picture, image);
        benchmark::DoNotOptimize(encodePng(image).size());
    }
}
BENCHMARK(BM_DrawAndEncodePng)->Args({64, 9})->Args({1024, 1})->Args({1024, 2})->Args({1024, 4})->Args({1024, 9})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace talvane
