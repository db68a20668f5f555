// The radio read: packed BCD words to the texts the unit shows (the 25 kHz digit, letters from
// words that are not BCD, the ADF extension), the selector bits, the power bytes, and one
// exchange with the stand-in simulator, including a failed one.
#include "app/app.h"
#include "rmu/rmu.h"
#include "simlink/simlink.h"
#include "tests/support/testsim.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>

namespace {

std::string freq_text(uint16_t word) {
    char t[8] = "xxxxxxx";
    rmu_decode_freq(word, t);
    return t;
}

std::string xpndr_text(uint16_t word) {
    char t[5] = "xxxx";
    rmu_decode_xpndr(word, t);
    return t;
}

std::string adf_text(uint16_t main_word, uint16_t ext_word) {
    char t[7] = "xxxxxx";
    rmu_decode_adf(main_word, ext_word, t);
    return t;
}

TEST(RmuDecode, FrequencyWordsRestoreTheLeadingOneAndThe25kHzDigit) {
    EXPECT_EQ(freq_text(0x1800), "118.000");
    EXPECT_EQ(freq_text(0x3697), "136.975");
    EXPECT_EQ(freq_text(0x1802), "118.025");
    EXPECT_EQ(freq_text(0x2342), "123.425");
    EXPECT_EQ(freq_text(0x2347), "123.475");
    EXPECT_EQ(freq_text(0x2345), "123.450");
    EXPECT_EQ(freq_text(0x2340), "123.400");
    EXPECT_EQ(freq_text(0x1095), "110.950");
    EXPECT_EQ(freq_text(0x0800), "108.000");
    EXPECT_EQ(freq_text(0x0005), "100.050");
}

TEST(RmuDecode, WordsThatAreNotBcdGiveLowerCaseLetters) {
    EXPECT_EQ(freq_text(0x1A2F), "11a.2f0");
    EXPECT_EQ(freq_text(0xFFF7), "1ff.f75");
    EXPECT_EQ(xpndr_text(0x12AB), "12ab");
    EXPECT_EQ(adf_text(0x0C34, 0x0000), "0c34.0");
}

TEST(RmuDecode, TransponderWords) {
    EXPECT_EQ(xpndr_text(0x7000), "7000");
    EXPECT_EQ(xpndr_text(0x0000), "0000");
    EXPECT_EQ(xpndr_text(0x0017), "0017");
    EXPECT_EQ(xpndr_text(0x7777), "7777");
}

TEST(RmuDecode, AdfWordAndExtension) {
    EXPECT_EQ(adf_text(0x0234, 0x0105), "1234.5");
    EXPECT_EQ(adf_text(0x0350, 0x0000), "0350.0");
    EXPECT_EQ(adf_text(0x0350, 0x0005), "0350.5");
    EXPECT_EQ(adf_text(0x0799, 0x0109), "1799.9");
    EXPECT_EQ(adf_text(0x0100, 0x0100), "1100.0");
    // Only a three-digit extension carries a thousands digit; otherwise its first digit is
    // taken as the tenths.
    EXPECT_EQ(adf_text(0x0350, 0x0010), "0350.1");
    EXPECT_EQ(adf_text(0x0350, 0x1005), "0350.1");
}

TEST(RmuDecode, SelectorBits) {
    rmu_decode_selectors(0xA1);
    EXPECT_EQ((std::vector<int>{com1_sel, com2_sel, both_sel, nav1_sel, nav2_sel, mkr_sel, dme_sel,
                                adf1_sel}),
              (std::vector<int>{1, 0, 1, 0, 0, 0, 0, 1}));
    for (int bit = 0; bit < 8; bit++) {
        rmu_decode_selectors((uint8_t)(1 << bit));
        std::vector<int> flags{adf1_sel, dme_sel,  mkr_sel,  nav2_sel,
                               nav1_sel, both_sel, com2_sel, com1_sel};
        for (int i = 0; i < 8; i++)
            EXPECT_EQ(flags[i], i == bit ? 1 : 0) << "bit " << bit << " flag " << i;
    }
}

TEST(RmuDecode, PowerBytes) {
    EXPECT_EQ(rmu_power_flag(1, 0), 0);
    EXPECT_EQ(rmu_power_flag(1, 1), 1);
    EXPECT_EQ(rmu_power_flag(0, 0), 1);
    EXPECT_EQ(rmu_power_flag(2, 0), 1);
    EXPECT_EQ(rmu_power_flag(0, 1), 1);
    EXPECT_EQ(rmu_power_flag(1, 2), 0);
}

class RmuRead : public ::testing::Test {
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

