// Tests of the lamp state read: each board's group against the in-process stand-in simulator,
// the gear leg decoding and debounce, the on-ground hysteresis, the gear warning rules at their
// boundaries, pressures, generators, fires, stall, overspeed and the APU power byte.
#include <gtest/gtest.h>

#include <string.h>

#include "app/app.h"
#include "autostart/autostart.h"
#include "k8055/k8055.h"
#include "lamps/lamps.h"
#include "simlink/simlink.h"
#include "tests/support/testsim.h"

namespace {

// What the board-0 group reads about gear, levers and altitude.
struct aircraft {
    int32_t nose = 16383, left = 16383, right = 16383; // legs
    int32_t lever = 16383;                             // gear lever
    int16_t throttle1 = 0, throttle2 = 0;
    int16_t ground = 1; // the simulator's on-ground report
    int32_t flaps = 0;
    uint32_t radio_altitude = 0;
};

// Radio altitude values around 500 ft (the read divides by 21052.63).
const uint32_t below_500_ft = 10526314;
const uint32_t above_500_ft = 10526316;
const uint32_t cruise_altitude = 200000000;

void put(const aircraft &a) {
    testsim_set(0x0BEC, 4, (uint32_t)a.nose);
    testsim_set(0x0BF4, 4, (uint32_t)a.left);
    testsim_set(0x0BF0, 4, (uint32_t)a.right);
    testsim_set(0x0BE8, 4, (uint32_t)a.lever);
    testsim_set(0x088C, 2, (uint16_t)a.throttle1);
    testsim_set(0x0924, 2, (uint16_t)a.throttle2);
    testsim_set(0x0366, 2, (uint16_t)a.ground);
    testsim_set(0x0BDC, 4, (uint32_t)a.flaps);
    testsim_set(0x31E4, 4, a.radio_altitude);
}

// Airborne in cruise: legs and lever up, throttles forward, high above the ground.
aircraft cruise() {
    aircraft a;
    a.nose = a.left = a.right = 0;
    a.lever = 0;
    a.throttle1 = a.throttle2 = 8000;
    a.ground = 0;
    a.radio_altitude = cruise_altitude;
    return a;
}

class LampsRead : public ::testing::Test {
  protected:
    void SetUp() override {
        testsim_start();
        testsleep_record();
        ASSERT_TRUE(FSUIPC_Open(0, &dwResult));
        testsleep_clear();
        vel_zero = vel_one = vel_two = vel_three = 0;
        gear = count = 0;
        on_ground = 1;
        gear_nose = gear_left = gear_right = 0;
        stall = overspeed = l_eng_fire = r_eng_fire = 0;
        l_ign_switch = r_ign_switch = 0;
        eng1_starting = eng2_starting = 0;
        apu_speed = 0.0f;
        fsx_apu_speed = 0.0f;
    }
    void TearDown() override {
        FSUIPC_Close();
        testsim_stop();
        testsleep_real();
        vel_zero = vel_one = vel_two = vel_three = 0;
    }

