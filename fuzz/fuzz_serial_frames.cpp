// Fuzz target: the serial board link's frame reader. Any bytes on the line are taken by the
// reader thread's byte handler; it must never crash, and its input snapshot may change only for
// a whole inputs frame that is good: checked here against a COBS decoder and a CRC-16 written
// out longhand, independent of the shared coder.
#include "boards/serial.h"

#include <stdlib.h>
#include <string.h>

// CRC-16/CCITT-FALSE, one bit of the message at a time.
static unsigned crc_by_bits(const uint8_t *p, size_t n) {
    unsigned reg = 0xFFFF;
    for (size_t i = 0; i < n; i++)
        for (int bit = 7; bit >= 0; bit--) {
            unsigned top = ((reg >> 15) ^ (p[i] >> bit)) & 1;
            reg = ((reg << 1) & 0xFFFF) ^ (top ? 0x1021 : 0);
        }
    return reg;
}

// The type of the good frame in the n bytes before a zero (its sequence number in *seq), or -1.
static int good_frame(const uint8_t *in, size_t n, int *seq) {
    uint8_t d[512];
    size_t size = 0, i = 0;
    while (i < n) {
        size_t code = in[i++];
        if (code == 0 || i + code - 1 > n)
            return -1;
        for (size_t k = 1; k < code; k++)
            d[size++] = in[i++];
        if (code < 0xFF && i < n)
            d[size++] = 0;
    }
    static const int lengths[][2] = {
        {SERIAL_HELLO, 1}, {SERIAL_OUTPUTS, 12}, {SERIAL_HELLO_REPLY, 8}, {SERIAL_INPUTS, 13}};
    int known = 0;
    for (auto &l : lengths)
        known |= size >= 4 && d[0] == l[0] && size - 4 == (size_t)l[1];
    if (!known || crc_by_bits(d, size - 2) != (unsigned)(d[size - 2] << 8 | d[size - 1]))
        return -1;
    *seq = d[1];
    return d[0];
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    serial_boards_reset();
    unsigned before = serial_boards_snapshots;
    unsigned inputs_frames = 0;
    int last = -1, seq = 0;
    size_t start = 0;
    for (size_t i = 0; i < size; i++) {
        serial_link_take(data[i]);
        if (data[i] != 0)
            continue;
        int type = i > start && i - start < SERIAL_FRAME_MAX_WIRE
                       ? good_frame(data + start, i - start, &seq)
                       : -1;
        if (type >= 0 && seq != last) // a repeated sequence number is dropped
            inputs_frames += type == SERIAL_INPUTS;
        if (type >= 0)
            last = seq;
        start = i + 1;
    }
    if (serial_boards_snapshots - before != inputs_frames)
        abort(); // the snapshot changed without a good inputs frame, or missed one
    return 0;
}
