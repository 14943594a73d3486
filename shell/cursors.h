// The drawing window's own cursors (32 x 32, black outline, white fill) and
// the window icon, as constant pictures turned into toolkit images.
#pragma once

#include <array>

class Fl_RGB_Image;

namespace talvane {

// A 32 x 32 monochrome cursor: '#' black, '.' white, ' ' transparent.
struct CursorArt {
    int hotX;                          // hot spot, pixels from the left
    int hotY;                          // hot spot, pixels from the top
    std::array<const char*, 32> rows;  // 32 rows of 32 characters, top first
};

extern const CursorArt handArt;    // pointing hand, hot spot (12, 6) at the fingertip
extern const CursorArt pencilArt;  // pencil, hot spot (6, 24) at its tip
extern const CursorArt bucketArt;  // tipped paint bucket, hot spot (23, 21) at the pouring edge

// The cursor picture as an RGBA image (the caller owns it).
Fl_RGB_Image* makeCursorImage(const CursorArt& art);

// The window icon: a small world of green and red cells (the caller owns it).
Fl_RGB_Image* makeWindowIcon();

}  // namespace talvane
