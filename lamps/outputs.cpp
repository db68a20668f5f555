// The boards' lamps and the APU gauge: every output of every present board is driven from the
// lamp-state flags whenever one of the watched values changed since the last refresh; the
// refresh also works out the master warning and caution and un-silences them when a new
// contributor comes up. Without electrical power every lamp is dark.
#include "lamps/lamps.h"
#include "app/app.h"
#include "autostart/autostart.h"
#include "k8055/k8055.h"
#include "rmu/rmu.h"

// A watched 32-bit value and its copy from the last refresh.
typedef struct {
    int32_t *value;
    int32_t *store;
} watched_value;

// The 32-bit watched values, in the order of the change test (the float and the two bytes
// are compared on their own, at their places).
static watched_value watched_before_apu[] = {
    {&normal_brakes_fail, &normal_brakes_fail_store},
    {&l_oil_press_low, &l_oil_press_low_store},
    {&l_fuel_press_low, &l_fuel_press_low_store},
    {&gear, &gear_store},
    {&emer_batt, &emer_batt_store},
    {&gen_fail, &gen_fail_store},
    {&r_fuel_press_low, &r_fuel_press_low_store},
    {&r_oil_press_low, &r_oil_press_low_store},
    {&l_eng_fire, &l_eng_fire_store},
    {&r_eng_fire, &r_eng_fire_store},
    {&stall, &stall_store},
    {&overspeed, &overspeed_store},
    {&gear_nose, &gear_nose_store},
    {&gear_left, &gear_left_store},
    {&gear_right, &gear_right_store},
    {&eng1_generator, &eng1_generator_store},
    {&eng2_generator, &eng2_generator_store},
    {&electrics, &electrics_store},
    {NULL, NULL},
};

static watched_value watched_before_pumps[] = {
    {&fd1, &fd1_store},
    {&hdg, &hdg_store},
    {&nav, &nav_store},
    {&app, &app_store},
    {&ap, &ap_store},
    {&yd, &yd_store},
    {&spd, &spd_store},
    {&alt, &alt_store},
    {&gen1_switch, &gen1_switch_store},
    {&gen2_switch, &gen2_switch_store},
    {&main_batt_switch, &main_batt_switch_store},
    {NULL, NULL},
};

static watched_value watched_after_pumps[] = {
    {&apu_fire, &apu_fire_store},
    {NULL, NULL},
};

static watched_value watched_after_xfeed[] = {
    {&l_start, &l_start_store},
    {&r_start, &r_start_store},
    {&l_ign_switch, &l_ign_switch_store},
    {&r_ign_switch, &r_ign_switch_store},
    {&anti_ice, &anti_ice_store},
    {&pitot_heat, &pitot_heat_store},
    {&eng_autostart, &eng_autostart_store},
    // A lamp that the aircraft's profile drives changed, or the aircraft did.
    {&aircraft_outputs_serial, &aircraft_outputs_serial_store},
    // Warning contributors that no simulator value feeds yet; they stay 0 unless set.
    {&l_rev_unsafe, &l_rev_unsafe_store},
    {&l_eng_pylon_ovht, &l_eng_pylon_ovht_store},
    {&l_bleed_air_leak, &l_bleed_air_leak_store},
    {&wing_ovht, &wing_ovht_store},
    {&wing_stab_leak, &wing_stab_leak_store},
    {&stab_ovht, &stab_ovht_store},
    {&r_bleed_air_leak, &r_bleed_air_leak_store},
    {&r_eng_pylon_ovht, &r_eng_pylon_ovht_store},
    {&r_rev_unsafe, &r_rev_unsafe_store},
    {NULL, NULL},
};

// 1 when a value of the list differs from its copy.
static int list_changed(const watched_value *list) {
    for (int i = 0; list[i].value != NULL; i++)
        if (*list[i].value != *list[i].store)
            return 1;
    return 0;
}

static void list_store(const watched_value *list) {
    for (int i = 0; list[i].value != NULL; i++)
        *list[i].store = *list[i].value;
}

static int watched_values_changed(void) {
    return list_changed(watched_before_apu) || apu_speed != apu_speed_store ||
           list_changed(watched_before_pumps) || fuel_pumps != fuel_pumps_store ||
           list_changed(watched_after_pumps) || fuel_xfeed != fuel_xfeed_store ||
           list_changed(watched_after_xfeed);
}

