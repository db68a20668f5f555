// The radio keys against the stand-in simulator: radio cycling, tuning with the keyboard's
// counter and pauses (a held full stop), swaps, the audio selector writes, the keys that do
// nothing, and the radio keys doing nothing while the link is down.
#include "app/app.h"
#include "rmu/rmu.h"
#include "simlink/simlink.h"
#include "tests/support/testsim.h"

#include <gtest/gtest.h>

#include <math.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

class RmuKeys : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        install_allegro(SYSTEM_NONE, &errno, atexit);
    }
    void SetUp() override {
        testsleep_record();
        testsim_start();
        connect_to_sim();
        ASSERT_EQ(connected, 1);
        rmu_edit = 1;
        press_length = 0;
        testsim_set(0x311A, 2, 0x1800);
        rmu_fsuipc_read();
        testsim_clear_writes();
        testsleep_clear();
    }
    void TearDown() override {
        connected = 1;
        FSUIPC_Close();
        testsim_stop();
        testsleep_real();
    }
    // A key as main handles it: the key, then a read of the radios.
    void key(int code) {
        rmu_key_action(code);
        rmu_fsuipc_read();
    }
};

TEST_F(RmuKeys, HeldFullStopAcceleratesAndClamps) {
    for (int i = 0; i < 60; i++) {
        key(RMU_KEY_STOP);
        double want = i < 20   ? 118.0 + 0.025 * (i + 1)
                      : i < 40 ? 118.5 + 0.1 * (i - 19)
                               : fmin(120.5 + 1.0 * (i - 39), 136.975);
        char w[16];
        snprintf(w, sizeof w, "%7.3f", want);
        EXPECT_STREQ(com1_disp2, w) << "step " << i + 1;
    }
    std::vector<unsigned> pauses = testsleep_pauses();
    ASSERT_EQ(pauses.size(), 60u);
    for (int i = 0; i < 60; i++)
        EXPECT_EQ(pauses[i], i < 40 ? 200u : 300u) << "step " << i + 1;
    EXPECT_EQ(testsim_get(0x311A, 2), 0x3697u);
    press_length = 0; // a new pass starts again with the smallest step
    key(RMU_KEY_COMMA);
    EXPECT_STREQ(com1_disp2, "136.950");
}

TEST_F(RmuKeys, AudioSelectorKeys) {
    struct {
        int code;
        uint8_t before, written;
    } const cases[] = {
        {RMU_KEY_C, 0x40, 0x80}, {RMU_KEY_V, 0x80, 0x40}, {RMU_KEY_C, 0xC0, 0x80},
        {RMU_KEY_V, 0x41, 0x41}, {RMU_KEY_B, 0xFF, 0xDF}, {RMU_KEY_N, 0x00, 0x10},
        {RMU_KEY_M, 0x00, 0x08}, {RMU_KEY_K, 0x00, 0x04}, {RMU_KEY_E, 0x00, 0x02},
        {RMU_KEY_A, 0x81, 0x80},
    };
    for (auto &c : cases) {
        testsim_set(0x3122, 1, c.before);
        rmu_fsuipc_read();
        testsim_clear_writes();
        key(c.code);
        auto w = testsim_writes_to(0x3122);
        ASSERT_EQ(w.size(), 1u) << std::hex << "key " << c.code;
        EXPECT_EQ(w[0].value(), c.written) << std::hex << "key " << c.code;
        EXPECT_EQ(w[0].data.size(), 1u);
        EXPECT_EQ(radio_audio_switches, c.written);
    }
    EXPECT_TRUE(testsleep_pauses().empty());
}

TEST_F(RmuKeys, OtherCodesAndLinkDownDoNothingButTCycles) {
    // Shift+comma, the keypad's point, Shift+T, upper-case C, Alt+T and a plain digit.
    for (int code : {0x483C, 0x5A2E, 0x1454, 0x0343, 0x1400, 0x0231})
        key(code);
    connected = 0;
    for (int code : {RMU_KEY_COMMA, RMU_KEY_STOP, RMU_KEY_S, RMU_KEY_C, RMU_KEY_A})
        rmu_key_action(code);
    EXPECT_EQ(rmu_edit, 1);
    EXPECT_STREQ(com1_disp2, "118.000");
    EXPECT_EQ(press_length, 0);
    EXPECT_TRUE(testsim_writes().empty());
    EXPECT_TRUE(testsleep_pauses().empty());
    std::vector<int> seen;
    for (int i = 0; i < 6; i++) {
        rmu_key_action(RMU_KEY_T);
        seen.push_back(rmu_edit);
    }
    EXPECT_EQ(seen, (std::vector<int>{2, 3, 4, 5, 6, 1}));
}

} // namespace