    void set_radios(void) {
        testsim_set(0x034E, 2, 0x1802); // COM1 118.025 / 136.975
        testsim_set(0x311A, 2, 0x3697);
        testsim_set(0x3118, 2, 0x2347); // COM2 123.475 / 123.450
        testsim_set(0x311C, 2, 0x2345);
        testsim_set(0x0350, 2, 0x1095); // NAV1 110.950 / 108.000
        testsim_set(0x311E, 2, 0x0800);
        testsim_set(0x0352, 2, 0x1110); // NAV2 111.100 / 117.950
        testsim_set(0x3120, 2, 0x1795);
        testsim_set(0x0354, 2, 0x7000);
        testsim_set(0x034C, 2, 0x0234);
        testsim_set(0x0356, 2, 0x0105);
        testsim_set(0x3122, 1, 0xA1);
        testsim_set(0x0B6A, 1, 0);
        testsim_set(0x0B52, 1, 0);
    }
};

TEST_F(RmuRead, TextsBeforeTheFirstExchange) {
    for (const char *t : {com1_disp1, com1_disp2, com2_disp1, com2_disp2, nav1_disp1, nav1_disp2,
                          nav2_disp1, nav2_disp2})
        EXPECT_STREQ(t, "000.000");
    EXPECT_STREQ(xpndr_disp, "0000");
    EXPECT_STREQ(adf_disp, "0000.0");
    EXPECT_EQ(rmu_edit, 1);
}

TEST_F(RmuRead, OneExchangeFillsEveryTextAndFlag) {
    set_radios();
    EXPECT_EQ(rmu_fsuipc_read(), 0);
    EXPECT_STREQ(com1_disp1, "118.025");
    EXPECT_STREQ(com1_disp2, "136.975");
    EXPECT_STREQ(com2_disp1, "123.475");
    EXPECT_STREQ(com2_disp2, "123.450");
    EXPECT_STREQ(nav1_disp1, "110.950");
    EXPECT_STREQ(nav1_disp2, "108.000");
    EXPECT_STREQ(nav2_disp1, "111.100");
    EXPECT_STREQ(nav2_disp2, "117.950");
    EXPECT_STREQ(xpndr_disp, "7000");
    EXPECT_STREQ(adf_disp, "1234.5");
    EXPECT_EQ(radio_audio_switches, 0xA1);
    EXPECT_EQ(com1_sel + both_sel + adf1_sel, 3);
    EXPECT_EQ(com2_sel + nav1_sel + nav2_sel + mkr_sel + dme_sel, 0);
    EXPECT_EQ(electrics, 1);
    EXPECT_EQ(read_freq1, 0x1802);
    EXPECT_EQ(read_freq11, 0x0105);
    // A read writes nothing to the simulator.
    EXPECT_TRUE(testsim_writes_to(0x311A).empty());
    EXPECT_TRUE(testsim_writes_to(0x3122).empty());
}

TEST_F(RmuRead, PowerFollowsBothBytes) {
    set_radios();
    const int cases[][3] = {{1, 0, 0}, {1, 1, 1}, {0, 0, 1}, {2, 0, 1}};
    for (auto &c : cases) {
        testsim_set(0x0B6A, 1, (uint32_t)c[0]);
        testsim_set(0x0B52, 1, (uint32_t)c[1]);
        rmu_fsuipc_read();
        EXPECT_EQ(electrics, c[2]) << "bytes " << c[0] << ", " << c[1];
    }
}

TEST_F(RmuRead, FailedExchangeLeavesTextsAsTheyWere) {
    set_radios();
    rmu_fsuipc_read();
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
    EXPECT_EQ(com1_sel, 1);
    // The power flag is worked out again from the bytes last received (powered), although
    // the reconnection cleared it.
    EXPECT_EQ(electrics, 1);
    EXPECT_EQ(connected, 1);

    // The next exchange succeeds and takes the simulator's values.
    rmu_fsuipc_read();
    EXPECT_STREQ(com1_disp2, "118.000");
    EXPECT_STREQ(com1_disp1, "122.225");
    EXPECT_EQ(dme_sel, 1);
    EXPECT_EQ(electrics, 0);
}

} // namespace
