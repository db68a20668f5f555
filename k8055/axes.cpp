// The analog axes of the four boards: throttles, spoilers, flaps, rudder, toe brakes and yoke.
// Each axis in use is read, mapped through its calibration points onto the simulator's range
// and queued for the process call that ends its board's block, on every pass.
#include "k8055/k8055.h"
#include "aircraft/aircraft.h"
#include "app/app.h"
#include "simlink/simlink.h"

#include <math.h>

#define THROTTLE1_OFFSET 0x089A // engine 1 throttle
#define THROTTLE2_OFFSET 0x0932 // engine 2 throttle
#define SPOILER_OFFSET 0x0BD0   // spoiler control
#define FLAPS_OFFSET 0x0BDC     // flap control
#define RUDDER_OFFSET 0x0BBA
#define LEFT_BRAKE_OFFSET 0x0BC4
#define RIGHT_BRAKE_OFFSET 0x0BC6
#define AILERON_OFFSET 0x0BB6
#define ELEVATOR_OFFSET 0x0BB2

// 1 when r lies between a and b, both included, whichever of the two is larger.
static int between(int32_t r, int32_t a, int32_t b) {
    return (r >= a && r <= b) || (r >= b && r <= a);
}

// A reading held to the closed interval between the axis' first and last point.
static int32_t clamp_axis(int32_t r, int32_t first, int32_t last) {
    int32_t lo = first < last ? first : last;
    int32_t hi = first < last ? last : first;
    if (r < lo)
        r = lo;
    if (r > hi)
        r = hi;
    return r;
}

// Queues one axis value; a failed queueing re-makes the link and the pass goes on.
static void send_axis(DWORD offset, DWORD size, void *value) {
    if (!aircraft_write(offset, size, value, &dwResult))
        connect_to_sim();
}

// A floating-point result truncated toward zero and held to [lo, hi] (never undefined).
static int32_t truncate_value(double v, int32_t lo, int32_t hi) {
    if (isnan(v))
        return 0;
    if (v < lo)
        return lo;
    if (v > hi)
        return hi;
    return (int32_t)v;
}

// Throttle, in integer arithmetic: reverse from min to idle onto -4096..about 80, forward from
// idle to max onto 80..about 16383, and no reverse thrust in the air. An idle point equal to
// the reverse point leaves no reverse range: the reading there is idle (80).
static int16_t throttle_value(int32_t r, int32_t min, int32_t idle, int32_t max) {
    int64_t v = 80;
    if (idle != min && between(r, min, idle)) {
        int64_t q = 4176 / ((int64_t)idle - min);
        v = ((int64_t)r - min) * q - 4096;
    } else if (max != idle) {
        int64_t q = 16303 / ((int64_t)max - idle);
        v = ((int64_t)r - idle) * q + 80;
    }
    int16_t value = (int16_t)v;
    if (on_ground == 0 && value < 80)
        value = 80;
    return value;
}

// Spoilers past the armed band: proportional in the air, fully out on the ground. An armed
// point equal to the extended one leaves no proportional range: the reading there is extended.
static int32_t spoiler_extension(int32_t r, int32_t arm, int32_t ext) {
    if (on_ground != 0 || ext == arm)
        return 16383;
    return truncate_value(((double)r - arm) * (11583.0 / ((double)ext - arm)) + 4800.0, INT32_MIN,
                          INT32_MAX);
}

// Spoilers: retracted, armed, then extended, in either direction of travel.
static int32_t spoiler_value(int32_t r, int32_t ret, int32_t arm, int32_t ext) {
    if (ext > ret) {
        double span = (double)ext - ret;
        if (r < ret + 0.15 * span)
            return 0;
        if (r < arm + 0.1 * span)
            return 4800;
    } else {
        double span = (double)ret - ext;
        if (r > ret - 0.15 * span)
            return 0;
        if (r > arm - 0.1 * span)
            return 4800;
    }
    return spoiler_extension(r, arm, ext);
}

