// The engine autostart: each engine handed over by its start button runs through four phases,
// at most one step per main-loop pass: fuel pump and starter, ignition at light-off, starter
// cut-out at half speed, and the generator put on line at the settled speed.
#include "autostart/autostart.h"
#include "aircraft/aircraft.h"
#include "app/app.h"
#include "simlink/simlink.h"

#define FUEL_PUMPS_OFFSET 0x3125 // fuel pump bits of both engines

// Core speed thresholds, 16384 being 100 %.
#define LIGHT_OFF_SPEED 1114.112
#define CUT_OUT_SPEED 8192.0
#define SETTLED_SPEED 10335.0

// The offsets, flags and pump bit of one engine.
typedef struct {
    int *starting;
    int *phase;
    int32_t *ignition;
    uint8_t own_pump_bit;
    uint8_t other_pump_bit;
    DWORD throttle_offset;   // written full scale when the starter engages
    DWORD starter_offset;    // starter switch: 1 start, 2 after cut-out
    DWORD speed_offset;      // core speed, signed 16-bit
    DWORD generator_offset;  // 1 puts the generator on line
    int repeat_failed_start; // engine 1 repeats a failed phase 1; engine 2 goes on
} engine_start;

static const engine_start engine1 = {
    .starting = &eng1_starting,
    .phase = &eng1_start_phase,
    .ignition = &l_ign_switch,
    .own_pump_bit = 0x01,
    .other_pump_bit = 0x02,
    .throttle_offset = 0x0890,
    .starter_offset = 0x0892,
    .speed_offset = 0x0896,
    .generator_offset = 0x3B7C,
    .repeat_failed_start = 1,
};
static const engine_start engine2 = {
    .starting = &eng2_starting,
    .phase = &eng2_start_phase,
    .ignition = &r_ign_switch,
    .own_pump_bit = 0x02,
    .other_pump_bit = 0x01,
    .throttle_offset = 0x0928,
    .starter_offset = 0x092A,
    .speed_offset = 0x092E,
    .generator_offset = 0x3ABC,
    .repeat_failed_start = 0,
};

// Sends what has been queued; a failure reconnects. Returns 1 when the exchange went through.
static int process(void) {
    if (!FSUIPC_Process(&dwResult)) {
        connect_to_sim();
        return 0;
    }
    return 1;
}

// One exchange reading size bytes at offset. Returns 1 when it went through.
static int read_one(DWORD offset, DWORD size, void *dest) {
    if (!FSUIPC_Read(offset, size, dest, &dwResult)) {
        connect_to_sim();
        return 0;
    }
    return process();
}

// Queues one write; a failure reconnects and abandons the rest of the exchange.
static int queue_write(DWORD offset, DWORD size, void *src) {
    if (!aircraft_write(offset, size, src, &dwResult)) {
        connect_to_sim();
        return 0;
    }
    return 1;
}

// Phase 1: fuel pump on, throttle full scale, starter engaged. Without a fresh pump byte
// nothing is written (a stale byte would switch the wrong pumps): the phase is tried again.
static void engage_starter(const engine_start *e) {
    if (!read_one(FUEL_PUMPS_OFFSET, 1, &char_value)) {
        Sleep(200);
        return;
    }
    char_value |= e->own_pump_bit;
    short_value = 16384;
    ushort_value = 1;
    int ok = queue_write(FUEL_PUMPS_OFFSET, 1, &char_value) &&
             queue_write(e->throttle_offset, 2, &short_value) &&
             queue_write(e->starter_offset, 2, &ushort_value) && process();
    if (ok || !e->repeat_failed_start)
        *e->phase = 2;
    Sleep(200);
}

// Phase 2: the ignition indication comes on once the engine turns at light-off speed.
static void wait_for_light_off(const engine_start *e) {
    if (read_one(e->speed_offset, 2, &short_value) && (double)short_value >= LIGHT_OFF_SPEED) {
        *e->ignition = 1;
        *e->phase = 3;
        Sleep(200);
    }
    Sleep(200);
}

// Phase 3: at half speed the starter cuts out, the ignition indication and pump go off.
// Without a fresh pump byte the phase waits for the next call.
static void wait_for_cut_out(const engine_start *e) {
    if (!read_one(FUEL_PUMPS_OFFSET, 1, &char_value)) {
        Sleep(200);
        return;
    }
    char_value &= e->other_pump_bit;
    if (read_one(e->speed_offset, 2, &short_value) && (double)short_value >= CUT_OUT_SPEED) {
        *e->ignition = 0;
        ushort_value = 2;
        if (queue_write(e->starter_offset, 2, &ushort_value) &&
            queue_write(FUEL_PUMPS_OFFSET, 1, &char_value))
            process();
        *e->phase = 4;
    }
    Sleep(200);
}

// Phase 4: at the settled speed the generator goes on line and the start is complete.
static void wait_for_settled_speed(const engine_start *e) {
    if (!read_one(e->speed_offset, 2, &short_value))
        return;
    if ((double)short_value >= SETTLED_SPEED) {
        long_value = 1;
        if (queue_write(e->generator_offset, 4, &long_value) && process()) {
            *e->starting = 0;
            *e->phase = 1;
        }
    }
}

static void step_engine(const engine_start *e) {
    if (*e->starting != 1)
        return;
    switch (*e->phase) {
    case 1:
        engage_starter(e);
        break;
    case 2:
        wait_for_light_off(e);
        break;
    case 3:
        wait_for_cut_out(e);
        break;
    case 4:
        wait_for_settled_speed(e);
        break;
    default:
        break;
    }
}

int engine_autostart(void) {
    step_engine(&engine1);
    step_engine(&engine2);
    return 1;
}
