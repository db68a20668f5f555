// The radio read: packed BCD words to the texts the unit shows (the 25 kHz digit, letters from
// words that are not BCD, the ADF extension), the selector bits, the power bytes, and one
// exchange with the stand-in simulator, including a failed one.
#include "app/app.h"
#include "rmu/rmu.h"
#include "simlink/simlink.h"
#include "tests/support/testsim.h"

#include <gtest/gtest.h>

#include <string.h>

#include <vector>

namespace {

TEST(RmuDecode, WordsToTexts) {
    const struct {
        uint16_t w;
        const char *want;
    } freqs[] = {{0x3697, "136.975"}, {0x1802, "118.025"}, {0x2347, "123.475"},
                 {0x2345, "123.450"}, {0x0005, "100.050"}, {0xFFF7, "1ff.f75"}};
    for (auto &c : freqs) {
        char t[8] = "xxxxxxx";
        rmu_decode_freq(c.w, t);
        EXPECT_STREQ(t, c.want);
    }
    char x[5] = "xxxx";
    rmu_decode_xpndr(0x12AB, x);
    EXPECT_STREQ(x, "12ab");
    // Only a three-digit extension carries a thousands digit; otherwise its first digit is
    // taken as the tenths.
    const struct {
        uint16_t m, e;
        const char *want;
    } adfs[] = {{0x0234, 0x0105, "1234.5"}, {0x0350, 0x0000, "0350.0"}, {0x0100, 0x0100, "1100.0"},
                {0x0350, 0x0010, "0350.1"}, {0x0350, 0x1005, "0350.1"}, {0x0C34, 0x0000, "0c34.0"}};
    for (auto &c : adfs) {
        char t[7] = "xxxxxx";
        rmu_decode_adf(c.m, c.e, t);
        EXPECT_STREQ(t, c.want);
    }
}

TEST(RmuDecode, SelectorBitsAndPower) {
    for (int bit = 0; bit < 8; bit++) {
        rmu_decode_selectors((uint8_t)(1 << bit));
        std::vector<int> flags{adf1_sel, dme_sel,  mkr_sel,  nav2_sel,
                               nav1_sel, both_sel, com2_sel, com1_sel};
        for (int i = 0; i < 8; i++)
            EXPECT_EQ(flags[i], i == bit ? 1 : 0) << "bit " << bit << " flag " << i;
    }
    const int power[][3] = {{1, 0, 0}, {1, 1, 1}, {0, 0, 1}, {2, 0, 1}, {1, 2, 0}};
    for (auto &p : power)
        EXPECT_EQ(rmu_power_flag(p[0], p[1]), p[2]) << p[0] << ", " << p[1];
}

TEST(RmuRead, FailedExchangeLeavesTextsAsTheyWere) {
    install_allegro(SYSTEM_NONE, &errno, atexit);
    testsleep_record();
    testsim_start();
    connect_to_sim();
    ASSERT_EQ(connected, 1);
    testsim_set(0x034E, 2, 0x1802);
    testsim_set(0x311A, 2, 0x3697);
    testsim_set(0x034C, 2, 0x0234);
    testsim_set(0x0356, 2, 0x0105);
    testsim_set(0x3122, 1, 0xA1);
    testsim_set(0x0B6A, 1, 0);
    testsim_set(0x0B52, 1, 0);
    EXPECT_EQ(rmu_fsuipc_read(), 0);
    EXPECT_STREQ(com1_disp2, "136.975");
    EXPECT_EQ(read_freq11, 0x0105);
    EXPECT_TRUE(testsim_writes_to(0x311A).empty()); // a read writes nothing
    EXPECT_TRUE(testsim_writes_to(0x3122).empty());
    // A tuning step has just rewritten the standby text; the simulator holds something else.
    strcpy(com1_disp2, "118.025");
    testsim_set(0x311A, 2, 0x1800);
    testsim_set(0x034E, 2, 0x2222);
    testsim_set(0x3122, 1, 0x02);
    testsim_set(0x0B6A, 1, 1);
    testsim_fail_next(1);
    rmu_fsuipc_read();
    EXPECT_STREQ(com1_disp2, "118.025");
    EXPECT_STREQ(com1_disp1, "118.025");
    EXPECT_STREQ(adf_disp, "1234.5");
    EXPECT_EQ(read_freq1, 0x1802);
    EXPECT_EQ(radio_audio_switches, 0xA1);
    // The power flag is worked out again from the bytes last received, although the
    // reconnection cleared it.
    EXPECT_EQ(electrics, 1);
    EXPECT_EQ(connected, 1);
    rmu_fsuipc_read(); // the next exchange succeeds and takes the simulator's values
    EXPECT_STREQ(com1_disp2, "118.000");
    EXPECT_STREQ(com1_disp1, "122.225");
    EXPECT_EQ(dme_sel, 1);
    EXPECT_EQ(electrics, 0);
    FSUIPC_Close();
    testsim_stop();
    testsleep_real();
}

} // namespace
