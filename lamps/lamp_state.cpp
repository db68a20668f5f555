// What every board output shows, worked out from the lamp-state flags alone: the refresh drives
// the boards from these answers, and the probe prints them, so both always agree.
#include "lamps/lamps.h"
#include "boards/boards.h"
#include "k8055/k8055.h"
#include "app/app.h"
#include "rmu/rmu.h"

#include <stddef.h>

// The master contributors of board 0 in the order the refresh raises them.
const lamp_contributor lamp_contributors[] = {
    {&normal_brakes_fail, &normal_brakes_fail_store, 0},
    {&l_oil_press_low, &l_oil_press_low_store, 0},
    {&l_fuel_press_low, &l_fuel_press_low_store, 0},
    {&gear, &gear_store, 0},
    {&emer_batt, &emer_batt_store, 1},
    {&gen_fail, &gen_fail_store, 1},
    {&r_fuel_press_low, &r_fuel_press_low_store, 0},
    {&r_oil_press_low, &r_oil_press_low_store, 0},
    {&l_eng_fire, &l_eng_fire_store, 0},
    {&r_eng_fire, &r_eng_fire_store, 0},
    {&stall, &stall_store, 0},
    {&overspeed, &overspeed_store, 0},
    {&apu_fire, &apu_fire_store, 0},
    {&l_rev_unsafe, &l_rev_unsafe_store, 0},
    {&l_eng_pylon_ovht, &l_eng_pylon_ovht_store, 0},
    {&l_bleed_air_leak, &l_bleed_air_leak_store, 0},
    {&wing_ovht, &wing_ovht_store, 0},
    {&wing_stab_leak, &wing_stab_leak_store, 0},
    {&stab_ovht, &stab_ovht_store, 0},
    {&r_bleed_air_leak, &r_bleed_air_leak_store, 0},
    {&r_eng_pylon_ovht, &r_eng_pylon_ovht_store, 0},
    {&r_rev_unsafe, &r_rev_unsafe_store, 0},
    {NULL, NULL, 0},
};

const char *lamp_name(int board, int output) {
    if (output > 8)
        return board_wire_name(board, BOARD_ANALOG_OUT, output - 8);
    return board_wire_name(board, BOARD_DIGITAL_OUT, output);
}

// Twice the percentage, truncated, held to the driver's 0..255 before converting, so a
// non-finite or huge value from the simulator is safe (NaN gives 0).
long apu_gauge_level(float speed) {
    double level = (double)speed * 2.0;
    if (!(level > 0.0))
        return 0;
    if (level > 255.0)
        return 255;
    return (long)level;
}

int lamps_master_raised(int caution) {
    for (int i = 0; lamp_contributors[i].flag != NULL; i++)
        if (lamp_contributors[i].caution == caution && *lamp_contributors[i].flag == 1)
            return 1;
    // An open crossfeed raises the caution from board 2.
    return caution == 1 && fuel_xfeed == 1;
}

// A gear leg's transit (-1) or down (1) lamp.
static long gear_lamp(int32_t leg, int32_t lit_state) {
    return leg == lit_state;
}

static long board_zero_output(int output) {
    static int32_t *const legs[3] = {&gear_left, &gear_nose, &gear_right};
    if (output >= 1 && output <= 3)
        return gear_lamp(*legs[output - 1], -1);
    if (output >= 4 && output <= 6)
        return gear_lamp(*legs[output - 4], 1);
    if (output == 7) // lit in even seconds of the simulator clock while not silenced
        return silence == 0 && lamps_master_raised(0);
    if (output == 8)
        return silence == 0 && lamps_master_raised(1);
    return 0;
}

static long board_one_output(int output) {
    static int32_t *const modes[8] = {&fd1, &hdg, &nav, &app, &ap, &yd, &spd, &alt};
    return output >= 1 && output <= 8 && *modes[output - 1] == 1;
}

static long board_two_output(int output) {
    switch (output) {
    case 1:
        return gen1_switch != 1;
    case 2:
        return gen2_switch != 1;
    case 3:
        return main_batt_switch != 1;
    case 4:
        return fuel_pumps == 1 || fuel_pumps == 3;
    case 5:
        return fuel_pumps == 2 || fuel_pumps == 3;
    case 6:
        return fuel_xfeed == 1;
    case 7:
        return apu_fire == 1;
    case 8:
        return anti_ice == 0;
    case LAMP_ANALOG(1):
        return overspeed == 1;
    case LAMP_ANALOG(2):
        return gear == 1;
    }
    return 0;
}

static long board_three_output(int output) {
    switch (output) {
    case 1:
        return l_start == 1;
    case 2:
        return l_ign_switch == 1;
    case 3:
        return l_eng_fire == 1;
    case 4:
        return r_eng_fire == 1;
    case 5:
        return r_ign_switch == 1;
    case 6:
        return r_start == 1;
    case 7:
        return stall == 1;
    case 8:
        return 1;
    case LAMP_ANALOG(1):
        return pitot_heat == 0;
    }
    return 0;
}

long lamp_output(int board, int output) {
    // The APU gauge shows with or without power.
    if (board == 0 && output == LAMP_ANALOG(1))
        return apu_gauge_level(apu_speed);
    if (electrics == 0)
        return 0;
    long lit;
    if (aircraft_lamp_override(board, output, &lit))
        return lit;
    switch (board) {
    case 0:
        return board_zero_output(output);
    case 1:
        return board_one_output(output);
    case 2:
        return board_two_output(output);
    case 3:
        return board_three_output(output);
    }
    return 0;
}
