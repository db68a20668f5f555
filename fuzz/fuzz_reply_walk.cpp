// Fuzz target: the IPC client's reply walk after a hostile server rewrote the block. A real
// server of the transport runs in a thread, in the endpoint folder that fuzz/run.sh gives it;
// after carrying out each block it XORs the fuzz
// bytes over it (so an all-zero input leaves the genuine reply) before answering. The client
// queues reads into heap buffers of exactly their size, so the address sanitizer catches any
// copy that strays, and reads that were not delivered must keep their old bytes.
//
// Input: bytes 0 and 1 the number of records (little-endian, 1 to 4096; the queue may fill up
// first, which the capacity rule decides), byte 2 the plan length (low 4 bits, 1 to 16 plans)
// and whether the tamper bytes repeat over the whole block (bit 7), then 3 bytes per plan (kind,
// size, offset byte), used in turn for the records, then the bytes to XOR over the block.
#include "platform/platform.h"
#include "sim/sim.h"
#include "simlink/simlink.h"

#include <atomic>
#include <vector>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <thread>

static sim_server server;
static std::atomic<const uint8_t *> tamper_data(nullptr);
static std::atomic<size_t> tamper_size(0);
static std::atomic<int> tamper_repeat(0);

// The hostile server's carrying out: the genuine records first, then the fuzz bytes over them.
static int hostile_carry_out(const char *name, uint8_t *block, size_t size) {
    int reply = sim_carry_out(name, block, size);
    const uint8_t *data = tamper_data.load();
    size_t n = tamper_size.load();
    size_t reach = tamper_repeat.load() ? size : n;
    for (size_t i = 0; data && n && i < reach && i < size; i++)
        block[i] ^= data[i % n];
    return reply;
}

static void serve(void) {
    for (;;)
        sim_server_poll(&server, 50);
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    sim_set_log(NULL);
    sim_reset();
    server.carry_out = hostile_carry_out;
    if (sim_server_open(&server, "FS98MAIN") == -1)
        abort();
    std::thread(serve).detach();
    platform_sleep_hook = [](DWORD) {}; // no real pauses between attempts
    DWORD rc;
    if (!FSUIPC_Open(0, &rc))
        abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    int plans = size > 2 ? (data[2] & 15) + 1 : 0;
    if (size < 3 + 3 * (size_t)plans)
        return 0;
    std::vector<uint8_t *> dest;
    std::vector<DWORD> sizes;
    DWORD rc = 0;
    for (int i = 0, records = (data[0] | data[1] << 8) % 4096 + 1; i < records; i++) {
        const uint8_t *p = data + 3 + 3 * (i % plans);
        uint8_t *d = (uint8_t *)malloc(p[1] ? p[1] : 1); // exactly sized destinations
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
    tamper_repeat = data[2] >> 7;
    if ((rc != 0 && rc != 15) || !FSUIPC_Process(&rc))
        abort(); // the hostile server always answers 1
    tamper_data = nullptr;
    for (size_t i = 0; i < dest.size(); i++) {
        if (sizes[i] == 0 && dest[i][0] != 0xA5)
            abort(); // a read of no bytes never changes
        free(dest[i]);
    }
    return 0;
}
