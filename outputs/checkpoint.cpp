#include "checkpoint.h"

#include "graph_world.h"

#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cmath>
#include <cstring>
#include <algorithm>
#include <fstream>
#include <sstream>

#include "sim_state.h"

namespace talvane {

namespace {

constexpr const char* kMagic = "talvane-checkpoint";

std::string hex(std::uint64_t value) {
    char text[20];
    std::snprintf(text, sizeof text, "%016" PRIx64, value);
    return text;
}

// Reads the lines of a checkpoint one by one, counting them for messages.
class Lines {
public:
    explicit Lines(const std::string& text) : in_(text) {}

    // The next line split into words; false at the end.
    bool next(std::vector<std::string>& words) {
        std::string line;
        if (!std::getline(in_, line)) return false;
        ++number_;
        words.clear();
        std::istringstream split(line);
        for (std::string word; split >> word;) words.push_back(word);
        return true;
    }

    bool nextRaw(std::string& line) {
        if (!std::getline(in_, line)) return false;
        ++number_;
        return true;
    }

    int number() const { return number_; }

private:
    std::istringstream in_;
    int number_ = 0;
};

bool toInt(const std::string& text, std::int64_t low, std::int64_t high, std::int64_t& value) {
    if (text.empty()) return false;
    std::size_t start = text[0] == '-' ? 1 : 0;
    if (start == text.size()) return false;
    for (std::size_t i = start; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    errno = 0;
    const long long read = std::strtoll(text.c_str(), nullptr, 10);
    if (errno != 0 || read < low || read > high) return false;
    value = read;
    return true;
}

// Decimal text that reads back as exactly the same double.
std::string exact(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

bool toReal(const std::string& text, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return errno == 0 && end == text.c_str() + text.size() && std::isfinite(value);
}

bool toHex(const std::string& text, std::uint64_t& value) {
    if (text.empty() || text.size() > 16 || text.find_first_not_of("0123456789abcdef") != std::string::npos) return false;
    value = std::strtoull(text.c_str(), nullptr, 16);
    return true;
}

// The text with every Windows line end (CR LF) made a line feed.
std::string withLineFeeds(std::string text) {
    if (text.find('\r') == std::string::npos) return text;
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    return out;
}

// A version as the file spells it; quoted, with stray bytes shown, when it
// holds any.
std::string shownVersion(const std::string& text) {
    std::string out;
    bool plain = !text.empty() && text.size() <= 20;
    for (char c : text.substr(0, 20)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte > 0x20 && byte < 0x7f) {
            out += c;
        } else {
            plain = false;
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            out += escaped;
        }
    }
    return plain ? out : "\"" + out + "\"";
}

std::string unreadableVersion(const std::string& version) {
    return "checkpoint format version " + shownVersion(version) + "; this program reads versions " +
           std::to_string(kOldestCheckpointVersion) + " to " + std::to_string(kCheckpointVersion);
}

bool readableVersion(const std::string& text, int& version) {
    std::int64_t v = 0;
    if (!toInt(text, kOldestCheckpointVersion, kCheckpointVersion, v) || text[0] == '0' || text[0] == '-') return false;
    version = static_cast<int>(v);
    return true;
}

// A mutation pool as "0,7" ("none" when it admits no code), and back.
std::string poolList(const std::array<bool, kCodeCount>& excluded) {
    std::string list;
    for (int k = 0; k < kCodeCount; ++k) {
        if (!excluded[k]) list += (list.empty() ? "" : ",") + std::to_string(k);
    }
    return list.empty() ? std::string("none") : list;
}

bool poolOf(const std::string& text, std::array<bool, kCodeCount>& excluded) {
    excluded.fill(true);
    if (text == "none") return true;
    std::istringstream in(text);
    for (std::string item; std::getline(in, item, ',');) {
        if (item.size() != 1 || item[0] < '0' || item[0] > '7') return false;
        excluded[item[0] - '0'] = false;
    }
    return true;
}

// The lines after "mutation": the ecology's parameters or the imitation
// colours, then those that only runs beyond the old rules and matches write.
std::string variantLines(const Rules& r) {
    std::string out;
    if (r.updateRule == UpdateRule::Ecology) {
        const EcologyRules& e = r.ecology;
        out += "ecology " + std::to_string(e.colors) + " " + std::to_string(e.immigrants) + " " + exact(e.ptr) + " " +
               exact(e.cost) + " " + exact(e.benefit) + " " + exact(e.death) + " " + exact(e.mutation) + "\n";
    } else if (r.imitationColors > 0) {
        out += "colors " + std::to_string(r.imitationColors) + "\n";
    }
    if (!isOldRule(r.updateRule)) out += std::string("schedule ") + scheduleName(scheduleOf(r.updateRule)) + "\n";
    const ImitationRule imitation = imitationOf(r.updateRule);
    if (imitation == ImitationRule::DeathBirth || imitation == ImitationRule::BirthDeath) {
        out += "selection " + exact(r.selection) + "\n";
    }
    if (r.rounds != kDefaultRounds) out += "rounds " + std::to_string(r.rounds) + "\n";
    if (r.mutation > 0.0 && !poolsFull(r)) {
        out += "mutation-pools " + poolList(r.selfExcluded) + " " + poolList(r.otherExcluded) + "\n";
    }
    return out;
}

std::string formatMark(const char* key, const std::optional<FileMark>& mark) {
    if (!mark) return std::string(key) + " none\n";
    return std::string(key) + " " + std::to_string(mark->lines) + " " + hex(mark->hash) + "\n";
}

// Reads a "log" or "stats" line: "KEY none" or "KEY LINES HASH".
bool parseMark(const std::vector<std::string>& w, const char* key, std::optional<FileMark>& mark) {
    mark.reset();
    if (w.empty() || w[0] != key) return false;
    if (w.size() == 2) return w[1] == "none";
    FileMark read;
    if (w.size() != 3 || !toInt(w[1], 0, INT64_MAX, read.lines) || !toHex(w[2], read.hash)) return false;
    mark = read;
    return true;
}

// Reads the lines variantLines writes, the first of them already in w.
std::string readVariantLines(Lines& lines, std::vector<std::string>& w, bool& more, Rules& c) {
    std::int64_t v = 0;
    if (c.updateRule == UpdateRule::Ecology) {
        EcologyRules& e = c.ecology;
        std::int64_t colors = 0, immigrants = 0;
        if (w.size() != 8 || w[0] != "ecology" || !toInt(w[1], 1, kMaxEcologyColors, colors) ||
            !toInt(w[2], 0, 1 << 24, immigrants) || !toReal(w[3], e.ptr) || !toReal(w[4], e.cost) ||
            !toReal(w[5], e.benefit) || !toReal(w[6], e.death) || !toReal(w[7], e.mutation) || e.ptr < 0.0 ||
            e.ptr > 1.0 || e.cost < 0.0 || e.benefit < 0.0 || e.death < 0.0 || e.death > 1.0 || e.mutation < 0.0 ||
            e.mutation > 1.0) {
            return "bad ecology line";
        }
        e.colors = static_cast<int>(colors);
        e.immigrants = static_cast<int>(immigrants);
        if (!lines.next(w)) return "bad random line";
    } else if (!w.empty() && w[0] == "colors") {
        if (w.size() != 2 || !toInt(w[1], 1, kMaxEcologyColors, v)) return "bad colors line";
        c.imitationColors = static_cast<int>(v);
        if (!lines.next(w)) return "bad random line";
    }
    const ImitationRule imitation = imitationOf(c.updateRule);
    more = true;  // w holds the line after those above
    if (more && !w.empty() && w[0] == "schedule") {
        Schedule schedule = Schedule::Synchronous;
        if (imitation == ImitationRule::Best || w.size() != 2 || !parseSchedule(w[1], schedule) ||
            !combineRule(imitation, schedule, c.updateRule)) {
            return "bad schedule line";
        }
        more = lines.next(w);
    }
    if (more && !w.empty() && w[0] == "selection") {
        if (w.size() != 2 || !toReal(w[1], c.selection) || !(c.selection > 0.0)) return "bad selection line";
        more = lines.next(w);
    }
    if (more && !w.empty() && w[0] == "rounds") {
        if (w.size() != 2 || !toInt(w[1], 1, kMaxRounds, v) || c.competition == CompetitionMode::Infinite) {
            return "bad rounds line";
        }
        c.rounds = static_cast<std::int32_t>(v);
        more = lines.next(w);
    }
    if (more && !w.empty() && w[0] == "mutation-pools") {
        if (w.size() != 3 || !poolOf(w[1], c.selfExcluded) || !poolOf(w[2], c.otherExcluded)) {
            return "bad mutation-pools line";
        }
        more = lines.next(w);
    }
    return "";
}

// Reads the rules' lines, from "competition" to the last of the optional
// lines; leaves the next line in w (more false at the end of the text).
// Returns "" or what was wrong ("bad noise line").
std::string readRules(Lines& lines, std::vector<std::string>& w, bool& more, Rules& c) {
    std::int64_t v = 0;
    auto expect = [&](const char* key, std::size_t count) {
        return lines.next(w) && w.size() == count && w[0] == key;
    };
    c = defaultRules();
    if (!expect("competition", 2) || !parseCompetition(w[1], c.competition)) return "bad competition line";
    if (!expect("payoffs", 5)) return "bad payoffs line";
    for (int k = 0; k < 4; ++k) {
        if (!toInt(w[1 + k], INT32_MIN, INT32_MAX, v)) return "bad payoffs line";
        c.payoffs[k] = static_cast<std::int32_t>(v);
    }
    if (!expect("play-self", 2) || (w[1] != "0" && w[1] != "1")) return "bad play-self line";
    c.playSelf = w[1] == "1";
    if (!expect("extra-point", 2) || (w[1] != "0" && w[1] != "1")) return "bad extra-point line";
    c.extraPoint = w[1] == "1";
    if (!lines.next(w) || w.empty() || w[0] != "real-payoffs" || (w.size() != 2 && w.size() != 5) ||
        (w.size() == 2 && w[1] != "none")) {
        return "bad real-payoffs line";
    }
    if (w.size() == 5) {
        std::array<double, 4> real{};
        for (int k = 0; k < 4; ++k) {
            if (!toReal(w[1 + k], real[k])) return "bad real-payoffs line";
        }
        c.realPayoffs = real;
    }
    ImitationRule imitation = ImitationRule::Best;
    if (!expect("update", 2) || (!parseUpdateRule(w[1], c.updateRule) && !parseImitation(w[1], imitation))) {
        return "bad update line";
    }
    if (!parseUpdateRule(w[1], c.updateRule)) combineRule(imitation, defaultSchedule(imitation), c.updateRule);
    if (!expect("noise", 2) || !toReal(w[1], c.noise) || !(c.noise > 0.0)) return "bad noise line";
    if (!expect("mutation", 2) || !toReal(w[1], c.mutation) || c.mutation < 0.0 || c.mutation > 1.0) {
        return "bad mutation line";
    }
    if (!lines.next(w)) return "bad random line";
    return readVariantLines(lines, w, more, c);
}

}  // namespace

std::uint64_t fnv1a(std::uint64_t hash, const char* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        hash ^= static_cast<unsigned char>(data[i]);
        hash *= 0x100000001b3ull;
    }
    return hash;
}

std::uint64_t SettleWatch::hash(const World& world) {
    return hash(world.cellColor, world.selfStrategy, world.otherStrategy);
}

std::uint64_t SettleWatch::hash(const std::vector<CellCode>& color, const std::vector<CellCode>& self,
                                const std::vector<CellCode>& other) {
    // Four independent FNV-style lanes over eight cells at a time, so that a
    // generation's hash costs little beside the generation itself. The
    // colours take part too: imitation never changes them, but a checkpoint
    // of another world must not look like this one.
    constexpr std::uint64_t kPrime = 0x100000001b3ull;
    std::uint64_t lanes[4] = {0xcbf29ce484222325ull, 0x84222325cbf29ce4ull, 0x9e3779b97f4a7c15ull,
                              0xbf58476d1ce4e5b9ull};
    const auto mix = [&lanes](const std::vector<CellCode>& grid, std::uint64_t tag) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(grid.data());
        const std::size_t n = grid.size();
        std::size_t i = 0;
        for (; i + 32 <= n; i += 32) {
            for (int k = 0; k < 4; ++k) {
                std::uint64_t word = 0;
                std::memcpy(&word, bytes + i + 8 * static_cast<std::size_t>(k), sizeof word);
                lanes[k] = (lanes[k] ^ word) * kPrime;
            }
        }
        std::uint64_t tail = tag;
        for (; i < n; ++i) tail = (tail ^ bytes[i]) * kPrime;
        lanes[0] = (lanes[0] ^ tail) * kPrime;
    };
    mix(color, 1);
    mix(self, 2);
    mix(other, 3);
    std::uint64_t h = lanes[0];
    for (int k = 1; k < 4; ++k) h = (h ^ lanes[k]) * kPrime;
    // A final mix, so that states differing in one cell differ in every bit.
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    return h;
}

