// Text: the fonts on their baselines, the title line, the status block with
// its bevel, and the payoff matrix; texts checked against the same literal
// text drawn alone at the same place.
#include <GL/gl.h>

#include <climits>
#include <cstring>
#include <string>

#include "frame_fixture.h"
#include "sim_state.h"
#include "text_overlay.h"

namespace talvane::test {
namespace {

using TextTest = FrameTest;

// Bounding box of the pixels near one colour.
struct Box {
    int left = 1 << 20, top = 1 << 20, right = -1, bottom = -1;  // inclusive
    bool empty() const { return right < 0; }
};

Box boxOf(const Picture& p, int x0, int y0, int x1, int y1, const Pixel& color) {
    Box box;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (near(p.at(x, y), color)) {
                box.left = std::min(box.left, x);
                box.right = std::max(box.right, x);
                box.top = std::min(box.top, y);
                box.bottom = std::max(box.bottom, y);
            }
    return box;
}

// The literal text drawn alone on a black frame.
Picture textAlone(int font, const char* text, int x, int y, const Rgb& color) {
    FrameTest::blankFrame();
    glColor3fv(color.data());
    drawText(font, text, x, y);
    return FrameTest::read();
}

const Pixel kWhite{255, 255, 255};

// Status line n (1..11) lies in x 617..844, from 12 rows above its baseline
// to 3 below; nothing else of the frame reaches there.
constexpr int kStatusLeft = 617, kStatusRight = 845;
int statusBaseline(int line) { return 285 + 15 * (line - 1); }

::testing::AssertionResult statusLineIs(const Picture& frame, int line, const char* text, const Rgb& color) {
    const int y = statusBaseline(line);
    const Picture alone = textAlone(kFontStatus, text, 625, y, color);
    if (alone.countLit(kStatusLeft, y - 12, kStatusRight, y + 3) == 0)
        return ::testing::AssertionFailure() << "reference text drew nothing";
    if (!frame.sameRegion(alone, kStatusLeft, y - 12, kStatusRight, y + 3))
        return ::testing::AssertionFailure() << "line " << line << " is not \"" << text << "\"";
    return ::testing::AssertionSuccess();
}

TEST_F(TextTest, EachFontSitsOnItsBaselineInTheCurrentColour) {
    struct Case {
        int font;
        int minCap, maxCap;  // height of "H" in pixels
    };
    for (const Case c : {Case{kFontTitle, 12, 14}, Case{kFontStatus, 7, 9}, Case{kFontPanel, 9, 11}}) {
        const Picture p = textAlone(c.font, "HHH", 100, 200, {1.0f, 0.0f, 1.0f});
        const Box box = boxOf(p, 80, 150, 200, 230, toPixel({1.0f, 0.0f, 1.0f}));
        ASSERT_FALSE(box.empty()) << "font " << c.font << " drew nothing";
        EXPECT_EQ(box.bottom, 199) << "font " << c.font;  // the row just above the baseline
        EXPECT_GE(box.left, 100) << "font " << c.font;
        EXPECT_LE(box.left, 102) << "font " << c.font;
        EXPECT_GE(box.bottom - box.top + 1, c.minCap) << "font " << c.font;
        EXPECT_LE(box.bottom - box.top + 1, c.maxCap) << "font " << c.font;
    }
}

TEST_F(TextTest, PanelFontIsNineByFifteen) {
    const Picture p = textAlone(kFontPanel, "I", 100, 200, {1.0f, 1.0f, 1.0f});
    const Picture q = textAlone(kFontPanel, " I", 100, 200, {1.0f, 1.0f, 1.0f});
    const Box one = boxOf(p, 80, 150, 200, 230, kWhite), two = boxOf(q, 80, 150, 200, 230, kWhite);
    ASSERT_FALSE(one.empty());
    EXPECT_EQ(two.left - one.left, 9);  // fixed advance
}

TEST_F(TextTest, UnknownFontCodeIsTheTitleFontAndNullTextDrawsNothing) {
    const Picture title = textAlone(kFontTitle, "Stag", 100, 200, {1.0f, 1.0f, 1.0f});
    const Picture other = textAlone(7, "Stag", 100, 200, {1.0f, 1.0f, 1.0f});
    EXPECT_GT(title.countLit(80, 150, 300, 230), 0);
    EXPECT_TRUE(title.sameRegion(other, 80, 150, 300, 230));
    EXPECT_EQ(fontForCode(7), fontForCode(kFontTitle));
    EXPECT_NE(fontForCode(kFontStatus), fontForCode(kFontTitle));
    EXPECT_NE(fontForCode(kFontPanel), fontForCode(kFontTitle));

    blankFrame();
    EXPECT_EQ(drawText(kFontTitle, nullptr, 100, 200), 2u);
    EXPECT_EQ(drawBitmapString(nullptr, "text"), 2u);
    EXPECT_EQ(drawBitmapString(fontForCode(kFontTitle), nullptr), 2u);
    EXPECT_EQ(read().countLit(0, 0, 980, 700), 0);
}

TEST_F(TextTest, TitleNamesTheGameAtItsBaseline) {
    struct Case {
        int r, s, t, p;
        bool paused;
        const char* title;
    };
    const Case cases[] = {
        {3, 0, 5, 1, true, "Spatialized Prisoner's Dilemma (Paused)"},
        {3, 0, 5, 1, false, "Spatialized Prisoner's Dilemma"},
        {5, 0, 3, 1, false, "Spatialized Stag Hunt"},
        {1, 1, 1, 1, true, "Unnamed Game (Paused)"},
        {1, 1, 1, 1, false, "Unnamed Game"},
    };
    for (const Case& c : cases) {
        sim.payoffCC = c.r;
        sim.payoffCD = c.s;
        sim.payoffDC = c.t;
        sim.payoffDD = c.p;
        sim.paused = c.paused;
        const Picture frame = renderFrame();
        const Picture alone = textAlone(kFontTitle, c.title, 20, 50, kTitleColor);
        EXPECT_TRUE(frame.sameRegion(alone, 0, 28, 615, 64)) << c.title;
        const Box box = boxOf(frame, 0, 28, 615, 64, toPixel(kTitleColor));
        EXPECT_EQ(box.bottom >= 49 && box.bottom <= 53, true) << c.title << ": bottom " << box.bottom;
        EXPECT_LE(box.left, 22) << c.title;
        EXPECT_GE(box.left, 20) << c.title;
    }
}

TEST_F(TextTest, StatusLinesAtStartUp) {
    const char* lines[] = {
        "Competition mode: finite",
        "Generation 0",
        nullptr,
        "<R> Restart",
        "<SPACE> Resume",
        "<S> Normal Speed",
        "<P> Switch to painting strategies",
        "<V> Switch to viewing colors",
        "<+> Extra point for same color: NO",
        "<Y> Playing yourself: NO (8 neighbors)",
        "<C> Colors initialized as a checkerboard",
    };
    const Picture frame = renderFrame();
    for (int line = 1; line <= 11; ++line) {
        const char* text = lines[line - 1];
        if (!text) {
            const int y = statusBaseline(line);
            EXPECT_EQ(frame.countLit(kStatusLeft, y - 12, kStatusRight, y + 3), 0) << "line 3 is empty";
            continue;
        }
        EXPECT_TRUE(statusLineIs(frame, line, text, {0.9f, 1.0f, 1.0f}));
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
        {[] { sim.frameInterval = 100; }, 6, "<S> Showing every 100th generation"},
        {[] { sim.viewStrategies = false; }, 7, "<P> Switch to painting colors"},
        {[] { sim.randomPoolMode = false; }, 7, "<P> Switch to random stategies"},
        {[] { sim.viewStrategies = false; }, 8, "<V> Switch to viewing stategies"},
        {[] { sim.extraPointSameColor = true; }, 9, "<+> Extra point for same color: YES"},
        {[] { sim.playSelf = true; }, 10, "<Y> Playing yourself: YES (9 neighbors)"},
        {[] { sim.colorLayout = 0; }, 11, "<C> Colors initialized randomly"},
        {[] { sim.colorLayout = 2; }, 11, "<C> Colors initialized as segregated"},
    };
    for (const Case& c : cases) {
        resetSimState();
        c.set();
        EXPECT_TRUE(statusLineIs(renderFrame(), c.line, c.text, {0.9f, 1.0f, 1.0f}));
    }
}

TEST_F(TextTest, BevelAlongTopAndLeftOnly) {
    const Picture p = renderFrame();
    const Pixel outer = toPixel(kOuterBevelColor), inner = toPixel(cellPalette[6]);
    EXPECT_TRUE(filled(p, 615, 269, 775, 270, outer));
    EXPECT_TRUE(filled(p, 615, 270, 616, 439, outer));
    EXPECT_TRUE(filled(p, 616, 270, 776, 271, inner));
    EXPECT_TRUE(filled(p, 616, 271, 617, 440, inner));
    EXPECT_EQ(p.countLit(775, 269, 777, 270), 0);  // each line stops short of its last point
    EXPECT_EQ(p.countLit(615, 439, 616, 441), 0);
    EXPECT_EQ(p.countLit(776, 270, 840, 271), 0);  // no right edge, no bottom edge
    EXPECT_EQ(p.countLit(617, 440, 840, 452), 0);
}

TEST_F(TextTest, InfoPageRecoloursStatusAndMatrixNumbersOnly) {
    for (int page = 0; page < 6; ++page) {
        sim.infoPage = page;
        const Picture p = renderFrame();
        const Rgb& color = textPalette[static_cast<std::size_t>(page)];
        EXPECT_TRUE(statusLineIs(p, 4, "<R> Restart", color)) << "page " << page;
        const Picture row = textAlone(kFontStatus, "3, 3     0, 5", 864, 298, color);
        EXPECT_TRUE(p.sameRegion(row, 860, 286, 980, 301)) << "page " << page;
        EXPECT_GT(p.count(0, 28, 615, 64, toPixel(kTitleColor)), 100) << "page " << page;
        // The matrix's "D" label on the left keeps its dark grey.
        EXPECT_GT(p.count(844, 304, 853, 314, toPixel(cellPalette[6])), 5) << "page " << page;
    }
    EXPECT_EQ(toPixel(textPalette[1]), toPixel({1.0f, 0.7f, 0.2f}));
}

TEST_F(TextTest, PayoffMatrixInFiniteCompetitionOnly) {
    Picture p = renderFrame();
    const Pixel grey = toPixel(cellPalette[6]);
    EXPECT_TRUE(filled(p, 845, 283, 925, 284, grey));  // under the column labels
    EXPECT_TRUE(filled(p, 855, 270, 856, 323, grey));  // right of the row labels
    EXPECT_EQ(p.countLit(925, 283, 980, 284), 0);
    EXPECT_EQ(p.countLit(855, 323, 856, 330), 0);
    const Rgb numbers = textPalette[0];
    for (const auto& [text, x, y, color] : {std::tuple{"C", 845, 298, cellPalette[6]}, {"D", 845, 313, cellPalette[6]},
                                            {"C", 869, 279, cellPalette[6]}, {"D", 901, 279, cellPalette[6]}}) {
        const Picture alone = textAlone(kFontStatus, text, x, y, color);
        EXPECT_TRUE(p.sameRegion(alone, x - 1, y - 10, x + 8, y + 1)) << text << " at " << x << ", " << y;
    }
    EXPECT_TRUE(p.sameRegion(textAlone(kFontStatus, "3, 3     0, 5", 864, 298, numbers), 860, 286, 980, 301));
    EXPECT_TRUE(p.sameRegion(textAlone(kFontStatus, "5, 0     1, 1", 864, 313, numbers), 860, 302, 980, 316));

    sim.competitionMode = 5;
    p = renderFrame();
    EXPECT_EQ(p.countLit(840, 260, 980, 330), 0);
}

TEST_F(TextTest, ExtremePayoffsFitTheirRows) {
    char row[kTextBufferSize];
    formatPayoffRow(row, sizeof row, INT_MIN, INT_MIN, INT_MIN, INT_MIN);
    EXPECT_STREQ(row, "-2147483648, -2147483648     -2147483648, -2147483648");
    EXPECT_EQ(std::strlen(row), 53u);
    formatPayoffRow(row, sizeof row, INT_MAX, INT_MIN, 0, -1);
    EXPECT_STREQ(row, "2147483647, -2147483648     0, -1");

    sim.payoffCC = INT_MIN;
    sim.payoffCD = INT_MAX;
    sim.payoffDC = INT_MIN;
    sim.payoffDD = INT_MIN;
    const Picture p = renderFrame();
    const Picture alone = textAlone(kFontStatus, "-2147483648, -2147483648     2147483647, -2147483648", 864, 298,
                                    textPalette[0]);
    EXPECT_TRUE(p.sameRegion(alone, 860, 286, 980, 301));
}

TEST_F(TextTest, ExtremeCountersFitTheirLines) {
    char text[kTextBufferSize];
    sim.generation = INT_MIN;
    formatStatusLine(2, text, sizeof text);
    EXPECT_STREQ(text, "Generation -2147483648");
    sim.frameInterval = INT_MIN;
    formatStatusLine(6, text, sizeof text);
    EXPECT_STREQ(text, "<S> Showing every -2147483648th generation");
    sim.payoffCC = 0;
    sim.payoffCD = -1;
    sim.payoffDC = INT_MAX;
    sim.payoffDD = INT_MIN;
    sim.paused = true;
    formatTitleLine(text, sizeof text);
    EXPECT_STREQ(text, "Spatialized Chicken (Paused)");
    const Picture p = renderFrame();
    EXPECT_TRUE(statusLineIs(p, 2, "Generation -2147483648", textPalette[0]));
    EXPECT_TRUE(statusLineIs(p, 6, "<S> Showing every -2147483648th generation", textPalette[0]));
}

}  // namespace
}  // namespace talvane::test
