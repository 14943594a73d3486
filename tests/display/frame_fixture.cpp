#include "frame_fixture.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <ostream>

#include "desktop_frame.h"
#include "desktop_view.h"
#include "frame.h"
#include "offscreen.h"
#include "sim_state.h"
#include "text_overlay.h"

namespace talvane::test {

std::ostream& operator<<(std::ostream& out, const Pixel& p) {
    return out << "(" << p.r << ", " << p.g << ", " << p.b << ")";
}

Pixel toPixel(const Rgb& color) {
    auto channel = [](float v) { return static_cast<int>(std::lround(v * 255.0f)); };
    return {channel(color[0]), channel(color[1]), channel(color[2])};
}

bool near(const Pixel& a, const Pixel& b) {
    return std::abs(a.r - b.r) <= 1 && std::abs(a.g - b.g) <= 1 && std::abs(a.b - b.b) <= 1;
}

Pixel Picture::at(int x, int y) const {
    const std::size_t k = 3 * (static_cast<std::size_t>(y) * kFrameWidth + static_cast<std::size_t>(x));
    return {rgb_[k], rgb_[k + 1], rgb_[k + 2]};
}

int Picture::count(int x0, int y0, int x1, int y1, const Pixel& color) const {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) n += near(at(x, y), color);
    return n;
}

int Picture::countLit(int x0, int y0, int x1, int y1) const {
    return (x1 - x0) * (y1 - y0) - count(x0, y0, x1, y1, kBlack);
}

bool Picture::sameRegion(const Picture& other, int x0, int y0, int x1, int y1) const {
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (!(at(x, y) == other.at(x, y))) return false;
    return true;
}

::testing::AssertionResult filled(const Picture& p, int x0, int y0, int x1, int y1, const Pixel& color) {
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (!near(p.at(x, y), color))
                return ::testing::AssertionFailure()
                       << "pixel (" << x << ", " << y << ") is " << p.at(x, y) << ", expected " << color;
    return ::testing::AssertionSuccess();
}

namespace {
std::unique_ptr<OffscreenSurface> surface;  // one for the whole test program
std::string surfaceError;
}  // namespace

void FrameTest::SetUp() {
    if (!surface) {
        surface = std::make_unique<OffscreenSurface>();
        surface->open(surfaceError);
    }
    // scripts/test provides a display through xvfb-run; without one these
    // tests fail, unless the caller asks to skip them.
    if (!surfaceError.empty() || !surface->makeCurrent()) {
        if (std::getenv("TALVANE_SKIP_GL_TESTS")) GTEST_SKIP() << surfaceError;
        FAIL() << "no off-screen GL surface: " << surfaceError;
    }
    resetSimState();
    resetDesktopView();
}

void FrameTest::TearDown() { resetSimState(); resetDesktopView(); }

void FrameTest::blankFrame() { clearFrame(); }

Picture FrameTest::renderFrame() {
    composeFrame(describeDesktopFrame());
    return read();
}

Picture FrameTest::read() { return Picture(surface->readFrame()); }

Picture FrameTest::textAlone(int font, const char* text, int x, int y, const Rgb& color) {
    clearFrame();
    glColor3fv(color.data());
    drawText(font, text, x, y);
    return read();
}

}  // namespace talvane::test
