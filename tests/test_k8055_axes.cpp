// The analog axes: every mapping example (throttle, flaps, spoilers, rudder with its dead
// band, toe brakes, yoke), reversed wiring, readings beyond the end points, reverse thrust only
// on the ground, the speed hold leaving the throttles alone, axes not in use left unread, and
// degenerate calibrations that must neither divide by zero nor stop the polling.
#include "tests/k8055_fixture.h"

namespace {

struct Row {
    int r, want;
};

class K8055Axes : public K8055Test {
  protected:
    // One pass with analog input `ch` of `board` at r; the last value sent to offset (as 16 or
    // 32 bits signed).
    int send(int board, int ch, int r, uint32_t offset) {
        testboards_analog(board, ch, r);
        pass();
        std::vector<uint32_t> v = written(offset);
        EXPECT_EQ(v.size(), 1u) << offset;
        return v.empty()                              ? -99999
               : offset == 0x0BD0 || offset == 0x0BDC ? (int32_t)v[0]
                                                      : (int16_t)v[0];
    }
    void table(int board, int ch, uint32_t offset, std::initializer_list<Row> rows) {
        for (const Row &row : rows)
            EXPECT_EQ(send(board, ch, row.r, offset), row.want) << "R " << row.r;
    }
    static void cal3(int &en, int &a, int &b, int &c, int x, int y, int z) {
        en = 1, a = x, b = y, c = z;
    }
    static void throttle(int x, int y, int z) {
        cal3(l_throttle_enabled, l_throttle_cal_min, l_throttle_cal_idle, l_throttle_cal_max, x, y,
             z);
    }
    static void spoilers(int x, int y, int z) {
        cal3(spoilers_enabled, spoilers_ret_cal, spoilers_arm_cal, spoilers_ext_cal, x, y, z);
    }
    static void rudder(int x, int y, int z) {
        cal3(rudder_enabled, rudder_left_cal, rudder_center_cal, rudder_right_cal, x, y, z);
    }
    static void flaps(int up, int f8, int f20, int dn) {
        flaps_enabled = 1, flaps_up_cal = up, flaps_8_cal = f8, flaps_20_cal = f20,
        flaps_dn_cal = dn;
    }
    static bool full(int v) {
        return v == 16383 || v == 16382;
    }
};

TEST_F(K8055Axes, ThrottlesEndPointsReverseOnlyOnTheGroundAndReversedWiring) {
    discover({0});
    throttle(20, 60, 230);
    table(0, 1, 0x089A, {{20, -4096}, {60, 64}, {61, 175}, {230, 16230}, {5, -4096}, {250, 16230}});
    EXPECT_EQ(testsim_writes_to(0x089A)[0].data.size(), 2u);
    on_ground = 0;
    table(0, 1, 0x089A, {{20, 80}, {60, 80}, {61, 175}});
    EXPECT_EQ(eng1_throttle_pos, 175);
    l_throttle_enabled = 0;
    on_ground = 1;
    cal3(r_throttle_enabled, r_throttle_cal_min, r_throttle_cal_idle, r_throttle_cal_max, 230, 190,
         20);
    table(0, 2, 0x0932, {{230, -4096}, {190, 64}, {189, 175}, {20, 16230}});
    EXPECT_EQ(eng2_throttle_pos, 16230);
    EXPECT_TRUE(written(0x089A).empty());
    // The speed hold leaves both alone, unread.
    throttle(20, 60, 230);
    spd = 1;
    pass();
    EXPECT_EQ(calls("ReadAnalogChannel"), 0);
    EXPECT_TRUE(testsim_writes().empty());
}

TEST_F(K8055Axes, AxesNotInUseAreNeitherReadNorSent) {
    discover({0, 1, 2, 3});
    throttle(20, 60, 230);
    l_throttle_enabled = 2; // only 1 means in use
    r_throttle_enabled = 1;
    r_throttle_cal_min = r_throttle_cal_max = 100; // equal end points
    rudder(50, 100, 50);
    toe_brakes_enabled = yoke_lr_enabled = yoke_fb_enabled = 1;
    toe_brakes_off_cal = toe_brakes_on_cal = 7;
    yoke_left_cal = yoke_right_cal = 3;
    yoke_forward_cal = yoke_back_cal = 9;
    pass();
    EXPECT_EQ(calls("ReadAnalogChannel"), 0);
    EXPECT_TRUE(testsim_writes().empty());
}

TEST_F(K8055Axes, FlapDetentsAndSpoilerBandsBothWays) {
    discover({1});
    flaps(10, 50, 90, 130);
    const Row f[] = {{0, 0},      {27, 0},      {28, 5461},   {67, 5461},
                     {68, 10922}, {107, 10922}, {108, 16383}, {130, 16383}};
    for (const Row &row : f)
        EXPECT_EQ(send(1, 2, row.r, 0x0BDC), row.want) << row.r;
    EXPECT_EQ(testsim_writes_to(0x0BDC)[0].data.size(), 4u);
    flaps(130, 90, 50, 10);
    for (const Row &row : f)
        EXPECT_EQ(send(1, 2, 140 - row.r, 0x0BDC), row.want) << 140 - row.r;
    table(1, 2, 0x0BDC, {{255, 0}, {0, 16383}});
    // Spoilers after the switches, before the flaps, sent every pass.
    spoilers(10, 40, 200);
    on_ground = 0;
    table(1, 1, 0x0BD0, {{0, 0}, {38, 0}, {39, 4800}, {58, 4800}, {59, 6175}});
    std::vector<std::string> ops;
    for (const testboards_call &c : testboards_trace_of(1))
        if (c.op == "ReadDigitalChannel" || c.op == "ReadAnalogChannel")
            ops.push_back(c.op.substr(4, 1) + std::to_string(c.a));
    EXPECT_EQ(ops, (std::vector<std::string>{"D1", "D2", "D3", "D4", "D5", "A1", "A2"}));
    EXPECT_EQ(written(0x0BDC).size(), 1u);
    EXPECT_TRUE(full(send(1, 1, 200, 0x0BD0)));
    EXPECT_EQ(testsim_writes_to(0x0BD0)[0].data.size(), 4u);
    on_ground = 1;
    table(1, 1, 0x0BD0, {{59, 16383}, {39, 4800}});
    spoilers(200, 170, 10);
    on_ground = 0;
    table(1, 1, 0x0BD0, {{172, 0}, {171, 4800}, {152, 4800}, {151, 6175}});
    EXPECT_EQ(spoiler_pos, 6175);
}

TEST_F(K8055Axes, RudderDeadBandYokeTruncationAndToeBrakes) {
    discover({2, 3});
    rudder(0, 100, 200);
    table(2, 1, 0x0BBA,
          {{0, -16383}, {100, 0}, {150, 8191}, {105, 0}, {94, 0}, {106, 0}, {107, 1146}});
    EXPECT_TRUE(full(send(2, 1, 200, 0x0BBA)));
    rudder(0, 131, 255);
    table(2, 1, 0x0BBA, {{123, -1000}});
    rudder(200, 100, 0);
    table(2, 1, 0x0BBA, {{200, -16383}, {100, 0}, {50, 8191}});
    EXPECT_TRUE(full(send(2, 1, 0, 0x0BBA)));
    EXPECT_TRUE(full(rudder_pos));
    rudder_enabled = 0;
    cal3(yoke_lr_enabled, yoke_left_cal, yoke_center_cal, yoke_right_cal, 0, 100, 111);
    table(3, 1, 0x0BB6, {{111, 16382}, {0, -16383}});
    EXPECT_EQ(aileron_pos, -16383);
    cal3(yoke_fb_enabled, yoke_forward_cal, yoke_mid_cal, yoke_back_cal, 250, 128, 6);
    table(3, 2, 0x0BB2, {{250, -16383}, {128, 0}, {67, 8191}}); // 8191.5 truncated
    EXPECT_EQ(elevator_pos, 8191);
    yoke_lr_enabled = yoke_fb_enabled = 0;
    toe_brakes_enabled = 1, toe_brakes_off_cal = 10, toe_brakes_on_cal = 200;
    for (int r : {0, 10, 105, 200, 255}) {
        testboards_analog(2, 2, r);
        pass();
        std::vector<testsim_write> w = testsim_writes();
        ASSERT_EQ(w.size(), 2u); // left brake first, same value on the right
        EXPECT_EQ(w[0].offset, 0x0BC4u);
        EXPECT_EQ(w[1].offset, 0x0BC6u);
        EXPECT_EQ(w[0].value(), w[1].value());
        int v = (int16_t)w[0].value();
        EXPECT_TRUE(r <= 10 ? v == 0 : r == 105 ? v == 8191 : full(v)) << r << " " << v;
    }
}

TEST_F(K8055Axes, DegenerateCalibrationsSendTheNearestDefinedValueAndKeepPolling) {
    discover({0, 1, 2, 3});
    throttle(20, 20, 230);
    table(0, 1, 0x089A, {{20, 80}, {10, 80}, {230, 210 * 77 + 80}});
    throttle(20, 230, 230);
    table(0, 1, 0x089A, {{230, 210 * 19 - 4096}});
    rudder(50, 50, 200);
    table(2, 1, 0x0BBA, {{50, 0}, {40, 0}});
    EXPECT_TRUE(full(send(2, 1, 200, 0x0BBA)));
    cal3(yoke_lr_enabled, yoke_left_cal, yoke_center_cal, yoke_right_cal, 0, 200, 200);
    table(3, 1, 0x0BB6, {{200, 0}, {0, -16383}});
    spoilers(-1, -1, -1);
    on_ground = 0;
    table(1, 1, 0x0BD0, {{77, 16383}});
    on_ground = 1;
    table(1, 1, 0x0BD0, {{77, 16383}});
    spoilers(10, 200, 200);
    on_ground = 0;
    table(1, 1, 0x0BD0, {{200, 4800}});
    pass();
    for (uint32_t o : {0x089Au, 0x0BBAu, 0x0BB6u, 0x0BD0u})
        EXPECT_EQ(written(o).size(), 1u) << o;
}

} // namespace
