// The window's frames draw their text inside a scissor box around each text,
// to spare the software renderer; the box must never cut a glyph. Each case
// draws the same thing twice: once as the program does, once with a scissor
// box over the whole frame already in force (under which the text is drawn
// without a box of its own), and the two must agree to the byte.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "desktop_frame.h"
#include "desktop_view.h"
#include "frame.h"
#include "offscreen.h"
#include "sim_state.h"
#include "text_overlay.h"

namespace talvane {
namespace {

class FrameTextBoxTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        surface_ = std::make_unique<OffscreenSurface>();
        surface_->open(error_);
    }
    static void TearDownTestSuite() { surface_.reset(); }

    void SetUp() override {
        if (!error_.empty() || !surface_->makeCurrent()) {
            if (std::getenv("TALVANE_SKIP_GL_TESTS")) GTEST_SKIP() << error_;
            FAIL() << "no off-screen GL surface: " << error_;
        }
        resetSimState();
        resetDesktopView();
        glViewport(0, 0, kFrameWidth, kFrameHeight);
    }

    // What draw() leaves on a black frame, drawn as the program does and
    // drawn without any text box; both pictures, in that order.
    template <class Draw>
    static std::pair<std::vector<std::uint8_t>, std::vector<std::uint8_t>> boxedAndPlain(Draw draw) {
        clearFrame();
        draw();
        std::vector<std::uint8_t> boxed = surface_->readFrame();
        clearFrame();
        glScissor(0, 0, kFrameWidth, kFrameHeight);
        glEnable(GL_SCISSOR_TEST);
        draw();
        glDisable(GL_SCISSOR_TEST);
        std::vector<std::uint8_t> plain = surface_->readFrame();
        return {std::move(boxed), std::move(plain)};
    }

    static int litBytes(const std::vector<std::uint8_t>& picture) {
        int n = 0;
        for (std::uint8_t v : picture) n += v != 0;
        return n;
    }

    static std::unique_ptr<OffscreenSurface> surface_;
    static std::string error_;
};

std::unique_ptr<OffscreenSurface> FrameTextBoxTest::surface_;
std::string FrameTextBoxTest::error_;

// Every character of every font, in lines that also reach the frame's edges
// and lie close together, in one colour and in alternating colours.
TEST_F(FrameTextBoxTest, EveryGlyphOfEveryFontIsWhole) {
    std::string all;
    for (int c = 1; c < 128; ++c) all.push_back(static_cast<char>(c));  // the texts are ASCII
    for (int font : {kFontTitle, kFontStatus, kFontPanel}) {
        for (std::size_t from = 0; from < all.size(); from += 40) {
            const std::string part = all.substr(from, 40);
            auto [boxed, plain] = boxedAndPlain([&] {
                glColor3f(1.0f, 1.0f, 1.0f);
                drawText(font, part.c_str(), 10, 40);
                glColor3f(0.0f, 1.0f, 0.5f);
                drawText(font, part.c_str(), 10, 52);  // overlaps the line above
                drawText(font, part.c_str(), 900, 400);  // runs off the right edge
                glColor3f(1.0f, 0.5f, 0.0f);
                drawText(font, part.c_str(), -5, 699);  // bottom and left edges
                drawText(font, part.c_str(), 300, 6);   // top edge
            });
            ASSERT_GT(litBytes(plain), 0) << "font " << font << " from " << from << " drew nothing";
            EXPECT_TRUE(boxed == plain) << "font " << font << ", characters from " << from;
        }
    }
}

// Whole frames in the states that change the texts: titles, the status
// block's lines, the payoff matrix with the widest numbers, the panels.
TEST_F(FrameTextBoxTest, WholeFramesAreUnchanged) {
    struct Setting {
        const char* name;
        void (*apply)();
    };
    const Setting settings[] = {
        {"start", [] {}},
        {"running, colours, random pool",
         [] {
             sim.paused = false;
             desktopView.viewStrategies = false;
             sim.randomPoolMode = true;
             sim.competitionMode = 5;
             sim.generation = 2147483647;
         }},
        {"finite competition, extreme payoffs",
         [] {
             sim.competitionMode = 4;
             sim.payoffCC = -2147483647 - 1;
             sim.payoffCD = -2147483647 - 1;
             sim.payoffDC = 2147483647;
             sim.payoffDD = -2147483647 - 1;
             desktopView.infoPage = 3;
         }},
        {"hovered panel row, slow motion",
         [] {
             desktopView.hoveredPanelRow = 2;
             desktopView.hoverOnLeftPanel = true;
             sim.frameInterval = 0;
             sim.competitionMode = 4;
         }},
    };
    for (const Setting& s : settings) {
        resetSimState();
        resetDesktopView();
        s.apply();
        auto [boxed, plain] = boxedAndPlain([] { composeFrame(describeDesktopFrame()); });
        ASSERT_GT(litBytes(plain), 0) << s.name;
        EXPECT_TRUE(boxed == plain) << s.name;
    }
}

// The box goes with its text: what follows is drawn anywhere.
TEST_F(FrameTextBoxTest, LeavesNoScissorBehind) {
    clearFrame();
    drawText(kFontStatus, "Generation 1", 625, 300);
    EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
    glColor3f(1.0f, 1.0f, 1.0f);
    glRectf(0.0f, 0.0f, 10.0f, 10.0f);
    const std::vector<std::uint8_t> picture = surface_->readFrame();
    EXPECT_EQ(picture[0], 255);  // frame pixel (0, 0)
}

}  // namespace
}  // namespace talvane