// Flaps: four detents with a margin of 0.15 of the travel, in either direction.
static int32_t flaps_value(int32_t r, int32_t up, int32_t f8, int32_t f20, int32_t dn) {
    double m = 0.15 * fabs((double)dn - up);
    if (dn > up) {
        if (r < up + m)
            return 0;
        if (r < f8 + m)
            return 5461;
        if (r < f20 + m)
            return 10922;
        return 16383;
    }
    if (r > up - m)
        return 0;
    if (r > f8 - m)
        return 5461;
    if (r > f20 - m)
        return 10922;
    return 16383;
}

// Rudder and yoke: first point to centre onto -16383..0, centre to last point onto 0..16383,
// in double precision. A centre equal to the first point leaves no first range: the reading
// there is the centre (0).
static int16_t three_point_value(int32_t r, int32_t s, int32_t c, int32_t e) {
    double v = 0.0;
    if (c != s && between(r, s, c))
        v = ((double)r - s) * (16383.0 / ((double)c - s)) - 16383.0;
    else if (e != c)
        v = ((double)r - c) * (16383.0 / ((double)e - c));
    return (int16_t)truncate_value(v, INT16_MIN, INT16_MAX);
}

// Toe brakes: released onto 0, fully pressed onto 16383.
static int16_t toe_brake_value(int32_t r, int32_t off, int32_t on) {
    double v = ((double)r - off) * (16383.0 / ((double)on - off));
    return (int16_t)truncate_value(v, INT16_MIN, INT16_MAX);
}

// Rudder: a three-point axis with a dead band about the centre.
static int16_t rudder_value(int32_t r, int32_t left, int32_t center, int32_t right) {
    int16_t v = three_point_value(r, left, center, right);
    return (v >= -999 && v <= 999) ? 0 : v;
}

int k8055_axis_in_use(int board, int channel) {
    switch (board * 2 + channel - 1) {
    case 0:
        return spd == 0 && l_throttle_enabled == 1 && l_throttle_cal_min != l_throttle_cal_max;
    case 1:
        return spd == 0 && r_throttle_enabled == 1 && r_throttle_cal_min != r_throttle_cal_max;
    case 2:
        return spoilers_enabled == 1;
    case 3:
        return flaps_enabled == 1;
    case 4:
        return rudder_enabled == 1 && rudder_left_cal != rudder_right_cal;
    case 5:
        return toe_brakes_enabled == 1 && toe_brakes_off_cal != toe_brakes_on_cal;
    case 6:
        return yoke_lr_enabled == 1 && yoke_left_cal != yoke_right_cal;
    case 7:
        return yoke_fb_enabled == 1 && yoke_forward_cal != yoke_back_cal;
    }
    return 0;
}

int32_t k8055_axis_clamp(int board, int channel, int32_t raw) {
    switch (board * 2 + channel - 1) {
    case 0:
        return clamp_axis(raw, l_throttle_cal_min, l_throttle_cal_max);
    case 1:
        return clamp_axis(raw, r_throttle_cal_min, r_throttle_cal_max);
    case 2:
        return clamp_axis(raw, spoilers_ret_cal, spoilers_ext_cal);
    case 3:
        return clamp_axis(raw, flaps_up_cal, flaps_dn_cal);
    case 4:
        return clamp_axis(raw, rudder_left_cal, rudder_right_cal);
    case 5:
        return clamp_axis(raw, toe_brakes_off_cal, toe_brakes_on_cal);
    case 6:
        return clamp_axis(raw, yoke_left_cal, yoke_right_cal);
    case 7:
        return clamp_axis(raw, yoke_forward_cal, yoke_back_cal);
    }
    return raw;
}

