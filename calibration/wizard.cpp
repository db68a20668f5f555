// The calibration wizard (F1): text screens in both panels lead the user through the analog
// axes of every present board; at each screen the control is set to the named position and a
// key reads the axis, keeping the raw value as that position's calibration point.
#include "calibration/calibration.h"
#include "app/app.h"
#include "boards/boards.h"
#include "k8055/k8055.h"
#include "rmu/rmu.h"
#include "simlink/simlink.h"

#include <stdio.h>
#include <string.h>

#define KEY_DISABLE 0x0464 // the D key giving "d"
#define KEY_SKIP 0x1373    // the S key giving "s"
#define TEXT_COLOUR 0xFFFF // passed as a raw pixel value
#define MAX_POINTS 4
#define MAX_LINES 6

// One point of an axis: the prompt of its screen, the field it fills, and whether 'd' at the
// axis's first screen clears it.
typedef struct {
    const char *prompt;
    int32_t *field;
    int cleared_by_disable;
    const char *result_format; // its line on the result screen
    double result_y;           // that line's height fraction
} axis_point;

typedef struct {
    long channel;
    const char *name;
    int32_t *enabled;
    int points;
    axis_point point[MAX_POINTS];
} axis;

// A line of a screen: text and height fraction.
typedef struct {
    const char *text;
    double y;
} screen_line;

static const axis left_throttle = {
    1,
    "*LEFT THROTTLE*",
    &l_throttle_enabled,
    3,
    {{"Select 'REVERSE THRUST'", &l_throttle_cal_min, 1, "Left Throttle R/T = %i", 0.3},
     {"Select 'IDLE", &l_throttle_cal_idle, 0, "Left Throttle IDLE= %i", 0.4},
     {"Select 'MAX THRUST", &l_throttle_cal_max, 1, "Left Throttle MAX = %i", 0.5}}};

static const axis right_throttle = {
    2,
    "*RIGHT THROTTLE*",
    &r_throttle_enabled,
    3,
    {{"Select 'REVERSE THRUST'", &r_throttle_cal_min, 1, "Right Throttle R/T= %i", 0.3},
     {"Select 'IDLE", &r_throttle_cal_idle, 0, "Right Throttle IDL= %i", 0.4},
     {"Select 'MAX THRUST", &r_throttle_cal_max, 1, "Right Throttle MAX= %i", 0.5}}};

static const axis spoilers = {
    1,
    "*SPOILER*",
    &spoilers_enabled,
    3,
    {{"Set Spoiler to 'RET'", &spoilers_ret_cal, 1, "Spoiler RET = %i", 0.3},
     {"Set Spoiler to 'ARM'", &spoilers_arm_cal, 1, "Spoiler ARM = %i", 0.4},
     {"Set Spoiler to 'EXT'", &spoilers_ext_cal, 1, "Spoiler EXT = %i", 0.5}}};

static const axis flaps = {2,
                           "*FLAPS*",
                           &flaps_enabled,
                           4,
                           {{"Set Flaps to 'UP'", &flaps_up_cal, 1, "Flaps UP = %i", 0.25},
                            {"Set Flaps to '8'", &flaps_8_cal, 1, "Flaps 8 = %i", 0.35},
                            {"Set Flaps to '20'", &flaps_20_cal, 1, "Flaps 20 = %i", 0.45},
                            {"Set Flaps to 'DN'", &flaps_dn_cal, 1, "Flaps DN = %i", 0.55}}};

static const axis rudder = {
    1,
    "*RUDDER*",
    &rudder_enabled,
    3,
    {{"Set Rudder 'LEFT'", &rudder_left_cal, 1, "Rudder LEFT = %i", 0.3},
     {"Set Rudder 'CENTER'", &rudder_center_cal, 0, "Rudder CENTER = %i", 0.4},
     {"Set Rudder 'RIGHT'", &rudder_right_cal, 1, "Rudder RIGHT = %i", 0.5}}};

static const axis toe_brakes = {
    2,
    "*TOE BRAKES*",
    &toe_brakes_enabled,
    2,
    {{"Set Toe Brakes 'OFF'", &toe_brakes_off_cal, 1, "Toe Brakes OFF = %i", 0.3},
     {"Set Toe Brakes 'ON'", &toe_brakes_on_cal, 1, "Toe Brakes ON = %i", 0.4}}};

static const axis yoke_ailerons = {
    1,
    "*YOKE AILERONS*",
    &yoke_lr_enabled,
    3,
    {{"Set Yoke 'LEFT'", &yoke_left_cal, 1, "Yoke LEFT = %i", 0.3},
     {"Set Yoke 'CENTER'", &yoke_center_cal, 0, "Yoke CENTER = %i", 0.4},
     {"Set Yoke 'RIGHT'", &yoke_right_cal, 1, "Yoke RIGHT = %i", 0.5}}};

static const axis yoke_elevator = {
    2,
    "*YOKE ELEVATOR*",
    &yoke_fb_enabled,
    3,
    {{"Set Yoke 'FORWARD'", &yoke_forward_cal, 1, "Yoke FORWARD = %i", 0.3},
     {"Set Yoke 'CENTER'", &yoke_mid_cal, 0, "Yoke CENTER = %i", 0.4},
     {"Set Yoke 'BACK'", &yoke_back_cal, 1, "Yoke BACK = %i", 0.5}}};

