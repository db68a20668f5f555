// The stand-in aircraft's radio swap toggles: a byte written to offset 0x3123 exchanges the
// active and standby words of every radio whose bit is set, as a real simulator does. The
// radio words themselves are plain offsets, tuned at rest by the reset.
#include "sim/sim.h"

static void radios_on_write(uint32_t offset, uint32_t size) {
    if (!sim_overlaps(offset, size, 0x3123, 1))
        return;
    static const struct {
        uint32_t bit, active, standby;
    } pairs[] = {
        {0x08, 0x034E, 0x311A}, // COM1
        {0x04, 0x3118, 0x311C}, // COM2
        {0x02, 0x0350, 0x311E}, // NAV1
        {0x01, 0x0352, 0x3120}, // NAV2
    };
    uint32_t toggles = sim_get(0x3123, 1);
    for (size_t i = 0; i < sizeof pairs / sizeof pairs[0]; i++) {
        if (!(toggles & pairs[i].bit))
            continue;
        uint32_t active = sim_get(pairs[i].active, 2);
        sim_set(pairs[i].active, 2, sim_get(pairs[i].standby, 2));
        sim_set(pairs[i].standby, 2, active);
    }
}

extern const sim_behaviour sim_radios = {"radios", NULL, radios_on_write, NULL};
