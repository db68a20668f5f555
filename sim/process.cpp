// Carrying out a request block: read and write records in order, refusing the rest of a block
// at the first record that runs past it, reaches past the offset space or is unknown.
#include "sim/sim.h"
#include "platform/ipc_transport.h"

#include <string.h>

#define RECORD_END 0
#define RECORD_READ 1
#define RECORD_WRITE 2
#define READ_HEADER 16
#define WRITE_HEADER 12

int sim_process_block(uint8_t *block, size_t size) {
    int done = 0;
    size_t pos = 0;
    sim_lock();
    for (;;) {
        if (size - pos < 4)
            break; // no end marker inside the block
        uint32_t id = ipc_get32(block + pos);
        if (id == RECORD_END) {
            done = 1;
            break;
        }
        size_t header = id == RECORD_READ ? READ_HEADER : WRITE_HEADER;
        if ((id != RECORD_READ && id != RECORD_WRITE) || size - pos < header)
            break;
        uint32_t offset = ipc_get32(block + pos + 4);
        uint32_t n = ipc_get32(block + pos + 8);
        if (n > size - pos - header || (uint64_t)offset + n > SIM_OFFSETS)
            break;
        if (id == RECORD_READ) {
            memcpy(block + pos + header, sim_offsets + offset, n);
            sim_aircraft_hide(offset, n, block + pos + header);
        } else
            sim_write(offset, n, block + pos + header);
        pos += header + n;
    }
    sim_unlock();
    return done;
}

int sim_carry_out(const char *name, uint8_t *block, size_t size) {
    (void)name;
    return sim_process_block(block, size);
}
