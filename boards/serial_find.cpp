// Finding the serial board: the port VALDORA_BOARDS names, or else the ports whose USB identity
// is a Mega or a common USB-serial chip (no other port is opened). Each is opened for this
// program alone and asked for up to 3 s in all: a Mega restarts when its port opens, so the port
// is left quiet until its bootloader has given up and started the firmware (any byte before then
// would hold the bootloader), and then greeted every 300 ms. A board that answers with protocol 2
// is used; one that still speaks protocol 1, or a port that never answers, is reported so that the
// user knows to flash the board.
#include "boards/serial.h"
#include "platform/platform.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define HELLO_EVERY_MS 300 // a hello is repeated this often while waiting for the reply
#define FIND_MS 3000       // how long a port is given to answer, the quiet time included
#define OLD_MAX 18         // longest protocol 1 frame (an inputs frame)
#define ASK_NAP_MS 5       // the pause between looks at the port while waiting for the reply
#define MAX_PORTS 16       // most USB serial ports asked in one search
#define READ_CHUNK 256     // most bytes taken from the port at one look
// The quiet time on a port just opened: the stock bootloader gives up after about 0.85 s (0.9 s
// with the chip's start-up delay), and a margin for slower ones.
#define BOOT_QUIET_MS 1500

int serial_boards_busy;
char serial_boards_port[64];
struct serial_board_info serial_boards_info;
uint32_t serial_boards_quiet_ms = BOOT_QUIET_MS;
char serial_boards_note[128];

// CRC-8 of protocol 1 (polynomial 0x07, start 0), to recognise a board that still speaks it.
static uint8_t old_crc8(const uint8_t *p, int n) {
    uint8_t crc = 0;
    while (n--) {
        crc ^= *p++;
        for (int i = 0; i < 8; i++)
            crc = (uint8_t)((crc & 0x80) ? (crc << 1) ^ 0x07 : crc << 1);
    }
    return crc;
}

// 1 when the last bytes seen (tail, n of them, newest last) end a protocol 1 hello reply or
// inputs frame: start byte 0xA5, type, its one length, payload, CRC-8.
static int old_frame_ends(const uint8_t *tail, int n) {
    static const uint8_t types[2][2] = {{0x81, 2}, {0x82, 14}};
    for (int t = 0; t < 2; t++) {
        int len = types[t][1], size = len + 4;
        const uint8_t *f = tail + n - size;
        if (n >= size && f[0] == 0xA5 && f[1] == types[t][0] && f[2] == len &&
            old_crc8(f + 1, len + 2) == f[size - 1])
            return 1;
    }
    return 0;
}

// Takes a hello reply's payload into info.
static void take_reply(const uint8_t *p, struct serial_board_info *info) {
    info->protocol = p[0];
    info->pin_table = p[1];
    info->firmware = p[2] << 8 | p[3];
    for (int i = 0; i < SERIAL_IDENTITY_LEN; i++)
        snprintf(info->identity + 2 * i, 3, "%02x", p[4 + i]);
}

int serial_board_ask(int port, struct serial_board_info *info, uint32_t wait_ms) {
    struct serial_frame_reader r;
    uint8_t tail[OLD_MAX];
    int kept = 0, new_seen = 0;
    serial_frame_reset(&r);
    memset(info, 0, sizeof *info);
    uint32_t start = GetTickCount(), greeted = start - HELLO_EVERY_MS;
    for (;;) {
        uint32_t now = GetTickCount();
        if ((uint32_t)(now - greeted) >= HELLO_EVERY_MS) {
            uint8_t out[SERIAL_FRAME_MAX_WIRE], version = SERIAL_PROTOCOL_VERSION;
            // A zero first ends whatever the board had gathered, so the hello is read whole.
            out[0] = 0;
            size_t n = serial_frame_write(out + 1, SERIAL_HELLO, 0, &version, SERIAL_HELLO_LEN);
            if (serial_port_write(port, out, (int)n + 1) != 0)
                return 0;
            greeted = now;
        }
        uint8_t buf[READ_CHUNK];
        int n = serial_port_read(port, buf, sizeof buf);
        if (n < 0)
            return 0;
        for (int i = 0; i < n; i++) {
            int got = serial_frame_feed(&r, buf[i]);
            if (got == SERIAL_FRAME_READY)
                new_seen = 1;
            if (got == SERIAL_FRAME_READY && r.type == SERIAL_HELLO_REPLY) {
                take_reply(r.payload, info);
                return 2;
            }
            if (kept == OLD_MAX)
                memmove(tail, tail + 1, --kept);
            tail[kept++] = buf[i];
            if (!new_seen && old_frame_ends(tail, kept)) {
                info->protocol = 1;
                return 1;
            }
        }
        if ((uint32_t)(GetTickCount() - start) >= wait_ms)
            return 0;
        if (n == 0)
            Sleep(ASK_NAP_MS);
    }
}

