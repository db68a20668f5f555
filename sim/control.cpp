// The control verbs get and set: valdora-sim used as a client of the running server through
// the program's own IPC client, so scripts and tests can set aircraft state and read it back.
#include "sim/sim.h"
#include "simlink/simlink.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

#define CONTROL_MAX_BYTES 4096 // largest get

int sim_parse_number(const char *text, uint64_t *value) {
    if (!text || !text[0] || text[0] == '-' || text[0] == '+')
        return -1;
    int hex = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    char *end = NULL;
    errno = 0;
    unsigned long long v = strtoull(hex ? text + 2 : text, &end, hex ? 16 : 10);
    if (errno || end == (hex ? text + 2 : text) || *end)
        return -1;
    *value = v;
    return 0;
}

int sim_control_open(void) {
    DWORD rc = 0;
    if (!FSUIPC_Open(0, &rc)) {
        fprintf(stderr, "valdora-sim: no simulator answers (result %u)\n", (unsigned)rc);
        return -1;
    }
    return 0;
}

void sim_control_close(void) {
    FSUIPC_Close();
}

// Reads offset and size arguments; size from 1 to max.
static int parse_place(char **argv, uint32_t *offset, uint32_t *size, uint32_t max) {
    uint64_t o, n;
    if (sim_parse_number(argv[1], &o) == -1 || sim_parse_number(argv[2], &n) == -1 ||
        o >= SIM_OFFSETS || n < 1 || n > max || o + n > SIM_OFFSETS) {
        fprintf(stderr, "valdora-sim: bad offset or size\n");
        return -1;
    }
    *offset = (uint32_t)o;
    *size = (uint32_t)n;
    return 0;
}

// get OFFSET SIZE: prints a value of up to 8 bytes as 0x-hex with two digits per byte,
// a longer range as its bytes in hex.
static int verb_get(int argc, char **argv) {
    uint32_t offset, size;
    if (argc != 3 || parse_place(argv, &offset, &size, CONTROL_MAX_BYTES) == -1)
        return 2;
    if (sim_control_open() == -1)
        return 1;
    static uint8_t data[CONTROL_MAX_BYTES];
    DWORD rc = 0;
    int ok = FSUIPC_Read(offset, size, data, &rc) && FSUIPC_Process(&rc);
    sim_control_close();
    if (!ok) {
        fprintf(stderr, "valdora-sim: the read failed (result %u)\n", (unsigned)rc);
        return 1;
    }
    if (size <= 8) {
        uint64_t v = 0;
        for (uint32_t i = 0; i < size; i++)
            v |= (uint64_t)data[i] << (8 * i);
        printf("0x%0*llX\n", (int)size * 2, (unsigned long long)v);
    } else {
        for (uint32_t i = 0; i < size; i++)
            printf("%02X", data[i]);
        printf("\n");
    }
    return 0;
}

// set OFFSET SIZE VALUE: writes a value of 1 to 8 bytes, little-endian.
static int verb_set(int argc, char **argv) {
    uint32_t offset, size;
    uint64_t v;
    if (argc != 4 || parse_place(argv, &offset, &size, 8) == -1)
        return 2;
    if (sim_parse_number(argv[3], &v) == -1 || (size < 8 && v >> (8 * size))) {
        fprintf(stderr, "valdora-sim: bad value\n");
        return 2;
    }
    uint8_t data[8];
    for (uint32_t i = 0; i < 8; i++)
        data[i] = (uint8_t)(v >> (8 * i));
    if (sim_control_open() == -1)
        return 1;
    DWORD rc = 0;
    int ok = FSUIPC_Write(offset, size, data, &rc) && FSUIPC_Process(&rc);
    sim_control_close();
    if (!ok) {
        fprintf(stderr, "valdora-sim: the write failed (result %u)\n", (unsigned)rc);
        return 1;
    }
    return 0;
}

extern const sim_control_verb sim_verb_get = {"get", "OFFSET SIZE", verb_get};
extern const sim_control_verb sim_verb_set = {"set", "OFFSET SIZE VALUE", verb_set};
