// The serial link's frame coder, shared by the board firmware and the program: the CRC's
// published check value, frames as they go on the wire, a reader started at any byte of a
// stream, and a seeded sweep of damaged streams that must never deliver a frame not sent.
#include "boards/serial_frame.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

namespace {

typedef std::vector<uint8_t> Bytes;

Bytes frame(uint8_t type, uint8_t seq, const Bytes &payload) {
    uint8_t out[SERIAL_FRAME_MAX_WIRE];
    return Bytes(out,
                 out + serial_frame_write(out, type, seq, payload.data(), (uint8_t)payload.size()));
}

// Every good frame a fresh reader delivers from the stream, as type, sequence, payload.
std::vector<Bytes> read_all(const Bytes &stream, size_t from = 0, unsigned *dropped = NULL) {
    serial_frame_reader r;
    serial_frame_reset(&r);
    std::vector<Bytes> got;
    for (size_t i = from; i < stream.size(); i++) {
        int what = serial_frame_feed(&r, stream[i]);
        if (what == SERIAL_FRAME_READY) {
            Bytes f{r.type, r.seq};
            f.insert(f.end(), r.payload, r.payload + r.len);
            got.push_back(f);
        } else if (what == SERIAL_FRAME_DROPPED && dropped) {
            ++*dropped;
        }
    }
    return got;
}

// CRC-16/CCITT-FALSE's check value; two frames worked out by hand (CRC, then COBS: each zero
// replaced by the distance to the next, a zero at the end).
TEST(SerialFrame, CrcCheckValueAndFramesOnTheWire) {
    const uint8_t check[] = "123456789";
    EXPECT_EQ(serial_crc16(0xFFFF, check, 9), 0x29B1);
    EXPECT_EQ(frame(SERIAL_HELLO, 0, {2}), Bytes({0x02, 0x01, 0x04, 0x02, 0xDB, 0xEE, 0x00}));
    EXPECT_EQ(frame(SERIAL_OUTPUTS, 7, {0x40, 0, 0x01, 0, 75, 0, 0, 0, 0, 255, 255, 9}),
              Bytes({0x04, 0x02, 0x07, 0x40, 0x02, 0x01, 0x02, 0x4B, 0x01, 0x01, 0x01, 0x06, 0xFF,
                     0xFF, 0x09, 0x5A, 0x6F, 0x00}));
    // Every type with its one length only: one byte short or long is dropped.
    const int lengths[][2] = {{0x01, 1}, {0x02, 12}, {0x81, 8}, {0x82, 13}};
    for (auto &l : lengths) {
        EXPECT_EQ(serial_frame_length((uint8_t)l[0]), l[1]);
        Bytes p((size_t)l[1], 0x33);
        EXPECT_EQ(read_all(frame((uint8_t)l[0], 1, p)).size(), 1u) << l[0];
        for (int d : {-1, 1}) {
            unsigned dropped = 0;
            EXPECT_TRUE(
                read_all(frame((uint8_t)l[0], 1, Bytes(l[1] + d, 0x33)), 0, &dropped).empty());
            EXPECT_EQ(dropped, 1u);
        }
    }
    EXPECT_EQ(serial_frame_length(0x03), -1);
    EXPECT_EQ(serial_frame_length(0x80), -1);
}

// Inputs frames whose payloads between them hold every byte value (zeros, the old start byte
// 0xA5, 0xFF), one after another. From every start offset, every frame that begins at or after
// it is delivered, and nothing else.
TEST(SerialFrame, AReaderStartedAtAnyByteDeliversEveryFrameAfterTheFirstWholeOne) {
    Bytes stream;
    std::vector<size_t> starts;
    std::vector<Bytes> sent;
    for (int f = 0; f < 24; f++) {
        Bytes p;
        for (int i = 0; i < SERIAL_INPUTS_LEN; i++)
            p.push_back((uint8_t)(f * SERIAL_INPUTS_LEN + i));
        if (f == 3)
            p = {40, 165, 2, 12, 40, 165, 2, 12, 165, 130, 14, 90, 0};
        starts.push_back(stream.size());
        Bytes w = frame(SERIAL_INPUTS, (uint8_t)f, p);
        stream.insert(stream.end(), w.begin(), w.end());
        Bytes d{SERIAL_INPUTS, (uint8_t)f};
        d.insert(d.end(), p.begin(), p.end());
        sent.push_back(d);
    }
    std::set<int> values;
    for (auto &s : sent)
        values.insert(s.begin() + 2, s.end());
    ASSERT_EQ(values.size(), 256u);
    for (size_t k = 0; k < stream.size(); k++) {
        size_t first = 0;
        while (first < starts.size() && starts[first] < k)
            first++;
        std::vector<Bytes> want(sent.begin() + (long)first, sent.end());
        ASSERT_EQ(read_all(stream, k), want) << "start offset " << k;
    }
}

// A seeded sweep: 200000 frames, one byte in three of every damaged frame flipped, dropped or
// a byte inserted; no frame may be delivered that was not sent. (Seed 20261207.)
TEST(SerialFrame, DamagedStreamsNeverDeliverAFrameThatWasNotSent) {
    std::mt19937 rng(20261207);
    std::set<Bytes> sent;
    Bytes stream;
    const int frames = 200000;
    int damaged = 0;
    for (int f = 0; f < frames; f++) {
        Bytes p(SERIAL_INPUTS_LEN);
        for (auto &b : p)
            b = (uint8_t)(rng() % 4 == 0 ? 0 : rng());
        Bytes d{SERIAL_INPUTS, (uint8_t)f};
        d.insert(d.end(), p.begin(), p.end());
        sent.insert(d);
        Bytes w = frame(SERIAL_INPUTS, (uint8_t)f, p);
        if (rng() % 3 == 0) {
            damaged++;
            size_t at = rng() % (w.size() - 1);
            switch (rng() % 3) {
            case 0:
                w[at] ^= (uint8_t)(1 + rng() % 255);
                break;
            case 1:
                w.erase(w.begin() + (long)at);
                break;
            default:
                w.insert(w.begin() + (long)at, (uint8_t)rng());
            }
        }
        stream.insert(stream.end(), w.begin(), w.end());
    }
    std::vector<Bytes> got = read_all(stream);
    int forged = 0;
    for (auto &g : got)
        forged += !sent.count(g);
    EXPECT_EQ(forged, 0);
    EXPECT_GE(got.size(), (size_t)(frames - damaged)); // every undamaged frame came through
    RecordProperty("damaged_frames", damaged);
}

} // namespace
