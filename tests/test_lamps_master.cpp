// Tests of the master warning and caution lamps on virtual boards: flashing with the simulator
// clock's even and odd seconds, a stopped clock, silence, power, and the lamps with no board 0.
#include <gtest/gtest.h>

#include "app/app.h"
#include "k8055/k8055.h"
#include "lamps/lamps.h"
#include "rmu/rmu.h"
#include "simlink/simlink.h"
#include "tests/support/testboards.h"
#include "tests/support/testsim.h"

namespace {

class MasterLamps : public ::testing::Test {
  protected:
    void SetUp() override {
        testsim_start();
        testsleep_record();
        testboards_start();
        ASSERT_TRUE(FSUIPC_Open(0, &dwResult));
        vel_zero = vel_one = vel_two = vel_three = silence = seconds = 0;
        warn = caution = 0.0f;
        electrics = 1;
    }
    void TearDown() override {
        FSUIPC_Close();
        testboards_stop();
        testsim_stop();
        testsleep_real();
        vel_zero = vel_one = vel_two = vel_three = silence = 0;
        warn = caution = 0.0f;
    }

    void board_zero() {
        testboards_plug(0, 1);
        SearchDevices();
        OpenDevice(0);
        vel_zero = 1;
    }

    // One poll's master lamps at the given clock seconds: warning and caution lamp.
    std::pair<int, int> poll_at(int clock_seconds) {
        testsim_set(0x023A, 1, (uint32_t)clock_seconds);
        EXPECT_EQ(k8055_warn_caution(), 0);
        return {testboards_output(0, 7), testboards_output(0, 8)};
    }
};

TEST_F(MasterLamps, WarningFlashesWithEvenSecondsCautionSteady) {
    board_zero();
    warn = caution = 1.0f;
    const std::pair<int, std::pair<int, int>> rows[] = {{10, {1, 1}}, {11, {0, 1}}, {11, {0, 1}},
                                                        {59, {0, 1}}, {0, {1, 1}},  {254, {1, 1}}};
    for (const auto &r : rows)
        EXPECT_EQ(poll_at(r.first), r.second) << "second " << r.first;
    EXPECT_EQ(seconds, 254);
    warn = caution = 0.0f;
    EXPECT_EQ(poll_at(12), std::make_pair(0, 0));
}

TEST_F(MasterLamps, SilenceAndPowerLossKeepBothDarkWithoutReadingTheClock) {
    board_zero();
    warn = caution = 1.0f;
    silence = 1;
    int before = testsim_requests();
    testsim_clear_writes();
    EXPECT_EQ(poll_at(4), std::make_pair(0, 0));
    silence = 0;
    for (int power : {0, 2}) { // only exactly 1 counts as powered here
        electrics = power;
        EXPECT_EQ(poll_at(6), std::make_pair(0, 0)) << "electrics " << power;
    }
    EXPECT_EQ(testsim_requests(), before);
    electrics = 1;
    EXPECT_EQ(poll_at(6), std::make_pair(1, 1));
    EXPECT_EQ(testsim_requests(), before + 1);
    EXPECT_TRUE(testsim_writes().empty());
}

TEST_F(MasterLamps, DrivesBoardZeroOnlyAndNothingWithoutIt) {
    testboards_plug(1, 1);
    board_zero();
    OpenDevice(1); // the last board opened is the current one
    vel_zero = 0;
    vel_one = 1;
    warn = caution = 1.0f;
    int before = testsim_requests();
    testboards_trace_clear();
    EXPECT_EQ(k8055_warn_caution(), 0);
    EXPECT_TRUE(testboards_trace().empty());
    EXPECT_EQ(testsim_requests(), before);

    vel_zero = 1;
    warn = 0.0f;
    poll_at(8);
    auto trace = testboards_trace();
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace[0].op, "SetCurrentDevice");
    EXPECT_EQ(trace[0].a, 0);
    EXPECT_EQ(testboards_output(0, 8), 1);
    EXPECT_EQ(testboards_output(1, 8), 0);
}

} // namespace
