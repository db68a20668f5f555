// Tuning steps and swaps against the stand-in simulator: the words it receives, the pauses
// of each control, clamps in both directions, the transponder's digit choice with its carries
// and borrows, the ADF's two words, the swap bytes, and a step whose exchange fails.
#include "app/app.h"
#include "rmu/rmu.h"
#include "simlink/simlink.h"
#include "tests/support/testsim.h"

#include <gtest/gtest.h>

#include <string.h>

#include <vector>

namespace {

typedef std::vector<unsigned> Pauses;
typedef std::vector<uint32_t> Words;

class RmuTune : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        install_allegro(SYSTEM_NONE, &errno, atexit);
    }
    void SetUp() override {
        testsleep_record();
        testsim_start();
        connect_to_sim();
        ASSERT_EQ(connected, 1);
    }
    void TearDown() override {
        FSUIPC_Close();
        testsim_stop();
        testsleep_real();
    }
    // One step of radio `edit` from a counter value; returns the counter afterwards.
    int step(int edit, int up, int counter, int control) {
        testsim_clear_writes();
        testsleep_clear();
        rmu_edit = edit;
        rmu_tune_step(up, &counter, control);
        return counter;
    }
    Words words(uint32_t offset) {
        Words out;
        for (auto &w : testsim_writes_to(offset))
            out.push_back(w.value());
        return out;
    }
};

TEST_F(RmuTune, ComAndNavScheduleAndClamps) {
    struct {
        int edit, up, counter, control;
        const char *from, *after;
        uint32_t offset, word;
        unsigned pause;
    } const cases[] = {
        {1, 0, 0, RMU_KEYBOARD, "118.000", "118.000", 0x311A, 0x1800, 200},
        {2, 1, 45, RMU_KEYBOARD, "136.950", "136.975", 0x311C, 0x3697, 300},
        {2, 1, 45, RMU_PANEL, "136.950", "136.975", 0x311C, 0x3697, 200},
        {1, 1, 0, RMU_KEYBOARD, "117.000", "117.025", 0x311A, 0x1702, 200},
        {1, 1, 0, RMU_KEYBOARD, "140.000", "136.975", 0x311A, 0x3697, 200},
        {1, 1, 19, RMU_KEYBOARD, "120.000", "120.025", 0x311A, 0x2002, 200},
        {1, 1, 20, RMU_KEYBOARD, "120.000", "120.100", 0x311A, 0x2010, 200},
        {1, 1, 40, RMU_KEYBOARD, "120.000", "121.000", 0x311A, 0x2100, 300},
        {1, 1, 19, RMU_PANEL, "120.000", "120.025", 0x311A, 0x2002, 50},
        {1, 1, 40, RMU_PANEL, "120.000", "121.000", 0x311A, 0x2100, 200},
        {1, 0, 40, RMU_KEYBOARD, "136.975", "135.975", 0x311A, 0x3597, 300},
        {3, 0, 0, RMU_KEYBOARD, "108.000", "108.000", 0x311E, 0x0800, 200},
        {4, 1, 50, RMU_PANEL, "117.900", "117.950", 0x3120, 0x1795, 50},
        {4, 1, 19, RMU_KEYBOARD, "110.000", "110.050", 0x3120, 0x1005, 200},
        {4, 1, 20, RMU_KEYBOARD, "110.000", "110.200", 0x3120, 0x1020, 200},
        {4, 1, 40, RMU_KEYBOARD, "110.000", "111.000", 0x3120, 0x1100, 300},
        {4, 1, 40, RMU_PANEL, "110.000", "110.200", 0x3120, 0x1020, 50},
    };
    char *texts[] = {com1_disp2, com2_disp2, nav1_disp2, nav2_disp2};
    for (auto &c : cases) {
        strcpy(texts[c.edit - 1], c.from);
        EXPECT_EQ(step(c.edit, c.up, c.counter, c.control), c.counter + 1);
        EXPECT_STREQ(texts[c.edit - 1], c.after) << c.from << " counter " << c.counter;
        EXPECT_EQ(words(c.offset), Words{c.word}) << c.from << " counter " << c.counter;
        EXPECT_EQ(testsleep_pauses(), Pauses{c.pause}) << c.from << " counter " << c.counter;
    }
    EXPECT_EQ(testsim_writes_to(0x3120)[0].data.size(), 2u);
}

