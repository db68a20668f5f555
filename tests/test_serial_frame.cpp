// The serial link's frame coder, shared by the board firmware and the program: the CRC's
// published check value, frames as they go on the wire, a reader started at any byte of a
// stream, and every damage of one byte to a frame, which must never deliver a frame not sent.
#include "boards/serial_frame.h"

#include <gtest/gtest.h>

namespace {

typedef std::vector<uint8_t> Bytes;
unsigned dropped; // frames the readers below dropped

// A frame on the wire from its type, sequence number and payload, one after another.
Bytes frame(const Bytes &d) {
    uint8_t o[SERIAL_FRAME_MAX_WIRE];
    return Bytes(o, o + serial_frame_write(o, d[0], d[1], d.data() + 2, (uint8_t)(d.size() - 2)));
}

// Every good frame a fresh reader delivers from the stream, as type, sequence, payload.
std::vector<Bytes> read_all(const Bytes &stream, size_t from = 0) {
    serial_frame_reader r;
    serial_frame_reset(&r);
    std::vector<Bytes> got;
    for (size_t i = from; i < stream.size(); i++) {
        int what = serial_frame_feed(&r, stream[i]);
        dropped += what == SERIAL_FRAME_DROPPED;
        if (what == SERIAL_FRAME_READY)
            got.push_back(Bytes(r.payload, r.payload + r.len)),
                got.back().insert(got.back().begin(), {r.type, r.seq});
    }
    return got;
}

// CRC-16/CCITT-FALSE's check value; two frames worked out by hand (CRC, then COBS: each zero
// replaced by the distance to the next, a zero at the end); each type with its one length.
TEST(SerialFrame, CrcCheckValueAndFramesOnTheWire) {
    EXPECT_EQ(serial_crc16(0xFFFF, (const uint8_t *)"123456789", 9), 0x29B1);
    EXPECT_EQ(frame({SERIAL_HELLO, 0, 2}), Bytes({0x02, 0x01, 0x04, 0x02, 0xDB, 0xEE, 0x00}));
    EXPECT_EQ(frame({SERIAL_OUTPUTS, 7, 0x40, 0, 0x01, 0, 75, 0, 0, 0, 0, 255, 255, 9}),
              Bytes({0x04, 0x02, 0x07, 0x40, 0x02, 0x01, 0x02, 0x4B, 0x01, 0x01, 0x01, 0x06, 0xFF,
                     0xFF, 0x09, 0x5A, 0x6F, 0x00}));
    const int lengths[][2] = {{0x01, 1}, {0x02, 12}, {0x81, 8}, {0x82, 13}, {0x03, 1}};
    for (auto &l : lengths)
        for (int d : {-1, 0, 1}) { // one byte short or long is dropped, as is an unknown type
            Bytes f(l[1] + d + 2, 0x33);
            f[0] = (uint8_t)l[0], dropped = 0;
            size_t n = read_all(frame(f)).size();
            EXPECT_EQ(n * 10 + dropped, d || l[0] == 3 ? 1u : 10u) << l[0] << " " << d;
        }
}

// Inputs frames whose payloads between them hold every byte value (zeros, the old start byte
// 0xA5, 0xFF), then the lever values that forged presses with the old link, one after another.
// From every start offset, every frame that begins at or after it is delivered, and no other.
TEST(SerialFrame, AReaderStartedAtAnyByteDeliversEveryFrameAfterTheFirstWholeOne) {
    Bytes stream;
    std::vector<size_t> starts;
    std::vector<Bytes> sent;
    for (int f = 0; f < 24; f++) {
        Bytes d{SERIAL_INPUTS, (uint8_t)f, 40, 165, 2, 12, 40, 165, 2, 12, 165, 130, 14, 90, 0};
        for (int i = 0; i < SERIAL_INPUTS_LEN && f < 20; i++)
            d[2 + i] = (uint8_t)(f * SERIAL_INPUTS_LEN + i); // 0 to 255 and on
        Bytes w = frame(d);
        starts.push_back(stream.size()), sent.push_back(d);
        stream.insert(stream.end(), w.begin(), w.end());
    }
    for (size_t k = 0, first = 0; k < stream.size(); k++) {
        first += first < starts.size() && starts[first] < k;
        ASSERT_EQ(read_all(stream, k), std::vector<Bytes>(sent.begin() + (long)first, sent.end()))
            << "start offset " << k;
    }
}

// A frame with zeros, the old start byte 0xA5 and 0xFF in it, damaged by one byte (flipped in
// every way, dropped, or one inserted before it), then a good one: the damaged one is never
// delivered and the good one always is.
TEST(SerialFrame, AFrameDamagedByOneByteIsNeverDeliveredAndTheNextIs) {
    const Bytes d{SERIAL_INPUTS, 7, 0, 165, 255, 12, 0, 0, 130, 14, 90, 0, 1, 2, 0};
    Bytes next = d;
    next[1] = 8;
    const Bytes sent = frame(d), after = frame(next);
    for (size_t at = 0; at + 1 < sent.size(); at++)
        for (int v = 1; v <= 512; v++) { // 1 to 255: a flip; 256: a drop; on: an insertion
            if (at == 0 && v == 512)     // (a zero before the frame harms nothing)
                continue;
            Bytes w = sent;
            if (v < 256)
                w[at] ^= (uint8_t)v;
            else if (v == 256)
                w.erase(w.begin() + (long)at);
            else
                w.insert(w.begin() + (long)at, (uint8_t)v);
            w.insert(w.end(), after.begin(), after.end());
            ASSERT_EQ(read_all(w), std::vector<Bytes>{next}) << "at " << at << ", " << v;
        }
}

} // namespace
