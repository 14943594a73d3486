#include "ecology_options.h"

#include "options.h"
#include "run.h"

namespace talvane {

namespace {

bool given(const CLI::Option* option) { return option != nullptr && option->count() > 0; }

// A decimal from low to high, for the messages "--ptr: ..." and the like.
bool realIn(const std::string& text, const char* name, double low, double high, double& value, std::string& error) {
    std::string unused;
    if (parseReal(text, value, unused) && value >= low && value <= high) return true;
    error = std::string(name) + ": \"" + text + "\" is not a number " +
            (high <= 1.0 ? "from 0 to 1" : "of 0 or more") + " (such as " + (high <= 1.0 ? "0.1" : "0.01") + ")";
    return false;
}

}  // namespace

void defineEcologyOptions(CLI::App& app, EcologyLine& line) {
    const char* group = "Ecology (--update ecology)";
    line.options = {
        app.add_option("--colors", line.colors,
                       "Colours (tags) 1 to 8 of immigrants; under imitation with --layout random, the colours "
                       "the layout draws from")
            ->capture_default_str()
            ->group(group),
        app.add_option("--immigrants", line.immigrants, "Agents entering empty cells each period")
            ->capture_default_str()
            ->group(group),
        app.add_option("--ptr", line.ptr, "Potential to reproduce of every agent before it meets anyone, 0 to 1")
            ->capture_default_str()
            ->group(group),
        app.add_option("--cost", line.cost, "What helping takes from the helper's PTR, >= 0")
            ->capture_default_str()
            ->group(group),
        app.add_option("--benefit", line.benefit, "What being helped adds to the PTR, >= 0")
            ->capture_default_str()
            ->group(group),
        app.add_option("--death", line.death, "Each agent's chance of dying each period, 0 to 1")
            ->capture_default_str()
            ->group(group),
    };
    line.mutationOption = app.get_option("--mutation");
    line.mutationOption->description(line.mutationOption->get_description() +
                                     "; under --update ecology, a child's chance per trait (colour, self, others) "
                                     "of another value (default there 0.005)");
    line.layoutOption = app.get_option("--layout");
    for (const char* name : {"--mix", "--center", "--place"}) line.imitationOnly.push_back(app.get_option(name));
    line.poolOptions = {app.get_option("--self-pool"), app.get_option("--other-pool")};
}

bool ecologySettings(const CommandLine& line, RunSettings& run, std::string& error) {
    const EcologyLine& eco = line.ecology;
    std::int64_t colors = 0;
    if (!parseDecimal(eco.colors, 1, kMaxEcologyColors, colors, error)) {
        error = "--colors: " + error;
        return false;
    }
    if (run.rules.updateRule != UpdateRule::Ecology) {
        for (std::size_t k = 1; k < eco.options.size(); ++k) {
            if (given(eco.options[k])) {
                error = eco.options[k]->get_name() + ": only with --update ecology";
                return false;
            }
        }
        if (given(eco.options[0])) {
            if (line.layout != "random") {
                error = "--colors: under an imitation rule only with --layout random (the layout it draws)";
                return false;
            }
            run.rules.imitationColors = static_cast<int>(colors);
        }
        return true;
    }
    // The game's options (--payoffs, --competition, --noise, ...) and --layout
    // have no effect under ecology, as --noise has none under the synchronous
    // rule; options that would seed agents have no place in its start.
    for (const CLI::Option* option : eco.imitationOnly) {
        if (given(option)) {
            error = option->get_name() + ": not used by --update ecology (it starts from an empty world or --load)";
            return false;
        }
    }
    // Immigrants draw AllC or AllD for each side: a pool given must be those two.
    const std::string* poolTexts[2] = {&line.selfPool, &line.otherPool};
    for (int k = 0; k < 2; ++k) {
        std::array<bool, 8> excluded{};
        std::string unused;
        if (!given(eco.poolOptions[k])) continue;
        const bool parsed = parseStrategyList(*poolTexts[k], excluded, unused);
        bool onlyBoth = parsed && !excluded[kHelpCode] && !excluded[kRefuseCode];
        for (int code = 1; code < kHelpCode; ++code) onlyBoth = onlyBoth && excluded[code];
        if (!onlyBoth) {
            error = eco.poolOptions[k]->get_name() + ": under --update ecology the pool is 0,7 (AllD and AllC), "
                                                     "not \"" + *poolTexts[k] + "\"";
            return false;
        }
    }
    EcologyRules& rules = run.rules.ecology;
    rules.colors = static_cast<int>(colors);
    std::int64_t immigrants = 0;
    if (!parseDecimal(eco.immigrants, 0, 1 << 24, immigrants, error)) {
        error = "--immigrants: " + error;
        return false;
    }
    rules.immigrants = static_cast<int>(immigrants);
    constexpr double kUnbounded = 1e300;
    if (!realIn(eco.ptr, "--ptr", 0.0, 1.0, rules.ptr, error) ||
        !realIn(eco.cost, "--cost", 0.0, kUnbounded, rules.cost, error) ||
        !realIn(eco.benefit, "--benefit", 0.0, kUnbounded, rules.benefit, error) ||
        !realIn(eco.death, "--death", 0.0, 1.0, rules.death, error)) {
        return false;
    }
    // --mutation was checked (0 to 1) as the imitation rate; under ecology it
    // is the child's, and the imitation rate stays 0.
    rules.mutation = given(eco.mutationOption) ? run.rules.mutation : kDefaultEcologyMutation;
    run.rules.mutation = 0.0;
    return true;
}

void ecologyOptionValues(std::vector<std::pair<std::string, std::string>>& values, const CommandLine& line,
                         const RunSettings& run) {
    const bool ecology = run.rules.updateRule == UpdateRule::Ecology;
    std::vector<std::pair<std::string, std::string>> kept;
    for (auto& [name, value] : values) {
        bool drop = false;
        for (const CLI::Option* option : line.ecology.options) {
            drop = drop || (option->get_name() == name && !ecology && !given(option));
        }
        if (drop) continue;
        if (ecology && name == "--mutation" && !given(line.ecology.mutationOption)) value = "0.005";
        kept.emplace_back(name, value);
    }
    values = std::move(kept);
}

bool worldFitsRule(const WorldFile& world, const RunSettings& run, std::string& error) {
    const bool ecology = run.rules.updateRule == UpdateRule::Ecology;
    const int cells = world.rows * world.cols;
    for (int i = 0; i < cells; ++i) {
        const std::string where = "row " + std::to_string(i / world.cols) + ", col " + std::to_string(i % world.cols);
        if (world.color[i] == kWorldEmptyCode) {
            if (ecology) continue;
            error = where + " is empty: empty cells need --update ecology";
            return false;
        }
        if (!ecology) continue;
        const auto side = [](std::int32_t code) { return code == kHelpCode || code == kRefuseCode; };
        if (!side(world.self[i]) || !side(world.other[i])) {
            error = where + " holds the pair " + std::to_string(world.self[i]) + "/" + std::to_string(world.other[i]) +
                    ": ecology agents hold 0 (AllD) or 7 (AllC) for each side";
            return false;
        }
        if (world.color[i] >= run.rules.ecology.colors) {
            error = where + " has colour " + std::to_string(world.color[i]) + ": --colors " +
                    std::to_string(run.rules.ecology.colors) + " admits 0 to " + std::to_string(run.rules.ecology.colors - 1);
            return false;
        }
    }
    return true;
}

}  // namespace talvane
