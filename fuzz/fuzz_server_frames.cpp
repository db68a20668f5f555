// Fuzz target: the server's request reader. Each input is what one hostile peer sends on a
// fresh connection, cut into pieces that arrive between the server's poll rounds. The server
// runs in this thread, in the endpoint folder that fuzz/run.sh gives it; whatever it answers
// must be whole reply frames of 0 or 1, and it must keep its count of connections. It carries
// out only this target's own block (a short genuine request): any other name, even a valid one
// of some program running on the machine, is answered 0 untouched.
//
// Input: byte 0 the size of the pieces (low 7 bits; 0: all at once) and whether a genuine
// request for the target's block goes first (bit 7), then the bytes the peer sends.
#include "platform/ipc_transport.h"
#include "platform/platform.h"
#include "sim/sim.h"

#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

static sim_server server;
static char block_name[64];

static int own_block_only(const char *name, uint8_t *block, size_t size) {
    return strcmp(name, block_name) == 0 ? sim_carry_out(name, block, size) : 0;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    server.carry_out = own_block_only;
    snprintf(block_name, sizeof block_name, "FsasmLib:IPC:F022:%X", (unsigned)getpid());
    HANDLE map = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, 64, block_name);
    uint8_t *view = (uint8_t *)MapViewOfFile(map, FILE_MAP_WRITE, 0, 0, 0);
    if (sim_server_open(&server, "FS98MAIN") == -1 || !view)
        abort();
    const uint8_t request[20] = {1, 0, 0, 0, 0x04, 0x33, 0, 0, 4}; // read the version
    memcpy(view, request, sizeof request);
    sim_set_log(NULL);
    sim_reset();
    return 0;
}

// Takes every reply waiting for the peer; each must be a whole frame answering 0 or 1.
static void check_replies(int fd, size_t *got) {
    uint8_t buf[4096];
    for (ssize_t r; (r = recv(fd, buf, sizeof buf, MSG_DONTWAIT)) > 0;) {
        for (ssize_t i = 0; i < r; i++) {
            size_t at = (*got)++ % IPC_REPLY_SIZE;
            if (at < 4 ? buf[i] != (uint8_t)(IPC_MAGIC >> (8 * at)) : buf[i] > (at == 4))
                abort();
        }
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1)
        return 0;
    std::vector<uint8_t> bytes(IPC_REQUEST_HEADER);
    ipc_put32(&bytes[0], IPC_MAGIC);
    ipc_put32(&bytes[4], server.msg);
    ipc_put16(&bytes[16], (uint16_t)strlen(block_name));
    bytes.insert(bytes.end(), block_name, block_name + strlen(block_name));
    if (!(data[0] & 0x80))
        bytes.clear();
    bytes.insert(bytes.end(), data + 1, data + size);
    size_t piece = data[0] & 0x7F ? data[0] & 0x7F : bytes.size() + 1, sent = 0, replied = 0;

    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    struct sockaddr_un a = {AF_UNIX, {}};
    snprintf(a.sun_path, sizeof a.sun_path, "%s", server.path);
    if (fd < 0 || connect(fd, (struct sockaddr *)&a, sizeof a) != 0)
        abort();
    sim_server_poll(&server, 0); // accept
    while (sent < bytes.size()) {
        size_t n = bytes.size() - sent < piece ? bytes.size() - sent : piece;
        ssize_t r = send(fd, bytes.data() + sent, n, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (r <= 0)
            break; // the server hung up on us or stopped reading
        sent += (size_t)r;
        sim_server_poll(&server, 0);
        check_replies(fd, &replied);
    }
    sim_server_poll(&server, 0);
    check_replies(fd, &replied);
    close(fd);
    sim_server_poll(&server, 0); // the hang-up
    if (replied % IPC_REPLY_SIZE || server.clients_connected < 0 ||
        server.clients_connected > SIM_SERVER_CLIENTS)
        abort(); // half a reply, or connections miscounted
    return 0;
}
