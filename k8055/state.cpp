// Program-wide state of the cockpit inputs, with its initial values.
#include "k8055/k8055.h"

int32_t velkit = 0;
int32_t vel_zero = 0, vel_one = 0, vel_two = 0, vel_three = 0;
int message_wait_time2 = 15;

int step_increase1 = 0, step_increase2 = 0, step_increase3 = 0;
uint16_t heading = 0;
int32_t altitude = 0;
uint16_t speed = 0;
int16_t vert_speed = 0;
int16_t course = 0;
int16_t alt_cal = 0;

int32_t l_throttle_enabled = 0, l_throttle_cal_min = -1, l_throttle_cal_idle = -1,
        l_throttle_cal_max = -1;
int32_t r_throttle_enabled = 0, r_throttle_cal_min = -1, r_throttle_cal_idle = -1,
        r_throttle_cal_max = -1;
int32_t spoilers_enabled = 0, spoilers_ret_cal = -1, spoilers_arm_cal = -1, spoilers_ext_cal = -1;
int32_t flaps_enabled = 0, flaps_up_cal = -1, flaps_8_cal = -1, flaps_20_cal = -1,
        flaps_dn_cal = -1;
int32_t rudder_enabled = 0, rudder_left_cal = -1, rudder_center_cal = -1, rudder_right_cal = -1;
int32_t toe_brakes_enabled = 0, toe_brakes_off_cal = -1, toe_brakes_on_cal = -1;
int32_t yoke_lr_enabled = 0, yoke_left_cal = -1, yoke_center_cal = -1, yoke_right_cal = -1;
int32_t yoke_fb_enabled = 0, yoke_forward_cal = -1, yoke_mid_cal = -1, yoke_back_cal = -1;
int32_t analog_input = 0;
int apu_status = 0;
int32_t silence = 0;
int (*k8055_pass_end_hook)(void) = NULL;
int32_t spoiler_pos = 0, flaps_pos = 0;
int16_t rudder_pos = 0, aileron_pos = 0, elevator_pos = 0;
