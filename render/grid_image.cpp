#include "grid_image.h"

#include <algorithm>

#include "cell_palette.h"
#include "legend_font.h"
#include "sim_state.h"

namespace talvane {
namespace {

// How one cell of K x K pixels is laid out.
struct CellShape {
    int square;  // side of the coloured square; the rest of K is the black gap
    int ring;    // width of the others strategy's ring around the inner square (0: one colour)
    int inner;   // side of the inner square
};

// K >= 5: the window's look scaled (a quarter of the square on each side is
// ring); K 3 and 4: one colour and the gap; K 1 and 2: one colour, no gap.
CellShape cellShape(int k) {
    if (k <= 2) return {k, 0, k};
    const int square = k - 1;
    if (k <= 4) return {square, 0, square};
    const int ring = square / 4;
    return {square, ring, square - 2 * ring};
}

std::uint8_t paletteIndex(CellCode code) {
    return code >= 0 && code < kCodeCount ? static_cast<std::uint8_t>(code) : kBlackIndex;
}

// Draws the cells of one world column: K picture rows from y0, every world
// row across.
void drawColumn(const World& world, int col, const GridPicture& picture, const CellShape& shape, int y0,
                IndexedImage& image) {
    const int k = picture.cellPixels;
    const bool strategies = picture.view == GridView::Strategies;
    for (int dy = 0; dy < k; ++dy) {
        std::uint8_t* line = &image.index[static_cast<std::size_t>(y0 + dy) * image.width];
        if (dy >= shape.square) continue;  // the gap below the cells: left black
        const bool innerBand = shape.ring > 0 && dy >= shape.ring && dy < shape.ring + shape.inner;
        for (int row = 0; row < world.rows(); ++row) {
            const std::size_t cell = static_cast<std::size_t>(world.index(row, col));
            std::uint8_t* at = line + static_cast<std::size_t>(row) * k;
            if (!strategies) {
                std::fill_n(at, shape.square, paletteIndex(world.cellColor[cell]));
            } else if (shape.ring == 0) {
                std::fill_n(at, shape.square, paletteIndex(world.selfStrategy[cell]));
            } else {
                std::fill_n(at, shape.square, paletteIndex(world.otherStrategy[cell]));
                if (innerBand) std::fill_n(at + shape.ring, shape.inner, paletteIndex(world.selfStrategy[cell]));
            }
        }
    }
}

// --- The legend strip ---

struct LegendEntry {
    std::uint8_t color;  // palette index of the swatch
    std::string name;    // what the colour stands for
};

constexpr int kLegendMargin = 6;  // pixels around the legend's text (before scaling)
constexpr int kLineHeight = 11;   // from one legend line to the next (before scaling)
constexpr int kSwatch = 7;        // swatch side (before scaling)

// The entries of the view, then "empty" (black) when some cell holds no agent.
std::vector<LegendEntry> viewEntries(const World& world, GridView view);

std::vector<LegendEntry> legendEntries(const World& world, GridView view) {
    std::vector<LegendEntry> entries = viewEntries(world, view);
    for (int cell = 0; cell < world.cellCount(); ++cell) {
        if (world.isEmpty(cell)) {
            entries.push_back({kBlackIndex, "empty"});
            break;
        }
    }
    return entries;
}

std::vector<LegendEntry> viewEntries(const World& world, GridView view) {
    std::vector<LegendEntry> entries;
    if (view == GridView::Strategies) {
        for (int code = 0; code < kCodeCount; ++code) {
            entries.push_back({static_cast<std::uint8_t>(code), strategyNames[static_cast<std::size_t>(code)]});
        }
        return entries;
    }
    std::array<bool, kCodeCount> present{};
    for (CellCode c : world.cellColor) {
        if (c >= 0 && c < kCodeCount) present[static_cast<std::size_t>(c)] = true;
    }
    for (int code = 0; code < kCodeCount; ++code) {
        const char* name = colorNames[static_cast<std::size_t>(code)];
        if (*name || present[static_cast<std::size_t>(code)]) {
            entries.push_back({static_cast<std::uint8_t>(code), *name ? name : "color " + std::to_string(code)});
        }
    }
    return entries;
}

std::string legendTitle(const GridPicture& picture) {
    std::string title =
        picture.view == GridView::Strategies ? "inner: self strategy, outer: others strategy" : "cell colors";
    if (picture.generation >= 0) title = "generation " + std::to_string(picture.generation) + "  " + title;
    return title;
}

// Lays out the legend for a picture at least gridWidth wide.
struct LegendLayout {
    int scale = 1;        // every legend pixel drawn as scale x scale
    int entryWidth = 0;   // scaled width of one entry column
    int columns = 1;      // entries side by side
    int width = 0;        // the picture's width with the legend
    int height = 0;       // scaled height of the strip
};

int textWidth(const std::string& text) { return static_cast<int>(text.size()) * kGlyphAdvance; }

LegendLayout layoutLegend(const std::vector<LegendEntry>& entries, const std::string& title, int gridWidth) {
    LegendLayout layout;
    layout.scale = gridWidth >= 1200 ? 2 : 1;
    int longest = 0;
    for (const LegendEntry& entry : entries) longest = std::max(longest, textWidth(entry.name));
    const int s = layout.scale;
    layout.entryWidth = (kSwatch + 4 + longest + 12) * s;
    const int titleWidth = (2 * kLegendMargin + textWidth(title)) * s;
    const int minimum = std::max(titleWidth, 2 * kLegendMargin * s + layout.entryWidth);
    layout.width = std::max(gridWidth, minimum);
    const int count = static_cast<int>(entries.size());
    layout.columns = std::clamp((layout.width - 2 * kLegendMargin * s) / layout.entryWidth, 1, std::max(count, 1));
    const int lines = 1 + (count + layout.columns - 1) / layout.columns;
    layout.height = (2 * kLegendMargin + lines * kLineHeight) * s;
    return layout;
}

void fillBox(IndexedImage& image, int x0, int y0, int w, int h, std::uint8_t color) {
    for (int y = std::max(y0, 0); y < std::min(y0 + h, image.height); ++y) {
        std::uint8_t* line = &image.index[static_cast<std::size_t>(y) * image.width];
        for (int x = std::max(x0, 0); x < std::min(x0 + w, image.width); ++x) line[x] = color;
    }
}

void drawText(IndexedImage& image, const std::string& text, int x0, int y0, int scale) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const Glyph& glyph = glyphOf(text[i]);
        const int gx = x0 + static_cast<int>(i) * kGlyphAdvance * scale;
        for (int gy = 0; gy < kGlyphHeight; ++gy) {
            for (int bit = 0; bit < kGlyphWidth; ++bit) {
                if (glyph[static_cast<std::size_t>(gy)] & (0x10 >> bit)) {
                    fillBox(image, gx + bit * scale, y0 + gy * scale, scale, scale, kWhiteIndex);
                }
            }
        }
    }
}

