// The flashing steps of valdora-flash: reset the Mega, find its bootloader at 115200 or 57600
// baud, check the chip, write every page, read every page back, start the firmware; with the
// progress shown as it goes.
#include "flash/flash.h"
#include "platform/platform.h"
#include "boards/serial.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

char flash_error[256];
uint32_t flash_signon_ms = 2500;
uint32_t flash_hello_ms = 3000;
int flash_tty;
const char *flash_readback_path;
unsigned long flash_wire_bytes;

static int progress_open; // a progress line is on the terminal, not yet ended

void flash_say(const char *fmt, ...) {
    if (progress_open)
        putchar('\n');
    progress_open = 0;
    va_list ap;
    va_start(ap, fmt);
    vprintf(fmt, ap);
    va_end(ap);
    putchar('\n');
    fflush(stdout);
}

void flash_progress(const char *phase, int done, int total) {
    if (!flash_tty) {
        if (done == 0)
            flash_say("%s %d pages", phase, total);
        return;
    }
    char bar[31];
    int fill = total > 0 ? done * 30 / total : 30;
    for (int i = 0; i < 30; i++)
        bar[i] = i < fill ? '#' : '.';
    bar[30] = 0;
    printf("\r%-10s [%s] %4d/%d pages", phase, bar, done, total);
    fflush(stdout);
    progress_open = 1;
}

// Resets the board through DTR; says so, and how to help when the port has no DTR line.
static void flash_reset(int port) {
    flash_say("resetting the board");
    stk_restart();
    if (serial_port_set_dtr(port, 0) != 0) {
        flash_say("(the port cannot pulse DTR: if nothing answers, press the Mega's reset button)");
        return;
    }
    Sleep(100);
    serial_port_set_dtr(port, 1);
    Sleep(50);
}

// Resets the board and signs on at 115200 baud, then once at 57600 (older clones); the baud
// rate that answered, or 0.
static int flash_find_bootloader(int port) {
    static const int rates[2] = {115200, 57600};
    uint32_t reply_ms = flash_reply_ms;
    int found = 0;
    flash_reply_ms = reply_ms < 250 ? reply_ms : 250; // a sign-on is repeated, not waited out
    for (int i = 0; i < 2 && !found; i++) {
        if (serial_port_set_baud(port, rates[i]) != 0)
            continue;
        flash_reset(port);
        uint32_t start = GetTickCount();
        while (!found && GetTickCount() - start < flash_signon_ms)
            if (stk_sign_on(port) == 0)
                found = rates[i];
    }
    flash_reply_ms = reply_ms;
    return found;
}

// Refuses a chip other than the ATmega2560, naming it when it is known.
static int flash_check_chip(int port) {
    static const uint8_t mega2560[3] = {0x1E, 0x98, 0x01};
    uint8_t sig[3];
    if (stk_enter(port) != 0 || stk_signature(port, sig) != 0)
        return -1;
    if (memcmp(sig, mega2560, 3) == 0)
        return 0;
    const char *name = stk_chip_name(sig);
    if (name)
        snprintf(flash_error, sizeof flash_error, "this is an %s, not a Mega 2560", name);
    else
        snprintf(flash_error, sizeof flash_error,
                 "this chip's signature is %02X %02X %02X, not a Mega 2560's (1E 98 01)", sig[0],
                 sig[1], sig[2]);
    return -1;
}

// Writes every page from address 0 up: the bootloader erases the pages in order as it writes,
// so a page left out of the sequence would leave the wrong page erased.
static int flash_write(int port, const struct flash_image *img, int pages) {
    for (int p = 0; p < pages; p++) {
        flash_progress("writing", p, pages);
        if (stk_write_page(port, (uint32_t)p * FLASH_PAGE, img->bytes + p * FLASH_PAGE) != 0) {
            char why[sizeof flash_error];
            memcpy(why, flash_error, sizeof why);
            snprintf(flash_error, sizeof flash_error,
                     "writing page %d of %d (address 0x%05X) failed: %.100s; the board's "
                     "firmware is incomplete, flash it again",
                     p + 1, pages, p * FLASH_PAGE, why);
            return -1;
        }
    }
    flash_progress("writing", pages, pages);
    return 0;
}

