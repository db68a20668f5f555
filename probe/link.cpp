// The probe's side of the simulator link: opening it with the program's own client, and one
// snapshot made of the same exchanges the program makes (the radios, then each board's group),
// decoded by the same procedures, without the program's writes.
#include "probe/probe.h"
#include "app/app.h"
#include "aircraft/aircraft.h"
#include "lamps/lamps.h"
#include "rmu/rmu.h"
#include "simlink/simlink.h"

#include <string.h>

int probe_linked = 0;
DWORD probe_exchanges = 0;
DWORD probe_exchange_ms = 0;
DWORD probe_since = 0;
double probe_raw[PROBE_ROWS];
int probe_raw_count = 0;

int probe_connect(void) {
    DWORD result = 0;
    FSUIPC_Close();
    FSUIPC_Listen_Only = 1; // not even the version write of an open
    probe_linked = FSUIPC_Open(0, &result) ? 1 : 0;
    if (!probe_linked)
        probe_print_waiting(result);
    probe_exchanges = 0;
    probe_exchange_ms = 0;
    probe_since = GetTickCount();
    return probe_linked;
}

// The value a read received, as a number, taken as the read's kind says.
static double received(const void *dest, DWORD size, char kind) {
    if (kind == 'f')
        return *(const float *)dest;
    if (size == 1)
        return *(const uint8_t *)dest;
    if (size == 2)
        return kind == 's' ? *(const int16_t *)dest : *(const uint16_t *)dest;
    return kind == 's' ? *(const int32_t *)dest : *(const uint32_t *)dest;
}

// Tells which call failed and with what result, and closes the link.
static int lose_link(DWORD result) {
    char call[64];
    FSUIPC_Last_Call(call, sizeof call);
    probe_print_lost(call, result);
    FSUIPC_Close();
    probe_linked = 0;
    return 0;
}

// One timed exchange; on failure the link is closed and the loss told.
static int exchange(void) {
    DWORD result = 0;
    DWORD start = GetTickCount();
    if (!FSUIPC_Process(&result))
        return lose_link(result);
    probe_exchanges++;
    probe_exchange_ms += GetTickCount() - start;
    return 1;
}

// Queues one read; a refused queueing counts as a lost link.
static int queue(DWORD offset, DWORD size, void *dest) {
    DWORD result = 0;
    if (FSUIPC_Read(offset, size, dest, &result))
        return 1;
    return lose_link(result);
}

static int read_radios(void) {
    for (int i = 0; i < RMU_READS; i++)
        if (!queue(rmu_reads[i].offset, rmu_reads[i].size, rmu_reads[i].dest))
            return 0;
    aircraft_identity_queue();
    if (!exchange()) {
        aircraft_identity_received(0);
        return 0;
    }
    aircraft_identity_received(1);
    rmu_decode_all();
    electrics = rmu_power_flag(power_byte_a, power_byte_b);
    for (int i = 0; i < RMU_READS; i++)
        probe_raw[probe_raw_count++] = received(rmu_reads[i].dest, rmu_reads[i].size, 'u');
    return 1;
}

static int read_group(int group) {
    const aircraft_value *r;
    for (r = aircraft_group_reads[group]; r->size != 0; r++)
        if (!queue(r->offset, r->size, r->dest))
            return 0;
    if (!aircraft_queue_group(group))
        return lose_link(dwResult);
    if (!exchange())
        return 0;
    // The standard raw values are kept before the profile's sources take their place and
    // before the next group reuses the scratch they landed in.
    for (r = aircraft_group_reads[group]; r->size != 0 && probe_raw_count < PROBE_ROWS; r++)
        probe_raw[probe_raw_count++] = received(r->dest, r->size, r->kind);
    aircraft_apply_group(group);
    aircraft_decode_group(group);
    return 1;
}

int probe_snapshot(void) {
    probe_raw_count = 0;
    if (!read_radios())
        return 0;
    for (int group = 0; group < 4; group++)
        if (!read_group(group))
            return 0;
    // The gauge follows the simulator's APU speed as the program's spool step takes it.
    apu_spool_step();
    return 1;
}
