// The aircraft state the cockpit shows, as received values and the rules that turn them into
// the state flags. No exchange happens here: the main loop's read and the probe both queue the
// same tables, make their own exchange and then decode with the same procedure.
#include "aircraft/aircraft.h"
#include "app/app.h"

// Board 0: gear, levers, radio altitude, pressures, generators, brakes, fires, stall,
// overspeed and the simulator's APU speed. 1- and 2-byte values land in exact-width scratch,
// so no stale upper bytes remain.
static const aircraft_value board_zero_reads[] = {
    {0x0BEC, 4, &long_value, 's', "gear nose"},
    {0x0BF4, 4, &long_value2, 's', "gear left"},
    {0x0BF0, 4, &long_value3, 's', "gear right"},
    {0x0BE8, 4, &gear_commanded, 's', "gear lever"},
    {0x088C, 2, &eng1_throttle_pos, 's', "throttle 1"},
    {0x0924, 2, &eng2_throttle_pos, 's', "throttle 2"},
    {0x0366, 2, &on_ground_check, 's', "on ground"},
    {0x0BDC, 4, &flaps_check, 's', "flap lever"},
    {0x31E4, 4, &ulong_value, 'u', "radio altitude"},
    {0x08BA, 2, &ushort_value, 'u', "oil pressure 1"},
    {0x08F8, 4, &long_value4, 's', "fuel pressure 1"},
    {0x0952, 2, &ushort_value2, 'u', "oil pressure 2"},
    {0x0990, 4, &long_value5, 's', "fuel pressure 2"},
    {0x3B7C, 4, &long_value6, 's', "generator 1"},
    {0x3ABC, 4, &long_value7, 's', "generator 2"},
    {0x0B63, 1, &char_value, 'u', "brakes failed"},
    {0x3366, 1, &char_value2, 'u', "engine fires"},
    {0x036C, 1, &char_value3, 'u', "stall"},
    {0x036D, 1, &char_value4, 'u', "overspeed"},
    {0x0B54, 4, &fsx_apu_speed, 'f', "APU speed"},
    {0, 0, NULL, 0, NULL},
};

// Board 1: the autopilot modes.
static const aircraft_value board_one_reads[] = {
    {0x2EE0, 4, &long_value, 's', "flight director"},
    {0x07C8, 4, &long_value2, 's', "heading hold"},
    {0x07C4, 4, &long_value3, 's', "nav hold"},
    {0x0800, 4, &long_value4, 's', "approach hold"},
    {0x07BC, 4, &long_value5, 's', "autopilot"},
    {0x0808, 4, &long_value6, 's', "yaw damper"},
    {0x07DC, 4, &long_value7, 's', "speed hold"},
    {0x07D0, 4, &long_value8, 's', "altitude hold"},
    {0, 0, NULL, 0, NULL},
};

// Board 2: electrical switches, fuel pumps and crossfeed, APU fire, anti-ice.
static const aircraft_value board_two_reads[] = {
    {0x3B78, 4, &long_value, 's', "generator 1 switch"},
    {0x3AB8, 4, &long_value2, 's', "generator 2 switch"},
    {0x281C, 4, &long_value3, 's', "battery switch"},
    {0x3125, 1, &fuel_pumps, 'u', "fuel pumps"},
    {0x341F, 1, &fuel_xfeed, 'u', "crossfeed"},
    {0x0B53, 1, &char_value, 'u', "APU fire"},
    {0x08B2, 2, &ushort_value, 'u', "anti-ice"},
    {0, 0, NULL, 0, NULL},
};

// Board 3: starters, ignition, stall, pitot heat, engine fires.
static const aircraft_value board_three_reads[] = {
    {0x092A, 2, &ushort_value, 'u', "starter 2"},   {0x0892, 2, &ushort_value2, 'u', "starter 1"},
    {0x208C, 4, &long_value, 's', "ignition 1"},    {0x218C, 4, &long_value2, 's', "ignition 2"},
    {0x036C, 1, &char_value, 'u', "stall"},         {0x029C, 1, &char_value2, 'u', "pitot heat"},
    {0x3366, 1, &char_value3, 'u', "engine fires"}, {0, 0, NULL, 0, NULL},
};

const aircraft_value *const aircraft_group_reads[4] = {board_zero_reads, board_one_reads,
                                                       board_two_reads, board_three_reads};

// Gear position as the simulator gives it: 0 up, 16383 down, anything else in transit.
static int32_t gear_leg_state(int32_t position) {
    if (position == 0)
        return 0;
    if (position == 16383)
        return 1;
    return -1;
}

// Engine fire flags of the fire byte: bit 0 engine 1, bit 1 engine 2, only below 16.
static void decode_engine_fires(uint8_t fires) {
    l_eng_fire = (fires < 16 && (fires & 1) != 0) ? 1 : 0;
    r_eng_fire = (fires < 16 && (fires & 2) != 0) ? 1 : 0;
}

