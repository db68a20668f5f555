// The STK500 version 2 client of valdora-flash: the message framing (start byte, sequence
// number, length, token, body, XOR checksum) and the few commands the Mega's bootloader needs.
// A command whose answer is lost is sent again with the same sequence number: the number moves
// on only with an answer, as bootloaders built before 2011's end accept only 1 or the number
// they expect next.
#include "flash/flash.h"
#include "platform/platform.h"
#include "boards/serial.h"

#include <stdio.h>
#include <string.h>

#define STK_START 0x1B
#define STK_TOKEN 0x0E
#define STK_OVERHEAD 6 // start, sequence, two length bytes, token, checksum
#define STK_BODY_MAX 300

#define CMD_SIGN_ON 0x01
#define CMD_LOAD_ADDRESS 0x06
#define CMD_ENTER_PROGMODE_ISP 0x10
#define CMD_LEAVE_PROGMODE_ISP 0x11
#define CMD_PROGRAM_FLASH_ISP 0x13
#define CMD_READ_FLASH_ISP 0x14
#define CMD_READ_SIGNATURE_ISP 0x1B
#define STATUS_CMD_OK 0x00
#define STK_TRIES 3 // a command is sent this often before its answer counts as lost

uint32_t flash_reply_ms = 1000;
static uint8_t stk_seq; // the number of the last command answered

void stk_restart(void) {
    stk_seq = 0;
}

// Looks for a whole answer with sequence number seq at the start of buf (n bytes): its body
// length, 0 while more bytes are needed, -1 when buf[0] starts no such answer.
static int stk_frame_at(const uint8_t *buf, int n, uint8_t seq) {
    if (buf[0] != STK_START)
        return -1;
    if (n < 5)
        return 0;
    int len = buf[2] << 8 | buf[3];
    if (buf[1] != seq || buf[4] != STK_TOKEN || len == 0 || len > STK_BODY_MAX)
        return -1;
    if (n < len + STK_OVERHEAD)
        return 0;
    uint8_t sum = 0;
    for (int i = 0; i < len + STK_OVERHEAD; i++)
        sum ^= buf[i];
    return sum == 0 ? len : -1;
}

// Sends one command once and waits for its answer: the answer's length; -1 when none came in
// time (worth sending again), -2 for a refusal or a failed port.
static int stk_once(int port, const uint8_t *body, int n, uint8_t *answer, int max) {
    uint8_t frame[STK_BODY_MAX + STK_OVERHEAD];
    uint8_t seq = (uint8_t)(stk_seq + 1);
    frame[0] = STK_START;
    frame[1] = seq;
    frame[2] = (uint8_t)(n >> 8);
    frame[3] = (uint8_t)n;
    frame[4] = STK_TOKEN;
    memcpy(frame + 5, body, (size_t)n);
    uint8_t sum = 0;
    for (int i = 0; i < n + 5; i++)
        sum ^= frame[i];
    frame[n + 5] = sum;
    flash_wire_bytes += (unsigned long)(n + STK_OVERHEAD);
    if (serial_port_write(port, frame, n + STK_OVERHEAD) != 0) {
        snprintf(flash_error, sizeof flash_error, "the port failed (was the board unplugged?)");
        return -2;
    }
    // Bytes before an answer (a starting firmware's output, a late answer to an earlier
    // sign-on) are skipped; a damaged answer is skipped too and ends in the time-out.
    uint8_t rx[2 * (STK_BODY_MAX + STK_OVERHEAD)];
    int have = 0;
    uint32_t start = GetTickCount();
    for (;;) {
        int got = serial_port_read(port, rx + have, (int)sizeof rx - have);
        if (got < 0) {
            snprintf(flash_error, sizeof flash_error, "the port failed (was the board unplugged?)");
            return -2;
        }
        have += got;
        flash_wire_bytes += (unsigned long)got;
        while (have > 0) {
            int len = stk_frame_at(rx, have, seq);
            if (len > 0 && rx[5] != body[0])
                len = -1; // a late answer to the command before, sent with this number too
            if (len > 0) {
                stk_seq = seq;
                if (len < 2 || rx[6] != STATUS_CMD_OK) {
                    snprintf(flash_error, sizeof flash_error,
                             "the bootloader refused command 0x%02X (status 0x%02X)", body[0],
                             len < 2 ? 0xFF : rx[6]);
                    return -2;
                }
                if (len > max)
                    len = max;
                memcpy(answer, rx + 5, (size_t)len);
                return len;
            }
            if (len == 0 && have < (int)sizeof rx)
                break;
            memmove(rx, rx + 1, (size_t)--have); // not an answer here: look from the next byte
        }
        if (GetTickCount() - start >= flash_reply_ms) {
            snprintf(flash_error, sizeof flash_error, "no answer from the bootloader");
            return -1;
        }
        if (got == 0)
            serial_port_wait(port, 10); // wakes as soon as bytes arrive
    }
}

// Sends a command up to tries times while its answer is lost: as stk_once, with -1 for any fault.
static int stk_tries(int port, const uint8_t *body, int n, uint8_t *answer, int max, int tries) {
    int r = -1;
    for (int i = 0; i < tries && r == -1; i++)
        r = stk_once(port, body, n, answer, max);
    return r < 0 ? -1 : r;
}

