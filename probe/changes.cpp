// valdora-probe --changes: where does the aircraft keep a value? The offset space (or a range of
// it) is read in as few exchanges as the block allows, and each offset whose bytes changed since
// the last look is printed with its old and new value and the width the change suggests, so a
// builder flips a switch in the simulator and sees where it went. Nothing is written.
#include "probe/probe.h"
#include "simlink/simlink.h"

#include <stdlib.h>
#include <string.h>

#define CHANGES_CHUNK 32496 // the largest read that fits a block of its own

DWORD probe_changes_from = 0, probe_changes_to = 0xFFFF;
static uint8_t now_bytes[0x10000], last_bytes[0x10000];
static int looked = 0; // 1 once a first look is there to compare with

int probe_parse_range(const char *text, DWORD *from, DWORD *to) {
    char *end;
    unsigned long a = strtoul(text, &end, 16);
    if (end == text || *end != '-')
        return -1;
    const char *second = end + 1;
    unsigned long b = strtoul(second, &end, 16);
    if (end == second || *end != '\0' || a > b || b > 0xFFFF)
        return -1;
    *from = (DWORD)a;
    *to = (DWORD)b;
    return 0;
}

// Reads the range: one read per block-sized piece, as many pieces as fit one exchange each.
static int look(void) {
    DWORD result = 0;
    for (DWORD at = probe_changes_from; at <= probe_changes_to; at += CHANGES_CHUNK) {
        DWORD n = probe_changes_to - at + 1;
        if (n > CHANGES_CHUNK)
            n = CHANGES_CHUNK;
        if (!FSUIPC_Read(at, n, now_bytes + at, &result) || !FSUIPC_Process(&result)) {
            probe_print_lost("the changes read", result);
            FSUIPC_Close();
            probe_linked = 0;
            return 0;
        }
    }
    return 1;
}

// A run of changed bytes as one value: 1, 2, 4 or 8 bytes wide by its length, little-endian.
int probe_change_width(DWORD run) {
    return run <= 1 ? 1 : run <= 2 ? 2 : run <= 4 ? 4 : 8;
}

static unsigned long long value_at(const uint8_t *bytes, DWORD at, int width) {
    unsigned long long v = 0;
    for (int i = 0; i < width && at + (DWORD)i <= 0xFFFF; i++)
        v |= (unsigned long long)bytes[at + (DWORD)i] << (8 * i);
    return v;
}

int probe_changes(void) {
    if (!look())
        return 0;
    if (!looked) {
        looked = 1;
        printf("watching 0x%04X-0x%04X: change something in the simulator\n",
               (unsigned)probe_changes_from, (unsigned)probe_changes_to);
    } else {
        for (DWORD at = probe_changes_from; at <= probe_changes_to; at++) {
            if (now_bytes[at] == last_bytes[at])
                continue;
            DWORD run = 1;
            while (at + run <= probe_changes_to && run < 8 &&
                   now_bytes[at + run] != last_bytes[at + run])
                run++;
            int width = probe_change_width(run);
            printf("0x%04X %d %llu -> %llu\n", (unsigned)at, width, value_at(last_bytes, at, width),
                   value_at(now_bytes, at, width));
            at += run - 1;
        }
    }
    memcpy(last_bytes + probe_changes_from, now_bytes + probe_changes_from,
           probe_changes_to - probe_changes_from + 1);
    fflush(stdout);
    return 1;
}
