// The serial board's reader thread: drains the port all the time (so a pause of the program
// never leaves a backlog behind), keeps only the latest input snapshot with its arrival time,
// checks the board's sequence numbers, sends the outputs on every change and repeats them, and
// opens a lost port again (quiet at first: a board restarting as its port opens is in its
// bootloader, which any byte would keep from starting the firmware). A board whose snapshot
// stream falls silent has likely restarted (its reset button, a brown-out) and sits in that
// bootloader too: nothing is sent until it streams again (the outputs, overdue by then, go at
// once). A port opened again may hold another device by now (device names follow plug order):
// it is opened only while its USB identity is the board's, and gets outputs only once it has
// answered the hello as the same board. The outputs are repeated only while the main thread
// passes (its reads and writes, its loop, a wait it means): a hung program lets the board go
// dark. The main thread meets it only through serial_link_snapshot and serial_link_outputs,
// under one lock; a read drains the port itself first, so that a reader thread the system is slow
// to wake never makes the present look old.
#include "boards/serial.h"
#include "platform/platform.h"

#include <stdio.h>
#include <string.h>

#define REPEAT_MS 200 // outputs are repeated at least this often (the board's safe state: 2 s)
#define REOPEN_MS 500 // a lost port is opened again at most this often
// A board that streamed and has sent no frame for this long is taken for restarting (it sends a
// snapshot every 5 ms): nothing is sent to it until it streams again.
#define SILENT_MS 100
// The thread's pace: output changes go out this soon, and a snapshot's arrival time is this
// close. (Reads drain the port themselves, so it costs them nothing; waking on every byte would
// cost far more CPU where bytes come one by one.)
#define WAIT_MS 10
#define READ_CHUNK 256 // most bytes taken from the port at one read
// The main thread not passing for this long (and no wait of its own under way) stops the repeats:
// the board goes to its safe state 2 s after the last one.
#define ALIVE_MS 2000
#define HELLO_EVERY_MS 300 // a port opened again is greeted this often until the board answers
#define GREET_MS 3000      // how long it has to answer, from the opening
// A port opened again whose device did not answer as the board is left alone this long: each
// opening restarts the device on it (DTR), so it is not done every half second.
#define RETRY_MS 30000

unsigned serial_boards_dropped;
unsigned serial_boards_gaps;
unsigned serial_boards_repeats;
unsigned serial_boards_snapshots;

static void *lock;
static void *thread;
static volatile int stop;
static int port = -1;
static uint32_t last_open_ms, last_sent_ms;
static int quiet; // the port was opened again at last_open_ms: nothing is sent until the quiet ends
static uint32_t greeted_ms, reopen_ms = REOPEN_MS;
static char usb_id[96]; // the board's USB identity ("" where none is known)
// The plugging of the device last let go as not the board (0: none, or not known): the port is
// left alone while that device stays plugged in (each opening restarts it: a printer printing
// from its card would be spoilt), and asked again as soon as another is plugged in.
static unsigned left_plugging;
static uint8_t out_seq;
// The frames of a port just opened: the first bytes are likely the tail of a frame the board
// sent before, so the first dropped frame is not counted.
static int first_frame;

// Shared with the main thread, under lock.
static struct serial_frame_reader reader;
static int have_seq, have_snapshot, outputs_due;
static int streamed; // a snapshot came on this port: its silence means a restart
// The device on the port answered the hello as the board found (a port the search hands over
// has: the search heard it).
static int confirmed = 1;
static int foreign;       // it answered as another board or firmware: let go at once
static uint32_t pass_ms;  // when the main thread last passed
static int waiting;       // the main thread is in a wait it means (a wizard screen)
static uint32_t heard_ms; // when the last good frame came
// A board's outputs cleared and set again in one refresh go out as one change: from the clear
// until the refresh ends (or hold_until passes) nothing is sent, not even a repeat.
static int holding;
static uint32_t hold_until;
static uint8_t last_seq;
static uint8_t snap_digital[SERIAL_BOARDS], snap_analog[SERIAL_BOARDS * 2];
static uint32_t snap_ms;
static uint8_t out_digital[SERIAL_BOARDS], out_analog[SERIAL_BOARDS * 2];

static void take_lock(void) {
    if (!lock)
        lock = platform_mutex_create();
    platform_mutex_lock(lock);
}