int SettleWatch::observe(const World& world) { return observeHash(hash(world)); }

int SettleWatch::observe(const GraphWorld& world) {
    return observeHash(hash(world.nodeColor, world.selfStrategy, world.otherStrategy));
}

int SettleWatch::observeHash(std::uint64_t h) {
    int period = 0;
    for (std::size_t k = 0; k < recent_.size(); ++k) {
        if (recent_[k] == h) {
            period = static_cast<int>(k) + 1;
            break;
        }
    }
    recent_.push_front(h);
    if (recent_.size() > kSettlePeriodMax) recent_.pop_back();
    return period;
}

std::string formatCheckpointRules(const Rules& r) {
    std::string out = std::string("competition ") + competitionName(r.competition) + "\n";
    out += "payoffs";
    for (std::int32_t p : r.payoffs) out += " " + std::to_string(p);
    out += "\n";
    out += std::string("play-self ") + (r.playSelf ? "1" : "0") + "\n";
    out += std::string("extra-point ") + (r.extraPoint ? "1" : "0") + "\n";
    out += "real-payoffs";
    if (r.realPayoffs) {
        for (double p : *r.realPayoffs) out += " " + exact(p);
    } else {
        out += " none";
    }
    out += "\n";
    out += std::string("update ") + updateRuleName(r.updateRule) + "\n";
    out += "noise " + exact(r.noise) + "\n";
    out += "mutation " + exact(r.mutation) + "\n";
    return out + variantLines(r);
}

