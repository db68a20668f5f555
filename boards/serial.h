// The serial cockpit board (docs/serial-boards.md): one board on a serial port standing in for
// the four K8055 boards. A reader thread drains the port all the time and keeps the latest
// input snapshot; the K8055 operations read from it and hand output changes to the thread,
// which also repeats them. The serial port itself is reached through the serial_port_*
// procedures, one file per operating system in platform/.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "boards/serial_frame.h"
#include "platform/serial_port.h"

// What a board's hello reply says about it.
struct serial_board_info {
    int protocol;  // link protocol the board speaks (1: too old to be used; 2: this one)
    int pin_table; // version of its pin table (0 when a protocol 1 board did not say)
    int firmware;  // its firmware version (0 when a protocol 1 board did not say)
    char identity[2 * SERIAL_IDENTITY_LEN + 1]; // board identity, hex (kept across power cycles)
};

extern int serial_boards_active;      // 1 when the board operations go to the serial board
extern int serial_boards_busy;        // 1 when the chosen port is held by another program
extern int serial_boards_listen_only; // 1: never send outputs (the probe)
extern char serial_boards_port[64];   // port of the serial board, "" when none
extern struct serial_board_info serial_boards_info; // the found board's hello reply
extern char serial_boards_note[128];   // why no serial board is used, "" when nothing to say (fits
                                       // the simulator's message line)
extern unsigned serial_boards_dropped; // frames from the board dropped (failed their checks)
extern unsigned serial_boards_gaps;    // frames from the board missed (sequence gaps)
extern unsigned serial_boards_repeats; // frames from the board dropped as repeats
extern unsigned serial_boards_snapshots; // good input snapshots taken from the board
// How long nothing is sent on a port just opened (ms). A Mega restarts as its port opens; its
// bootloader starts the firmware after about 0.85 s of silence, but takes any byte before then
// as the start of a programming session and then waits for seconds of silence more.
extern uint32_t serial_boards_quiet_ms;

// Chooses the boards at the search (VALDORA_BOARDS serial:PORT, or unset: the USB serial ports
// with a known identity): 1 when the serial path is chosen, with *mask its search result (15
// when a protocol 2 board answered), 0 for the K8055 boards.
int serial_boards_search(long *mask);
// The K8055 driver operations on the serial board (same arguments and results). A read while
// the board is not answering gives 0 for a digital input (open) and -1 for an analog one (no
// reading: nothing is sent for that axis).
long serial_boards_open(long address);
long serial_boards_select(long address);
long serial_boards_read_digital(long channel);
long serial_boards_read_analog(long channel);
// Sets digital output channel (1..8) of the current board on (1) or off (0).
void serial_boards_digital(long channel, int on);
// Sets analog output channel (1..2) of the current board to level (held to 0..255).
void serial_boards_analog(long channel, long level);
// Switches off all digital (digital 1) and/or all analog (analog 1) outputs of the current board.
void serial_boards_all_off(int digital, int analog);
void serial_boards_close_current(void);
// Lets go of the port and forgets every state (tests; the next search starts afresh).
void serial_boards_reset(void);
// One line about the board for the log and the probe: port, firmware, identity, counts.
void serial_boards_describe(char *out, size_t size);

// Asks the board on port_name who it is: opens the port for this program alone, keeps quiet
// while a restarted board's bootloader gives up, then greets it every 300 ms until a reply, all
// within wait_ms. 2 for a protocol 2 hello reply (in info; the open port handed to *port_out when
// that is not NULL, else closed), 1 for a board speaking protocol 1, 0 when nothing answered, -1
// when there is no such port, -2 when another program holds it.
int serial_board_identify(const char *port_name, struct serial_board_info *info, uint32_t wait_ms,
                          int *port_out);

// Greets the board on a port already open until it answers or wait_ms pass: 2 for a protocol 2
// hello reply (in info), 1 for a board speaking protocol 1, 0 for no answer.
int serial_board_ask(int port, struct serial_board_info *info, uint32_t wait_ms);

// The operations' own state back to its start (serial.cpp; the search calls it).
void serial_boards_forget(void);

// ---- The link (serial_link.cpp): the reader thread and what it shares ----
// Takes one received byte as the reader thread does (frames, sequence, snapshot).
void serial_link_take(uint8_t byte);
// Starts the reader thread on an open port (or, with port -1, one that opens serial_boards_port);
// the thread must not be running (the search stops it first).
void serial_link_start(int port);
// Stops the reader thread; with send_last 1 the outputs go out once more first. Closes the port.
void serial_link_stop(int send_last);
// Copies the latest snapshot if it is at most max_age ms old: its number (counting from 1),
// else 0.
unsigned serial_link_snapshot(uint8_t digital[SERIAL_BOARDS], uint8_t analog[SERIAL_BOARDS * 2],
                              uint32_t max_age);
// Holds output changes back until serial_link_release or ms pass (a refresh under way).
void serial_link_hold(int ms);
// Lets the held output changes go.
void serial_link_release(void);
// The main thread passes (its loop, a wait for the simulator): the outputs are repeated only
// while it does, or while a read or an output change comes from it, within 2 s.
void serial_link_pass(void);
// A wait the program means (a wizard screen waiting for a key) begins (1) or ends (0): the
// outputs are repeated all through it.
void serial_link_waiting(int on);
// Hands the outputs to the thread, which sends them at once when they changed.
void serial_link_outputs(const uint8_t digital[SERIAL_BOARDS],
                         const uint8_t analog[SERIAL_BOARDS * 2]);
