// Program-wide lamp-state flags and master lamp state, with their initial values.
#include "lamps/lamps.h"

float warn = 0.0f, caution = 0.0f;
float apu_speed = 0.0f;
int32_t seconds = 0;

int32_t normal_brakes_fail_store = -2, l_oil_press_low_store = -2, l_fuel_press_low_store = -2;
int32_t gear_store = -2, emer_batt_store = -2, gen_fail_store = -2, r_fuel_press_low_store = -2;
int32_t r_oil_press_low_store = -2, l_eng_fire_store = -2, r_eng_fire_store = -2, stall_store = -2;
int32_t overspeed_store = -2, gear_nose_store = -2, gear_left_store = -2, gear_right_store = -2;
int32_t eng1_generator_store = -2, eng2_generator_store = -2, electrics_store = -2;
float apu_speed_store = -2.0f;
int32_t fd1_store = -2, hdg_store = -2, nav_store = -2, app_store = -2, ap_store = -2;
int32_t yd_store = -2, spd_store = -2, alt_store = -2;
int32_t gen1_switch_store = -2, gen2_switch_store = -2, main_batt_switch_store = -2;
uint8_t fuel_pumps_store = 0;
int32_t apu_fire_store = -2;
uint8_t fuel_xfeed_store = 0;
int32_t l_start_store = -2, r_start_store = -2, l_ign_switch_store = -2, r_ign_switch_store = -2;
int32_t anti_ice_store = -2, pitot_heat_store = -2, eng_autostart_store = -2;
int32_t aircraft_outputs_serial_store = -2;
int32_t l_rev_unsafe_store = -2, l_eng_pylon_ovht_store = -2, l_bleed_air_leak_store = -2;
int32_t wing_ovht_store = -2, wing_stab_leak_store = -2, stab_ovht_store = -2;
int32_t r_bleed_air_leak_store = -2, r_eng_pylon_ovht_store = -2, r_rev_unsafe_store = -2;