std::string formatCheckpoint(const Checkpoint& c) {
    std::string out;
    out += std::string(kMagic) + " " + std::to_string(kCheckpointVersion) + "\n";
    out += "seed " + std::to_string(c.seed) + "\n";
    out += "generation " + std::to_string(c.generation) + "\n";
    if (c.graph) {
        out += "graph " + std::to_string(c.graph->nodes) + " " + hex(c.graph->checksum) + "\n";
    } else {
        out += "size " + std::to_string(c.shape.rows) + " " + std::to_string(c.shape.cols) + "\n";
        out += std::string("edges ") + edgesName(c.shape.edges) + "\n";
        out += std::string("neighbourhood ") + neighbourhoodName(c.shape.neighbourhood) + "\n";
    }
    out += formatCheckpointRules(c.rules);
    out += "random " + std::to_string(c.random.index);
    for (std::uint32_t w : c.random.words) out += " " + std::to_string(w);
    out += "\n";
    out += "recent " + std::to_string(c.recent.size());
    for (std::uint64_t h : c.recent) out += " " + hex(h);
    out += "\n";
    out += formatMark("log", c.log);
    out += formatMark("stats", c.stats);
    out += "grid\n";
    const std::size_t cells = c.color.size();
    const std::size_t perLine = c.graph ? kCheckpointNodesPerLine : static_cast<std::size_t>(c.shape.cols);
    for (std::size_t first = 0; first < cells; first += perLine) {
        const std::size_t count = std::min(perLine, cells - first);
        std::string row(count * 3 + 1, '\n');
        for (std::size_t k = 0; k < count; ++k) {
            const std::size_t i = first + k;
            const bool empty = c.color[i] < 0;
            row[k * 3] = empty ? '-' : static_cast<char>('0' + c.color[i]);
            row[k * 3 + 1] = empty ? '-' : static_cast<char>('0' + c.self[i]);
            row[k * 3 + 2] = empty ? '-' : static_cast<char>('0' + c.other[i]);
        }
        out += row;
    }
    out += "checksum " + hex(fnv1a(kFnvBasis, out.data(), out.size())) + "\n";
    return out;
}

