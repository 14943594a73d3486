// Rendering frames off screen and reading their pixels back.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "grid_view.h"

namespace talvane::test {

// One pixel as read back, 0..255 per channel.
struct Pixel {
    int r, g, b;
    bool operator==(const Pixel&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Pixel& p);

Pixel toPixel(const Rgb& color);        // a GL colour as the frame buffer stores it
inline const Pixel kBlack{0, 0, 0};
inline const Pixel kWhite{255, 255, 255};
bool near(const Pixel& a, const Pixel& b);  // within one step per channel

// A frame read back, addressed in frame coordinates; regions are
// [x0, x1) x [y0, y1).
class Picture {
public:
    explicit Picture(std::vector<std::uint8_t> rgb) : rgb_(std::move(rgb)) {}
    Pixel at(int x, int y) const;
    int count(int x0, int y0, int x1, int y1, const Pixel& color) const;  // pixels near the colour
    int countLit(int x0, int y0, int x1, int y1) const;                   // pixels not black
    bool sameRegion(const Picture& other, int x0, int y0, int x1, int y1) const;

private:
    std::vector<std::uint8_t> rgb_;
};

// Every pixel of the region near the colour.
::testing::AssertionResult filled(const Picture& p, int x0, int y0, int x1, int y1, const Pixel& color);

// Tests with a current off-screen GL context and sim at its start values.
class FrameTest : public ::testing::Test {
public:
    static void blankFrame();      // frame projection, all black
    static Picture renderFrame();  // the whole frame of sim, as the desktop describes it
    static Picture read();         // what is drawn so far
    // The text alone on a black frame, in the colour, baseline start (x, y).
    static Picture textAlone(int font, const char* text, int x, int y, const Rgb& color);

protected:
    void SetUp() override;
    void TearDown() override;
};

}  // namespace talvane::test
