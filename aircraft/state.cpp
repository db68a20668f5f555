// Program-wide aircraft state as last read from the simulator, with its initial values.
#include "aircraft/aircraft.h"

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
int16_t eng1_throttle_pos = 0, eng2_throttle_pos = 0;
int32_t l_rev_unsafe, l_eng_pylon_ovht, l_bleed_air_leak, wing_ovht, wing_stab_leak;
int32_t stab_ovht, r_bleed_air_leak, r_eng_pylon_ovht, r_rev_unsafe;
float fsx_apu_speed = 0.0f;
