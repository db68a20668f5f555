// The host link: hello and output frames in, input snapshots and hello replies out, the board's
// identity, and the safe state when the host falls silent.
#include "firmware.h"

#include "../boards/serial_frame.h"

#include <avr/eeprom.h>
#include <avr/io.h>

#define IDENTITY_EEPROM ((uint8_t *)0) // identity bytes, then their check byte

uint8_t frames_dropped;

static struct serial_frame_reader reader;
static uint16_t last_heard;
static uint8_t outputs_live; // 1 while outputs may be lit (set by an output frame)
static uint8_t sequence;
static uint8_t identity[SERIAL_IDENTITY_LEN];

static void send_frame(uint8_t type, const uint8_t *payload, uint8_t len) {
    uint8_t out[SERIAL_FRAME_MAX_WIRE];
    uart_send(out, (uint8_t)serial_frame_write(out, type, sequence++, payload, len));
}

// The check byte kept after the identity: tells a written identity from blank or torn memory.
static uint8_t identity_check(const uint8_t *id) {
    return (uint8_t)(serial_crc16(0x5644, id, SERIAL_IDENTITY_LEN) ^ 0xA5);
}

// Reads the identity from EEPROM; a board without one makes it now, once in its life, from
// things no two boards share: the moment the host's first hello arrived, measured by the
// free-running timer, and the noise of the analog inputs.
static void identity_load(void) {
    eeprom_read_block(identity, IDENTITY_EEPROM, SERIAL_IDENTITY_LEN);
    if (eeprom_read_byte(IDENTITY_EEPROM + SERIAL_IDENTITY_LEN) == identity_check(identity))
        return;
    uint8_t seed[2 + 2 + BOARDS * ANALOG_INPUTS];
    uint16_t t = TCNT1, ms = clock_now();
    seed[0] = (uint8_t)t;
    seed[1] = (uint8_t)(t >> 8);
    seed[2] = (uint8_t)ms;
    seed[3] = (uint8_t)(ms >> 8);
    for (uint8_t i = 0; i < BOARDS * ANALOG_INPUTS; i++)
        seed[4 + i] = inputs_analog[i];
    uint16_t a = serial_crc16(0xFFFF, seed, sizeof seed), b = serial_crc16(a, seed, sizeof seed);
    identity[0] = (uint8_t)(a >> 8);
    identity[1] = (uint8_t)a;
    identity[2] = (uint8_t)(b >> 8);
    identity[3] = (uint8_t)b;
    eeprom_update_block(identity, IDENTITY_EEPROM, SERIAL_IDENTITY_LEN);
    eeprom_update_byte(IDENTITY_EEPROM + SERIAL_IDENTITY_LEN, identity_check(identity));
}

static void send_hello_reply(void) {
    static uint8_t loaded;
    if (!loaded) {
        identity_load();
        loaded = 1;
    }
    uint8_t reply[SERIAL_HELLO_REPLY_LEN] = {SERIAL_PROTOCOL_VERSION, SERIAL_PIN_TABLE_VERSION,
                                             FIRMWARE_VERSION >> 8, FIRMWARE_VERSION & 0xFF};
    for (uint8_t i = 0; i < SERIAL_IDENTITY_LEN; i++)
        reply[4 + i] = identity[i];
    send_frame(SERIAL_HELLO_REPLY, reply, sizeof reply);
}

void link_receive(uint16_t now) {
    uint8_t b;
    while (uart_get(&b)) {
        int got = serial_frame_feed(&reader, b);
        if (got == SERIAL_FRAME_DROPPED) {
            frames_dropped++;
            continue;
        }
        if (got != SERIAL_FRAME_READY)
            continue;
        if (reader.type == SERIAL_HELLO) {
            send_hello_reply();
        } else if (reader.type == SERIAL_OUTPUTS) {
            io_apply_outputs(reader.payload);
            outputs_live = 1;
        } else {
            continue; // a frame only a board sends: not for us
        }
        last_heard = now;
    }
}

void link_send_snapshot(void) {
    uint8_t p[SERIAL_INPUTS_LEN];
    for (uint8_t i = 0; i < BOARDS; i++)
        p[i] = inputs_digital[i];
    for (uint8_t i = 0; i < BOARDS * ANALOG_INPUTS; i++)
        p[BOARDS + i] = inputs_analog[i];
    p[SERIAL_INPUTS_LEN - 1] = frames_dropped;
    send_frame(SERIAL_INPUTS, p, sizeof p);
}

void link_watch_silence(uint16_t now) {
    if (outputs_live && (uint16_t)(now - last_heard) >= SILENCE_MS) {
        io_all_off();
        outputs_live = 0;
    }
}