int32_t k8055_axis_value(int board, int channel, int32_t raw) {
    int32_t r = k8055_axis_clamp(board, channel, raw);
    switch (board * 2 + channel - 1) {
    case 0:
        return throttle_value(r, l_throttle_cal_min, l_throttle_cal_idle, l_throttle_cal_max);
    case 1:
        return throttle_value(r, r_throttle_cal_min, r_throttle_cal_idle, r_throttle_cal_max);
    case 2:
        return spoiler_value(r, spoilers_ret_cal, spoilers_arm_cal, spoilers_ext_cal);
    case 3:
        return flaps_value(r, flaps_up_cal, flaps_8_cal, flaps_20_cal, flaps_dn_cal);
    case 4:
        return rudder_value(r, rudder_left_cal, rudder_center_cal, rudder_right_cal);
    case 5:
        return toe_brake_value(r, toe_brakes_off_cal, toe_brakes_on_cal);
    case 6:
        return three_point_value(r, yoke_left_cal, yoke_center_cal, yoke_right_cal);
    case 7:
        return three_point_value(r, yoke_forward_cal, yoke_mid_cal, yoke_back_cal);
    }
    return 0;
}

// Reads one axis of the current board and maps it into *value; the clamped reading stays in
// analog_input. 0 when the board gave no reading (a serial board not answering reads -1): no
// value is sent then, and the simulator's own control keeps the surface.
static int read_axis(int board, int channel, int32_t *value) {
    int32_t raw = (int32_t)ReadAnalogChannel(channel);
    if (raw < 0)
        return 0;
    analog_input = k8055_axis_clamp(board, channel, raw);
    *value = k8055_axis_value(board, channel, raw);
    return 1;
}

// Board 0: the two throttles (the caller leaves them alone while the speed hold is on).
static void throttle_axes(void) {
    int32_t value;
    if (k8055_axis_in_use(0, 1) && read_axis(0, 1, &value)) {
        eng1_throttle_pos = (int16_t)value;
        send_axis(THROTTLE1_OFFSET, 2, &eng1_throttle_pos);
    }
    if (k8055_axis_in_use(0, 2) && read_axis(0, 2, &value)) {
        eng2_throttle_pos = (int16_t)value;
        send_axis(THROTTLE2_OFFSET, 2, &eng2_throttle_pos);
    }
}

// Board 1: spoilers and flaps.
static void lever_axes(void) {
    int32_t value;
    if (k8055_axis_in_use(1, 1) && read_axis(1, 1, &value)) {
        spoiler_pos = value;
        send_axis(SPOILER_OFFSET, 4, &spoiler_pos);
    }
    if (k8055_axis_in_use(1, 2) && read_axis(1, 2, &value)) {
        flaps_pos = value;
        send_axis(FLAPS_OFFSET, 4, &flaps_pos);
    }
}

// Board 2: rudder (with its dead band) and toe brakes (one value for both brakes).
static void pedal_axes(void) {
    int32_t value;
    if (k8055_axis_in_use(2, 1) && read_axis(2, 1, &value)) {
        rudder_pos = (int16_t)value;
        send_axis(RUDDER_OFFSET, 2, &rudder_pos);
    }
    if (k8055_axis_in_use(2, 2) && read_axis(2, 2, &value)) {
        short_value = (int16_t)value;
        send_axis(LEFT_BRAKE_OFFSET, 2, &short_value);
        send_axis(RIGHT_BRAKE_OFFSET, 2, &short_value);
    }
}

// Board 3: the yoke's roll and pitch.
static void yoke_axes(void) {
    int32_t value;
    if (k8055_axis_in_use(3, 1) && read_axis(3, 1, &value)) {
        aileron_pos = (int16_t)value;
        send_axis(AILERON_OFFSET, 2, &aileron_pos);
    }
    if (k8055_axis_in_use(3, 2) && read_axis(3, 2, &value)) {
        elevator_pos = (int16_t)value;
        send_axis(ELEVATOR_OFFSET, 2, &elevator_pos);
    }
}

void k8055_axes(int board) {
    switch (board) {
    case 0:
        throttle_axes();
        break;
    case 1:
        lever_axes();
        break;
    case 2:
        pedal_axes();
        break;
    case 3:
        yoke_axes();
        break;
    }
}
