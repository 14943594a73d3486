#include "offscreen.h"

#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xlib.h>

#include <cstdlib>
#include <cstring>

namespace talvane {

struct OffscreenSurface::Handles {
    Display* display = nullptr;
    GLXPbuffer pbuffer = 0;
    GLXContext context = nullptr;
};

OffscreenSurface::OffscreenSurface() : handles_(new Handles) {}

OffscreenSurface::~OffscreenSurface() {
    Handles& h = *handles_;
    if (h.display) {
        if (glXGetCurrentContext() == h.context) glXMakeContextCurrent(h.display, None, None, nullptr);
        if (h.context) glXDestroyContext(h.display, h.context);
        if (h.pbuffer) glXDestroyPbuffer(h.display, h.pbuffer);
        XCloseDisplay(h.display);
    }
    delete handles_;
}

namespace {

// An 8-bit RGB configuration that can render into a pbuffer.
GLXFBConfig chooseConfig(Display* display) {
    const int attributes[] = {
        GLX_DRAWABLE_TYPE, GLX_PBUFFER_BIT,
        GLX_RENDER_TYPE, GLX_RGBA_BIT,
        GLX_RED_SIZE, 8,
        GLX_GREEN_SIZE, 8,
        GLX_BLUE_SIZE, 8,
        None,
    };
    int count = 0;
    GLXFBConfig* configs = glXChooseFBConfig(display, DefaultScreen(display), attributes, &count);
    if (!configs) return nullptr;
    GLXFBConfig chosen = count > 0 ? configs[0] : nullptr;
    XFree(configs);
    return chosen;
}

}  // namespace

OffscreenError OffscreenSurface::open(std::string& error) {
    Handles& h = *handles_;
    h.display = XOpenDisplay(nullptr);
    if (!h.display) {
        const char* name = std::getenv("DISPLAY");
        error = std::string("cannot open X display '") + (name ? name : "") +
                "'; run under xvfb-run (e.g. xvfb-run -a talvane-batch ...) when there is no screen";
        return OffscreenError::noDisplay;
    }
    GLXFBConfig config = chooseConfig(h.display);
    if (!config) {
        error = "the X display offers no 8-bit RGB GLX pbuffer configuration";
        return OffscreenError::noGlConfig;
    }
    const int pbufferAttributes[] = {GLX_PBUFFER_WIDTH, kFrameWidth, GLX_PBUFFER_HEIGHT, kFrameHeight, None};
    h.pbuffer = glXCreatePbuffer(h.display, config, pbufferAttributes);
    h.context = h.pbuffer ? glXCreateNewContext(h.display, config, GLX_RGBA_TYPE, nullptr, True) : nullptr;
    if (!h.context) {
        error = "cannot create a GLX pbuffer and context of 980 x 700";
        return OffscreenError::noGlConfig;
    }
    return OffscreenError::none;
}

bool OffscreenSurface::makeCurrent() {
    Handles& h = *handles_;
    if (!h.context) return false;
    if (!glXMakeContextCurrent(h.display, h.pbuffer, h.pbuffer, h.context)) return false;
    glViewport(0, 0, kFrameWidth, kFrameHeight);
    return true;
}

std::vector<std::uint8_t> OffscreenSurface::readFrame() {
    constexpr std::size_t rowBytes = 3 * kFrameWidth;
    std::vector<std::uint8_t> bottomUp(rowBytes * kFrameHeight);
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kFrameWidth, kFrameHeight, GL_RGB, GL_UNSIGNED_BYTE, bottomUp.data());
    std::vector<std::uint8_t> topDown(bottomUp.size());
    for (int row = 0; row < kFrameHeight; ++row) {
        std::memcpy(&topDown[static_cast<std::size_t>(row) * rowBytes],
                    &bottomUp[static_cast<std::size_t>(kFrameHeight - 1 - row) * rowBytes], rowBytes);
    }
    return topDown;
}

}  // namespace talvane
