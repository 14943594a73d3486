#include "text_overlay.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstring>

#include "frame_layout.h"
#include "glut_fonts.h"
#include "pixel_grid.h"

namespace talvane {

const std::array<Rgb, 6> textPalette{{
    {0.9f, 1.0f, 1.0f},
    {1.0f, 0.7f, 0.2f},
    {1.0f, 1.0f, 0.9f},
    {0.5f, 0.7f, 0.2f},
    {0.0f, 1.0f, 0.0f},
    {1.0f, 1.0f, 0.0f},
}};

namespace {

constexpr int kStatusX = 625;
constexpr int kStatusFirstBaseline = 285;
constexpr int kStatusPitch = 15;

void setColor(const Rgb& color) {
    glColor3fv(color.data());
}

// The infoPage colour; a value outside 0..5 falls back to the first entry
// rather than reading past the table.
const Rgb& statusColor(const FrameDescription& frame) {
    const int page = frame.infoPage;
    return textPalette[page >= 0 && page < static_cast<int>(textPalette.size()) ? page : 0];
}

void drawBevel() {
    glLineWidth(1.0f);
    glBegin(GL_LINES);
    setColor(kOuterBevelColor);
    pixelVertex(615, 269);
    pixelVertex(775, 269);
    pixelVertex(615, 269);
    pixelVertex(615, 439);
    setPaletteColor(6);
    pixelVertex(616, 270);
    pixelVertex(776, 270);
    pixelVertex(616, 270);
    pixelVertex(616, 440);
    glEnd();
}

}  // namespace

void* fontForCode(int code) {
    const GlutFonts* fonts = glutFonts();
    if (!fonts) return nullptr;
    switch (code) {
        case kFontStatus: return fonts->helvetica10;
        case kFontPanel: return fonts->fixed9by15;
        default: return fonts->helvetica18;
    }
}

unsigned drawBitmapString(void* font, const char* text) {
    if (!font || !text) return kDrawOutOfRange;
    const GlutFonts* fonts = glutFonts();
    const std::size_t length = std::strlen(text);
    for (std::size_t k = 0; k < length; ++k) {
        fonts->bitmapCharacter(font, static_cast<signed char>(text[k]));
    }
    return kDrawDone;
}

unsigned drawText(int fontCode, const char* text, int x, int y) {
    if (!text) return kDrawOutOfRange;
    // A quarter pixel inside the pixel whose corner (x, y) is, so that
    // rounding cannot move the text by a whole pixel: the baseline row of
    // the glyphs is the pixel row just above y.
    glRasterPos2f(static_cast<float>(x) + 0.25f, static_cast<float>(y) - 0.25f);
    void* font = fontForCode(fontCode);
    if (!font || glIsEnabled(GL_SCISSOR_TEST)) return drawBitmapString(font, text);

    // Mesa gathers consecutive glyphs into one bitmap and later draws it as a
    // 512 x 32 pixel quad; with a software renderer the untouched part of that
    // quad costs more than the glyphs. A scissor box around the text keeps
    // the quad to the text's own pixels. The box holds every glyph with room
    // to spare (the fonts' glyphs are at most 22 rows from 5 below the
    // baseline, and each is as wide as its advance). Changing the scissor
    // state makes Mesa draw the glyphs gathered so far first, so no glyph
    // is drawn under another text's box.
    const GlutFonts* fonts = glutFonts();
    int advance = 0;
    for (const char* c = text; *c != '\0'; ++c) advance += fonts->bitmapWidth(font, static_cast<signed char>(*c));
    GLfloat start[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    glGetFloatv(GL_CURRENT_RASTER_POSITION, start);
    constexpr int kMargin = 8;
    const int left = static_cast<int>(start[0]) - kMargin;
    const int bottom = static_cast<int>(start[1]) - kMargin;
    glScissor(left, bottom, advance + 2 * kMargin, 32);
    glEnable(GL_SCISSOR_TEST);
    drawBitmapString(font, text);
    glDisable(GL_SCISSOR_TEST);
    return kDrawDone;
}

void formatPayoffRow(char* buffer, std::size_t size, int a, int b, int c, int d) {
    std::snprintf(buffer, size, "%d, %d     %d, %d", a, b, c, d);
}

unsigned drawTitleLine(const FrameDescription& frame) {
    setColor(kTitleColor);
    return drawText(kFontTitle, frame.title.data(), 20, 50);
}

unsigned drawStatusBlock(const FrameDescription& frame) {
    drawBevel();
    setColor(statusColor(frame));
    for (int line = 1; line <= kStatusLineCount; ++line) {
        const char* text = frame.statusLines[static_cast<std::size_t>(line - 1)].data();
        if (text[0] != '\0') drawText(kFontStatus, text, kStatusX, kStatusFirstBaseline + kStatusPitch * (line - 1));
    }
    return kDrawDone;
}

unsigned drawPayoffMatrix(const FrameDescription& frame) {
    glLineWidth(1.0f);
    glBegin(GL_LINES);
    setPaletteColor(6);
    pixelVertex(kMatrixLeft, 283);  // under the column labels
    pixelVertex(kMatrixRight, 283);
    pixelVertex(kMatrixLeft + 10, kMatrixTop);  // right of the row labels
    pixelVertex(kMatrixLeft + 10, kMatrixBottom);
    glEnd();
    drawText(kFontStatus, "C", kMatrixLeft, 298);
    drawText(kFontStatus, "D", kMatrixLeft, 313);
    drawText(kFontStatus, "C", 869, 279);
    drawText(kFontStatus, "D", 901, 279);

    const auto [r, s, t, p] = frame.payoffs;
    setColor(statusColor(frame));
    char row[kTextBufferSize];
    formatPayoffRow(row, sizeof row, r, r, s, t);
    drawText(kFontStatus, row, 864, 298);
    formatPayoffRow(row, sizeof row, t, s, p, p);
    drawText(kFontStatus, row, 864, 313);
    return kDrawDone;
}

}  // namespace talvane
