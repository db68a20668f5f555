// The stand-in aircraft's place: the on-ground flag (0x0366, 1 on the ground) and the radio
// altitude (0x31E4), plain offsets that the control command sets to fly.
#include "sim/sim.h"

static void ground_reset(void) {
    sim_set(0x0366, 2, 1);
    sim_set(0x31E4, 4, 0);
}

extern const sim_behaviour sim_ground = {"ground", ground_reset, NULL, NULL};
