// The C interface that the page's worker calls: one world, driven through
// plain numbers and pointers into the module's memory.
#include <emscripten/emscripten.h>

#include <new>
#include <string>
#include <vector>

#include "payoffs.h"
#include "web_world.h"

using talvane::web::WebWorld;

namespace {

WebWorld page;
std::string message;  // the latest error, or the latest saved world
bool started = false;
const talvane::IndexedImage* picture = nullptr;  // the latest picture drawn

std::vector<std::string> lines(const char* text) {
    std::vector<std::string> out;
    std::string item;
    for (const char* at = text; *at != '\0'; ++at) {
        if (*at == '\n') {
            out.push_back(item);
            item.clear();
        } else {
            item += *at;
        }
    }
    if (!item.empty()) out.push_back(item);
    return out;
}

// Values of one statistics group: cells, then cells per self strategy and
// per others strategy, then the cooperation with the own colour and with
// others (shares, -1 when no such game is played).
constexpr int kGroupValues = 1 + 8 + 8 + 2;

// The message when memory ran out before the world could even be sized up
// (the world stays as it was). Should there be no room for the whole
// sentence, a short one needs none.
void outOfMemory() {
    try {
        message = "this device has no memory left for the page; the world stays as it was";
    } catch (const std::bad_alloc&) {
        message.clear();
        message = "no memory";
    }
}
double statsOut[kGroupValues * 9];

}  // namespace

extern "C" {

// Starts a world from talvane-batch options, one argument a line; 1 when
// it was made, 0 with tv_message() saying why (the old world stays).
EMSCRIPTEN_KEEPALIVE int tv_start(const char* args) {
    bool ok = false;
    try {
        ok = page.start(lines(args), message);
    } catch (const std::bad_alloc&) {
        outOfMemory();
    }
    started = started || ok;
    return ok ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE const char* tv_message() { return message.c_str(); }
EMSCRIPTEN_KEEPALIVE void tv_restart() { if (started) page.restart(); }
EMSCRIPTEN_KEEPALIVE void tv_step(int generations) {
    for (int i = 0; i < generations; ++i) page.step();
}
// Generations since the start of the world, the --generations run included.
EMSCRIPTEN_KEEPALIVE double tv_generation() { return static_cast<double>(page.world.generation); }
EMSCRIPTEN_KEEPALIVE int tv_rows() { return page.world.rows(); }
EMSCRIPTEN_KEEPALIVE int tv_cols() { return page.world.cols(); }
EMSCRIPTEN_KEEPALIVE double tv_seed() { return static_cast<double>(page.seed); }

// Sets a cell (a code below 0 keeps that part); 1 when it changed.
EMSCRIPTEN_KEEPALIVE int tv_set_cell(int row, int col, int color, int self, int other) {
    return page.setCell(row, col, color, self, other) ? 1 : 0;
}
// Sets every cell from count codes (as tv_cell gives them), row by row; 1
// when done, 0 (nothing changed) when count or a code is wrong.
EMSCRIPTEN_KEEPALIVE int tv_set_cells(const int* codes, int count) {
    if (count < 0) return 0;
    return page.setCells(std::vector<int>(codes, codes + count)) ? 1 : 0;
}
// colour * 64 + self * 8 + others of a cell, -1 outside the world.
EMSCRIPTEN_KEEPALIVE int tv_cell(int row, int col) {
    const talvane::World& w = page.world;
    if (row < 0 || col < 0 || row >= w.rows() || col >= w.cols()) return -1;
    const int cell = w.index(row, col);
    return w.cellColor[cell] * 64 + w.selfStrategy[cell] * 8 + w.otherStrategy[cell];
}

// The world file text of the world now; valid until the next call that sets the message.
EMSCRIPTEN_KEEPALIVE const char* tv_save() {
    message = page.saveText();
    return message.c_str();
}
// Opens a world file's text; 1 when done, 0 with tv_message() saying why.
EMSCRIPTEN_KEEPALIVE int tv_load(const char* text) {
    try {
        return page.loadText(text, message) ? 1 : 0;
    } catch (const std::bad_alloc&) {
        outOfMemory();
        return 0;
    }
}

// Draws the grid (view 0 strategies, 1 colours); returns the palette
// indexes, tv_image_width() x tv_image_height(), rows top first.
EMSCRIPTEN_KEEPALIVE const unsigned char* tv_draw(int cellPixels, int view) {
    picture = &page.draw(cellPixels, view == 1 ? talvane::GridView::Colors : talvane::GridView::Strategies);
    return picture->index.data();
}
EMSCRIPTEN_KEEPALIVE int tv_image_width() { return picture ? picture->width : 0; }
EMSCRIPTEN_KEEPALIVE int tv_image_height() { return picture ? picture->height : 0; }

// The statistics now: nine groups (the world, then colours 0..7) of the
// values described at kGroupValues.
EMSCRIPTEN_KEEPALIVE const double* tv_stats() {
    const talvane::WorldStats stats = page.stats();
    for (int g = 0; g < 9; ++g) {
        const talvane::GroupStats& s = stats[g];
        double* out = statsOut + g * kGroupValues;
        out[0] = static_cast<double>(s.cells);
        for (int k = 0; k < 8; ++k) {
            out[1 + k] = static_cast<double>(s.self[k]);
            out[9 + k] = static_cast<double>(s.other[k]);
        }
        out[17] = s.gamesSame > 0 ? s.coopSame / static_cast<double>(s.gamesSame) : -1.0;
        out[18] = s.gamesOther > 0 ? s.coopOther / static_cast<double>(s.gamesOther) : -1.0;
    }
    return statsOut;
}

// The statistics row talvane-batch --stats writes for the world now, with its
// header line before it.
EMSCRIPTEN_KEEPALIVE const char* tv_stats_table() {
    page.run.start();  // the table's colours as the world stands, painted ones too
    message = page.run.tableHeader() + page.run.tableRow();
    return message.c_str();
}

// The game's name as the desktop names it for these payoffs.
EMSCRIPTEN_KEEPALIVE const char* tv_game_name(double r, double s, double t, double p) {
    return talvane::classifyRealGame(r, s, t, p);
}

}  // extern "C"
