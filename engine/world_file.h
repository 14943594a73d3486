// World files: a whole world as CSV text, so that other tools can make and
// read starting worlds. The header line "row,col,color,self,other" is
// followed by one line "r,c,color,self,other" per cell in row-major order
// (rows outer, columns inner, every cell exactly once), every value a decimal
// integer and every colour and strategy code 0 to 7; a cell that holds no
// agent (the ecology rule's empty cells) is "r,c,,," with the colour and
// both strategies left empty, and is -1 in all three. The size is what the
// lines give: the columns of row 0 and the rows up to the last; 3 to 4096 of
// each.
//
// This file depends on nothing but the standard library, so the fuzzer can
// compile it on its own.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace talvane {

inline constexpr int kWorldSide = 64;                     // cells along each side of the default world
inline constexpr int kWorldCells = kWorldSide * kWorldSide;  // 4096, element row*64 + column
inline constexpr int kWorldSideMin = 3;                   // fewest rows or columns of a world file
inline constexpr int kWorldSideMax = 4096;                // most rows or columns of a world file
inline constexpr int kWorldCodeLimit = 8;                 // colours and strategies are 0..7
inline constexpr int kWorldEmptyCode = -1;                // colour, self and other of an empty cell
inline constexpr std::string_view kWorldHeader = "row,col,color,self,other";

// The contents of a world file, one element per cell, row-major: element
// row * cols + column. A default one is 64 x 64, every code 0.
struct WorldFile {
    int rows = kWorldSide;                                            // rows of the world
    int cols = kWorldSide;                                            // columns of the world
    std::vector<std::int32_t> color = std::vector<std::int32_t>(kWorldCells);  // colour code of each cell
    std::vector<std::int32_t> self = std::vector<std::int32_t>(kWorldCells);   // self strategy of each cell
    std::vector<std::int32_t> other = std::vector<std::int32_t>(kWorldCells);  // others strategy of each cell

    // A world of the given size, every code 0.
    static WorldFile ofSize(int rows, int cols);
    bool operator==(const WorldFile&) const = default;
    // True when some cell is empty.
    bool hasEmptyCells() const;
};

// Why a world could not be read: the 1-based line the fault is on (0 when it
// concerns the file as a whole) and what is wrong, for the user.
struct WorldError {
    long line = 0;        // line of the fault, 0 for the whole file
    std::string message;  // what is wrong, one sentence, no file name
};

// Reads a world from text. Returns true and fills world when the text is a
// valid world file; otherwise returns false and describes the first fault.
// Accepts "\r\n" as well as "\n" line ends and a last line with no line end.
bool parseWorld(std::string_view text, WorldFile& world, WorldError& error);

// Reads a world file from disk; faults of the file itself (missing, a
// directory, unreadable, too large) are reported like faults of its text.
bool readWorldFile(const std::string& path, WorldFile& world, WorldError& error);

// The world as world-file text, "\n" line ends.
std::string formatWorld(const WorldFile& world);

}  // namespace talvane
