// Fuzz target: the client's reply reader (SendMessageTimeoutA of the POSIX transport). This
// target plays a hostile server by hand: it listens as FS98MAIN in the endpoint folder that
// fuzz/run.sh gives it, and before each request it puts the fuzz bytes on the connection as the
// "reply", then maybe hangs up. The client must take a reply only when it is a whole frame that
// starts with the magic, report a time-out or a broken connection otherwise, send well-formed
// requests whatever happened before, and never send a timed-out request twice.
//
// Input: byte 0 flags (bit 0: hang up after the bytes; bit 1: request with an atom), then the
// bytes the server "answers".
#include "platform/ipc_transport.h"
#include "platform/platform.h"

#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

static const char name[] = "FsasmLib:IPC:F022:1";
static int listen_fd = -1, peer_fd = -1; // the server's side of the client's connection

// Reads the request the client sent and checks its frame: magic, message, atom and name.
static void check_request(UINT msg, int with_atom) {
    uint8_t req[IPC_REQUEST_HEADER + IPC_NAME_MAX];
    ssize_t r = recv(peer_fd, req, sizeof req, MSG_DONTWAIT);
    size_t n = with_atom ? strlen(name) : 0;
    if (r > 0 && ((size_t)r != IPC_REQUEST_HEADER + n || ipc_get32(req) != IPC_MAGIC ||
                  ipc_get32(req + 4) != msg || ipc_get16(req + 16) != n ||
                  memcmp(req + IPC_REQUEST_HEADER, name, n) != 0))
        abort(); // (nothing at all: the client gave up on a broken connection before sending)
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static ATOM atom = GlobalAddAtomA(name);
    static UINT msg = RegisterWindowMessageA("FsasmLib:IPC");
    struct sockaddr_un a = {AF_UNIX, {}};
    if (listen_fd < 0 &&
        (ipc_socket_path("FS98MAIN", a.sun_path, sizeof a.sun_path, 0) ||
         (listen_fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0)) < 0 ||
         bind(listen_fd, (struct sockaddr *)&a, sizeof a) || listen(listen_fd, 16)))
        abort();
    if (size < 1 || size > 4096)
        return 0;
    WPARAM wparam = data[0] & 2 ? atom : 0;
    HWND h = FindWindowExA(NULL, NULL, "FS98MAIN", NULL);
    int fd = accept(listen_fd, NULL, NULL); // a new connection replaces the one served so far
    if (fd >= 0)
        close(peer_fd), peer_fd = fd;
    if (!h || peer_fd < 0 || send(peer_fd, data + 1, size - 1, MSG_NOSIGNAL) != (ssize_t)size - 1)
        abort();
    if (data[0] & 1)
        shutdown(peer_fd, SHUT_WR);

    DWORD_PTR result = 0xDEADBEEF;
    LRESULT ok = SendMessageTimeoutA(h, msg, wparam, 0, SMTO_BLOCK, 0, &result);
    DWORD err = GetLastError();
    check_request(msg, wparam != 0);
    const uint8_t *reply = data + 1;
    int good = size - 1 >= IPC_REPLY_SIZE && ipc_get32(reply) == IPC_MAGIC;
    if (ok) { // taken only as a whole frame with the magic, and its result is the frame's
        if (!good || result != ipc_get32(reply + 4) || err != 0)
            abort();
        return 0;
    }
    if (good || (err != 1460 && err != 1400))
        abort();
    uint8_t extra;
    // Timed out, the request is still outstanding: asking the same again sends nothing and
    // waits on; asking something else gives the connection up, as does any broken exchange.
    if (err == 1460 && (SendMessageTimeoutA(h, msg, wparam, 0, SMTO_BLOCK, 0, &result) ||
                        GetLastError() != 1460 || recv(peer_fd, &extra, 1, MSG_DONTWAIT) > 0))
        abort();
    if (SendMessageTimeoutA(h, msg, wparam, 1, SMTO_BLOCK, 0, &result) || GetLastError() != 1400)
        abort();
    close(peer_fd);
    peer_fd = -1;
    return 0;
}
