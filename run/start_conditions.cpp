#include "start_conditions.h"

#include <charconv>
#include <cmath>

#include "shared_options.h"
#include "statistics.h"

namespace talvane {

namespace {

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t at = text.find(separator, start);
        parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) return parts;
        start = at + 1;
    }
}

// A plain decimal such as 0.9, 1 or 12.5: digits with at most one point.
bool parseWeight(const std::string& text, double& weight) {
    int digits = 0;
    int points = 0;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            ++digits;
        } else if (c == '.') {
            ++points;
        } else {
            return false;
        }
    }
    if (digits == 0 || points > 1) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), weight);
    return ec == std::errc() && end == text.data() + text.size() && std::isfinite(weight);
}

}  // namespace

bool parsePair(const std::string& text, int& pair, std::string& error) {
    const std::vector<std::string> parts = split(text, '/');
    StrategyCode self = 0, other = 0;
    if (parts.size() != 2 || !parseStrategy(parts[0], self) || !parseStrategy(parts[1], other)) {
        error = "\"" + text +
                "\" is not a pair SELF/OTHER of strategy codes 0 to 7 or names "
                "(AllD, STFT, C-then-AllD, TFT, AllC), such as 6/0 or TFT/AllD";
        return false;
    }
    pair = self * 8 + other;
    return true;
}

bool parseMix(const std::string& text, std::vector<std::pair<int, double>>& mix, std::string& error) {
    mix.clear();
    double total = 0.0;
    for (const std::string& item : split(text, ',')) {
        const std::size_t colon = item.rfind(':');
        if (colon == std::string::npos) {
            error = "\"" + item + "\" is not PAIR:WEIGHT (such as 7/7:0.9)";
            return false;
        }
        int pair = 0;
        double weight = 0.0;
        if (!parsePair(item.substr(0, colon), pair, error)) return false;
        if (!parseWeight(item.substr(colon + 1), weight)) {
            error = "\"" + item.substr(colon + 1) + "\" is not a weight (a decimal number such as 0.1 or 3)";
            return false;
        }
        for (const auto& [seen, w] : mix) {
            if (seen == pair) {
                error = "the pair " + item.substr(0, colon) + " is given twice";
                return false;
            }
        }
        mix.emplace_back(pair, weight);
        total += weight;
    }
    if (!(total > 0.0)) {
        error = "\"" + text + "\": the weights add up to 0";
        return false;
    }
    return true;
}

bool parsePlace(const std::string& text, Placement& place, std::string& error) {
    const std::vector<std::string> parts = split(text, ',');
    std::int64_t row = 0, col = 0;
    if (parts.size() != 3 || !parseDecimal(parts[0], 0, kMaxWorldSide - 1, row, error) ||
        !parseDecimal(parts[1], 0, kMaxWorldSide - 1, col, error) || !parsePair(parts[2], place.pair, error)) {
        error = "\"" + text + "\" is not ROW,COL,PAIR (such as 32,32,AllD/AllD)";
        return false;
    }
    place.row = static_cast<int>(row);
    place.col = static_cast<int>(col);
    return true;
}

bool placementsFor(const StartConditions& start, int rows, int cols, std::vector<Placement>& out, std::string& error) {
    out.clear();
    if (start.centerPair >= 0) out.push_back({rows / 2, cols / 2, start.centerPair});
    for (const Placement& place : start.places) {
        if (place.row >= rows || place.col >= cols) {
            error = "--place " + std::to_string(place.row) + "," + std::to_string(place.col) +
                    ": outside the world of " + std::to_string(rows) + "x" + std::to_string(cols) + " cells";
            return false;
        }
        out.push_back(place);
    }
    return true;
}

void applyPlacements(World& world, const std::vector<Placement>& places) {
    for (const Placement& place : places) {
        const int cell = world.index(place.row, place.col);
        world.selfStrategy[cell] = static_cast<CellCode>(place.pair / 8);
        world.otherStrategy[cell] = static_cast<CellCode>(place.pair % 8);
    }
}

}  // namespace talvane
