// Finding, creating, mapping and removing the shared file of the virtual K8055 boards, used by
// the virtual boards' back-end and by the valdora-boards tool, and the time of one reading.
#include "platform/k8055_board_file.h"
#include "platform/ipc_transport.h"

#include <errno.h>
#include <fcntl.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

int k8055_board_path(char *out, size_t size) {
    char dir[IPC_PATH_MAX];
    if (ipc_endpoint_dir(dir, sizeof dir) == -1)
        return -1;
    int n = snprintf(out, size, "%s/%s", dir, K8055_BOARD_FILE_NAME);
    if (n < 0 || (size_t)n >= size)
        return -1;
    return 0;
}

// Maps the open file fd when it is a regular file of the right size and layout.
static int map_fd(struct k8055_board_map *m, int fd) {
    struct stat st;
    if (fstat(fd, &st) == -1 || !S_ISREG(st.st_mode) ||
        st.st_size < (off_t)sizeof(struct k8055_board_file)) {
        close(fd);
        return -1;
    }
    void *p =
        mmap(NULL, sizeof(struct k8055_board_file), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED) {
        close(fd);
        return -1;
    }
    struct k8055_board_file *f = (struct k8055_board_file *)p;
    if (f->magic != K8055_BOARD_MAGIC || f->version != K8055_BOARD_VERSION ||
        f->size != sizeof(struct k8055_board_file)) {
        munmap(p, sizeof(struct k8055_board_file));
        close(fd);
        return -1;
    }
    m->fd = fd;
    m->file = f;
    return 0;
}

int k8055_board_open(struct k8055_board_map *m) {
    m->fd = -1;
    m->file = NULL;
    char path[IPC_PATH_MAX];
    if (k8055_board_path(path, sizeof path) == -1)
        return -1;
    int fd = open(path, O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd == -1)
        return -1;
    return map_fd(m, fd);
}

int k8055_board_create(struct k8055_board_map *m) {
    if (k8055_board_open(m) == 0)
        return 0;
    char path[IPC_PATH_MAX];
    char tmp[IPC_PATH_MAX + 32];
    if (k8055_board_path(path, sizeof path) == -1)
        return -1;
    // Build the file complete under a private name, then link it into place, so a program
    // never sees a half-made file, and a file another creator linked first is the one used.
    snprintf(tmp, sizeof tmp, "%s.new.%ld", path, (long)getpid());
    int fd = open(tmp, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd == -1)
        return -1;
    struct k8055_board_file fresh;
    memset(&fresh, 0, sizeof fresh);
    fresh.magic = K8055_BOARD_MAGIC;
    fresh.version = K8055_BOARD_VERSION;
    fresh.size = sizeof fresh;
    int ok = write(fd, &fresh, sizeof fresh) == (ssize_t)sizeof fresh;
    close(fd);
    if (ok && link(tmp, path) == -1 && errno != EEXIST)
        ok = 0;
    unlink(tmp);
    if (!ok)
        return -1;
    return k8055_board_open(m);
}

void k8055_board_close(struct k8055_board_map *m) {
    if (m->file)
        munmap(m->file, sizeof(struct k8055_board_file));
    if (m->fd != -1)
        close(m->fd);
    m->file = NULL;
    m->fd = -1;
}

int k8055_board_gone(const struct k8055_board_map *m) {
    if (!m->file)
        return 1;
    struct stat st;
    if (fstat(m->fd, &st) == -1)
        return 1;
    return st.st_nlink == 0;
}

int k8055_board_remove(void) {
    struct k8055_board_map m;
    char path[IPC_PATH_MAX];
    if (k8055_board_path(path, sizeof path) == -1)
        return -1;
    // A program that still has the file mapped then sees every board unplugged, inputs open.
    if (k8055_board_open(&m) == 0) {
        for (int b = 0; b < K8055_BOARDS; b++) {
            struct k8055_board *board = &m.file->boards[b];
            k8055_board_put(&board->plugged, 0);
            for (int i = 0; i < K8055_DIGITAL_INPUTS; i++)
                k8055_board_put(&board->digital_in[i], 0);
        }
        k8055_board_close(&m);
    }
    if (unlink(path) == -1 && errno != ENOENT)
        return -1;
    return 0;
}

// The hold is a write lock on the board's byte "opened" of the file: the system lets it go
// when the process ends, so a killed program never leaves a board taken.
int k8055_board_hold(struct k8055_board_map *m, long address, int hold) {
    if (m->fd < 0)
        return 0;
    struct flock l;
    memset(&l, 0, sizeof l);
    l.l_type = hold ? F_WRLCK : F_UNLCK;
    l.l_whence = SEEK_SET;
    l.l_start = (off_t)(offsetof(struct k8055_board_file, boards) +
                        (size_t)address * sizeof(struct k8055_board) +
                        offsetof(struct k8055_board, opened));
    l.l_len = 1;
    return fcntl(m->fd, F_SETLK, &l) == 0 ? 0 : -1;
}

// A direct nanosleep rather than Sleep: the board's time, not a pause of the program.
void k8055_board_exchange(long us) {
    if (us <= 0)
        return;
    struct timespec t;
    t.tv_sec = us / 1000000L;
    t.tv_nsec = (us % 1000000L) * 1000L;
    while (nanosleep(&t, &t) == -1 && errno == EINTR) {
    }
}
