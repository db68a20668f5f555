// The serial port on Windows: the COM API, raw at 115200 baud, reads that never wait.
#include "boards/serial.h"

#include <windows.h>
#include <stdio.h>

#define MAX_PORTS 4

static HANDLE ports[MAX_PORTS] = {INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE,
                                  INVALID_HANDLE_VALUE};

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
    if (h == INVALID_HANDLE_VALUE)
        return -1;
    DCB dcb;
    ZeroMemory(&dcb, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    COMMTIMEOUTS to;
    ZeroMemory(&to, sizeof to);
    to.ReadIntervalTimeout = MAXDWORD; // with the other read values 0: return at once
    to.WriteTotalTimeoutConstant = 100;
    if (!GetCommState(h, &dcb)) {
        CloseHandle(h);
        return -1;
    }
    dcb.BaudRate = CBR_115200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    if (!SetCommState(h, &dcb) || !SetCommTimeouts(h, &to)) {
        CloseHandle(h);
        return -1;
    }
    PurgeComm(h, PURGE_RXCLEAR | PURGE_TXCLEAR);
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
    CloseHandle(ports[port]);
    ports[port] = INVALID_HANDLE_VALUE;
}

int serial_port_candidates(char names[][64], int max) {
    int n = 0;
    for (int i = 1; i <= 32 && n < max; i++)
        snprintf(names[n++], 64, "COM%d", i);
    return n;
}

uint32_t serial_port_ms(void) {
    return (uint32_t)GetTickCount();
}