static void store_watched_values(void) {
    list_store(watched_before_apu);
    apu_speed_store = apu_speed;
    list_store(watched_before_pumps);
    fuel_pumps_store = fuel_pumps;
    list_store(watched_after_pumps);
    fuel_xfeed_store = fuel_xfeed;
    list_store(watched_after_xfeed);
}

// A raised contributor lights its master lamp; one that was off at the last refresh also
// takes back the silence.
static void raise(float *state, int32_t flag, int32_t store) {
    if (flag == 1) {
        *state = 1.0f;
        if (store == 0)
            silence = 0;
    }
}

static void digital(long channel, int on) {
    if (on)
        SetDigitalChannel(channel);
    else
        ClearDigitalChannel(channel);
}

static void analog(long channel, int on) {
    if (on)
        SetAnalogChannel(channel);
    else
        ClearAnalogChannel(channel);
}

static void clear_board(void) {
    ClearAllDigital();
    ClearAllAnalog();
}

// Drives one digital output of the current board as the flags say it shows.
static void show_digital(int board, int channel) {
    digital(channel, (int)lamp_output(board, channel));
}

// Drives one analog output of the current board fully on or off as the flags say.
static void show_analog(int board, int channel) {
    analog(channel, (int)lamp_output(board, LAMP_ANALOG(channel)));
}

// The master contributors of board 0, in their order.
static void board_zero_contributors(void) {
    for (int i = 0; lamp_contributors[i].flag != NULL; i++) {
        const lamp_contributor *c = &lamp_contributors[i];
        raise(c->caution ? &caution : &warn, *c->flag, *c->store);
    }
}

// Board 0: master contributors, gear transit and down lamps (left, nose, right), APU gauge.
static void drive_board_zero(void) {
    SetCurrentDevice(0);
    if (electrics == 0) {
        clear_board();
    } else {
        board_zero_contributors();
        show_digital(0, 1);
        show_digital(0, 4);
        show_digital(0, 2);
        show_digital(0, 5);
        show_digital(0, 3);
        show_digital(0, 6);
    }
    // The gauge shows the APU with or without power.
    OutputAnalogChannel(1, apu_gauge_level(apu_speed));
}

// Board 1: autopilot mode lamps.
static void drive_board_one(void) {
    SetCurrentDevice(1);
    if (electrics == 0) {
        clear_board();
        return;
    }
    for (int channel = 1; channel <= 8; channel++)
        show_digital(1, channel);
}

// Board 2: generators and battery off, fuel pumps, crossfeed, APU fire, anti-ice off,
// overspeed and gear warning.
static void drive_board_two(void) {
    SetCurrentDevice(2);
    if (electrics == 0) {
        clear_board();
        return;
    }
    for (int channel = 1; channel <= 5; channel++)
        show_digital(2, channel);
    // An open crossfeed lights the master caution but never takes back the silence.
    if (fuel_xfeed == 1)
        caution = 1.0f;
    show_digital(2, 6);
    raise(&warn, apu_fire, apu_fire_store);
    show_digital(2, 7);
    show_digital(2, 8);
    show_analog(2, 1);
    show_analog(2, 2);
}

// Board 3: starters, ignition, engine fires, stall, the always-lit lamp and pitot heat off.
static void drive_board_three(void) {
    SetCurrentDevice(3);
    if (electrics == 0) {
        clear_board();
        return;
    }
    show_digital(3, 1);
    show_digital(3, 2);
    raise(&warn, l_eng_fire, l_eng_fire_store);
    show_digital(3, 3);
    raise(&warn, r_eng_fire, r_eng_fire_store);
    show_digital(3, 4);
    show_digital(3, 5);
    show_digital(3, 6);
    raise(&warn, stall, stall_store);
    show_digital(3, 7);
    SetDigitalChannel(8);
    show_analog(3, 1);
}

void k8055_outputs(void) {
    if (!watched_values_changed())
        return;

    warn = 0.0f;
    caution = 0.0f;
    if (vel_zero == 1)
        drive_board_zero();
    if (vel_one == 1)
        drive_board_one();
    if (vel_two == 1)
        drive_board_two();
    if (vel_three == 1)
        drive_board_three();
    store_watched_values();
}
