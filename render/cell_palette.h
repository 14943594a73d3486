// The colours that give strategy codes and colour codes their look, shared
// by the OpenGL frame and the software pictures so that both show the same
// colours.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>

namespace talvane {

// Ten colours, red, green, blue in 0..1: 0..7 strategy codes and colour
// codes alike, 8 white, 9 black.
inline constexpr std::array<std::array<float, 3>, 10> kCellColors{{
    {0.0f, 1.0f, 0.0f},     // 0 green
    {0.0f, 1.0f, 1.0f},     // 1 cyan
    {1.0f, 0.0f, 0.0f},     // 2 red
    {1.0f, 0.0f, 1.0f},     // 3 magenta
    {1.0f, 1.0f, 0.0f},     // 4 yellow
    {0.7f, 0.7f, 0.7f},     // 5 light grey
    {0.31f, 0.31f, 0.31f},  // 6 dark grey
    {0.0f, 0.0f, 1.0f},     // 7 blue
    {1.0f, 1.0f, 1.0f},     // 8 white
    {0.0f, 0.0f, 0.0f},     // 9 black
}};

inline constexpr std::uint8_t kWhiteIndex = 8;  // palette entry of white
inline constexpr std::uint8_t kBlackIndex = 9;  // palette entry of black

// The 8-bit value a frame buffer stores for a colour channel: the product in
// single precision, rounded to nearest even, as Mesa converts GL colours.
inline std::uint8_t toByte(float channel) {
    const float clamped = channel < 0.0f ? 0.0f : (channel > 1.0f ? 1.0f : channel);
    return static_cast<std::uint8_t>(std::nearbyint(clamped * 255.0f));
}

}  // namespace talvane
