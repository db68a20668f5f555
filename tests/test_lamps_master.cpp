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
        vel_zero = vel_one = vel_two = vel_three = 0;
        warn = caution = 0.0f;
        silence = 0;
        electrics = 1;
        seconds = 0;
    }
    void TearDown() override {
        FSUIPC_Close();
        testboards_stop();
        testsim_stop();
        testsleep_real();
        vel_zero = vel_one = vel_two = vel_three = 0;
        warn = caution = 0.0f;
        silence = 0;
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

TEST_F(MasterLamps, WarningLitInEvenSecondsDarkInOdd) {
    board_zero();
    warn = 1.0f;
    EXPECT_EQ(poll_at(10).first, 1);
    EXPECT_EQ(seconds, 10);
    EXPECT_EQ(poll_at(11).first, 0);
    EXPECT_EQ(poll_at(12).first, 1);
    EXPECT_EQ(poll_at(59).first, 0);
    EXPECT_EQ(poll_at(0).first, 1);
    EXPECT_EQ(poll_at(254).first, 1);
}

TEST_F(MasterLamps, WarningSteadyWhileTheClockStandsStill) {
    board_zero();
    warn = 1.0f;
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(poll_at(33).first, 0);
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(poll_at(34).first, 1);
}

TEST_F(MasterLamps, CautionSteadyAndWarningOffWithoutWarn) {
    board_zero();
    caution = 1.0f;
    testboards_set_output(0, 7, 1);
    EXPECT_EQ(poll_at(10), std::make_pair(0, 1));
    EXPECT_EQ(poll_at(11), std::make_pair(0, 1));
    caution = 0.0f;
    EXPECT_EQ(poll_at(12), std::make_pair(0, 0));
}

TEST_F(MasterLamps, SilenceAndPowerLossKeepBothDarkWithoutReadingTheClock) {
    board_zero();
    warn = caution = 1.0f;
    EXPECT_EQ(poll_at(2), std::make_pair(1, 1));

    silence = 1;
    int before = testsim_requests();
    EXPECT_EQ(poll_at(4), std::make_pair(0, 0));
    EXPECT_EQ(testsim_requests(), before);

    silence = 0;
    electrics = 0;
    EXPECT_EQ(poll_at(6), std::make_pair(0, 0));
    electrics = 2; // only exactly 1 counts as powered here
    EXPECT_EQ(poll_at(6), std::make_pair(0, 0));
    EXPECT_EQ(testsim_requests(), before);

    electrics = 1;
    EXPECT_EQ(poll_at(6), std::make_pair(1, 1));
    EXPECT_EQ(testsim_requests(), before + 1);
}

TEST_F(MasterLamps, OneOneByteClockReadPerPoll) {
    board_zero();
    testsim_clear_writes();
    int before = testsim_requests();
    poll_at(3);
    poll_at(4);
    EXPECT_EQ(testsim_requests() - before, 2);
    EXPECT_TRUE(testsim_writes().empty());
}

TEST_F(MasterLamps, NothingWithoutBoardZero) {
    testboards_plug(2, 1);
    testboards_plug(3, 1);
    SearchDevices();
    OpenDevice(2);
    OpenDevice(3);
    vel_two = vel_three = 1;
    warn = 1.0f;
    int before = testsim_requests();
    testboards_trace_clear();
    EXPECT_EQ(k8055_warn_caution(), 0);
    EXPECT_TRUE(testboards_trace().empty());
    EXPECT_EQ(testsim_requests(), before);
}

TEST_F(MasterLamps, SelectsBoardZeroFirst) {
    board_zero();
    testboards_plug(1, 1);
    OpenDevice(1); // the last board opened is the current one
    vel_one = 1;
    caution = 1.0f;
    testboards_trace_clear();
    poll_at(8);
    auto trace = testboards_trace();
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace[0].op, "SetCurrentDevice");
    EXPECT_EQ(trace[0].a, 0);
    EXPECT_EQ(testboards_output(0, 8), 1);
    EXPECT_EQ(testboards_output(1, 8), 0);
}

} // namespace