// The boards in address order, each with its channel-1 and channel-2 axis.
static const axis *const board_axes[4][2] = {
    {&left_throttle, &right_throttle},
    {&spoilers, &flaps},
    {&rudder, &toe_brakes},
    {&yoke_ailerons, &yoke_elevator},
};

// Draws one centred line on the work bitmap; the old-style call keeps the library's text mode.
static void draw_line(const char *text, double y) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    textprintf_centre(scrat, font, width / 2, (int)(height * y), TEXT_COLOUR, "%s", text);
#pragma GCC diagnostic pop
}

// Shows a screen of lines in both panels and waits for a key.
static void show_screen(const screen_line *lines, int n) {
    int total_width = 2 * width + gap;
    stretch_blit(pick, scrat, 0, 0, 1, 1, 0, 0, total_width, height);
    for (int i = 0; i < n; i++)
        draw_line(lines[i].text, lines[i].y);

    // Left panel onto the right one. With a negative gap the two areas overlap; blit copies
    // overlapping areas in a safe order, so the right panel is always a true copy.
    if (gap >= 0)
        stretch_blit(scrat, scrat, 0, 0, width, height, gap + width, 0, width, height);
    else
        blit(scrat, scrat, 0, 0, gap + width, 0, width, height);

    int x, y;
    if (angle == 64 || angle == 192) {
        x = height / 2 - total_width / 2 + extra_border / 2;
        y = total_width / 2 - height / 2 + extra_border / 2;
    } else {
        x = extra_border / 2;
        y = extra_border / 2;
    }
    // Turned as rotate_sprite would put it, but safe for the portrait's negative positions.
    put_turned(scrat, x, y, ftofix(angle), ftofix(1.0));
    request_push(); // the RMU comes back on the next draw

    boards_waiting(1); // a screen waiting for its key: the lamps stay as they are
    keypress = readkey();
    boards_waiting(0);
    clear_keybuf();
}

static const screen_line title_line = {"*C A L I B R A T I O N*", 0.15};

static void show_first_screen(const axis *a) {
    screen_line lines[] = {title_line,
                           {a->name, 0.25},
                           {a->point[0].prompt, 0.4},
                           {"'s' to skip,'d' disable", 0.65},
                           {"Any other key to read", 0.75}};
    show_screen(lines, 5);
}

static void show_point_screen(const axis *a, int i) {
    screen_line lines[] = {
        title_line, {a->name, 0.25}, {a->point[i].prompt, 0.4}, {"Any key to read value", 0.65}};
    show_screen(lines, 4);
}

static void show_result_screen(const axis *a) {
    static char texts[MAX_POINTS][64];
    screen_line lines[MAX_LINES];
    int n = 0;
    lines[n++] = title_line;
    for (int i = 0; i < a->points; i++) {
        snprintf(texts[i], sizeof texts[i], a->point[i].result_format, (int)*a->point[i].field);
        lines[n++] = {texts[i], a->point[i].result_y};
    }
    lines[n++] = {"Any key to continue", 0.65};
    show_screen(lines, n);
}

// Notes an axis' recorded points in the log.
static void log_calibration(const axis *a) {
    char points[64] = "";
    for (int i = 0; i < a->points; i++)
        snprintf(points + strlen(points), sizeof points - strlen(points), " %d",
                 (int)*a->point[i].field);
    log_event("calibration %s: saved, points%s", a->name, points);
}

// Records the reading of the current board's analog input as a calibration point. A board that
// gives no reading (a serial board not answering reads -1) leaves the point as it was.
static void take_reading(int32_t *field, int channel) {
    long reading = ReadAnalogChannel(channel);
    if (reading >= 0)
        *field = (int32_t)reading;
}

// One axis: its first screen decides skip, disable or read; then the further points and the
// results.
static void calibrate_axis(const axis *a) {
    show_first_screen(a);
    if (keypress == KEY_DISABLE) {
        skip = 1;
        *a->enabled = 0;
        for (int i = 0; i < a->points; i++)
            if (a->point[i].cleared_by_disable)
                *a->point[i].field = -1;
        log_event("calibration %s: disabled", a->name);
    } else if (keypress == KEY_SKIP) {
        skip = 1;
    } else {
        *a->enabled = 1;
        take_reading(a->point[0].field, a->channel);
    }
    if (skip == 1)
        return;

    for (int i = 1; i < a->points; i++) {
        show_point_screen(a, i);
        take_reading(a->point[i].field, a->channel);
    }
    show_result_screen(a);
    log_calibration(a);
}

static int board_present(int board) {
    switch (board) {
    case 0:
        return vel_zero == 1;
    case 1:
        return vel_one == 1;
    case 2:
        return vel_two == 1;
    default:
        return vel_three == 1;
    }
}

int K8055_analog_cal(void) {
    for (int board = 0; board < 4; board++) {
        if (connected != 1 || !board_present(board))
            continue;
        skip = 0;
        SetCurrentDevice(board);
        calibrate_axis(board_axes[board][0]);
        skip = 0;
        calibrate_axis(board_axes[board][1]);
    }
    return 0;
}