    // One read pass with board 0 present, after putting the aircraft in the simulator.
    int32_t gear_after(const aircraft &a) {
        put(a);
        vel_zero = 1;
        k8055_fsuipc_read(0);
        return gear;
    }
};

TEST_F(LampsRead, GearLegsDecodeUpDownAndTransit) {
    aircraft a;
    a.nose = 0;
    a.left = 16383;
    a.right = 16382; // one short of down is still moving
    gear_after(a);
    EXPECT_EQ(gear_nose, 0);
    EXPECT_EQ(gear_left, 1);
    EXPECT_EQ(gear_right, -1);

    a.nose = 16384;
    a.left = -5;
    a.right = 1;
    gear_after(a);
    EXPECT_EQ(gear_nose, -1);
    EXPECT_EQ(gear_left, -1);
    EXPECT_EQ(gear_right, -1);
}

TEST_F(LampsRead, FourDisagreeingPassesSetTheWarningAndFiveAgreeingClearIt) {
    aircraft a;  // parked: no rule raises the warning
    a.right = 0; // two legs down, one up: disagreement
    for (int pass = 1; pass <= 3; pass++) {
        EXPECT_EQ(gear_after(a), 0) << "pass " << pass;
        EXPECT_EQ(count, pass);
    }
    EXPECT_EQ(gear_after(a), 1);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(gear_after(a), 1);
    EXPECT_EQ(count, 4) << "held at 4";

    a.right = 16383; // all down: agreement
    for (int pass = 1; pass <= 4; pass++) {
        EXPECT_EQ(gear_after(a), 1) << "agreeing pass " << pass;
        EXPECT_EQ(count, 4 - pass);
    }
    EXPECT_EQ(gear_after(a), 0);
    EXPECT_EQ(count, 0);
}

TEST_F(LampsRead, MixedAndAllInTransitLegsCountAsAgreeing) {
    aircraft a;
    a.nose = 0;
    a.left = 16383;
    a.right = 100; // 0 + 1 - 1 = 0
    gear = 1;
    count = 4;
    for (int pass = 1; pass <= 4; pass++)
        EXPECT_EQ(gear_after(a), 1);
    EXPECT_EQ(gear_after(a), 0);

    a.nose = a.left = a.right = 8000; // -3
    gear = 1;
    count = 1;
    gear_after(a);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(gear_after(a), 0);
}

TEST_F(LampsRead, OnGroundChangesOnlyWhenThrottlesAgreeWithTheReport) {
    aircraft a;
    a.ground = 0;
    a.throttle1 = a.throttle2 = 1057;
    gear_after(a);
    EXPECT_EQ(on_ground, 1) << "airborne report with throttles back keeps on the ground";

    a.throttle2 = 1058;
    gear_after(a);
    EXPECT_EQ(on_ground, 0);

    a.ground = 1;
    gear_after(a);
    EXPECT_EQ(on_ground, 0) << "on-ground report with a throttle forward keeps airborne";

    a.throttle2 = 1057;
    gear_after(a);
    EXPECT_EQ(on_ground, 1);

    a.ground = 2; // neither report
    a.throttle1 = 5000;
    gear_after(a);
    EXPECT_EQ(on_ground, 1);
}

TEST_F(LampsRead, FlapsAbove5600WithNoLegDownAndThrottlesBackWarn) {
    aircraft a = cruise();
    gear_after(a);
    ASSERT_EQ(on_ground, 0);
    ASSERT_EQ(gear, 0);

    a.throttle1 = a.throttle2 = 1631; // still airborne: the report says so
    a.flaps = 5600;
    EXPECT_EQ(gear_after(a), 0);
    a.flaps = 5601;
    EXPECT_EQ(gear_after(a), 1);

    count = 0;
    a.throttle2 = 1632;
    EXPECT_EQ(gear_after(a), 0);

    gear = count = 0;
    a.throttle2 = 1631;
    a.nose = 16383; // one leg down
    EXPECT_EQ(gear_after(a), 0);
}

TEST_F(LampsRead, LeverUpOnTheGroundWarns) {
    aircraft a;
    a.lever = 0;
    EXPECT_EQ(gear_after(a), 1);

    aircraft b = cruise(); // lever up in the air: no warning
    EXPECT_EQ(gear_after(b), 0);
    EXPECT_EQ(on_ground, 0);
}

TEST_F(LampsRead, FlapsAbove11000WithNoLegDownWarnWhateverTheThrottles) {
    aircraft a = cruise();
    a.throttle1 = a.throttle2 = 5000;
    a.flaps = 11000;
    EXPECT_EQ(gear_after(a), 0);
    a.flaps = 11001;
    EXPECT_EQ(gear_after(a), 1);

    gear = count = 0; // a disagreeing pass keeps the last warning, so start afresh
    a.left = 16383;
    EXPECT_EQ(gear_after(a), 0);
}

TEST_F(LampsRead, LeverDisagreeingWithLockedLegsInTheAirWarns) {
    aircraft a = cruise();
    a.nose = a.left = a.right = 16383; // down and locked, lever up
    EXPECT_EQ(gear_after(a), 1);

    count = 0;
    a = cruise();
    a.lever = 16383; // lever down, legs still up
    EXPECT_EQ(gear_after(a), 1);

    count = 0;
    a.nose = a.left = a.right = 16383; // lever down and legs down
    EXPECT_EQ(gear_after(a), 0);
}

TEST_F(LampsRead, LowWithGearNotDownAndThrottlesBackWarns) {
    aircraft a = cruise();
    a.throttle1 = 9999;
    a.throttle2 = 9999;
    a.radio_altitude = above_500_ft;
    EXPECT_EQ(gear_after(a), 0);
    a.radio_altitude = below_500_ft;
    EXPECT_EQ(gear_after(a), 1);

    count = 0;
    a.throttle2 = 10000;
    EXPECT_EQ(gear_after(a), 0);

    count = 0;
    a.throttle2 = 9999;
    a.lever = 16383;
    a.nose = a.left = a.right = 16383; // down and locked on final
    EXPECT_EQ(gear_after(a), 0);

    // On the ground the low-altitude rule does not apply.
    aircraft parked;
    parked.nose = parked.left = parked.right = 0; // legs reading up (agreeing)
    parked.throttle1 = parked.throttle2 = 500;
    on_ground = 1;
    count = 0;
    EXPECT_EQ(gear_after(parked), 0);
}

TEST_F(LampsRead, PressuresLowAtOrBelowTheirLimits) {
    testsim_set(0x08BA, 2, 6851);
    testsim_set(0x08F8, 4, 720);
    testsim_set(0x0952, 2, 6852);
    testsim_set(0x0990, 4, 721);
    gear_after(aircraft());
    EXPECT_EQ(l_oil_press_low, 1);
    EXPECT_EQ(l_fuel_press_low, 1);
    EXPECT_EQ(r_oil_press_low, 0);
    EXPECT_EQ(r_fuel_press_low, 0);

    testsim_set(0x08BA, 2, 40000);        // unsigned
    testsim_set(0x08F8, 4, (uint32_t)-5); // signed
    testsim_set(0x0952, 2, 0);
    gear_after(aircraft());
    EXPECT_EQ(l_oil_press_low, 0);
    EXPECT_EQ(l_fuel_press_low, 1);
    EXPECT_EQ(r_oil_press_low, 1);
}

TEST_F(LampsRead, GeneratorsOffLineUnlessExactlyOne) {
    testsim_set(0x3B7C, 4, 1);
    testsim_set(0x3ABC, 4, 0);
    gear_after(aircraft());
    EXPECT_EQ(eng1_generator, 0);
    EXPECT_EQ(eng2_generator, 1);
    EXPECT_EQ(gen_fail, 1);
    EXPECT_EQ(emer_batt, 0);

    testsim_set(0x3B7C, 4, 2);
    testsim_set(0x3ABC, 4, 0x100);
    gear_after(aircraft());
    EXPECT_EQ(eng1_generator, 1);
    EXPECT_EQ(eng2_generator, 1);
    EXPECT_EQ(emer_batt, 1);

    testsim_set(0x3B7C, 4, 1);
    testsim_set(0x3ABC, 4, 1);
    gear_after(aircraft());
    EXPECT_EQ(gen_fail, 0);
    EXPECT_EQ(emer_batt, 0);
}

TEST_F(LampsRead, BrakesFiresStallAndOverspeed) {
    struct {
        uint8_t fires;
        int left, right;
    } cases[] = {{0, 0, 0},  {1, 1, 0},  {2, 0, 1},  {3, 1, 1},   {12, 0, 0},
                 {15, 1, 1}, {16, 0, 0}, {17, 0, 0}, {255, 0, 0}, {6, 0, 1}};
    for (auto &c : cases) {
        testsim_set(0x3366, 1, c.fires);
        gear_after(aircraft());
        EXPECT_EQ(l_eng_fire, c.left) << "fire byte " << (int)c.fires;
        EXPECT_EQ(r_eng_fire, c.right) << "fire byte " << (int)c.fires;
    }

    testsim_set(0x0B63, 1, 2);
    testsim_set(0x036C, 1, 1);
    testsim_set(0x036D, 1, 1);
    gear_after(aircraft());
    EXPECT_EQ(normal_brakes_fail, 1);
    EXPECT_EQ(stall, 1);
    EXPECT_EQ(overspeed, 1);

    testsim_set(0x0B63, 1, 0);
    testsim_set(0x036C, 1, 2); // only exactly 1 counts
    testsim_set(0x036D, 1, 3);
    gear_after(aircraft());
    EXPECT_EQ(normal_brakes_fail, 0);
    EXPECT_EQ(stall, 0);
    EXPECT_EQ(overspeed, 0);
}

TEST_F(LampsRead, ApuSpeedReceivedAndPowerByteWrittenFromFifty) {
    float reported = 37.5f;
    uint32_t bits;
    memcpy(&bits, &reported, 4);
    testsim_set(0x0B54, 4, bits);

    apu_speed = 50.0f;
    testsim_clear_writes();
    gear_after(aircraft());
    EXPECT_EQ(fsx_apu_speed, 37.5f);
    auto writes = testsim_writes_to(0x0B52);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].data.size(), 1u);
    EXPECT_EQ(writes[0].value(), 1u);

    apu_speed = 49.99f;
    testsim_clear_writes();
    gear_after(aircraft());
    writes = testsim_writes_to(0x0B52);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].value(), 0u);
    EXPECT_EQ(testsim_get(0x0B52, 1), 0u);
}

