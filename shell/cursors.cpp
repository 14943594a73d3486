#include "cursors.h"

#include <FL/Fl_RGB_Image.H>

#include <cstring>

namespace talvane {

// handArt: hot spot (12, 6); '#' black, '.' white, ' ' transparent.
const CursorArt handArt{12, 6, {{
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "          ######                ",
    "          #....#                ",
    "          #....#                ",
    "          #....#                ",
    "          #....######           ",
    "          #....#....######      ",
    "          #....#....#....#      ",
    "          #....#....#....#####  ",
    "          #....#....#....#...#  ",
    "          #....#....#....#...#  ",
    "          #....#....#....#...#  ",
    "      #####..................#  ",
    "      #......................#  ",
    "      #......................#  ",
    "      #......................#  ",
    "      #......................#  ",
    "      #......................#  ",
    "      ##.....................#  ",
    "       #.....................#  ",
    "       ####..................#  ",
    "          #..................#  ",
    "          #..................#  ",
    "          ##................##  ",
    "           ##################   ",
    "                                ",
    "                                ",
}}};

// pencilArt: hot spot (6, 24); '#' black, '.' white, ' ' transparent.
const CursorArt pencilArt{6, 24, {{
    "                                ",
    "                                ",
    "                                ",
    "                      ####      ",
    "                     ##..##     ",
    "                    ##....##    ",
    "                   ##......#    ",
    "                  ##.......#    ",
    "                 ##.......##    ",
    "                ##.......##     ",
    "               ##.......##      ",
    "              ##.......##       ",
    "             ##.......##        ",
    "            ##.......##         ",
    "           ##.......##          ",
    "          ##.......##           ",
    "         ##.......##            ",
    "        ##.......##             ",
    "       ##.#.....##              ",
    "      ##...#...##               ",
    "      #.....#.##                ",
    "      #......##                 ",
    "      #.....##                  ",
    "      ##...##                   ",
    "      ######                    ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
}}};

// bucketArt: hot spot (23, 21); '#' black, '.' white, ' ' transparent.
const CursorArt bucketArt{23, 21, {{
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "            ####                ",
    "           ##..#                ",
    "          ##...##               ",
    "         ##.....##              ",
    "        ##.......#              ",
    "        #........##             ",
    "       ##.........##            ",
    "      ##...........#            ",
    "     ##............##           ",
    "    ##..............##          ",
    "   ###...............##         ",
    "   # ##...............#         ",
    "   #  ##..............##        ",
    "   #   #...............##       ",
    "   #   ##............####       ",
    "   #    ##........#### ##       ",
    "    #    #.....####    ##       ",
    "    ##   ##..###       ##       ",
    "     ##   ####         ##       ",
    "       #####           ##       ",
    "                       ##       ",
    "                       ##       ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
    "                                ",
}}};

namespace {

constexpr int kArtSize = 32;
constexpr int kIconCells = 8;  // the icon shows 8 x 8 cells of 4 pixels

// The icon's cells: 0 green, 2 red, as in the program's palette.
constexpr std::array<const char*, kIconCells> iconCells{
    "00220022", "00220202", "22002020", "20200022",
    "02022200", "22020020", "00200202", "02022020",
};

}  // namespace

Fl_RGB_Image* makeCursorImage(const CursorArt& art) {
    auto* pixels = new unsigned char[kArtSize * kArtSize * 4];
    for (int y = 0; y < kArtSize; ++y) {
        for (int x = 0; x < kArtSize; ++x) {
            unsigned char* px = pixels + (y * kArtSize + x) * 4;
            const char c = art.rows[y][x];
            const unsigned char shade = c == '.' ? 255 : 0;
            px[0] = px[1] = px[2] = shade;
            px[3] = c == ' ' ? 0 : 255;
        }
    }
    auto* image = new Fl_RGB_Image(pixels, kArtSize, kArtSize, 4);
    image->alloc_array = 1;
    return image;
}

Fl_RGB_Image* makeWindowIcon() {
    constexpr int cellPixels = kArtSize / kIconCells;
    auto* pixels = new unsigned char[kArtSize * kArtSize * 3];
    std::memset(pixels, 0, kArtSize * kArtSize * 3);
    for (int y = 0; y < kArtSize; ++y) {
        for (int x = 0; x < kArtSize; ++x) {
            // The last pixel row and column of every cell stay black, like the grid's gaps.
            if (x % cellPixels == cellPixels - 1 || y % cellPixels == cellPixels - 1) continue;
            const bool red = iconCells[y / cellPixels][x / cellPixels] == '2';
            unsigned char* px = pixels + (y * kArtSize + x) * 3;
            px[0] = red ? 255 : 0;
            px[1] = red ? 0 : 255;
        }
    }
    auto* image = new Fl_RGB_Image(pixels, kArtSize, kArtSize, 3);
    image->alloc_array = 1;
    return image;
}

}  // namespace talvane