namespace {

// The text of a checkpoint file, its version and where its checksum line
// starts, once the file is read and found whole; error says why not.
struct CheckedText {
    std::string text;
    int format = 0;
    std::string version;
    std::size_t checksumLine = 0;  // the offset of the line feed before "checksum "
};

// Reads a checkpoint's lines in their order, one named step a part of the
// file; every refusal names the file and, where it has one, the line.
class CheckpointReader {
public:
    CheckpointReader(const std::string& path, const CheckedText& file, Checkpoint& c, std::string& error)
        : path_(path), file_(file), c_(c), error_(error), lines_(file.text.substr(0, file.checksumLine + 1)) {}

    bool read() {
        return header() && shape() && rules() && random() && recent() && marks() && grid() && end();
    }

private:
    bool fail(int line, const std::string& what) {
        error_ = path_ + (line > 0 ? ":" + std::to_string(line) : "") + ": " + what;
        return false;
    }
    bool failHere(const std::string& what) { return fail(lines_.number(), what); }
    bool expect(const char* key, std::size_t count) { return lines_.next(w_) && w_.size() == count && w_[0] == key; }

    bool header() {
        if (!lines_.next(w_) || w_.size() != 2 || w_[0] != kMagic) return fail(1, "not a talvane checkpoint");
        if (w_[1] != file_.version) return fail(1, unreadableVersion(file_.version));
        if (!expect("seed", 2) || !toInt(w_[1], 0, 4294967295LL, v_)) return failHere("bad seed line");
        c_.seed = static_cast<std::uint32_t>(v_);
        if (!expect("generation", 2) || !toInt(w_[1], 0, INT32_MAX, v_)) return failHere("bad generation line");
        c_.generation = v_;
        return true;
    }

