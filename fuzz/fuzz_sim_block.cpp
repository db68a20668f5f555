// Fuzz target: the stand-in simulator's carrying out of a request block that a hostile client
// wrote. The block is an exactly sized heap copy, so the address sanitizer sees any byte read
// or written past it; the simulator's identity offsets must survive whatever the block asks.
#include "sim/sim.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static int ready = 0;
    if (!ready) {
        sim_set_log(NULL);
        sim_reset();
        ready = 1;
    }
    uint8_t *block = (uint8_t *)malloc(size ? size : 1);
    if (size)
        memcpy(block, data, size);
    int done = sim_process_block(block, size);
    // The headers and the end marker are the client's: the block keeps its size, and a refused
    // or carried-out block both leave the identity in place.
    if (done != 0 && done != 1)
        abort();
    if (sim_get(0x3304, 4) != sim_report_version || sim_get(0x3308, 4) != sim_report_fs)
        abort();
    // Now and then the behaviours run on what the block wrote.
    if (size && data[0] == 0x5A)
        sim_step(0.05);
    free(block);
    return 0;
}