TEST_F(LampsRead, BoardZeroGroupIsOneExchangePlusTheWriteBackAndPausesTwentyMs) {
    int before = testsim_requests();
    testsleep_clear();
    gear_after(aircraft());
    EXPECT_EQ(testsim_requests() - before, 2);
    std::vector<unsigned> pauses = testsleep_pauses();
    ASSERT_EQ(pauses.size(), 1u);
    EXPECT_EQ(pauses[0], 20u);
}

TEST_F(LampsRead, NoBoardReadsNothingAndChangesNothing) {
    testsim_set(0x036C, 1, 1);
    testsim_set(0x0BE8, 4, 0);
    int before = testsim_requests();
    testsim_clear_writes();
    k8055_fsuipc_read(0);
    EXPECT_EQ(testsim_requests(), before);
    EXPECT_TRUE(testsim_writes().empty());
    EXPECT_EQ(stall, 0);
    EXPECT_EQ(gear, 0);
    EXPECT_TRUE(testsleep_pauses().empty());
}

TEST_F(LampsRead, BoardOneModesAreOneOnlyWhenExactlyOne) {
    const uint32_t offsets[8] = {0x2EE0, 0x07C8, 0x07C4, 0x0800, 0x07BC, 0x0808, 0x07DC, 0x07D0};
    int32_t *flags[8] = {&fd1, &hdg, &nav, &app, &ap, &yd, &spd, &alt};
    for (int i = 0; i < 8; i++)
        testsim_set(offsets[i], 4, i % 2 == 0 ? 1 : 2);
    vel_one = 1;
    k8055_fsuipc_read(0);
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(*flags[i], i % 2 == 0 ? 1 : 0) << "mode " << i;

    for (int i = 0; i < 8; i++)
        testsim_set(offsets[i], 4, i % 2 == 0 ? 0 : 1);
    k8055_fsuipc_read(0);
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(*flags[i], i % 2 == 0 ? 0 : 1) << "mode " << i;
}

