// The stand-in aircraft's warnings, plain offsets the control command sets: stall (0x036C),
// overspeed (0x036D), engine fire bits (0x3366: bit 0 engine 1, bit 1 engine 2), APU fire
// (0x0B53) and normal brakes failed (0x0B63). All quiet at rest.
#include "sim/sim.h"

static void warnings_reset(void) {
    sim_set(0x036C, 1, 0);
    sim_set(0x036D, 1, 0);
    sim_set(0x3366, 1, 0);
    sim_set(0x0B53, 1, 0);
    sim_set(0x0B63, 1, 0);
}

extern const sim_behaviour sim_warnings = {"warnings", warnings_reset, NULL, NULL};
