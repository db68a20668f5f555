// Tests of the lamp outputs on virtual boards: the change test over every watched value, the
// lamp table of each board, power loss, the APU gauge, the fuel pump lamps, and the master
// warning and caution states with silencing and un-silencing.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "app/app.h"
#include "autostart/autostart.h"
#include "k8055/k8055.h"
#include "lamps/lamps.h"
#include "rmu/rmu.h"
#include "simlink/simlink.h"
#include "tests/support/testboards.h"
#include "tests/support/testsim.h"

namespace {

// clang-format off
int32_t *const int_flags[] = {
    &normal_brakes_fail, &l_oil_press_low, &l_fuel_press_low, &gear, &emer_batt, &gen_fail,
    &r_fuel_press_low, &r_oil_press_low, &l_eng_fire, &r_eng_fire, &stall, &overspeed, &gear_nose,
    &gear_left, &gear_right, &eng1_generator, &eng2_generator, &fd1, &hdg, &nav, &app, &ap, &yd,
    &spd, &alt, &gen1_switch, &gen2_switch, &main_batt_switch, &apu_fire, &l_start, &r_start,
    &l_ign_switch, &r_ign_switch, &anti_ice, &pitot_heat, &l_rev_unsafe, &l_eng_pylon_ovht,
    &l_bleed_air_leak, &wing_ovht, &wing_stab_leak, &stab_ovht, &r_bleed_air_leak,
    &r_eng_pylon_ovht, &r_rev_unsafe};

int32_t *const int_stores[] = {
    &normal_brakes_fail_store, &l_oil_press_low_store, &l_fuel_press_low_store, &gear_store,
    &emer_batt_store, &gen_fail_store, &r_fuel_press_low_store, &r_oil_press_low_store,
    &l_eng_fire_store, &r_eng_fire_store, &stall_store, &overspeed_store, &gear_nose_store,
    &gear_left_store, &gear_right_store, &eng1_generator_store, &eng2_generator_store,
    &electrics_store, &fd1_store, &hdg_store, &nav_store, &app_store, &ap_store, &yd_store,
    &spd_store, &alt_store, &gen1_switch_store, &gen2_switch_store, &main_batt_switch_store,
    &apu_fire_store, &l_start_store, &r_start_store, &l_ign_switch_store, &r_ign_switch_store,
    &anti_ice_store, &pitot_heat_store, &eng_autostart_store, &l_rev_unsafe_store,
    &l_eng_pylon_ovht_store, &l_bleed_air_leak_store, &wing_ovht_store, &wing_stab_leak_store,
    &stab_ovht_store, &r_bleed_air_leak_store, &r_eng_pylon_ovht_store, &r_rev_unsafe_store};
// clang-format on

// Every flag 0, the stores as before the first refresh, power on.
void reset_lamp_state() {
    for (int32_t *f : int_flags)
        *f = 0;
    for (int32_t *s : int_stores)
        *s = -2;
    apu_speed_store = -2.0f;
    fuel_pumps_store = fuel_xfeed_store = fuel_pumps = fuel_xfeed = 0;
    apu_speed = 0.0f;
    eng_autostart = electrics = 1;
    silence = vel_zero = vel_one = vel_two = vel_three = 0;
    warn = caution = 0.0f;
}

class LampOutputs : public ::testing::Test {
  protected:
    void SetUp() override {
        testsim_start();
        testsleep_record();
        testboards_start();
        reset_lamp_state();
    }
    void TearDown() override {
        testboards_stop();
        testsim_stop();
        testsleep_real();
        reset_lamp_state();
    }

    // Plugs and opens the boards of a mask, as discovery would.
    void boards(int mask) {
        for (int b = 0; b < 4; b++)
            if (mask & (1 << b))
                testboards_plug(b, 1);
        SearchDevices();
        int32_t *flags[4] = {&vel_zero, &vel_one, &vel_two, &vel_three};
        for (int b = 0; b < 4; b++) {
            *flags[b] = (mask >> b) & 1;
            if (*flags[b])
                OpenDevice(b);
        }
        testboards_trace_clear();
    }

    // Refreshes and tells whether the refresh drove the boards.
    bool refreshed() {
        testboards_trace_clear();
        k8055_outputs();
        return !testboards_trace().empty();
    }

