// valdora-flash: puts the board firmware on an Arduino Mega 2560 through the Mega's own
// bootloader (STK500 version 2 over the USB serial port). The Intel HEX reader, the bootloader
// client and the flashing steps with their progress output; the serial port itself is reached
// through the platform layer's serial_port_* procedures.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

// Bytes of the Mega 2560's flash below its bootloader's section (0x3E000).
#define FLASH_APP_MAX 253952
// Bytes of one flash page of the ATmega2560.
#define FLASH_PAGE 256
// The three bytes that send the Mega's stock bootloader into its monitor.
#define FLASH_MONITOR_TRIGGER "!!!"

// Exit statuses of valdora-flash.
#define FLASH_OK 0
#define FLASH_FAILED 1        // a fault named in flash_error
#define FLASH_USAGE 2         // bad command line
#define FLASH_NO_BOOTLOADER 3 // nothing answered on the port at either baud rate
#define FLASH_NOT_CHOSEN 4    // no port given, and none could be chosen for sure

// A firmware image: the bytes from address 0 up to its last byte, erased bytes (0xFF) in gaps.
struct flash_image {
    uint8_t bytes[FLASH_APP_MAX];
    uint32_t size; // address of the last byte + 1
};

extern char flash_error[256];    // the last fault, worded for the user
extern uint32_t flash_reply_ms;  // how long one bootloader command waits for its answer
extern uint32_t flash_signon_ms; // how long the sign-on is tried at one baud rate
extern uint32_t flash_hello_ms;  // how long the started firmware is greeted before giving up
extern int flash_tty;            // 1: progress as one redrawn line; 0: a plain line per phase
extern const char *flash_readback_path; // when set, the bytes read back are written there
extern unsigned long flash_wire_bytes;  // bytes sent and received on the port in this flash

// Intel HEX (ihex.cpp).
// Reads Intel HEX text into img; 0, or -1 with flash_error naming the line and the fault.
int ihex_parse(const char *text, size_t len, struct flash_image *img);
// Reads an Intel HEX file into img; 0 or -1 with flash_error set.
int ihex_load(const char *path, struct flash_image *img);
// Address of the first FLASH_MONITOR_TRIGGER in the image, or -1 when there is none.
long image_find_trigger(const struct flash_image *img);

// The STK500 version 2 bootloader client (stk500.cpp). Each returns 0, or -1 with flash_error.
// Sends one command body and waits for its answer with the same sequence number and command,
// sending it again (same number) while the answer is lost; the answer's length, or -1 (no or a
// failed answer).
int stk_command(int port, const uint8_t *body, int n, uint8_t *answer, int max);
// A board just reset: its bootloader counts commands afresh, from number 1.
void stk_restart(void);
// Signs on once (the caller repeats it, with the same number); 0 when a bootloader answered.
int stk_sign_on(int port);
// Enters and leaves programming mode (leaving starts the board's firmware).
int stk_enter(int port);
int stk_leave(int port);
// Reads the chip's three signature bytes.
int stk_signature(int port, uint8_t sig[3]);
// Writes one FLASH_PAGE at a byte address / reads one back.
int stk_write_page(int port, uint32_t address, const uint8_t *page);
int stk_read_page(int port, uint32_t address, uint8_t *page);
// The chip a signature names ("ATmega328P (Uno/Nano)"), or NULL for one not known here.
const char *stk_chip_name(const uint8_t sig[3]);

// The flashing steps (flash.cpp).
// Resets the board on the named port, signs on at 115200 then 57600 baud, checks the chip,
// writes and verifies the image, starts the firmware and shows its hello reply; a FLASH_* status.
int flash_board(const char *port_name, const struct flash_image *img);
// Chooses the port when none was given. A board answering Valdora's hello now runs the
// cockpit's firmware and is taken at once when it is the only one; any other port may hold a
// printer or another device built on the same board, so the candidates are listed (port, USB
// identity, what answered) and the user picks one from in (can_ask 1), or is told to give the
// port. FLASH_OK with the port in out, or a FLASH_* status with flash_error set.
int flash_choose_port(char *out, size_t size, FILE *in, int can_ask);
// valdora-flash's command line ([PORT] [FILE], argv[0] locating the default file), answers read
// from in when the port is to be picked; the exit status (FLASH_*), a fault said on stderr.
int flash_command(int argc, char *argv[], FILE *in);
// Shows progress: done of total pages in a phase ("writing", "verifying").
void flash_progress(const char *phase, int done, int total);
// Prints one line of what is happening (finishing a progress line first).
void flash_say(const char *fmt, ...);
