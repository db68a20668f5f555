// The serial port on Windows: the COM API, raw at 115200 baud, reads that never wait; opened
// without sharing (another program holding the port is a sharing violation), its settings put
// back at close. The ports worth asking are found by their USB identity through SetupAPI.
#include "platform/serial_port.h"

#include <windows.h>
#include <setupapi.h>
#include <stdio.h>
#include <string.h>

#define MAX_PORTS 4

const char *serial_port_sysfs_root = "/sys"; // Linux only
const char *serial_port_dev_root = "/dev";   // Linux only

static HANDLE ports[MAX_PORTS] = {INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE,
                                  INVALID_HANDLE_VALUE};
static DCB was[MAX_PORTS]; // each port's settings before it was opened

int serial_port_open(const char *name) {
    int slot = 0;
    while (slot < MAX_PORTS && ports[slot] != INVALID_HANDLE_VALUE)
        slot++;
    if (slot == MAX_PORTS)
        return -1;
    char path[80];
    // The \\.\ form reaches COM10 and above as well as COM1 to COM9.
    snprintf(path, sizeof path, strncmp(name, "\\\\.\\", 4) == 0 ? "%s" : "\\\\.\\%s", name);
    HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD e = GetLastError();
        return e == ERROR_ACCESS_DENIED || e == ERROR_SHARING_VIOLATION ? SERIAL_PORT_BUSY : -1;
    }
    DCB dcb;
    ZeroMemory(&dcb, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(h, &dcb)) {
        CloseHandle(h);
        return -1;
    }
    was[slot] = dcb;
    // Every field set here, none inherited from the program that used the port last: an abort on
    // error would fail every read after one framing error (a Mega restarting sends some), DSR
    // sensitivity would drop bytes, null stripping would eat the frames' delimiters.
    ZeroMemory(&dcb, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = CBR_115200;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = FALSE;
    dcb.XonLim = 2048;
    dcb.XoffLim = 512;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.ErrorChar = 0;
    dcb.EofChar = 0;
    dcb.EvtChar = 0;
    COMMTIMEOUTS to;
    to.ReadIntervalTimeout = MAXDWORD; // with both read values 0: a read returns at once
    to.ReadTotalTimeoutMultiplier = 0;
    to.ReadTotalTimeoutConstant = 0;
    to.WriteTotalTimeoutMultiplier = 0;
    to.WriteTotalTimeoutConstant = 100;
    DWORD errors;
    ClearCommError(h, &errors, NULL); // an error left over from before blocks nothing now
    if (!SetCommState(h, &dcb) || !SetCommTimeouts(h, &to)) {
        SetCommState(h, &was[slot]);
        CloseHandle(h);
        return -1;
    }
    ports[slot] = h;
    return slot;
}

int serial_port_read(int port, uint8_t *buf, int size) {
    if (port < 0 || port >= MAX_PORTS || ports[port] == INVALID_HANDLE_VALUE)
        return -1;
    DWORD got = 0;
    if (!ReadFile(ports[port], buf, (DWORD)size, &got, NULL))
        return -1; // the device is gone (unplugged)
    return (int)got;
}

int serial_port_write(int port, const uint8_t *p, int n) {
    if (port < 0 || port >= MAX_PORTS || ports[port] == INVALID_HANDLE_VALUE)
        return -1;
    DWORD put = 0;
    if (!WriteFile(ports[port], p, (DWORD)n, &put, NULL))
        return -1;
    return 0; // a short write (time-out) drops the rest; the outputs are repeated anyway
}

void serial_port_close(int port) {
    if (port < 0 || port >= MAX_PORTS || ports[port] == INVALID_HANDLE_VALUE)
        return;
    SetCommState(ports[port], &was[port]);
    CloseHandle(ports[port]);
    ports[port] = INVALID_HANDLE_VALUE;
}

void serial_port_wait(int port, int ms) {
    (void)port;
    // The COM API has no wait with a time-out short of overlapped reads: a short nap is cheap.
    Sleep(ms < 2 ? ms : 2);
}

void serial_port_nap(int ms) {
    Sleep(ms);
}

