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
        testsim_clear_writes();
        testsleep_clear();
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

    // The words written to one offset since the last step.
    std::vector<uint32_t> words(uint32_t offset) {
        std::vector<uint32_t> out;
        for (auto &w : testsim_writes_to(offset))
            out.push_back(w.value());
        return out;
    }
};

TEST_F(RmuTune, ComStepUpRewritesTheTextAndSendsBcd) {
    strcpy(com1_disp2, "118.000");
    EXPECT_EQ(step(1, 1, 0, RMU_KEYBOARD), 1);
    EXPECT_STREQ(com1_disp2, "118.025");
    EXPECT_EQ(words(0x311A), std::vector<uint32_t>{0x1802});
    EXPECT_EQ(testsim_writes_to(0x311A)[0].data.size(), 2u);
    EXPECT_EQ(testsleep_pauses(), Pauses{200});
    // The simulator keeps 0x1802 and the read restores the 25 kHz digit.
    rmu_fsuipc_read();
    EXPECT_STREQ(com1_disp2, "118.025");
}

TEST_F(RmuTune, ComClampsInTheDirectionOfTravel) {
    strcpy(com1_disp2, "118.000");
    step(1, 0, 0, RMU_KEYBOARD);
    EXPECT_STREQ(com1_disp2, "118.000");
    EXPECT_EQ(words(0x311A), std::vector<uint32_t>{0x1800});

    strcpy(com2_disp2, "136.950");
    EXPECT_EQ(step(2, 1, 45, RMU_KEYBOARD), 46);
    EXPECT_STREQ(com2_disp2, "136.975");
    EXPECT_EQ(words(0x311C), std::vector<uint32_t>{0x3697});
    EXPECT_EQ(testsleep_pauses(), Pauses{300});

    step(2, 1, 45, RMU_PANEL);
    EXPECT_EQ(words(0x311C), std::vector<uint32_t>{0x3697});
    EXPECT_EQ(testsleep_pauses(), Pauses{200});

    // A value outside the band only moves toward it: up from below the band is not raised.
    strcpy(com1_disp2, "117.000");
    step(1, 1, 0, RMU_KEYBOARD);
    EXPECT_STREQ(com1_disp2, "117.025");
    strcpy(com1_disp2, "140.000");
    step(1, 0, 0, RMU_KEYBOARD);
    EXPECT_STREQ(com1_disp2, "139.975");
    step(1, 1, 0, RMU_KEYBOARD);
    EXPECT_STREQ(com1_disp2, "136.975");
}

TEST_F(RmuTune, ComScheduleByCounterAndControl) {
    struct {
        int counter, control;
        const char *after;
        unsigned pause;
    } const cases[] = {
        {19, RMU_KEYBOARD, "120.025", 200}, {20, RMU_KEYBOARD, "120.100", 200},
        {39, RMU_KEYBOARD, "120.100", 200}, {40, RMU_KEYBOARD, "121.000", 300},
        {19, RMU_PANEL, "120.025", 50},     {20, RMU_PANEL, "120.100", 50},
        {40, RMU_PANEL, "121.000", 200},
    };
    for (auto &c : cases) {
        strcpy(com1_disp2, "120.000");
        step(1, 1, c.counter, c.control);
        EXPECT_STREQ(com1_disp2, c.after) << "counter " << c.counter << " control " << c.control;
        EXPECT_EQ(testsleep_pauses(), Pauses{c.pause}) << "counter " << c.counter;
    }
    strcpy(com1_disp2, "136.975");
    step(1, 0, 40, RMU_KEYBOARD);
    EXPECT_EQ(words(0x311A), std::vector<uint32_t>{0x3597});
}

