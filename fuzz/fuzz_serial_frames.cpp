// Fuzz target: the serial board driver's frame reader. Any bytes on the line are taken by the
// driver; it must never crash, and its input snapshot may change only for a whole inputs frame
// whose type, length and CRC are right (checked here against a CRC computed bit by bit).
#include "boards/serial.h"

#include <stdlib.h>

// CRC-8 (polynomial 0x07, start 0), long-hand: one bit of the message at a time.
static uint8_t crc_by_bits(const uint8_t *p, size_t n) {
    unsigned reg = 0;
    for (size_t i = 0; i < n; i++)
        for (int bit = 7; bit >= 0; bit--) {
            reg = (reg << 1) ^ (((reg >> 7) ^ (p[i] >> bit)) & 1 ? 0x07 : 0);
            reg &= 0xFF;
        }
    return (uint8_t)reg;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    serial_boards_reset();
    unsigned before = serial_boards_snapshots;
    serial_frame_reader r;
    serial_frame_reset(&r);
    unsigned inputs_frames = 0;
    for (size_t i = 0; i < size; i++) {
        serial_boards_take(data[i]);
        if (serial_frame_feed(&r, data[i]) != SERIAL_FRAME_READY)
            continue;
        uint8_t whole[2 + SERIAL_FRAME_MAX_PAYLOAD];
        whole[0] = r.type;
        whole[1] = r.len;
        for (int k = 0; k < r.len; k++)
            whole[2 + k] = r.payload[k];
        if (serial_frame_length(r.type) != r.len || crc_by_bits(whole, 2u + r.len) != data[i])
            abort(); // a frame accepted that is not a whole, good frame
        inputs_frames += r.type == SERIAL_INPUTS;
    }
    if (serial_boards_snapshots - before != inputs_frames)
        abort(); // the snapshot changed without a good inputs frame, or missed one
    return 0;
}
