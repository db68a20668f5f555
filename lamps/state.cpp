// Program-wide lamp-state flags and master lamp state, with their initial values.
#include "lamps/lamps.h"

int32_t gear_nose, gear_left, gear_right;
int32_t gear;
int32_t count;
int16_t on_ground = 1;
int32_t l_oil_press_low, r_oil_press_low;
int32_t l_fuel_press_low, r_fuel_press_low;
int32_t eng1_generator, eng2_generator;
int32_t gen_fail, emer_batt;
int32_t normal_brakes_fail;
int32_t l_eng_fire, r_eng_fire;
int32_t stall, overspeed;
int32_t fd1, hdg, nav, app, ap, yd, spd, alt;
int32_t gen1_switch, gen2_switch, main_batt_switch;
uint8_t fuel_pumps;
uint8_t fuel_xfeed;
int32_t apu_fire, anti_ice;
int32_t l_start, r_start;
int32_t l_ign_switch, r_ign_switch;
int32_t pitot_heat;
int32_t gear_commanded;
int16_t on_ground_check;
int32_t flaps_check;
int32_t l_rev_unsafe, l_eng_pylon_ovht, l_bleed_air_leak, wing_ovht, wing_stab_leak;
int32_t stab_ovht, r_bleed_air_leak, r_eng_pylon_ovht, r_rev_unsafe;

float warn = 0.0f, caution = 0.0f;
float apu_speed = 0.0f;
int apu_status = 0;
float fsx_apu_speed = 0.0f;
int32_t silence = 0;
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
int32_t l_rev_unsafe_store = -2, l_eng_pylon_ovht_store = -2, l_bleed_air_leak_store = -2;
int32_t wing_ovht_store = -2, wing_stab_leak_store = -2, stab_ovht_store = -2;
int32_t r_bleed_air_leak_store = -2, r_eng_pylon_ovht_store = -2, r_rev_unsafe_store = -2;
