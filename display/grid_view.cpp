#include "grid_view.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "cell_palette.h"

namespace talvane {

const std::array<Rgb, 10> cellPalette = kCellColors;

unsigned setPaletteColor(unsigned index) {
    if (index >= cellPalette.size()) return kDrawOutOfRange;
    glColor3fv(cellPalette[index].data());
    return kDrawDone;
}

unsigned drawCell(unsigned i, unsigned j, unsigned outerCode, unsigned innerCode, unsigned colorCode, bool strategies) {
    if (i >= kGridSize || j >= kGridSize || outerCode >= 40 || innerCode >= 40) return kDrawOutOfRange;
    const int x0 = kGridLeft + kCellPitch * static_cast<int>(i);
    const int y0 = kGridTop + kCellPitch * static_cast<int>(j);
    if (strategies) {
        setPaletteColor(outerCode);
        glRecti(x0, y0, x0 + 8, y0 + 8);
        setPaletteColor(innerCode);
        glRecti(x0 + 2, y0 + 2, x0 + 6, y0 + 6);
    } else {
        setPaletteColor(colorCode);
        glRecti(x0, y0, x0 + 8, y0 + 8);
    }
    return kDrawDone;
}

namespace {

// The grid spans 575 x 575 pixels: x 20..594, y 80..654.
constexpr int kGridSpan = kGridSize * kCellPitch - 1;

using Rgb8 = std::array<std::uint8_t, 3>;

// The 8-bit value a framebuffer stores for a GL float colour: the product
// in single precision, rounded to nearest even, as Mesa converts it.
Rgb8 toFramebuffer(const Rgb& color) {
    return {toByte(color[0]), toByte(color[1]), toByte(color[2])};
}

// The whole grid as one picture, black between the cells; rows from the
// bottom, as glDrawPixels reads them.
class GridImage {
public:
    GridImage() : pixels_(3 * kGridSpan * kGridSpan, 0) {}

    void clear() { std::fill(pixels_.begin(), pixels_.end(), 0); }

    // Fills frame pixels [x0, x1) x [y0, y1), in frame coordinates.
    void fill(int x0, int y0, int x1, int y1, const Rgb8& color) {
        for (int y = y0; y < y1; ++y) {
            std::uint8_t* row = &pixels_[3 * static_cast<std::size_t>((kGridSpan - 1 - (y - kGridTop)) * kGridSpan)];
            for (int x = x0; x < x1; ++x) std::copy(color.begin(), color.end(), row + 3 * (x - kGridLeft));
        }
    }

    // Puts the picture in place, lower left corner on frame pixel (20, 654).
    void draw() const {
        glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
        glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
        // A quarter pixel inside the corner pixel, so that rounding cannot shift it.
        glRasterPos2f(kGridLeft + 0.25f, kGridTop + kGridSpan - 0.25f);
        glDrawPixels(kGridSpan, kGridSpan, GL_RGB, GL_UNSIGNED_BYTE, pixels_.data());
        glPopClientAttrib();
    }

private:
    std::vector<std::uint8_t> pixels_;
};

// Paints cells into the picture exactly as drawCell paints them into the
// frame, palette colour by palette colour; an index of 10 or more keeps the
// colour in force, as setPaletteColor does.
class CellPainter {
public:
    explicit CellPainter(GridImage& image) : image_(image) {
        GLfloat current[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        glGetFloatv(GL_CURRENT_COLOR, current);
        color_ = toFramebuffer({current[0], current[1], current[2]});
    }

    unsigned paint(unsigned i, unsigned j, unsigned outerCode, unsigned innerCode, unsigned colorCode, bool strategies) {
        if (i >= kGridSize || j >= kGridSize || outerCode >= 40 || innerCode >= 40) return kDrawOutOfRange;
        const int x0 = kGridLeft + kCellPitch * static_cast<int>(i);
        const int y0 = kGridTop + kCellPitch * static_cast<int>(j);
        if (strategies) {
            use(outerCode);
            image_.fill(x0, y0, x0 + 8, y0 + 8, color_);
            use(innerCode);
            image_.fill(x0 + 2, y0 + 2, x0 + 6, y0 + 6, color_);
        } else {
            use(colorCode);
            image_.fill(x0, y0, x0 + 8, y0 + 8, color_);
        }
        return kDrawDone;
    }

    // Leaves the last palette colour current, as the cell-by-cell drawing would.
    void finish() const {
        if (last_ < cellPalette.size()) setPaletteColor(last_);
    }

private:
    void use(unsigned index) {
        if (index >= cellPalette.size()) return;
        color_ = toFramebuffer(cellPalette[index]);
        last_ = index;
    }

    GridImage& image_;
    Rgb8 color_{};
    unsigned last_ = cellPalette.size();
};

}  // namespace

// Same pixels as drawCell for every cell in turn, but sent to GL as one
// picture: thousands of tiny rectangles cost a software renderer far more
// than one image. The grid's area is black before it is drawn and nothing
// else is drawn there, so the black between the cells changes nothing.
unsigned drawGrid(const FrameDescription& frame) {
    thread_local GridImage image;
    image.clear();
    CellPainter painter(image);
    unsigned status = kDrawDone;
    for (unsigned i = 0; i < kGridSize && status == kDrawDone; ++i) {
        for (unsigned j = 0; j < kGridSize && status == kDrawDone; ++j) {
            const std::size_t cell = i * kGridSize + j;
            status = painter.paint(i, j, static_cast<unsigned>(frame.otherCodes[cell]),
                                   static_cast<unsigned>(frame.selfCodes[cell]),
                                   static_cast<unsigned>(frame.colorCodes[cell]), frame.viewStrategies);
        }
    }
    image.draw();
    painter.finish();
    return status;
}

}  // namespace talvane
