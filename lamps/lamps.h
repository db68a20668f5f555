// Lamps and annunciators: the aircraft state the lamps show, and the boards' outputs.
#pragma once

#include "aircraft/aircraft.h"
#include "platform/platform.h"

// ---- Aircraft state read, once a main-loop pass ----
void k8055_fsuipc_read(int unused);  // reads the lamp state of present boards
uint8_t apu_power_byte(float speed); // 1 when a running APU powers the radios, else 0

// ---- APU spool value, advanced once a main-loop pass ----
extern float apu_speed;   // APU spool value in percent, shown by the APU lamps and gauge
int apu_spool_step(void); // follows the simulator's APU speed, or spools by 2 % a pass

// ---- Lamp outputs ----
extern float warn, caution; // master warning and caution: 0.0 or 1.0
extern int32_t seconds;     // the simulator clock's seconds

// Copies of the watched values as they were at the last refresh (start -2, the bytes 0).
extern int32_t normal_brakes_fail_store, l_oil_press_low_store, l_fuel_press_low_store;
extern int32_t gear_store, emer_batt_store, gen_fail_store, r_fuel_press_low_store;
extern int32_t r_oil_press_low_store, l_eng_fire_store, r_eng_fire_store, stall_store;
extern int32_t overspeed_store, gear_nose_store, gear_left_store, gear_right_store;
extern int32_t eng1_generator_store, eng2_generator_store, electrics_store;
extern float apu_speed_store;
extern int32_t fd1_store, hdg_store, nav_store, app_store, ap_store, yd_store, spd_store;
extern int32_t alt_store, gen1_switch_store, gen2_switch_store, main_batt_switch_store;
extern uint8_t fuel_pumps_store;
extern int32_t apu_fire_store;
extern uint8_t fuel_xfeed_store;
extern int32_t l_start_store, r_start_store, l_ign_switch_store, r_ign_switch_store;
extern int32_t anti_ice_store, pitot_heat_store, eng_autostart_store, aircraft_outputs_serial_store;
extern int32_t l_rev_unsafe_store, l_eng_pylon_ovht_store, l_bleed_air_leak_store;
extern int32_t wing_ovht_store, wing_stab_leak_store, stab_ovht_store;
extern int32_t r_bleed_air_leak_store, r_eng_pylon_ovht_store, r_rev_unsafe_store;

// What each output shows, worked out from the flags alone (no board is touched).
#define LAMP_ANALOG(n) (8 + (n)) // output number of analog output n (1 or 2); digital are 1..8
long lamp_output(int board, int output);      // 1 lit, 0 dark; board 0 analog 1: the gauge level
const char *lamp_name(int board, int output); // the output's name, as the wiring calls it
long apu_gauge_level(float speed);            // APU gauge level for an APU speed in percent
int lamps_master_raised(int caution); // 1 when a warning (0) or caution (1) contributor is up

// A master contributor: its flag, the flag's copy from the last refresh, and 1 for caution.
typedef struct {
    int32_t *flag;
    int32_t *store;
    int caution;
} lamp_contributor;
extern const lamp_contributor lamp_contributors[]; // board 0's contributors in order, NULL ends

void k8055_outputs(void);     // drives every output when a value changed
int k8055_warn_caution(void); // drives the master warning and caution
