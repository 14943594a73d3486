#include "chart_window.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Help_View.H>
#include <FL/Fl_Widget.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "grid_view.h"
#include "sim_state.h"

namespace talvane {

namespace {

constexpr int kLegendWidth = 170;  // legend column at the right
constexpr int kMargin = 8;
constexpr int kTitleHeight = 18;   // a panel's title line
constexpr int kAxisHeight = 16;    // the generation axis under the last panel

Fl_Color seriesColor(int code) {
    const Rgb& rgb = cellPalette[static_cast<std::size_t>(code)];
    return fl_rgb_color(static_cast<uchar>(rgb[0] * 255.0f + 0.5f), static_cast<uchar>(rgb[1] * 255.0f + 0.5f),
                        static_cast<uchar>(rgb[2] * 255.0f + 0.5f));
}

}  // namespace

// The plot: one panel per group of series (self and others strategies, or
// colours), one curve per series, and the readout under the pointer.
class ChartView final : public Fl_Widget {
public:
    ChartView(int x, int y, int w, int h, const ChartHistory& history) : Fl_Widget(x, y, w, h), history_(history) {}

    // What the plot shows; the switch below it goes round them in this order.
    enum class Show { Strategies, Colors, Cooperation };
    Show show = Show::Strategies;

    void draw() override;
    int handle(int event) override;

private:
    struct Panel {
        const char* title;
        int first;  // first series
        int count;  // series in the panel
    };

    void drawPanel(const Panel& panel, int top, int height, std::int32_t lastGeneration, const ChartSample* hovered);
    // The palette entry of series s of the panel: the strategy's or colour's
    // own; the cooperation rates take TFT's and AllD's.
    static int colorOf(const Panel& panel, int s) {
        if (panel.first == kChartCooperation) return s == 0 ? 6 : 0;
        return s;
    }
    std::int32_t generationAt(int px) const;

    const ChartHistory& history_;
    std::vector<const ChartSample*> columnSamples_;  // scratch: the sample each pixel column shows
    int pointerX_ = -1;  // window x of the pointer over the plot, -1 when away
    int plotLeft_ = 0;
    int plotWidth_ = 1;
    std::int32_t span_ = 1;
};

void ChartView::draw() {
    fl_push_clip(x(), y(), w(), h());
    fl_color(FL_BLACK);
    fl_rectf(x(), y(), w(), h());
    fl_font(FL_HELVETICA, 12);

    const std::vector<ChartSample>& samples = history_.samples();
    const std::int32_t last = samples.empty() ? 0 : samples.back().generation;
    span_ = std::max<std::int32_t>(last, 10);
    plotLeft_ = x() + kMargin + 30;
    plotWidth_ = std::max(1, w() - (plotLeft_ - x()) - kLegendWidth - kMargin);

    const ChartSample* hovered = nullptr;
    if (pointerX_ >= plotLeft_ && pointerX_ < plotLeft_ + plotWidth_) hovered = history_.at(generationAt(pointerX_));
    if (hovered == nullptr && !samples.empty()) hovered = &samples.back();

    static constexpr Panel strategyPanels[] = {{"self strategies", kChartSelf, 8}, {"others strategies", kChartOther, 8}};
    static constexpr Panel colorPanels[] = {{"colours", kChartColor, 3}};
    static constexpr Panel cooperationPanels[] = {{"cooperation", kChartCooperation, 2}};
    const Panel* panels = show == Show::Strategies ? strategyPanels
                          : show == Show::Colors   ? colorPanels
                                                   : cooperationPanels;
    const int panelCount = show == Show::Strategies ? 2 : 1;
    const int usable = h() - 2 * kMargin - kAxisHeight;
    const int panelHeight = usable / panelCount;
    for (int k = 0; k < panelCount; ++k) {
        drawPanel(panels[k], y() + kMargin + k * panelHeight, panelHeight - 6, last, hovered);
    }

    // The generation axis and the readout.
    const int axisY = y() + h() - kMargin - kAxisHeight + 12;
    fl_color(FL_WHITE);
    fl_draw("0", plotLeft_, axisY);
    char text[64];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(span_));
    fl_draw(text, plotLeft_ + plotWidth_ - static_cast<int>(fl_width(text)), axisY);
    if (hovered != nullptr) {
        std::snprintf(text, sizeof text, "generation %d", static_cast<int>(hovered->generation));
        fl_draw(text, plotLeft_ + plotWidth_ / 2 - static_cast<int>(fl_width(text)) / 2, axisY);
    }
    fl_pop_clip();
}

