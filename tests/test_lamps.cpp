// The lamps: the aircraft state read of each board's group (gear legs and their debounce, the
// on-ground hysteresis, the gear warning rules, pressures, generators, fires, modes, switches,
// ignition), the APU power byte and spool value, the lamp outputs with their change test and
// master contributors, and the flashing master warning and steady caution.
#include "tests/support/testboards.h"

#include <cmath>

namespace {

typedef std::vector<int64_t> V;

// What the board-0 group reads about gear and levers: nose, left, right legs, gear lever,
// throttles 1 and 2, on-ground report, flap lever, radio altitude (21052.63 units a foot).
const uint32_t gear_offsets[9][2] = {{0x0BEC, 4}, {0x0BF4, 4}, {0x0BF0, 4},
                                     {0x0BE8, 4}, {0x088C, 2}, {0x0924, 2},
                                     {0x0366, 2}, {0x0BDC, 4}, {0x31E4, 4}};

class Lamps : public CockpitTest {
  protected:
    // One read pass with board 0's group only; the gear warning after it.
    static int32_t gear_after(const V &a) {
        for (int i = 0; i < 9; i++)
            testsim_set(gear_offsets[i][0], gear_offsets[i][1], (uint32_t)a[i]);
        vel_zero = 1, k8055_fsuipc_read(0);
        return gear;
    }
    // A board's digital outputs 1..8 as 0/1 digits, then its two analog levels.
    static std::string lamps(int b) {
        std::string s;
        for (int ch = 0; ch < 8; ch++)
            s += (char)('0' + testboards_io(b).digital_out[ch]);
        return s + " " + std::to_string(testboards_io(b).analog_out[0]) + " " +
               std::to_string(testboards_io(b).analog_out[1]);
    }
    // Refreshes; how many boards the refresh selected.
    static int refreshed() {
        forget(), k8055_outputs();
        return calls("SetCurrentDevice");
    }
};

TEST_F(Lamps, GearLegsDebounceOnGroundAndWarningRules) {
    gear_after({0, 16384, -5, 16383, 0, 0, 1, 0, 0}); // past down or below up: moving
    EXPECT_EQ((V{gear_nose, gear_left, gear_right}), (V{0, -1, -1}));
    // Parked, no rule warns: four disagreeing passes set the warning, five agreeing clear it
    // (mixed legs 0 + 1 - 1 agree); all three in transit agree too.
    gear = count = 0;
    for (int pass = 1; pass <= 5; pass++)
        EXPECT_EQ(gear_after({16383, 16383, 0, 16383, 0, 0, 1, 0, 0}) * 10 + count,
                  (pass >= 4) * 10 + std::min(pass, 4));
    for (int pass = 1; pass <= 5; pass++)
        EXPECT_EQ(gear_after({0, 16383, 100, 16383, 0, 0, 1, 0, 0}) * 10 + count,
                  (pass <= 4) * 10 + std::max(4 - pass, 0));
    gear = count = 1;
    EXPECT_EQ(gear_after({8000, 8000, 8000, 16383, 0, 0, 1, 0, 0}) * 10 + count, 10);
    EXPECT_EQ(gear_after({8000, 8000, 8000, 16383, 0, 0, 1, 0, 0}) * 10 + count, 0);
    // {legs, lever, throttles, ground report, flaps, radio altitude}, then the warning and
    // on_ground after, in order: on the ground only with both throttles back, airborne only with
    // one forward, else it stays; on the ground the lever up warns, the low-altitude rule is off.
    // clang-format off
    const int D = 16383, H = 200000000, L = 10526314; // down; far above 500 ft; just under 500 ft
    const struct { V a; int want; } rows[] = {
        {{D, D, D, D, 1057, 1057, 0, 0, 0}, 1}, {{D, D, D, D, 1057, 1058, 0, 0, 0}, 0},
        {{D, D, D, D, 1057, 1058, 1, 0, 0}, 0}, {{D, D, D, D, 1057, 1057, 1, 0, 0}, 1},
        {{D, D, D, D, 5000, 1057, 2, 0, 0}, 1}, {{0, 0, 0, 0, 1631, 1631, 0, 5600, H}, 0},
        {{0, 0, 0, 0, 1631, 1631, 0, 5601, H}, 10}, {{0, 0, 0, 0, 1631, 1632, 0, 5601, H}, 0},
        {{0, 0, 0, 0, 1632, 1631, 0, 5601, H}, 0}, {{D, 0, 0, 0, 1631, 1631, 0, 5601, H}, 0},
        {{0, 0, 0, 0, 5000, 5000, 0, 11000, H}, 0}, {{0, 0, 0, 0, 5000, 5000, 0, 11001, H}, 10},
        {{0, D, 0, 0, 5000, 5000, 0, 11001, H}, 0}, {{0, 0, D, 0, 5000, 5000, 0, 11001, H}, 0},
        {{D, D, D, 0, 8000, 8000, 0, 0, H}, 10}, {{0, 0, 0, D, 8000, 8000, 0, 0, H}, 10},
        {{0, 0, 0, 0, 9999, 9999, 0, 0, L + 2}, 0}, {{0, 0, 0, 0, 9999, 9999, 0, 0, L}, 10},
        {{0, 0, 0, 0, 9999, 10000, 0, 0, L}, 0}, {{0, 0, 0, 0, 10000, 9999, 0, 0, L}, 0},
        {{D, D, D, D, 9999, 9999, 0, 0, L}, 0}, {{D, D, 0, D, 9999, 9999, 0, 0, L}, 10},
        {{D, D, D, 0, 0, 0, 1, 0, 0}, 11}, {{0, 0, 0, D, 500, 500, 1, 0, 0}, 1}};
    // clang-format on
    for (auto &r : rows) {
        gear = count = 0;
        EXPECT_EQ(gear_after(r.a) * 10 + on_ground, r.want) << "row " << &r - rows;
    }
}

TEST_F(Lamps, EachGroupDecodesItsFlags) {
    // {boards present, simulator values, engine starting, flags, their values}: modes and switches
    // are 1 only when exactly 1; board 3 alone keeps stall and fires current, not gear; the
    // ignition is left to the autostart while its engine starts.
    // clang-format off
    const std::vector<int32_t *> zero = {&l_oil_press_low, &l_fuel_press_low, &r_oil_press_low, &r_fuel_press_low,
        &eng1_generator, &eng2_generator, &gen_fail, &emer_batt, &normal_brakes_fail, &stall, &overspeed},
        fires = {&l_eng_fire, &r_eng_fire}, modes = {&fd1, &hdg, &nav, &app, &ap, &yd, &spd, &alt},
        two = {&gen1_switch, &gen2_switch, &main_batt_switch, &apu_fire, &anti_ice},
        three = {&stall, &l_eng_fire, &r_eng_fire, &r_start, &l_start, &pitot_heat, &gear, &overspeed},
        ignition = {&l_ign_switch, &r_ign_switch};
    const struct { int mask; const char *sets; int starting; const std::vector<int32_t *> &flags; const char *want; } rows[] = {
        {1, "08BA:2=6851 08F8:4=720 0952:2=6852 0990:4=721 3B7C:4=1 3ABC:4=0 0B63:1=2 036C:1=1 036D:1=1", 0, zero, "11000110111"},
        {1, "08BA:2=40000 08F8:4=-5 0952:2=0 0990:4=0 3B7C:4=2 3ABC:4=256 0B63:1=0 036C:1=2 036D:1=3", 0, zero, "01111111000"},
        {1, "3366:1=1", 0, fires, "10"}, {1, "3366:1=2", 0, fires, "01"}, {1, "3366:1=15", 0, fires, "11"},
        {1, "3366:1=255", 0, fires, "00"},
        {2, "2EE0:4=1 07C8:4=2 07C4:4=1 0800:4=2 07BC:4=1 0808:4=2 07DC:4=1 07D0:4=2", 0, modes, "10101010"},
        {2, "2EE0:4=0 07C8:4=1 07C4:4=0 0800:4=1 07BC:4=0 0808:4=1 07DC:4=0 07D0:4=1", 0, modes, "01010101"},
        {4, "3B78:4=1 3AB8:4=0 281C:4=257 3125:1=131 341F:1=7 0B53:1=1 08B2:2=1", 0, two, "10011"},
        {4, "3B78:4=2 3AB8:4=1 281C:4=1 0B53:1=2 08B2:2=257", 0, two, "01100"},
        {8, "036C:1=1 036D:1=1 3366:1=3 0BE8:4=0 092A:2=1 0892:2=2 029C:1=1", 0, three, "11110100"},
        {8, "036C:1=0 3366:1=0 092A:2=2 0892:2=1 029C:1=2", 0, three, "00001000"},
        {8, "208C:4=0 218C:4=0", 1, ignition, "10"}, {8, "208C:4=1 218C:4=0", 2, ignition, "11"},
        {8, "208C:4=2 218C:4=1", 0, ignition, "01"}, {8, "208C:4=1 218C:4=2", 0, ignition, "10"}};
    // clang-format on
    for (auto &r : rows) {
        vel_zero = r.mask & 1, vel_one = r.mask >> 1 & 1, vel_two = r.mask >> 2 & 1;
        vel_three = r.mask >> 3;
        l_ign_switch = r_ign_switch = 1;
        eng1_starting = r.starting == 1, eng2_starting = r.starting == 2;
        poke(r.sets); // the groups of the present boards read, the flags as digits
        k8055_fsuipc_read(0);
        std::string flags;
        for (int32_t *f : r.flags)
            flags += std::to_string(*f);
        EXPECT_EQ(flags, r.want) << r.sets;
    }
    EXPECT_EQ(fuel_pumps * 1000 + fuel_xfeed, 131 * 1000 + 7); // bytes kept as received
}

TEST_F(Lamps, ApuPowerByteInItsOwnExchange) {
    // The APU power byte: from 50.0 on, in its own exchange after the group's and its pause.
    vel_zero = 1, apu_speed = 49.99f;
    testsim_set(0x0B54, 4, 0x42160000); // 37.5 as a float
    testfail_after(0); // the group's exchange fails: it reconnects, pauses and writes the byte
    k8055_fsuipc_read(0);
    EXPECT_EQ(sent() + std::to_string(testsim_writes_to(0x3380).size()), " 0B52:1=01");
    EXPECT_EQ(testsleep_pauses().back(), 20u);
    apu_speed = 50.0f, forget();
    int before = testsim_requests();
    k8055_fsuipc_read(0);
    EXPECT_EQ(
        std::make_tuple(testsim_requests() - before, testsleep_pauses(), fsx_apu_speed, sent()),
        std::make_tuple(2, Pauses{20}, 37.5f, std::string(" 0B52:1=1")));
}

TEST_F(Lamps, RefreshOnlyWhenAWatchedValueChanges) {
    EXPECT_EQ(refreshed() + testboards_calls.size(), 0u) << "no board: no call";
    discover(15);
    EXPECT_EQ(refreshed() + testboards_calls.size(), 0u) << "nothing changed";
    // The first and last of each group the change test compares, then the APU speed and the
    // two bytes compared at their places.
    for (int32_t *f : {&normal_brakes_fail, &electrics, &fd1, &main_batt_switch, &apu_fire,
                       &l_start, &eng_autostart}) {
        *f = !*f;
        EXPECT_EQ(refreshed(), 4);
    }
    apu_speed = 0.5f;
    EXPECT_EQ(refreshed(), 4);
    fuel_pumps = 9;
    EXPECT_EQ(refreshed(), 4);
    fuel_xfeed = 9;
    EXPECT_EQ(refreshed(), 4);
    EXPECT_EQ(refreshed(), 0);
}

TEST_F(Lamps, LampTablesGaugeAndPowerLoss) {
    discover(15);
    testboards_io(0).digital_out[6] = testboards_io(0).digital_out[7] = 1; // the master lamps'
    auto legs = [](int left, int nose, int right) {                        // in transit -1, down 1
        gear_left = left, gear_nose = nose, gear_right = right, k8055_outputs();
        return lamps(0) + " |";
    };
    EXPECT_EQ(legs(-1, 1, 0) + legs(1, 0, -1) + legs(0, -1, 1),
              "10001011 0 0 |00110011 0 0 |01000111 0 0 |");
    const std::pair<float, long> levels[] = {{100.0f, 200},   {37.9f, 75},  {NAN, 0},
                                             {INFINITY, 255}, {1e30f, 255}, {-5.0f, 0}};
    for (const auto &r : levels)
        EXPECT_EQ(apu_gauge_level(r.first), r.second) << r.first;
    EXPECT_EQ(std::string(lamp_name(2, 10)) + lamp_name(2, 11) + lamp_name(4, 1), "gear-warning");
    fd1 = app = spd = gen1_switch = overspeed = l_start = l_ign_switch = r_eng_fire = 1;
    nav = yd = main_batt_switch = 2, pitot_heat = 1, fuel_pumps = 2; // pump 2 on lamp 5
    k8055_outputs();
    EXPECT_EQ(lamps(1) + " " + lamps(2) + " " + lamps(3),
              "10010010 0 0 01101001 255 0 11010001 0 0");
    l_start = l_ign_switch = r_eng_fire = pitot_heat = overspeed = gen1_switch = 0;
    r_start = r_ign_switch = l_eng_fire = stall = fuel_xfeed = apu_fire = anti_ice = gear = 1;
    gen2_switch = main_batt_switch = fuel_pumps = 1, k8055_outputs(); // pump 1 on lamp 4
    EXPECT_EQ(lamps(2) + " " + lamps(3), "10010110 0 255 00101111 255 0");
    apu_speed = 37.9f, electrics = 0; // power lost: every board dark but the APU gauge
    l_eng_fire = stall = gear = 0, silence = 1, k8055_outputs();
    EXPECT_EQ(lamps(0) + " " + lamps(1) + " " + lamps(2) + " " + lamps(3),
              "00000000 75 0 00000000 0 0 00000000 0 0 00000000 0 0");
    EXPECT_EQ(warn + caution, 0.0f);
    l_eng_fire = 1, k8055_outputs(); // a new fire while unpowered: dark, no master, no un-silencing
    EXPECT_EQ(lamps(3) + std::to_string(l_eng_fire_store * 10 + silence + (int)warn),
              "00000000 0 011");
}

TEST_F(Lamps, ContributorsRaiseTheMasterStatesAndUnsilence) {
    // {boards, flag, warn and caution}: a contributor that comes up takes back the silence.
    // clang-format off
    const struct { int mask; int32_t *flag; int states; } rows[] = {
        {1, &normal_brakes_fail, 10}, {1, &l_oil_press_low, 10}, {1, &l_fuel_press_low, 10}, {1, &gear, 10},
        {1, &emer_batt, 1}, {1, &gen_fail, 1}, {1, &r_fuel_press_low, 10}, {1, &r_oil_press_low, 10},
        {1, &l_eng_fire, 10}, {1, &r_eng_fire, 10}, {1, &stall, 10}, {1, &overspeed, 10}, {1, &apu_fire, 10},
        {4, &apu_fire, 10}, {8, &l_eng_fire, 10}, {8, &r_eng_fire, 10}, {8, &stall, 10}, {2, &stall, 0}};
    // clang-format on
    for (auto &r : rows) {
        reset_state(), discover(r.mask);
        silence = 1, *r.flag = 1, k8055_outputs();
        EXPECT_EQ((int)(warn * 10 + caution) * 10 + silence, r.states * 10 + (r.states == 0))
            << "row " << &r - rows;
        *r.flag = 0, k8055_outputs();
        EXPECT_EQ(warn + caution, 0.0f);
    }
    // An open crossfeed raises the caution on board 2, never un-silencing.
    reset_state(), discover(4);
    fuel_xfeed = silence = 1, k8055_outputs();
    EXPECT_EQ(caution * 10 + silence, 11);
    reset_state(), discover(9); // a fire already burning at the first refresh does not un-silence
    l_eng_fire_store = -2, l_eng_fire = silence = 1, k8055_outputs();
    EXPECT_EQ(warn * 10 + silence, 11);
    r_eng_fire = 1, k8055_outputs(); // a later one does
    EXPECT_EQ(lamps(3).substr(2, 2) + std::to_string(silence), "110");
    silence = 1, apu_speed = 10.0f, k8055_outputs(); // fires still burning do not un-silence again
    EXPECT_EQ(warn * 10 + silence, 11);
}

TEST_F(Lamps, MasterWarningFlashesCautionSteady) {
    discover(3);
    warn = caution = 1.0f, testboards_io(0).digital_out[6] = 1;
    testsim_set(0x023A, 1, 7); // a failed clock read leaves the warning lamp, drives the caution
    testfail_after(0), k8055_warn_caution();
    EXPECT_EQ(lamps(0).substr(6, 2) + std::to_string(testsim_writes_to(0x3380).size()), "111");
    electrics = 1;                           // which the reconnection put out
    for (int s : {10, 11, 11, 59, 0, 254}) { // lit in even seconds
        testsim_set(0x023A, 1, s);
        EXPECT_EQ(k8055_warn_caution(), 0);
        EXPECT_EQ(lamps(0).substr(6, 2), s % 2 ? "01" : "11") << s;
    }
    EXPECT_EQ(seconds, 254);
    warn = caution = 0.0f, k8055_warn_caution();
    EXPECT_EQ(lamps(0).substr(6, 2), "00");
    warn = caution = 1.0f; // silenced or unpowered (only exactly 1): dark, and no clock read
    int before = testsim_requests();
    for (int power : {1, 0, 2}) {
        silence = power == 1, electrics = power;
        testboards_io(0).digital_out[6] = testboards_io(0).digital_out[7] = 1; // lit until then
        k8055_warn_caution();
        EXPECT_EQ(lamps(0).substr(6, 2), "00");
    }
    vel_zero = 0, silence = 0, electrics = 1; // no board 0: no clock read either
    EXPECT_EQ(k8055_warn_caution() + testsim_requests(), before);
}

// One pass of the main loop, in its order: the radios read, the boards polled, the lamp state
// read and shown in the same pass (the gauge before the spool step), an engine's start stepped,
// the key counter reset.
TEST_F(Lamps, OneMainPassShowsWhatItRead) {
    discover(1);
    poke("034E:2=9029 0BEC:4=0 0BF4:4=8000 0BF0:4=16383"); // COM1 123.45; nose up, left moving
    apu_status = eng1_starting = 1, press_length = 7;
    EXPECT_EQ(main_pass(), 0);
    EXPECT_EQ(
        std::string(com1_disp1) + " " + lamps(0) + " " + std::to_string(apu_speed) + " " +
            std::to_string(press_length * 10 + eng1_start_phase) + sent() +
            testing::PrintToString(testsleep_pauses()),
        "123.450 10000100 0 0 2.000000 2 0B52:1=0 3125:1=1 0890:2=16384 0892:2=1{ 50, 20, 200 }");
}

TEST_F(Lamps, ApuSpoolOneStepFromEachState) {
    // {switch, speed before, simulator's speed, speed after}: no clamping past the ends.
    // clang-format off
    const float rows[][4] = {{1, 0, 0, 2}, {1, 100, 0, 100}, {1, 99.5, 0, 101.5}, {0, 100, 0, 98},
        {0, 0, 0, 0}, {0, 1, 0, -1}, {2, 30, 0, 30}, {1, 40, 73.25, 73.25}, {0, 40, 0.002f, 0.002f},
        {1, 5, 0.0009f, 7}};
    // clang-format on
    for (auto &r : rows) {
        apu_status = (int)r[0], apu_speed = r[1], fsx_apu_speed = r[2];
        apu_spool_step();
        EXPECT_EQ(apu_speed, r[3]) << r[0] << " " << r[1] << " " << r[2];
    }
}

} // namespace
