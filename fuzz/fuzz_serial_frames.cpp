// Fuzz target: the serial board link's frame reader. Any bytes on the line are taken by the
// reader thread's byte handler; it must never crash, and its input snapshot may change only for
// a good inputs frame with a new sequence number: checked here against a COBS decoder and a
// CRC-16 written out longhand, independent of the shared coder.
#include "boards/serial.h"

#include <stdlib.h>

// The type of the good frame in the n bytes before a zero (its sequence number in *seq), or -1.
static int good_frame(const uint8_t *in, size_t n, int *seq) {
    uint8_t d[64];
    size_t size = 0, i = 0;
    while (i < n) {
        size_t code = in[i++];
        if (i + code - 1 > n)
            return -1;
        for (size_t k = 1; k < code; k++)
            d[size++] = in[i++];
        if (code < 0xFF && i < n)
            d[size++] = 0;
    }
    unsigned reg = 0xFFFF; // CRC-16/CCITT-FALSE, one bit at a time
    for (size_t b = 0; size > 2 && b < (size - 2) * 8; b++)
        reg =
            ((reg << 1) & 0xFFFF) ^ ((((reg >> 15) ^ (d[b / 8] >> (7 - b % 8))) & 1) ? 0x1021 : 0);
    size_t want = d[0] == 0x01 ? 5 : d[0] == 0x02 ? 16 : d[0] == 0x81 ? 12 : d[0] == 0x82 ? 17 : 0;
    if (size < 4 || size != want || reg != (unsigned)(d[size - 2] << 8 | d[size - 1]))
        return -1;
    *seq = d[1];
    return d[0];
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    serial_boards_reset();
    unsigned before = serial_boards_snapshots, inputs_frames = 0;
    int last = -1, seq = 0;
    for (size_t i = 0, start = 0; i < size; i++) {
        serial_link_take(data[i]);
        if (data[i] != 0)
            continue;
        int type = i > start && i - start < 22 ? good_frame(data + start, i - start, &seq) : -1;
        inputs_frames += type == SERIAL_INPUTS && seq != last; // a repeated number is dropped
        last = type >= 0 ? seq : last;
        start = i + 1;
    }
    if (serial_boards_snapshots - before != inputs_frames)
        abort(); // the snapshot changed without a good inputs frame, or missed one
    return 0;
}
