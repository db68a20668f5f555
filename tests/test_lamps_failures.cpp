// Tests of the lamp state read and the master lamps when simulator exchanges fail: each failure
// reconnects at once, the read goes on with its decoding and write-back, and a failed clock
// read leaves the master warning lamp as it was while the caution is still driven.
#include <gtest/gtest.h>

#include <atomic>
#include <errno.h>

#include "app/app.h"
#include "k8055/k8055.h"
#include "lamps/lamps.h"
#include "rmu/rmu.h"
#include "simlink/simlink.h"
#include "tests/support/testboards.h"
#include "tests/support/testsim.h"

namespace {

// Refuses the request that follows the next `successes` successful ones.
std::atomic<int> successes_left(0);

void count_down(uint8_t *, size_t) {
    if (--successes_left == 0) {
        testsim_fail_next(1);
        testsim_tamper(nullptr);
    }
}

void fail_after(int successes) {
    if (successes == 0) {
        testsim_fail_next(1);
        return;
    }
    successes_left = successes;
    testsim_tamper(count_down);
}

class LampFailures : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        install_allegro(SYSTEM_NONE, &errno, atexit); // the reconnection sets the title
    }
    void SetUp() override {
        testsim_start();
        testsleep_record();
        testboards_start();
        ASSERT_TRUE(FSUIPC_Open(0, &dwResult));
        loop = 1;
        vel_zero = vel_one = vel_two = vel_three = 0;
        gear = count = 0;
        on_ground = 1;
        apu_speed = 0.0f;
        warn = caution = 0.0f;
        silence = 0;
        testsim_clear_writes();
        testsleep_clear();
    }
    void TearDown() override {
        testsim_tamper(nullptr);
        FSUIPC_Close();
        testboards_stop();
        testsim_stop();
        testsleep_real();
        vel_zero = vel_one = vel_two = vel_three = 0;
    }
    int announcements() {
        return (int)testsim_writes_to(0x3380).size();
    }
};

TEST_F(LampFailures, FailedGroupExchangeOrWriteBackReconnectsOnce) {
    vel_zero = 1;
    apu_speed = 60.0f;
    electrics = 1;
    fail_after(0);
    k8055_fsuipc_read(0);
    EXPECT_EQ(announcements(), 1);
    EXPECT_EQ(connected, 1);
    EXPECT_EQ(electrics, 0) << "the reconnection takes the power away until the radios read it";
    EXPECT_EQ(testsleep_pauses().back(), 20u) << "the group went on to its pause";
    auto writes = testsim_writes_to(0x0B52);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].value(), 1u);

    testsim_clear_writes();
    fail_after(1); // the write-back fails
    k8055_fsuipc_read(0);
    EXPECT_EQ(announcements(), 1);
    EXPECT_TRUE(testsim_writes_to(0x0B52).empty());
}

TEST_F(LampFailures, FailedClockReadKeepsTheWarningLampAndDrivesTheCaution) {
    testboards_plug(0, 1);
    SearchDevices();
    OpenDevice(0);
    vel_zero = electrics = 1;
    warn = caution = 1.0f;
    testsim_set(0x023A, 1, 7); // odd: a good read would put the warning out
    testboards_set_output(0, 7, 1);
    fail_after(0);
    k8055_warn_caution();
    EXPECT_EQ(announcements(), 1);
    EXPECT_EQ(testboards_output(0, 7), 1);
    EXPECT_EQ(testboards_output(0, 8), 1);
}

} // namespace