int stk_command(int port, const uint8_t *body, int n, uint8_t *answer, int max) {
    return stk_tries(port, body, n, answer, max, STK_TRIES);
}

int stk_sign_on(int port) {
    const uint8_t body[] = {CMD_SIGN_ON};
    uint8_t answer[32];
    return stk_tries(port, body, sizeof body, answer, sizeof answer, 1) > 0 ? 0 : -1;
}

int stk_enter(int port) {
    // The ATmega2560's serial programming values (AVR068): time-out, stabilising delay, command
    // delay, sync loops, byte delay, poll value and index, and the Programming Enable command.
    const uint8_t body[] = {
        CMD_ENTER_PROGMODE_ISP, 200, 100, 25, 32, 0, 0x53, 3, 0xAC, 0x53, 0x00, 0x00};
    uint8_t answer[8];
    return stk_command(port, body, sizeof body, answer, sizeof answer) > 0 ? 0 : -1;
}

int stk_leave(int port) {
    const uint8_t body[] = {CMD_LEAVE_PROGMODE_ISP, 1, 1};
    uint8_t answer[8];
    return stk_command(port, body, sizeof body, answer, sizeof answer) > 0 ? 0 : -1;
}

int stk_signature(int port, uint8_t sig[3]) {
    for (int i = 0; i < 3; i++) {
        const uint8_t body[] = {CMD_READ_SIGNATURE_ISP, 4, 0x30, 0x00, (uint8_t)i, 0x00};
        uint8_t answer[8];
        if (stk_command(port, body, sizeof body, answer, sizeof answer) < 3)
            return -1;
        sig[i] = answer[2];
    }
    return 0;
}

// Sets the bootloader's word address (bit 31 asks for the extended address, which the 256 KiB
// flash needs beyond its first 128 KiB), then sends a page command (a write or a read). The two
// go again together while an answer is lost: the bootloader moves its address on after a page.
static int stk_page(int port, uint32_t address, const uint8_t *body, int n, uint8_t *answer,
                    int max) {
    uint32_t word = address >> 1 | 0x80000000u;
    const uint8_t load[] = {CMD_LOAD_ADDRESS, (uint8_t)(word >> 24), (uint8_t)(word >> 16),
                            (uint8_t)(word >> 8), (uint8_t)word};
    uint8_t loaded[8];
    int r = -1;
    for (int i = 0; i < STK_TRIES && r == -1; i++) {
        r = stk_once(port, load, sizeof load, loaded, sizeof loaded);
        if (r >= 0)
            r = stk_once(port, body, n, answer, max);
    }
    return r < 0 ? -1 : r;
}

int stk_write_page(int port, uint32_t address, const uint8_t *page) {
    // Page mode with a page write (mode 0xC1), the serial programming commands Load Program
    // Memory Page, Write Program Memory Page and Read Program Memory; no polling values.
    uint8_t body[10 + FLASH_PAGE] = {CMD_PROGRAM_FLASH_ISP,
                                     FLASH_PAGE >> 8,
                                     FLASH_PAGE & 0xFF,
                                     0xC1,
                                     10,
                                     0x40,
                                     0x4C,
                                     0x20,
                                     0x00,
                                     0x00};
    memcpy(body + 10, page, FLASH_PAGE);
    uint8_t answer[8];
    return stk_page(port, address, body, sizeof body, answer, sizeof answer) > 0 ? 0 : -1;
}

int stk_read_page(int port, uint32_t address, uint8_t *page) {
    const uint8_t body[] = {CMD_READ_FLASH_ISP, FLASH_PAGE >> 8, FLASH_PAGE & 0xFF, 0x20};
    uint8_t answer[3 + FLASH_PAGE];
    int n = stk_page(port, address, body, sizeof body, answer, sizeof answer);
    if (n < 0)
        return -1;
    if (n != (int)sizeof answer) {
        snprintf(flash_error, sizeof flash_error, "a short answer to a page read");
        return -1;
    }
    memcpy(page, answer + 2, FLASH_PAGE);
    return 0;
}

const char *stk_chip_name(const uint8_t sig[3]) {
    static const struct {
        uint8_t sig[3];
        const char *name;
    } chips[] = {
        {{0x1E, 0x98, 0x01}, "ATmega2560 (Mega 2560)"},
        {{0x1E, 0x95, 0x0F}, "ATmega328P (Uno/Nano)"},
        {{0x1E, 0x95, 0x14}, "ATmega328 (Uno/Nano)"},
        {{0x1E, 0x94, 0x06}, "ATmega168 (older Nano/Diecimila)"},
        {{0x1E, 0x97, 0x03}, "ATmega1280 (older Mega)"},
        {{0x1E, 0x98, 0x02}, "ATmega2561"},
        {{0x1E, 0x95, 0x87}, "ATmega32U4 (Leonardo/Micro)"},
    };
    for (size_t i = 0; i < sizeof chips / sizeof chips[0]; i++)
        if (memcmp(chips[i].sig, sig, 3) == 0)
            return chips[i].name;
    return NULL;
}