// Walks the present serial ports (the Ports device class) that are USB devices, by their port
// names from the device's registry key and the instance name ("USB\\VID_2341&PID_0042\\SERIAL"):
// each(port, vendor, product, serial, ctx) until it returns 1.
static void walk_usb_ports(int (*each)(const char *, unsigned, unsigned, const char *, void *),
                           void *ctx) {
    static const GUID ports_class = {
        0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
    HDEVINFO set = SetupDiGetClassDevsA(&ports_class, NULL, NULL, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return;
    SP_DEVINFO_DATA dev;
    dev.cbSize = sizeof dev;
    int done = 0;
    for (DWORD i = 0; !done && SetupDiEnumDeviceInfo(set, i, &dev); i++) {
        char id[256];
        unsigned vendor, product;
        if (!SetupDiGetDeviceInstanceIdA(set, &dev, id, sizeof id, NULL))
            continue;
        const char *v = strstr(id, "VID_"), *p = strstr(id, "PID_"), *serial = strrchr(id, '\\');
        if (!v || !p || sscanf(v + 4, "%4x", &vendor) != 1 || sscanf(p + 4, "%4x", &product) != 1)
            continue;
        HKEY key = SetupDiOpenDevRegKey(set, &dev, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE)
            continue;
        char name[64];
        DWORD size = sizeof name - 1, type = 0;
        if (RegQueryValueExA(key, "PortName", NULL, &type, (BYTE *)name, &size) == ERROR_SUCCESS &&
            type == REG_SZ) {
            name[size] = 0;
            done = each(name, vendor, product, serial ? serial + 1 : "", ctx);
        }
        RegCloseKey(key);
    }
    SetupDiDestroyDeviceInfoList(set);
}

struct candidates {
    char (*names)[64];
    int n, max;
};

static int add_candidate(const char *port, unsigned vendor, unsigned product, const char *serial,
                         void *ctx) {
    (void)serial;
    struct candidates *c = (struct candidates *)ctx;
    if (serial_port_known_usb(vendor, product))
        snprintf(c->names[c->n++], 64, "%s", port);
    return c->n == c->max;
}

int serial_port_candidates(char names[][64], int max) {
    struct candidates c = {names, 0, max};
    if (max > 0)
        walk_usb_ports(add_candidate, &c);
    return c.n;
}

struct identity {
    const char *name;
    char *out;
    size_t size;
};

static int match_identity(const char *port, unsigned vendor, unsigned product, const char *serial,
                          void *ctx) {
    struct identity *w = (struct identity *)ctx;
    const char *name = strncmp(w->name, "\\\\.\\", 4) == 0 ? w->name + 4 : w->name;
    if (_stricmp(port, name) != 0)
        return 0;
    snprintf(w->out, w->size, serial[0] ? "%04x:%04x serial %s" : "%04x:%04x", vendor, product,
             serial);
    return 1;
}

int serial_port_usb_identity(const char *name, char *out, size_t size) {
    struct identity w = {name, out, size};
    out[0] = 0;
    walk_usb_ports(match_identity, &w);
    return out[0] != 0;
}

unsigned serial_port_usb_plugging(const char *name) {
    (void)name;
    return 0; // not known here: a device let go is asked again after a while instead
}

int serial_port_set_dtr(int port, int on) {
    if (port < 0 || port >= MAX_PORTS || ports[port] == INVALID_HANDLE_VALUE)
        return -1;
    BOOL dtr = EscapeCommFunction(ports[port], on ? SETDTR : CLRDTR);
    BOOL rts = EscapeCommFunction(ports[port], on ? SETRTS : CLRRTS);
    return dtr && rts ? 0 : -1;
}

int serial_port_set_baud(int port, int baud) {
    if (port < 0 || port >= MAX_PORTS || ports[port] == INVALID_HANDLE_VALUE)
        return -1;
    DCB dcb;
    ZeroMemory(&dcb, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(ports[port], &dcb))
        return -1;
    dcb.BaudRate = (DWORD)baud;
    if (!SetCommState(ports[port], &dcb))
        return -1;
    PurgeComm(ports[port], PURGE_RXCLEAR); // bytes taken at the old rate are noise at the new one
    return 0;
}