void ChartView::drawPanel(const Panel& panel, int top, int height, std::int32_t lastGeneration,
                          const ChartSample* hovered) {
    const int plotTop = top + kTitleHeight;
    const int plotHeight = std::max(10, height - kTitleHeight);
    fl_color(FL_WHITE);
    fl_draw(panel.title, plotLeft_, top + 13);
    fl_color(fl_rgb_color(90, 90, 90));
    fl_rect(plotLeft_ - 1, plotTop - 1, plotWidth_ + 2, plotHeight + 2);
    fl_color(FL_WHITE);
    fl_draw("1", plotLeft_ - 14, plotTop + 9);
    fl_draw("0", plotLeft_ - 14, plotTop + plotHeight);

    // At most one vertex per pixel column and series: the sample that column
    // ends on, found once for all series.
    const std::vector<ChartSample>& samples = history_.samples();
    columnSamples_.clear();
    std::int32_t lastDrawn = -1;
    for (int column = 0; column < plotWidth_ && !samples.empty(); ++column) {
        const std::int32_t upTo =
            static_cast<std::int32_t>((static_cast<std::int64_t>(column) + 1) * span_ / plotWidth_);
        const ChartSample* sample = history_.at(upTo);
        if (sample == nullptr || sample->generation == lastDrawn) continue;
        lastDrawn = sample->generation;
        columnSamples_.push_back(sample);
        if (sample->generation >= lastGeneration) break;
    }
    for (int s = 0; s < panel.count; ++s) {
        const auto series = static_cast<std::size_t>(panel.first + s);
        fl_color(seriesColor(colorOf(panel, s)));
        // A rate with no games to count (NaN) leaves a gap in its curve.
        bool drawing = false;
        for (const ChartSample* sample : columnSamples_) {
            const float value = sample->share[series];
            if (std::isnan(value)) {
                if (drawing) fl_end_line();
                drawing = false;
                continue;
            }
            if (!drawing) fl_begin_line();
            drawing = true;
            const int px = plotLeft_ + static_cast<int>(static_cast<std::int64_t>(sample->generation) * plotWidth_ / span_);
            fl_vertex(px, plotTop + plotHeight - static_cast<int>(value * static_cast<float>(plotHeight)));
        }
        if (drawing) fl_end_line();
    }

    // Legend: colour, name and the value at the hovered generation.
    const int legendX = plotLeft_ + plotWidth_ + 12;
    for (int s = 0; s < panel.count; ++s) {
        const int rowY = plotTop + 4 + s * 16;
        fl_color(seriesColor(colorOf(panel, s)));
        fl_rectf(legendX, rowY, 10, 10);
        fl_color(FL_WHITE);
        static constexpr const char* cooperationNames[] = {"own colour", "other colours"};
        const char* name = panel.first == kChartColor         ? colorNames[static_cast<std::size_t>(s)]
                           : panel.first == kChartCooperation ? cooperationNames[s]
                                                              : strategyNames[static_cast<std::size_t>(s)];
        char text[64];
        const float value = hovered != nullptr ? hovered->share[static_cast<std::size_t>(panel.first + s)] : 0.0f;
        if (hovered != nullptr && std::isnan(value)) {
            std::snprintf(text, sizeof text, "%s  -", name);
        } else if (hovered != nullptr) {
            std::snprintf(text, sizeof text, "%s  %.1f%%", name, 100.0 * value);
        } else {
            std::snprintf(text, sizeof text, "%s", name);
        }
        fl_draw(text, legendX + 14, rowY + 10);
    }
    if (pointerX_ >= plotLeft_ && pointerX_ < plotLeft_ + plotWidth_) {
        fl_color(fl_rgb_color(160, 160, 160));
        fl_line(pointerX_, plotTop, pointerX_, plotTop + plotHeight - 1);
    }
}

