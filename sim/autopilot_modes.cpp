// The stand-in aircraft's autopilot mode flags, plain 4-byte offsets (1 engaged) that the
// control command sets: flight director 0x2EE0, heading 0x07C8, NAV 0x07C4, approach 0x0800,
// autopilot master 0x07BC, yaw damper 0x0808, airspeed 0x07DC, altitude 0x07D0. All off at rest.
#include "sim/sim.h"

static void autopilot_modes_reset(void) {
    static const uint32_t modes[] = {0x2EE0, 0x07C8, 0x07C4, 0x0800,
                                     0x07BC, 0x0808, 0x07DC, 0x07D0};
    for (size_t i = 0; i < sizeof modes / sizeof modes[0]; i++)
        sim_set(modes[i], 4, 0);
}

extern const sim_behaviour sim_autopilot_modes = {"autopilot modes", autopilot_modes_reset, NULL,
                                                  NULL};
