#include "snapshot.h"

#include <GL/glx.h>
#include <png.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "frame.h"
#include "glut_fonts.h"
#include "offscreen.h"
#include "output_file.h"

namespace talvane {
namespace {

extern "C" void appendToString(png_structp png, png_bytep data, png_size_t length) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}

extern "C" void flushNothing(png_structp) {}

// Encodes RGB rows, top first, into bytes; false on any libpng error.
bool encodePngInMemory(std::string& bytes, const std::vector<std::uint8_t>& pixels) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &bytes, appendToString, flushNothing);
    png_set_IHDR(png, info, kFrameWidth, kFrameHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int row = 0; row < kFrameHeight; ++row) {
        png_write_row(png, &pixels[static_cast<std::size_t>(row) * 3 * kFrameWidth]);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

// Opens the surface and the fonts and makes the context current.
int prepareSurface(OffscreenSurface& surface, std::string& error) {
    switch (surface.open(error)) {
        case OffscreenError::none: break;
        case OffscreenError::noDisplay: return kSnapshotNoDisplay;
        case OffscreenError::noGlConfig: return kSnapshotNoGl;
    }
    if (!glutFonts()) {
        error = std::string("cannot draw text: ") + glutFontsError();
        return kSnapshotNoGl;
    }
    if (!surface.makeCurrent()) {
        error = "cannot make the off-screen GL context current";
        return kSnapshotNoGl;
    }
    return kSnapshotWritten;
}

// Writes the picture through the one output writer: a regular file is
// replaced whole, a link written through, a device or pipe written into.
int writeFile(const char* path, const std::vector<std::uint8_t>& pixels, std::string& error) {
    std::string bytes;
    if (!encodePngInMemory(bytes, pixels)) {
        error = std::string("cannot write ") + path + ": PNG encoding failed";
        return kSnapshotFileError;
    }
    std::string why;
    if (!writeOutputFile(path, bytes, why)) {
        error = std::string("cannot write ") + path + ": " + why;
        return kSnapshotFileError;
    }
    return kSnapshotWritten;
}

// Puts back whatever GL context the calling thread had current.
class CurrentContextKeeper {
public:
    CurrentContextKeeper()
        : display_(glXGetCurrentDisplay()), draw_(glXGetCurrentDrawable()),
          read_(glXGetCurrentReadDrawable()), context_(glXGetCurrentContext()) {}
    ~CurrentContextKeeper() {
        if (context_) glXMakeContextCurrent(display_, draw_, read_, context_);
    }
    CurrentContextKeeper(const CurrentContextKeeper&) = delete;
    CurrentContextKeeper& operator=(const CurrentContextKeeper&) = delete;

private:
    Display* display_;
    GLXDrawable draw_;
    GLXDrawable read_;
    GLXContext context_;
};

}  // namespace

int writeSnapshotPng(const FrameDescription& frame, const char* path, std::string& error) {
    if (!path || !*path) {
        error = "no file name for the snapshot";
        return kSnapshotFileError;
    }
    const CurrentContextKeeper keeper;  // declared first: restored after the surface is gone
    OffscreenSurface surface;
    if (const int status = prepareSurface(surface, error); status != kSnapshotWritten) return status;
    composeFrame(frame);
    return writeFile(path, surface.readFrame(), error);
}

int renderSnapshotPng(const FrameDescription& frame, std::string& png, std::string& error) {
    const CurrentContextKeeper keeper;  // declared first: restored after the surface is gone
    OffscreenSurface surface;
    if (const int status = prepareSurface(surface, error); status != kSnapshotWritten) return status;
    composeFrame(frame);
    png.clear();
    if (!encodePngInMemory(png, surface.readFrame())) {
        error = "PNG encoding failed";
        return kSnapshotFileError;
    }
    return kSnapshotWritten;
}

int checkSnapshotRenderer(std::string& error) {
    // The fonts are left alone: loading them opens a display connection for
    // good, which processes forked afterwards would share.
    OffscreenSurface surface;
    switch (surface.open(error)) {
        case OffscreenError::none: return kSnapshotWritten;
        case OffscreenError::noDisplay: return kSnapshotNoDisplay;
        case OffscreenError::noGlConfig: return kSnapshotNoGl;
    }
    return kSnapshotNoGl;
}

}  // namespace talvane
