#include "metadata.h"

#include <cstdio>
#include <ctime>

#include "run.h"
#include "statistics.h"

namespace talvane {

namespace {



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

std::string formatMetadata(const RunSettings& s, const RunRecord& r) {
    std::string out = "{\n";
    auto field = [&out](const std::string& name, const std::string& json, bool last = false) {
        out += "  " + jsonString(name) + ": " + json + (last ? "\n" : ",\n");
    };
    field("program", jsonString("talvane-batch"));
    field("version", jsonString(TALVANE_VERSION));
    field("seed", std::to_string(s.seed));
    const WorldShape shape = s.effectiveShape();
    if (r.graph) {
        const GraphRecord& g = *r.graph;
        char checksum[24];
        std::snprintf(checksum, sizeof checksum, "%016llx", static_cast<unsigned long long>(g.checksum));
        std::string histogram = "[";
        for (std::size_t k = 0; k < g.degrees.histogram.size(); ++k) {
            histogram += (k > 0 ? ", " : "") + std::to_string(g.degrees.histogram[k]);
        }
        const std::string source = s.graph.network ? "\"network\": " + jsonString(s.graph.network->text)
                                                   : "\"file\": " + jsonString(s.graph.path);
        field("graph", "{" + source + ", \"nodes\": " + std::to_string(g.nodes) +
                           ", \"edges\": " + std::to_string(g.edges) + ", \"checksum\": " + jsonString(checksum) +
                           ", \"degree\": {\"mean\": " + jsonNumber(g.degrees.mean) +
                           ", \"min\": " + std::to_string(g.degrees.minimum) +
                           ", \"max\": " + std::to_string(g.degrees.maximum) + ", \"histogram\": " + histogram +
                           "]}}");
    } else {
    field("world", "{\"rows\": " + std::to_string(shape.rows) + ", \"cols\": " + std::to_string(shape.cols) +
                       ", \"edges\": " + jsonString(edgesName(shape.edges)) +
                       ", \"neighbourhood\": " + jsonString(neighbourhoodName(shape.neighbourhood)) + "}");
    }
    if (s.realPayoffs) {
        std::string list = "[";
        for (std::size_t k = 0; k < 4; ++k) list += (k > 0 ? ", " : "") + jsonNumber((*s.realPayoffs)[k]);
        field("payoffs", list + "]");
    } else {
        field("payoffs", "[" + std::to_string(s.payoffs[0]) + ", " + std::to_string(s.payoffs[1]) + ", " +
                             std::to_string(s.payoffs[2]) + ", " + std::to_string(s.payoffs[3]) + "]");
    }
    field("update", jsonString(updateRuleName(s.updateRule)));
    field("noise", jsonNumber(s.noise));
    if (s.updateRule == UpdateRule::Ecology) {
        const EcologyRules& e = s.ecology;
        field("mutation", jsonNumber(e.mutation));
        field("ecology", "{\"colors\": " + std::to_string(e.colors) + ", \"immigrants\": " +
                             std::to_string(e.immigrants) + ", \"ptr\": " + jsonNumber(e.ptr) +
                             ", \"cost\": " + jsonNumber(e.cost) + ", \"benefit\": " + jsonNumber(e.benefit) +
                             ", \"death\": " + jsonNumber(e.death) + "}");
    } else {
        field("mutation", jsonNumber(s.mutation));
    }
    if (s.imitationColors > 0) field("colors", std::to_string(s.imitationColors));
    // Written only for what the program's first rules and matches did not
    // have, so that the records of those runs keep their bytes.
    const bool oldRule = s.updateRule == UpdateRule::Synchronous || s.updateRule == UpdateRule::Asynchronous ||
                         s.updateRule == UpdateRule::Fermi ||
                         s.updateRule == UpdateRule::Ecology;
    if (!oldRule) field("schedule", jsonString(scheduleName(scheduleOf(s.updateRule))));
    const ImitationRule imitation = imitationOf(s.updateRule);
    if (imitation == ImitationRule::DeathBirth || imitation == ImitationRule::BirthDeath) {
        field("selection", jsonNumber(s.selection));
    }
    if (s.rounds != 200) field("rounds", std::to_string(s.rounds));
    bool poolsFull = true;
    for (int k = 0; k < 8; ++k) poolsFull = poolsFull && !s.selfExcluded[k] && !s.otherExcluded[k];
    if (s.mutation > 0.0 && !poolsFull) field("mutation_codes", jsonString("seeding pools"));
    field("competition", jsonString(competitionName(static_cast<CompetitionMode>(s.competitionMode))));
    field("play_self", s.playSelf ? "true" : "false");
    field("extra_point", s.extraPoint ? "true" : "false");
    std::string start = "pools";
    if (!s.resumePath.empty()) {
        start = "checkpoint";
    } else if (!s.loadPath.empty()) {
        start = "world file";
    } else if (!s.startConditions.mix.empty()) {
        start = "mix";
    } else if (s.updateRule == UpdateRule::Ecology) {
        start = "empty";
    }
    field("start", jsonString(start));
    field("layout", jsonString(colorLayoutName(static_cast<ColorLayout>(s.colorLayout))));
    field("self_pool", jsonString(poolText(s.selfExcluded)));
    field("other_pool", jsonString(poolText(s.otherExcluded)));
    std::string options = "{";
    for (std::size_t i = 0; i < s.optionValues.size(); ++i) {
        options += (i > 0 ? ", " : "") + jsonString(s.optionValues[i].first) + ": " +
                   jsonString(s.optionValues[i].second);
    }
    field("options", options + "}");
    std::string outputs = "{";
    auto output = [&outputs](const char* name, const std::string& path) {
        if (path.empty()) return;
        outputs += (outputs.size() > 1 ? ", " : "") + jsonString(name) + ": " + jsonString(path);
    };
    output("log", s.logPath);
    output("stats", s.statsPath);
    output("save", s.savePath);
    output("checkpoint", s.checkpointPath);
    output("load", s.loadPath);
    output("resume", s.resumePath);
    output("graph", s.graph.path);
    output("save_graph", s.graph.savePath);
    for (const ExtraOutput& extra : s.extraOutputs) output(extra.option.c_str() + 2, extra.path);
    field("files", outputs + "}");
    if (s.measuresJson) field("measures", s.measuresJson(r));
    field("start_time", jsonString(r.startTime));
    field("end_time", jsonString(r.endTime));
    field("first_generation", std::to_string(r.firstGeneration));
    field("generations_asked", std::to_string(s.generations));
    field("generation_reached", std::to_string(r.generationReached));
    field("stop_reason", jsonString(r.stopReason));
    field("settled_by", r.settledGeneration < 0 ? "null" : jsonString(r.absorbing ? "absorbing" : "cycle"));
    field("settled_generation", r.settledGeneration >= 0 ? std::to_string(r.settledGeneration) : "null");
    field("period", r.period > 0 ? std::to_string(r.period) : "null", true);
    return out + "}\n";
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
