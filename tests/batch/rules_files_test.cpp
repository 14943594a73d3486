// The rules as the run record and the checkpoint hold them: each file gives
// back the rules it was written from, the two files of one run agree, and
// the options of every program make the rules the same way.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "batch_process.h"
#include "checkpoint.h"
#include "metadata.h"
#include "options.h"
#include "run_description.h"
#include "shared_options.h"

namespace talvane {
namespace {

using testing::Sandbox;

// Rules of every kind a run can have, each with the fields its files record.
std::vector<Rules> rulesOfEveryKind() {
    std::vector<Rules> all(8);
    all[1].competition = CompetitionMode::Infinite;
    all[1].playSelf = true;
    all[2].realPayoffs = std::array<double, 4>{1, 0, 1.9, 0.25};
    all[2].extraPoint = true;
    all[2].rounds = 7;
    all[3].updateRule = UpdateRule::DeathBirth;
    all[3].selection = 0.05;
    all[3].mutation = 0.01;
    all[3].selfExcluded = {false, true, true, true, true, true, false, false};
    all[4].updateRule = UpdateRule::ProportionalSequential;
    all[4].payoffs = {-4, 2147483647, -2147483647 - 1, 9};
    all[5].updateRule = UpdateRule::Fermi;
    all[5].noise = 0.3;
    all[5].imitationColors = 3;
    all[6].updateRule = UpdateRule::Ecology;
    all[6].ecology = EcologyRules{5, 2, 0.2, 0.02, 0.05, 0.15, 0.001};
    all[7].updateRule = UpdateRule::FermiSynchronous;
    all[7].mutation = 0.5;
    all[7].otherExcluded = {true, false, false, false, false, false, false, true};
    return all;
}

Checkpoint checkpointWith(const Rules& rules) {
    Checkpoint c;
    c.shape = WorldShape{3, 4};
    c.rules = rules;
    c.color.assign(12, 0);
    c.self.assign(12, 7);
    c.other.assign(12, 0);
    return c;
}

TEST(RuleFiles, ACheckpointGivesBackTheRulesItWasWrittenFrom) {
    Sandbox box;
    int k = 0;
    for (const Rules& rules : rulesOfEveryKind()) {
        const std::string name = "rules-" + std::to_string(k++) + ".ckpt";
        box.write(name, formatCheckpoint(checkpointWith(rules)));
        Checkpoint read;
        std::string error;
        ASSERT_TRUE(readCheckpoint(box.path(name), read, error)) << error;
        EXPECT_EQ(read.rules, rules) << name << "\n" << formatCheckpointRules(rules);
    }
}

TEST(RuleFiles, TheRulesOfTheOldRunsWriteOnlyTheLinesTheyAlwaysHad) {
    EXPECT_EQ(formatCheckpointRules(defaultRules()),
              "competition finite\npayoffs 3 0 5 1\nplay-self 0\nextra-point 0\nreal-payoffs none\n"
              "update synchronous\nnoise 0.10000000000000001\nmutation 0\n");
    Rules pools;
    pools.selfExcluded[3] = true;  // no mutation: the pools do not rule the generations
    EXPECT_EQ(formatCheckpointRules(pools), formatCheckpointRules(defaultRules()));
}

TEST(RuleFiles, ACheckpointWithABadRuleLineNamesIt) {
    Sandbox box;
    Checkpoint c = checkpointWith(rulesOfEveryKind()[3]);
    std::string text = formatCheckpoint(c);
    // Damage the selection line and mend the checksum, so that the line itself is refused.
    text.replace(text.find("selection 0.05"), 14, "selection -1.0");
    text.erase(text.rfind("checksum "));
    char sum[24];
    std::snprintf(sum, sizeof sum, "%016llx", static_cast<unsigned long long>(fnv1a(kFnvBasis, text.data(), text.size())));
    box.write("bad.ckpt", text + "checksum " + sum + "\n");
    Checkpoint read;
    std::string error;
    EXPECT_FALSE(readCheckpoint(box.path("bad.ckpt"), read, error));
    EXPECT_NE(error.find(":16: bad selection line"), std::string::npos) << error;
}

TEST(RuleFiles, ARunRecordGivesBackTheRulesItWasWrittenFrom) {
    for (const Rules& rules : rulesOfEveryKind()) {
        RunDescription run;
        run.rules = rules;
        const std::string record = formatMetadata(run, RunRecord{});
        Rules read;
        std::string error;
        ASSERT_TRUE(readRecordRules(record, read, error)) << error << "\n" << record;
        EXPECT_EQ(formatCheckpointRules(read), formatCheckpointRules(rules)) << record;
        EXPECT_EQ(read, rules) << record;
    }
}

TEST(RuleFiles, WholeDecimalPayoffsComeBackWholeWithTheSameTable) {
    RunDescription run;
    run.rules.realPayoffs = std::array<double, 4>{4, 0, 6, 1};
    Rules read;
    std::string error;
    ASSERT_TRUE(readRecordRules(formatMetadata(run, RunRecord{}), read, error)) << error;
    EXPECT_FALSE(read.realPayoffs.has_value());
    EXPECT_EQ((read.payoffs), (std::array<std::int32_t, 4>{4, 0, 6, 1}));
    EXPECT_EQ(payoffTableOf(read), payoffTableOf(run.rules));
}

TEST(RuleFiles, ARecordWithoutItsRulesIsRefused) {
    const std::string record = formatMetadata(RunDescription{}, RunRecord{});
    for (const char* field : {"\"payoffs\"", "\"update\"", "\"competition\"", "\"self_pool\""}) {
        std::string cut = record;
        const std::size_t at = cut.find(std::string("  ") + field);
        ASSERT_NE(at, std::string::npos) << field;
        cut.erase(at, cut.find('\n', at) - at + 1);
        Rules read;
        std::string error;
        EXPECT_FALSE(readRecordRules(cut, read, error)) << field;
        EXPECT_FALSE(error.empty());
    }
}

TEST(RuleFiles, TheRecordAndTheCheckpointOfOneRunHoldTheSameRules) {
    Sandbox box;
    const std::vector<std::vector<std::string>> runs = {
        {"--update", "death-birth", "--selection", "0.5", "--mutation", "0.02", "--self-pool", "0,6,7",
         "--rounds", "50", "--payoffs", "1,0,1.9,0", "--play-self", "--extra-point"},
        {"--update", "ecology", "--size", "20", "--immigrants", "3", "--death", "0.2"},
        {"--competition", "infinite", "--layout", "random", "--colors", "3", "--update", "fermi", "--noise", "0.7"},
    };
    for (std::vector<std::string> args : runs) {
        for (const char* more : {"--generations", "5", "--seed", "3", "--log", "r.csv", "--checkpoint", "r.ckpt"}) {
            args.push_back(more);
        }
        const testing::Outcome outcome = box.run(args);
        ASSERT_EQ(outcome.status, 0) << outcome.err;
        Checkpoint checkpoint;
        Rules fromRecord;
        std::string error;
        ASSERT_TRUE(readCheckpoint(box.path("r.ckpt"), checkpoint, error)) << error;
        ASSERT_TRUE(readRecordRules(box.read("r.json"), fromRecord, error)) << error;
        // Beside decimal payoffs the checkpoint keeps whatever whole payoffs
        // the option's text left (they rule nothing); the record names none.
        if (checkpoint.rules.realPayoffs) fromRecord.payoffs = checkpoint.rules.payoffs;
        EXPECT_EQ(formatCheckpointRules(fromRecord), formatCheckpointRules(checkpoint.rules));
        EXPECT_EQ(fromRecord, checkpoint.rules) << box.read("r.json");
    }
}

// The rules the options make, as talvane-batch declares them.
bool rulesOf(std::vector<std::string> args, Rules& rules, std::string& error) {
    CLI::App app;
    CommandLine line;
    defineOptions(app, line);
    args.insert(args.begin(), "talvane-batch");
    std::vector<const char*> argv;
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    app.parse(static_cast<int>(argv.size()), argv.data());
    return parseRules(line.rules, rules, error);
}

TEST(RuleOptions, TheOptionsMakeOneRulesValue) {
    Rules rules;
    std::string error;
    ASSERT_TRUE(rulesOf({"--payoffs", "1,0,1.9,0", "--competition", "finite", "--update", "proportional",
                         "--schedule", "random-sequential", "--rounds", "9", "--noise", "2", "--mutation", "0.1",
                         "--extra-point"},
                        rules, error))
        << error;
    ASSERT_TRUE(rules.realPayoffs.has_value());
    EXPECT_EQ(*rules.realPayoffs, (std::array<double, 4>{1, 0, 1.9, 0}));
    EXPECT_EQ(rules.updateRule, UpdateRule::ProportionalSequential);
    EXPECT_EQ(rules.rounds, 9);
    EXPECT_EQ(rules.noise, 2.0);
    EXPECT_EQ(rules.mutation, 0.1);
    EXPECT_TRUE(rules.extraPoint);
    EXPECT_FALSE(rules.playSelf);
    ASSERT_TRUE(rulesOf({"--update", "asynchronous"}, rules, error)) << error;
    EXPECT_EQ(rules.updateRule, UpdateRule::Asynchronous);
    EXPECT_FALSE(rules.realPayoffs.has_value());
}

TEST(RuleOptions, RulesThatDoNotGoTogetherAreRefusedAndLeaveTheRulesAlone) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{"--update", "asynchronous", "--schedule", "synchronous"}, "--schedule synchronous: --update asynchronous"},
        {{"--update", "death-birth", "--schedule", "synchronous"}, "random-sequential by nature"},
        {{"--update", "ecology", "--schedule", "synchronous"}, "--schedule: the ecology rule"},
        {{"--competition", "infinite", "--rounds", "3"}, "--rounds: the infinite competition"},
        {{"--noise", "0"}, "--noise: \"0\""},
        {{"--mutation", "1.5"}, "--mutation: \"1.5\""},
        {{"--payoffs", "1,2,3"}, "--payoffs: \"1,2,3\""},
        {{"--update", "moran"}, "--update: \"moran\""},
    };
    for (const auto& [args, message] : refused) {
        Rules rules;
        rules.selfExcluded[1] = true;
        const Rules before = rules;
        std::string error;
        EXPECT_FALSE(rulesOf(args, rules, error)) << args[0];
        EXPECT_NE(error.find(message), std::string::npos) << error;
        EXPECT_EQ(rules, before);
    }
}

TEST(RuleOptions, ParsingKeepsWhatTheOptionsDoNotName) {
    Rules rules;
    rules.selfExcluded = {true, false, true, false, true, false, true, false};
    rules.ecology.death = 0.3;
    rules.imitationColors = 4;
    std::string error;
    ASSERT_TRUE(rulesOf({"--play-self"}, rules, error)) << error;
    EXPECT_TRUE(rules.playSelf);
    EXPECT_EQ(rules.selfExcluded, (std::array<bool, 8>{true, false, true, false, true, false, true, false}));
    EXPECT_EQ(rules.ecology.death, 0.3);
    EXPECT_EQ(rules.imitationColors, 4);
}

}  // namespace
}  // namespace talvane
