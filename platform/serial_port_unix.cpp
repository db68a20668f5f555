// The serial port on Linux: termios, raw at 115200 baud, never blocking.
#include "boards/serial.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

int serial_port_open(const char *name) {
    int fd = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct termios t;
    if (tcgetattr(fd, &t) != 0) { // not a terminal
        close(fd);
        return -1;
    }
    cfmakeraw(&t);
    cfsetispeed(&t, B115200);
    cfsetospeed(&t, B115200);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~(tcflag_t)(CSTOPB | CRTSCTS);
    // VMIN 1 with the descriptor non-blocking: a read with nothing waiting fails with EAGAIN,
    // so that a read of 0 bytes can only mean the device hung up.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &t) != 0) {
        close(fd);
        return -1;
    }
    tcflush(fd, TCIOFLUSH);
    return fd;
}

int serial_port_read(int port, uint8_t *buf, int size) {
    ssize_t n = read(port, buf, (size_t)size);
    if (n > 0)
        return (int)n;
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return 0;
    return -1; // an error, or end of file: the device has hung up (unplugged)
}

int serial_port_write(int port, const uint8_t *p, int n) {
    ssize_t w = write(port, p, (size_t)n);
    if (w >= 0 || errno == EAGAIN || errno == EINTR)
        return 0; // a full buffer drops the frame; the outputs are repeated anyway
    return -1;
}

void serial_port_close(int port) {
    if (port >= 0)
        close(port);
}

static int by_name(const void *a, const void *b) {
    return strcmp((const char *)a, (const char *)b);
}

int serial_port_candidates(char names[][64], int max) {
    int n = 0;
    DIR *d = opendir("/dev");
    if (!d)
        return 0;
    struct dirent *e;
    while (n < max && (e = readdir(d)) != NULL)
        if (strncmp(e->d_name, "ttyACM", 6) == 0 || strncmp(e->d_name, "ttyUSB", 6) == 0)
            snprintf(names[n++], 64, "/dev/%.50s", e->d_name);
    closedir(d);
    qsort(names, (size_t)n, sizeof names[0], by_name);
    return n;
}

uint32_t serial_port_ms(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (uint32_t)(t.tv_sec * 1000u + t.tv_nsec / 1000000);
}
