// freeglut's bitmap fonts, loaded privately so that whatever else the program
// links, the glyphs drawn are freeglut's own.
#pragma once

namespace talvane {

// The entry points and fonts taken from freeglut.
struct GlutFonts {
    void* helvetica18 = nullptr;  // GLUT_BITMAP_HELVETICA_18
    void* helvetica10 = nullptr;  // GLUT_BITMAP_HELVETICA_10
    void* fixed9by15 = nullptr;   // GLUT_BITMAP_9_BY_15
    void (*bitmapCharacter)(void* font, int character) = nullptr;  // glutBitmapCharacter
    int (*bitmapWidth)(void* font, int character) = nullptr;       // glutBitmapWidth
};

// freeglut loaded and initialised, on the first call only; null when it
// cannot be (no X display to open, or no freeglut library). Safe to call from
// any thread; the result never changes afterwards.
const GlutFonts* glutFonts();

// Why glutFonts() returned null, or an empty text.
const char* glutFontsError();

}  // namespace talvane