// Reads every written page back and compares it with the image.
static int flash_verify(int port, const struct flash_image *img, int pages) {
    static uint8_t readback[FLASH_APP_MAX];
    int r = 0;
    int p;
    for (p = 0; p < pages && r == 0; p++) {
        flash_progress("verifying", p, pages);
        uint8_t *page = readback + p * FLASH_PAGE;
        const uint8_t *want = img->bytes + p * FLASH_PAGE;
        if (stk_read_page(port, (uint32_t)p * FLASH_PAGE, page) != 0) {
            char why[sizeof flash_error];
            memcpy(why, flash_error, sizeof why);
            snprintf(flash_error, sizeof flash_error,
                     "reading page %d of %d (address 0x%05X) back failed: %.100s; the image "
                     "is not verified, flash it again",
                     p + 1, pages, p * FLASH_PAGE, why);
            r = -1;
        } else if (memcmp(page, want, FLASH_PAGE) != 0) {
            int at = 0;
            while (page[at] == want[at])
                at++;
            snprintf(flash_error, sizeof flash_error,
                     "verify failed at page %d of %d: the board holds 0x%02X at 0x%05X where the "
                     "file has 0x%02X; flash it again",
                     p + 1, pages, page[at], p * FLASH_PAGE + at, want[at]);
            r = -1;
        }
    }
    if (r == 0)
        flash_progress("verifying", pages, pages);
    if (flash_readback_path) {
        FILE *f = fopen(flash_readback_path, "wb");
        if (f) {
            fwrite(readback, FLASH_PAGE, (size_t)p, f);
            fclose(f);
        }
    }
    return r;
}

// Greets the firmware just started, on the port still open: closing and opening it again would
// reset a real Mega, and its bootloader would take the greeting for a flash about to begin.
static void flash_hello(int port) {
    struct serial_board_info info;
    serial_port_set_baud(port, 115200); // the firmware's rate, whatever the bootloader's
    int got = serial_board_ask(port, &info, flash_hello_ms);
    if (got == 2)
        flash_say("the board answers: protocol %d, pin table %d, firmware %d, identity %s",
                  info.protocol, info.pin_table, info.firmware, info.identity);
    else if (got == 1)
        flash_say("the board answers with the old protocol 1: this file is an older firmware "
                  "than Valdora expects");
    else
        flash_say("the board does not answer Valdora's hello: the file may not be Valdora's "
                  "board firmware");
}

int flash_board(const char *port_name, const struct flash_image *img) {
    flash_error[0] = 0;
    long trigger = image_find_trigger(img);
    if (trigger >= 0) {
        snprintf(flash_error, sizeof flash_error,
                 "the image holds the bytes \"!!!\" at 0x%05lX, which drop the Mega's bootloader "
                 "into its monitor: not flashed",
                 trigger);
        return FLASH_FAILED;
    }
    uint32_t start = GetTickCount();
    int port = serial_port_open(port_name);
    if (port == -2) {
        snprintf(flash_error, sizeof flash_error,
                 "%.100s is in use by another program (Valdora, a terminal, a printer host): "
                 "close it first",
                 port_name);
        return FLASH_FAILED;
    }
    if (port < 0) {
        snprintf(flash_error, sizeof flash_error,
                 "cannot open %.100s (no such port, or no permission to use it)", port_name);
        return FLASH_FAILED;
    }
    flash_wire_bytes = 0;
    int baud = flash_find_bootloader(port);
    if (!baud) {
        serial_port_close(port);
        snprintf(flash_error, sizeof flash_error,
                 "no bootloader answered on %.100s at 115200 or 57600 baud: press the Mega's "
                 "reset button as the flash starts, or check the port",
                 port_name);
        return FLASH_NO_BOOTLOADER;
    }
    flash_say("the bootloader answered at %d baud", baud);
    int pages = (int)((img->size + FLASH_PAGE - 1) / FLASH_PAGE);
    int r = flash_check_chip(port);
    if (r == 0)
        r = flash_write(port, img, pages);
    if (r == 0)
        r = flash_verify(port, img, pages);
    // Leaving programming mode starts the firmware; after a fault it hands the board back too.
    char fault[sizeof flash_error];
    memcpy(fault, flash_error, sizeof fault);
    int left = stk_leave(port);
    memcpy(flash_error, fault, sizeof fault);
    if (r != 0) {
        serial_port_close(port);
        return FLASH_FAILED;
    }
    if (left != 0)
        flash_say("the bootloader did not confirm the end: the board starts its firmware by "
                  "itself within a few seconds");
    uint32_t ms = GetTickCount() - start;
    flash_say("written and verified: %lu bytes in %d pages in %lu.%lu s at %d baud (%lu bytes "
              "on the wire)",
              (unsigned long)img->size, pages, (unsigned long)(ms / 1000),
              (unsigned long)(ms % 1000 / 100), baud, flash_wire_bytes);
    flash_hello(port);
    serial_port_close(port);
    return FLASH_OK;
}

