// A reset of the stand-in aircraft: parked with power on, radios tuned, the server's identity
// in place, then every behaviour puts its own offsets at rest.
#include "sim/sim.h"

#include <string.h>

uint32_t sim_report_version = 0x20000000; // comfortably above the oldest version accepted
uint32_t sim_report_fs = 0xFADE0008;      // the marker, with simulator type 8

void sim_reset(void) {
    sim_lock();
    memset(sim_offsets, 0, sizeof sim_offsets);
    sim_client_lib_version = 0;

    // Radios as packed BCD words without the leading 1 (0x1800 is 118.00 MHz).
    sim_set(0x034E, 2, 0x1800); // COM1 118.000
    sim_set(0x311A, 2, 0x1802); // COM1 standby 118.025
    sim_set(0x3118, 2, 0x2150); // COM2 121.500
    sim_set(0x311C, 2, 0x2280); // COM2 standby 122.800
    sim_set(0x0350, 2, 0x1090); // NAV1 110.900
    sim_set(0x311E, 2, 0x1390); // NAV1 standby 113.900
    sim_set(0x0352, 2, 0x0800); // NAV2 108.000
    sim_set(0x3120, 2, 0x0950); // NAV2 standby 109.500
    sim_set(0x0354, 2, 0x1200); // transponder 1200
    sim_set(0x034C, 2, 0x0350); // ADF 350 kHz
    sim_set(0x0356, 2, 0x0000); // ADF thousands and tenths: 0350.0
    sim_set(0x0B6A, 1, 0);      // avionics powered

    sim_set(0x3304, 4, sim_report_version);
    sim_set(0x3308, 4, sim_report_fs);

    for (int i = 0; sim_behaviours[i]; i++)
        if (sim_behaviours[i]->reset)
            sim_behaviours[i]->reset();
    sim_unlock();
}
