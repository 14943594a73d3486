// An off-screen GLX surface the size of the frame, for snapshots and tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace talvane {

inline constexpr int kFrameWidth = 980;   // frame and drawing window width in pixels
inline constexpr int kFrameHeight = 700;  // frame and drawing window height in pixels

// Why an off-screen surface could not be made.
enum class OffscreenError {
    none,        // ready
    noDisplay,   // no X display could be opened
    noGlConfig,  // the display offers no RGB pbuffer configuration or context
};

// An RGB pbuffer of kFrameWidth x kFrameHeight with its own GL context, on a
// private X display connection. Not copyable; one thread at a time.
class OffscreenSurface {
public:
    OffscreenSurface();
    ~OffscreenSurface();
    OffscreenSurface(const OffscreenSurface&) = delete;
    OffscreenSurface& operator=(const OffscreenSurface&) = delete;

    // Opens the display, the pbuffer and the context; on failure says why in
    // error. Safe to call once only.
    OffscreenError open(std::string& error);

    // Makes the context current on the calling thread; false if not open.
    bool makeCurrent();

    // Reads the whole surface after glFinish: RGB bytes, rows from the top of
    // the frame (frame y 0 first), 3 * kFrameWidth bytes per row.
    std::vector<std::uint8_t> readFrame();

private:
    struct Handles;
    Handles* handles_;
};

}  // namespace talvane