// What answered on one port, for the list the user picks from; 1 when it runs Valdora's firmware.
static int flash_ask_port(const char *name, char *what, size_t size) {
    struct serial_board_info info;
    int got = serial_board_identify(name, &info, flash_hello_ms, NULL);
    if (got == 2)
        snprintf(what, size, "Valdora's board, protocol %d, firmware %d, identity %s",
                 info.protocol, info.firmware, info.identity);
    else if (got == 1)
        snprintf(what, size, "Valdora's board with an old firmware (protocol 1)");
    else if (got == -2)
        snprintf(what, size, "in use by another program");
    else if (got == -1)
        snprintf(what, size, "cannot be opened");
    else
        snprintf(what, size, "no answer to Valdora's hello (another firmware, or none)");
    return got >= 1;
}

int flash_choose_port(char *out, size_t size, FILE *in, int can_ask) {
    char names[16][64], lines[16][352];
    int n = serial_port_candidates(names, 16), ours = 0, pick = -1;
    if (n == 0) {
        snprintf(flash_error, sizeof flash_error,
                 "no Mega found on a USB port: plug it in, or give its port (valdora-flash "
                 "/dev/ttyACM0, valdora-flash COM5)");
        return FLASH_NO_BOOTLOADER;
    }
    for (int i = 0; i < n; i++) {
        char usb[96], what[160];
        flash_say("asking %s who it is", names[i]);
        if (flash_ask_port(names[i], what, sizeof what))
            ours++, pick = i;
        serial_port_usb_identity(names[i], usb, sizeof usb);
        snprintf(lines[i], sizeof lines[i], "%2d) %.63s  USB %.95s  %.159s", i + 1, names[i],
                 usb[0] ? usb : "unknown", what);
    }
    if (ours != 1) {
        flash_say(ours ? "more than one board answers Valdora's hello:"
                       : "no board answers Valdora's hello; the USB serial ports are:");
        for (int i = 0; i < n; i++)
            flash_say("%s", lines[i]);
        pick = -1;
    }
    if (ours != 1 && !can_ask) {
        snprintf(flash_error, sizeof flash_error,
                 "not flashed: a port that does not answer may hold another device built on the "
                 "same board (a 3D printer, say); to flash one, give its port: valdora-flash PORT");
        return FLASH_NOT_CHOSEN;
    }
    if (ours != 1) {
        char answer[32];
        printf("flash which one? (its number; Enter for none): ");
        fflush(stdout);
        int k = in && fgets(answer, sizeof answer, in) ? atoi(answer) : 0;
        pick = k >= 1 && k <= n ? k - 1 : -1;
    }
    if (pick < 0) {
        snprintf(flash_error, sizeof flash_error, "nothing flashed");
        return FLASH_NOT_CHOSEN;
    }
    snprintf(out, size, "%s", names[pick]);
    flash_say("flashing the board on %s", out);
    return FLASH_OK;
}