    // Refreshes and checks outputs 1..8 of a board against a row.
    void expect_outputs(int board, const int (&expected)[8]) {
        k8055_outputs();
        for (int ch = 1; ch <= 8; ch++)
            EXPECT_EQ(testboards_output(board, ch), expected[ch - 1]) << "output " << ch;
    }
};

TEST_F(LampOutputs, RefreshesOnlyWhenAWatchedValueChanges) {
    EXPECT_FALSE(refreshed()) << "no board drives nothing";
    boards(0xF);
    stall = 1;
    EXPECT_TRUE(refreshed());
    EXPECT_EQ(stall_store, 1);
    stall = 0;
    k8055_outputs();
    EXPECT_FALSE(refreshed());
    auto check = [&](const char *name, auto *value, auto changed) {
        auto old = *value;
        *value = changed;
        testboards_trace_clear();
        k8055_outputs();
        for (int b = 0; b < 4; b++)
            EXPECT_FALSE(testboards_trace_of(b).empty()) << name << ": board " << b;
        *value = old;
        k8055_outputs();
        EXPECT_FALSE(refreshed()) << name << " back";
    };
    for (int32_t *flag : int_flags)
        check("flag", flag, (int32_t)(*flag == 1 ? 0 : 1));
    check("electrics", &electrics, 0);
    check("apu_speed", &apu_speed, 0.5f);
    check("fuel_pumps", &fuel_pumps, (uint8_t)9);
    check("fuel_xfeed", &fuel_xfeed, (uint8_t)1);
    check("eng_autostart", &eng_autostart, 0);
}

TEST_F(LampOutputs, BoardZeroGearLampsAndApuGauge) {
    boards(0x1);
    testboards_set_output(0, 7, 1); // the master lamps are not the refresh's
    testboards_set_output(0, 8, 1);
    gear_left = -1;
    gear_nose = 1;
    gear_right = 0;
    apu_speed = 100.0f;
    expect_outputs(0, {1, 0, 0, 0, 1, 0, 1, 1});
    EXPECT_EQ(testboards_analog_output(0, 1), 200);
    gear_left = 1;
    gear_nose = 0;
    gear_right = -1;
    apu_speed = 37.9f;
    expect_outputs(0, {0, 0, 1, 1, 0, 0, 1, 1});
    EXPECT_EQ(testboards_analog_output(0, 1), 75);
    gear_right = 1;
    expect_outputs(0, {0, 0, 0, 1, 0, 1, 1, 1});
}

TEST_F(LampOutputs, BoardOneTwoAndThreeLamps) {
    boards(0xE);
    int32_t *modes[8] = {&fd1, &hdg, &nav, &app, &ap, &yd, &spd, &alt};
    for (int i = 0; i < 8; i++)
        *modes[i] = i % 3 == 0 ? 1 : (i % 3 == 1 ? 0 : 2);
    gen1_switch = overspeed = l_start = l_ign_switch = r_eng_fire = pitot_heat = 1;
    main_batt_switch = 2;
    expect_outputs(1, {1, 0, 0, 1, 0, 0, 1, 0});
    expect_outputs(2, {0, 1, 1, 0, 0, 0, 0, 1});
    expect_outputs(3, {1, 1, 0, 1, 0, 0, 0, 1});
    EXPECT_EQ(testboards_analog_output(2, 1), 255);
    EXPECT_EQ(testboards_analog_output(2, 2), 0);
    EXPECT_EQ(testboards_analog_output(3, 1), 0);

    l_start = l_ign_switch = r_eng_fire = pitot_heat = overspeed = 0;
    r_start = r_ign_switch = l_eng_fire = stall = fuel_xfeed = apu_fire = anti_ice = gear = 1;
    expect_outputs(3, {0, 0, 1, 0, 1, 1, 1, 1});
    EXPECT_EQ(testboards_analog_output(3, 1), 255);
    EXPECT_EQ(testboards_output(2, 6), 1);
    EXPECT_EQ(testboards_output(2, 7), 1);
    EXPECT_EQ(testboards_output(2, 8), 0);
    EXPECT_EQ(testboards_analog_output(2, 1), 0);
    EXPECT_EQ(testboards_analog_output(2, 2), 255);
}

TEST_F(LampOutputs, FuelPumpLampsForZeroToFour) {
    boards(0x4);
    const int lamp4[5] = {0, 1, 0, 1, 0};
    const int lamp5[5] = {0, 0, 1, 1, 0};
    for (int pumps = 0; pumps <= 4; pumps++) {
        testboards_set_output(2, 4, 1); // whatever was lit before
        testboards_set_output(2, 5, 1);
        fuel_pumps = (uint8_t)pumps;
        apu_speed = (float)pumps; // force a refresh even where the pump byte did not change
        k8055_outputs();
        EXPECT_EQ(testboards_output(2, 4), lamp4[pumps]) << "pumps " << pumps;
        EXPECT_EQ(testboards_output(2, 5), lamp5[pumps]) << "pumps " << pumps;
    }
}

TEST_F(LampOutputs, PowerLossClearsEveryBoardButTheApuGauge) {
    boards(0xF);
    gear_left = gear_nose = gear_right = fd1 = ap = stall = 1;
    apu_speed = 37.9f;
    k8055_outputs();
    ASSERT_EQ(testboards_output(0, 4), 1);
    ASSERT_EQ(warn, 1.0f);
    electrics = 0;
    k8055_outputs();
    for (int b = 0; b < 4; b++) {
        for (int ch = 1; ch <= 8; ch++)
            EXPECT_EQ(testboards_output(b, ch), 0) << "board " << b << " output " << ch;
        EXPECT_EQ(testboards_analog_output(b, 2), 0) << "board " << b;
        if (b != 0) {
            EXPECT_EQ(testboards_analog_output(b, 1), 0) << "board " << b;
        }
    }
    EXPECT_EQ(testboards_analog_output(0, 1), 75);
    EXPECT_EQ(warn, 0.0f);
    EXPECT_EQ(caution, 0.0f);
    silence = 1;
    l_eng_fire = 1; // a new fire while unpowered: lamp dark, no un-silencing
    k8055_outputs();
    EXPECT_EQ(l_eng_fire_store, 1) << "refreshed";
    EXPECT_EQ(silence, 1) << "no contributor without power";
    EXPECT_EQ(warn, 0.0f);
    EXPECT_EQ(testboards_output(3, 3), 0);
}

TEST_F(LampOutputs, ApuGaugeLevelIsHeldToTheDriversRange) {
    boards(0x1);
    const float inf = std::numeric_limits<float>::infinity();
    const std::pair<float, long> rows[] = {{100.0f, 200}, {37.9f, 75},  {NAN, 0},   {inf, 255},
                                           {-inf, 0},     {1e30f, 255}, {-5.0f, 0}, {127.9f, 255}};
    for (const auto &r : rows) {
        apu_speed = r.first;
        testboards_trace_clear();
        k8055_outputs();
        long level = -1;
        for (const testboards_call &c : testboards_trace())
            if (c.op == "OutputAnalogChannel")
                level = c.b;
        EXPECT_EQ(level, r.second) << r.first;
    }
}

TEST_F(LampOutputs, ContributorsRaiseWarnOrCautionAndUnsilence) {
    boards(0x1);
    k8055_outputs(); // the first refresh un-silences nothing
    // clang-format off
    int32_t *warnings[] = {
        &normal_brakes_fail, &l_oil_press_low, &l_fuel_press_low, &gear, &r_fuel_press_low,
        &r_oil_press_low, &l_eng_fire, &r_eng_fire, &stall, &overspeed, &apu_fire, &l_rev_unsafe,
        &l_eng_pylon_ovht, &l_bleed_air_leak, &wing_ovht, &wing_stab_leak, &stab_ovht,
        &r_bleed_air_leak, &r_eng_pylon_ovht, &r_rev_unsafe};
    // clang-format on
    int32_t *cautions[] = {&emer_batt, &gen_fail};
    auto raise = [&](int32_t *flag, float w, float c) {
        *flag = 1;
        silence = 1;
        k8055_outputs();
        EXPECT_EQ(warn, w);
        EXPECT_EQ(caution, c);
        EXPECT_EQ(silence, 0) << "a new contributor un-silences";
        *flag = 0;
        k8055_outputs();
        EXPECT_EQ(warn, 0.0f);
        EXPECT_EQ(caution, 0.0f);
    };
    for (int32_t *w : warnings)
        raise(w, 1.0f, 0.0f);
    for (int32_t *c : cautions)
        raise(c, 0.0f, 1.0f);
}

TEST_F(LampOutputs, AFireBurningAtStartUpDoesNotUnsilenceALaterOneDoes) {
    boards(0x9);
    l_eng_fire = silence = 1;
    k8055_outputs(); // first refresh: the stores hold -2
    EXPECT_EQ(warn, 1.0f);
    EXPECT_EQ(silence, 1);
    EXPECT_EQ(testboards_output(3, 3), 1);
    r_eng_fire = 1;
    k8055_outputs();
    EXPECT_EQ(silence, 0);
    EXPECT_EQ(testboards_output(3, 4), 1);
    silence = 1; // a fire that stays burning does not un-silence again
    apu_speed = 10.0f;
    k8055_outputs();
    EXPECT_EQ(silence, 1);
    EXPECT_EQ(warn, 1.0f);
}

TEST_F(LampOutputs, BoardsTwoAndThreeAloneUnsilenceCrossfeedNever) {
    boards(0x8);
    k8055_outputs();
    stall = silence = 1;
    k8055_outputs();
    EXPECT_EQ(silence, 0);
    EXPECT_EQ(warn, 1.0f);
    testboards_stop();
    testboards_start();
    reset_lamp_state();
    boards(0x4);
    k8055_outputs();
    fuel_xfeed = silence = 1;
    k8055_outputs();
    EXPECT_EQ(caution, 1.0f);
    EXPECT_EQ(silence, 1);
    apu_fire = 1;
    k8055_outputs();
    EXPECT_EQ(warn, 1.0f);
    EXPECT_EQ(silence, 0);
}

} // namespace
