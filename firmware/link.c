// The host link: hello and output frames in, input snapshots and hello replies out, and the
// safe state when the host falls silent.
#include "firmware.h"

#include "../platform/serial_frame.h"

uint8_t frames_dropped;

static struct serial_frame_reader reader;
static uint16_t last_heard;
static uint8_t outputs_live; // 1 while outputs may be lit (set by an output frame)
static uint8_t sequence;

static void send_frame(uint8_t type, const uint8_t *payload, uint8_t len) {
    uint8_t out[SERIAL_FRAME_MAX_PAYLOAD + SERIAL_FRAME_OVERHEAD];
    uart_send(out, (uint8_t)serial_frame_write(out, type, payload, len));
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
            static const uint8_t reply[SERIAL_HELLO_REPLY_LEN] = {SERIAL_PROTOCOL_VERSION,
                                                                  SERIAL_PIN_TABLE_VERSION};
            send_frame(SERIAL_HELLO_REPLY, reply, sizeof reply);
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
    p[0] = sequence++;
    for (uint8_t i = 0; i < BOARDS; i++)
        p[1 + i] = inputs_digital[i];
    for (uint8_t i = 0; i < BOARDS * ANALOG_INPUTS; i++)
        p[1 + BOARDS + i] = inputs_analog[i];
    p[SERIAL_INPUTS_LEN - 1] = frames_dropped;
    send_frame(SERIAL_INPUTS, p, sizeof p);
}

void link_watch_silence(uint16_t now) {
    if (outputs_live && (uint16_t)(now - last_heard) >= SILENCE_MS) {
        io_all_off();
        outputs_live = 0;
    }
}
