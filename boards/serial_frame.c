// Building and reading the frames of the serial board link; shared by firmware and host.
#include "serial_frame.h"

uint16_t serial_crc16(uint16_t crc, const uint8_t *p, size_t n) {
    while (n--) {
        crc ^= (uint16_t)(*p++ << 8);
        for (int i = 0; i < 8; i++)
            crc = (uint16_t)((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
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
    r->got = 0;
}

// Undoes the byte stuffing of n gathered bytes into out; the decoded size, or -1 when the
// bytes are not a stuffed block (a code byte pointing past the end).
static int unstuff(const uint8_t *in, int n, uint8_t *out) {
    int size = 0, i = 0;
    while (i < n) {
        int code = in[i++];
        if (i + code - 1 > n)
            return -1;
        for (int k = 1; k < code; k++)
            out[size++] = in[i++];
        if (code < 0xFF && i < n)
            out[size++] = 0;
    }
    return size;
}

// Checks a gathered frame and takes its fields into r: 1 when it is good.
static int take(struct serial_frame_reader *r) {
    uint8_t d[SERIAL_FRAME_MAX_WIRE];
    int n = r->got > SERIAL_FRAME_MAX_WIRE - 1 ? -1 : unstuff(r->wire, r->got, d);
    if (n < 4 || serial_frame_length(d[0]) != n - 4)
        return 0;
    if (serial_crc16(0xFFFF, d, (size_t)n - 2) != (uint16_t)(d[n - 2] << 8 | d[n - 1]))
        return 0;
    r->type = d[0];
    r->seq = d[1];
    r->len = (uint8_t)(n - 4);
    for (int i = 0; i < r->len; i++)
        r->payload[i] = d[2 + i];
    return 1;
}

int serial_frame_feed(struct serial_frame_reader *r, uint8_t byte) {
    if (byte != 0) {
        if (r->got < SERIAL_FRAME_MAX_WIRE)
            r->wire[r->got++] = byte; // the last place marks a frame too long to be one
        return SERIAL_FRAME_MORE;
    }
    if (r->got == 0)
        return SERIAL_FRAME_MORE; // two zeros in a row: no frame between them
    int good = take(r);
    r->got = 0;
    return good ? SERIAL_FRAME_READY : SERIAL_FRAME_DROPPED;
}

size_t serial_frame_write(uint8_t *out, uint8_t type, uint8_t seq, const uint8_t *payload,
                          uint8_t len) {
    uint8_t d[SERIAL_FRAME_MAX_DECODED];
    size_t n = 0;
    d[n++] = type;
    d[n++] = seq;
    for (uint8_t i = 0; i < len && i < SERIAL_FRAME_MAX_PAYLOAD; i++)
        d[n++] = payload[i];
    uint16_t crc = serial_crc16(0xFFFF, d, n);
    d[n++] = (uint8_t)(crc >> 8);
    d[n++] = (uint8_t)crc;
    // Stuffing: each zero becomes the distance to the next zero (frames are far shorter than
    // the 254 bytes after which a code byte would be needed without a zero).
    size_t code_at = 0, size = 1;
    for (size_t i = 0; i < n; i++) {
        if (d[i] == 0) {
            out[code_at] = (uint8_t)(size - code_at);
            code_at = size++;
        } else {
            out[size++] = d[i];
        }
    }
    out[code_at] = (uint8_t)(size - code_at);
    out[size++] = 0;
    return size;
}
