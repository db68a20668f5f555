// The stand-in simulator: a 64 KiB offset space, the carrying out of request blocks,
// the small aircraft behaviours that live on the offsets, and the server that serves
// clients over the transport (docs/ipc-transport.md).
#pragma once

#include <stdint.h>
#include <stddef.h>
#include <stdio.h>

#define SIM_OFFSETS 0x10000

extern uint8_t sim_offsets[SIM_OFFSETS];     // the simulator's offset space

// One behaviour of the stand-in aircraft (radios, engines, gear, clock...): each is a
// small separate piece listed in sim/behaviours.cpp.
typedef struct {
    const char *name;                                         // short name for logs
    void (*reset)(void);                                      // puts its offsets at rest (may be NULL)
    void (*on_write)(uint32_t offset, uint32_t size);         // after a client wrote (may be NULL)
    void (*step)(double seconds);                             // advances it by a time step (may be NULL)
} sim_behaviour;
extern const sim_behaviour *const sim_behaviours[];          // NULL-terminated list

void sim_lock(void);                          // takes the offset space (server and tests share it)
void sim_unlock(void);                        // gives it back
void sim_reset(void);                         // a parked aircraft with power on, then every reset
uint32_t sim_get(uint32_t offset, uint32_t size);            // reads 1, 2 or 4 bytes, little-endian
void sim_set(uint32_t offset, uint32_t size, uint32_t value); // writes 1, 2 or 4 bytes, no hooks
void sim_write(uint32_t offset, uint32_t size, const uint8_t *data); // a client write: hooks run
void sim_step(double seconds);                // steps every behaviour
int sim_process_block(uint8_t *block, size_t size); // carries out the records: 1 done, 0 refused
void sim_set_log(FILE *log);                  // appends one line per write received (NULL: none)
