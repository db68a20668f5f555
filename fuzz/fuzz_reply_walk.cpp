// Fuzz target: the IPC client's reply walk after a hostile server rewrote the block. The unit
// tests' stand-in simulator serves in a thread; after carrying out each block it XORs the fuzz
// bytes over it (so all-zero bytes leave the genuine reply) before answering. The client queues
// reads into heap buffers of exactly their size, so the address sanitizer catches any copy that
// strays, and a read of no bytes must keep its old byte.
//
// Input: bytes 0 and 1 the number of records (little-endian, 1 to 4096; the capacity rule may
// refuse some first), byte 2 the plan count (low 4 bits, 1 to 16) and whether the XOR bytes
// repeat over the whole block (bit 7), then 3 bytes per plan (kind, size, offset byte), used in
// turn for the records, then the bytes to XOR over the block.
#include "simlink/simlink.h"
#include "tests/support/testsim.h"

#include <stdlib.h>
#include <string.h>

static const uint8_t *tamper_data;
static size_t tamper_size, tamper_reach;

static void tamper(uint8_t *block, size_t size) {
    for (size_t i = 0; tamper_size && i < tamper_reach && i < size; i++)
        block[i] ^= tamper_data[i % tamper_size];
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static int ready = 0;
    DWORD rc = 0;
    if (!ready++) {
        testsleep_record();
        testsim_start();
        testsim_tamper(tamper);
        if (!FSUIPC_Open(0, &rc))
            abort();
    }
    int plans = size > 2 ? (data[2] & 15) + 1 : 0;
    if (size < 3 + 3 * (size_t)plans)
        return 0;
    std::vector<uint8_t *> dest;
    std::vector<DWORD> sizes;
    for (int i = 0, records = (data[0] | data[1] << 8) % 4096 + 1; i < records; i++) {
        const uint8_t *p = data + 3 + 3 * (i % plans);
        uint8_t *d = (uint8_t *)malloc(p[1] ? p[1] : 1);
        memset(d, 0xA5, p[1] ? p[1] : 1);
        BOOL queued = p[0] & 1 ? FSUIPC_Write(0x8000 + p[2] * 4u, p[1], d, &rc)
                               : FSUIPC_Read(0x3000 + p[2] * 4u, p[1], d, &rc);
        if (!queued || p[0] & 1)
            free(d);
        if (!queued)
            break; // the queue is full
        if (!(p[0] & 1))
            dest.push_back(d), sizes.push_back(p[1]);
    }
    tamper_data = data + 3 + 3 * plans;
    tamper_size = size - 3 - 3 * (size_t)plans;
    tamper_reach = data[2] & 0x80 ? SIZE_MAX : tamper_size;
    if (rc != 0 && rc != 15)
        abort();
    if (!FSUIPC_Process(&rc))
        abort(); // the hostile server always answers 1
    testsim_clear_writes();
    for (size_t i = 0; i < dest.size(); i++) {
        if (sizes[i] == 0 && dest[i][0] != 0xA5)
            abort();
        free(dest[i]);
    }
    return 0;
}
