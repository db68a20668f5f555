// The stand-in aircraft's levers: flap lever (0x0BDC) and the two throttle levers (0x088C,
// 0x0924), at rest up and idle. Throttle values sent by the cockpit's levers (0x089A, 0x0932)
// move the throttle levers as the simulator would.
#include "sim/sim.h"

static void controls_reset(void) {
    sim_set(0x0BDC, 4, 0);
    sim_set(0x088C, 2, 0);
    sim_set(0x0924, 2, 0);
    sim_set(0x089A, 2, 0);
    sim_set(0x0932, 2, 0);
}

static void controls_on_write(uint32_t offset, uint32_t size) {
    if (sim_overlaps(offset, size, 0x089A, 2))
        sim_set(0x088C, 2, sim_get(0x089A, 2));
    if (sim_overlaps(offset, size, 0x0932, 2))
        sim_set(0x0924, 2, sim_get(0x0932, 2));
}

extern const sim_behaviour sim_controls = {"controls", controls_reset, controls_on_write, NULL};