TEST_F(RmuTune, NavStepsAndClamps) {
    strcpy(nav1_disp2, "108.050");
    step(3, 0, 0, RMU_KEYBOARD);
    EXPECT_STREQ(nav1_disp2, "108.000");
    EXPECT_EQ(words(0x311E), std::vector<uint32_t>{0x0800});
    EXPECT_EQ(testsleep_pauses(), Pauses{200});

    strcpy(nav1_disp2, "108.000");
    step(3, 0, 0, RMU_KEYBOARD);
    EXPECT_EQ(words(0x311E), std::vector<uint32_t>{0x0800});

    // The panel has no 1 MHz step: 0.2 MHz, clamped, 50 ms.
    strcpy(nav2_disp2, "117.900");
    step(4, 1, 50, RMU_PANEL);
    EXPECT_STREQ(nav2_disp2, "117.950");
    EXPECT_EQ(words(0x3120), std::vector<uint32_t>{0x1795});
    EXPECT_EQ(testsleep_pauses(), Pauses{50});

    struct {
        int counter, control;
        const char *after;
        unsigned pause;
    } const cases[] = {
        {19, RMU_KEYBOARD, "110.050", 200}, {20, RMU_KEYBOARD, "110.200", 200},
        {40, RMU_KEYBOARD, "111.000", 300}, {19, RMU_PANEL, "110.050", 50},
        {20, RMU_PANEL, "110.200", 50},     {40, RMU_PANEL, "110.200", 50},
    };
    for (auto &c : cases) {
        strcpy(nav2_disp2, "110.000");
        step(4, 1, c.counter, c.control);
        EXPECT_STREQ(nav2_disp2, c.after) << "counter " << c.counter << " control " << c.control;
        EXPECT_EQ(testsleep_pauses(), Pauses{c.pause}) << "counter " << c.counter;
    }
    strcpy(nav2_disp2, "110.000");
    step(4, 1, 40, RMU_KEYBOARD);
    EXPECT_EQ(words(0x3120), std::vector<uint32_t>{0x1100});
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
        {"7776", 1, 0, 0x7777, 100, 50},   {"7770", 1, 50, 0x7771, 100, 50},
        {"0001", 0, 0, 0x0000, 100, 50},   {"1000", 0, 50, 0x0700, 200, 100},
    };
    for (int control : {RMU_KEYBOARD, RMU_PANEL}) {
        for (auto &c : cases) {
            strcpy(xpndr_disp, c.from);
            EXPECT_EQ(step(5, c.up, c.counter, control), c.counter + 1);
            EXPECT_EQ(words(0x0354), std::vector<uint32_t>{c.word})
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
    strcpy(adf_disp, "0100.0");
    step(6, 0, 0, RMU_KEYBOARD);
    EXPECT_EQ(words(0x034C), std::vector<uint32_t>{0x0100});
    EXPECT_EQ(words(0x0356), std::vector<uint32_t>{0x0000});

    strcpy(adf_disp, "0999.9");
    step(6, 1, 0, RMU_KEYBOARD);
    EXPECT_EQ(words(0x034C), std::vector<uint32_t>{0x0000});
    EXPECT_EQ(words(0x0356), std::vector<uint32_t>{0x0100});
    rmu_fsuipc_read();
    EXPECT_STREQ(adf_disp, "1000.0");

    strcpy(adf_disp, "1799.9");
    step(6, 1, 0, RMU_KEYBOARD);
    EXPECT_EQ(words(0x034C), std::vector<uint32_t>{0x0799});
    EXPECT_EQ(words(0x0356), std::vector<uint32_t>{0x0109});

    strcpy(adf_disp, "0234.5");
    EXPECT_EQ(step(6, 1, 100, RMU_KEYBOARD), 101);
    EXPECT_EQ(words(0x034C), std::vector<uint32_t>{0x0334});
    EXPECT_EQ(words(0x0356), std::vector<uint32_t>{0x0005});
    EXPECT_EQ(testsleep_pauses(), Pauses{300});
    // The main word goes first, then the extension.
    std::vector<testsim_write> all = testsim_writes();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].offset, 0x034Cu);
    EXPECT_EQ(all[1].offset, 0x0356u);
    EXPECT_STREQ(adf_disp, "0234.5");

    strcpy(adf_disp, "0150.0");
    step(6, 0, 100, RMU_KEYBOARD); // 50.0 clamps to 100.0
    EXPECT_EQ(words(0x034C), std::vector<uint32_t>{0x0100});
    EXPECT_EQ(words(0x0356), std::vector<uint32_t>{0x0000});
}

