// Building and reading the frames of the serial board link; shared by firmware and driver.
#include "serial_frame.h"

uint8_t serial_crc8(uint8_t crc, const uint8_t *p, size_t n) {
    while (n--) {
        crc ^= *p++;
        for (int i = 0; i < 8; i++)
            crc = (uint8_t)((crc & 0x80) ? (crc << 1) ^ 0x07 : crc << 1);
    }
    return crc;
}

int serial_frame_length(uint8_t type) {
    switch (type) {
    case SERIAL_HELLO:
        return SERIAL_HELLO_LEN;
    case SERIAL_OUTPUTS:
        return SERIAL_OUTPUTS_LEN;
    case SERIAL_HELLO_REPLY:
        return SERIAL_HELLO_REPLY_LEN;
    case SERIAL_INPUTS:
        return SERIAL_INPUTS_LEN;
    default:
        return -1;
    }
}

void serial_frame_reset(struct serial_frame_reader *r) {
    r->state = 0;
    r->got = 0;
}

int serial_frame_feed(struct serial_frame_reader *r, uint8_t byte) {
    switch (r->state) {
    case 0:
        if (byte == SERIAL_FRAME_START)
            r->state = 1;
        return SERIAL_FRAME_MORE;
    case 1:
        if (byte == SERIAL_FRAME_START) // a start byte again: the frame begins here
            return SERIAL_FRAME_MORE;
        if (serial_frame_length(byte) < 0) {
            r->state = 0; // no such frame: the start byte was noise
            return SERIAL_FRAME_DROPPED;
        }
        r->type = byte;
        r->crc = serial_crc8(0, &byte, 1);
        r->state = 2;
        return SERIAL_FRAME_MORE;
    case 2:
        if (byte != serial_frame_length(r->type)) {
            // Every type has one length: a frame claiming another is dropped here, before its
            // bytes can hide the start of the next one.
            r->state = byte == SERIAL_FRAME_START ? 1 : 0;
            return SERIAL_FRAME_DROPPED;
        }
        r->len = byte;
        r->got = 0;
        r->crc = serial_crc8(r->crc, &byte, 1);
        r->state = byte ? 3 : 4;
        return SERIAL_FRAME_MORE;
    case 3:
        r->payload[r->got++] = byte;
        r->crc = serial_crc8(r->crc, &byte, 1);
        if (r->got == r->len)
            r->state = 4;
        return SERIAL_FRAME_MORE;
    default:
        r->state = 0;
        return byte == r->crc ? SERIAL_FRAME_READY : SERIAL_FRAME_DROPPED;
    }
}

size_t serial_frame_write(uint8_t *out, uint8_t type, const uint8_t *payload, uint8_t len) {
    out[0] = SERIAL_FRAME_START;
    out[1] = type;
    out[2] = len;
    for (uint8_t i = 0; i < len; i++)
        out[3 + i] = payload[i];
    out[3 + len] = serial_crc8(0, out + 1, (size_t)len + 2);
    return (size_t)len + SERIAL_FRAME_OVERHEAD;
}
