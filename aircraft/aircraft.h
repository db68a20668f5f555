// The aircraft as the program reads it: the values the lamps, the inputs and the autostart
// take from the simulator, the tables of where each one is read, and the rules that decode them.
#pragma once

#include "platform/platform.h"

// ---- Aircraft state read ----
extern int32_t gear_nose, gear_left, gear_right;           // 0 up, 1 down, -1 in transit
extern int32_t gear;                                       // gear warning
extern int32_t count;                                      // debounce counter of leg disagreement
extern int16_t on_ground;                                  // 1 on the ground (with hysteresis)
extern int32_t l_oil_press_low, r_oil_press_low;           // oil pressure low
extern int32_t l_fuel_press_low, r_fuel_press_low;         // fuel pressure low
extern int32_t eng1_generator, eng2_generator;             // 1 when the generator is not on line
extern int32_t gen_fail, emer_batt;                        // one / both generators off line
extern int32_t normal_brakes_fail;                         // normal brakes failed
extern int32_t l_eng_fire, r_eng_fire;                     // engine fires
extern int32_t stall, overspeed;                           // stall and overspeed warnings
extern int32_t fd1, hdg, nav, app, ap, yd, spd, alt;       // autopilot modes
extern int32_t gen1_switch, gen2_switch, main_batt_switch; // electrical switches on
extern uint8_t fuel_pumps;                                 // raw fuel pump byte
extern uint8_t fuel_xfeed;                                 // raw crossfeed byte; 1 is open
extern int32_t apu_fire, anti_ice;                         // APU fire, anti-ice on
extern int32_t l_start, r_start;                           // starters engaged
extern int32_t l_ign_switch, r_ign_switch;                 // ignition on (also set by autostart)
extern int32_t pitot_heat;                                 // pitot heat on
extern int32_t gear_commanded;                             // gear lever: 0 up, 16383 down
extern int16_t on_ground_check;                            // simulator's on-ground report
extern int32_t flaps_check;                                // flap lever position
extern int16_t eng1_throttle_pos, eng2_throttle_pos; // throttle levers (the axes send them too)
extern float fsx_apu_speed; // the simulator's own APU speed, when it reports one
// Warning contributors no simulator source feeds; kept as watched values and contributors.
extern int32_t l_rev_unsafe, l_eng_pylon_ovht, l_bleed_air_leak, wing_ovht, wing_stab_leak;
extern int32_t stab_ovht, r_bleed_air_leak, r_eng_pylon_ovht, r_rev_unsafe;

// One simulator value a board's group reads: offset, width, where it is received, how the
// received bytes are taken ('s' signed, 'u' unsigned, 'f' float) and what it is.
typedef struct {
    DWORD offset;
    DWORD size;
    void *dest;
    char kind;
    const char *name;
} aircraft_value;

extern const aircraft_value *const aircraft_group_reads[4]; // each group's reads, size 0 ends
void aircraft_decode_group(int group); // turns a group's received values into its flags
