// The serial cockpit board (docs/serial-boards.md): one board on a serial port standing in for
// the four K8055 boards. The K8055 driver operations hand over to these procedures when the
// board search chose the serial board; the serial port itself is reached through the
// serial_port_* procedures, one file per operating system.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "platform/serial_frame.h"

extern int serial_boards_active;         // 1 when the board operations go to the serial board
extern unsigned serial_boards_dropped;   // frames from the board dropped (length or CRC)
extern unsigned serial_boards_snapshots; // good input snapshots taken from the board

// Chooses the boards at the search (VALDORA_BOARDS, else probing the serial ports): 1 when the
// serial board is chosen, with *mask its search result (15 when it answered), 0 for K8055.
int serial_boards_search(long *mask);
// The K8055 driver operations on the serial board (same arguments and results).
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
// Takes one received byte as if it came from the port (the reader of the driver).
void serial_boards_take(uint8_t byte);
// Lets go of the port and forgets every state (tests; the next search starts afresh).
void serial_boards_reset(void);

// The serial port, per operating system (serial_port_unix.cpp, serial_port_win.cpp).
// Opens a port by name (/dev/ttyACM0, COM5) raw at 115200 baud, 8N1; a handle or -1.
int serial_port_open(const char *name);
// Takes what has arrived, never waiting: bytes read, 0 for none, -1 when the port has failed.
int serial_port_read(int port, uint8_t *buf, int size);
// Sends n bytes; 0 when sent (or dropped for a full buffer), -1 when the port has failed.
int serial_port_write(int port, const uint8_t *p, int n);
// Closes a port; safe with -1.
void serial_port_close(int port);
// Writes the names of the ports worth probing into names; returns how many.
int serial_port_candidates(char names[][64], int max);
// Milliseconds of a monotonic clock (wraps).
uint32_t serial_port_ms(void);
