// The stand-in aircraft's clock: hours, minutes and seconds at 0x0238, 0x0239 and 0x023A tick
// with real time and stand still while the simulator is paused (0x0264 nonzero).
#include "sim/sim.h"

static double clock_fraction; // time gathered toward the next second

static void clock_reset(void) {
    clock_fraction = 0.0;
    sim_set(0x0238, 1, 12); // 12:00:00
    sim_set(0x0239, 1, 0);
    sim_set(0x023A, 1, 0);
    sim_set(0x0264, 2, 0); // running
}

// One second more, carried into minutes and hours.
static void clock_tick(void) {
    uint32_t s = sim_get(0x023A, 1) + 1;
    if (s < 60) {
        sim_set(0x023A, 1, s);
        return;
    }
    sim_set(0x023A, 1, 0);
    uint32_t m = sim_get(0x0239, 1) + 1;
    if (m < 60) {
        sim_set(0x0239, 1, m);
        return;
    }
    sim_set(0x0239, 1, 0);
    sim_set(0x0238, 1, (sim_get(0x0238, 1) + 1) % 24);
}

static void clock_step(double seconds) {
    if (sim_get(0x0264, 2) != 0)
        return;
    clock_fraction += seconds;
    while (clock_fraction >= 1.0) {
        clock_fraction -= 1.0;
        clock_tick();
    }
}

extern const sim_behaviour sim_clock = {"clock", clock_reset, NULL, clock_step};
