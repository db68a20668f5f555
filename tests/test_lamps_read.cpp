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

// Sets simulator values: offset, size, value, offset, size, value...
void poke(std::initializer_list<uint32_t> values) {
    for (auto v = values.begin(); v + 2 < values.end(); v += 3)
        testsim_set(v[0], v[1], v[2]);
}

// Checks flags against expected values, numbered in the message.
void expect_flags(std::initializer_list<const int32_t *> flags, std::initializer_list<int> values) {
    ASSERT_EQ(flags.size(), values.size());
    for (size_t i = 0; i < flags.size(); i++)
        EXPECT_EQ(*flags.begin()[i], values.begin()[i]) << "flag " << i;
}

// Airborne in cruise: legs and lever up, throttles forward, high above the ground.
aircraft cruise() {
    aircraft a;
    a.nose = a.left = a.right = a.lever = 0;
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
        vel_zero = vel_one = vel_two = vel_three = gear = count = 0;
        gear_nose = gear_left = gear_right = stall = overspeed = l_eng_fire = r_eng_fire = 0;
        l_ign_switch = r_ign_switch = eng1_starting = eng2_starting = 0;
        on_ground = 1;
        apu_speed = fsx_apu_speed = 0.0f;
    }
    void TearDown() override {
        FSUIPC_Close();
        testsim_stop();
        testsleep_real();
        vel_zero = vel_one = vel_two = vel_three = 0;
    }

    // One read pass with board 0 present, after putting the aircraft in the simulator.
    int32_t gear_after(const aircraft &a) {
        poke({0x0BEC, 4, (uint32_t)a.nose,      0x0BF4, 4, (uint32_t)a.left,
              0x0BF0, 4, (uint32_t)a.right,     0x0BE8, 4, (uint32_t)a.lever,
              0x088C, 2, (uint16_t)a.throttle1, 0x0924, 2, (uint16_t)a.throttle2,
              0x0366, 2, (uint16_t)a.ground,    0x0BDC, 4, (uint32_t)a.flaps,
              0x31E4, 4, a.radio_altitude});
        vel_zero = 1;
        k8055_fsuipc_read(0);
        return gear;
    }
};

TEST_F(LampsRead, GearLegsDecodeAndDebounce) {
    aircraft a;
    a.nose = 0;
    a.right = 16382; // one short of down is still moving
    gear_after(a);
    expect_flags({&gear_nose, &gear_left, &gear_right}, {0, 1, -1});
    a.nose = 16384;
    a.left = -5;
    gear_after(a);
    EXPECT_EQ(gear_nose, -1);
    EXPECT_EQ(gear_left, -1);

    // Parked, no rule warns: four disagreeing passes set the warning, five agreeing clear it.
    gear = count = 0;
    a = aircraft();
    a.right = 0;
    for (int pass = 1; pass <= 5; pass++) {
        EXPECT_EQ(gear_after(a), pass >= 4 ? 1 : 0) << "pass " << pass;
        EXPECT_EQ(count, pass >= 4 ? 4 : pass);
    }
    a.right = 100; // 0 + 1 - 1 = 0: mixed legs agree
    a.nose = 0;
    for (int pass = 1; pass <= 5; pass++) {
        EXPECT_EQ(gear_after(a), pass <= 4 ? 1 : 0) << "agreeing pass " << pass;
        EXPECT_EQ(count, pass <= 4 ? 4 - pass : 0);
    }
    a.nose = a.left = a.right = 8000; // -3: all in transit agree
    gear = count = 1;
    gear_after(a);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(gear_after(a), 0);
}

TEST_F(LampsRead, OnGroundChangesOnlyWhenThrottlesAgreeWithTheReport) {
    struct {
        int16_t ground, throttle1, throttle2;
        int on_ground;
    } rows[] = {{0, 1057, 1057, 1},
                {0, 1057, 1058, 0},
                {1, 1057, 1058, 0},
                {1, 1057, 1057, 1},
                {2, 5000, 1057, 1}};
    aircraft a;
    for (auto &r : rows) {
        a.ground = r.ground;
        a.throttle1 = r.throttle1;
        a.throttle2 = r.throttle2;
        gear_after(a);
        EXPECT_EQ(on_ground, r.on_ground) << r.ground << " " << r.throttle1 << " " << r.throttle2;
    }
}

