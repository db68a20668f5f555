// Fuzz target: the IPC client's reply walk after a hostile server rewrote the block. A real
// server of the transport runs in a thread; after carrying out each block it XORs the fuzz
// bytes over it (so an all-zero input leaves the genuine reply) before answering. The client
// queues reads into heap buffers of exactly their size, so the address sanitizer catches any
// copy that strays, and reads that were not delivered must keep their old bytes.
//
// Input: byte 0 the number of records (1..16), then 3 bytes per record (kind, size, offset
// byte), then the bytes to XOR over the block from its start.
#include "platform/platform.h"
#include "sim/sim.h"
#include "simlink/simlink.h"

#include <atomic>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <thread>
#include <unistd.h>

static sim_server server;
static std::atomic<const uint8_t *> tamper_data(nullptr);
static std::atomic<size_t> tamper_size(0);
static char folder[64];

// The hostile server's carrying out: the genuine records first, then the fuzz bytes over them.
static int hostile_carry_out(const char *name, uint8_t *block, size_t size) {
    int reply = sim_carry_out(name, block, size);
    const uint8_t *data = tamper_data.load();
    size_t n = tamper_size.load();
    for (size_t i = 0; data && i < n && i < size; i++)
        block[i] ^= data[i];
    return reply == 1 ? 1 : reply;
}

static void serve(void) {
    for (;;)
        sim_server_poll(&server, 50);
}

static void no_pause(DWORD ms) {
    (void)ms;
}

static void cleanup(void) {
    FSUIPC_Close();
    char path[128];
    snprintf(path, sizeof path, "%s/FS98MAIN.sock", folder);
    unlink(path);
    rmdir(folder);
}

static void start_once(void) {
    static int ready = 0;
    if (ready)
        return;
    strcpy(folder, "/tmp/valdora-fuzz-walk-XXXXXX");
    if (!mkdtemp(folder))
        abort();
    setenv("VALDORA_IPC_DIR", folder, 1);
    sim_set_log(NULL);
    sim_reset();
    server.carry_out = hostile_carry_out;
    if (sim_server_open(&server, "FS98MAIN") == -1)
        abort();
    std::thread(serve).detach();
    platform_sleep_hook = no_pause;
    DWORD rc;
    if (!FSUIPC_Open(0, &rc))
        abort();
    atexit(cleanup);
    ready = 1;
}

#define MAX_RECORDS 16
#define FILL 0xA5

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    start_once();
    if (size < 1)
        return 0;
    int records = data[0] % MAX_RECORDS + 1;
    if (size < 1 + 3 * (size_t)records)
        return 0;
    const uint8_t *plan = data + 1;
    uint8_t *dest[MAX_RECORDS] = {};
    DWORD sizes[MAX_RECORDS] = {};
    DWORD rc;
    for (int i = 0; i < records; i++) {
        DWORD n = plan[3 * i + 1];
        DWORD offset = 0x3000 + plan[3 * i + 2] * 4u;
        sizes[i] = n;
        if (plan[3 * i] & 1) {
            uint8_t value[256];
            memset(value, 0x11, sizeof value);
            if (!FSUIPC_Write(0x5000 + offset, n, value, &rc))
                abort();
        } else {
            // Exactly sized destinations; a zero-sized read gets one byte to point at.
            dest[i] = (uint8_t *)malloc(n ? n : 1);
            memset(dest[i], FILL, n ? n : 1);
            if (!FSUIPC_Read(offset, n, dest[i], &rc))
                abort();
        }
    }
    tamper_data = plan + 3 * records;
    tamper_size = size - 1 - 3 * (size_t)records;
    if (!FSUIPC_Process(&rc))
        abort(); // the hostile server always answers 1
    tamper_data = nullptr;
    tamper_size = 0;

    // A destination holds either its old bytes or bytes of the offset space read for it;
    // zero-sized reads never change.
    for (int i = 0; i < records; i++) {
        if (!dest[i])
            continue;
        if (sizes[i] == 0 && dest[i][0] != FILL)
            abort();
        free(dest[i]);
    }
    return 0;
}
