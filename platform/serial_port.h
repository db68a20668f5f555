// The serial port, per operating system (serial_port_unix.cpp, serial_port_win.cpp): opened
// for this program alone, raw, never waiting on a read; and the ports worth asking for a board.
#pragma once

#include <stddef.h>
#include <stdint.h>

#define SERIAL_PORT_BUSY -2                // serial_port_open: another program holds the port
extern const char *serial_port_sysfs_root; // test seam: "/sys" (where USB identities are read)
extern const char *serial_port_dev_root;   // test seam: "/dev" (where the ports are opened)

// Opens a port by name (/dev/ttyACM0, COM5) for this program alone, raw at 115200 baud, 8N1; a
// handle, -1 when missing or failed, -2 when another program holds it (then nothing is changed
// on it or sent). Its settings as found are put back when it is closed.
int serial_port_open(const char *name);
// Takes what has arrived, never waiting: bytes read, 0 for none, -1 when the port has failed.
int serial_port_read(int port, uint8_t *buf, int size);
// Sends n bytes; 0 when sent (or dropped for a full buffer), -1 when the port has failed.
int serial_port_write(int port, const uint8_t *p, int n);
// Sets the modem lines DTR and RTS together (boards wire either to their reset): 0, or -1 when
// the port refuses (a pseudo-terminal has no modem lines).
int serial_port_set_dtr(int port, int on);
// Changes the port's baud rate (115200 or 57600): 0, or -1.
int serial_port_set_baud(int port, int baud);
// Closes a port, putting its settings back; safe with -1.
void serial_port_close(int port);
// Writes the names of the ports whose USB identity is a Mega or a common USB-serial chip into
// names; returns how many.
int serial_port_candidates(char names[][64], int max);
// The USB identity of a port ("2341:0042 serial 8573531...", vendor and product, then the device's
// serial number when it has one) into out: 1, or 0 with out "" when the port is no USB device
// or its identity cannot be read. Tells two devices apart that took the same port name in turn.
int serial_port_usb_identity(const char *name, char *out, size_t size);
// The number of the port's USB device's plugging (Linux: bus and device number), new each time a
// device is plugged in; 0 when not known. Tells a device still plugged from one plugged in since.
unsigned serial_port_usb_plugging(const char *name);
// Waits until bytes are waiting on the port or ms have passed (with port -1 it just waits ms).
void serial_port_wait(int port, int ms);
// Pauses the reader thread for ms (its own pace, apart from the program's Sleep that tests
// hook).
void serial_port_nap(int ms);
// 1 when (vendor, product) is a USB identity worth asking for a board: the Mega's own, or a
// USB-serial chip common on its clones.
static inline int serial_port_known_usb(unsigned vendor, unsigned product) {
    static const unsigned known[][2] = {
        {0x2341, 0x0010}, {0x2341, 0x0042}, {0x2A03, 0x0042}, // Arduino Mega 2560
        {0x1A86, 0x7523},                                     // CH340
        {0x0403, 0x6001},                                     // FTDI FT232
        {0x10C4, 0xEA60},                                     // CP210x
    };
    for (size_t i = 0; i < sizeof known / sizeof known[0]; i++)
        if (known[i][0] == vendor && known[i][1] == product)
            return 1;
    return 0;
}
