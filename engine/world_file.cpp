#include "world_file.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace talvane {

namespace {

constexpr std::size_t kMaxLineLength = 4096;  // far beyond any honest line
constexpr std::array<const char*, 5> kFieldNames{"row", "col", "color", "self", "other"};

std::string quoted(std::string_view text) {
    constexpr std::size_t kShown = 40;
    std::string out = "\"";
    for (char ch : text.substr(0, kShown)) {
        unsigned char byte = static_cast<unsigned char>(ch);
        if (byte >= 0x20 && byte < 0x7f) {
            out += ch;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            out += escaped;
        }
    }
    if (text.size() > kShown) out += "...";
    return out + "\"";
}

// Feeds a world file to the parser one line at a time, so that a file is
// never held whole and reading stops at the first fault.
class WorldReader {
public:
    WorldReader() {
        world_.color.clear();
        world_.self.clear();
        world_.other.clear();
    }

    // Takes the next line (without its line end); false on a fault.
    bool line(std::string_view text, WorldError& error) {
        ++lineNumber_;
        if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
        if (lineNumber_ == 1) return header(text, error);
        return cell(text, error);
    }

    // Called once the text has ended; false when cells are missing.
    bool finish(WorldError& error) const {
        if (lineNumber_ == 0) {
            error = {0, "the file is empty; expected the header line \"" + std::string(kWorldHeader) + "\""};
            return false;
        }
        const long cells = static_cast<long>(world_.color.size());
        if (cells == 0) {
            error = {lineNumber_, "the file ends here with no cells"};
            return false;
        }
        if (!colsKnown_) {
            error = {lineNumber_, "the file ends in row 0: a world needs at least " + std::to_string(kWorldSideMin) +
                                      " rows"};
            return false;
        }
        const long cols = world_.cols;
        if (cells % cols != 0) {
            error = {lineNumber_, "the file ends here in row " + std::to_string(cells / cols) + " after column " +
                                      std::to_string(cells % cols - 1) + ": every row needs all " +
                                      std::to_string(cols) + " columns"};
            return false;
        }
        if (cells / cols < kWorldSideMin) {
            error = {lineNumber_, "the file ends here with " + std::to_string(cells / cols) +
                                      " rows; a world needs " + std::to_string(kWorldSideMin) + " to " +
                                      std::to_string(kWorldSideMax)};
            return false;
        }
        return true;
    }

    // The world read, its size taken from the lines.
    WorldFile take() {
        world_.rows = static_cast<int>(world_.color.size()) / world_.cols;
        return std::move(world_);
    }

    long lineNumber() const { return lineNumber_; }

private:
    bool fail(WorldError& error, std::string message) const {
        error = {lineNumber_, std::move(message)};
        return false;
    }

    bool header(std::string_view text, WorldError& error) const {
        if (text == kWorldHeader) return true;
        return fail(error, "wrong header " + quoted(text) + "; expected \"" + std::string(kWorldHeader) + "\"");
    }

    bool cell(std::string_view text, WorldError& error) {
        std::array<std::int64_t, 5> values{};
        std::size_t field = 0;
        int blank = 0;  // how many of color, self and other are empty
        while (true) {
            std::size_t comma = text.find(',');
            std::string_view item = text.substr(0, comma);
            if (field >= 2 && field < values.size() && item.empty()) {
                values[field] = kWorldEmptyCode;
                ++blank;
            } else if (field < values.size() && !integer(item, kFieldNames[field], values[field], error)) {
                return false;
            }
            ++field;
            if (comma == std::string_view::npos) break;
            text.remove_prefix(comma + 1);
        }
        if (field != values.size()) {
            return fail(error, std::to_string(field) + (field == 1 ? " field" : " fields") +
                                   ", expected 5 (row,col,color,self,other)");
        }
        if (blank != 0 && blank != 3) {
            return fail(error, "color, self and other must all be given, or all be left empty for an empty cell");
        }
        return store(values, blank == 3, error);
    }

    bool integer(std::string_view item, const char* name, std::int64_t& value, WorldError& error) const {
        const char* end = item.data() + item.size();
        auto [ptr, ec] = std::from_chars(item.data(), end, value);
        if (ec == std::errc::result_out_of_range && ptr == end) {
            return fail(error, std::string(name) + " " + quoted(item) + " is out of range");
        }
        if (ec != std::errc() || ptr != end) {
            return fail(error, std::string(name) + " " + quoted(item) + " is not a decimal integer");
        }
        return true;
    }

    bool inRange(std::int64_t value, std::int64_t limit, const char* name, WorldError& error) const {
        if (value >= 0 && value < limit) return true;
        return fail(error, std::string(name) + " " + std::to_string(value) + " is out of range 0.." +
                               std::to_string(limit - 1));
    }

