// The Payoffs dialog's input check and what OK and Cancel do; the About box.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "dialogs.h"
#include "fake_window_system.h"
#include "payoffs.h"
#include "sim_state.h"

namespace talvane {
namespace {

using testing::FakeWindowSystem;

TEST(PayoffField, AcceptsOneSignedWholeNumber) {
    struct Good { const char* text; std::int32_t value; };
    const Good goods[] = {
        {"3", 3}, {"0", 0}, {"-7", -7}, {"+12", 12}, {" 42\t", 42}, {"\t -5  ", -5},
        {"007", 7}, {"2147483647", 2147483647}, {"-2147483648", INT32_MIN},
    };
    for (const Good& g : goods) {
        std::int32_t value = 99;
        EXPECT_TRUE(parsePayoffField(g.text, value)) << '"' << g.text << '"';
        EXPECT_EQ(value, g.value) << '"' << g.text << '"';
    }
}

TEST(PayoffField, RefusesEverythingElseWithoutTouchingTheValue) {
    const char* bads[] = {
        "", "   ", "\t", "-", "+", "abc", "12abc", "1 2", "1.5", "0x10", "--3", "+-3", "3-",
        "2147483648", "-2147483649", "99999999999999999999", "4294967296",
    };
    for (const char* text : bads) {
        std::int32_t value = 99;
        EXPECT_FALSE(parsePayoffField(text, value)) << '"' << text << '"';
        EXPECT_EQ(value, 99) << '"' << text << '"';
    }
    std::int32_t value = 0;
    EXPECT_FALSE(parsePayoffField(nullptr, value));
}

class EditPayoffsTest : public ::testing::Test {
protected:
    void SetUp() override { testing::installFake(ui); }
    void TearDown() override { setWindowSystem(nullptr); resetSimState(); }
    FakeWindowSystem ui;
};

TEST_F(EditPayoffsTest, OpensOnTheCurrentPayoffsAndCancelChangesNothing) {
    sim.paused = false;
    const auto table = sim.world.payoffTable;
    ui.dialogAccepts = false;
    ui.dialogResult = {9, 9, 9, 9};
    editPayoffs();
    ASSERT_EQ(ui.dialogsShown.size(), 1u);
    EXPECT_EQ(ui.dialogsShown[0], (PayoffFields{3, 0, 5, 1}));
    EXPECT_TRUE(sim.paused);
    EXPECT_EQ(sim.payoffCC, 3);
    EXPECT_EQ(sim.payoffDD, 1);
    EXPECT_EQ(sim.world.payoffTable, table);
}

TEST_F(EditPayoffsTest, OkRebuildsTheTableAndRenamesTheGame) {
    ui.dialogAccepts = true;
    ui.dialogResult = {4, 0, 5, 1};
    editPayoffs();
    EXPECT_EQ(sim.payoffCC, 4);
    EXPECT_DOUBLE_EQ(sim.world.payoffTable[6][6], 800.0);  // TFT against TFT: 200 rounds of CC
    EXPECT_TRUE(sim.paused);

    ui.dialogResult = {5, 0, 3, 1};  // R 5, S 0, T 3, P 1
    editPayoffs();
    EXPECT_STREQ(classifyGame(sim.payoffCC, sim.payoffCD, sim.payoffDC, sim.payoffDD), "Stag Hunt");

    ui.dialogResult = {-2, -3, 1, -1};  // negative payoffs are kept as typed
    editPayoffs();
    EXPECT_EQ(sim.payoffCC, -2);
    EXPECT_EQ(sim.payoffCD, -3);
    EXPECT_DOUBLE_EQ(sim.world.payoffTable[7][7], -400.0);
}

TEST_F(EditPayoffsTest, AboutBoxCaptionAndSixLines) {
    showAbout();
    ASSERT_EQ(ui.infoCaptions.size(), 1u);
    EXPECT_EQ(ui.infoCaptions[0], "About Talvane (RUNO64)");
    const std::string text = kAboutText;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5);
    EXPECT_NE(text.find("\n\nVEMO Project\nJan 14 2004 Build"), std::string::npos);
    EXPECT_NE(text.back(), '\n');
}

}  // namespace
}  // namespace talvane
