// Text still appears when the program also links FLTK's GL library, whose
// data symbols carry the names of freeglut's fonts.
#include <FL/glut.H>
#include <dlfcn.h>

#include "frame_fixture.h"
#include "text_overlay.h"

namespace talvane::test {
namespace {

using FontClashTest = FrameTest;

TEST_F(FontClashTest, TheClashIsReallyThere) {
    // The process-wide name resolves to FLTK's object, which freeglut does
    // not know as a font.
    EXPECT_EQ(dlsym(RTLD_DEFAULT, "glutBitmapHelvetica18"), static_cast<void*>(GLUT_BITMAP_HELVETICA_18));
    EXPECT_NE(fontForCode(kFontTitle), static_cast<void*>(GLUT_BITMAP_HELVETICA_18));
    EXPECT_NE(fontForCode(kFontStatus), static_cast<void*>(GLUT_BITMAP_HELVETICA_10));
    EXPECT_NE(fontForCode(kFontPanel), static_cast<void*>(GLUT_BITMAP_9_BY_15));
}

TEST_F(FontClashTest, EveryFontStillDrawsItsText) {
    for (int font : {kFontTitle, kFontStatus, kFontPanel}) {
        blankFrame();
        glColor3f(1.0f, 1.0f, 1.0f);
        ASSERT_EQ(drawText(font, "Talvane 123", 100, 200), 0u);
        const Picture p = read();
        EXPECT_GT(p.countLit(98, 180, 300, 205), 40) << "font code " << font;
        EXPECT_EQ(p.countLit(0, 0, 980, 180) + p.countLit(0, 205, 980, 700), 0) << "font code " << font;
    }
    // And in the whole frame, the title.
    EXPECT_GT(renderFrame().count(0, 28, 615, 64, toPixel(kTitleColor)), 100);
}

}  // namespace
}  // namespace talvane::test
