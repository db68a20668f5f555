// The serial cockpit board behind the K8055 driver operations: reads come from the latest
// input snapshot (no exchange per read), output changes go out at once as whole output frames,
// and the frames are repeated often enough to keep the board's safe state away. A board that
// stops answering reads as K8055 boards that stopped answering, and is opened again when it
// comes back.
#include "boards/serial.h"
#include "platform/platform.h"

#include <stdlib.h>
#include <string.h>

#define PROBE_MS 300      // answer time of a hello when probing a port
#define CHOSEN_MS 3000    // answer time when VALDORA_BOARDS names the port (boards that restart)
#define REPEAT_MS 250     // outputs are repeated at least this often
#define STALE_MS 500      // a board without a snapshot for this long does not answer
#define REOPEN_MS 500     // a lost port is opened again at most this often
#define REREAD_WAIT_MS 20 // longest wait for a new snapshot when one input is read again

int serial_boards_active;
unsigned serial_boards_dropped;
unsigned serial_boards_snapshots;

static char port_name[64];
static int port = -1;
static struct serial_frame_reader reader;
static int hello_answered;
static uint8_t in_digital[SERIAL_BOARDS], in_analog[SERIAL_BOARDS * 2];
static uint32_t last_snapshot_ms, last_sent_ms, last_open_ms;
static uint8_t out_digital[SERIAL_BOARDS], out_analog[SERIAL_BOARDS * 2];
static int opened[SERIAL_BOARDS];
static long current = -1;
static long last_read_key = -1;
static unsigned snapshots_at_last_read;

void serial_boards_take(uint8_t byte) {
    int got = serial_frame_feed(&reader, byte);
    if (got == SERIAL_FRAME_DROPPED)
        serial_boards_dropped++;
    if (got != SERIAL_FRAME_READY)
        return;
    if (reader.type == SERIAL_HELLO_REPLY) {
        hello_answered = reader.payload[0] == SERIAL_PROTOCOL_VERSION;
    } else if (reader.type == SERIAL_INPUTS) {
        memcpy(in_digital, reader.payload + 1, sizeof in_digital);
        memcpy(in_analog, reader.payload + 1 + SERIAL_BOARDS, sizeof in_analog);
        last_snapshot_ms = serial_port_ms();
        serial_boards_snapshots++;
    }
}

// Lets go of a port that failed; its boards stop answering until it is opened again.
static void lose_port(void) {
    serial_port_close(port);
    port = -1;
    last_open_ms = serial_port_ms();
}

static void send_frame(uint8_t type, const uint8_t *payload, uint8_t len) {
    uint8_t out[SERIAL_FRAME_MAX_PAYLOAD + SERIAL_FRAME_OVERHEAD];
    if (port < 0)
        return;
    if (serial_port_write(port, out, (int)serial_frame_write(out, type, payload, len)) != 0)
        lose_port();
}

static void send_outputs(void) {
    uint8_t p[SERIAL_OUTPUTS_LEN];
    memcpy(p, out_digital, sizeof out_digital);
    memcpy(p + SERIAL_BOARDS, out_analog, sizeof out_analog);
    send_frame(SERIAL_OUTPUTS, p, sizeof p);
    last_sent_ms = serial_port_ms();
}

static void send_hello(void) {
    uint8_t version = SERIAL_PROTOCOL_VERSION;
    send_frame(SERIAL_HELLO, &version, 1);
}

// Opens the port; on success the reader starts afresh and the board is greeted.
static int open_port(void) {
    last_open_ms = serial_port_ms();
    port = serial_port_open(port_name);
    if (port < 0)
        return -1;
    serial_frame_reset(&reader);
    hello_answered = 0;
    send_hello();
    return port >= 0 ? 0 : -1;
}

// Takes every byte waiting on the port; reopens a lost port; repeats the outputs when due.
static void pump(void) {
    uint32_t now = serial_port_ms();
    if (port < 0 && port_name[0] && (uint32_t)(now - last_open_ms) >= REOPEN_MS && open_port() == 0)
        send_outputs(); // back after an unplug: the board starts dark, give it its lamps
    while (port >= 0) {
        uint8_t buf[256];
        int n = serial_port_read(port, buf, sizeof buf);
        if (n < 0)
            lose_port();
        if (n <= 0)
            break;
        for (int i = 0; i < n; i++)
            serial_boards_take(buf[i]);
    }
    if (port >= 0 && (uint32_t)(now - last_sent_ms) >= REPEAT_MS)
        send_outputs();
}

// Waits up to ms for the hello reply, greeting again every PROBE_MS; 1 when it came.
static int await_hello(uint32_t ms) {
    uint32_t start = serial_port_ms(), greeted = start;
    while (port >= 0 && !hello_answered && (uint32_t)(serial_port_ms() - start) < ms) {
        Sleep(1);
        pump();
        if (port >= 0 && !hello_answered && (uint32_t)(serial_port_ms() - greeted) >= PROBE_MS) {
            send_hello();
            greeted = serial_port_ms();
        }
    }
    return hello_answered;
}

