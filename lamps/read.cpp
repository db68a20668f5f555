// The aircraft state the lamps show: one read per present board's group each main-loop pass,
// decoded into the lamp-state flags (gear and its debounced warning, pressures, generators,
// fires, stall, overspeed, autopilot modes, switches, starters, ignition), and the byte that
// tells the radios a running APU powers them.
#include "lamps/lamps.h"
#include "app/app.h"
#include "autostart/autostart.h"
#include "k8055/k8055.h"
#include "simlink/simlink.h"

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

// Queues one read; a failed queueing reconnects at once and the group goes on.
static void queue_read(DWORD offset, DWORD size, void *dest) {
    if (!FSUIPC_Read(offset, size, dest, &dwResult))
        connect_to_sim();
}

// Sends the group's reads; a failed exchange reconnects, and the group decodes all the same.
static void process_group(void) {
    if (!FSUIPC_Process(&dwResult))
        connect_to_sim();
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

// Board 0: gear, on-ground state, gear warning, pressures, generators, brakes, fires, stall,
// overspeed, the simulator's APU speed, and the APU power byte written back.
static void read_board_zero_group(void) {
    // 1- and 2-byte values land in exact-width scratch, so no stale upper bytes remain.
    queue_read(0x0BEC, 4, &long_value);
    queue_read(0x0BF4, 4, &long_value2);
    queue_read(0x0BF0, 4, &long_value3);
    queue_read(0x0BE8, 4, &gear_commanded);
    queue_read(0x088C, 2, &eng1_throttle_pos);
    queue_read(0x0924, 2, &eng2_throttle_pos);
    queue_read(0x0366, 2, &on_ground_check);
    queue_read(0x0BDC, 4, &flaps_check);
    queue_read(0x31E4, 4, &ulong_value);
    queue_read(0x08BA, 2, &ushort_value);
    queue_read(0x08F8, 4, &long_value4);
    queue_read(0x0952, 2, &ushort_value2);
    queue_read(0x0990, 4, &long_value5);
    queue_read(0x3B7C, 4, &long_value6);
    queue_read(0x3ABC, 4, &long_value7);
    queue_read(0x0B63, 1, &char_value);
    queue_read(0x3366, 1, &char_value2);
    queue_read(0x036C, 1, &char_value3);
    queue_read(0x036D, 1, &char_value4);
    queue_read(0x0B54, 4, &fsx_apu_speed);
    process_group();

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

    Sleep(20);

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

    // A spooled-up APU powers the radios.
    char_value5 = (double)apu_speed < 50.0 ? 0 : 1;
    if (!FSUIPC_Write(0x0B52, 1, &char_value5, &dwResult) || !FSUIPC_Process(&dwResult))
        connect_to_sim();
}

// Board 1: the autopilot mode flags.
static void read_board_one_group(void) {
    queue_read(0x2EE0, 4, &long_value);
    queue_read(0x07C8, 4, &long_value2);
    queue_read(0x07C4, 4, &long_value3);
    queue_read(0x0800, 4, &long_value4);
    queue_read(0x07BC, 4, &long_value5);
    queue_read(0x0808, 4, &long_value6);
    queue_read(0x07DC, 4, &long_value7);
    queue_read(0x07D0, 4, &long_value8);
    process_group();

    fd1 = long_value == 1 ? 1 : 0;
    hdg = long_value2 == 1 ? 1 : 0;
    nav = long_value3 == 1 ? 1 : 0;
    app = long_value4 == 1 ? 1 : 0;
    ap = long_value5 == 1 ? 1 : 0;
    yd = long_value6 == 1 ? 1 : 0;
    spd = long_value7 == 1 ? 1 : 0;
    alt = long_value8 == 1 ? 1 : 0;
}

// Board 2: electrical switches, fuel pumps and crossfeed, APU fire, anti-ice.
static void read_board_two_group(void) {
    queue_read(0x3B78, 4, &long_value);
    queue_read(0x3AB8, 4, &long_value2);
    queue_read(0x281C, 4, &long_value3);
    queue_read(0x3125, 1, &fuel_pumps);
    queue_read(0x341F, 1, &fuel_xfeed);
    queue_read(0x0B53, 1, &char_value);
    queue_read(0x08B2, 2, &ushort_value);
    process_group();

    gen1_switch = long_value == 1 ? 1 : 0;
    gen2_switch = long_value2 == 1 ? 1 : 0;
    main_batt_switch = long_value3 == 1 ? 1 : 0;
    apu_fire = char_value == 1 ? 1 : 0;
    anti_ice = ushort_value == 1 ? 1 : 0;
}

// Board 3: starters, ignition (left to the autostart while it runs), stall, pitot heat, fires.
static void read_board_three_group(void) {
    queue_read(0x092A, 2, &ushort_value);
    queue_read(0x0892, 2, &ushort_value2);
    queue_read(0x208C, 4, &long_value);
    queue_read(0x218C, 4, &long_value2);
    queue_read(0x036C, 1, &char_value);
    queue_read(0x029C, 1, &char_value2);
    queue_read(0x3366, 1, &char_value3);
    process_group();

    r_start = ushort_value == 1 ? 1 : 0;
    l_start = ushort_value2 == 1 ? 1 : 0;
    if (eng1_starting == 0)
        l_ign_switch = long_value == 1 ? 1 : 0;
    if (eng2_starting == 0)
        r_ign_switch = long_value2 == 1 ? 1 : 0;
    stall = char_value == 1 ? 1 : 0;
    pitot_heat = char_value2 == 1 ? 1 : 0;
    decode_engine_fires(char_value3);
}

void k8055_fsuipc_read(int unused) {
    (void)unused;
    if (vel_zero == 1)
        read_board_zero_group();
    if (vel_one == 1)
        read_board_one_group();
    if (vel_two == 1)
        read_board_two_group();
    if (vel_three == 1)
        read_board_three_group();
}
