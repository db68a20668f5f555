// The server side of the IPC transport: listens as a window class, receives request frames
// from any number of clients without letting a stalled or garbage peer hold it up, carries
// out the named shared block and replies (docs/ipc-transport.md).
#include "sim/sim.h"
#include "platform/ipc_transport.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

static int64_t now_ms(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (int64_t)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

// Fills a socket address with path (which ipc_socket_path made sure fits).
static void socket_address(struct sockaddr_un *a, const char *path) {
    memset(a, 0, sizeof *a);
    a->sun_family = AF_UNIX;
    size_t n = strlen(path);
    if (n >= sizeof a->sun_path)
        n = sizeof a->sun_path - 1;
    memcpy(a->sun_path, path, n);
}

// Closes a connection; its peer is watched for a while in case its process has ended.
static void client_drop(sim_server *s, sim_client *c) {
    if (c->fd >= 0) {
        close(c->fd);
        s->clients_connected--;
        // The same peer again, else a free slot, else the watch that ends soonest.
        sim_watch *w = NULL;
        for (int i = 0; i < SIM_SERVER_CLIENTS && !w; i++)
            if (s->watches[i].pid == c->pid)
                w = &s->watches[i];
        for (int i = 0; i < SIM_SERVER_CLIENTS && !w; i++)
            if (!s->watches[i].pid)
                w = &s->watches[i];
        if (!w) {
            w = &s->watches[0];
            for (int i = 1; i < SIM_SERVER_CLIENTS; i++)
                if (s->watches[i].until_ms < w->until_ms)
                    w = &s->watches[i];
        }
        if (c->pid > 0 && c->pid != (int)getpid()) {
            w->pid = c->pid;
            w->until_ms = now_ms() + SIM_WATCH_MS;
        }
    }
    c->fd = -1;
    c->got = 0;
    c->pid = 0;
}

// Removes the blocks of watched peers whose processes ended; forgets those watched long enough.
static void check_watches(sim_server *s) {
    int64_t now = now_ms();
    for (int i = 0; i < SIM_SERVER_CLIENTS; i++) {
        sim_watch *w = &s->watches[i];
        if (!w->pid)
            continue;
        if (sim_process_ended(w->pid)) {
            sim_remove_blocks_of(w->pid);
            w->pid = 0;
        } else if (now >= w->until_ms) {
            w->pid = 0;
        }
    }
}

// Removes a socket file left by a server that died, but only when nobody answers on it and it
// really is a socket. Returns -1 when another server is serving there.
static int clear_stale_socket(const char *path) {
    struct stat st;
    if (lstat(path, &st) == -1)
        return errno == ENOENT ? 0 : -1;
    if (!S_ISSOCK(st.st_mode))
        return -1;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    struct sockaddr_un a;
    socket_address(&a, path);
    int rc = connect(fd, (struct sockaddr *)&a, sizeof a);
    int err = errno;
    close(fd);
    if (rc == 0)
        return -1;
    if (err != ECONNREFUSED)
        return -1;
    return unlink(path);
}

int sim_server_open(sim_server *s, const char *window_class) {
    s->listen_fd = -1;
    s->requests = 0;
    s->clients_connected = 0;
    s->inode = 0;
    for (int i = 0; i < SIM_SERVER_CLIENTS; i++) {
        s->clients[i].fd = -1;
        s->clients[i].got = 0;
        s->clients[i].pid = 0;
        s->watches[i].pid = 0;
    }
    s->msg = ipc_message_number("FsasmLib:IPC");
    if (ipc_socket_path(window_class, s->path, sizeof s->path, 1) == -1 ||
        clear_stale_socket(s->path) == -1)
        return -1;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    struct sockaddr_un a;
    socket_address(&a, s->path);
    struct stat st;
    if (bind(fd, (struct sockaddr *)&a, sizeof a) == -1) {
        close(fd);
        return -1;
    }
    if (chmod(s->path, 0600) == -1 || listen(fd, 16) == -1 || lstat(s->path, &st) == -1) {
        close(fd);
        unlink(s->path);
        return -1;
    }
    s->inode = (uint64_t)st.st_ino;
    s->listen_fd = fd;
    return 0;
}

void sim_server_close(sim_server *s) {
    for (int i = 0; i < SIM_SERVER_CLIENTS; i++)
        client_drop(s, &s->clients[i]);
    if (s->listen_fd >= 0) {
        close(s->listen_fd);
        struct stat st;
        if (lstat(s->path, &st) == 0 && (uint64_t)st.st_ino == s->inode)
            unlink(s->path);
    }
    s->listen_fd = -1;
}

// Takes every waiting connection; peers of another user are turned away, and when all slots
// are taken the connection idle the longest makes room.
static void accept_clients(sim_server *s) {
    for (;;) {
        int fd = accept4(s->listen_fd, NULL, NULL, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0)
            return;
        struct ucred cred;
        socklen_t len = sizeof cred;
        if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) == -1 ||
            (cred.uid != geteuid() && cred.uid != 0)) {
            close(fd);
            continue;
        }
        sim_client *slot = NULL;
        for (int i = 0; i < SIM_SERVER_CLIENTS && !slot; i++)
            if (s->clients[i].fd < 0)
                slot = &s->clients[i];
        if (!slot) {
            slot = &s->clients[0];
            for (int i = 1; i < SIM_SERVER_CLIENTS; i++)
                if (s->clients[i].active_ms < slot->active_ms)
                    slot = &s->clients[i];
            client_drop(s, slot);
        }
        slot->fd = fd;
        slot->got = 0;
        slot->pid = (int)cred.pid;
        slot->active_ms = now_ms();
        s->clients_connected++;
    }
}

