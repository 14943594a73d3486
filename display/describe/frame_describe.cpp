#include "frame_describe.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "payoffs.h"

namespace talvane {
namespace {

template <typename... Args>
FrameText formatText(const char* format, Args... args) {
    FrameText text{};
    std::snprintf(text.data(), text.size(), format, args...);
    return text;
}

FrameText copyText(const char* source) { return formatText("%s", source); }

const char* competitionLine(const FrameSettings& s) {
    return s.competition == CompetitionMode::Finite ? "Competition mode: finite" : "Competition mode: infinite";
}

FrameText speedLine(std::int32_t interval) {
    if (interval == 0) return copyText("<S> Slow Motion");
    if (interval == 1) return copyText("<S> Normal Speed");
    if (interval == 2) return copyText("<S> Showing every other generation");
    return formatText("<S> Showing every %dth generation", interval);
}

const char* paintModeLine(const FrameSettings& s) {
    if (!s.randomPool) return "<P> Switch to random stategies";
    return s.viewStrategies ? "<P> Switch to painting strategies" : "<P> Switch to painting colors";
}

const char* layoutLine(ColorLayout layout) {
    switch (layout) {
        case ColorLayout::Random: return "<C> Colors initialized randomly";
        case ColorLayout::Checkerboard: return "<C> Colors initialized as a checkerboard";
        case ColorLayout::Segregated: return "<C> Colors initialized as segregated";
        default: return "";
    }
}

const char* fixedStatusLine(const FrameSettings& s, int line) {
    switch (line) {
        case 1: return competitionLine(s);
        case 4: return "<R> Restart";
        case 5: return s.paused ? "<SPACE> Resume" : "<SPACE> Pause";
        case 7: return paintModeLine(s);
        case 8: return s.viewStrategies ? "<V> Switch to viewing colors" : "<V> Switch to viewing stategies";
        case 9: return s.extraPoint ? "<+> Extra point for same color: YES" : "<+> Extra point for same color: NO";
        case 10: return s.playSelf ? "<Y> Playing yourself: YES (9 neighbors)" : "<Y> Playing yourself: NO (8 neighbors)";
        case 11: return layoutLine(s.colorLayout);
        default: return "";
    }
}

void describeTexts(const FrameSettings& s, FrameDescription& d) {
    d.title = titleLine(s);
    for (int line = 1; line <= kStatusLineCount; ++line) d.statusLines[static_cast<std::size_t>(line - 1)] = statusLine(s, line);
    for (std::size_t code = 0; code < d.strategyNames.size(); ++code) d.strategyNames[code] = copyText(strategyNames[code]);
    for (std::size_t code = 0; code < d.colorNames.size(); ++code) d.colorNames[code] = copyText(colorNames[code]);
}

}  // namespace

FrameText titleLine(const FrameSettings& s) {
    // Infinite competition scores from its fixed long-run table whatever the
    // four payoffs say: the title names the game of that table.
    const auto& p = s.competition == CompetitionMode::Infinite ? kInfiniteTablePayoffs : s.payoffs;
    const char* game = classifyGame(p[0], p[1], p[2], p[3]);
    const bool named = std::strcmp(game, "Unnamed Game") != 0;
    return formatText("%s%s%s", named ? "Spatialized " : "", game, s.paused ? " (Paused)" : "");
}

FrameText statusLine(const FrameSettings& s, int line) {
    if (line == 2) return formatText("Generation %d", s.generation);
    if (line == 6) return speedLine(s.frameInterval);
    return copyText(fixedStatusLine(s, line));
}

FrameDescription describeFrame(const FrameSettings& s) {
    FrameDescription d;
    d.viewStrategies = s.viewStrategies;
    describeTexts(s, d);
    d.selfExcluded = s.selfExcluded;
    d.otherExcluded = s.otherExcluded;
    d.poolMarksShown = s.randomPool;
    d.layoutIconShown = s.randomPool;
    d.colorLayout = static_cast<std::int32_t>(s.colorLayout);
    d.payoffMatrixShown = s.competition == CompetitionMode::Finite;
    d.payoffs = s.payoffs;
    return d;
}

bool describeCells(const World& world, FrameDescription& d) {
    if (world.rows() != kGridSize || world.cols() != kGridSize) return false;
    std::copy_n(world.selfStrategy.begin(), kCellCount, d.selfCodes.begin());
    std::copy_n(world.otherStrategy.begin(), kCellCount, d.otherCodes.begin());
    std::copy_n(world.cellColor.begin(), kCellCount, d.colorCodes.begin());
    return true;
}

FrameDescription describeWorld(const World& world, const FrameSettings& settings) {
    FrameDescription d = describeFrame(settings);
    describeCells(world, d);
    return d;
}

}  // namespace talvane