// Acts on a good frame from the board; a repeated sequence number drops it, a gap is counted.
static void take_frame(void) {
    uint8_t step = (uint8_t)(reader.seq - last_seq);
    if (have_seq && step == 0) {
        serial_boards_repeats++;
        return;
    }
    if (have_seq)
        serial_boards_gaps += step - 1u;
    heard_ms = GetTickCount();
    have_seq = 1;
    last_seq = reader.seq;
    if (reader.type == SERIAL_HELLO_REPLY) {
        char id[2 * SERIAL_IDENTITY_LEN + 1];
        for (int i = 0; i < SERIAL_IDENTITY_LEN; i++)
            snprintf(id + 2 * i, 3, "%02x", reader.payload[4 + i]);
        int same = reader.payload[0] == SERIAL_PROTOCOL_VERSION &&
                   strcmp(id, serial_boards_info.identity) == 0;
        foreign |= !same;
        if (same && !confirmed)
            confirmed = outputs_due = 1;
    }
    if (reader.type == SERIAL_INPUTS && confirmed) {
        memcpy(snap_digital, reader.payload, SERIAL_BOARDS);
        memcpy(snap_analog, reader.payload + SERIAL_BOARDS, SERIAL_BOARDS * 2);
        snap_ms = heard_ms;
        have_snapshot = streamed = 1;
        serial_boards_snapshots++;
    }
}

// Takes one byte (the lock held).
static void take_byte(uint8_t byte) {
    int got = serial_frame_feed(&reader, byte);
    if (got == SERIAL_FRAME_MORE)
        return;
    if (got == SERIAL_FRAME_READY)
        take_frame();
    else if (!first_frame)
        serial_boards_dropped++;
    first_frame = 0;
}

void serial_link_take(uint8_t byte) {
    take_lock();
    take_byte(byte);
    platform_mutex_unlock(lock);
}

// Takes every byte waiting on the open port (the lock held): 1 when the port has failed, else 0.
static int drain(void) {
    uint8_t buf[READ_CHUNK];
    int n;
    while ((n = serial_port_read(port, buf, sizeof buf)) > 0)
        for (int i = 0; i < n; i++)
            take_byte(buf[i]);
    return n < 0;
}

// Lets go of a port that failed: its boards stop answering until it is opened again.
static void lose_port(void) {
    take_lock();
    serial_port_close(port);
    port = -1;
    have_snapshot = 0;
    platform_mutex_unlock(lock);
}

static void send_frame(uint8_t type, const uint8_t *payload, uint8_t len) {
    uint8_t out[SERIAL_FRAME_MAX_WIRE];
    size_t n = serial_frame_write(out, type, out_seq++, payload, len);
    if (port >= 0 && serial_port_write(port, out, (int)n) != 0)
        lose_port();
}

// Sends the outputs when they changed or are due again (never for a listening probe).
static void send_outputs(int force) {
    uint32_t now = GetTickCount();
    uint8_t p[SERIAL_OUTPUTS_LEN];
    take_lock();
    if (holding && (int32_t)(now - hold_until) >= 0)
        holding = 0;
    int alive = waiting || (uint32_t)(now - pass_ms) < ALIVE_MS;
    int due = force ||
              (!holding && alive && (outputs_due || (uint32_t)(now - last_sent_ms) >= REPEAT_MS));
    if (due)
        outputs_due = 0;
    memcpy(p, out_digital, SERIAL_BOARDS);
    memcpy(p + SERIAL_BOARDS, out_analog, SERIAL_BOARDS * 2);
    platform_mutex_unlock(lock);
    if (!due || serial_boards_listen_only)
        return;
    send_frame(SERIAL_OUTPUTS, p, sizeof p);
    last_sent_ms = now;
}

// A port (first or opened again): read from its next frame, send the lamps.
static void start_port(void) {
    take_lock();
    serial_frame_reset(&reader);
    first_frame = 1;
    have_seq = streamed = 0;
    outputs_due = 1;
    platform_mutex_unlock(lock);
}

// Opens the lost port again when due and its device is still the board's (same USB identity):
// 1 when it is open now.
static int reopen(void) {
    uint32_t now = GetTickCount();
    if ((uint32_t)(now - last_open_ms) < reopen_ms || !serial_boards_port[0])
        return 0;
    last_open_ms = now;
    reopen_ms = REOPEN_MS;
    char id[sizeof usb_id];
    serial_port_usb_identity(serial_boards_port, id, sizeof id);
    unsigned plugging = left_plugging ? serial_port_usb_plugging(serial_boards_port) : 0;
    if (plugging == left_plugging && plugging)
        return 0;
    left_plugging = 0;
    int opened = strcmp(id, usb_id) == 0 ? serial_port_open(serial_boards_port) : -1;
    if (opened < 0)
        return 0;
    take_lock();
    port = opened;
    confirmed = foreign = 0;
    platform_mutex_unlock(lock);
    start_port();
    quiet = 1;
    greeted_ms = now - HELLO_EVERY_MS;
    return 1;
}