void drawLegend(IndexedImage& image, int top, const std::vector<LegendEntry>& entries, const std::string& title,
                const LegendLayout& layout) {
    const int s = layout.scale;
    const int left = kLegendMargin * s;
    const int first = top + kLegendMargin * s;
    drawText(image, title, left, first + 2 * s, s);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const int column = static_cast<int>(i) % layout.columns;
        const int line = 1 + static_cast<int>(i) / layout.columns;
        const int x = left + column * layout.entryWidth;
        const int y = first + line * kLineHeight * s;
        fillBox(image, x, y + 2 * s, kSwatch * s, kSwatch * s, entries[i].color);
        drawText(image, entries[i].name, x + (kSwatch + 4) * s, y + 2 * s, s);
    }
}

}  // namespace

bool parseGridView(const std::string& text, GridView& view) {
    if (text == "strategies") {
        view = GridView::Strategies;
        return true;
    }
    if (text == "colors" || text == "colours") {
        view = GridView::Colors;
        return true;
    }
    return false;
}

int defaultCellPixels(int rows, int cols) {
    const int side = std::max(rows, cols);
    if (side * kWindowCellPixels <= kDefaultMaxPicture) return kWindowCellPixels;
    return std::max(1, kDefaultMaxPicture / side);
}

void drawWorld(const World& world, const GridPicture& picture, IndexedImage& image) {
    const int k = std::clamp(picture.cellPixels, 1, kMaxCellPixels);
    GridPicture used = picture;
    used.cellPixels = k;
    const int gridWidth = world.rows() * k;
    const int gridHeight = world.cols() * k;
    std::vector<LegendEntry> entries;
    std::string title;
    LegendLayout layout;
    if (picture.legend) {
        entries = legendEntries(world, picture.view);
        title = legendTitle(picture);
        layout = layoutLegend(entries, title, gridWidth);
    }
    image.width = picture.legend ? layout.width : gridWidth;
    image.height = gridHeight + (picture.legend ? layout.height : 0);
    image.index.assign(static_cast<std::size_t>(image.width) * image.height, kBlackIndex);
    const CellShape shape = cellShape(k);
    for (int col = 0; col < world.cols(); ++col) drawColumn(world, col, used, shape, col * k, image);
    if (picture.legend) drawLegend(image, gridHeight, entries, title, layout);
}

void toRgb(const IndexedImage& image, std::vector<std::uint8_t>& rgb) {
    std::array<std::array<std::uint8_t, 3>, kCellColors.size()> bytes{};
    for (std::size_t i = 0; i < kCellColors.size(); ++i) {
        for (std::size_t c = 0; c < 3; ++c) bytes[i][c] = toByte(kCellColors[i][c]);
    }
    rgb.resize(image.index.size() * 3);
    std::uint8_t* out = rgb.data();
    for (std::uint8_t index : image.index) {
        const auto& color = bytes[index < bytes.size() ? index : kBlackIndex];
        out[0] = color[0];
        out[1] = color[1];
        out[2] = color[2];
        out += 3;
    }
}

}  // namespace talvane
