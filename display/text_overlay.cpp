#include "text_overlay.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstring>

#include "glut_fonts.h"
#include "payoffs.h"
#include "frame_layout.h"
#include "pixel_grid.h"
#include "sim_state.h"

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
constexpr int kStatusLineCount = 11;

void setColor(const Rgb& color) {
    glColor3fv(color.data());
}

// The infoPage colour; a value outside 0..5 falls back to the first entry
// rather than reading past the table.
const Rgb& statusColor() {
    const int page = sim.infoPage.load(std::memory_order_relaxed);
    return textPalette[page >= 0 && page < static_cast<int>(textPalette.size()) ? page : 0];
}

const char* competitionLine() {
    return competitionOf(sim) == CompetitionMode::Finite ? "Competition mode: finite"
                                                                     : "Competition mode: infinite";
}

void speedLine(char* buffer, std::size_t size) {
    const int interval = sim.frameInterval.load(std::memory_order_relaxed);
    if (interval == 0) std::snprintf(buffer, size, "<S> Slow Motion");
    else if (interval == 1) std::snprintf(buffer, size, "<S> Normal Speed");
    else if (interval == 2) std::snprintf(buffer, size, "<S> Showing every other generation");
    else std::snprintf(buffer, size, "<S> Showing every %dth generation", interval);
}

const char* paintModeLine() {
    if (!sim.randomPoolMode.load(std::memory_order_relaxed)) return "<P> Switch to random stategies";
    return sim.viewStrategies.load(std::memory_order_relaxed) ? "<P> Switch to painting strategies"
                                                              : "<P> Switch to painting colors";
}

const char* layoutLine() {
    switch (colorLayoutOf(sim)) {
        case ColorLayout::Random: return "<C> Colors initialized randomly";
        case ColorLayout::Checkerboard: return "<C> Colors initialized as a checkerboard";
        case ColorLayout::Segregated: return "<C> Colors initialized as segregated";
        default: return "";
    }
}

const char* fixedStatusLine(int line) {
    switch (line) {
        case 1: return competitionLine();
        case 4: return "<R> Restart";
        case 5: return sim.paused.load(std::memory_order_relaxed) ? "<SPACE> Resume" : "<SPACE> Pause";
        case 7: return paintModeLine();
        case 8: return sim.viewStrategies.load(std::memory_order_relaxed) ? "<V> Switch to viewing colors"
                                                                          : "<V> Switch to viewing stategies";
        case 9: return sim.extraPointSameColor.load(std::memory_order_relaxed)
                           ? "<+> Extra point for same color: YES"
                           : "<+> Extra point for same color: NO";
        case 10: return sim.playSelf.load(std::memory_order_relaxed) ? "<Y> Playing yourself: YES (9 neighbors)"
                                                                     : "<Y> Playing yourself: NO (8 neighbors)";
        case 11: return layoutLine();
        default: return "";
    }
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

void formatTitleLine(char* buffer, std::size_t size) {
    // Infinite competition scores from its fixed long-run table whatever the
    // four payoffs say: the title names the game of that table.
    const bool infinite = competitionOf(sim) == CompetitionMode::Infinite;
    const auto& p = kInfiniteTablePayoffs;
    const char* game = infinite ? classifyGame(p[0], p[1], p[2], p[3])
                                : classifyGame(sim.payoffCC.load(), sim.payoffCD.load(), sim.payoffDC.load(),
                                               sim.payoffDD.load());
    const bool named = std::strcmp(game, "Unnamed Game") != 0;
    const char* paused = sim.paused.load(std::memory_order_relaxed) ? " (Paused)" : "";
    std::snprintf(buffer, size, "%s%s%s", named ? "Spatialized " : "", game, paused);
}

void formatPayoffRow(char* buffer, std::size_t size, int a, int b, int c, int d) {
    std::snprintf(buffer, size, "%d, %d     %d, %d", a, b, c, d);
}

void formatStatusLine(int line, char* buffer, std::size_t size) {
    if (line == 2) std::snprintf(buffer, size, "Generation %d", sim.generation.load(std::memory_order_relaxed));
    else if (line == 6) speedLine(buffer, size);
    else std::snprintf(buffer, size, "%s", fixedStatusLine(line));
}

unsigned drawTitleLine() {
    char title[kTextBufferSize];
    formatTitleLine(title, sizeof title);
    setColor(kTitleColor);
    return drawText(kFontTitle, title, 20, 50);
}

unsigned drawStatusBlock() {
    drawBevel();
    setColor(statusColor());
    char text[kTextBufferSize];
    for (int line = 1; line <= kStatusLineCount; ++line) {
        formatStatusLine(line, text, sizeof text);
        if (text[0] != '\0') drawText(kFontStatus, text, kStatusX, kStatusFirstBaseline + kStatusPitch * (line - 1));
    }
    return kDrawDone;
}

unsigned drawPayoffMatrix() {
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

    const int r = sim.payoffCC.load(), s = sim.payoffCD.load(), t = sim.payoffDC.load(), p = sim.payoffDD.load();
    setColor(statusColor());
    char row[kTextBufferSize];
    formatPayoffRow(row, sizeof row, r, r, s, t);
    drawText(kFontStatus, row, 864, 298);
    formatPayoffRow(row, sizeof row, t, s, p, p);
    drawText(kFontStatus, row, 864, 313);
    return kDrawDone;
}

}  // namespace talvane
