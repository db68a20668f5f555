// The Win32 IPC calls of the simulator link client, on POSIX: server windows are Unix-domain
// sockets in the endpoint folder, atoms live in a process-local table and travel with each
// message, file mappings are POSIX shared-memory objects (docs/ipc-transport.md).
#include "platform/platform.h"
#include "platform/ipc_transport.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <stdarg.h>
#include <string.h>
#include <strings.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_PARAMETER 87
#define ERROR_INVALID_NAME 123
#define ERROR_INVALID_ADDRESS 487

// Like Win32, the last error belongs to the calling thread.
static thread_local DWORD last_error = 0;

DWORD GetLastError(void) {
    return last_error;
}

static void set_error(DWORD e) {
    last_error = e;
}

DWORD GetCurrentProcessId(void) {
    return (DWORD)getpid();
}

int wsprintfA(LPSTR out, LPCSTR format, ...) {
    va_list ap;
    va_start(ap, format);
    int n = vsnprintf(out, 1024, format, ap); // the Win32 call writes at most 1024 bytes
    va_end(ap);
    if (n > 1023)
        n = 1023;
    return n;
}

UINT RegisterWindowMessageA(LPCSTR name) {
    if (!name || !name[0]) {
        set_error(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return ipc_message_number(name);
}

// ---- Atoms: a process-local table, reference counted like the system's ----

#define ATOM_BASE 0xC000
#define ATOM_SLOTS 64

typedef struct {
    char name[IPC_NAME_MAX + 1];
    unsigned refs; // 0: slot free
} atom_slot;

static atom_slot atoms[ATOM_SLOTS];
static pthread_mutex_t atoms_lock = PTHREAD_MUTEX_INITIALIZER;

ATOM GlobalAddAtomA(LPCSTR name) {
    if (!name || !name[0] || strlen(name) > IPC_NAME_MAX) {
        set_error(ERROR_INVALID_PARAMETER);
        return 0;
    }
    ATOM found = 0;
    pthread_mutex_lock(&atoms_lock);
    int free_slot = -1;
    for (int i = 0; i < ATOM_SLOTS && !found; i++) {
        if (atoms[i].refs && strcasecmp(atoms[i].name, name) == 0) {
            atoms[i].refs++;
            found = (ATOM)(ATOM_BASE + i);
        } else if (!atoms[i].refs && free_slot < 0) {
            free_slot = i;
        }
    }
    if (!found && free_slot >= 0) {
        strcpy(atoms[free_slot].name, name);
        atoms[free_slot].refs = 1;
        found = (ATOM)(ATOM_BASE + free_slot);
    }
    pthread_mutex_unlock(&atoms_lock);
    if (!found)
        set_error(ERROR_NOT_ENOUGH_MEMORY);
    return found;
}

ATOM GlobalDeleteAtom(ATOM atom) {
    int i = (int)atom - ATOM_BASE;
    ATOM rc = atom; // the system's convention: the atom back on failure, 0 on success
    pthread_mutex_lock(&atoms_lock);
    if (i >= 0 && i < ATOM_SLOTS && atoms[i].refs) {
        if (--atoms[i].refs == 0)
            atoms[i].name[0] = '\0';
        rc = 0;
    }
    pthread_mutex_unlock(&atoms_lock);
    if (rc)
        set_error(ERROR_INVALID_HANDLE);
    return rc;
}

// Copies the text of atom into out (IPC_NAME_MAX + 1 bytes); returns its length, 0 if no atom.
static size_t atom_text(uintptr_t atom, char *out) {
    size_t n = 0;
    uintptr_t i = atom - ATOM_BASE;
    pthread_mutex_lock(&atoms_lock);
    if (atom >= ATOM_BASE && i < ATOM_SLOTS && atoms[i].refs) {
        n = strlen(atoms[i].name);
        memcpy(out, atoms[i].name, n + 1);
    }
    pthread_mutex_unlock(&atoms_lock);
    return n;
}

// ---- Shared-memory blocks ----

#define MAP_SLOTS 16
#define VIEW_SLOTS 16

typedef struct {
    int fd;      // -1: slot free
    int created; // 1 when this process created the object (and so removes its name)
    size_t size; // bytes of the object
    char name[IPC_NAME_MAX + 2];
} map_slot;

typedef struct {
    void *addr; // NULL: slot free
    size_t len;
} view_slot;

static map_slot maps[MAP_SLOTS] = {};
static view_slot views[VIEW_SLOTS] = {};
static int maps_ready = 0;
static pthread_mutex_t maps_lock = PTHREAD_MUTEX_INITIALIZER;

static void maps_init(void) {
    if (!maps_ready) {
        for (int i = 0; i < MAP_SLOTS; i++)
            maps[i].fd = -1;
        maps_ready = 1;
    }
}

static map_slot *map_of(HANDLE h) {
    for (int i = 0; i < MAP_SLOTS; i++)
        if (h == reinterpret_cast<HANDLE>(&maps[i]) && maps[i].fd >= 0)
            return &maps[i];
    return NULL;
}

// 1 when name is a client block named after our own process number that no handle of this
// process holds: only a dead process with the same number can have left it.
static int stale_own_block(const char *name) {
    unsigned pid = 0, n = 0;
    char end = 0;
    if (!ipc_block_name_valid(name) || sscanf(name, "FsasmLib:IPC:%X:%X%c", &pid, &n, &end) != 2)
        return 0;
    if (pid != (unsigned)getpid())
        return 0;
    char shm_name[IPC_NAME_MAX + 2];
    snprintf(shm_name, sizeof shm_name, "/%s", name);
    for (int i = 0; i < MAP_SLOTS; i++)
        if (maps[i].fd >= 0 && strcmp(maps[i].name, shm_name) == 0)
            return 0;
    return 1;
}

HANDLE CreateFileMappingA(HANDLE file, void *security, DWORD protect, DWORD size_high,
                          DWORD size_low, LPCSTR name) {
    (void)security;
    uint64_t size = ((uint64_t)size_high << 32) | size_low;
    if (file != INVALID_HANDLE_VALUE || protect != PAGE_READWRITE || size == 0 || !name ||
        !name[0]) {
        set_error(ERROR_INVALID_PARAMETER);
        return NULL;
    }
    if (strlen(name) > IPC_NAME_MAX - 1 || strchr(name, '/')) {
        set_error(ERROR_INVALID_NAME);
        return NULL;
    }
    char shm_name[IPC_NAME_MAX + 2];
    snprintf(shm_name, sizeof shm_name, "/%s", name);

    pthread_mutex_lock(&maps_lock);
    maps_init();
    map_slot *slot = NULL;
    for (int i = 0; i < MAP_SLOTS && !slot; i++)
        if (maps[i].fd < 0)
            slot = &maps[i];
    HANDLE h = NULL;
    DWORD err = 0;
    if (!slot) {
        err = ERROR_NOT_ENOUGH_MEMORY;
    } else {
        int created = 1;
        int fd = shm_open(shm_name, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST && stale_own_block(name)) {
            // Left behind by a killed process that had our process number: on the system
            // whose calls these are it would have gone with that process, so it goes now.
            shm_unlink(shm_name);
            fd = shm_open(shm_name, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        }
        if (fd >= 0) {
            // Exactly 0600 whatever the umask; sized as asked.
            if (fchmod(fd, 0600) == -1 || ftruncate(fd, (off_t)size) == -1) {
                close(fd);
                shm_unlink(shm_name);
                fd = -1;
                err = ERROR_NOT_ENOUGH_MEMORY;
            }
        } else if (errno == EEXIST) {
            // The name is taken: hand out the existing object and say so, as the system does.
            created = 0;
            fd = shm_open(shm_name, O_RDWR | O_CLOEXEC, 0);
            struct stat st;
            if (fd >= 0 && fstat(fd, &st) == 0) {
                size = (uint64_t)st.st_size;
                err = ERROR_ALREADY_EXISTS;
            } else {
                if (fd >= 0)
                    close(fd);
                fd = -1;
                err = ERROR_ACCESS_DENIED;
            }
        } else {
            err = ERROR_ACCESS_DENIED;
        }
        if (fd >= 0) {
            slot->fd = fd;
            slot->created = created;
            slot->size = (size_t)size;
            strcpy(slot->name, shm_name);
            h = reinterpret_cast<HANDLE>(slot);
        }
    }
    pthread_mutex_unlock(&maps_lock);
    set_error(err);
    return h;
}

LPVOID MapViewOfFile(HANDLE map, DWORD access, DWORD offset_high, DWORD offset_low, size_t bytes) {
    pthread_mutex_lock(&maps_lock);
    maps_init();
    map_slot *m = map_of(map);
    void *addr = NULL;
    DWORD err = 0;
    if (!m) {
        err = ERROR_INVALID_HANDLE;
    } else if (offset_high || offset_low || bytes > m->size) {
        err = ERROR_INVALID_PARAMETER;
    } else {
        view_slot *v = NULL;
        for (int i = 0; i < VIEW_SLOTS && !v; i++)
            if (!views[i].addr)
                v = &views[i];
        size_t len = bytes ? bytes : m->size;
        int prot = (access & FILE_MAP_WRITE) ? PROT_READ | PROT_WRITE : PROT_READ;
        void *p = v ? mmap(NULL, len, prot, MAP_SHARED, m->fd, 0) : MAP_FAILED;
        if (p == MAP_FAILED) {
            err = ERROR_NOT_ENOUGH_MEMORY;
        } else {
            v->addr = p;
            v->len = len;
            addr = p;
        }
    }
    pthread_mutex_unlock(&maps_lock);
    set_error(err);
    return addr;
}

BOOL UnmapViewOfFile(const void *view) {
    BOOL ok = FALSE;
    pthread_mutex_lock(&maps_lock);
    for (int i = 0; i < VIEW_SLOTS && view && !ok; i++) {
        if (views[i].addr == view) {
            munmap(views[i].addr, views[i].len);
            views[i].addr = NULL;
            views[i].len = 0;
            ok = TRUE;
        }
    }
    pthread_mutex_unlock(&maps_lock);
    if (!ok)
        set_error(ERROR_INVALID_ADDRESS);
    return ok;
}

BOOL CloseHandle(HANDLE handle) {
    BOOL ok = FALSE;
    pthread_mutex_lock(&maps_lock);
    maps_init();
    map_slot *m = map_of(handle);
    if (m) {
        close(m->fd);
        if (m->created)
            shm_unlink(m->name);
        m->fd = -1;
        m->created = 0;
        m->size = 0;
        m->name[0] = '\0';
        ok = TRUE;
    }
    pthread_mutex_unlock(&maps_lock);
    if (!ok)
        set_error(ERROR_INVALID_HANDLE);
    return ok;
}

// ---- Server windows: one socket connection per endpoint, reused while it lasts ----

#define CONN_SLOTS 8

// A request whose reply did not come in time stays outstanding on its connection: the caller's
// next attempt with the same request sends nothing and waits on for that one reply (a stalled
// server answers each request once). After this many waits in vain the connection is given up;
// it is the simulator link's number of attempts per exchange.
#define PENDING_WAITS_MAX 9

typedef struct {
    char path[IPC_PATH_MAX]; // endpoint path; "" when the slot is unused
    int fd;                  // -1 while not connected
    unsigned long used;      // when it was last looked up (for reusing slots)
    uint8_t sent[IPC_REQUEST_HEADER + IPC_NAME_MAX]; // the outstanding request's frame
    size_t sent_len;                                 // its length; 0: no request outstanding
    int waits;                                       // time-outs spent waiting for its reply
    uint8_t reply[IPC_REPLY_SIZE];                   // the part of its reply received so far
    size_t reply_got;
} conn_slot;

static unsigned long conn_clock = 0;

static conn_slot conns[CONN_SLOTS] = {};
static int conns_ready = 0;

static void conns_init(void) {
    if (!conns_ready) {
        for (int i = 0; i < CONN_SLOTS; i++)
            conns[i].fd = -1;
        conns_ready = 1;
    }
}

static void conn_drop(conn_slot *c) {
    if (c->fd >= 0)
        close(c->fd);
    c->fd = -1;
    c->sent_len = 0;
    c->reply_got = 0;
}

static conn_slot *conn_of(HWND hwnd) {
    for (int i = 0; i < CONN_SLOTS; i++)
        if (hwnd == reinterpret_cast<HWND>(&conns[i]) && conns[i].path[0])
            return &conns[i];
    return NULL;
}

// 1 while the connection still looks usable: not hung up, nothing unasked-for waiting, and no
// reply outstanding (a lookup starts a new exchange, which must not get the old one's reply).
static int conn_alive(conn_slot *c) {
    struct pollfd p = {c->fd, POLLIN, 0};
    return c->sent_len == 0 && poll(&p, 1, 0) == 0;
}

static int conn_open(conn_slot *c) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    struct sockaddr_un a;
    memset(&a, 0, sizeof a);
    a.sun_family = AF_UNIX;
    if (strlen(c->path) >= sizeof a.sun_path)
        return -1;
    memcpy(a.sun_path, c->path, strlen(c->path) + 1);
    int rc;
    do {
        rc = connect(fd, (struct sockaddr *)&a, sizeof a);
    } while (rc == -1 && errno == EINTR);
    if (rc == -1) {
        close(fd);
        return -1;
    }
    c->fd = fd;
    return 0;
}

HWND FindWindowExA(HWND parent, HWND child_after, LPCSTR class_name, LPCSTR window_name) {
    (void)window_name;
    char path[IPC_PATH_MAX];
    if (parent || child_after || ipc_socket_path(class_name, path, sizeof path, 0) == -1) {
        set_error(ERROR_INVALID_PARAMETER);
        return NULL;
    }
    conns_init();
    // Connections whose server went away are closed here, so reconnects never pile them up.
    for (int i = 0; i < CONN_SLOTS; i++)
        if (conns[i].fd >= 0 && !conn_alive(&conns[i]))
            conn_drop(&conns[i]);
    conn_slot *c = NULL;
    for (int i = 0; i < CONN_SLOTS && !c; i++)
        if (strcmp(conns[i].path, path) == 0)
            c = &conns[i];
    if (!c) {
        // A new endpoint: an unused slot, else one not connected, else the longest unused.
        for (int i = 0; i < CONN_SLOTS && !c; i++)
            if (!conns[i].path[0])
                c = &conns[i];
        for (int i = 0; i < CONN_SLOTS && !c; i++)
            if (conns[i].fd < 0)
                c = &conns[i];
        if (!c) {
            c = &conns[0];
            for (int i = 1; i < CONN_SLOTS; i++)
                if (conns[i].used < c->used)
                    c = &conns[i];
        }
        conn_drop(c);
        strcpy(c->path, path);
    }
    c->used = ++conn_clock;
    if (c->fd < 0 && conn_open(c) == -1) {
        set_error(ERROR_INVALID_WINDOW_HANDLE);
        return NULL;
    }
    return reinterpret_cast<HWND>(c);
}

static int64_t now_ms(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (int64_t)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

// Waits until fd is ready for events or the deadline passes: 1 ready, 0 timed out, -1 error.
static int wait_ready(int fd, short events, int64_t deadline) {
    for (;;) {
        int64_t left = deadline - now_ms();
        if (left < 0)
            left = 0;
        struct pollfd p = {fd, events, 0};
        int rc = poll(&p, 1, (int)left);
        if (rc > 0)
            return (p.revents & events) ? 1 : -1;
        if (rc == 0)
            return 0;
        if (errno != EINTR)
            return -1;
    }
}

// Sends all of buf before the deadline: 0 sent, -1 timed out or broken.
static int send_all(int fd, const uint8_t *buf, size_t len, int64_t deadline) {
    size_t done = 0;
    while (done < len) {
        ssize_t n = send(fd, buf + done, len - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += (size_t)n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (wait_ready(fd, POLLOUT, deadline) != 1)
                return -1;
        } else {
            return -1;
        }
    }
    return 0;
}

// Receives the rest of the connection's reply frame before the deadline: 1 received, 0 timed
// out (the bytes so far are kept for the next wait), -1 broken.
static int recv_reply(conn_slot *c, int64_t deadline) {
    while (c->reply_got < IPC_REPLY_SIZE) {
        int r = wait_ready(c->fd, POLLIN, deadline);
        if (r == 0)
            return 0;
        if (r < 0) {
            // Hung up: whatever arrived before the hang-up can still be read below.
            struct pollfd p = {c->fd, POLLIN, 0};
            if (poll(&p, 1, 0) <= 0 || !(p.revents & POLLIN))
                return -1;
        }
        ssize_t n =
            recv(c->fd, c->reply + c->reply_got, IPC_REPLY_SIZE - c->reply_got, MSG_DONTWAIT);
        if (n > 0)
            c->reply_got += (size_t)n;
        else if (n == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK))
            return -1;
    }
    return ipc_get32(c->reply) == IPC_MAGIC ? 1 : -1;
}

LRESULT SendMessageTimeoutA(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, UINT flags,
                            UINT timeout_ms, DWORD_PTR *result) {
    (void)flags;
    conns_init();
    conn_slot *c = conn_of(hwnd);
    if (!c || c->fd < 0) {
        set_error(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    int64_t deadline = now_ms() + timeout_ms;

    uint8_t frame[IPC_REQUEST_HEADER + IPC_NAME_MAX + 1];
    char name[IPC_NAME_MAX + 1];
    size_t n = atom_text(wparam, name);
    ipc_put32(frame, IPC_MAGIC);
    ipc_put32(frame + 4, msg);
    ipc_put32(frame + 8, (uint32_t)wparam);
    ipc_put32(frame + 12, (uint32_t)lparam);
    ipc_put16(frame + 16, (uint16_t)n);
    memcpy(frame + IPC_REQUEST_HEADER, name, n);
    size_t len = IPC_REQUEST_HEADER + n;

    if (c->sent_len && (c->sent_len != len || memcmp(c->sent, frame, len) != 0)) {
        // Another request while one is outstanding: its late reply would be taken for this
        // one's answer, so the connection is given up.
        conn_drop(c);
        set_error(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (!c->sent_len) {
        if (send_all(c->fd, frame, len, deadline) == -1) {
            conn_drop(c);
            set_error(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        memcpy(c->sent, frame, len);
        c->sent_len = len;
        c->waits = 0;
        c->reply_got = 0;
    }

    int r = recv_reply(c, deadline);
    if (r == 0 && ++c->waits < PENDING_WAITS_MAX) {
        set_error(ERROR_TIMEOUT); // still outstanding: the next attempt waits on
        return 0;
    }
    if (r != 1) {
        conn_drop(c);
        set_error(r == 0 ? ERROR_TIMEOUT : ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    c->sent_len = 0;
    c->reply_got = 0;
    if (result)
        *result = ipc_get32(c->reply + 4);
    set_error(0);
    return 1;
}
