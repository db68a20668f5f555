// The cockpit boards: the switchboard behind the K8055 driver operations (one table of
// procedures per back-end, chosen once at the search) and the cockpit's wiring (what every
// channel of the four boards is wired to, and its pin on the Arduino Mega).
#pragma once

#include <stddef.h>

// ---- Back-ends ----

// One back-end of the driver operations. Each K8055 operation has its procedure here, with the
// operation's own arguments and result.
struct board_methods {
    const char *name; // "k8055" (driver library), "virtual" or "serial"
    // Finds the boards: *mask bit n set for board n. 1 when this back-end takes the operations
    // that follow (a K8055 back-end: when it found any board), 0 when it declines.
    int (*search)(long *mask);
    // Lets go of the port and every state before another search; NULL when nothing is held.
    void (*reset)(void);
    long (*open)(long address);
    long (*select)(long address);
    long (*read_digital)(long channel);
    long (*read_analog)(long channel);
    void (*set_digital)(long channel);
    void (*clear_digital)(long channel);
    void (*set_analog)(long channel);
    void (*clear_analog)(long channel);
    void (*output_analog)(long channel, long level);
    void (*clear_all_digital)(void);
    void (*clear_all_analog)(void);
    void (*close)(void);
};

extern const struct board_methods board_dll;     // the vendor's driver library (Windows)
extern const struct board_methods board_virtual; // the virtual boards of the board file
extern const struct board_methods board_serial;  // the serial board (Arduino Mega)

// The back-ends a search tries: the K8055 one (the driver library on Windows, the virtual
// boards elsewhere), then the serial board. Tests put their own.
extern const struct board_methods *boards_backends[2];
// The back-end that the last search chose; the K8055 one before any search.
extern const struct board_methods *boards_chosen;

// The main thread passes (its loop, a wait for the simulator): a serial board's lamps are kept
// lit only while it does, so that a hung program lets the board go to its safe state.
void boards_pass(void);
// A wait the program means (a wizard screen waiting for a key) begins (1) or ends (0): the lamps
// are kept through it.
void boards_waiting(int on);

// Test seam: when set, every driver operation reports itself (its name and its arguments, -1 for
// none) before acting, so tests can check what was called in what order.
extern void (*k8055_trace_hook)(const char *op, long a, long b);
// Test seam: bits the virtual boards' search adds to its mask, standing for devices at
// addresses the cockpit has no use for (tests of masks above 15); 0 normally.
extern long k8055_search_extra;

// ---- Wiring ----

// What a channel of a board is.
enum board_kind {
    BOARD_DIGITAL_IN,  // a switch input, 1..5
    BOARD_ANALOG_IN,   // an analog input, 1..2, 0..255
    BOARD_DIGITAL_OUT, // a lamp output, 1..8
    BOARD_ANALOG_OUT,  // an analog output level, 1..2, 0..255
};

// One wired channel.
struct board_wire {
    int board;            // 0..3
    int channel;          // numbered as the K8055 numbers it
    enum board_kind kind; // input or output, digital or analog
    const char *name;     // the control's or lamp's name (valdora-boards, the probe)
    const char *meaning;  // what it is wired to
    const char *mega_pin; // the Arduino Mega pin carrying it: "22", "A8"
};

extern const struct board_wire board_wiring[]; // every wired channel, board by board
extern const int board_wiring_count;           // how many board_wiring holds

// The wiring of one channel, or NULL where nothing is wired.
const struct board_wire *board_wire_at(int board, enum board_kind kind, int channel);
// The name of one channel, "" where nothing is wired.
const char *board_wire_name(int board, enum board_kind kind, int channel);
