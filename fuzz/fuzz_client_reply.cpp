// Fuzz target: the client's reply reader (SendMessageTimeoutA of the POSIX transport). This
// target plays a hostile server by hand: it listens as FS98MAIN, and before each request it
// puts the fuzz bytes on the connection as the "reply", then maybe hangs up. The client must
// take a reply only when it is a whole frame that starts with the magic, report a time-out or
// a broken connection otherwise, send well-formed requests whatever happened before, and never
// send a timed-out request twice.
//
// Input: byte 0 flags (bit 0: hang up after the bytes; bit 1: request with an atom), then the
// bytes the server "answers".
#include "platform/ipc_transport.h"
#include "platform/platform.h"

#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

static char folder[64];
static char path[IPC_PATH_MAX];
static int listen_fd = -1;
static int peer_fd = -1; // the server's side of the client's current connection
static ATOM atom;
static UINT msg;

static void cleanup(void) {
    if (peer_fd >= 0)
        close(peer_fd);
    close(listen_fd);
    unlink(path);
    rmdir(folder);
}

static void start_once(void) {
    static int ready = 0;
    if (ready)
        return;
    strcpy(folder, "/tmp/valdora-fuzz-reply-XXXXXX");
    if (!mkdtemp(folder))
        abort();
    setenv("VALDORA_IPC_DIR", folder, 1);
    if (ipc_socket_path("FS98MAIN", path, sizeof path, 0) == -1)
        abort();
    listen_fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    struct sockaddr_un a;
    memset(&a, 0, sizeof a);
    a.sun_family = AF_UNIX;
    snprintf(a.sun_path, sizeof a.sun_path, "%s", path);
    if (listen_fd < 0 || bind(listen_fd, (struct sockaddr *)&a, sizeof a) != 0 ||
        listen(listen_fd, 16) != 0)
        abort();
    atom = GlobalAddAtomA("FsasmLib:IPC:F022:1");
    msg = RegisterWindowMessageA("FsasmLib:IPC");
    atexit(cleanup);
    ready = 1;
}

// Reads the request the client sent and checks its frame: magic, message, atom and name.
static void check_request(int with_atom) {
    uint8_t req[IPC_REQUEST_HEADER + IPC_NAME_MAX];
    ssize_t r = recv(peer_fd, req, sizeof req, MSG_DONTWAIT);
    if (r <= 0)
        return; // the client gave up before sending (a broken connection)
    size_t expect = IPC_REQUEST_HEADER + (with_atom ? strlen("FsasmLib:IPC:F022:1") : 0);
    if ((size_t)r != expect || ipc_get32(req) != IPC_MAGIC || ipc_get32(req + 4) != msg ||
        ipc_get16(req + 16) != expect - IPC_REQUEST_HEADER)
        abort();
    if (with_atom && memcmp(req + IPC_REQUEST_HEADER, "FsasmLib:IPC:F022:1", 19) != 0)
        abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    start_once();
    if (size < 1 || size > 4096)
        return 0;
    int hang_up = data[0] & 1;
    int with_atom = (data[0] >> 1) & 1;

    HWND h = FindWindowExA(NULL, NULL, "FS98MAIN", NULL);
    if (!h)
        abort();
    // A new connection replaces the one served so far.
    int fd = accept4(listen_fd, NULL, NULL, SOCK_CLOEXEC);
    if (fd >= 0) {
        if (peer_fd >= 0)
            close(peer_fd);
        peer_fd = fd;
    }
    if (peer_fd < 0)
        abort();
    if (size > 1 && send(peer_fd, data + 1, size - 1, MSG_NOSIGNAL) != (ssize_t)(size - 1))
        abort();
    if (hang_up)
        shutdown(peer_fd, SHUT_WR);

    DWORD_PTR result = 0xDEADBEEF;
    LRESULT ok = SendMessageTimeoutA(h, msg, with_atom ? atom : 0, 0, SMTO_BLOCK, 0, &result);
    DWORD err = GetLastError();
    check_request(with_atom);

    const uint8_t *reply = data + 1;
    size_t n = size - 1;
    if (ok) {
        // Taken only as a whole frame with the magic, and its result is the frame's.
        if (n < IPC_REPLY_SIZE || ipc_get32(reply) != IPC_MAGIC || result != ipc_get32(reply + 4) ||
            err != 0)
            abort();
    } else {
        if (err != 1460 && err != 1400)
            abort();
        if (n >= IPC_REPLY_SIZE && ipc_get32(reply) == IPC_MAGIC)
            abort(); // a good reply was waiting
        if (err == 1460) {
            // Timed out, the request is still outstanding: asking the same again sends nothing
            // and waits on; asking something else gives the connection up.
            uint8_t extra;
            WPARAM same = with_atom ? atom : 0;
            if (SendMessageTimeoutA(h, msg, same, 0, SMTO_BLOCK, 0, &result) ||
                GetLastError() != 1460 || recv(peer_fd, &extra, 1, MSG_DONTWAIT) > 0)
                abort();
            if (SendMessageTimeoutA(h, msg, same, 1, SMTO_BLOCK, 0, &result) ||
                GetLastError() != 1400)
                abort();
        }
        // A broken exchange drops the connection: the next one starts afresh.
        if (SendMessageTimeoutA(h, msg, 0, 0, SMTO_BLOCK, 0, &result) || GetLastError() != 1400)
            abort();
        close(peer_fd);
        peer_fd = -1;
    }
    return 0;
}