// One round of the thread: open a lost port when due, else wait for bytes, take them all, and
// send the outputs when due (on a port opened again, once the quiet has ended and the board has
// answered the hello as itself; never to a board whose stream has fallen silent).
static void round_once(void) {
    if (port < 0 && !reopen()) {
        serial_port_nap(WAIT_MS);
        return;
    }
    serial_port_nap(WAIT_MS);
    take_lock();
    int failed = drain();
    int silent = streamed && (uint32_t)(GetTickCount() - heard_ms) >= SILENT_MS;
    int ok = confirmed, other = foreign;
    platform_mutex_unlock(lock);
    uint32_t now = GetTickCount();
    if (failed)
        return lose_port();
    if (quiet && (uint32_t)(now - last_open_ms) < serial_boards_quiet_ms)
        return;
    quiet = 0;
    if (!ok && (other || (uint32_t)(now - last_open_ms) >= GREET_MS)) {
        // Not the board: let go, and leave it alone while it stays plugged in (for a while where
        // that cannot be known).
        left_plugging = serial_port_usb_plugging(serial_boards_port);
        reopen_ms = left_plugging ? REOPEN_MS : RETRY_MS;
        return lose_port();
    }
    if (!ok && (uint32_t)(now - greeted_ms) >= HELLO_EVERY_MS) {
        uint8_t version = SERIAL_PROTOCOL_VERSION;
        send_frame(SERIAL_HELLO, &version, SERIAL_HELLO_LEN);
        greeted_ms = now;
    }
    if (ok && !silent)
        send_outputs(0);
}

static void run(void *arg) {
    (void)arg;
    while (!stop)
        round_once();
}

void serial_link_start(int open_port) {
    take_lock();
    have_snapshot = 0;
    memset(out_digital, 0, sizeof out_digital);
    memset(out_analog, 0, sizeof out_analog);
    pass_ms = GetTickCount();
    waiting = foreign = 0;
    confirmed = 1; // the search heard the board's hello reply
    platform_mutex_unlock(lock);
    serial_port_usb_identity(serial_boards_port, usb_id, sizeof usb_id);
    left_plugging = 0;
    port = open_port;
    last_open_ms = GetTickCount();
    reopen_ms = REOPEN_MS;
    quiet = 0; // the search kept quiet already
    if (port >= 0)
        start_port();
    stop = 0;
    thread = platform_thread_start(run, NULL, "serial-reader");
}

void serial_link_stop(int send_last) {
    stop = 1;
    platform_thread_join(thread);
    thread = NULL;
    if (send_last && port >= 0 && !quiet && confirmed)
        send_outputs(1);
    take_lock();
    serial_port_close(port);
    port = -1;
    serial_frame_reset(&reader);
    have_snapshot = have_seq = 0;
    confirmed = 1;
    platform_mutex_unlock(lock);
}

unsigned serial_link_snapshot(uint8_t digital[SERIAL_BOARDS], uint8_t analog[SERIAL_BOARDS * 2],
                              uint32_t max_age) {
    take_lock();
    pass_ms = GetTickCount(); // a read is the main thread passing
    if (port >= 0)
        drain(); // whatever has arrived counts; a failed port is left to the thread
    int fresh = have_snapshot && (uint32_t)(GetTickCount() - snap_ms) <= max_age;
    if (fresh) {
        memcpy(digital, snap_digital, SERIAL_BOARDS);
        memcpy(analog, snap_analog, SERIAL_BOARDS * 2);
    }
    unsigned number = serial_boards_snapshots;
    platform_mutex_unlock(lock);
    return fresh ? number : 0;
}

void serial_link_hold(int ms) {
    take_lock();
    holding = 1;
    hold_until = GetTickCount() + (uint32_t)ms;
    platform_mutex_unlock(lock);
}

void serial_link_release(void) {
    take_lock();
    holding = 0;
    platform_mutex_unlock(lock);
}

void serial_link_outputs(const uint8_t digital[SERIAL_BOARDS],
                         const uint8_t analog[SERIAL_BOARDS * 2]) {
    take_lock();
    pass_ms = GetTickCount();
    if (memcmp(out_digital, digital, SERIAL_BOARDS) ||
        memcmp(out_analog, analog, SERIAL_BOARDS * 2))
        outputs_due = 1;
    memcpy(out_digital, digital, SERIAL_BOARDS);
    memcpy(out_analog, analog, SERIAL_BOARDS * 2);
    platform_mutex_unlock(lock);
}

void serial_link_pass(void) {
    take_lock();
    pass_ms = GetTickCount();
    platform_mutex_unlock(lock);
}

void serial_link_waiting(int on) {
    take_lock();
    waiting = on;
    pass_ms = GetTickCount();
    platform_mutex_unlock(lock);
}
