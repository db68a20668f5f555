// An in-process stand-in simulator for unit tests: the real server over the real transport,
// in a thread, on a private endpoint folder, with a record of every write it received.
#pragma once

#include "sim/sim.h"

#include <stdint.h>
#include <string>
#include <vector>

struct testsim_write {
    uint32_t offset;           // where the client wrote
    std::vector<uint8_t> data; // what it wrote
    uint32_t value() const;    // the bytes as a little-endian number (up to 4 bytes)
};

void testsim_start(const char *window_class = "FS98MAIN"); // fresh folder, reset aircraft, serve
void testsim_stop(void);                                   // stops serving and removes the folder
// The offset space, read and set directly (no behaviours run): offset, size[, value].
inline uint32_t (*const testsim_get)(uint32_t, uint32_t) = sim_get;
inline void (*const testsim_set)(uint32_t, uint32_t, uint32_t) = sim_set;
std::vector<testsim_write> testsim_writes(void); // every client write since the last clear
std::vector<testsim_write> testsim_writes_to(uint32_t offset); // those to one offset
void testsim_clear_writes(void);                               // forgets the writes received so far
// The next n requests are answered with reply instead of being carried out: 0 (refused),
// SIM_NO_REPLY (no answer at all: a hung server) or SIM_HANG_UP (the server hangs up).
void testsim_fail_next(int n, int reply = 0);
int testsim_requests(void); // requests served so far
// Called on each block after it was carried out and before the answer (a hostile server);
// NULL: none.
void testsim_tamper(void (*fn)(uint8_t *block, size_t size));
std::vector<std::string> testsim_block_names(void); // the block name of each request served

// Records the pauses of Sleep instead of sleeping (installs platform_sleep_hook).
void testsleep_record(void);
std::vector<unsigned> testsleep_pauses(void); // pauses since the last clear, in order
void testsleep_clear(void);
void testsleep_real(void); // back to real sleeping
