// Frames of the serial board link (docs/serial-boards.md): a start byte, a type, a length, the
// payload and a CRC-8. Plain C shared by the board firmware and the program's serial driver, so
// both ends build and check frames the same way.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define SERIAL_FRAME_START 0xA5
#define SERIAL_FRAME_MAX_PAYLOAD 32
#define SERIAL_FRAME_OVERHEAD 4 // start, type, length, CRC

#define SERIAL_PROTOCOL_VERSION 1
#define SERIAL_PIN_TABLE_VERSION 1

// Frame types: host to board below 0x80, board to host from 0x80.
#define SERIAL_HELLO 0x01       // payload: protocol version (1 byte)
#define SERIAL_OUTPUTS 0x02     // payload: SERIAL_OUTPUTS_LEN bytes, see below
#define SERIAL_HELLO_REPLY 0x81 // payload: protocol version, pin-table version
#define SERIAL_INPUTS 0x82      // payload: SERIAL_INPUTS_LEN bytes, see below

#define SERIAL_HELLO_LEN 1
#define SERIAL_HELLO_REPLY_LEN 2
// Outputs: digital[4] (board n, bit c-1 = output c on), analog[8] (index 2n + c-1 = level).
#define SERIAL_OUTPUTS_LEN 12
// Inputs: sequence, digital[4] (board n, bit c-1 = input c closed), analog[8] (0..255),
// count of dropped frames (wraps at 256).
#define SERIAL_INPUTS_LEN 14

#define SERIAL_BOARDS 4

// What a reader fed one byte has to say.
#define SERIAL_FRAME_MORE 0    // nothing complete yet
#define SERIAL_FRAME_READY 1   // a good frame is in the reader
#define SERIAL_FRAME_DROPPED 2 // a frame failed its length or CRC and was dropped

// A frame reader: a small state machine fed byte by byte.
struct serial_frame_reader {
    uint8_t state; // 0 hunting for the start byte, 1 type, 2 length, 3 payload, 4 CRC
    uint8_t type;  // type of the frame being read (or just read)
    uint8_t len;   // its payload length
    uint8_t got;   // payload bytes read so far
    uint8_t crc;   // running CRC over type, length and payload
    uint8_t payload[SERIAL_FRAME_MAX_PAYLOAD];
};

// CRC-8, polynomial 0x07, initial value 0, no reflection (check value of "123456789": 0xF4).
uint8_t serial_crc8(uint8_t crc, const uint8_t *p, size_t n);
// The payload length of a frame type, -1 for a type the link does not have.
int serial_frame_length(uint8_t type);
// Resets a reader to hunting for the start byte.
void serial_frame_reset(struct serial_frame_reader *r);
// Feeds one received byte; SERIAL_FRAME_READY when a good frame is complete in r (its type,
// length and payload), SERIAL_FRAME_DROPPED when a frame of an unknown type, a wrong length or a
// bad CRC was dropped. Bytes outside frames are skipped until the next start byte.
int serial_frame_feed(struct serial_frame_reader *r, uint8_t byte);
// Writes one frame into out (room for len + SERIAL_FRAME_OVERHEAD bytes); returns its size.
size_t serial_frame_write(uint8_t *out, uint8_t type, const uint8_t *payload, uint8_t len);

#ifdef __cplusplus
}
#endif
