#include "shared_options.h"

#include <charconv>
#include <cmath>
#include <optional>

namespace talvane {

namespace {

bool given(const CLI::Option* option) { return option != nullptr && option->count() > 0; }

// --payoffs: four integers keep the exact integer path; decimals are taken as reals.
bool payoffs(const RuleLine& line, Rules& rules, std::string& error) {
    rules.realPayoffs.reset();
    std::string integerError;
    if (parsePayoffs(line.payoffs, rules.payoffs, integerError)) return true;
    std::array<double, 4> real{};
    if (!parseRealPayoffs(line.payoffs, real, error)) {
        error = "--payoffs: " + error;
        return false;
    }
    rules.realPayoffs = real;
    return true;
}

// --update and --schedule together. The old spellings keep their meaning:
// synchronous is best on the synchronous schedule, asynchronous best on the
// random-sequential one, fermi (with no schedule) Fermi random-sequential.
bool updateRule(const RuleLine& line, Rules& rules, std::string& error) {
    if (line.update == "ecology") {
        if (given(line.scheduleOption)) {
            error = "--schedule: the ecology rule has its own order of events; give it without --schedule";
            return false;
        }
        rules.updateRule = UpdateRule::Ecology;
        return true;
    }
    ImitationRule rule = ImitationRule::Best;
    std::optional<Schedule> implied;
    if (line.update == "synchronous") {
        implied = Schedule::Synchronous;
    } else if (line.update == "asynchronous") {
        implied = Schedule::RandomSequential;
    } else if (!parseImitation(line.update, rule)) {
        error = "--update: \"" + line.update +
                "\" is not best, fermi, proportional, death-birth, birth-death or ecology (or synchronous, asynchronous)";
        return false;
    }
    Schedule schedule = implied.value_or(defaultSchedule(rule));
    if (given(line.scheduleOption)) {
        Schedule chosen = Schedule::Synchronous;
        if (!parseSchedule(line.schedule, chosen)) {
            error = "--schedule: \"" + line.schedule + "\" is not synchronous or random-sequential";
            return false;
        }
        if (implied && chosen != *implied) {
            error = "--schedule " + line.schedule + ": --update " + line.update + " is the best rule on the " +
                    scheduleName(*implied) + " schedule; give --update best --schedule " + line.schedule;
            return false;
        }
        schedule = chosen;
    }
    if (!combineRule(rule, schedule, rules.updateRule)) {
        error = "--schedule " + line.schedule + ": --update " + line.update + " is random-sequential by nature";
        return false;
    }
    return true;
}

bool variants(const RuleLine& line, Rules& rules, std::string& error) {
    if (!updateRule(line, rules, error)) return false;
    if (!parseReal(line.selection, rules.selection, error) || !(rules.selection > 0.0)) {
        error = "--selection: \"" + line.selection + "\" is not a number above 0 (such as 1 or 0.01)";
        return false;
    }
    std::int64_t rounds = 0;
    if (!parseDecimal(line.rounds, 1, kMaxRounds, rounds, error)) {
        error = "--rounds: " + error;
        return false;
    }
    if (given(line.roundsOption) && line.competition == "infinite") {
        error = "--rounds: the infinite competition has no match length; give --rounds only with --competition finite";
        return false;
    }
    rules.rounds = static_cast<std::int32_t>(rounds);
    if (!parseReal(line.noise, rules.noise, error) || rules.noise <= 0.0) {
        error = "--noise: \"" + line.noise + "\" is not a number above 0 (such as 0.1)";
        return false;
    }
    if (!parseReal(line.mutation, rules.mutation, error) || rules.mutation < 0.0 || rules.mutation > 1.0) {
        error = "--mutation: \"" + line.mutation + "\" is not a number from 0 to 1 (such as 0.001)";
        return false;
    }
    return true;
}

}  // namespace

ModelOptionHandles defineModelOptions(CLI::App& app, const ModelOptionFields& fields) {
    ModelOptionHandles handles;
    handles.seed = app.add_option("--seed", *fields.seed,
                                  "Seed of the random generator (seeding and imitation draws), 0 to 4294967295; "
                                  "default: the clock");
    app.add_option("--layout", *fields.layout, "Colour layout of seeding")
        ->capture_default_str()
        ->check(CLI::IsMember({"random", "checkerboard", "segregated"}));
    fields.rules->payoffsOption = app.add_option("--payoffs", fields.rules->payoffs, "The four payoffs R,S,T,P (any 32-bit integers)")
        ->capture_default_str();
    app.add_option("--competition", fields.rules->competition, "200-round matches or long-run averages")
        ->capture_default_str()
        ->check(CLI::IsMember({"finite", "infinite"}));
    app.add_flag("--play-self", fields.rules->playSelf, "Every cell also plays itself (default: off)");
    app.add_flag("--extra-point", fields.rules->extraPoint, "Extra point for same color (default: off)");
    handles.load = app.add_option("--load", *fields.load, "Start from this world file instead of seeding");
    handles.log = app.add_option("--log", *fields.log,
                                 "Population log, one line per generation; \"-\" for standard output")
                      ->capture_default_str();
    return handles;
}

bool parseRules(const RuleLine& line, Rules& out, std::string& error) {
    Rules rules = out;
    // The option parser admits only the names, so this parse succeeds.
    parseCompetition(line.competition, rules.competition);
    rules.playSelf = line.playSelf;
    rules.extraPoint = line.extraPoint;
    if (!payoffs(line, rules, error) || !variants(line, rules, error)) return false;
    out = rules;
    return true;
}

bool parseDecimal(const std::string& text, std::int64_t low, std::int64_t high, std::int64_t& value,
                  std::string& error) {
    const bool negative = !text.empty() && text[0] == '-';
    const std::size_t digitsStart = negative ? 1 : 0;
    bool digitsOnly = text.size() > digitsStart;
    for (std::size_t i = digitsStart; i < text.size(); ++i) digitsOnly = digitsOnly && text[i] >= '0' && text[i] <= '9';
    const std::string range = std::to_string(low) + " to " + std::to_string(high);
    if (!digitsOnly) {
        error = "\"" + text + "\" is not an integer (give a decimal number " + range + ")";
        return false;
    }
    std::int64_t read = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), read, 10);
    if (ec != std::errc() || end != text.data() + text.size() || read < low || read > high) {
        error = text + " is not in the range " + range;
        return false;
    }
    value = read;
    return true;
}

