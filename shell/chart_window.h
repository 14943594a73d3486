// The "Population" window: the shares of the strategies (or colours) over
// the generations since the last restart, drawn from a ChartHistory, with a
// readout of the generation and values under the pointer.
#pragma once

#include <FL/Fl_Double_Window.H>

#include <chrono>
#include <functional>
#include <utility>

#include "chart_history.h"

class Fl_Button;

namespace talvane {

class ChartView;

class ChartWindow final : public Fl_Double_Window {
public:
    // A window of w x h at (x, y) showing history; onClosed runs when the
    // window's close box hides it.
    ChartWindow(int x, int y, int w, int h, const ChartHistory& history);
    ~ChartWindow() override;

    void onClosed(std::function<void()> closed) { closed_ = std::move(closed); }

    // Keys typed into the chart window (all but Escape, which closes it) go
    // to this handler: the run is steered from either window.
    void onKey(std::function<void()> key) { key_ = std::move(key); }

    int handle(int event) override;

    // The history changed: draw the curves again, now or, when they were
    // drawn less than kRedrawInterval ago, once that has passed.
    void historyChanged();

    static constexpr std::chrono::microseconds kRedrawInterval{16667};  // 60 a second

    // The window's default size.
    static constexpr int kWidth = 560;
    static constexpr int kHeight = 480;

private:
    static void onClose(Fl_Widget*, void*);
    static void onSwitch(Fl_Widget*, void*);
    static void onRedrawDue(void*);

    ChartView* view_;
    Fl_Button* switch_;
    std::function<void()> closed_;
    std::function<void()> key_;
    std::chrono::steady_clock::time_point lastDrawn_{};
    bool redrawPending_ = false;
};

// The "Guide" window: what the picture shows, the keys and the mouse, and
// the games, in plain words. Shown by showGuideWindow (made once).
void showGuideWindow(int nearX, int nearY);

}  // namespace talvane
