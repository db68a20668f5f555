// The RMU's radio read as the benchmarks make it: fourteen records, then one exchange (an
// exchange that fails ends the benchmark, whose figures would mean nothing).
#pragma once

#include "simlink/simlink.h"

#include <stdint.h>
#include <stdlib.h>

static uint16_t words[11];
static uint8_t bytes[3];

static inline void radio_read() {
    static const DWORD offsets[11] = {0x034E, 0x3118, 0x0350, 0x0352, 0x311A, 0x311C,
                                      0x311E, 0x3120, 0x0354, 0x034C, 0x0356};
    DWORD rc;
    for (int i = 0; i < 11; i++)
        FSUIPC_Read(offsets[i], 2, &words[i], &rc);
    FSUIPC_Read(0x0B6A, 1, &bytes[0], &rc);
    FSUIPC_Read(0x0B52, 1, &bytes[1], &rc);
    FSUIPC_Read(0x3122, 1, &bytes[2], &rc);
    if (!FSUIPC_Process(&rc))
        abort();
}