int serial_board_identify(const char *port_name, struct serial_board_info *info, uint32_t wait_ms,
                          int *port_out) {
    int port = serial_port_open(port_name);
    if (port == SERIAL_PORT_BUSY)
        return -2;
    if (port < 0)
        return -1;
    uint32_t quiet = serial_boards_quiet_ms < wait_ms ? serial_boards_quiet_ms : wait_ms;
    Sleep(quiet); // a board restarting as the port opened is in its bootloader
    int got = serial_board_ask(port, info, wait_ms - quiet);
    if (got == 2 && port_out)
        *port_out = port;
    else
        serial_port_close(port);
    return got;
}

// Tries one port: 1 when a protocol 2 board answered (the reader thread then has the port),
// else 0 with the reason in serial_boards_note.
static int find_on(const char *name) {
    int port = -1;
    int got = serial_board_identify(name, &serial_boards_info, FIND_MS, &port);
    if (got == 2 && serial_boards_info.protocol == SERIAL_PROTOCOL_VERSION) {
        snprintf(serial_boards_port, sizeof serial_boards_port, "%s", name);
        serial_link_start(port);
        return 1;
    }
    serial_port_close(port);
    if (got == -2) {
        serial_boards_busy = 1;
        snprintf(serial_boards_note, sizeof serial_boards_note,
                 "serial board on %s is in use by another program", name);
    } else if (got == -1) {
        snprintf(serial_boards_note, sizeof serial_boards_note, "no serial port %s", name);
    } else if (got == 2 && serial_boards_info.protocol > SERIAL_PROTOCOL_VERSION) {
        snprintf(serial_boards_note, sizeof serial_boards_note,
                 "board firmware newer than this Valdora (protocol %d, not %d): update Valdora, or "
                 "flash its valdora-mega.hex",
                 serial_boards_info.protocol, SERIAL_PROTOCOL_VERSION);
    } else if (got) {
        snprintf(serial_boards_note, sizeof serial_boards_note,
                 "board firmware too old, flash valdora-mega.hex: flash the board with "
                 "valdora-flash");
    } else {
        snprintf(serial_boards_note, sizeof serial_boards_note,
                 "no Valdora firmware on %.60s: flash the board with valdora-flash", name);
    }
    return 0;
}

void serial_boards_reset(void) {
    serial_link_stop(0);
    serial_boards_forget();
    serial_boards_active = 0;
    serial_boards_busy = 0;
    serial_boards_port[0] = 0;
    serial_boards_note[0] = 0;
    memset(&serial_boards_info, 0, sizeof serial_boards_info);
    serial_boards_dropped = serial_boards_gaps = serial_boards_repeats = 0;
}

int serial_boards_search(long *mask) {
    serial_boards_reset();
    const char *env = getenv("VALDORA_BOARDS");
    *mask = 0;
    if (env && strncmp(env, "serial:", 7) == 0) {
        serial_boards_active = 1;
        if (find_on(env + 7))
            *mask = 15;
        return 1;
    }
    if (env && env[0])
        return 0; // k8055, virtual: the K8055 driver
    char names[MAX_PORTS][64];
    int n = serial_port_candidates(names, MAX_PORTS);
    for (int i = 0; i < n; i++)
        if (find_on(names[i])) {
            serial_boards_active = 1;
            serial_boards_note[0] = 0;
            *mask = 15;
            return 1;
        }
    return 0;
}
