// The serial link's frame coder, shared by the board firmware and the program: the CRC's
// published check value, frames as they go on the wire, and a reader started at any byte of a
// frame or meeting any damage of one byte to it, which must never deliver a frame not sent.
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

// A frame with zeros, the old start byte 0xA5, 0xFF and lever values that forged presses with the
// old link (165, 130, 14, 90) in it, then a good one. Read from any byte of the first, or with the
// first damaged by one byte (flipped in every way, dropped, or one inserted before it), the first
// is never delivered and the second always is.
TEST(SerialFrame, AFrameReadFromItsMiddleOrDamagedByOneByteIsNeverDeliveredAndTheNextIs) {
    const Bytes d{SERIAL_INPUTS, 7, 0, 165, 255, 12, 0, 0, 130, 14, 90, 0, 1, 2, 0};
    Bytes next = d;
    next[1] = 8;
    const Bytes sent = frame(d), after = frame(next);
    Bytes both = sent;
    both.insert(both.end(), after.begin(), after.end());
    ASSERT_EQ(read_all(both), (std::vector<Bytes>{d, next}));
    for (size_t k = 1; k < sent.size(); k++)
        ASSERT_EQ(read_all(both, k), std::vector<Bytes>{next}) << "start offset " << k;
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
