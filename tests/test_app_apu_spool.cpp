// Tests of the APU spool step of the main loop: the climb and fall with the APU switch, the
// simulator's own speed taking over, and values that are not multiples of the step.
#include <gtest/gtest.h>

#include "app/app.h"

namespace {

class ApuSpool : public ::testing::Test {
  protected:
    void SetUp() override {
        apu_speed = 0.0f;
        fsx_apu_speed = 0.0f;
        apu_status = 0;
    }
    void TearDown() override {
        SetUp();
    }
};

TEST_F(ApuSpool, ClimbsByTwoToOneHundredThenFallsByTwoToZero) {
    apu_status = 1;
    for (int pass = 1; pass <= 50; pass++) {
        apu_spool_step();
        ASSERT_EQ(apu_speed, 2.0f * pass) << "pass " << pass;
    }
    apu_spool_step();
    apu_spool_step();
    EXPECT_EQ(apu_speed, 100.0f);

    apu_status = 0;
    for (int pass = 1; pass <= 50; pass++) {
        apu_spool_step();
        ASSERT_EQ(apu_speed, 100.0f - 2.0f * pass) << "pass " << pass;
    }
    apu_spool_step();
    EXPECT_EQ(apu_speed, 0.0f);
}

TEST_F(ApuSpool, SimulatorSpeedWinsWhenItReportsOne) {
    apu_status = 1;
    apu_speed = 40.0f;
    fsx_apu_speed = 73.25f;
    apu_spool_step();
    EXPECT_EQ(apu_speed, 73.25f);

    apu_status = 0;
    fsx_apu_speed = 0.002f;
    apu_spool_step();
    EXPECT_EQ(apu_speed, 0.002f);

    fsx_apu_speed = 0.0009f; // not above 0.001: the switch rules again
    apu_spool_step();
    EXPECT_FLOAT_EQ(apu_speed, 0.002f - 2.0f);
}

TEST_F(ApuSpool, NoClampingPastTheEnds) {
    apu_status = 1;
    apu_speed = 99.5f;
    apu_spool_step();
    EXPECT_EQ(apu_speed, 101.5f);
    apu_spool_step();
    EXPECT_EQ(apu_speed, 101.5f);

    apu_status = 0;
    apu_speed = 1.0f;
    apu_spool_step();
    EXPECT_EQ(apu_speed, -1.0f);
    apu_spool_step();
    EXPECT_EQ(apu_speed, -1.0f);
}

TEST_F(ApuSpool, OtherSwitchValuesLeaveItAlone) {
    apu_status = 2;
    apu_speed = 30.0f;
    apu_spool_step();
    EXPECT_EQ(apu_speed, 30.0f);
}

} // namespace
