// The analog axes: every mapping example (throttle, flaps, spoilers, rudder with its dead
// band, toe brakes, yoke), reversed wiring, readings beyond the end points, reverse thrust only
// on the ground, the speed hold leaving the throttles alone, axes not in use left unread, and
// degenerate calibrations that must neither divide by zero nor stop the polling.
#include "tests/k8055_fixture.h"

namespace {

class K8055Axes : public K8055Test {
  protected:
    // One pass with analog input `channel` of `board` at r; the last value sent to offset.
    int send(int board, int channel, int r, uint32_t offset) {
        testboards_analog(board, channel, r);
        pass();
        return written16(offset);
    }
    // As send, for the 4-byte spoiler and flap values.
    int send32(int board, int channel, int r, uint32_t offset) {
        testboards_analog(board, channel, r);
        pass();
        std::vector<uint32_t> v = written(offset);
        EXPECT_EQ(v.size(), 1u);
        return v.empty() ? -99999 : (int32_t)v.back();
    }
    static void left_throttle(int min, int idle, int max) {
        l_throttle_enabled = 1;
        l_throttle_cal_min = min;
        l_throttle_cal_idle = idle;
        l_throttle_cal_max = max;
    }
    static void spoilers(int ret, int arm, int ext) {
        spoilers_enabled = 1;
        spoilers_ret_cal = ret;
        spoilers_arm_cal = arm;
        spoilers_ext_cal = ext;
    }
    static void flaps(int up, int f8, int f20, int dn) {
        flaps_enabled = 1;
        flaps_up_cal = up;
        flaps_8_cal = f8;
        flaps_20_cal = f20;
        flaps_dn_cal = dn;
    }
    static void rudder(int left, int centre, int right) {
        rudder_enabled = 1;
        rudder_left_cal = left;
        rudder_center_cal = centre;
        rudder_right_cal = right;
    }
};

// The example calibration 20 / 60 / 230 (quotients 104 and 95).
TEST_F(K8055Axes, ThrottleExampleOnTheGroundAndInTheAir) {
    discover({0});
    left_throttle(20, 60, 230);
    on_ground = 1;
    EXPECT_EQ(send(0, 1, 20, 0x089A), -4096);
    EXPECT_EQ(send(0, 1, 60, 0x089A), 64);
    EXPECT_EQ(send(0, 1, 61, 0x089A), 175);
    EXPECT_EQ(send(0, 1, 230, 0x089A), 16230);
    EXPECT_EQ(testsim_writes_to(0x089A)[0].data.size(), 2u);
    // Beyond the end points: as the end points.
    EXPECT_EQ(send(0, 1, 5, 0x089A), -4096);
    EXPECT_EQ(send(0, 1, 250, 0x089A), 16230);
    EXPECT_EQ(analog_input, 230);
    // In the air no reverse: everything below 80 becomes 80.
    on_ground = 0;
    EXPECT_EQ(send(0, 1, 20, 0x089A), 80);
    EXPECT_EQ(send(0, 1, 60, 0x089A), 80);
    EXPECT_EQ(send(0, 1, 61, 0x089A), 175);
    EXPECT_EQ(eng1_throttle_pos, 175);
}

TEST_F(K8055Axes, RightThrottleAndReversedWiring) {
    discover({0});
    r_throttle_enabled = 1;
    r_throttle_cal_min = 230;
    r_throttle_cal_idle = 190;
    r_throttle_cal_max = 20;
    EXPECT_EQ(send(0, 2, 230, 0x0932), -4096);
    EXPECT_EQ(send(0, 2, 190, 0x0932), 64);
    EXPECT_EQ(send(0, 2, 189, 0x0932), 175);
    EXPECT_EQ(send(0, 2, 20, 0x0932), 16230);
    EXPECT_EQ(eng2_throttle_pos, 16230);
    EXPECT_TRUE(written(0x089A).empty());
}

TEST_F(K8055Axes, AxesNotInUseAreNeitherReadNorSent) {
    discover({0, 1, 2, 3});
    left_throttle(20, 60, 230);
    l_throttle_enabled = 2; // only 1 means in use
    r_throttle_enabled = 1;
    r_throttle_cal_min = r_throttle_cal_max = 100; // equal end points
    rudder(50, 100, 50);
    toe_brakes_enabled = 1;
    toe_brakes_off_cal = toe_brakes_on_cal = 7;
    yoke_lr_enabled = 1;
    yoke_left_cal = yoke_right_cal = 3;
    yoke_fb_enabled = 1;
    yoke_forward_cal = yoke_back_cal = 9;
    pass();
    EXPECT_EQ(calls("ReadAnalogChannel"), 0);
    EXPECT_TRUE(testsim_writes().empty());
}

TEST_F(K8055Axes, SpeedHoldLeavesBothThrottlesAlone) {
    discover({0});
    left_throttle(20, 60, 230);
    r_throttle_enabled = 1;
    r_throttle_cal_min = 20;
    r_throttle_cal_idle = 60;
    r_throttle_cal_max = 230;
    spd = 1;
    pass();
    EXPECT_EQ(calls("ReadAnalogChannel"), 0);
    EXPECT_TRUE(written(0x089A).empty());
    EXPECT_TRUE(written(0x0932).empty());
    spd = 0;
    pass();
    EXPECT_EQ(calls("ReadAnalogChannel"), 2);
    EXPECT_EQ(written(0x089A).size(), 1u);
    EXPECT_EQ(written(0x0932).size(), 1u);
}

TEST_F(K8055Axes, FlapDetentsBothWays) {
    discover({1});
    flaps(10, 50, 90, 130);
    const int reading[] = {0, 27, 28, 67, 68, 107, 108, 130, 200};
    const int value[] = {0, 0, 5461, 5461, 10922, 10922, 16383, 16383, 16383};
    for (int i = 0; i < 9; i++)
        EXPECT_EQ(send32(1, 2, reading[i], 0x0BDC), value[i]) << "R " << reading[i];
    EXPECT_EQ(testsim_writes_to(0x0BDC)[0].data.size(), 4u);
    // Reversed wiring maps the mirrored readings the same way.
    flaps(130, 90, 50, 10);
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(send32(1, 2, 140 - reading[i], 0x0BDC), value[i]) << "R " << 140 - reading[i];
    EXPECT_EQ(send32(1, 2, 255, 0x0BDC), 0);
    EXPECT_EQ(send32(1, 2, 0, 0x0BDC), 16383);
}

TEST_F(K8055Axes, SpoilerBandsBothWays) {
    discover({1});
    spoilers(10, 40, 200);
    on_ground = 0;
    EXPECT_EQ(send32(1, 1, 0, 0x0BD0), 0);
    EXPECT_EQ(send32(1, 1, 38, 0x0BD0), 0);
    EXPECT_EQ(send32(1, 1, 39, 0x0BD0), 4800);
    EXPECT_EQ(send32(1, 1, 40, 0x0BD0), 4800);
    EXPECT_EQ(send32(1, 1, 58, 0x0BD0), 4800);
    EXPECT_EQ(send32(1, 1, 59, 0x0BD0), 6175);
    int full = send32(1, 1, 200, 0x0BD0);
    EXPECT_TRUE(full == 16383 || full == 16382) << full;
    EXPECT_EQ(testsim_writes_to(0x0BD0)[0].data.size(), 4u);
    on_ground = 1;
    EXPECT_EQ(send32(1, 1, 59, 0x0BD0), 16383);
    EXPECT_EQ(send32(1, 1, 39, 0x0BD0), 4800);
    // Reversed wiring: the mirror of each reading maps to the same value.
    spoilers(200, 170, 10);
    on_ground = 0;
    EXPECT_EQ(send32(1, 1, 172, 0x0BD0), 0);
    EXPECT_EQ(send32(1, 1, 171, 0x0BD0), 4800);
    EXPECT_EQ(send32(1, 1, 152, 0x0BD0), 4800);
    EXPECT_EQ(send32(1, 1, 151, 0x0BD0), 6175);
    EXPECT_EQ(spoiler_pos, 6175);
}

TEST_F(K8055Axes, LeverAxesComeAfterTheSwitchesSpoilersFirst) {
    discover({1});
    spoilers(10, 40, 200);
    flaps(10, 50, 90, 130);
    pass();
    std::vector<std::string> ops;
    for (const testboards_call &c : testboards_trace_of(1))
        if (c.op == "ReadDigitalChannel" || c.op == "ReadAnalogChannel")
            ops.push_back(c.op.substr(4, 1) + std::to_string(c.a));
    EXPECT_EQ(ops, (std::vector<std::string>{"D1", "D2", "D3", "D4", "D5", "A1", "A2"}));
    // Sent on every pass, changed or not.
    pass();
    EXPECT_EQ(written(0x0BD0).size(), 1u);
    EXPECT_EQ(written(0x0BDC).size(), 1u);
}

TEST_F(K8055Axes, RudderMappingDeadBandAndReversedWiring) {
    discover({2});
    rudder(0, 100, 200);
    EXPECT_EQ(send(2, 1, 0, 0x0BBA), -16383);
    EXPECT_EQ(send(2, 1, 100, 0x0BBA), 0);
    EXPECT_EQ(send(2, 1, 150, 0x0BBA), 8191);
    int full = send(2, 1, 200, 0x0BBA);
    EXPECT_TRUE(full == 16383 || full == 16382) << full;
    // 819 and -982 fall in the dead band.
    EXPECT_EQ(send(2, 1, 105, 0x0BBA), 0);
    EXPECT_EQ(send(2, 1, 94, 0x0BBA), 0);
    EXPECT_EQ(send(2, 1, 106, 0x0BBA), 0);
    // 1146 and -1000 are outside it.
    EXPECT_EQ(send(2, 1, 107, 0x0BBA), 1146);
    rudder(0, 131, 255);
    EXPECT_EQ(send(2, 1, 123, 0x0BBA), -1000);
    // Reversed: the first point sends -16383, the centre 0.
    rudder(200, 100, 0);
    EXPECT_EQ(send(2, 1, 200, 0x0BBA), -16383);
    EXPECT_EQ(send(2, 1, 100, 0x0BBA), 0);
    EXPECT_EQ(send(2, 1, 50, 0x0BBA), 8191);
    full = send(2, 1, 0, 0x0BBA);
    EXPECT_TRUE(full == 16383 || full == 16382) << full;
    EXPECT_EQ(rudder_pos, full);
}

TEST_F(K8055Axes, ThreePointEndFallsAHairShortWithElevenSteps) {
    discover({3});
    yoke_lr_enabled = 1;
    yoke_left_cal = 0;
    yoke_center_cal = 100;
    yoke_right_cal = 111;
    EXPECT_EQ(send(3, 1, 111, 0x0BB6), 16382);
    EXPECT_EQ(send(3, 1, 0, 0x0BB6), -16383);
    EXPECT_EQ(aileron_pos, -16383);
    yoke_fb_enabled = 1;
    yoke_forward_cal = 250;
    yoke_mid_cal = 128;
    yoke_back_cal = 6;
    EXPECT_EQ(send(3, 2, 250, 0x0BB2), -16383);
    EXPECT_EQ(send(3, 2, 128, 0x0BB2), 0);
    // (67 - 128) x (16383 / -122) = 8191.5: truncated toward zero.
    EXPECT_EQ(send(3, 2, 67, 0x0BB2), 8191);
    EXPECT_EQ(elevator_pos, 8191);
}

TEST_F(K8055Axes, ToeBrakesSendOneValueToBothBrakes) {
    discover({2});
    toe_brakes_enabled = 1;
    toe_brakes_off_cal = 10;
    toe_brakes_on_cal = 200;
    for (int r : {0, 10, 105, 200, 255}) {
        testboards_analog(2, 2, r);
        pass();
        std::vector<uint32_t> left = written(0x0BC4), right = written(0x0BC6);
        ASSERT_EQ(left.size(), 1u);
        EXPECT_EQ(left, right);
        int v = (int16_t)left[0];
        if (r <= 10)
            EXPECT_EQ(v, 0);
        else if (r == 105)
            EXPECT_EQ(v, 8191); // 95 x 86.226...
        else
            EXPECT_TRUE(v == 16383 || v == 16382) << v;
    }
    // Left brake queued before the right.
    std::vector<testsim_write> w = testsim_writes();
    ASSERT_EQ(w.size(), 2u);
    EXPECT_EQ(w[0].offset, 0x0BC4u);
    EXPECT_EQ(w[1].offset, 0x0BC6u);
}

TEST_F(K8055Axes, DegenerateCalibrationsSendTheNearestDefinedValueAndKeepPolling) {
    discover({0, 1, 2, 3});
    // Idle equal to reverse: no reverse range; at the stop the throttle is at idle.
    left_throttle(20, 20, 230);
    on_ground = 1;
    EXPECT_EQ(send(0, 1, 20, 0x089A), 80);
    EXPECT_EQ(send(0, 1, 10, 0x089A), 80);
    EXPECT_EQ(send(0, 1, 230, 0x089A), 210 * 77 + 80);
    // Idle equal to full thrust: every reading is in the reverse range.
    left_throttle(20, 230, 230);
    EXPECT_EQ(send(0, 1, 230, 0x089A), 210 * 19 - 4096);

    // Centre equal to the first point: the first point is the centre.
    rudder(50, 50, 200);
    EXPECT_EQ(send(2, 1, 50, 0x0BBA), 0);
    EXPECT_EQ(send(2, 1, 40, 0x0BBA), 0);
    int full = send(2, 1, 200, 0x0BBA);
    EXPECT_TRUE(full == 16383 || full == 16382) << full;
    // Centre equal to the last point: the whole travel is the first range.
    yoke_lr_enabled = 1;
    yoke_left_cal = 0;
    yoke_center_cal = 200;
    yoke_right_cal = 200;
    EXPECT_EQ(send(3, 1, 200, 0x0BB6), 0);
    EXPECT_EQ(send(3, 1, 0, 0x0BB6), -16383);

    // Spoiler points all equal (armed equal to extended): fully extended, air or ground.
    spoilers(-1, -1, -1);
    on_ground = 0;
    EXPECT_EQ(send32(1, 1, 77, 0x0BD0), 16383);
    on_ground = 1;
    EXPECT_EQ(send32(1, 1, 77, 0x0BD0), 16383);
    // Armed equal to extended with distinct end points: the armed band reaches the end.
    spoilers(10, 200, 200);
    on_ground = 0;
    EXPECT_EQ(send32(1, 1, 200, 0x0BD0), 4800);

    // The polling goes on: the next pass sends every axis again.
    pass();
    EXPECT_EQ(written(0x089A).size(), 1u);
    EXPECT_EQ(written(0x0BBA).size(), 1u);
    EXPECT_EQ(written(0x0BB6).size(), 1u);
    EXPECT_EQ(written(0x0BD0).size(), 1u);
}

} // namespace
