// Cockpit inputs: board discovery, the polling pass, the switch knobs and buttons,
// and the analog axes with their calibration record.
#pragma once

#include "platform/platform.h"

// ---- Board discovery ----
extern int32_t velkit;                                // bit mask returned by the board search
extern int32_t vel_zero, vel_one, vel_two, vel_three; // board 0..3 present
extern int message_wait_time2;                        // display time of the board report (15 s)

int k8055_initialise(void); // finds, opens, clears and reports the boards
int k8055_close(void);      // clears and closes every present board

// ---- Polling pass ----
int k8055_inputs(void);       // one pass over every board; 1 if a held control stepped
int k8055_tuning_panel(void); // board 0's digital inputs; 1 if a held button stepped
// Run at the end of every polling pass once the boards are read: the master lamps, which sit
// above the inputs (set at start-up).
extern int (*k8055_pass_end_hook)(void);

// ---- Switch inputs of boards 1 to 3 ----
extern int step_increase1, step_increase2, step_increase3; // hold counters of boards 1, 2, 3
extern uint16_t heading;                                   // exchange buffer for 0x07CC
extern int32_t altitude;                                   // exchange buffer for 0x07D4
extern uint16_t speed;                                     // exchange buffer for 0x07E2
extern int16_t vert_speed;                                 // exchange buffer for 0x07F2
extern int16_t course;                                     // exchange buffer for 0x0C4E
extern int16_t alt_cal;                                    // exchange buffer for 0x0330

extern int apu_status;  // APU switch: 1 on, 0 off (toggled by the APU button)
extern int32_t silence; // 1 while the master lamps are silenced (set by board 0's button)

int k8055_switches(int board); // digital inputs of board 1..3; 1 if a held knob stepped

// ---- Analog axes and calibration record ----
extern int32_t l_throttle_enabled, l_throttle_cal_min, l_throttle_cal_idle, l_throttle_cal_max;
extern int32_t r_throttle_enabled, r_throttle_cal_min, r_throttle_cal_idle, r_throttle_cal_max;
extern int32_t spoilers_enabled, spoilers_ret_cal, spoilers_arm_cal, spoilers_ext_cal;
extern int32_t flaps_enabled, flaps_up_cal, flaps_8_cal, flaps_20_cal, flaps_dn_cal;
extern int32_t rudder_enabled, rudder_left_cal, rudder_center_cal, rudder_right_cal;
extern int32_t toe_brakes_enabled, toe_brakes_off_cal, toe_brakes_on_cal;
extern int32_t yoke_lr_enabled, yoke_left_cal, yoke_center_cal, yoke_right_cal;
extern int32_t yoke_fb_enabled, yoke_forward_cal, yoke_mid_cal, yoke_back_cal;
extern int32_t analog_input;                          // latest raw reading, after clamping
extern int32_t spoiler_pos, flaps_pos;                // spoiler and flap values sent
extern int16_t rudder_pos, aileron_pos, elevator_pos; // rudder, roll and pitch values sent

void k8055_axes(int board); // reads, maps and queues the axes in use of one board
int k8055_axis_in_use(int board, int channel); // 1 when that analog input is a calibrated axis
int32_t k8055_axis_clamp(int board, int channel, int32_t raw); // reading held to the end points
int32_t k8055_axis_value(int board, int channel, int32_t raw); // the value sent for a reading
