// How long the "Population" window takes to draw a full history: 100,000
// generations (the most kept before thinning), at the default size and at a
// large one. Needs an X display (run under xvfb-run).
#include <FL/Fl.H>
#include <FL/x.H>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "chart_history.h"
#include "chart_window.h"

namespace {

talvane::ChartHistory makeHistory(int generations) {
    talvane::ChartHistory history;
    const std::array<std::uint32_t, 8> colors{2048, 0, 2048, 0, 0, 0, 0, 0};
    for (int g = 0; g <= generations; ++g) {
        talvane::PairCounts pairs{};
        // Shares that wander, so the curves cross the whole height.
        for (int k = 0; k < talvane::kPairCount; ++k) {
            pairs[static_cast<std::size_t>(k)] = static_cast<std::uint32_t>(
                64.0 * (1.0 + std::sin(0.001 * g * (k % 7 + 1) + k)));
        }
        std::uint32_t total = 0;
        for (auto c : pairs) total += c;
        pairs[0] += 4096 - std::min<std::uint32_t>(total, 4096);
        history.observe(g, pairs, colors);
    }
    return history;
}

double timeFrames(talvane::ChartWindow& window, int frames) {
    std::vector<double> times;
    for (int k = 0; k < frames; ++k) {
        const auto start = std::chrono::steady_clock::now();
        window.historyChanged();
        Fl::flush();
        XSync(fl_display, False);
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main() {
    fl_open_display();
    for (const int generations : {0, 99999}) {
    const talvane::ChartHistory history = makeHistory(generations);
    for (const auto& [w, h] : {std::pair{talvane::ChartWindow::kWidth, talvane::ChartWindow::kHeight}, std::pair{1200, 900}}) {
        talvane::ChartWindow window(0, 0, w, h, history);
        window.show();
        window.wait_for_expose();
        timeFrames(window, 5);  // warm up
        std::printf("chart %dx%d, %zu samples: median %.3f ms per frame\n", w, h, history.samples().size(),
                    timeFrames(window, 50));
        window.hide();
    }
    }
    return 0;
}
