// The stand-in simulator's server against peers that mean harm: it opens only real blocks of
// ours named as a client names them, garbage, stalled and non-reading peers hold nobody up, and
// another user is turned away.
#include "platform/ipc_transport.h"
#include "sim/sim.h"
#include "simlink/simlink.h"
#include "tests/support/testsim.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const uint32_t msg = ipc_message_number("FsasmLib:IPC");

int dial(void) {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    struct timeval tv = {5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    struct sockaddr_un a = {AF_UNIX, {}};
    snprintf(a.sun_path, sizeof a.sun_path, "%s/FS98MAIN.sock", getenv("VALDORA_IPC_DIR"));
    return connect(fd, (struct sockaddr *)&a, sizeof a) == 0 ? fd : -1;
}

// Sends one request frame; the reply's result, -1 when hung up on, -2 after 5 s of silence.
long request(int fd, const std::string &name, uint32_t m = msg, uint32_t magic = IPC_MAGIC) {
    uint8_t f[IPC_REQUEST_HEADER + IPC_NAME_MAX], r[IPC_REPLY_SIZE];
    ipc_put32(f, magic), ipc_put32(f + 4, m), ipc_put32(f + 8, 0xC001), ipc_put32(f + 12, 0);
    ipc_put16(f + 16, (uint16_t)name.size());
    memcpy(f + IPC_REQUEST_HEADER, name.data(), name.size());
    send(fd, f, IPC_REQUEST_HEADER + name.size(), MSG_NOSIGNAL);
    ssize_t n = recv(fd, r, sizeof r, MSG_WAITALL);
    return n == sizeof r ? (long)ipc_get32(r + 4) : n < 0 && errno == EAGAIN ? -2 : -1;
}

bool hung_up(int fd) { // within 5 s
    uint8_t b;
    ssize_t n = recv(fd, &b, 1, 0);
    return n == 0 || (n < 0 && errno != EAGAIN);
}

struct HostilePeers : ::testing::Test {
    std::string prefix = "FsasmLib:IPC:" + [] {
        char p[16];
        snprintf(p, sizeof p, "%X:", (unsigned)getpid());
        return std::string(p);
    }();
    void SetUp() override {
        testsleep_record();
        testsim_start();
    }
    void TearDown() override {
        FSUIPC_Close();
        testsim_stop();
        testsleep_real();
    }
    // An object by its plain POSIX name, holding a write of 0xEE to 0x4F00.
    int make(const std::string &name, off_t size) {
        int fd = shm_open(("/" + name).c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
        const uint8_t b[20] = {2, 0, 0, 0, 0x00, 0x4F, 0, 0, 4, 0, 0, 0, 0xEE}; // write, end
        ssize_t n = size < 20 ? size : 20;
        EXPECT_TRUE(fd >= 0 && ftruncate(fd, size) == 0 && pwrite(fd, b, n, 0) == n);
        return fd;
    }
    void client_served(void) { // at its first attempt
        DWORD rc;
        uint16_t com1 = 0;
        if (!FSUIPC_Read(0x034E, 2, &com1, &rc)) {
            ASSERT_TRUE(FSUIPC_Open(0, &rc) && FSUIPC_Read(0x034E, 2, &com1, &rc));
        }
        testsleep_clear();
        ASSERT_TRUE(FSUIPC_Process(&rc)) << rc;
        EXPECT_EQ(com1, 0x1800);
        EXPECT_TRUE(testsleep_pauses().empty());
    }
};

TEST_F(HostilePeers, OnlyRealBlocksOfOursNamedAsAClientNamesThemAreOpened) {
    int fd = dial(), real = make(prefix + "F9", 0x8000);
    EXPECT_EQ(request(fd, prefix + "F9", msg + 1), 0); // not our message
    for (const std::string &name :
         std::vector<std::string>{"", "FsasmLib:IPC:1:zz", "../../etc/passwd",
                                  std::string("FsasmLib:IPC:1:1\0", 17), prefix + "A"})
        EXPECT_EQ(request(fd, name), 0) << name; // bad names, and one that is missing
    const struct {
        std::string name;
        off_t size;
        int how; // 0 plain, 1 a link to the real block, 2 a pipe, 3 another user's
    } refused[] = {{"valdora-proof-" + std::to_string(getpid()), 0x8000, 0},
                   {prefix + "1x", 0x8000, 0},
                   {prefix + "123456789", 0x8000, 0},
                   {prefix + "F0", SIM_BLOCK_MAX + 1, 0},
                   {prefix + "F1", 2, 0},
                   {prefix + "F2", 0, 1},
                   {prefix + "F3", 0, 2},
                   {prefix + "F4", 0x8000, 3}};
    for (const auto &c : refused) {
        std::string path = "/dev/shm/" + c.name;
        if (c.how == 0 || c.how == 3)
            close(make(c.name, c.size));
        ASSERT_EQ(c.how == 1   ? symlink(("/dev/shm/" + prefix + "F9").c_str(), path.c_str())
                  : c.how == 2 ? mkfifo(path.c_str(), 0600)
                               : 0,
                  0);
        // Only root can make another user's block.
        bool ready = c.how != 3 || (geteuid() == 0 && chown(path.c_str(), 65534, 65534) == 0);
        EXPECT_EQ(ready ? request(fd, c.name) : 0, 0) << c.name;
        unlink(path.c_str());
    }
    EXPECT_EQ(testsim_get(0x4F00, 1), 0u) << "no refused block wrote anything";
    EXPECT_EQ(request(fd, prefix + "F9"), 1); // the real one, on the same connection
    EXPECT_EQ(testsim_get(0x4F00, 1), 0xEEu);
    close(real);
    shm_unlink(("/" + prefix + "F9").c_str());
    close(fd);
}

TEST_F(HostilePeers, GarbageStalledAndNonReadingPeersHoldNobodyUp) {
    int junk = dial(), stalled = dial(), deaf = dial();
    EXPECT_EQ(request(junk, "x", msg, 0xDEADBEEF), -1);
    uint8_t half[10] = {0x56, 0x49, 0x50, 0x43, 1, 2, 3};
    send(stalled, half, sizeof half, MSG_NOSIGNAL); // half a header, then nothing
    client_served();
    EXPECT_TRUE(hung_up(stalled)) << "once its time to finish the frame is over";
    uint8_t f[IPC_REQUEST_HEADER] = {0x56, 0x49, 0x50, 0x43}; // each answered 0, never read
    int sent = 0;
    while (sent < 200000 && send(deaf, f, sizeof f, MSG_NOSIGNAL) == sizeof f)
        if (++sent % 5000 == 0)
            client_served();
    EXPECT_LT(sent, 200000) << "a peer that never reads its replies is dropped";
    client_served();
    close(junk), close(stalled), close(deaf);
}

TEST_F(HostilePeers, APeerOfAnotherUserIsTurnedAway) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    ASSERT_EQ(chmod(getenv("VALDORA_IPC_DIR"), 0755),
              0); // anybody may reach the socket: the server decides
    ASSERT_EQ(chmod((std::string(getenv("VALDORA_IPC_DIR")) + "/FS98MAIN.sock").c_str(), 0666), 0);
    pid_t child = fork();
    if (child == 0) // as nobody: exit 0 when hung up on
        _exit(setgid(65534) || setuid(65534) || request(dial(), "x") != -1);
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
    client_served();
}

} // namespace
