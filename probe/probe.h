// valdora-probe: a console program that shows, live, what the cockpit sees of the simulator
// (every offset the program reads, decoded by the program's own rules, with the lamp each one
// drives) and, on request, what the boards give. It never writes to the simulator and never
// drives an output.
#pragma once

#include "platform/platform.h"

// ---- Options and run state ----
extern int probe_once;          // 1: one snapshot, then end
extern int probe_boards;        // 1: also show the boards' inputs and axes
extern const char *probe_csv;   // file to append one line per refresh to, or NULL
extern int probe_tty;           // 1 when the output is a terminal (refreshed in place)
extern volatile int probe_stop; // set by Ctrl+C: the probe closes what it holds and ends

// ---- Simulator link ----
#define PROBE_ROWS 64                // room for every value of one snapshot
extern int probe_linked;             // 1 while the link is open
extern DWORD probe_exchanges;        // exchanges made since the last snapshot was shown
extern DWORD probe_exchange_ms;      // milliseconds those exchanges took in all
extern DWORD probe_since;            // clock when those exchanges began to be counted
extern double probe_raw[PROBE_ROWS]; // raw values of the last snapshot, radios then groups
extern int probe_raw_count;          // how many probe_raw holds

int probe_connect(void);  // one open attempt; 1 when linked
int probe_snapshot(void); // reads and decodes everything once; 0 when the link failed

// ---- Text output ----
void probe_print_waiting(DWORD code);                // the "waiting for the simulator" line
void probe_print_lost(const char *call, DWORD code); // which exchange lost the link
void probe_print_snapshot(void);                     // the link line, radios and the four groups
int probe_format_row(int group, int index, char *out, size_t size); // one group value's line

// ---- Boards ----
void probe_boards_open(void);  // finds and opens the boards (never drives an output)
void probe_print_boards(void); // inputs, raw analog inputs and the calibrated axes' values
void probe_boards_close(void); // lets go of the boards opened (never clearing their outputs)

// ---- Changes: where an aircraft keeps a value ----
extern DWORD probe_changes_from, probe_changes_to; // the range watched (the whole space)
int probe_parse_range(const char *text, DWORD *from, DWORD *to); // "66C0-66FF"; 0 or -1
int probe_change_width(DWORD run); // the width a run of changed bytes suggests
int probe_changes(void); // one look; prints what changed since the last; 0 when the link failed

// ---- CSV ----
int probe_csv_append(void); // appends the last snapshot's raw values; -1 on failure
