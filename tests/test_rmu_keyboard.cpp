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

    std::vector<uint32_t> words(uint32_t offset) {
        std::vector<uint32_t> out;
        for (auto &w : testsim_writes_to(offset))
            out.push_back(w.value());
        return out;
    }
};

TEST_F(RmuKeys, TCyclesTheRadiosAndComesBackAfterSix) {
    std::vector<int> seen;
    for (int i = 0; i < 6; i++) {
        rmu_key_action(RMU_KEY_T);
        seen.push_back(rmu_edit);
    }
    EXPECT_EQ(seen, (std::vector<int>{2, 3, 4, 5, 6, 1}));
    EXPECT_TRUE(testsim_writes().empty());
}

TEST_F(RmuKeys, FullStopAndCommaStepTheEditedRadio) {
    testsim_set(0x311A, 2, 0x1800);
    rmu_fsuipc_read();
    key(RMU_KEY_STOP);
    EXPECT_EQ(words(0x311A), std::vector<uint32_t>{0x1802});
    EXPECT_STREQ(com1_disp2, "118.025");
    EXPECT_EQ(press_length, 1);
    EXPECT_EQ(testsleep_pauses(), std::vector<unsigned>{200});
    key(RMU_KEY_COMMA);
    EXPECT_STREQ(com1_disp2, "118.000");
    EXPECT_EQ(press_length, 2);

    // On the transponder the keyboard's pauses apply too.
    rmu_edit = 5;
    testsim_set(0x0354, 2, 0x1200);
    rmu_fsuipc_read();
    press_length = 0;
    testsleep_clear();
    key(RMU_KEY_STOP);
    EXPECT_STREQ(xpndr_disp, "1201");
    EXPECT_EQ(testsleep_pauses(), std::vector<unsigned>{100});
}

TEST_F(RmuKeys, HeldFullStopAcceleratesAndClamps) {
    testsim_set(0x311A, 2, 0x1800);
    rmu_fsuipc_read();
    // Each repeat arrives within the same pass, so the counter keeps growing.
    std::vector<std::string> texts;
    for (int i = 0; i < 60; i++) {
        key(RMU_KEY_STOP);
        texts.push_back(com1_disp2);
    }
    for (int i = 0; i < 60; i++) {
        double want = i < 20   ? 118.0 + 0.025 * (i + 1)
                      : i < 40 ? 118.5 + 0.1 * (i - 19)
                               : fmin(120.5 + 1.0 * (i - 39), 136.975);
        char w[16];
        snprintf(w, sizeof w, "%7.3f", want);
        EXPECT_EQ(texts[i], w) << "step " << i + 1;
    }
    std::vector<unsigned> pauses = testsleep_pauses();
    ASSERT_EQ(pauses.size(), 60u);
    for (int i = 0; i < 60; i++)
        EXPECT_EQ(pauses[i], i < 40 ? 200u : 300u) << "step " << i + 1;
    EXPECT_EQ(testsim_get(0x311A, 2), 0x3697u);

    // A new pass starts again with the smallest step.
    press_length = 0;
    key(RMU_KEY_COMMA);
    EXPECT_STREQ(com1_disp2, "136.950");
}

TEST_F(RmuKeys, SSwapsTheEditedRadioOnly) {
    testsim_set(0x034E, 2, 0x2270);
    testsim_set(0x311A, 2, 0x1802);
    key(RMU_KEY_S);
    EXPECT_EQ(words(0x3123), std::vector<uint32_t>{0x08});
    EXPECT_EQ(testsleep_pauses(), std::vector<unsigned>{100});
    EXPECT_STREQ(com1_disp1, "118.025");
    EXPECT_STREQ(com1_disp2, "122.700");
    rmu_edit = 5;
    testsim_clear_writes();
    key(RMU_KEY_S);
    EXPECT_TRUE(words(0x3123).empty());
}

TEST_F(RmuKeys, AudioSelectorKeys) {
    struct {
        int code;
        uint8_t before, written;
    } const cases[] = {
        {RMU_KEY_C, 0x40, 0x80}, {RMU_KEY_V, 0x80, 0x40}, {RMU_KEY_C, 0xC0, 0x80},
        {RMU_KEY_V, 0x41, 0x41}, {RMU_KEY_B, 0x00, 0x20}, {RMU_KEY_B, 0xFF, 0xDF},
        {RMU_KEY_N, 0x00, 0x10}, {RMU_KEY_M, 0x00, 0x08}, {RMU_KEY_K, 0x00, 0x04},
        {RMU_KEY_E, 0x00, 0x02}, {RMU_KEY_A, 0x00, 0x01}, {RMU_KEY_A, 0x81, 0x80},
    };
    for (auto &c : cases) {
        testsim_set(0x3122, 1, c.before);
        rmu_fsuipc_read();
        testsim_clear_writes();
        key(c.code);
        EXPECT_EQ(words(0x3122), std::vector<uint32_t>{c.written})
            << std::hex << "key " << c.code << " from " << (int)c.before;
        EXPECT_EQ(testsim_writes_to(0x3122)[0].data.size(), 1u);
        EXPECT_EQ(radio_audio_switches, c.written);
    }
    EXPECT_TRUE(testsleep_pauses().empty());
}

TEST_F(RmuKeys, MTwiceWithAReadBetweenTogglesBack) {
    testsim_set(0x3122, 1, 0x80);
    rmu_fsuipc_read();
    testsim_clear_writes();
    key(RMU_KEY_M);
    EXPECT_EQ(nav2_sel, 1);
    key(RMU_KEY_M);
    EXPECT_EQ(nav2_sel, 0);
    EXPECT_EQ(words(0x3122), (std::vector<uint32_t>{0x88, 0x80}));
}

TEST_F(RmuKeys, OtherCodesDoNothing) {
    // Shift+comma, the keypad's point, Shift+T, upper-case C, Alt+T and a plain digit.
    for (int code : {0x483C, 0x5A2E, 0x1454, 0x0343, 0x1400, 0x0231}) {
        int edit = rmu_edit;
        uint8_t bits = radio_audio_switches;
        key(code);
        EXPECT_EQ(rmu_edit, edit) << std::hex << code;
        EXPECT_EQ(radio_audio_switches, bits) << std::hex << code;
    }
    EXPECT_EQ(press_length, 0);
    EXPECT_TRUE(testsim_writes().empty());
    EXPECT_TRUE(testsleep_pauses().empty());
}

TEST_F(RmuKeys, RadioKeysNeedTheLink) {
    connected = 0;
    strcpy(com1_disp2, "118.000");
    for (int code : {RMU_KEY_COMMA, RMU_KEY_STOP, RMU_KEY_S, RMU_KEY_C, RMU_KEY_V, RMU_KEY_B,
                     RMU_KEY_N, RMU_KEY_M, RMU_KEY_K, RMU_KEY_E, RMU_KEY_A})
        rmu_key_action(code);
    EXPECT_STREQ(com1_disp2, "118.000");
    EXPECT_EQ(press_length, 0);
    EXPECT_TRUE(testsim_writes().empty());
    EXPECT_TRUE(testsleep_pauses().empty());
    // The cycle key works without the link.
    rmu_key_action(RMU_KEY_T);
    EXPECT_EQ(rmu_edit, 2);
}

} // namespace
