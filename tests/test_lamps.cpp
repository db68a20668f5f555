// The lamps: the aircraft state read of each board's group (gear legs and their debounce, the
// on-ground hysteresis, the gear warning rules, pressures, generators, fires, modes, switches,
// ignition), the APU power byte and spool value, the lamp outputs with their change test and
// master contributors, and the flashing master warning and steady caution.
#include "tests/support/testboards.h"

#include <cmath>
#include <limits>
#include <string.h>

namespace {

typedef std::vector<uint32_t> W;

// Sets simulator values: offset, size, value, offset, size, value...
void poke(std::initializer_list<uint32_t> v) {
    for (auto p = v.begin(); p + 2 < v.end(); p += 3)
        testsim_set(p[0], p[1], p[2]);
}

// What the board-0 group reads about gear, levers and altitude; parked by default.
struct aircraft {
    int32_t nose = 16383, left = 16383, right = 16383, lever = 16383;
    int16_t throttle1 = 0, throttle2 = 0, ground = 1;
    int32_t flaps = 0;
    uint32_t radio_altitude = 0;
};

const uint32_t cruise_altitude = 200000000; // radio altitude units: 21052.63 to the foot

class Lamps : public CockpitTest {
  protected:
    // One read pass with board 0's group only; the gear warning after it.
    static int32_t gear_after(const aircraft &a) {
        poke({0x0BEC, 4, (uint32_t)a.nose,      0x0BF4, 4, (uint32_t)a.left,
              0x0BF0, 4, (uint32_t)a.right,     0x0BE8, 4, (uint32_t)a.lever,
              0x088C, 2, (uint16_t)a.throttle1, 0x0924, 2, (uint16_t)a.throttle2,
              0x0366, 2, (uint16_t)a.ground,    0x0BDC, 4, (uint32_t)a.flaps,
              0x31E4, 4, a.radio_altitude});
        vel_zero = 1;
        k8055_fsuipc_read(0);
        return gear;
    }
    // A board's digital outputs 1..8 as 0/1 digits, then its two analog levels.
    static std::string lamps(int b) {
        std::string s;
        for (int ch = 1; ch <= 8; ch++)
            s += (char)('0' + testboards_output(b, ch));
        return s + " " + std::to_string(testboards_analog_output(b, 1)) + " " +
               std::to_string(testboards_analog_output(b, 2));
    }
    // Refreshes; the boards the refresh selected, in order.
    static std::string refreshed() {
        forget();
        k8055_outputs();
        std::string s;
        for (const testboards_call &c : testboards_trace())
            s += c.op == "SetCurrentDevice" ? std::to_string(c.a) : "";
        return s;
    }
};

TEST_F(Lamps, GearLegsAndTheirDebounce) {
    aircraft a;
    a.nose = 0;
    a.right = 16382; // one short of down is still moving
    gear_after(a);
    EXPECT_EQ((std::vector<int>{gear_nose, gear_left, gear_right}), (std::vector<int>{0, 1, -1}));
    a.nose = 16384;
    a.left = -5;
    gear_after(a);
    EXPECT_EQ(gear_nose + gear_left, -2);
    // Parked, no rule warns: four disagreeing passes set the warning, five agreeing clear it.
    gear = count = 0;
    a = aircraft();
    a.right = 0;
    for (int pass = 1; pass <= 5; pass++)
        EXPECT_EQ(gear_after(a) * 10 + count, (pass >= 4) * 10 + std::min(pass, 4)) << pass;
    a.right = 100; // 0 + 1 - 1 = 0: mixed legs agree
    a.nose = 0;
    for (int pass = 1; pass <= 5; pass++)
        EXPECT_EQ(gear_after(a) * 10 + count, (pass <= 4) * 10 + std::max(4 - pass, 0)) << pass;
    a.nose = a.left = a.right = 8000; // -3: all in transit agree
    gear = count = 1;
    EXPECT_EQ(gear_after(a) * 10 + count, 10);
    EXPECT_EQ(gear_after(a) * 10 + count, 0);
}

TEST_F(Lamps, OnGroundAndGearWarningRules) {
    const struct {
        int16_t ground, throttle1, throttle2, on_ground;
    } grounds[] = {{0, 1057, 1057, 1},
                   {0, 1057, 1058, 0},
                   {1, 1057, 1058, 0},
                   {1, 1057, 1057, 1},
                   {2, 5000, 1057, 1}};
    aircraft a;
    for (auto &r : grounds) {
        a.ground = r.ground, a.throttle1 = r.throttle1, a.throttle2 = r.throttle2;
        gear_after(a);
        EXPECT_EQ(on_ground, r.on_ground) << r.ground << " " << r.throttle1 << " " << r.throttle2;
    }
    // Airborne from cruise (legs and lever up); legs: bits nose 1, left 2, right 4.
    const struct {
        int16_t throttle1, throttle2;
        int32_t flaps, legs, lever;
        uint32_t altitude;
        int gear;
    } rows[] = {
        {8000, 8000, 0, 0, 0, cruise_altitude, 0},
        {1631, 1631, 5600, 0, 0, cruise_altitude, 0},
        {1631, 1631, 5601, 0, 0, cruise_altitude, 1},
        {1631, 1632, 5601, 0, 0, cruise_altitude, 0},
        {1632, 1631, 5601, 0, 0, cruise_altitude, 0},
        {1631, 1631, 5601, 1, 0, cruise_altitude, 0},
        {5000, 5000, 11000, 0, 0, cruise_altitude, 0},
        {5000, 5000, 11001, 0, 0, cruise_altitude, 1},
        {5000, 5000, 11001, 2, 0, cruise_altitude, 0},
        {5000, 5000, 11001, 4, 0, cruise_altitude, 0},
        {8000, 8000, 0, 7, 0, cruise_altitude, 1},
        {8000, 8000, 0, 0, 1, cruise_altitude, 1},
        {8000, 8000, 0, 7, 1, cruise_altitude, 0},
        {9999, 9999, 0, 0, 0, 10526316, 0},
        {9999, 9999, 0, 0, 0, 10526314, 1},
        {9999, 10000, 0, 0, 0, 10526314, 0},
        {10000, 9999, 0, 0, 0, 10526314, 0},
        {9999, 9999, 0, 7, 1, 10526314, 0},
        {9999, 9999, 0, 3, 1, 10526314, 1},
    };
    for (auto &r : rows) {
        a = aircraft();
        a.ground = 0, a.radio_altitude = r.altitude, a.throttle1 = r.throttle1;
        a.throttle2 = r.throttle2, a.flaps = r.flaps, a.lever = r.lever ? 16383 : 0;
        a.nose = r.legs & 1 ? 16383 : 0, a.left = r.legs & 2 ? 16383 : 0;
        a.right = r.legs & 4 ? 16383 : 0;
        gear = count = 0;
        EXPECT_EQ(gear_after(a), r.gear) << &r - rows;
        EXPECT_EQ(on_ground, 0);
    }
    a = aircraft(); // on the ground the lever up warns, the low-altitude rule does not apply
    a.lever = 0;
    EXPECT_EQ(gear_after(a), 1);
    a.nose = a.left = a.right = 0;
    a.lever = 16383;
    gear = count = 0;
    EXPECT_EQ(gear_after(a), 0);
}

TEST_F(Lamps, PressuresGeneratorsFiresApuByteAndGroups) {
    poke({0x08BA, 2, 6851, 0x08F8, 4, 720, 0x0952, 2, 6852, 0x0990, 4, 721, 0x3B7C, 4, 1,
          0x3ABC, 4, 0,    0x0B63, 1, 2,   0x036C, 1, 1,    0x036D, 1, 1});
    gear_after(aircraft());
    int32_t *flags[] = {
        &l_oil_press_low, &l_fuel_press_low, &r_oil_press_low, &r_fuel_press_low,   &eng1_generator,
        &eng2_generator,  &gen_fail,         &emer_batt,       &normal_brakes_fail, &stall,
        &overspeed};
    std::string got;
    for (int32_t *f : flags)
        got += std::to_string(*f);
    EXPECT_EQ(got, "11000110111");
    poke({0x08BA, 2, 40000, 0x08F8, 4, (uint32_t)-5, 0x0952, 2, 0, 0x0990, 4, 0,
          0x3B7C, 4, 2,     0x3ABC, 4, 0x100,        0x0B63, 1, 0, 0x036C, 1, 2,
          0x036D, 1, 3});
    gear_after(aircraft());
    got.clear();
    for (int32_t *f : flags)
        got += std::to_string(*f);
    EXPECT_EQ(got, "01111111000");
    const int fires[][3] = {{0, 0, 0},  {1, 1, 0},  {2, 0, 1},  {3, 1, 1},   {12, 0, 0},
                            {15, 1, 1}, {16, 0, 0}, {17, 0, 0}, {255, 0, 0}, {6, 0, 1}};
    for (auto &f : fires) {
        testsim_set(0x3366, 1, f[0]);
        gear_after(aircraft());
        EXPECT_EQ(l_eng_fire * 10 + r_eng_fire, f[1] * 10 + f[2]) << "fire byte " << f[0];
    }
    // The APU power byte: from 50.0 on, in its own exchange after the group's and its pause.
    float reported = 37.5f;
    uint32_t bits;
    memcpy(&bits, &reported, 4);
    testsim_set(0x0B54, 4, bits);
    for (float speed : {50.0f, 49.99f}) {
        apu_speed = speed;
        forget();
        int before = testsim_requests();
        gear_after(aircraft());
        EXPECT_EQ(testsim_requests() - before, 2);
        EXPECT_EQ(testsleep_pauses(), Pauses{20});
        EXPECT_EQ(fsx_apu_speed, 37.5f);
        ASSERT_EQ(testsim_writes_to(0x0B52).size(), 1u);
        EXPECT_EQ(testsim_writes_to(0x0B52)[0].data.size(), 1u);
        EXPECT_EQ(written(0x0B52), W{speed >= 50.0f ? 1u : 0u});
    }
    // No board reads nothing; all four boards one exchange per group plus the write-back.
    vel_zero = 0;
    stall = 0;
    testsim_set(0x036C, 1, 1);
    int before = testsim_requests();
    k8055_fsuipc_read(0);
    EXPECT_EQ(testsim_requests() - before + stall, 0);
    vel_zero = vel_one = vel_two = vel_three = 1;
    k8055_fsuipc_read(0);
    EXPECT_EQ(testsim_requests() - before, 5);
}

TEST_F(Lamps, BoardOneTwoAndThreeGroups) {
    const uint32_t modes[8] = {0x2EE0, 0x07C8, 0x07C4, 0x0800, 0x07BC, 0x0808, 0x07DC, 0x07D0};
    int32_t *flags[8] = {&fd1, &hdg, &nav, &app, &ap, &yd, &spd, &alt};
    vel_one = 1;
    for (uint32_t odd : {0u, 1u}) {
        for (int i = 0; i < 8; i++)
            testsim_set(modes[i], 4, i % 2 == 0 ? 1 - odd : 2 - odd);
        k8055_fsuipc_read(0);
        for (int i = 0; i < 8; i++)
            EXPECT_EQ(*flags[i], i % 2 == 0 ? 1 - (int)odd : (int)odd) << "mode " << i;
    }
    vel_one = 0, vel_two = 1;
    poke({0x3B78, 4,      1, 0x3AB8, 4,      0, 0x281C, 4,      257, 0x3125, 1,
          0x83,   0x341F, 1, 7,      0x0B53, 1, 1,      0x08B2, 2,   1});
    k8055_fsuipc_read(0);
    EXPECT_EQ((std::vector<int>{gen1_switch, gen2_switch, main_batt_switch, apu_fire, anti_ice,
                                fuel_pumps, fuel_xfeed}),
              (std::vector<int>{1, 0, 0, 1, 1, 0x83, 7}));
    poke({0x3B78, 4, 2, 0x3AB8, 4, 1, 0x281C, 4, 1, 0x0B53, 1, 2, 0x08B2, 2, 0x101});
    k8055_fsuipc_read(0);
    EXPECT_EQ((std::vector<int>{gen1_switch, gen2_switch, main_batt_switch, apu_fire, anti_ice}),
              (std::vector<int>{0, 1, 1, 0, 0}));
    // Board 3 alone keeps stall and fires current, not gear or overspeed.
    vel_two = 0, vel_three = 1;
    poke({0x036C, 1,      1, 0x036D, 1,      1, 0x3366, 1,      3, 0x0BE8, 4,
          0,      0x092A, 2, 1,      0x0892, 2, 2,      0x029C, 1, 1});
    k8055_fsuipc_read(0);
    EXPECT_EQ((std::vector<int>{stall, l_eng_fire, r_eng_fire, r_start, l_start, pitot_heat, gear,
                                overspeed}),
              (std::vector<int>{1, 1, 1, 1, 0, 1, 0, 0}));
    poke({0x036C, 1, 0, 0x3366, 1, 0, 0x092A, 2, 2, 0x0892, 2, 1, 0x029C, 1, 2});
    k8055_fsuipc_read(0);
    EXPECT_EQ((std::vector<int>{stall, l_eng_fire, r_eng_fire, r_start, l_start, pitot_heat}),
              (std::vector<int>{0, 0, 0, 0, 1, 0}));
    // The ignition is left to the autostart while its engine starts: {reads, starting, after}.
    const int rows[][6] = {{0, 0, 1, 0, 1, 0},
                           {1, 0, 0, 1, 1, 1},
                           {0, 1, 0, 0, 0, 1},
                           {2, 1, 0, 0, 0, 1},
                           {1, 2, 0, 0, 1, 0}};
    for (auto &r : rows) {
        testsim_set(0x208C, 4, r[0]);
        testsim_set(0x218C, 4, r[1]);
        l_ign_switch = r_ign_switch = 1;
        eng1_starting = r[2], eng2_starting = r[3];
        k8055_fsuipc_read(0);
        EXPECT_EQ(l_ign_switch * 10 + r_ign_switch, r[4] * 10 + r[5]) << &r - rows;
    }
}

TEST_F(Lamps, FailedExchangesReconnectAndTheReadGoesOn) {
    vel_zero = 1;
    apu_speed = 60.0f;
    testfail_after(0); // the group's exchange
    k8055_fsuipc_read(0);
    EXPECT_EQ(testsim_writes_to(0x3380).size(), 1u);
    EXPECT_EQ(testsleep_pauses().back(), 20u) << "the group went on to its pause";
    EXPECT_EQ(written(0x0B52), W{1});
    forget();
    testfail_after(1); // the write-back
    k8055_fsuipc_read(0);
    EXPECT_EQ(testsim_writes_to(0x3380).size(), 1u);
    EXPECT_TRUE(written(0x0B52).empty());
    // A failed clock read leaves the warning lamp as it was; the caution is still driven.
    discover(1);
    electrics = 1;
    warn = caution = 1.0f;
    testsim_set(0x023A, 1, 7); // odd: a good read would put the warning out
    testboards_set_output(0, 7, 1);
    testfail_after(0);
    k8055_warn_caution();
    EXPECT_EQ(testsim_writes_to(0x3380).size(), 1u);
    EXPECT_EQ(lamps(0).substr(6, 2), "11");
}

TEST_F(Lamps, RefreshOnlyWhenAWatchedValueChanges) {
    EXPECT_EQ(refreshed(), "");
    EXPECT_TRUE(testboards_trace().empty()) << "no board drives nothing";
    discover(15);
    EXPECT_EQ(refreshed(), "");
    EXPECT_TRUE(testboards_trace().empty()) << "nothing changed: no driver call";
    int32_t *flags[] = {&normal_brakes_fail,
                        &l_oil_press_low,
                        &l_fuel_press_low,
                        &gear,
                        &emer_batt,
                        &gen_fail,
                        &r_fuel_press_low,
                        &r_oil_press_low,
                        &l_eng_fire,
                        &r_eng_fire,
                        &stall,
                        &overspeed,
                        &gear_nose,
                        &gear_left,
                        &gear_right,
                        &eng1_generator,
                        &eng2_generator,
                        &electrics,
                        &fd1,
                        &hdg,
                        &nav,
                        &app,
                        &ap,
                        &yd,
                        &spd,
                        &alt,
                        &gen1_switch,
                        &gen2_switch,
                        &main_batt_switch,
                        &apu_fire,
                        &l_start,
                        &r_start,
                        &l_ign_switch,
                        &r_ign_switch,
                        &anti_ice,
                        &pitot_heat,
                        &eng_autostart,
                        &l_rev_unsafe,
                        &l_eng_pylon_ovht,
                        &l_bleed_air_leak,
                        &wing_ovht,
                        &wing_stab_leak,
                        &stab_ovht,
                        &r_bleed_air_leak,
                        &r_eng_pylon_ovht,
                        &r_rev_unsafe};
    for (size_t i = 0; i < sizeof flags / sizeof flags[0]; i++) {
        *flags[i] = !*flags[i];
        EXPECT_EQ(refreshed(), "0123") << "watched value " << i;
        *flags[i] = !*flags[i];
        EXPECT_EQ(refreshed(), "0123");
    }
    const float speeds[] = {0.5f, 0.0f};
    for (float s : speeds) {
        apu_speed = s;
        EXPECT_EQ(refreshed(), "0123");
    }
    for (uint8_t *b : {&fuel_pumps, &fuel_xfeed})
        for (int v : {9, 0}) {
            *b = (uint8_t)v;
            EXPECT_EQ(refreshed(), "0123");
        }
    EXPECT_EQ(refreshed(), "");
}

TEST_F(Lamps, LampTablesGaugeAndPowerLoss) {
    discover(15);
    testboards_set_output(0, 7, 1); // the master lamps are not the refresh's
    testboards_set_output(0, 8, 1);
    gear_left = -1, gear_nose = 1, gear_right = 0;
    k8055_outputs();
    EXPECT_EQ(lamps(0), "10001011 0 0");
    gear_left = 1, gear_nose = 0, gear_right = -1;
    k8055_outputs();
    EXPECT_EQ(lamps(0), "00110011 0 0");
    const float inf = std::numeric_limits<float>::infinity();
    const std::pair<float, long> levels[] = {{100.0f, 200}, {37.9f, 75},   {NAN, 0},
                                             {inf, 255},    {-inf, 0},     {1e30f, 255},
                                             {-5.0f, 0},    {127.9f, 255}, {0.4f, 0}};
    for (const auto &r : levels) {
        apu_speed = r.first;
        forget();
        k8055_outputs();
        long level = -1;
        for (const testboards_call &c : testboards_trace())
            level = c.op == "OutputAnalogChannel" && c.a == 1 ? c.b : level;
        EXPECT_EQ(level, r.second) << r.first;
    }
    int32_t *modes[8] = {&fd1, &hdg, &nav, &app, &ap, &yd, &spd, &alt};
    for (int i = 0; i < 8; i++)
        *modes[i] = i % 3 == 0 ? 1 : (i % 3 == 1 ? 0 : 2);
    gen1_switch = overspeed = l_start = l_ign_switch = r_eng_fire = pitot_heat = 1;
    main_batt_switch = 2;
    k8055_outputs();
    EXPECT_EQ(lamps(1) + " " + lamps(2) + " " + lamps(3),
              "10010010 0 0 01100001 255 0 11010001 0 0");
    l_start = l_ign_switch = r_eng_fire = pitot_heat = overspeed = gen1_switch = 0;
    r_start = r_ign_switch = l_eng_fire = stall = fuel_xfeed = apu_fire = anti_ice = gear = 1;
    gen2_switch = main_batt_switch = 1;
    k8055_outputs();
    EXPECT_EQ(lamps(2) + " " + lamps(3), "10000110 0 255 00101111 255 0");
    const char *pumps[] = {"00", "10", "01", "11", "00"};
    for (int p = 0; p <= 4; p++) {
        fuel_pumps = (uint8_t)p;
        testboards_set_output(2, 4, 1);
        testboards_set_output(2, 5, 1);
        apu_speed = (float)p; // a refresh even where the pump byte did not change
        k8055_outputs();
        EXPECT_EQ(lamps(2).substr(3, 2), pumps[p]) << p;
    }
    apu_speed = 37.9f;
    electrics = 0; // power lost: every board dark but the APU gauge
    l_eng_fire = stall = gear = 0;
    silence = 1;
    k8055_outputs();
    EXPECT_EQ(lamps(0) + " " + lamps(1) + " " + lamps(2) + " " + lamps(3),
              "00000000 75 0 00000000 0 0 00000000 0 0 00000000 0 0");
    EXPECT_EQ(warn + caution, 0.0f);
    l_eng_fire = 1; // a new fire while unpowered: lamp dark, no un-silencing
    k8055_outputs();
    EXPECT_EQ(l_eng_fire_store * 10 + silence, 11);
    EXPECT_EQ(warn, 0.0f);
    EXPECT_EQ(lamps(3), "00000000 0 0");
}

TEST_F(Lamps, ContributorsRaiseTheMasterStatesAndUnsilence) {
    // {boards, flag, warn, caution, un-silences}
    const struct {
        int mask;
        int32_t *flag;
        float warn, caution;
        int unsilences;
    } rows[] = {
        {1, &normal_brakes_fail, 1, 0, 1},
        {1, &l_oil_press_low, 1, 0, 1},
        {1, &l_fuel_press_low, 1, 0, 1},
        {1, &gear, 1, 0, 1},
        {1, &emer_batt, 0, 1, 1},
        {1, &gen_fail, 0, 1, 1},
        {1, &r_fuel_press_low, 1, 0, 1},
        {1, &r_oil_press_low, 1, 0, 1},
        {1, &l_eng_fire, 1, 0, 1},
        {1, &r_eng_fire, 1, 0, 1},
        {1, &stall, 1, 0, 1},
        {1, &overspeed, 1, 0, 1},
        {1, &apu_fire, 1, 0, 1},
        {1, &l_rev_unsafe, 1, 0, 1},
        {1, &l_eng_pylon_ovht, 1, 0, 1},
        {1, &l_bleed_air_leak, 1, 0, 1},
        {1, &wing_ovht, 1, 0, 1},
        {1, &wing_stab_leak, 1, 0, 1},
        {1, &stab_ovht, 1, 0, 1},
        {1, &r_bleed_air_leak, 1, 0, 1},
        {1, &r_eng_pylon_ovht, 1, 0, 1},
        {1, &r_rev_unsafe, 1, 0, 1},
        {4, &apu_fire, 1, 0, 1},
        {8, &l_eng_fire, 1, 0, 1},
        {8, &r_eng_fire, 1, 0, 1},
        {8, &stall, 1, 0, 1},
        {2, &stall, 0, 0, 0},
    };
    for (auto &r : rows) {
        SCOPED_TRACE(&r - rows);
        reset_state();
        discover(r.mask);
        electrics = 1;
        silence = 1;
        *r.flag = 1;
        k8055_outputs();
        EXPECT_EQ(warn * 10 + caution, r.warn * 10 + r.caution);
        EXPECT_EQ(silence, 1 - r.unsilences);
        *r.flag = 0;
        k8055_outputs();
        EXPECT_EQ(warn + caution, 0.0f);
    }
    reset_state(); // an open crossfeed raises the caution on board 2, never un-silencing
    discover(4);
    fuel_xfeed = silence = 1;
    k8055_outputs();
    EXPECT_EQ(caution * 10 + silence, 11);
    // A fire already burning at the first refresh does not un-silence; a later one does.
    reset_state();
    discover(9);
    l_eng_fire_store = -2;
    l_eng_fire = silence = 1;
    k8055_outputs();
    EXPECT_EQ(warn * 10 + silence, 11);
    r_eng_fire = 1;
    k8055_outputs();
    EXPECT_EQ(lamps(3).substr(2, 2) + std::to_string(silence), "110");
    silence = 1; // fires that stay burning do not un-silence again
    apu_speed = 10.0f;
    k8055_outputs();
    EXPECT_EQ(warn * 10 + silence, 11);
}

TEST_F(Lamps, MasterWarningFlashesCautionSteady) {
    discover(3);
    electrics = 1;
    warn = caution = 1.0f;
    const int rows[][3] = {{10, 1, 1}, {11, 0, 1}, {11, 0, 1}, {59, 0, 1}, {0, 1, 1}, {254, 1, 1}};
    for (auto &r : rows) {
        testsim_set(0x023A, 1, r[0]);
        EXPECT_EQ(k8055_warn_caution(), 0);
        EXPECT_EQ(lamps(0).substr(6, 2), std::to_string(r[1]) + std::to_string(r[2])) << r[0];
    }
    EXPECT_EQ(seconds, 254);
    warn = caution = 0.0f;
    k8055_warn_caution();
    EXPECT_EQ(lamps(0).substr(6, 2), "00");
    // Silenced, unpowered (only exactly 1 is power here): dark, and no clock read.
    warn = caution = 1.0f;
    int before = testsim_requests();
    for (int s : {1, 0, 0}) {
        silence = s;
        electrics = s ? 1 : electrics == 1 ? 0 : 2;
        testsim_set(0x023A, 1, 6);
        k8055_warn_caution();
        EXPECT_EQ(lamps(0).substr(6, 2), "00");
    }
    EXPECT_EQ(testsim_requests(), before);
    electrics = 1;
    k8055_warn_caution();
    EXPECT_EQ(testsim_requests(), before + 1);
    EXPECT_EQ(lamps(0).substr(6, 2), "11");
    // Board 0 only: its lamps are driven after selecting it, and nothing without it.
    testboards_set_output(1, 8, 0);
    forget();
    k8055_warn_caution();
    EXPECT_EQ(testboards_trace()[0].op + std::to_string(testboards_trace()[0].a),
              "SetCurrentDevice0");
    EXPECT_EQ(testboards_output(1, 8), 0);
    vel_zero = 0;
    forget();
    before = testsim_requests();
    EXPECT_EQ(k8055_warn_caution(), 0);
    EXPECT_TRUE(testboards_trace().empty());
    EXPECT_EQ(testsim_requests(), before);
}

TEST_F(Lamps, ApuSpoolOneStepFromEachState) {
    // {switch, speed before, simulator's speed, speed after}: no clamping past the ends.
    const float rows[][4] = {{1, 0, 0, 2},          {1, 98, 0, 100},         {1, 100, 0, 100},
                             {1, 99.5, 0, 101.5},   {0, 100, 0, 98},         {0, 2, 0, 0},
                             {0, 0, 0, 0},          {0, 1, 0, -1},           {2, 30, 0, 30},
                             {1, 40, 73.25, 73.25}, {0, 40, 0.002f, 0.002f}, {1, 5, 0.0009f, 7}};
    for (auto &r : rows) {
        apu_status = (int)r[0];
        apu_speed = r[1];
        fsx_apu_speed = r[2];
        apu_spool_step();
        EXPECT_EQ(apu_speed, r[3]) << r[0] << " " << r[1] << " " << r[2];
    }
}

} // namespace