TEST_F(LampsRead, GearWarningRulesAtTheirBoundaries) {
    // Each row starts from cruise with the debounce cleared.
    struct {
        const char *what;
        int16_t throttle1, throttle2;
        int32_t flaps, legs_down, lever_down;
        uint32_t altitude;
        int gear;
    } rows[] = {
        {"cruise", 8000, 8000, 0, 0, 0, cruise_altitude, 0},
        {"flaps 5600", 1631, 1631, 5600, 0, 0, cruise_altitude, 0},
        {"flaps 5601", 1631, 1631, 5601, 0, 0, cruise_altitude, 1},
        {"flaps 5601 throttle 1632", 1631, 1632, 5601, 0, 0, cruise_altitude, 0},
        {"flaps 5601 nose down", 1631, 1631, 5601, 1, 0, cruise_altitude, 0},
        {"flaps 11000", 5000, 5000, 11000, 0, 0, cruise_altitude, 0},
        {"flaps 11001", 5000, 5000, 11001, 0, 0, cruise_altitude, 1},
        {"flaps 11001 left down", 5000, 5000, 11001, 2, 0, cruise_altitude, 0},
        {"legs down lever up", 8000, 8000, 0, 7, 0, cruise_altitude, 1},
        {"lever down legs up", 8000, 8000, 0, 0, 1, cruise_altitude, 1},
        {"lever and legs down", 8000, 8000, 0, 7, 1, cruise_altitude, 0},
        {"above 500 ft", 9999, 9999, 0, 0, 0, above_500_ft, 0},
        {"below 500 ft", 9999, 9999, 0, 0, 0, below_500_ft, 1},
        {"below 500 ft throttle 10000", 9999, 10000, 0, 0, 0, below_500_ft, 0},
        {"below 500 ft down and locked", 9999, 9999, 0, 7, 1, below_500_ft, 0},
    };
    for (auto &r : rows) {
        aircraft a = cruise();
        a.throttle1 = r.throttle1;
        a.throttle2 = r.throttle2;
        a.flaps = r.flaps;
        a.nose = r.legs_down & 1 ? 16383 : 0;
        a.left = r.legs_down & 2 ? 16383 : 0;
        a.right = r.legs_down & 4 ? 16383 : 0;
        a.lever = r.lever_down ? 16383 : 0;
        a.radio_altitude = r.altitude;
        gear = count = 0;
        EXPECT_EQ(gear_after(a), r.gear) << r.what;
        EXPECT_EQ(on_ground, 0) << r.what;
    }
    // On the ground the lever up warns, the low-altitude rule does not apply.
    aircraft parked;
    parked.lever = 0;
    EXPECT_EQ(gear_after(parked), 1);
    parked.nose = parked.left = parked.right = 0;
    parked.throttle1 = parked.throttle2 = 500;
    parked.lever = 16383;
    on_ground = 1;
    gear = count = 0;
    EXPECT_EQ(gear_after(parked), 0);
}

TEST_F(LampsRead, PressuresGeneratorsFiresBrakesStallAndOverspeed) {
    poke({0x08BA, 2, 6851, 0x08F8, 4, 720, 0x0952, 2, 6852, 0x0990, 4, 721, 0x3B7C, 4, 1,
          0x3ABC, 4, 0,    0x0B63, 1, 2,   0x036C, 1, 1,    0x036D, 1, 1});
    gear_after(aircraft());
    expect_flags({&l_oil_press_low, &l_fuel_press_low, &r_oil_press_low, &r_fuel_press_low,
                  &eng1_generator, &eng2_generator, &gen_fail, &emer_batt, &normal_brakes_fail,
                  &stall, &overspeed},
                 {1, 1, 0, 0, 0, 1, 1, 0, 1, 1, 1});

    poke({0x08BA, 2,     40000,  0x08F8, 4, (uint32_t)-5, 0x0952, 2, 0,      0x3B7C, 4, 2, 0x3ABC,
          4,      0x100, 0x0B63, 1,      0, 0x036C,       1,      2, 0x036D, 1,      3});
    gear_after(aircraft());
    expect_flags({&l_oil_press_low, &l_fuel_press_low, &r_oil_press_low, &eng1_generator,
                  &eng2_generator, &emer_batt, &normal_brakes_fail, &stall, &overspeed},
                 {0, 1, 1, 1, 1, 1, 0, 0, 0});

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
}

