// Text: the fonts on their baselines, the title line, the status block with
// its bevel, and the payoff matrix. Texts are checked against the literal
// text drawn alone at the same place.
#include <climits>
#include <cstring>

#include "desktop_frame.h"
#include "desktop_view.h"
#include "frame_fixture.h"
#include "sim_state.h"
#include "text_overlay.h"

namespace talvane::test {
namespace {

using TextTest = FrameTest;

// Status line n (1..11) owns x 617..844, from 12 rows above its baseline to
// 2 below.
int statusBaseline(int line) { return 285 + 15 * (line - 1); }

::testing::AssertionResult statusLineIs(const Picture& frame, int line, const char* text,
                                        const Rgb& color = textPalette[0]) {
    const int y = statusBaseline(line);
    const Picture alone = FrameTest::textAlone(kFontStatus, text, 625, y, color);
    if (alone.countLit(617, y - 12, 845, y + 3) == 0) return ::testing::AssertionFailure() << "nothing drawn alone";
    if (!frame.sameRegion(alone, 617, y - 12, 845, y + 3))
        return ::testing::AssertionFailure() << "line " << line << " is not \"" << text << "\"";
    return ::testing::AssertionSuccess();
}

TEST_F(TextTest, EachFontSitsOnItsBaselineInTheCurrentColour) {
    struct Case {
        int font, minCap, maxCap;  // height of "H" in pixels
    };
    const Pixel magenta = toPixel({1.0f, 0.0f, 1.0f});
    for (const Case c : {Case{kFontTitle, 12, 14}, Case{kFontStatus, 7, 9}, Case{kFontPanel, 9, 11}}) {
        const Picture p = textAlone(c.font, "HHH", 100, 200, {1.0f, 0.0f, 1.0f});
        int top = 999, bottom = -1, left = 999;
        for (int y = 150; y < 230; ++y)
            for (int x = 80; x < 200; ++x)
                if (near(p.at(x, y), magenta)) top = std::min(top, y), bottom = std::max(bottom, y), left = std::min(left, x);
        EXPECT_EQ(bottom, 199) << "font " << c.font;  // the row just above the baseline
        EXPECT_TRUE(left >= 100 && left <= 102) << "font " << c.font << " starts at " << left;
        EXPECT_TRUE(bottom - top + 1 >= c.minCap && bottom - top + 1 <= c.maxCap) << "font " << c.font;
    }
    EXPECT_EQ(fontForCode(7), fontForCode(kFontTitle));
    EXPECT_EQ(drawText(kFontTitle, nullptr, 100, 200), 2u);
    EXPECT_EQ(drawBitmapString(nullptr, "text"), 2u);
}

TEST_F(TextTest, TitleNamesTheGame) {
    struct Case {
        int r, s, t, p;
        bool paused;
        const char* title;
    };
    for (const Case& c : {Case{3, 0, 5, 1, true, "Spatialized Prisoner's Dilemma (Paused)"},
                          Case{5, 0, 3, 1, false, "Spatialized Stag Hunt"},
                          Case{1, 1, 1, 1, true, "Unnamed Game (Paused)"}, Case{1, 1, 1, 1, false, "Unnamed Game"}}) {
        sim.payoffCC = c.r, sim.payoffCD = c.s, sim.payoffDC = c.t, sim.payoffDD = c.p;
        sim.paused = c.paused;
        const Picture frame = renderFrame();
        const Picture alone = textAlone(kFontTitle, c.title, 20, 50, kTitleColor);
        EXPECT_GT(alone.countLit(0, 28, 615, 64), 100);
        EXPECT_TRUE(frame.sameRegion(alone, 0, 28, 615, 64)) << c.title;
    }
}

TEST_F(TextTest, StatusLinesAtStartUp) {
    const char* lines[] = {"Competition mode: finite",
                           "Generation 0",
                           nullptr,
                           "<R> Restart",
                           "<SPACE> Resume",
                           "<S> Normal Speed",
                           "<P> Switch to painting strategies",
                           "<V> Switch to viewing colors",
                           "<+> Extra point for same color: NO",
                           "<Y> Playing yourself: NO (8 neighbors)",
                           "<C> Colors initialized as a checkerboard"};
    const Picture frame = renderFrame();
    EXPECT_EQ(frame.countLit(617, statusBaseline(3) - 12, 845, statusBaseline(3) + 3), 0);
    for (int line = 1; line <= 11; ++line) {
        if (!lines[line - 1]) continue;
        EXPECT_TRUE(statusLineIs(frame, line, lines[line - 1]));
    }
}

TEST_F(TextTest, StatusLinesFollowTheSettings) {
    struct Case {
        void (*set)();
        int line;
        const char* text;
    };
    const Case cases[] = {
        {[] { sim.competitionMode = 5; }, 1, "Competition mode: infinite"},
        {[] { sim.generation = 12345; }, 2, "Generation 12345"},
        {[] { sim.paused = false; }, 5, "<SPACE> Pause"},
        {[] { sim.frameInterval = 0; }, 6, "<S> Slow Motion"},
        {[] { sim.frameInterval = 2; }, 6, "<S> Showing every other generation"},
        {[] { sim.frameInterval = 10; }, 6, "<S> Showing every 10th generation"},
        {[] { desktopView.viewStrategies = false; }, 7, "<P> Switch to painting colors"},
        {[] { sim.randomPoolMode = false; }, 7, "<P> Switch to random stategies"},
        {[] { desktopView.viewStrategies = false; }, 8, "<V> Switch to viewing stategies"},
        {[] { sim.extraPointSameColor = true; }, 9, "<+> Extra point for same color: YES"},
        {[] { sim.playSelf = true; }, 10, "<Y> Playing yourself: YES (9 neighbors)"},
        {[] { sim.colorLayout = 0; }, 11, "<C> Colors initialized randomly"},
        {[] { sim.colorLayout = 2; }, 11, "<C> Colors initialized as segregated"},
        {[] { sim.generation = INT_MIN; }, 2, "Generation -2147483648"},
        {[] { sim.frameInterval = INT_MIN; }, 6, "<S> Showing every -2147483648th generation"},
    };
    for (const Case& c : cases) {
        resetSimState();
        resetDesktopView();
        c.set();
        EXPECT_TRUE(statusLineIs(renderFrame(), c.line, c.text));
    }
}

TEST_F(TextTest, BevelAlongTopAndLeftOnly) {
    const Picture p = renderFrame();
    const Pixel outer = toPixel(kOuterBevelColor), inner = toPixel(cellPalette[6]);
    EXPECT_TRUE(filled(p, 615, 269, 775, 270, outer));
    EXPECT_TRUE(filled(p, 615, 270, 616, 439, outer));
    EXPECT_TRUE(filled(p, 616, 270, 776, 271, inner));
    EXPECT_TRUE(filled(p, 616, 271, 617, 440, inner));
    EXPECT_EQ(p.countLit(775, 269, 840, 270) + p.countLit(776, 270, 840, 271), 0);  // no right edge
    EXPECT_EQ(p.countLit(615, 439, 617, 452) - 1, 0);  // only the inner line's last pixel, (616, 439)
    EXPECT_EQ(p.countLit(617, 440, 840, 452), 0);      // no bottom edge
}

TEST_F(TextTest, InfoPageRecoloursStatusAndMatrixNumbersOnly) {
    for (int page = 0; page < 6; ++page) {
        desktopView.infoPage = page;
        const Picture p = renderFrame();
        const Rgb& color = textPalette[static_cast<std::size_t>(page)];
        EXPECT_TRUE(statusLineIs(p, 4, "<R> Restart", color)) << "page " << page;
        EXPECT_TRUE(p.sameRegion(textAlone(kFontStatus, "3, 3     0, 5", 864, 298, color), 860, 286, 980, 301));
        EXPECT_GT(p.count(0, 28, 615, 64, toPixel(kTitleColor)), 100) << "page " << page;
        EXPECT_GT(p.count(844, 304, 853, 314, toPixel(cellPalette[6])), 5) << "page " << page;  // "D" label
    }
    EXPECT_EQ(toPixel(textPalette[1]), toPixel({1.0f, 0.7f, 0.2f}));
}

TEST_F(TextTest, PayoffMatrixInFiniteCompetitionOnly) {
    Picture p = renderFrame();
    const Pixel grey = toPixel(cellPalette[6]);
    EXPECT_TRUE(filled(p, 845, 283, 925, 284, grey));  // under the column labels
    EXPECT_TRUE(filled(p, 855, 270, 856, 323, grey));  // right of the row labels
    EXPECT_EQ(p.countLit(925, 283, 980, 284) + p.countLit(855, 323, 856, 330), 0);
    struct Label {
        const char* text;
        int x, y;
    };
    for (const Label& l : {Label{"C", 845, 298}, Label{"D", 845, 313}, Label{"C", 869, 279}, Label{"D", 901, 279}})
        EXPECT_TRUE(p.sameRegion(textAlone(kFontStatus, l.text, l.x, l.y, cellPalette[6]), l.x - 1, l.y - 10, l.x + 8,
                                 l.y + 1)) << l.text << " at " << l.x << ", " << l.y;
    EXPECT_TRUE(p.sameRegion(textAlone(kFontStatus, "5, 0     1, 1", 864, 313, textPalette[0]), 860, 302, 980, 316));

    sim.competitionMode = 5;
    EXPECT_EQ(renderFrame().countLit(840, 260, 980, 330), 0);
}

TEST_F(TextTest, ExtremeValuesAreFormattedWhole) {
    char row[kTextBufferSize];
    formatPayoffRow(row, sizeof row, INT_MIN, INT_MIN, INT_MIN, INT_MIN);
    EXPECT_STREQ(row, "-2147483648, -2147483648     -2147483648, -2147483648");
    EXPECT_EQ(std::strlen(row), 53u);

    sim.payoffCC = INT_MIN, sim.payoffCD = INT_MAX, sim.payoffDC = INT_MIN, sim.payoffDD = INT_MIN;
    const Picture alone = textAlone(kFontStatus, "-2147483648, -2147483648     2147483647, -2147483648", 864, 298,
                                    textPalette[0]);
    EXPECT_TRUE(renderFrame().sameRegion(alone, 860, 286, 980, 301));
    sim.payoffCC = 0, sim.payoffCD = -1, sim.payoffDC = INT_MAX, sim.payoffDD = INT_MIN;
    EXPECT_STREQ(titleLine(desktopFrameSettings()).data(), "Spatialized Chicken (Paused)");
}

// Infinite competition plays the long-run table of the default Prisoner's
// Dilemma whatever the payoffs: the title must not name another game.
TEST_F(TextTest, InfiniteTitleNamesTheGameOfTheTableInUse) {
    sim.payoffCC = 3, sim.payoffCD = 1, sim.payoffDC = 4, sim.payoffDD = 0;  // Chicken
    sim.competitionMode = 5;
    EXPECT_STREQ(titleLine(desktopFrameSettings()).data(), "Spatialized Prisoner's Dilemma (Paused)");
    sim.payoffCC = 1, sim.payoffCD = 1, sim.payoffDC = 1, sim.payoffDD = 1;  // no game at all
    sim.paused = false;
    EXPECT_STREQ(titleLine(desktopFrameSettings()).data(), "Spatialized Prisoner's Dilemma");
    sim.competitionMode = 4;
    EXPECT_STREQ(titleLine(desktopFrameSettings()).data(), "Unnamed Game");
    sim.payoffCC = 3, sim.payoffCD = 1, sim.payoffDC = 4, sim.payoffDD = 0;
    EXPECT_STREQ(titleLine(desktopFrameSettings()).data(), "Spatialized Chicken");
}

}  // namespace
}  // namespace talvane::test
