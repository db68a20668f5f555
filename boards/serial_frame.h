// Frames of the serial board link, protocol 2 (docs/serial-boards.md): type, sequence number,
// payload and a CRC-16, byte-stuffed with COBS so that a zero byte only ever ends a frame. A
// reader dropped into the middle of a stream is back in step at the next zero byte. Plain C
// shared by the board firmware and the program's serial back-end, so both ends build and check
// frames the same way.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define SERIAL_PROTOCOL_VERSION 2
#define SERIAL_PIN_TABLE_VERSION 1

#define SERIAL_FRAME_MAX_PAYLOAD 16
// A decoded frame: type, sequence, payload, CRC high byte, CRC low byte.
#define SERIAL_FRAME_MAX_DECODED (SERIAL_FRAME_MAX_PAYLOAD + 4)
// On the wire: one COBS code byte more than the decoded frame, and the zero delimiter.
#define SERIAL_FRAME_MAX_WIRE (SERIAL_FRAME_MAX_DECODED + 2)

// Frame types: host to board below 0x80, board to host from 0x80.
#define SERIAL_HELLO 0x01       // payload: protocol version the host speaks (1 byte)
#define SERIAL_OUTPUTS 0x02     // payload: SERIAL_OUTPUTS_LEN bytes, see below
#define SERIAL_HELLO_REPLY 0x81 // payload: SERIAL_HELLO_REPLY_LEN bytes, see below
#define SERIAL_INPUTS 0x82      // payload: SERIAL_INPUTS_LEN bytes, see below

#define SERIAL_HELLO_LEN 1
// Hello reply: protocol version, pin-table version, firmware version (high byte, low byte),
// board identity (SERIAL_IDENTITY_LEN bytes, kept by the board across power cycles).
#define SERIAL_IDENTITY_LEN 4
#define SERIAL_HELLO_REPLY_LEN (4 + SERIAL_IDENTITY_LEN)
// Outputs: digital[4] (board n, bit c-1 = output c on), analog[8] (index 2n + c-1 = level).
#define SERIAL_OUTPUTS_LEN 12
// Inputs: digital[4] (board n, bit c-1 = input c closed), analog[8] (0..255), count of frames
// the board dropped (wraps at 256).
#define SERIAL_INPUTS_LEN 13

#define SERIAL_BOARDS 4

// What a reader fed one byte has to say.
#define SERIAL_FRAME_MORE 0    // nothing complete yet
#define SERIAL_FRAME_READY 1   // a good frame is in the reader
#define SERIAL_FRAME_DROPPED 2 // a frame failed its stuffing, length, type or CRC and was dropped

// A frame reader: gathers the bytes up to a zero, then decodes and checks them.
struct serial_frame_reader {
    uint8_t got;  // bytes gathered since the last zero
    uint8_t type; // the frame just read: its type, sequence number and payload length
    uint8_t seq;
    uint8_t len;
    uint8_t wire[SERIAL_FRAME_MAX_WIRE];       // the gathered bytes (one more marks an overflow)
    uint8_t payload[SERIAL_FRAME_MAX_DECODED]; // the decoded frame's payload
};

// CRC-16/CCITT-FALSE: polynomial 0x1021, initial value 0xFFFF, no reflection, no final XOR
// (check value of "123456789": 0x29B1).
uint16_t serial_crc16(uint16_t crc, const uint8_t *p, size_t n);
// The payload length of a frame type, -1 for a type the link does not have.
int serial_frame_length(uint8_t type);
// Resets a reader to the start of a frame.
void serial_frame_reset(struct serial_frame_reader *r);
// Feeds one received byte; SERIAL_FRAME_READY when a good frame is complete in r (type,
// sequence, length and payload), SERIAL_FRAME_DROPPED when the bytes before a zero were not a
// good frame.
int serial_frame_feed(struct serial_frame_reader *r, uint8_t byte);
// Writes one frame, stuffed and delimited, into out (room for SERIAL_FRAME_MAX_WIRE bytes);
// returns its size.
size_t serial_frame_write(uint8_t *out, uint8_t type, uint8_t seq, const uint8_t *payload,
                          uint8_t len);

#ifdef __cplusplus
}
#endif