TEST_F(RmuTune, TransponderDigitChoiceCarriesAndBorrows) {
    struct {
        const char *from;
        int up, counter;
        uint32_t word;
        unsigned kb_pause, panel_pause; // 0: no digit moved, no pause
    } const cases[] = {
        {"7777", 1, 0, 0x7777, 0, 0},      {"0000", 0, 0, 0x0000, 0, 0},
        {"0777", 1, 0, 0x1000, 100, 50},   {"1000", 0, 0, 0x0777, 100, 50},
        {"1200", 0, 20, 0x1170, 150, 100}, {"1234", 0, 20, 0x1233, 100, 50},
        {"6777", 1, 20, 0x7007, 150, 100}, {"1277", 1, 10, 0x1300, 100, 50},
        {"1277", 1, 41, 0x1377, 200, 100}, {"1270", 1, 41, 0x1271, 100, 50},
        {"1200", 0, 41, 0x1100, 200, 100}, {"1210", 0, 41, 0x1200, 150, 100},
        {"7776", 1, 0, 0x7777, 100, 50},   {"1000", 0, 50, 0x0700, 200, 100},
    };
    for (int control : {RMU_KEYBOARD, RMU_PANEL}) {
        for (auto &c : cases) {
            strcpy(xpndr_disp, c.from);
            EXPECT_EQ(step(5, c.up, c.counter, control), c.counter + 1);
            EXPECT_EQ(words(0x0354), Words{c.word})
                << c.from << (c.up ? " up" : " down") << " counter " << c.counter;
            unsigned pause = control == RMU_PANEL ? c.panel_pause : c.kb_pause;
            EXPECT_EQ(testsleep_pauses(), pause ? Pauses{pause} : Pauses{}) << c.from;
            EXPECT_STREQ(xpndr_disp, c.from); // the next read shows the new code
        }
    }
    rmu_fsuipc_read();
    EXPECT_STREQ(xpndr_disp, "0700");
}

TEST_F(RmuTune, AdfStepsWriteBothWords) {
    struct {
        const char *from;
        int up, counter, control;
        uint32_t main_word, ext_word;
        unsigned pause;
    } const cases[] = {
        {"0100.0", 0, 0, RMU_KEYBOARD, 0x0100, 0x0000, 150},
        {"1799.9", 1, 0, RMU_KEYBOARD, 0x0799, 0x0109, 150},
        {"0150.0", 0, 100, RMU_KEYBOARD, 0x0100, 0x0000, 300},
        {"0500.0", 1, 29, RMU_KEYBOARD, 0x0500, 0x0001, 150},
        {"0500.0", 1, 30, RMU_KEYBOARD, 0x0501, 0x0000, 150},
        {"0500.0", 1, 60, RMU_KEYBOARD, 0x0510, 0x0000, 200},
        {"0500.0", 1, 29, RMU_PANEL, 0x0500, 0x0001, 50},
        {"0500.0", 1, 60, RMU_PANEL, 0x0510, 0x0000, 100},
        {"0500.0", 1, 100, RMU_PANEL, 0x0600, 0x0000, 200},
        {"0234.5", 1, 100, RMU_KEYBOARD, 0x0334, 0x0005, 300},
    };
    for (auto &c : cases) {
        strcpy(adf_disp, c.from);
        step(6, c.up, c.counter, c.control);
        EXPECT_EQ(words(0x034C), Words{c.main_word}) << c.from << " counter " << c.counter;
        EXPECT_EQ(words(0x0356), Words{c.ext_word}) << c.from << " counter " << c.counter;
        EXPECT_EQ(testsleep_pauses(), Pauses{c.pause}) << c.from << " counter " << c.counter;
    }
    // The main word goes first, then the extension.
    std::vector<testsim_write> all = testsim_writes();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].offset, 0x034Cu);
    EXPECT_EQ(all[1].offset, 0x0356u);
    strcpy(adf_disp, "0999.9");
    step(6, 1, 0, RMU_KEYBOARD);
    rmu_fsuipc_read();
    EXPECT_STREQ(adf_disp, "1000.0");
}

TEST_F(RmuTune, SwapsAndNoRadio) {
    EXPECT_EQ(step(7, 1, 3, RMU_KEYBOARD), 3);
    EXPECT_EQ(step(0, 0, 3, RMU_PANEL), 3);
    for (int edit = 1; edit <= 6; edit++) {
        for (int control : {RMU_KEYBOARD, RMU_PANEL}) {
            rmu_edit = edit;
            rmu_swap(control);
        }
    }
    const uint8_t bytes[] = {0x08, 0x08, 0x04, 0x04, 0x02, 0x02, 0x01, 0x01};
    std::vector<testsim_write> all = testsim_writes();
    ASSERT_EQ(all.size(), 8u);
    for (int i = 0; i < 8; i++) {
        EXPECT_EQ(all[i].offset, 0x3123u);
        EXPECT_EQ(all[i].data, std::vector<uint8_t>{bytes[i]});
    }
    EXPECT_EQ(testsleep_pauses(), (Pauses{100, 200, 100, 200, 100, 200, 100, 200}));
}

TEST_F(RmuTune, FailedExchangeStillRewritesTheTextAndCounts) {
    strcpy(com1_disp2, "118.000");
    testsim_set(0x311A, 2, 0x1800);
    testsim_fail_next(1);
    EXPECT_EQ(step(1, 1, 0, RMU_KEYBOARD), 1);
    EXPECT_STREQ(com1_disp2, "118.025");
    EXPECT_EQ(connected, 1); // reconnected
    EXPECT_EQ(testsim_get(0x311A, 2), 0x1800u);
    // The ADF step makes its second write even when the first one failed.
    strcpy(adf_disp, "0350.0");
    testsim_set(0x0356, 2, 0x0009);
    testsim_fail_next(1);
    EXPECT_EQ(step(6, 1, 0, RMU_KEYBOARD), 1);
    EXPECT_EQ(testsim_get(0x0356, 2), 0x0001u);
}

} // namespace
