// The K8055 driver operations on the serial board: reads come from the reader thread's latest
// snapshot (at most FRESH_MS old, or the board counts as not answering: switches open, no axis
// reading), output changes are handed to the thread, which sends and repeats them.
#include "boards/serial.h"
#include "platform/platform.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>

#define FRESH_MS 20       // a snapshot older than this is not the present
#define LOSS_WAIT_MS 60   // how long a read waits for a fresh snapshot before giving up
#define REREAD_WAIT_MS 20 // longest wait for a new snapshot when one input is read again
#define REFRESH_MS 50     // longest a board's refresh (clear all, then set) is held back
#define LOOK_MS 1         // the pause between looks for a new snapshot

int serial_boards_active;
int serial_boards_listen_only;

static uint8_t in_digital[SERIAL_BOARDS], in_analog[SERIAL_BOARDS * 2];
static uint8_t out_digital[SERIAL_BOARDS], out_analog[SERIAL_BOARDS * 2];
static int opened[SERIAL_BOARDS];
static long current = -1;
static int quiet; // 1 once a read found the board not answering, until a fresh snapshot
static long last_read_key = -1;
static unsigned last_read_number;

// Local state back to its start (the search does the rest).
void serial_boards_forget(void) {
    current = -1;
    quiet = 0;
    last_read_key = -1;
    memset(opened, 0, sizeof opened);
    memset(out_digital, 0, sizeof out_digital);
    memset(out_analog, 0, sizeof out_analog);
}

long serial_boards_select(long address) {
    if (address < 0 || address >= SERIAL_BOARDS || !opened[address])
        return -1;
    serial_link_release(); // a refresh of the board selected before has ended
    current = address;
    return address;
}

long serial_boards_open(long address) {
    if (address < 0 || address >= SERIAL_BOARDS || !serial_boards_port[0])
        return -1;
    opened[address] = 1;
    return serial_boards_select(address);
}

// Takes the present snapshot into in_digital and in_analog: its number, or 0 when the board is
// not answering. A snapshot late by a little is waited for; once the board has been found
// silent, reads do not wait again until it answers.
static unsigned present(void) {
    unsigned n = serial_link_snapshot(in_digital, in_analog, FRESH_MS);
    uint32_t start = GetTickCount();
    while (!n && !quiet && (uint32_t)(GetTickCount() - start) < LOSS_WAIT_MS) {
        Sleep(LOOK_MS);
        n = serial_link_snapshot(in_digital, in_analog, FRESH_MS);
    }
    quiet = !n;
    return n;
}

// Reads the present for one input. The same input read again before a new snapshot came (a
// wait for a button's release) waits for the next snapshot instead of spinning: the answer
// could not change before it.
static int read_input(long key) {
    if (current < 0 || !opened[current])
        return 0;
    serial_link_release();
    unsigned n = present();
    uint32_t start = GetTickCount();
    while (n && key == last_read_key && n == last_read_number &&
           (uint32_t)(GetTickCount() - start) < REREAD_WAIT_MS) {
        Sleep(LOOK_MS);
        n = present();
    }
    last_read_key = key;
    last_read_number = n;
    return n != 0;
}

long serial_boards_read_digital(long channel) {
    if (channel < 1 || channel > 5 || !read_input(current * 16 + channel))
        return 0;
    return (in_digital[current] >> (channel - 1)) & 1;
}

long serial_boards_read_analog(long channel) {
    if (channel < 1 || channel > 2 || !read_input(current * 16 + 8 + channel))
        return -1;
    return in_analog[current * 2 + channel - 1];
}

void serial_boards_digital(long channel, int on) {
    if (current < 0 || !opened[current] || channel < 1 || channel > 8)
        return;
    uint8_t bit = (uint8_t)(1 << (channel - 1));
    out_digital[current] = on ? out_digital[current] | bit : out_digital[current] & (uint8_t)~bit;
    serial_link_outputs(out_digital, out_analog);
}

void serial_boards_analog(long channel, long level) {
    if (current < 0 || !opened[current] || channel < 1 || channel > 2)
        return;
    out_analog[current * 2 + channel - 1] = (uint8_t)std::clamp(level, 0L, 255L);
    serial_link_outputs(out_digital, out_analog);
}

void serial_boards_all_off(int digital, int analog) {
    if (current < 0 || !opened[current])
        return;
    if (digital)
        out_digital[current] = 0;
    if (analog)
        out_analog[current * 2] = out_analog[current * 2 + 1] = 0;
    // The lamps are cleared to be set again at once: the board sees only the end of it.
    serial_link_hold(REFRESH_MS);
    serial_link_outputs(out_digital, out_analog);
}

void serial_boards_close_current(void) {
    if (current < 0 || !opened[current])
        return;
    serial_link_release();
    opened[current] = 0;
    current = -1;
    for (int b = 0; b < SERIAL_BOARDS; b++)
        if (opened[b])
            return;
    // The last board closed: the outputs as they stand (cleared at shutdown) go out once more
    // before the port is let go.
    serial_link_stop(1);
}

void serial_boards_describe(char *out, size_t size) {
    const struct serial_board_info *i = &serial_boards_info;
    snprintf(out, size,
             "serial board on %s: protocol %d, pin table %d, firmware %d, identity %s; frames "
             "dropped %u, sequence gaps %u, repeats %u",
             serial_boards_port[0] ? serial_boards_port : "(closed)", i->protocol, i->pin_table,
             i->firmware, i->identity[0] ? i->identity : "-", serial_boards_dropped,
             serial_boards_gaps, serial_boards_repeats);
}
