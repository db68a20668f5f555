// The stand-in aircraft's overhead switches, plain offsets the control command sets: generator
// switches (0x3B78, 0x3AB8) and main battery (0x281C) on, crossfeed (0x341F) closed, anti-ice
// (0x08B2) and pitot heat (0x029C) off, ignition (0x208C, 0x218C) off.
#include "sim/sim.h"

static void switches_reset(void) {
    sim_set(0x3B78, 4, 1);
    sim_set(0x3AB8, 4, 1);
    sim_set(0x281C, 4, 1);
    sim_set(0x341F, 1, 0);
    sim_set(0x08B2, 2, 0);
    sim_set(0x029C, 1, 0);
    sim_set(0x208C, 4, 0);
    sim_set(0x218C, 4, 0);
}

extern const sim_behaviour sim_switches = {"switches", switches_reset, NULL, NULL};