TEST_F(LampsRead, ApuPowerByteWrittenFromFiftyInOneExchangePlusWriteBack) {
    float reported = 37.5f;
    uint32_t bits;
    memcpy(&bits, &reported, 4);
    testsim_set(0x0B54, 4, bits);
    for (float speed : {50.0f, 49.99f}) {
        apu_speed = speed;
        testsim_clear_writes();
        testsleep_clear();
        int before = testsim_requests();
        gear_after(aircraft());
        EXPECT_EQ(testsim_requests() - before, 2);
        EXPECT_EQ(testsleep_pauses(), std::vector<unsigned>{20u});
        EXPECT_EQ(fsx_apu_speed, 37.5f);
        auto writes = testsim_writes_to(0x0B52);
        ASSERT_EQ(writes.size(), 1u);
        EXPECT_EQ(writes[0].data.size(), 1u);
        EXPECT_EQ(writes[0].value(), speed >= 50.0f ? 1u : 0u);
    }
    EXPECT_EQ(testsim_get(0x0B52, 1), 0u);
}

TEST_F(LampsRead, NoBoardReadsNothingAllBoardsOneExchangePerGroup) {
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
    vel_zero = vel_one = vel_two = vel_three = 1;
    k8055_fsuipc_read(0);
    EXPECT_EQ(testsim_requests() - before, 5);
}

TEST_F(LampsRead, BoardOneModesAreOneOnlyWhenExactlyOne) {
    const uint32_t offsets[8] = {0x2EE0, 0x07C8, 0x07C4, 0x0800, 0x07BC, 0x0808, 0x07DC, 0x07D0};
    int32_t *flags[8] = {&fd1, &hdg, &nav, &app, &ap, &yd, &spd, &alt};
    vel_one = 1;
    for (uint32_t odd : {0u, 1u}) {
        for (int i = 0; i < 8; i++)
            testsim_set(offsets[i], 4, i % 2 == 0 ? 1 - odd : 2 - odd);
        k8055_fsuipc_read(0);
        for (int i = 0; i < 8; i++)
            EXPECT_EQ(*flags[i], i % 2 == 0 ? 1 - (int)odd : (int)odd) << "mode " << i;
    }
}

TEST_F(LampsRead, BoardTwoSwitchesPumpsCrossfeedApuFireAntiIce) {
    poke({0x3B78, 4,      1, 0x3AB8, 4,      0, 0x281C, 4,      257, 0x3125, 1,
          0x83,   0x341F, 1, 7,      0x0B53, 1, 1,      0x08B2, 2,   1});
    vel_two = 1;
    k8055_fsuipc_read(0);
    expect_flags({&gen1_switch, &gen2_switch, &main_batt_switch, &apu_fire, &anti_ice},
                 {1, 0, 0, 1, 1});
    EXPECT_EQ(fuel_pumps, 0x83);
    EXPECT_EQ(fuel_xfeed, 7);
    testsim_set(0x08B2, 2, 0x101);
    testsim_set(0x0B53, 1, 2);
    k8055_fsuipc_read(0);
    EXPECT_EQ(anti_ice, 0);
    EXPECT_EQ(apu_fire, 0);
}

TEST_F(LampsRead, BoardThreeAloneKeepsStallAndFiresCurrentButNotGearOrOverspeed) {
    poke({0x036C, 1,      1, 0x036D, 1,      1, 0x3366, 1,      3, 0x0BE8, 4,
          0,      0x092A, 2, 1,      0x0892, 2, 2,      0x029C, 1, 1});
    vel_three = 1;
    k8055_fsuipc_read(0);
    expect_flags(
        {&stall, &l_eng_fire, &r_eng_fire, &r_start, &l_start, &pitot_heat, &gear, &overspeed},
        {1, 1, 1, 1, 0, 1, 0, 0});
    EXPECT_EQ(fsx_apu_speed, 0.0f);
}

TEST_F(LampsRead, IgnitionIsLeftToTheAutostartWhileItsEngineStarts) {
    // Per row: left and right ignition reads, engine starting, expected switches.
    struct {
        uint32_t l_read, r_read;
        int eng1, eng2, l_expect, r_expect;
    } rows[] = {{0, 0, 1, 0, 1, 0}, {1, 0, 0, 1, 1, 1}, {2, 0, 0, 0, 0, 0}};
    vel_three = 1;
    for (auto &r : rows) {
        testsim_set(0x208C, 4, r.l_read);
        testsim_set(0x218C, 4, r.r_read);
        l_ign_switch = r_ign_switch = 1;
        eng1_starting = r.eng1;
        eng2_starting = r.eng2;
        k8055_fsuipc_read(0);
        EXPECT_EQ(l_ign_switch, r.l_expect);
        EXPECT_EQ(r_ign_switch, r.r_expect);
    }
}

} // namespace
