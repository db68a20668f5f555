// The stand-in aircraft's two engines. With the engine's fuel pump bit set in 0x3125 and its
// starter at 1 (0x0892 / 0x092A), the starter turns the core (0x0896 / 0x092E, 16384 = 100 %);
// past light-off the engine burns and runs up to its idle of about 63 %, and keeps running once
// the starter goes to 2 and the pump off. An engine that never lit runs down without the
// starter, and the starter switch at 0 shuts a running engine down. Oil pressure (0x08BA /
// 0x0952) and fuel pressure (0x08F8 / 0x0990) follow the core speed. The generator offsets
// (0x3B7C / 0x3ABC) are left as the cockpit writes them. The fuel valves (0x3590 / 0x3594)
// stand open, so the start buttons hand the engines to the cockpit's autostart.
#include "sim/sim.h"

#define FULL_SPEED 16384.0
#define LIGHT_OFF (0.068 * FULL_SPEED)
#define STARTER_LIMIT (0.25 * FULL_SPEED) // what the starter alone reaches
#define IDLE (0.635 * FULL_SPEED)
#define STARTER_RATE (0.05 * FULL_SPEED)  // per second while only the starter turns it
#define ACCELERATION (0.10 * FULL_SPEED)  // per second once lit
#define RUN_DOWN_RATE (0.08 * FULL_SPEED) // per second without starter or fuel
#define OIL_PER_SPEED 1.2                 // oil pressure units per core speed unit
#define FUEL_PER_SPEED 0.1                // fuel pressure units per core speed unit

typedef struct {
    uint8_t pump_bit;
    uint32_t starter, speed, oil, fuel;
} engine_offsets;

static const engine_offsets engine_at[2] = {
    {0x01, 0x0892, 0x0896, 0x08BA, 0x08F8},
    {0x02, 0x092A, 0x092E, 0x0952, 0x0990},
};
static int engine_lit[2];      // 1 while the engine burns fuel
static double engine_speed[2]; // exact core speed between steps

static void set_speed(int e, double speed) {
    engine_speed[e] = speed;
    sim_set(engine_at[e].speed, 2, (uint32_t)(int16_t)speed);
    // Through a signed integer: a negative speed put from outside must not overflow the cast.
    sim_set(engine_at[e].oil, 2, (uint32_t)(uint16_t)(int32_t)(speed * OIL_PER_SPEED));
    sim_set(engine_at[e].fuel, 4, (uint32_t)(int32_t)(speed * FUEL_PER_SPEED));
}

static void engines_reset(void) {
    sim_set(0x3125, 1, 0);
    sim_set(0x3590, 4, 1);
    sim_set(0x3594, 4, 1);
    for (int e = 0; e < 2; e++) {
        engine_lit[e] = 0;
        sim_set(engine_at[e].starter, 2, 0);
        set_speed(e, 0.0);
    }
    sim_set(0x3B7C, 4, 0);
    sim_set(0x3ABC, 4, 0);
}

static double approach(double value, double target, double amount) {
    if (value < target)
        return value + amount >= target ? target : value + amount;
    if (value > target)
        return value - amount <= target ? target : value - amount;
    return value;
}

static void engine_step(int e, double seconds) {
    const engine_offsets *o = &engine_at[e];
    uint32_t starter = sim_get(o->starter, 2);
    int fuel = (sim_get(0x3125, 1) & o->pump_bit) != 0;
    // A speed set from outside counts from where it was put.
    double speed = (double)(int16_t)sim_get(o->speed, 2);
    if ((int16_t)engine_speed[e] != (int16_t)speed)
        engine_speed[e] = speed;
    speed = engine_speed[e];

    if (starter == 0)
        engine_lit[e] = 0; // fuel shut off
    else if (!engine_lit[e] && starter == 1 && fuel && speed >= LIGHT_OFF)
        engine_lit[e] = 1;

    double next;
    if (engine_lit[e])
        next = approach(speed, IDLE, ACCELERATION * seconds);
    else if (starter == 1)
        next = approach(speed, STARTER_LIMIT, STARTER_RATE * seconds);
    else
        next = approach(speed, 0.0, RUN_DOWN_RATE * seconds);
    if (next != speed)
        set_speed(e, next);
}

static void engines_step(double seconds) {
    engine_step(0, seconds);
    engine_step(1, seconds);
}

extern const sim_behaviour sim_engines = {"engines", engines_reset, NULL, engines_step};