// Reads the named block into s->block: its size, or -1 when it cannot be used (not a block
// name, not an object of ours, empty or too large).
static long read_block(sim_server *s, const char *name, int *fd_out) {
    *fd_out = -1;
    if (!ipc_block_name_valid(name))
        return -1;
    char shm_name[IPC_NAME_MAX + 2];
    snprintf(shm_name, sizeof shm_name, "/%s", name);
    int fd = shm_open(shm_name, O_RDWR | O_CLOEXEC | O_NOFOLLOW, 0);
    if (fd < 0)
        return -1;
    struct stat st;
    if (fstat(fd, &st) == -1 || !S_ISREG(st.st_mode) || st.st_uid != geteuid() || st.st_size < 4 ||
        st.st_size > SIM_BLOCK_MAX) {
        close(fd);
        return -1;
    }
    // Copied rather than mapped: a client that shrinks its object meanwhile cannot make the
    // server fault on a vanished page.
    ssize_t n = pread(fd, s->block, (size_t)st.st_size, 0);
    if (n < 4) {
        close(fd);
        return -1;
    }
    *fd_out = fd;
    return (long)n;
}

// Handles one complete request frame; returns the reply value, SIM_NO_REPLY or SIM_HANG_UP.
static int handle_request(sim_server *s, sim_client *c) {
    s->requests++;
    uint32_t msg = ipc_get32(c->frame + 4);
    size_t n = ipc_get16(c->frame + 16);
    char name[IPC_NAME_MAX + 1];
    memcpy(name, c->frame + IPC_REQUEST_HEADER, n);
    name[n] = '\0';
    if (msg != s->msg || n == 0 || strlen(name) != n)
        return 0;
    int fd;
    long size = read_block(s, name, &fd);
    if (size < 0)
        return 0;
    int reply = (s->carry_out ? s->carry_out : sim_carry_out)(name, s->block, (size_t)size);
    if (reply == 1 && pwrite(fd, s->block, (size_t)size, 0) != size)
        reply = 0;
    close(fd);
    return reply;
}

static void send_reply(sim_server *s, sim_client *c, int reply) {
    uint8_t frame[IPC_REPLY_SIZE];
    ipc_put32(frame, IPC_MAGIC);
    ipc_put32(frame + 4, (uint32_t)reply);
    // A client that does not take its replies is not waited for.
    if (send(c->fd, frame, sizeof frame, MSG_NOSIGNAL | MSG_DONTWAIT) != (ssize_t)sizeof frame)
        client_drop(s, c);
}

// Receives what a client sent: at most up to the end of the current frame at a time.
#define SIM_FRAMES_PER_ROUND 16
static void serve_client(sim_server *s, sim_client *c) {
    // A few requests per round at most, so a flooding peer cannot starve the others.
    for (int frames = 0; frames < SIM_FRAMES_PER_ROUND;) {
        size_t need = IPC_REQUEST_HEADER;
        if (c->got >= IPC_REQUEST_HEADER)
            need += ipc_get16(c->frame + 16);
        ssize_t r = recv(c->fd, c->frame + c->got, need - c->got, MSG_DONTWAIT);
        if (r == 0 || (r < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) {
            client_drop(s, c);
            return;
        }
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return; // nothing more for now
        }
        int64_t t = now_ms();
        if (c->got == 0)
            c->began_ms = t;
        c->active_ms = t;
        c->got += (size_t)r;
        if (c->got >= 4 && ipc_get32(c->frame) != IPC_MAGIC) {
            client_drop(s, c);
            return;
        }
        if (c->got == IPC_REQUEST_HEADER && ipc_get16(c->frame + 16) > IPC_NAME_MAX) {
            client_drop(s, c);
            return;
        }
        if (c->got < IPC_REQUEST_HEADER ||
            c->got < (size_t)IPC_REQUEST_HEADER + ipc_get16(c->frame + 16))
            continue; // the frame goes on
        int reply = handle_request(s, c);
        c->got = 0;
        frames++;
        if (reply == SIM_HANG_UP) {
            client_drop(s, c);
            return;
        }
        if (reply != SIM_NO_REPLY) {
            send_reply(s, c, reply);
            if (c->fd < 0)
                return;
        }
    }
}

int sim_server_poll(sim_server *s, int timeout_ms) {
    if (s->listen_fd < 0)
        return -1;
    struct pollfd p[SIM_SERVER_CLIENTS + 1];
    int who[SIM_SERVER_CLIENTS + 1];
    int n = 0;
    check_watches(s);
    int64_t now = now_ms();
    int64_t wait = timeout_ms;
    for (int i = 0; i < SIM_SERVER_CLIENTS; i++)
        if (s->watches[i].pid && wait > 100)
            wait = 100; // watched peers are looked at again soon
    p[n].fd = s->listen_fd;
    p[n].events = POLLIN;
    who[n++] = -1;
    for (int i = 0; i < SIM_SERVER_CLIENTS; i++) {
        sim_client *c = &s->clients[i];
        if (c->fd < 0)
            continue;
        if (c->got) {
            // A frame begun must be finished in time, or the peer is dropped.
            int64_t left = c->began_ms + SIM_FRAME_MS - now;
            if (left <= 0) {
                client_drop(s, c);
                continue;
            }
            if (left < wait)
                wait = left;
        }
        p[n].fd = c->fd;
        p[n].events = POLLIN;
        who[n++] = i;
    }
    int rc = poll(p, (nfds_t)n, (int)(wait < 0 ? 0 : wait));
    if (rc <= 0)
        return 0;
    for (int k = 0; k < n; k++) {
        if (!p[k].revents)
            continue;
        if (who[k] < 0)
            accept_clients(s);
        else if (s->clients[who[k]].fd >= 0)
            serve_client(s, &s->clients[who[k]]);
    }
    return 0;
}