    bool store(const std::array<std::int64_t, 5>& values, bool emptyCell, WorldError& error) {
        if (!inRange(values[0], kWorldSideMax, "row", error) || !inRange(values[1], kWorldSideMax, "col", error)) {
            return false;
        }
        for (std::size_t i = 2; i < values.size() && !emptyCell; ++i) {
            if (!inRange(values[i], kWorldCodeLimit, kFieldNames[i], error)) return false;
        }
        const long cells = static_cast<long>(world_.color.size());
        // Row 0 gives the number of columns: it ends where row 1 begins.
        if (!colsKnown_ && values[0] == 1 && values[1] == 0) {
            if (cells < kWorldSideMin) {
                return fail(error, "cell out of order: row 1 begins after " + std::to_string(cells) +
                                       " columns of row 0; a world has " + std::to_string(kWorldSideMin) + " to " +
                                       std::to_string(kWorldSideMax));
            }
            world_.cols = static_cast<int>(cells);
            colsKnown_ = true;
        }
        const long row = colsKnown_ ? cells / world_.cols : 0;
        const long col = colsKnown_ ? cells % world_.cols : cells;
        if (values[0] != row || values[1] != col) {
            return fail(error, "cell out of order: expected row " + std::to_string(row) + ", col " +
                                   std::to_string(col) + (colsKnown_ ? "" : " (or row 1, col 0)") + " here, found row " +
                                   std::to_string(values[0]) + ", col " + std::to_string(values[1]));
        }
        world_.color.push_back(static_cast<std::int32_t>(values[2]));
        world_.self.push_back(static_cast<std::int32_t>(values[3]));
        world_.other.push_back(static_cast<std::int32_t>(values[4]));
        return true;
    }

    WorldFile world_;
    bool colsKnown_ = false;  // row 1 has begun, so row 0's length is the width
    long lineNumber_ = 0;
};

// Splits a stream of bytes into lines for a WorldReader, refusing lines too
// long to be honest before they grow without bound.
class LineSplitter {
public:
    explicit LineSplitter(WorldReader& reader) : reader_(reader) {}

    bool feed(std::string_view bytes, WorldError& error) {
        while (!bytes.empty()) {
            std::size_t newline = bytes.find('\n');
            std::string_view piece = bytes.substr(0, newline);
            if (pending_.size() + piece.size() > kMaxLineLength) return tooLong(error);
            if (newline == std::string_view::npos) {
                pending_.append(piece);
                return true;
            }
            bool ok = pending_.empty() ? reader_.line(piece, error) : flushWith(piece, error);
            if (!ok) return false;
            bytes.remove_prefix(newline + 1);
        }
        return true;
    }

    bool finish(WorldError& error) {
        if (!pending_.empty() && !flushWith({}, error)) return false;
        return reader_.finish(error);
    }

private:
    bool flushWith(std::string_view tail, WorldError& error) {
        pending_.append(tail);
        bool ok = reader_.line(pending_, error);
        pending_.clear();
        return ok;
    }

    bool tooLong(WorldError& error) const {
        error = {reader_.lineNumber() + 1,
                 "line longer than " + std::to_string(kMaxLineLength) + " characters"};
        return false;
    }

    WorldReader& reader_;
    std::string pending_;
};

bool fileFault(WorldError& error, std::string message) {
    error = {0, std::move(message)};
    return false;
}

}  // namespace

bool parseWorld(std::string_view text, WorldFile& world, WorldError& error) {
    WorldReader reader;
    LineSplitter splitter(reader);
    if (!splitter.feed(text, error) || !splitter.finish(error)) return false;
    world = reader.take();
    return true;
}

bool readWorldFile(const std::string& path, WorldFile& world, WorldError& error) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return fileFault(error, std::strerror(errno));
    if (S_ISDIR(info.st_mode)) return fileFault(error, "is a directory, not a world file");
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return fileFault(error, std::strerror(errno));

    WorldReader reader;
    LineSplitter splitter(reader);
    char buffer[1 << 16];
    bool ok = true;
    while (ok) {
        std::size_t got = std::fread(buffer, 1, sizeof buffer, file);
        if (got == 0) break;
        ok = splitter.feed(std::string_view(buffer, got), error);
    }
    if (ok && std::ferror(file)) ok = fileFault(error, std::string("read error: ") + std::strerror(errno));
    std::fclose(file);
    if (!ok || !splitter.finish(error)) return false;
    world = reader.take();
    return true;
}

WorldFile WorldFile::ofSize(int rows, int cols) {
    WorldFile world;
    world.rows = rows;
    world.cols = cols;
    const auto cells = static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols);
    world.color.assign(cells, 0);
    world.self.assign(cells, 0);
    world.other.assign(cells, 0);
    return world;
}

bool WorldFile::hasEmptyCells() const {
    for (const std::int32_t code : color) {
        if (code == kWorldEmptyCode) return true;
    }
    return false;
}

std::string formatWorld(const WorldFile& world) {
    std::string out;
    const int cells = world.rows * world.cols;
    out.reserve(static_cast<std::size_t>(cells) * 16 + 32);
    out.append(kWorldHeader).push_back('\n');
    char line[64];
    for (int i = 0; i < cells; ++i) {
        int length = world.color[i] == kWorldEmptyCode
                         ? std::snprintf(line, sizeof line, "%d,%d,,,\n", i / world.cols, i % world.cols)
                         : std::snprintf(line, sizeof line, "%d,%d,%d,%d,%d\n", i / world.cols, i % world.cols,
                                         world.color[i], world.self[i], world.other[i]);
        out.append(line, static_cast<std::size_t>(length));
    }
    return out;
}

}  // namespace talvane