bool parsePayoffs(const std::string& text, std::array<std::int32_t, 4>& payoffs, std::string& error) {
    const char* at = text.data();
    const char* end = text.data() + text.size();
    for (std::size_t i = 0; i < payoffs.size(); ++i) {
        auto [next, ec] = std::from_chars(at, end, payoffs[i]);
        const bool separatorOk = i + 1 < payoffs.size() ? (next != end && *next == ',') : next == end;
        if (ec != std::errc() || !separatorOk) {
            error = "\"" + text + "\" is not four 32-bit integers R,S,T,P (such as 3,0,5,1)";
            return false;
        }
        at = next + 1;
    }
    return true;
}

bool parseReal(const std::string& text, double& value, std::string& error) {
    double read = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), read);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || !std::isfinite(read)) {
        error = "\"" + text + "\" is not a decimal number";
        return false;
    }
    value = read;
    return true;
}

bool parseRealPayoffs(const std::string& text, std::array<double, 4>& payoffs, std::string& error) {
    constexpr double kLimit = 2147483648.0;  // the 32-bit integers' range, as for whole-number payoffs
    std::size_t start = 0;
    for (std::size_t i = 0; i < payoffs.size(); ++i) {
        const std::size_t comma = text.find(',', start);
        const bool last = i + 1 == payoffs.size();
        const bool separatorOk = last ? comma == std::string::npos : comma != std::string::npos;
        const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        std::string itemError;
        if (!separatorOk || !parseReal(item, payoffs[i], itemError) || payoffs[i] < -kLimit ||
            payoffs[i] >= kLimit) {
            error = "\"" + text + "\" is not four numbers R,S,T,P (such as 3,0,5,1 or 1,0,1.9,0), "
                    "each from -2147483648 to 2147483647";
            return false;
        }
        start = comma + 1;
    }
    return true;
}

}  // namespace talvane
