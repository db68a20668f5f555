// The digital inputs of boards 1 to 3: the autopilot heading, altitude, speed, vertical-speed
// and course knobs and the barometric knob, each a down and an up input stepping faster the
// longer it is held; the two engine start buttons and the APU button.
#include "k8055/k8055.h"
#include "aircraft/aircraft.h"
#include "app/app.h"
#include "autostart/autostart.h"
#include "simlink/simlink.h"

#include <limits.h>

#define HEADING_OFFSET 0x07CC
#define ALTITUDE_OFFSET 0x07D4
#define SPEED_OFFSET 0x07E2
#define VERT_SPEED_OFFSET 0x07F2
#define COURSE_OFFSET 0x0C4E
#define BARO_OFFSET 0x0330
#define FUEL_PUMPS_OFFSET 0x3125
#define ENGINE1_STATE_OFFSET 0x3590 // 1: the start button may hand the engine to autostart
#define ENGINE2_STATE_OFFSET 0x3594
#define ENGINE1_STARTER_OFFSET 0x0892 // starter switch position
#define ENGINE2_STARTER_OFFSET 0x092A
#define ENGINE1_IGNITION_OFFSET 0x208C // ignition
#define ENGINE2_IGNITION_OFFSET 0x218C

#define ALTITUDE_TOP 1897660416 // 95000 feet in metres x 65536
#define ALTITUDE_STEP 399507    // 20 feet
#define SPEED_TOP 900
#define VERT_SPEED_LIMIT 3000

// Where the course counter stops growing: its delta of counter / 4 would reach a whole circle
// after this, and a single add or subtract of 360 would no longer bring the course back.
#define COURSE_COUNTER_STOP (359 * 4 + 3)

// Grows a hold counter; it only stops short of overflowing an int.
static void grow(int *counter, int by) {
    *counter = *counter > INT_MAX - by ? INT_MAX : *counter + by;
}

// Queues a read of one offset and processes it at once; on failure the link is re-made and
// the step goes on with whatever the buffer holds.
static void knob_read(DWORD offset, DWORD size, void *buf) {
    if (!FSUIPC_Read(offset, size, buf, &dwResult) || !FSUIPC_Process(&dwResult))
        connect_to_sim();
}

// Queues a write of one offset; the board's closing process call sends it.
static void knob_write(DWORD offset, DWORD size, void *buf) {
    if (!aircraft_write(offset, size, buf, &dwResult))
        connect_to_sim();
}

static void heading_step(int up) {
    int *c = &step_increase1;
    if (*c <= 20) {
        grow(c, 1);
        Sleep(50);
    } else if (*c <= 100) {
        grow(c, 5);
    } else {
        grow(c, 20);
    }
    knob_read(HEADING_OFFSET, 2, &heading);
    // Wide arithmetic, then 16 bits: the heading wraps around the circle.
    int64_t step = (int64_t)*c + 150;
    heading = (uint16_t)(up ? heading + step : heading - step);
    knob_write(HEADING_OFFSET, 2, &heading);
}

static void altitude_step(int up) {
    int *c = &step_increase1;
    if (*c <= 399500) {
        grow(c, 39950);
        Sleep(50);
    } else {
        grow(c, 159800);
    }
    knob_read(ALTITUDE_OFFSET, 4, &altitude);
    if (up) {
        int64_t v = (int64_t)altitude + *c + ALTITUDE_STEP;
        altitude = v > ALTITUDE_TOP ? ALTITUDE_TOP : (int32_t)v;
    } else {
        int64_t v = (int64_t)altitude - *c - ALTITUDE_STEP;
        altitude = v < 0 ? 0 : (int32_t)v;
    }
    knob_write(ALTITUDE_OFFSET, 4, &altitude);
}

static void speed_step(int up) {
    int *c = &step_increase2;
    if (*c <= 100)
        grow(c, 5);
    knob_read(SPEED_OFFSET, 2, &speed);
    int delta = *c <= 99 ? *c / 4 : *c / 2;
    if (up) {
        int v = speed + delta;
        speed = v > SPEED_TOP ? SPEED_TOP : (uint16_t)v;
    } else {
        int v = speed - delta;
        speed = v < 0 ? 0 : (uint16_t)v;
    }
    knob_write(SPEED_OFFSET, 2, &speed);
    Sleep(200);
}

static void vert_speed_step(int up) {
    int *c = &step_increase2;
    grow(c, 50);
    if (*c > 1000)
        *c = 500;
    int extra = *c <= 999 ? 10 : 100;
    knob_read(VERT_SPEED_OFFSET, 2, &vert_speed);
    int v = up ? vert_speed + *c + extra : vert_speed - *c - extra;
    // The limit holds only in the direction of travel, like speed and altitude.
    if (up && v > VERT_SPEED_LIMIT) {
        vert_speed = VERT_SPEED_LIMIT;
    } else if (!up && v < -VERT_SPEED_LIMIT) {
        vert_speed = -VERT_SPEED_LIMIT;
    } else {
        vert_speed = (int16_t)v;
        Sleep(extra == 10 ? 200 : 50);
    }
    knob_write(VERT_SPEED_OFFSET, 2, &vert_speed);
}