TEST_F(RmuTune, AdfScheduleByCounterAndControl) {
    struct {
        int counter, control;
        uint32_t main_word, ext_word;
        unsigned pause;
    } const cases[] = {
        {29, RMU_KEYBOARD, 0x0500, 0x0001, 150}, {30, RMU_KEYBOARD, 0x0501, 0x0000, 150},
        {59, RMU_KEYBOARD, 0x0501, 0x0000, 150}, {60, RMU_KEYBOARD, 0x0510, 0x0000, 200},
        {99, RMU_KEYBOARD, 0x0510, 0x0000, 200}, {100, RMU_KEYBOARD, 0x0600, 0x0000, 300},
        {29, RMU_PANEL, 0x0500, 0x0001, 50},     {30, RMU_PANEL, 0x0501, 0x0000, 50},
        {60, RMU_PANEL, 0x0510, 0x0000, 100},    {100, RMU_PANEL, 0x0600, 0x0000, 200},
    };
    for (auto &c : cases) {
        strcpy(adf_disp, "0500.0");
        step(6, 1, c.counter, c.control);
        EXPECT_EQ(words(0x034C), std::vector<uint32_t>{c.main_word}) << "counter " << c.counter;
        EXPECT_EQ(words(0x0356), std::vector<uint32_t>{c.ext_word}) << "counter " << c.counter;
        EXPECT_EQ(testsleep_pauses(), Pauses{c.pause}) << "counter " << c.counter;
    }
}

TEST_F(RmuTune, NoRadioNoStep) {
    EXPECT_EQ(step(7, 1, 3, RMU_KEYBOARD), 3);
    EXPECT_EQ(step(0, 0, 3, RMU_PANEL), 3);
    EXPECT_TRUE(testsim_writes().empty());
    EXPECT_TRUE(testsleep_pauses().empty());
}

TEST_F(RmuTune, SwapBytesAndPauses) {
    const uint8_t bytes[] = {0x08, 0x04, 0x02, 0x01};
    for (int edit = 1; edit <= 4; edit++) {
        for (int control : {RMU_KEYBOARD, RMU_PANEL}) {
            testsim_clear_writes();
            testsleep_clear();
            rmu_edit = edit;
            rmu_swap(control);
            std::vector<testsim_write> all = testsim_writes();
            ASSERT_EQ(all.size(), 1u);
            EXPECT_EQ(all[0].offset, 0x3123u);
            EXPECT_EQ(all[0].data, std::vector<uint8_t>{bytes[edit - 1]});
            EXPECT_EQ(testsleep_pauses(), Pauses{control == RMU_PANEL ? 200u : 100u});
        }
    }
    for (int edit : {5, 6}) {
        testsim_clear_writes();
        testsleep_clear();
        rmu_edit = edit;
        rmu_swap(RMU_KEYBOARD);
        EXPECT_TRUE(testsim_writes().empty());
        EXPECT_TRUE(testsleep_pauses().empty());
    }
}

TEST_F(RmuTune, SwapExchangesTheSimulatorsWords) {
    testsim_set(0x034E, 2, 0x2270);
    testsim_set(0x311A, 2, 0x1802);
    testsim_set(0x0350, 2, 0x1030);
    testsim_set(0x311E, 2, 0x0800);
    rmu_edit = 1;
    rmu_swap(RMU_KEYBOARD);
    rmu_fsuipc_read();
    EXPECT_STREQ(com1_disp1, "118.025");
    EXPECT_STREQ(com1_disp2, "122.700");
    EXPECT_STREQ(nav1_disp1, "110.300"); // NAV1 untouched
    rmu_edit = 3;
    rmu_swap(RMU_PANEL);
    rmu_fsuipc_read();
    EXPECT_STREQ(nav1_disp1, "108.000");
    EXPECT_STREQ(nav1_disp2, "110.300");
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
