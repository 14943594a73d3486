// Rendering frames off screen and reading their pixels back.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "grid_view.h"

namespace talvane::test {

// One pixel as read back, 0..255 per channel.
struct Pixel {
    int r, g, b;
    bool operator==(const Pixel&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Pixel& p);

// A colour given in 0..1 as the frame buffer stores it.
Pixel toPixel(const Rgb& color);
inline const Pixel kBlack{0, 0, 0};

// Channel by channel within one step of 255 (float colours round either way).
bool near(const Pixel& a, const Pixel& b);

// A frame read back from the off-screen surface; frame coordinates.
class Picture {
public:
    explicit Picture(std::vector<std::uint8_t> rgb) : rgb_(std::move(rgb)) {}
    Pixel at(int x, int y) const;
    // Pixels in [x0, x1) x [y0, y1) near the colour.
    int count(int x0, int y0, int x1, int y1, const Pixel& color) const;
    // Pixels in [x0, x1) x [y0, y1) that are not black.
    int countLit(int x0, int y0, int x1, int y1) const;
    // True when the two pictures agree on every pixel of [x0, x1) x [y0, y1).
    bool sameRegion(const Picture& other, int x0, int y0, int x1, int y1) const;

private:
    std::vector<std::uint8_t> rgb_;
};

// Owns the off-screen GL context for a test binary; each test starts from
// the start values of sim and a current context.
class FrameTest : public ::testing::Test {
public:
    // Clears to black with the frame projection, draws nothing else.
    static void blankFrame();
    // Draws the whole frame of the current sim.
    static Picture renderFrame();
    // Reads what has been drawn so far.
    static Picture read();

protected:
    void SetUp() override;
    void TearDown() override;
};

// Expects every pixel of [x0, x1) x [y0, y1) near the colour.
::testing::AssertionResult filled(const Picture& picture, int x0, int y0, int x1, int y1, const Pixel& color);

}  // namespace talvane::test
