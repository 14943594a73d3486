#include "run_description.h"

namespace talvane {

namespace {

std::string startOf(const RunSettings& s) {
    if (!s.resumePath.empty()) return "checkpoint";
    if (!s.loadPath.empty()) return "world file";
    if (!s.startConditions.mix.empty()) return "mix";
    if (s.rules.updateRule == UpdateRule::Ecology) return "empty";
    return "pools";
}

// Every file the run names, in the record's order; none that is not given.
std::vector<std::pair<std::string, std::string>> filesOf(const RunSettings& s) {
    std::vector<std::pair<std::string, std::string>> files;
    auto file = [&files](const std::string& name, const std::string& path) {
        if (!path.empty()) files.emplace_back(name, path);
    };
    file("log", s.logPath);
    file("stats", s.statsPath);
    file("save", s.savePath);
    file("checkpoint", s.checkpointPath);
    file("load", s.loadPath);
    file("resume", s.resumePath);
    file("graph", s.graph.path);
    file("save_graph", s.graph.savePath);
    for (const ExtraOutput& extra : s.extraOutputs) file(extra.option.substr(2), extra.path);
    return files;
}

}  // namespace

RunDescription describeRun(const RunSettings& s, const RunRecord& record) {
    RunDescription run;
    run.seed = s.seed;
    run.shape = s.effectiveShape();
    if (s.graph.network) run.network = s.graph.network->text;
    run.graphPath = s.graph.path;
    run.rules = s.rules;
    run.start = startOf(s);
    run.layout = s.colorLayout;
    run.options = s.optionValues;
    run.files = filesOf(s);
    if (s.measuresJson) run.measures = s.measuresJson(record);
    run.generationsAsked = s.generations;
    return run;
}

}  // namespace talvane