static void course_step(int up) {
    int *c = &step_increase3;
    *c = *c < COURSE_COUNTER_STOP ? *c + 1 : COURSE_COUNTER_STOP;
    knob_read(COURSE_OFFSET, 2, &course);
    int delta = *c <= 9 ? 1 : *c / 4;
    int v = up ? course + delta : course - delta;
    if (*c <= 9)
        Sleep(100);
    if (!up && v < 0)
        v += 360;
    if (up && v > 359)
        v -= 360;
    course = (int16_t)v;
    knob_write(COURSE_OFFSET, 2, &course);
}

static void baro_step(int up) {
    knob_read(BARO_OFFSET, 2, &alt_cal);
    alt_cal = (int16_t)(up ? alt_cal + 4 : alt_cal - 4);
    knob_write(BARO_OFFSET, 2, &alt_cal);
}

// Waits, without pausing, until a digital input of the current board is released.
static void wait_release(long channel) {
    while (ReadDigitalChannel(channel) == 1) {
    }
}

// Reads one offset into a scratch value and processes; 0 (after re-making the link) on failure.
static int button_read(DWORD offset, DWORD size, void *buf) {
    if (FSUIPC_Read(offset, size, buf, &dwResult) && FSUIPC_Process(&dwResult))
        return 1;
    connect_to_sim();
    return 0;
}

// The start button of engine 1 or 2: hands the engine to the autostart sequencer or stops it,
// or on the manual path engages or releases its starter; then waits for the release.
static void engine_start_button(int engine) {
    const int two = engine == 2;
    const DWORD state_offset = two ? ENGINE2_STATE_OFFSET : ENGINE1_STATE_OFFSET;
    const DWORD starter_offset = two ? ENGINE2_STARTER_OFFSET : ENGINE1_STARTER_OFFSET;
    const DWORD ignition_offset = two ? ENGINE2_IGNITION_OFFSET : ENGINE1_IGNITION_OFFSET;
    int *starting = two ? &eng2_starting : &eng1_starting;
    int *phase = two ? &eng2_start_phase : &eng1_start_phase;

    if (!button_read(state_offset, 4, &ulong_value)) {
        wait_release(5);
        return;
    }
    if (ulong_value == 1 && eng_autostart == 1) {
        if (!button_read(starter_offset, 2, &ushort_value)) {
            wait_release(5);
            return;
        }
        if (ushort_value == 0 || ushort_value == 2) {
            *starting = 1;
            *phase = 1;
        } else {
            // Engine stop: starter and ignition off, this engine's fuel pump off. Without a
            // fresh pump byte the pumps are left as they are: a stale byte would switch the
            // wrong ones.
            int pumps_read = button_read(FUEL_PUMPS_OFFSET, 1, &char_value);
            char_value &= two ? 0x01 : 0x02;
            ulong_value = 0;
            ushort_value = 0;
            if (!aircraft_write(starter_offset, 2, &ushort_value, &dwResult) ||
                !aircraft_write(ignition_offset, 4, &ulong_value, &dwResult) ||
                (pumps_read && !aircraft_write(FUEL_PUMPS_OFFSET, 1, &char_value, &dwResult)))
                connect_to_sim();
            *starting = 0;
            *phase = 1;
        }
    } else {
        if (!button_read(starter_offset, 2, &ushort_value)) {
            wait_release(5);
            return;
        }
        if (ushort_value == 0 || ushort_value == 2) {
            ushort_value = 1;
            knob_write(starter_offset, 2, &ushort_value);
        } else {
            ushort_value = 2;
            knob_write(starter_offset, 2, &ushort_value);
            Sleep(100);
        }
        *starting = 0;
    }
    wait_release(5);
}

// The APU button: switches the APU on or off, then waits for the release.
static void apu_button(void) {
    apu_status = apu_status == 0 ? 1 : 0;
    wait_release(5);
}

// The down and up steps of the two knobs of each board, by channel 1 to 4.
typedef void (*knob_step_fn)(int up);
static const knob_step_fn knobs[3][2] = {
    {heading_step, altitude_step}, // board 1
    {speed_step, vert_speed_step}, // board 2
    {course_step, baro_step},      // board 3
};

int k8055_switches(int board) {
    if (board < 1 || board > 3)
        return 0;
    for (long channel = 1; channel <= 4; channel++) {
        if (ReadDigitalChannel(channel) != 1)
            continue;
        knobs[board - 1][(channel - 1) / 2](channel % 2 == 0);
        return 1;
    }
    if (ReadDigitalChannel(5) == 1) {
        if (board == 3)
            apu_button();
        else
            engine_start_button(board);
        return 0;
    }
    if (board == 1)
        step_increase1 = 0;
    else if (board == 2)
        step_increase2 = 0;
    else
        step_increase3 = 0;
    return 0;
}
