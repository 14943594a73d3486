#include "metadata.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <sstream>

#include "statistics.h"

namespace talvane {

namespace {

std::string payoffsJson(const Rules& rules) {
    std::string list = "[";
    for (std::size_t k = 0; k < 4; ++k) {
        list += k > 0 ? ", " : "";
        list += rules.realPayoffs ? jsonNumber((*rules.realPayoffs)[k]) : std::to_string(rules.payoffs[k]);
    }
    return list + "]";
}

std::string ecologyJson(const EcologyRules& e) {
    return "{\"colors\": " + std::to_string(e.colors) + ", \"immigrants\": " + std::to_string(e.immigrants) +
           ", \"ptr\": " + jsonNumber(e.ptr) + ", \"cost\": " + jsonNumber(e.cost) +
           ", \"benefit\": " + jsonNumber(e.benefit) + ", \"death\": " + jsonNumber(e.death) + "}";
}

// The top-level fields of a record as formatMetadata writes them, one a
// line: name and the JSON text of its value.
std::map<std::string, std::string> recordFields(const std::string& record) {
    std::map<std::string, std::string> fields;
    std::istringstream in(record);
    for (std::string line; std::getline(in, line);) {
        const std::size_t colon = line.find("\": ");
        if (line.rfind("  \"", 0) != 0 || colon == std::string::npos) continue;
        std::string value = line.substr(colon + 3);
        if (!value.empty() && value.back() == ',') value.pop_back();
        fields[line.substr(3, colon - 3)] = value;
    }
    return fields;
}

// A JSON string's text (the record writes none of these with escapes).
bool unquoted(const std::string& json, std::string& text) {
    if (json.size() < 2 || json.front() != '"' || json.back() != '"') return false;
    text = json.substr(1, json.size() - 2);
    return true;
}

bool number(const std::string& json, double& value) {
    char* end = nullptr;
    value = std::strtod(json.c_str(), &end);
    return !json.empty() && end == json.c_str() + json.size() && std::isfinite(value);
}

// The value of "key" inside a one-line JSON object such as the ecology's.
bool member(const std::string& object, const char* key, double& value) {
    const std::string name = std::string("\"") + key + "\": ";
    const std::size_t at = object.find(name);
    if (at == std::string::npos) return false;
    const std::size_t start = at + name.size();
    return number(object.substr(start, object.find_first_of(",}", start) - start), value);
}

bool readPayoffs(const std::string& json, Rules& rules) {
    if (json.size() < 2 || json.front() != '[' || json.back() != ']') return false;
    std::array<double, 4> values{};
    std::istringstream in(json.substr(1, json.size() - 2));
    std::string item;
    bool whole = true;
    for (double& value : values) {
        if (!std::getline(in, item, ',') || !number(item.substr(item.find_first_not_of(' ')), value)) return false;
        whole = whole && value == std::trunc(value) && value >= INT32_MIN && value <= INT32_MAX;
    }
    if (std::getline(in, item, ',')) return false;
    // Decimal payoffs that are all whole numbers read back as whole numbers,
    // which make the same table.
    rules.realPayoffs.reset();
    if (!whole) rules.realPayoffs = values;
    for (std::size_t k = 0; whole && k < 4; ++k) rules.payoffs[k] = static_cast<std::int32_t>(values[k]);
    return true;
}

bool readUpdate(const std::map<std::string, std::string>& fields, Rules& rules) {
    std::string name;
    if (!fields.contains("update") || !unquoted(fields.at("update"), name)) return false;
    // Only the rules beyond the old three and ecology carry a schedule; "fermi"
    // without one is the old name of Fermi on the random-sequential schedule.
    if (!fields.contains("schedule")) return parseUpdateRule(name, rules.updateRule);
    ImitationRule imitation = ImitationRule::Best;
    Schedule schedule = Schedule::Synchronous;
    std::string text;
    return parseImitation(name, imitation) && unquoted(fields.at("schedule"), text) && parseSchedule(text, schedule) &&
           combineRule(imitation, schedule, rules.updateRule);
}

bool readEcology(const std::string& json, EcologyRules& e) {
    double colors = 0, immigrants = 0;
    if (!member(json, "colors", colors) || !member(json, "immigrants", immigrants) || !member(json, "ptr", e.ptr) ||
        !member(json, "cost", e.cost) || !member(json, "benefit", e.benefit) || !member(json, "death", e.death)) {
        return false;
    }
    e.colors = static_cast<int>(colors);
    e.immigrants = static_cast<int>(immigrants);
    return true;
}

bool readPool(const std::map<std::string, std::string>& fields, const char* name,
              std::array<bool, kCodeCount>& excluded) {
    std::string list;
    if (!fields.contains(name) || !unquoted(fields.at(name), list)) return false;
    excluded.fill(true);
    std::istringstream in(list);
    for (std::string item; std::getline(in, item, ',');) {
        if (item.size() != 1 || item[0] < '0' || item[0] > '7') return false;
        excluded[static_cast<std::size_t>(item[0] - '0')] = false;
    }
    return true;
}

bool readFlag(const std::map<std::string, std::string>& fields, const char* name, bool& flag) {
    if (!fields.contains(name)) return false;
    flag = fields.at(name) == "true";
    return flag || fields.at(name) == "false";
}

// The numbers of the rules: noise, mutation (the child's under ecology),
// the imitation colours, selection and rounds.
bool readNumbers(const std::map<std::string, std::string>& fields, Rules& rules) {
    double mutation = 0.0;
    if (!fields.contains("noise") || !number(fields.at("noise"), rules.noise)) return false;
    if (!fields.contains("mutation") || !number(fields.at("mutation"), mutation)) return false;
    (rules.updateRule == UpdateRule::Ecology ? rules.ecology.mutation : rules.mutation) = mutation;
    double value = 0.0;
    if (fields.contains("colors")) {
        if (!number(fields.at("colors"), value)) return false;
        rules.imitationColors = static_cast<int>(value);
    }
    if (fields.contains("selection") && !number(fields.at("selection"), rules.selection)) return false;
    if (fields.contains("rounds")) {
        if (!number(fields.at("rounds"), value)) return false;
        rules.rounds = static_cast<std::int32_t>(value);
    }
    return true;
}

std::string poolText(const std::array<bool, 8>& excluded) {
    std::string out;
    for (int k = 0; k < kCodeCount; ++k) {
        if (!excluded[k]) out += (out.empty() ? "" : ",") + std::to_string(k);
    }
    return out;
}

}  // namespace

std::string utcTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    gmtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

namespace {

std::string graphJson(const RunDescription& run, const GraphRecord& g) {
    char checksum[24];
    std::snprintf(checksum, sizeof checksum, "%016llx", static_cast<unsigned long long>(g.checksum));
    std::string histogram = "[";
    for (std::size_t k = 0; k < g.degrees.histogram.size(); ++k) {
        histogram += (k > 0 ? ", " : "") + std::to_string(g.degrees.histogram[k]);
    }
    const std::string source =
        run.network ? "\"network\": " + jsonString(*run.network) : "\"file\": " + jsonString(run.graphPath);
    return "{" + source + ", \"nodes\": " + std::to_string(g.nodes) + ", \"edges\": " + std::to_string(g.edges) +
           ", \"checksum\": " + jsonString(checksum) + ", \"degree\": {\"mean\": " + jsonNumber(g.degrees.mean) +
           ", \"min\": " + std::to_string(g.degrees.minimum) + ", \"max\": " + std::to_string(g.degrees.maximum) +
           ", \"histogram\": " + histogram + "]}}";
}

std::string worldJson(const WorldShape& shape) {
    return "{\"rows\": " + std::to_string(shape.rows) + ", \"cols\": " + std::to_string(shape.cols) +
           ", \"edges\": " + jsonString(edgesName(shape.edges)) +
           ", \"neighbourhood\": " + jsonString(neighbourhoodName(shape.neighbourhood)) + "}";
}

// Names and texts as one JSON object of strings.
std::string objectJson(const std::vector<std::pair<std::string, std::string>>& members) {
    std::string out = "{";
    for (std::size_t i = 0; i < members.size(); ++i) {
        out += (i > 0 ? ", " : "") + jsonString(members[i].first) + ": " + jsonString(members[i].second);
    }
    return out + "}";
}

}  // namespace

std::vector<std::pair<std::string, std::string>> recordFieldsOf(const Rules& rules) {
    std::vector<std::pair<std::string, std::string>> fields;
    auto field = [&fields](const char* name, const std::string& json) { fields.emplace_back(name, json); };
    field("payoffs", payoffsJson(rules));
    field("update", jsonString(updateRuleName(rules.updateRule)));
    field("noise", jsonNumber(rules.noise));
    if (rules.updateRule == UpdateRule::Ecology) {
        field("mutation", jsonNumber(rules.ecology.mutation));
        field("ecology", ecologyJson(rules.ecology));
    } else {
        field("mutation", jsonNumber(rules.mutation));
    }
    if (rules.imitationColors > 0) field("colors", std::to_string(rules.imitationColors));
    // Written only for what the program's first rules and matches did not
    // have, so that the records of those runs keep their bytes.
    if (!isOldRule(rules.updateRule)) field("schedule", jsonString(scheduleName(scheduleOf(rules.updateRule))));
    const ImitationRule imitation = imitationOf(rules.updateRule);
    if (imitation == ImitationRule::DeathBirth || imitation == ImitationRule::BirthDeath) {
        field("selection", jsonNumber(rules.selection));
    }
    if (rules.rounds != kDefaultRounds) field("rounds", std::to_string(rules.rounds));
    if (rules.mutation > 0.0 && !poolsFull(rules)) field("mutation_codes", jsonString("seeding pools"));
    field("competition", jsonString(competitionName(rules.competition)));
    field("play_self", rules.playSelf ? "true" : "false");
    field("extra_point", rules.extraPoint ? "true" : "false");
    return fields;
}

std::string formatMetadata(const RunDescription& run, const RunRecord& r) {
    std::string out = "{\n";
    auto field = [&out](const std::string& name, const std::string& json, bool last = false) {
        out += "  " + jsonString(name) + ": " + json + (last ? "\n" : ",\n");
    };
    field("program", jsonString("talvane-batch"));
    field("version", jsonString(TALVANE_VERSION));
    field("seed", std::to_string(run.seed));
    if (r.graph) {
        field("graph", graphJson(run, *r.graph));
    } else {
        field("world", worldJson(run.shape));
    }
    for (const auto& [name, json] : recordFieldsOf(run.rules)) field(name, json);
    field("start", jsonString(run.start));
    field("layout", jsonString(colorLayoutName(run.layout)));
    field("self_pool", jsonString(poolText(run.rules.selfExcluded)));
    field("other_pool", jsonString(poolText(run.rules.otherExcluded)));
    field("options", objectJson(run.options));
    field("files", objectJson(run.files));
    if (run.measures) field("measures", *run.measures);
    field("start_time", jsonString(r.startTime));
    field("end_time", jsonString(r.endTime));
    field("first_generation", std::to_string(r.firstGeneration));
    field("generations_asked", std::to_string(run.generationsAsked));
    field("generation_reached", std::to_string(r.generationReached));
    field("stop_reason", jsonString(r.stopReason));
    field("settled_by", r.settledGeneration < 0 ? "null" : jsonString(r.absorbing ? "absorbing" : "cycle"));
    field("settled_generation", r.settledGeneration >= 0 ? std::to_string(r.settledGeneration) : "null");
    field("period", r.period > 0 ? std::to_string(r.period) : "null", true);
    return out + "}\n";
}

bool readRecordRules(const std::string& record, Rules& out, std::string& error) {
    const std::map<std::string, std::string> fields = recordFields(record);
    Rules rules = defaultRules();
    std::string competition;
    const auto bad = [&error](const char* what) {
        error = std::string("the record's ") + what + " cannot be read";
        return false;
    };
    if (!fields.contains("payoffs") || !readPayoffs(fields.at("payoffs"), rules)) return bad("payoffs");
    if (!readUpdate(fields, rules)) return bad("update rule");
    if (!readNumbers(fields, rules)) return bad("numbers of the rules");
    if (rules.updateRule == UpdateRule::Ecology &&
        (!fields.contains("ecology") || !readEcology(fields.at("ecology"), rules.ecology))) {
        return bad("ecology");
    }
    if (!fields.contains("competition") || !unquoted(fields.at("competition"), competition) ||
        !parseCompetition(competition, rules.competition)) {
        return bad("competition");
    }
    if (!readFlag(fields, "play_self", rules.playSelf) || !readFlag(fields, "extra_point", rules.extraPoint)) {
        return bad("play_self or extra_point");
    }
    // A run's mutation draws from its seeding pools, which the record names.
    if (!readPool(fields, "self_pool", rules.selfExcluded) || !readPool(fields, "other_pool", rules.otherExcluded)) {
        return bad("pools");
    }
    out = rules;
    return true;
}

GraphRecord graphRecordOf(const Graph& graph) {
    return {graph.nodes, graph.edgeCount(), graphChecksum(graph), degreeStats(graph)};
}

std::string metadataPathFor(const std::string& logPath) {
    const std::size_t slash = logPath.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::size_t dot = logPath.rfind('.');
    if (dot == std::string::npos || dot <= nameStart) dot = logPath.size();
    return logPath.substr(0, dot) + ".json";
}

}  // namespace talvane