    // A graph's line, or a lattice's size, edges and neighbourhood lines.
    bool shape() {
        c_.graph.reset();
        if (!lines_.next(w_)) return failHere("bad size line");
        if (!w_.empty() && w_[0] == "graph") return graph();
        if (w_.size() != 3 || w_[0] != "size" || !toInt(w_[1], kMinWorldSide, kMaxWorldSide, rows_) ||
            !toInt(w_[2], kMinWorldSide, kMaxWorldSide, cols_)) {
            return failHere("bad size line");
        }
        c_.shape.rows = static_cast<int>(rows_);
        c_.shape.cols = static_cast<int>(cols_);
        if (!expect("edges", 2) || !parseEdges(w_[1], c_.shape.edges)) return failHere("bad edges line");
        if (!expect("neighbourhood", 2) || !parseNeighbourhood(w_[1], c_.shape.neighbourhood)) {
            return failHere("bad neighbourhood line");
        }
        return true;
    }

    bool graph() {
        Checkpoint::GraphMark mark;
        std::uint64_t checksum = 0;
        if (w_.size() != 3 || !toInt(w_[1], kMinGraphNodes, kMaxGraphNodes, v_) || !toHex(w_[2], checksum)) {
            return failHere("bad graph line");
        }
        mark.nodes = static_cast<int>(v_);
        mark.checksum = checksum;
        c_.graph = mark;
        // The nodes' lines: 64 nodes each, the last one what remains.
        rows_ = (v_ + kCheckpointNodesPerLine - 1) / kCheckpointNodesPerLine;
        cols_ = kCheckpointNodesPerLine;
        return true;
    }

    // The rules' lines; they end at the line after them, which the random
    // line's step takes up.
    bool rules() {
        if (const std::string bad = readRules(lines_, w_, more_, c_.rules); !bad.empty()) return failHere(bad);
        return true;
    }

    bool random() {
        if (!more_ || w_.size() != 2 + Mt19937::kStateSize || w_[0] != "random" ||
            !toInt(w_[1], 0, Mt19937::kStateSize, v_)) {
            return failHere("bad random line");
        }
        c_.random.index = static_cast<int>(v_);
        for (int k = 0; k < Mt19937::kStateSize; ++k) {
            if (!toInt(w_[2 + k], 0, UINT32_MAX, v_)) return failHere("bad random line");
            c_.random.words[k] = static_cast<std::uint32_t>(v_);
        }
        return true;
    }

    bool recent() {
        if (!lines_.next(w_) || w_.size() < 2 || w_[0] != "recent" || !toInt(w_[1], 0, kSettlePeriodMax, v_) ||
            w_.size() != 2 + static_cast<std::size_t>(v_)) {
            return failHere("bad recent line");
        }
        c_.recent.clear();
        for (std::size_t k = 2; k < w_.size(); ++k) {
            std::uint64_t h = 0;
            if (!toHex(w_[k], h)) return failHere("bad recent line");
            c_.recent.push_back(h);
        }
        return true;
    }

