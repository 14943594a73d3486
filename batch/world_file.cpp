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
    explicit WorldReader(WorldFile& world) : world_(world) {}

    // Takes the next line (without its line end); false on a fault.
    bool line(std::string_view text, WorldError& error) {
        ++lineNumber_;
        if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
        if (lineNumber_ == 1) return header(text, error);
        if (cells_ == kWorldCells) {
            return fail(error, "extra line after the last cell (the 4096 cells end on line " +
                                   std::to_string(kWorldCells + 1) + ")");
        }
        return cell(text, error);
    }

    // Called once the text has ended; false when cells are missing.
    bool finish(WorldError& error) const {
        if (lineNumber_ == 0) {
            error = {0, "the file is empty; expected the header line \"" + std::string(kWorldHeader) + "\""};
            return false;
        }
        if (cells_ < kWorldCells) {
            error = {lineNumber_, "the file ends here with " + std::to_string(cells_) +
                                      " of the 4096 cells"};
            return false;
        }
        return true;
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
        while (true) {
            std::size_t comma = text.find(',');
            std::string_view item = text.substr(0, comma);
            if (field < values.size() && !integer(item, kFieldNames[field], values[field], error)) return false;
            ++field;
            if (comma == std::string_view::npos) break;
            text.remove_prefix(comma + 1);
        }
        if (field != values.size()) {
            return fail(error, std::to_string(field) + (field == 1 ? " field" : " fields") +
                                   ", expected 5 (row,col,color,self,other)");
        }
        return store(values, error);
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

    bool store(const std::array<std::int64_t, 5>& values, WorldError& error) {
        if (!inRange(values[0], kWorldSide, "row", error) || !inRange(values[1], kWorldSide, "col", error)) {
            return false;
        }
        for (std::size_t i = 2; i < values.size(); ++i) {
            if (!inRange(values[i], kWorldCodeLimit, kFieldNames[i], error)) return false;
        }
        int row = cells_ / kWorldSide;
        int col = cells_ % kWorldSide;
        if (values[0] != row || values[1] != col) {
            return fail(error, "cell out of order: expected row " + std::to_string(row) + ", col " +
                                   std::to_string(col) + " here, found row " + std::to_string(values[0]) +
                                   ", col " + std::to_string(values[1]));
        }
        world_.color[cells_] = static_cast<std::int32_t>(values[2]);
        world_.self[cells_] = static_cast<std::int32_t>(values[3]);
        world_.other[cells_] = static_cast<std::int32_t>(values[4]);
        ++cells_;
        return true;
    }

    WorldFile& world_;
    long lineNumber_ = 0;
    int cells_ = 0;
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
    WorldFile parsed;
    WorldReader reader(parsed);
    LineSplitter splitter(reader);
    if (!splitter.feed(text, error) || !splitter.finish(error)) return false;
    world = parsed;
    return true;
}

bool readWorldFile(const std::string& path, WorldFile& world, WorldError& error) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return fileFault(error, std::strerror(errno));
    if (S_ISDIR(info.st_mode)) return fileFault(error, "is a directory, not a world file");
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return fileFault(error, std::strerror(errno));

    WorldFile parsed;
    WorldReader reader(parsed);
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
    world = parsed;
    return true;
}

std::string formatWorld(const WorldFile& world) {
    std::string out;
    out.reserve(64 * 1024);
    out.append(kWorldHeader).push_back('\n');
    char line[64];
    for (int i = 0; i < kWorldCells; ++i) {
        int length = std::snprintf(line, sizeof line, "%d,%d,%d,%d,%d\n", i / kWorldSide, i % kWorldSide,
                                   world.color[i], world.self[i], world.other[i]);
        out.append(line, static_cast<std::size_t>(length));
    }
    return out;
}

}  // namespace talvane