std::int32_t ChartView::generationAt(int px) const {
    return static_cast<std::int32_t>(static_cast<std::int64_t>(px - plotLeft_) * span_ / plotWidth_);
}

int ChartView::handle(int event) {
    switch (event) {
        case FL_ENTER:
        case FL_MOVE:
            pointerX_ = Fl::event_x();
            redraw();
            return 1;
        case FL_LEAVE:
            pointerX_ = -1;
            redraw();
            return 1;
        default:
            return Fl_Widget::handle(event);
    }
}

ChartWindow::ChartWindow(int x, int y, int w, int h, const ChartHistory& history)
    : Fl_Double_Window(x, y, w, h, "Population") {
    view_ = new ChartView(0, 0, w, h - 30, history);
    switch_ = new Fl_Button(kMargin, h - 27, 160, 24, "Show colours");
    switch_->callback(onSwitch, this);
    switch_->clear_visible_focus();  // Space and the other keys steer the run, not the button
    resizable(view_);
    size_range(360, 260);
    xclass("talvane");
    callback(onClose, this);
    end();
}

ChartWindow::~ChartWindow() { Fl::remove_timeout(onRedrawDue, this); }

int ChartWindow::handle(int event) {
    if (event == FL_KEYBOARD && Fl::event_key() == FL_Escape) {
        do_callback();  // closes this window only, like its close box
        return 1;
    }
    if ((event == FL_KEYBOARD || event == FL_SHORTCUT) && Fl::event_key() != FL_Escape && key_) {
        key_();
        return 1;
    }
    return Fl_Double_Window::handle(event);
}

void ChartWindow::historyChanged() {
    if (!shown()) return;
    // The history takes every frame's counts, but the curves are drawn again
    // at most at a screen's refresh rate: at "Normal" speed the main window
    // may draw hundreds of frames a second, more than any screen shows.
    const auto now = std::chrono::steady_clock::now();
    if (now - lastDrawn_ >= kRedrawInterval) {
        lastDrawn_ = now;
        view_->redraw();
    } else if (!redrawPending_) {
        redrawPending_ = true;
        const double wait = std::chrono::duration<double>(kRedrawInterval - (now - lastDrawn_)).count();
        Fl::add_timeout(wait, onRedrawDue, this);
    }
}

void ChartWindow::onRedrawDue(void* data) {
    auto* window = static_cast<ChartWindow*>(data);
    window->redrawPending_ = false;
    window->lastDrawn_ = std::chrono::steady_clock::now();
    if (window->shown()) window->view_->redraw();
}

void ChartWindow::onClose(Fl_Widget* widget, void* data) {
    widget->hide();
    auto* window = static_cast<ChartWindow*>(data);
    if (window->closed_) window->closed_();
}

void ChartWindow::onSwitch(Fl_Widget*, void* data) {
    auto* window = static_cast<ChartWindow*>(data);
    using Show = ChartView::Show;
    Show& show = window->view_->show;
    // The button names what it shows next.
    switch (show) {
        case Show::Strategies:
            show = Show::Colors;
            window->switch_->label("Show cooperation");
            break;
        case Show::Colors:
            show = Show::Cooperation;
            window->switch_->label("Show strategies");
            break;
        case Show::Cooperation:
            show = Show::Strategies;
            window->switch_->label("Show colours");
            break;
    }
    window->view_->redraw();
}

// --- The guide ---