TEST_F(LampsRead, BoardTwoSwitchesPumpsCrossfeedApuFireAntiIce) {
    testsim_set(0x3B78, 4, 1);
    testsim_set(0x3AB8, 4, 0);
    testsim_set(0x281C, 4, 257);
    testsim_set(0x3125, 1, 0x83);
    testsim_set(0x341F, 1, 7);
    testsim_set(0x0B53, 1, 1);
    testsim_set(0x08B2, 2, 1);
    vel_two = 1;
    k8055_fsuipc_read(0);
    EXPECT_EQ(gen1_switch, 1);
    EXPECT_EQ(gen2_switch, 0);
    EXPECT_EQ(main_batt_switch, 0);
    EXPECT_EQ(fuel_pumps, 0x83);
    EXPECT_EQ(fuel_xfeed, 7);
    EXPECT_EQ(apu_fire, 1);
    EXPECT_EQ(anti_ice, 1);

    testsim_set(0x08B2, 2, 0x101);
    testsim_set(0x0B53, 1, 2);
    k8055_fsuipc_read(0);
    EXPECT_EQ(anti_ice, 0);
    EXPECT_EQ(apu_fire, 0);
}

TEST_F(LampsRead, BoardThreeAloneKeepsStallAndFiresCurrentButNotGearOrOverspeed) {
    testsim_set(0x036C, 1, 1);
    testsim_set(0x036D, 1, 1);
    testsim_set(0x3366, 1, 3);
    testsim_set(0x0BE8, 4, 0); // lever up on the ground would warn with board 0
    testsim_set(0x092A, 2, 1);
    testsim_set(0x0892, 2, 2);
    testsim_set(0x029C, 1, 1);
    vel_three = 1;
    k8055_fsuipc_read(0);
    EXPECT_EQ(stall, 1);
    EXPECT_EQ(l_eng_fire, 1);
    EXPECT_EQ(r_eng_fire, 1);
    EXPECT_EQ(r_start, 1);
    EXPECT_EQ(l_start, 0);
    EXPECT_EQ(pitot_heat, 1);
    EXPECT_EQ(gear, 0);
    EXPECT_EQ(overspeed, 0);
    EXPECT_EQ(fsx_apu_speed, 0.0f);
}

TEST_F(LampsRead, IgnitionIsLeftToTheAutostartWhileItsEngineStarts) {
    vel_three = 1;
    testsim_set(0x208C, 4, 0);
    testsim_set(0x218C, 4, 0);
    l_ign_switch = 1;
    r_ign_switch = 1;
    eng1_starting = 1;
    k8055_fsuipc_read(0);
    EXPECT_EQ(l_ign_switch, 1);
    EXPECT_EQ(r_ign_switch, 0);

    eng1_starting = 0;
    eng2_starting = 1;
    testsim_set(0x208C, 4, 1);
    r_ign_switch = 1;
    k8055_fsuipc_read(0);
    EXPECT_EQ(l_ign_switch, 1);
    EXPECT_EQ(r_ign_switch, 1);

    eng2_starting = 0;
    testsim_set(0x208C, 4, 2);
    k8055_fsuipc_read(0);
    EXPECT_EQ(l_ign_switch, 0);
    EXPECT_EQ(r_ign_switch, 0);
}

TEST_F(LampsRead, AllBoardsMakeOneExchangePerGroupInBoardOrder) {
    vel_zero = vel_one = vel_two = vel_three = 1;
    int before = testsim_requests();
    k8055_fsuipc_read(0);
    EXPECT_EQ(testsim_requests() - before, 5);
}

} // namespace
