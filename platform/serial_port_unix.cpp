// The serial port on Linux: termios, raw at 115200 baud, never blocking; claimed for this
// program alone (TIOCEXCL against other openers, a flock against other Valdora programs, the
// probe and the flasher) and left untouched when another process has it open; the settings
// found are put back at close. The ports worth asking are found by their USB identity in sysfs.
#include "platform/serial_port.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#define MAX_OPEN 8

const char *serial_port_sysfs_root = "/sys";
const char *serial_port_dev_root = "/dev";

// The settings each open port had before it was opened, by descriptor.
static struct {
    int fd = -1; // -1: a free place
    struct termios was;
} found[MAX_OPEN];

// The index of a pseudo-terminal's far end when descriptor fd_path (a /proc/PID/fd entry) holds
// one (the multiplexer, whose fdinfo names the index), else -1.
static long pty_master_index(const char *fd_path, const struct stat *st) {
    if (st->st_rdev != makedev(5, 2))
        return -1;
    char info[PATH_MAX + 320];
    const char *fd = strstr(fd_path, "/fd/");
    snprintf(info, sizeof info, "%.*s/fdinfo/%s", (int)(fd - fd_path), fd_path, fd + 4);
    FILE *f = fopen(info, "r");
    long index = -1;
    char line[128];
    while (f && fgets(line, sizeof line, f))
        if (sscanf(line, "tty-index: %ld", &index) == 1)
            break;
    if (f)
        fclose(f);
    return index;
}

// 1 when a process other than this one has the terminal device dev open: its descriptors in
// /proc point to the same device. Terminal programs, printer hosts and GPS readers open a port
// without an exclusive claim, so the open below succeeds on it; this is the only way to know it
// is taken before its settings are changed. A process that holds a pseudo-terminal's far end as
// well is the device itself (a simulated board), not another user. (Processes of other users
// whose descriptors cannot be read are not seen.)
static int held_elsewhere(dev_t dev) {
    DIR *proc = opendir("/proc");
    if (!proc)
        return 0;
    int held = 0;
    pid_t self = getpid();
    // Pseudo-terminals' own ends have majors 136 to 143, numbered on across them.
    long pty = major(dev) >= 136 && major(dev) <= 143 ? (major(dev) - 136) * 256L + minor(dev) : -2;
    struct dirent *p;
    while (!held && (p = readdir(proc)) != NULL) {
        char *end;
        long pid = strtol(p->d_name, &end, 10);
        if (*end || pid <= 0 || pid == self)
            continue;
        char path[64];
        snprintf(path, sizeof path, "/proc/%ld/fd", pid);
        DIR *fds = opendir(path);
        if (!fds)
            continue; // gone, or another user's
        int uses = 0, far_end = 0;
        struct dirent *f;
        while ((f = readdir(fds)) != NULL) {
            struct stat st;
            char fd_path[PATH_MAX];
            snprintf(fd_path, sizeof fd_path, "%s/%s", path, f->d_name);
            // Only devices are looked at: a stat on a file of a hung network share could hang.
            char target[16] = "";
            if (f->d_name[0] == '.' || readlink(fd_path, target, sizeof target - 1) < 5 ||
                strncmp(target, "/dev/", 5) != 0 || stat(fd_path, &st) != 0 || !S_ISCHR(st.st_mode))
                continue;
            uses |= st.st_rdev == dev;
            far_end |= pty_master_index(fd_path, &st) == pty;
        }
        closedir(fds);
        held = uses && !far_end;
    }
    closedir(proc);
    return held;
}

int serial_port_open(const char *name) {
    int slot = 0;
    while (slot < MAX_OPEN && found[slot].fd >= 0)
        slot++;
    if (slot == MAX_OPEN)
        return -1;
    int fd = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == EBUSY ? SERIAL_PORT_BUSY : -1; // EBUSY: claimed with TIOCEXCL
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return SERIAL_PORT_BUSY;
    }
    struct termios t;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode) || tcgetattr(fd, &t) != 0) { // no terminal
        close(fd);
        return -1;
    }
    // Nothing is set or sent on a port another program uses: its link would break mid-work.
    if (held_elsewhere(st.st_rdev)) {
        close(fd);
        return SERIAL_PORT_BUSY;
    }
    ioctl(fd, TIOCEXCL);
    found[slot].fd = fd;
    found[slot].was = t;
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
        serial_port_close(fd);
        return -1;
    }
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
    if (port < 0)
        return;
    for (int i = 0; i < MAX_OPEN; i++)
        if (found[i].fd == port) {
            tcsetattr(port, TCSANOW, &found[i].was); // fails harmlessly on a port unplugged
            found[i].fd = -1;
        }
    ioctl(port, TIOCNXCL);
    close(port);
}

void serial_port_wait(int port, int ms) {
    if (port < 0) {
        struct timespec t = {ms / 1000, (ms % 1000) * 1000000L};
        nanosleep(&t, NULL);
        return;
    }
    struct pollfd p = {port, POLLIN, 0};
    poll(&p, 1, ms);
}

void serial_port_nap(int ms) {
    serial_port_wait(-1, ms);
}

// Reads one number from a sysfs file in the given scanf form ("%x" or "%u"); 1 when it held
// one.
static int read_number(const char *dir, const char *file, const char *form, unsigned *value) {
    char path[PATH_MAX + 16];
    snprintf(path, sizeof path, "%s/%s", dir, file);
    FILE *f = fopen(path, "r");
    if (!f)
        return 0;
    int ok = fscanf(f, form, value) == 1;
    fclose(f);
    return ok;
}

