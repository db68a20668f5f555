// Fuzz target: the server's request reader. Each input is what one hostile peer sends on a
// fresh connection, cut into pieces that arrive between the server's poll rounds. The server
// runs in this thread; whatever it answers must be whole reply frames of 0 or 1, and it must
// keep its count of connections. It carries out only this target's own block: any other
// name, even a valid one of some program running on the machine, is answered 0 untouched.
//
// Input: byte 0 the size of the pieces (0: all at once), then the bytes the peer sends.
#include "platform/ipc_transport.h"
#include "platform/platform.h"
#include "sim/sim.h"

#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

static sim_server server;
static char folder[64];
static char block_name[64];
static HANDLE block_map;

static int own_block_only(const char *name, uint8_t *block, size_t size) {
    if (strcmp(name, block_name) != 0)
        return 0;
    return sim_carry_out(name, block, size);
}

static void cleanup(void) {
    sim_server_close(&server);
    CloseHandle(block_map);
    rmdir(folder);
}

// A block of ours with a short genuine request in it (read the server's version), named as a
// client names its blocks; the seed corpus asks for it by the name "FsasmLib:IPC:F022:1".
static void start_once(void) {
    static int ready = 0;
    if (ready)
        return;
    strcpy(folder, "/tmp/valdora-fuzz-frames-XXXXXX");
    if (!mkdtemp(folder))
        abort();
    setenv("VALDORA_IPC_DIR", folder, 1);
    sim_set_log(NULL);
    sim_reset();
    server.carry_out = own_block_only;
    if (sim_server_open(&server, "FS98MAIN") == -1)
        abort();
    snprintf(block_name, sizeof block_name, "FsasmLib:IPC:F022:%X", (unsigned)getpid());
    block_map = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, 64, block_name);
    uint8_t *view = (uint8_t *)MapViewOfFile(block_map, FILE_MAP_WRITE, 0, 0, 0);
    if (!view)
        abort();
    const uint8_t request[20] = {1, 0, 0, 0, 0x04, 0x33, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0};
    memcpy(view, request, sizeof request);
    UnmapViewOfFile(view);
    atexit(cleanup);
    ready = 1;
}

// The seeds name "FsasmLib:IPC:F022:1"; the block of this run carries the process id instead,
// so the first such name in the input (with its length right before it) is put right before
// it is sent. Returns the new length of the bytes (out has room for 256 more).
static size_t rename_block(const uint8_t *in, size_t size, uint8_t *out) {
    static const char seed_name[] = "FsasmLib:IPC:F022:1";
    size_t n = sizeof seed_name - 1;
    size_t own = strlen(block_name);
    for (size_t i = 2; i + n <= size; i++) {
        if (in[i - 2] == n && in[i - 1] == 0 && memcmp(in + i, seed_name, n) == 0) {
            memcpy(out, in, i - 2);
            out[i - 2] = (uint8_t)own;
            out[i - 1] = 0;
            memcpy(out + i, block_name, own);
            memcpy(out + i + own, in + i + n, size - i - n);
            return size - n + own;
        }
    }
    memcpy(out, in, size);
    return size;
}

static int connect_peer(void) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    struct sockaddr_un a;
    memset(&a, 0, sizeof a);
    a.sun_family = AF_UNIX;
    snprintf(a.sun_path, sizeof a.sun_path, "%s", server.path);
    if (fd < 0 || connect(fd, (struct sockaddr *)&a, sizeof a) != 0)
        abort();
    return fd;
}

// Takes every reply waiting for the peer; each must be a whole frame answering 0 or 1.
static void check_replies(int fd, size_t *pending) {
    uint8_t buf[4096];
    for (;;) {
        ssize_t r = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (r <= 0)
            return;
        for (ssize_t i = 0; i < r; i++) {
            size_t at = (*pending)++ % IPC_REPLY_SIZE;
            if (at < 4 && buf[i] != (uint8_t)(IPC_MAGIC >> (8 * at)))
                abort();
            if (at >= 5 && buf[i] != 0)
                abort();
            if (at == 4 && buf[i] > 1)
                abort();
        }
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    start_once();
    if (size < 1)
        return 0;
    size_t piece = data[0] ? data[0] : size;
    uint8_t *bytes = (uint8_t *)malloc(size + 256);
    size_t len = rename_block(data + 1, size - 1, bytes);

    int fd = connect_peer();
    sim_server_poll(&server, 0); // accept
    size_t sent = 0, replied = 0;
    while (sent < len) {
        size_t n = len - sent < piece ? len - sent : piece;
        ssize_t r = send(fd, bytes + sent, n, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (r <= 0)
            break; // the server hung up on us or stopped reading
        sent += (size_t)r;
        sim_server_poll(&server, 0);
        check_replies(fd, &replied);
    }
    sim_server_poll(&server, 0);
    check_replies(fd, &replied);
    if (replied % IPC_REPLY_SIZE)
        abort(); // half a reply
    close(fd);
    sim_server_poll(&server, 0); // the hang-up
    if (server.clients_connected < 0 || server.clients_connected > SIM_SERVER_CLIENTS)
        abort();
    free(bytes);
    return 0;
}