void serial_boards_reset(void) {
    serial_port_close(port);
    port = -1;
    port_name[0] = 0;
    serial_boards_active = 0;
    hello_answered = 0;
    current = -1;
    last_read_key = -1;
    memset(opened, 0, sizeof opened);
    memset(in_digital, 0, sizeof in_digital);
    memset(in_analog, 0, sizeof in_analog);
    memset(out_digital, 0, sizeof out_digital);
    memset(out_analog, 0, sizeof out_analog);
    last_snapshot_ms = serial_port_ms() - STALE_MS; // no snapshot yet
    serial_frame_reset(&reader);
}

// Tries one named port; 1 when the board on it answered the hello within ms.
static int try_port(const char *name, uint32_t ms) {
    strncpy(port_name, name, sizeof port_name - 1);
    port_name[sizeof port_name - 1] = 0;
    if (open_port() == 0 && await_hello(ms))
        return 1;
    serial_port_close(port);
    port = -1;
    return 0;
}

int serial_boards_search(long *mask) {
    serial_boards_reset();
    const char *env = getenv("VALDORA_BOARDS");
    *mask = 0;
    if (env && strncmp(env, "serial:", 7) == 0) {
        serial_boards_active = 1;
        if (try_port(env + 7, CHOSEN_MS))
            *mask = 15;
        else
            port_name[0] = 0; // no board: nothing is opened again later
        return 1;
    }
    if (env && env[0])
        return 0; // k8055, virtual: the K8055 driver
    char names[40][64];
    int n = serial_port_candidates(names, 40);
    for (int i = 0; i < n; i++)
        if (try_port(names[i], PROBE_MS)) {
            serial_boards_active = 1;
            *mask = 15;
            return 1;
        }
    port_name[0] = 0;
    return 0;
}

long serial_boards_open(long address) {
    if (address < 0 || address >= SERIAL_BOARDS || !port_name[0])
        return -1;
    opened[address] = 1;
    current = address;
    return address;
}

long serial_boards_select(long address) {
    if (address < 0 || address >= SERIAL_BOARDS || !opened[address])
        return -1;
    current = address;
    return address;
}

// 1 while the current board is open and the board's snapshots are fresh.
static int answering(void) {
    pump();
    return current >= 0 && opened[current] && port >= 0 &&
           (uint32_t)(serial_port_ms() - last_snapshot_ms) < STALE_MS;
}

// A read of the same input again before a new snapshot came (a wait for a button's release)
// waits for the next snapshot instead of spinning: the answer could not change before it.
static void pace_reread(long key) {
    if (key == last_read_key && serial_boards_snapshots == snapshots_at_last_read) {
        uint32_t start = serial_port_ms();
        while (serial_boards_snapshots == snapshots_at_last_read &&
               (uint32_t)(serial_port_ms() - start) < REREAD_WAIT_MS) {
            Sleep(1);
            pump();
        }
    }
    last_read_key = key;
    snapshots_at_last_read = serial_boards_snapshots;
}

long serial_boards_read_digital(long channel) {
    pace_reread(current * 16 + channel);
    if (!answering() || channel < 1 || channel > 5)
        return 0;
    return (in_digital[current] >> (channel - 1)) & 1;
}

long serial_boards_read_analog(long channel) {
    pace_reread(current * 16 + 8 + channel);
    if (!answering() || channel < 1 || channel > 2)
        return 0;
    return in_analog[current * 2 + channel - 1];
}

void serial_boards_digital(long channel, int on) {
    pump();
    if (current < 0 || !opened[current] || channel < 1 || channel > 8)
        return;
    uint8_t bit = (uint8_t)(1 << (channel - 1));
    uint8_t v = on ? out_digital[current] | bit : out_digital[current] & (uint8_t)~bit;
    if (v != out_digital[current]) {
        out_digital[current] = v;
        send_outputs();
    }
}

void serial_boards_analog(long channel, long level) {
    pump();
    if (current < 0 || !opened[current] || channel < 1 || channel > 2)
        return;
    uint8_t v = (uint8_t)(level < 0 ? 0 : level > 255 ? 255 : level);
    if (v != out_analog[current * 2 + channel - 1]) {
        out_analog[current * 2 + channel - 1] = v;
        send_outputs();
    }
}

void serial_boards_all_off(int digital, int analog) {
    pump();
    if (current < 0 || !opened[current])
        return;
    int changed = (digital && out_digital[current]) ||
                  (analog && (out_analog[current * 2] || out_analog[current * 2 + 1]));
    if (digital)
        out_digital[current] = 0;
    if (analog)
        out_analog[current * 2] = out_analog[current * 2 + 1] = 0;
    if (changed)
        send_outputs();
}

void serial_boards_close_current(void) {
    if (current < 0 || !opened[current])
        return;
    opened[current] = 0;
    current = -1;
    for (int b = 0; b < SERIAL_BOARDS; b++)
        if (opened[b])
            return;
    // The last board closed: the outputs as they stand (cleared at shutdown) go out once more
    // before the port is let go.
    send_outputs();
    serial_port_close(port);
    port = -1;
    port_name[0] = 0;
}