// Reads one hexadecimal number from a sysfs file; 1 when it held one.
static int read_hex(const char *dir, const char *file, unsigned *value) {
    return read_number(dir, file, "%x", value);
}

// Reads one decimal number from a sysfs file; 1 when it held one.
static int read_dec(const char *dir, const char *file, unsigned *value) {
    return read_number(dir, file, "%u", value);
}

// The USB identity of a tty (its name under /dev): the vendor and product of the USB device its
// device folder lies in, or one of the few folders above it (ttyACM: the interface's parent;
// ttyUSB: one level further up), and that device's serial number ("" when it has none). 1 when
// it is a USB device, 0 for none (a virtual terminal, a pseudo-terminal).
static int usb_identity(const char *tty, unsigned *vendor, unsigned *product, char *serial,
                        size_t size, unsigned *plugging) {
    char link[PATH_MAX], dir[PATH_MAX];
    snprintf(link, sizeof link, "%s/class/tty/%s/device", serial_port_sysfs_root, tty);
    if (!realpath(link, dir))
        return 0;
    for (int up = 0; up < 4; up++) {
        if (read_hex(dir, "idVendor", vendor) && read_hex(dir, "idProduct", product)) {
            char path[PATH_MAX + 16];
            snprintf(path, sizeof path, "%s/serial", dir);
            FILE *f = fopen(path, "r");
            serial[0] = 0;
            if (f && !fgets(serial, (int)size, f))
                serial[0] = 0;
            if (f)
                fclose(f);
            serial[strcspn(serial, "\r\n")] = 0;
            // The bus and the number the device was given when plugged in (a new one each time).
            unsigned bus = 0, device = 0;
            *plugging = read_dec(dir, "busnum", &bus) && read_dec(dir, "devnum", &device)
                            ? bus * 1000 + device
                            : 0;
            return 1;
        }
        char *slash = strrchr(dir, '/');
        if (!slash || slash == dir)
            return 0;
        *slash = 0;
    }
    return 0;
}

// 1 when the tty is a USB device of a known identity.
static int known_tty(const char *tty) {
    unsigned vendor, product, plugging;
    char serial[64];
    return usb_identity(tty, &vendor, &product, serial, sizeof serial, &plugging) &&
           serial_port_known_usb(vendor, product);
}

// The USB identity of the port name (followed through links) into vendor, product and serial,
// with the number of its plugging: 1, or 0 when it is no USB device.
static int port_identity(const char *name, unsigned *vendor, unsigned *product, char *serial,
                         size_t size, unsigned *plugging) {
    char at[PATH_MAX], link[PATH_MAX];
    // A stable name (/dev/serial/by-path/..., by-id/...) is a link to the tty: followed link by
    // link until a name the tty class knows, so that the device behind it is checked as well.
    snprintf(at, sizeof at, "%s", name);
    for (int hops = 0;; hops++) {
        const char *slash = strrchr(at, '/');
        if (usb_identity(slash ? slash + 1 : at, vendor, product, serial, size, plugging))
            return 1;
        ssize_t n = hops < 8 ? readlink(at, link, sizeof link - 1) : -1;
        if (n <= 0)
            return 0;
        link[n] = 0;
        if (link[0] == '/' || !slash)
            snprintf(at, sizeof at, "%s", link);
        else { // relative to the link's own folder
            char folder[PATH_MAX];
            snprintf(folder, sizeof folder, "%.*s", (int)(slash - at), at);
            if (snprintf(at, sizeof at, "%.2047s/%.2047s", folder, link) >= (int)sizeof at)
                return 0;
        }
    }
}

int serial_port_usb_identity(const char *name, char *out, size_t size) {
    unsigned vendor, product, plugging;
    char serial[64];
    out[0] = 0;
    if (!port_identity(name, &vendor, &product, serial, sizeof serial, &plugging))
        return 0;
    snprintf(out, size, serial[0] ? "%04x:%04x serial %s" : "%04x:%04x", vendor, product, serial);
    return 1;
}

unsigned serial_port_usb_plugging(const char *name) {
    unsigned vendor, product, plugging;
    char serial[64];
    return port_identity(name, &vendor, &product, serial, sizeof serial, &plugging) ? plugging : 0;
}

static int by_name(const void *a, const void *b) {
    return strcmp((const char *)a, (const char *)b);
}

int serial_port_candidates(char names[][64], int max) {
    char path[PATH_MAX];
    snprintf(path, sizeof path, "%s/class/tty", serial_port_sysfs_root);
    DIR *d = opendir(path);
    if (!d)
        return 0;
    int n = 0;
    struct dirent *e;
    while (n < max && (e = readdir(d)) != NULL)
        if (e->d_name[0] != '.' && known_tty(e->d_name))
            snprintf(names[n++], sizeof names[0], "%.30s/%.30s", serial_port_dev_root, e->d_name);
    closedir(d);
    qsort(names, (size_t)n, sizeof names[0], by_name);
    return n;
}
int serial_port_set_dtr(int port, int on) {
    int lines = TIOCM_DTR | TIOCM_RTS;
    return ioctl(port, on ? TIOCMBIS : TIOCMBIC, &lines) == 0 ? 0 : -1;
}

int serial_port_set_baud(int port, int baud) {
    speed_t speed = baud == 115200 ? B115200 : baud == 57600 ? B57600 : B0;
    if (speed == B0)
        return -1;
    struct termios t;
    if (tcgetattr(port, &t) != 0)
        return -1;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    if (tcsetattr(port, TCSADRAIN, &t) != 0)
        return -1;
    tcflush(port, TCIFLUSH); // bytes taken at the old rate are noise at the new one
    return 0;
}