namespace {

constexpr const char* kGuideText = R"(<html><body>
<h2>What you see</h2>
<p>Every square of the big grid is one agent. Agents play a repeated game
(cooperate or defect) with their eight neighbours; the grid wraps around,
so the left edge touches the right edge and the top touches the bottom.</p>
<p>Each agent has a <b>colour</b> (Green or Red) and <b>two strategies</b>:</p>
<ul>
<li>the <b>outer square</b> shows the strategy it plays against neighbours of
the <b>other colour</b> (the "others strategy");</li>
<li>the <b>inner square</b> shows the strategy it plays against neighbours of
its <b>own colour</b> (the "self strategy").</li>
</ul>
<p>After every generation each agent copies the two strategies of the
best-scoring agent among itself and its neighbours. Press V to see the
colours instead of the strategies.</p>
<h2>The strategies</h2>
<p>A strategy is three bits: the first move, the reply when the other
cooperated, the reply when the other defected (1 = cooperate, 0 = defect).</p>
<table border="1" cellpadding="3">
<tr><td>000</td><td>AllD: always defect</td></tr>
<tr><td>010</td><td>STFT: suspicious tit for tat (defects first, then copies)</td></tr>
<tr><td>100</td><td>C-then-AllD: cooperates once, then always defects</td></tr>
<tr><td>110</td><td>TFT: tit for tat (cooperates first, then copies)</td></tr>
<tr><td>111</td><td>AllC: always cooperate</td></tr>
<tr><td>001, 011, 101</td><td>the other three combinations</td></tr>
</table>
<h2>Keys</h2>
<table border="0" cellpadding="2">
<tr><td>Space</td><td>run / pause</td></tr>
<tr><td>N</td><td>one generation (while paused)</td></tr>
<tr><td>R</td><td>restart with a new random world</td></tr>
<tr><td>C</td><td>next colour layout, then restart</td></tr>
<tr><td>S</td><td>slow motion on / off</td></tr>
<tr><td>V</td><td>show strategies / colours</td></tr>
<tr><td>P</td><td>random pool / paint cells by hand</td></tr>
<tr><td>Y</td><td>agents also play themselves</td></tr>
<tr><td>+</td><td>extra point for same colour</td></tr>
<tr><td>E</td><td>print a line at every restart</td></tr>
<tr><td>G</td><td>the population chart</td></tr>
<tr><td>Ctrl+Z, Ctrl+Y</td><td>undo, redo a change made by hand</td></tr>
<tr><td>Ctrl+O, Ctrl+S</td><td>open, save a world</td></tr>
<tr><td>F12</td><td>save a picture</td></tr>
<tr><td>Escape</td><td>end (in this window or the chart: close it)</td></tr>
</table>
<h2>The mouse</h2>
<p>The right button opens the menu. With the random pool, click a strategy in
a panel to leave it out of (or put it back into) the next random world, and
click the grid to run or pause. In paint mode, click a panel row to choose
the brush, pick the pencil or the paint bucket under the status text, and
paint single cells, strokes or whole regions.</p>
<h2>The games</h2>
<p>The payoff matrix (click it to change it) gives the points for both
cooperating (R), for cooperating against a defector (S), for defecting
against a cooperator (T) and for both defecting (P). Their order names the
game:</p>
<ul>
<li><b>Prisoner's Dilemma</b>: T &gt; R &gt; P &gt; S. Defecting pays
each one, but both do better cooperating.</li>
<li><b>Stag Hunt</b>: R &gt; T &gt; P &gt; S. Cooperation pays if the other
cooperates too.</li>
<li><b>Chicken</b>: T &gt; R &gt; S &gt; P. Defect while the other gives
way, but both defecting is the worst.</li>
<li><b>Deadlock</b>: T &gt; P &gt; R &gt; S. Defecting is best either way.</li>
</ul>
</body></html>)";

}  // namespace

namespace {

// The guide's window: Escape typed into it closes it, never the program.
class GuideWindow final : public Fl_Double_Window {
public:
    GuideWindow(int x, int y) : Fl_Double_Window(x, y, 520, 560, "Guide") {}
    int handle(int event) override {
        if (event == FL_KEYBOARD && Fl::event_key() == FL_Escape) {
            hide();
            return 1;
        }
        return Fl_Double_Window::handle(event);
    }
};

}  // namespace

void showGuideWindow(int nearX, int nearY) {
    static Fl_Double_Window* guide = nullptr;
    if (guide == nullptr) {
        guide = new GuideWindow(nearX, nearY);
        auto* text = new Fl_Help_View(0, 0, 520, 560);
        text->value(kGuideText);
        text->textsize(14);
        guide->resizable(text);
        guide->xclass("talvane");
        guide->end();
    }
    guide->show();
}

}  // namespace talvane