    // Where the log and the table stood (from format 2 on).
    bool marks() {
        c_.log.reset();
        c_.stats.reset();
        if (file_.format < 2) return true;
        if (!lines_.next(w_) || !parseMark(w_, "log", c_.log)) return failHere("bad log line");
        if (!lines_.next(w_) || !parseMark(w_, "stats", c_.stats)) return failHere("bad stats line");
        return true;
    }

    bool grid() {
        if (!expect("grid", 1)) return failHere("the grid line is missing");
        const std::size_t cells =
            c_.graph ? static_cast<std::size_t>(c_.graph->nodes) : static_cast<std::size_t>(rows_ * cols_);
        c_.color.assign(cells, 0);
        c_.self.assign(cells, 0);
        c_.other.assign(cells, 0);
        for (std::int64_t r = 0; r < rows_; ++r) {
            const std::int64_t inRow = std::min<std::int64_t>(cols_, static_cast<std::int64_t>(cells) - r * cols_);
            if (!lines_.nextRaw(line_) || line_.size() != static_cast<std::size_t>(inRow) * 3) {
                return failHere("a grid row of " + std::to_string(inRow) + " cells is expected");
            }
            for (std::int64_t col = 0; col < inRow; ++col) {
                if (!cell(static_cast<std::size_t>(r * cols_ + col), line_.data() + col * 3)) return false;
            }
        }
        return true;
    }

    // Cell i from its three characters: colour, self, others; "---" is an
    // empty cell of the ecology rule.
    bool cell(std::size_t i, const char* at) {
        if (c_.rules.updateRule == UpdateRule::Ecology && at[0] == '-' && at[1] == '-' && at[2] == '-') {
            c_.color[i] = c_.self[i] = c_.other[i] = kEmptyCode;
            return true;
        }
        for (int k = 0; k < 3; ++k) {
            if (at[k] < '0' || at[k] > '7') return failHere("a cell code outside 0 to 7");
        }
        c_.color[i] = static_cast<CellCode>(at[0] - '0');
        c_.self[i] = static_cast<CellCode>(at[1] - '0');
        c_.other[i] = static_cast<CellCode>(at[2] - '0');
        return true;
    }

    bool end() {
        if (lines_.nextRaw(line_)) return failHere("unexpected text after the grid");
        return true;
    }

    const std::string& path_;
    const CheckedText& file_;
    Checkpoint& c_;
    std::string& error_;
    Lines lines_;
    std::vector<std::string> w_;  // the words of the line read last
    std::string line_;            // a grid line read last
    std::int64_t v_ = 0;
    std::int64_t rows_ = 0;       // grid lines
    std::int64_t cols_ = 0;       // cells per grid line
    bool more_ = true;            // a line follows the rules
};

// Reads the file and checks its magic, its version and its checksum.
bool readCheckedText(const std::string& path, CheckedText& out, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = path + ": cannot be read: " + std::strerror(errno);
        return false;
    }
    std::ostringstream whole;
    whole << file.rdbuf();
    out.text = withLineFeeds(whole.str());
    const std::string& text = out.text;
    auto fail = [&](int line, const std::string& what) {
        error = path + (line > 0 ? ":" + std::to_string(line) : "") + ": " + what;
        return false;
    };
    const std::string magic = std::string(kMagic) + " ";
    if (text.compare(0, magic.size(), magic) != 0) return fail(0, "not a talvane checkpoint");
    out.version = text.substr(magic.size(), text.find('\n') - std::min(text.find('\n'), magic.size()));
    if (!readableVersion(out.version, out.format)) return fail(1, unreadableVersion(out.version));
    // The checksum line closes the file; everything before it must match it.
    const std::size_t last = text.size() >= 2 ? text.rfind('\n', text.size() - 2) : std::string::npos;
    std::uint64_t sum = 0;
    if (text.empty() || text.back() != '\n' || last == std::string::npos ||
        text.compare(last + 1, 9, "checksum ") != 0 ||
        !toHex(text.substr(last + 10, text.size() - last - 11), sum)) {
        return fail(0, "damaged: the checksum line at its end is missing (a cut-off file?)");
    }
    if (fnv1a(kFnvBasis, text.data(), last + 1) != sum) return fail(0, "damaged: its checksum does not match its contents");
    out.checksumLine = last;
    return true;
}

}  // namespace

bool readCheckpoint(const std::string& path, Checkpoint& c, std::string& error) {
    CheckedText file;
    if (!readCheckedText(path, file, error)) return false;
    return CheckpointReader(path, file, c, error).read();
}

}  // namespace talvane
