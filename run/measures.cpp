#include "measures.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <cstdio>

#include "batch_plan.h"
#include "metadata.h"
#include "shared_options.h"

namespace talvane {

namespace {

// A measurement's name as a JSON string (names are printable; quotes and
// backslashes escaped, other control characters dropped).
std::string jsonName(const std::string& text) {
    std::string out = "\"";
    for (const char ch : text) {
        if (ch == '"' || ch == '\\') out += '\\';
        if (static_cast<unsigned char>(ch) >= 0x20) out += ch;
    }
    return out + "\"";
}

// A generation number: decimal digits only, up to the largest run.
bool parseGeneration(const std::string& text, std::int64_t& value, std::string& error) {
    const char* end = text.data() + text.size();
    const auto [next, ec] = std::from_chars(text.data(), end, value, 10);
    if (text.empty() || text[0] == '-' || text[0] == '+' || ec != std::errc() || next != end || value < 0 ||
        value > std::numeric_limits<std::int32_t>::max()) {
        error = "\"" + text + "\" is not a generation 0 to " + std::to_string(std::numeric_limits<std::int32_t>::max());
        return false;
    }
    return true;
}

}  // namespace

bool parseMeasure(const std::string& text, Measure& measure, std::string& error) {
    measure = Measure{};
    measure.name = text;
    const std::size_t colon = text.find(':');
    const std::string head = text.substr(0, colon);
    const std::string tail = colon == std::string::npos ? "" : text.substr(colon + 1);
    const std::string known =
        " (give share:S/O, self:S, other:S, coop_same, coop_other, GROUP_coop_same, GROUP_coop_other "
        "with GROUP all, green, cyan, red, color3 .. color7, or settled)";
    if (colon != std::string::npos) {
        StrategyCode a = 0, b = 0;
        if (head == "share") {
            const std::size_t slash = tail.find('/');
            if (slash == std::string::npos || !parseStrategy(tail.substr(0, slash), a) ||
                !parseStrategy(tail.substr(slash + 1), b)) {
                error = "--measure " + text + ": a pair is SELF/OTHER, codes 0 to 7 or names (share:7/7, share:TFT/AllD)";
                return false;
            }
            measure.kind = MeasureKind::Pair;
            measure.code = a * kCodeCount + b;
            return true;
        }
        if (head == "self" || head == "other") {
            if (!parseStrategy(tail, a)) {
                error = "--measure " + text + ": \"" + tail + "\" is not a strategy code 0 to 7 or name";
                return false;
            }
            measure.kind = head == "self" ? MeasureKind::Self : MeasureKind::Other;
            measure.code = a;
            return true;
        }
        error = "--measure " + text + ": unknown measurement" + known;
        return false;
    }
    if (text == "settled") {
        measure.kind = MeasureKind::Settled;
        return true;
    }
    for (const char* whom : {"coop_same", "coop_other"}) {
        const std::string suffix = whom;
        const MeasureKind kind = suffix == "coop_same" ? MeasureKind::CoopSame : MeasureKind::CoopOther;
        if (text == suffix) {
            measure.kind = kind;
            return true;
        }
        for (int group = 0; group <= kCodeCount; ++group) {
            if (text == groupPrefix(group) + "_" + suffix) {
                measure.kind = kind;
                measure.group = group;
                return true;
            }
        }
    }
    error = "--measure " + text + ": unknown measurement" + known;
    return false;
}

bool parseWindow(const std::string& text, std::int64_t& from, std::int64_t& to, std::string& error) {
    const std::size_t colon = text.find(':');
    std::string why;
    if (colon == std::string::npos || !parseGeneration(text.substr(0, colon), from, why) ||
        !parseGeneration(text.substr(colon + 1), to, why) || to < from) {
        error = "--window " + text + ": give FROM:TO, generations with FROM at most TO (such as 500:1000)" +
                (why.empty() ? "" : " (" + why + ")");
        return false;
    }
    return true;
}

MeasureSet::MeasureSet(std::vector<Measure> measures, std::int64_t from, std::int64_t to, CompetitionMode competitionMode)
    : measures_(std::move(measures)),
      from_(from),
      to_(to),
      coop_(competitionMode == CompetitionMode::Infinite ? infiniteCooperationTable() : finiteCooperationTable()),
      sum_(measures_.size(), 0.0),
      sumSquares_(measures_.size(), 0.0),
      samples_(measures_.size(), 0) {
    for (const Measure& m : measures_) {
        const bool coop = m.kind == MeasureKind::CoopSame || m.kind == MeasureKind::CoopOther;
        if (coop && m.group == 0) needCoop_ = true;
        if (coop && m.group > 0) needGroups_ = true;
    }
}

void MeasureSet::observe(const World& world, std::int64_t generation) {
    if (generation < from_ || generation > to_) return;
    // The cooperation rates are those of the statistics table: the whole
    // world's from the counted games, a colour's from the full statistics.
    GroupStats whole;
    WorldStats groups{};
    if (needGroups_) {
        groups = computeWorldStats(world, coop_);
        whole = groups[0];
    } else if (needCoop_) {
        whole = worldCooperation(world, coop_);
    }
    add(world.pairCounts(), whole, groups);
}

void MeasureSet::observe(const GraphWorld& world, std::int64_t generation) {
    if (generation < from_ || generation > to_) return;
    // A graph's statistics table counts each node's games along its edges.
    WorldStats groups{};
    if (needGroups_ || needCoop_) groups = computeGraphStats(world, coop_);
    add(world.pairCounts(), groups[0], groups);
}

void MeasureSet::add(const PairCounts& counts, const GroupStats& whole, const WorldStats& groups) {
    double cells = 0.0;
    for (std::uint32_t n : counts) cells += n;
    for (std::size_t k = 0; k < measures_.size(); ++k) {
        const Measure& m = measures_[k];
        double value = 0.0;
        bool defined = true;
        switch (m.kind) {
            case MeasureKind::Pair:
                value = cells > 0 ? counts[m.code] / cells : 0.0;
                break;
            case MeasureKind::Self:
            case MeasureKind::Other: {
                double n = 0.0;
                for (int j = 0; j < kCodeCount; ++j) {
                    n += m.kind == MeasureKind::Self ? counts[m.code * kCodeCount + j] : counts[j * kCodeCount + m.code];
                }
                value = cells > 0 ? n / cells : 0.0;
                break;
            }
            case MeasureKind::CoopSame:
            case MeasureKind::CoopOther: {
                const GroupStats& g = m.group == 0 ? whole : groups[m.group];
                const double coop = m.kind == MeasureKind::CoopSame ? g.coopSame : g.coopOther;
                const std::uint64_t games = m.kind == MeasureKind::CoopSame ? g.gamesSame : g.gamesOther;
                // No such games (a colour absent, no other colour): no value, as the table's empty field.
                defined = games > 0;
                value = defined ? coop / static_cast<double>(games) : 0.0;
                break;
            }
            case MeasureKind::Settled:
                defined = false;
                break;
        }
        if (!defined) continue;
        sum_[k] += value;
        sumSquares_[k] += value * value;
        ++samples_[k];
    }
}

std::string MeasureSet::json(const RunRecord& record) const {
    std::string out = "{";
    for (std::size_t k = 0; k < measures_.size(); ++k) {
        const Measure& m = measures_[k];
        std::string mean = "null", sd = "null";
        std::int64_t samples = samples_[k];
        if (m.kind == MeasureKind::Settled) {
            // The generation itself: one value, no spread; null when the run did not settle.
            samples = record.settledGeneration >= 0 ? 1 : 0;
            if (samples > 0) {
                mean = std::to_string(record.settledGeneration);
                sd = "0";
            }
        } else if (samples > 0) {
            const double n = static_cast<double>(samples);
            const double average = sum_[k] / n;
            // The spread over the window's generations (divided by their number).
            const double variance = std::max(0.0, sumSquares_[k] / n - average * average);
            mean = jsonNumber(average);
            sd = jsonNumber(std::sqrt(variance));
        }
        out += (k > 0 ? ", " : "") + jsonName(m.name) + ": {\"mean\": " + mean + ", \"sd\": " + sd +
               ", \"from\": " + std::to_string(from_) + ", \"to\": " + std::to_string(to_) +
               ", \"samples\": " + std::to_string(samples) + "}";
    }
    return out + "}";
}

void defineMeasureOptions(CLI::App& app, MeasureOptions& options) {
    options.measureOption =
        app.add_option("--measure", options.names,
                       "Measure over the window and write mean and sd into the run's record (repeatable, or a "
                       "list a,b): share:S/O, self:S, other:S, coop_same, coop_other, GROUP_coop_same, "
                       "GROUP_coop_other (GROUP all, green, red, ...), settled");
    options.windowOption = app.add_option("--window", options.window,
                                          "Generations FROM:TO (inclusive) the measurements average over "
                                          "(default: the last tenth of the run)");
}

bool addMeasures(const MeasureOptions& options, BatchPlan& plan, std::string& error) {
    if (options.measureOption->count() == 0) {
        if (options.windowOption->count() > 0) {
            error = "--window needs --measure: it is the window of the measurements";
            return false;
        }
        return true;
    }
    std::vector<Measure> measures;
    for (const std::string& item : options.names) {
        std::size_t start = 0;
        while (start <= item.size()) {
            const std::size_t comma = item.find(',', start);
            const std::string name = item.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
            Measure m;
            if (!parseMeasure(name, m, error)) return false;
            for (const Measure& earlier : measures) {
                if (earlier.name == m.name) {
                    error = "--measure " + m.name + " is given twice";
                    return false;
                }
            }
            measures.push_back(m);
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
    }
    if (plan.manyRuns) {
        error = "--measure takes one run; a sweep (scripts/sweep) gives each run its own record";
        return false;
    }
    if (!plan.resumePath.empty()) {
        // The generations before the checkpoint are gone, and with them part of the window.
        error = "--measure cannot go with --resume: the generations before the checkpoint were not measured";
        return false;
    }
    const std::int64_t generations = plan.run.generations;
    std::int64_t from = generations - (generations + 9) / 10 + 1;
    std::int64_t to = generations;
    if (generations == 0) from = 0;
    if (options.windowOption->count() > 0) {
        if (!parseWindow(options.window, from, to, error)) return false;
        if (to > generations) {
            error = "--window " + options.window + " ends after the run's last generation, " +
                    std::to_string(generations);
            return false;
        }
    }
    auto set = std::make_shared<MeasureSet>(std::move(measures), from, to, plan.run.rules.competition);
    if (plan.run.graph.graph || plan.run.graph.network) {
        // Every graph world, a lattice graph's too, is measured on its nodes.
        plan.run.onGraphGeneration = [set](const GraphWorld& world, std::int32_t generation) {
            set->observe(world, generation);
        };
    } else {
        auto before = plan.run.onGeneration;
        plan.run.onGeneration = [set, before](const World& world, std::int32_t generation) {
            set->observe(world, generation);
            return before ? before(world, generation) : kExitOk;
        };
    }
    plan.run.measuresJson = [set](const RunRecord& record) { return set->json(record); };
    return true;
}

void dropUngivenMeasureOptions(const MeasureOptions& options,
                               std::vector<std::pair<std::string, std::string>>& values) {
    std::erase_if(values, [&options](const std::pair<std::string, std::string>& value) {
        return (value.first == "--measure" && options.measureOption->count() == 0) ||
               (value.first == "--window" && options.windowOption->count() == 0);
    });
}

}  // namespace talvane