static int no_leg_down(void) {
    return gear_nose != 1 && gear_left != 1 && gear_right != 1;
}

static int all_legs_down(void) {
    return gear_nose == 1 && gear_left == 1 && gear_right == 1;
}

static int all_legs_up(void) {
    return gear_nose == 0 && gear_left == 0 && gear_right == 0;
}

static void decode_board_zero(void) {
    gear_nose = gear_leg_state(long_value);
    gear_left = gear_leg_state(long_value2);
    gear_right = gear_leg_state(long_value3);

    // Legs that disagree for four passes in a row raise the warning; it takes five passes
    // of agreement to bring the counter below 0 and let the rules below decide afresh.
    int32_t sum = gear_left + gear_nose + gear_right;
    if (sum == 0 || sum == 3 || sum == -3)
        count--;
    else
        count++;
    if (count > 3) {
        gear = 1;
        count = 4;
    }
    if (count < 0) {
        gear = 0;
        count = 0;
    }

    // On the ground only with both throttles back; airborne only with a throttle forward.
    if (on_ground_check == 1 && eng1_throttle_pos <= 1057 && eng2_throttle_pos <= 1057)
        on_ground = 1;
    else if (on_ground_check == 0 && (eng1_throttle_pos > 1057 || eng2_throttle_pos > 1057))
        on_ground = 0;

    // First rule set: the first rule that holds raises the warning.
    if (flaps_check > 5600 && no_leg_down() && eng1_throttle_pos <= 1631 &&
        eng2_throttle_pos <= 1631)
        gear = 1;
    else if (on_ground == 1 && gear_commanded == 0)
        gear = 1;
    else if (flaps_check > 11000 && no_leg_down())
        gear = 1;

    // Second rule set: each rule on its own.
    if (on_ground == 0 && gear_commanded == 0 && all_legs_down())
        gear = 1;
    if (on_ground == 0 && gear_commanded == 16383 && all_legs_up())
        gear = 1;
    double radio_altitude_ft = (double)ulong_value / 21052.63;
    if (radio_altitude_ft < 500.0 && !all_legs_down() && on_ground == 0 &&
        eng1_throttle_pos <= 9999 && eng2_throttle_pos <= 9999)
        gear = 1;

    l_oil_press_low = ushort_value <= 6851 ? 1 : 0;
    l_fuel_press_low = long_value4 <= 720 ? 1 : 0;
    r_oil_press_low = ushort_value2 <= 6851 ? 1 : 0;
    r_fuel_press_low = long_value5 <= 720 ? 1 : 0;

    eng1_generator = long_value6 != 1 ? 1 : 0;
    eng2_generator = long_value7 != 1 ? 1 : 0;
    gen_fail = (eng1_generator == 1 || eng2_generator == 1) ? 1 : 0;
    emer_batt = (eng1_generator == 1 && eng2_generator == 1) ? 1 : 0;

    normal_brakes_fail = char_value != 0 ? 1 : 0;
    decode_engine_fires(char_value2);
    stall = char_value3 == 1 ? 1 : 0;
    overspeed = char_value4 == 1 ? 1 : 0;
}

static void decode_board_one(void) {
    fd1 = long_value == 1 ? 1 : 0;
    hdg = long_value2 == 1 ? 1 : 0;
    nav = long_value3 == 1 ? 1 : 0;
    app = long_value4 == 1 ? 1 : 0;
    ap = long_value5 == 1 ? 1 : 0;
    yd = long_value6 == 1 ? 1 : 0;
    spd = long_value7 == 1 ? 1 : 0;
    alt = long_value8 == 1 ? 1 : 0;
}

static void decode_board_two(void) {
    gen1_switch = long_value == 1 ? 1 : 0;
    gen2_switch = long_value2 == 1 ? 1 : 0;
    main_batt_switch = long_value3 == 1 ? 1 : 0;
    apu_fire = char_value == 1 ? 1 : 0;
    anti_ice = ushort_value == 1 ? 1 : 0;
}

// The ignition as the simulator reports it (the lamps' read leaves it to the autostart while
// that runs the engine).
static void decode_board_three(void) {
    r_start = ushort_value == 1 ? 1 : 0;
    l_start = ushort_value2 == 1 ? 1 : 0;
    l_ign_switch = long_value == 1 ? 1 : 0;
    r_ign_switch = long_value2 == 1 ? 1 : 0;
    stall = char_value == 1 ? 1 : 0;
    pitot_heat = char_value2 == 1 ? 1 : 0;
    decode_engine_fires(char_value3);
}

void aircraft_decode_group(int group) {
    switch (group) {
    case 0:
        decode_board_zero();
        break;
    case 1:
        decode_board_one();
        break;
    case 2:
        decode_board_two();
        break;
    case 3:
        decode_board_three();
        break;
    }
}
