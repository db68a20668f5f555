// The transport's server against peers that mean harm, beyond the garbage, overlong and
// stalled peers of test_simlink_transport: a folder it makes itself is private; it opens
// nothing but real blocks of ours named as a client names them (no other names, links, pipes,
// oversized or foreign objects); a peer that never reads its replies is dropped; a peer that
// floods requests as fast as it can (by the rules, or hundreds ahead of its answers) does not
// hold the client up past its first attempt; and a peer of another user is turned away.
#include "platform/ipc_transport.h"
#include "sim/sim.h"
#include "simlink/simlink.h"
#include "tests/support/testsim.h"

#include <atomic>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <string.h>
#include <string>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const uint32_t probe_offset = 0x4F00; // a free offset the hostile blocks try to write

// A write of 0xEE to probe_offset, then a read of the server's version, then the end marker.
void fill_request(uint8_t *v) {
    ipc_put32(v, 2);
    ipc_put32(v + 4, probe_offset);
    ipc_put32(v + 8, 1);
    v[12] = 0xEE;
    ipc_put32(v + 13, 1);
    ipc_put32(v + 17, 0x3304);
    ipc_put32(v + 21, 4);
    ipc_put32(v + 25, 0);
    ipc_put32(v + 29, 0); // the read's data
    ipc_put32(v + 33, 0); // end marker
}
const size_t request_size = 37;

// A shared-memory object by its plain POSIX name, holding the request above.
int make_object(const std::string &name, off_t size) {
    int fd = shm_open(("/" + name).c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    if (fd < 0)
        return -1;
    if (ftruncate(fd, size) != 0) {
        close(fd);
        return -1;
    }
    uint8_t req[request_size];
    fill_request(req);
    if (pwrite(fd, req, sizeof req, 0) != (ssize_t)sizeof req) {
        close(fd);
        return -1;
    }
    return fd;
}

// The request's bytes are still as written (the server carried nothing out in it).
bool untouched(int fd) {
    uint8_t now[request_size], req[request_size];
    fill_request(req);
    return pread(fd, now, sizeof now, 0) == (ssize_t)sizeof now &&
           memcmp(now, req, sizeof now) == 0;
}

struct HostileServer : ::testing::Test {
    std::string prefix; // "FsasmLib:IPC:<pid>:"
    std::vector<std::string> made;

    void SetUp() override {
        testsleep_record();
        FSUIPC_Close();
        testsim_start();
        char p[64];
        snprintf(p, sizeof p, "FsasmLib:IPC:%X:", (unsigned)getpid());
        prefix = p;
    }
    void TearDown() override {
        FSUIPC_Close();
        testsim_stop();
        testsleep_real();
        for (const std::string &name : made)
            unlink(("/dev/shm/" + name).c_str());
    }
    int connect_raw(void) {
        int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        struct sockaddr_un a;
        memset(&a, 0, sizeof a);
        a.sun_family = AF_UNIX;
        snprintf(a.sun_path, sizeof a.sun_path, "%s/FS98MAIN.sock", testsim_dir());
        EXPECT_EQ(connect(fd, (struct sockaddr *)&a, sizeof a), 0);
        return fd;
    }
    static size_t frame(uint8_t *f, uint32_t msg, const std::string &name) {
        ipc_put32(f, IPC_MAGIC);
        ipc_put32(f + 4, msg);
        ipc_put32(f + 8, 0xC001);
        ipc_put32(f + 12, 0);
        ipc_put16(f + 16, (uint16_t)name.size());
        memcpy(f + IPC_REQUEST_HEADER, name.data(), name.size());
        return IPC_REQUEST_HEADER + name.size();
    }
    // One request; the reply's result, -1 when the server hung up, -2 after 5 s of silence.
    long request(int fd, const std::string &name) {
        uint8_t f[IPC_REQUEST_HEADER + IPC_NAME_MAX];
        size_t n = frame(f, ipc_message_number("FsasmLib:IPC"), name);
        if (send(fd, f, n, MSG_NOSIGNAL) != (ssize_t)n)
            return -1;
        uint8_t r[IPC_REPLY_SIZE];
        size_t got = 0;
        while (got < sizeof r) {
            struct pollfd p = {fd, POLLIN, 0};
            if (poll(&p, 1, 5000) <= 0)
                return -2;
            ssize_t k = recv(fd, r + got, sizeof r - got, 0);
            if (k <= 0)
                return -1;
            got += (size_t)k;
        }
        return ipc_get32(r) == IPC_MAGIC ? (long)ipc_get32(r + 4) : -3;
    }
    bool hung_up(int fd) {
        uint8_t b[4096];
        struct pollfd p = {fd, POLLIN, 0};
        while (poll(&p, 1, 5000) > 0) {
            ssize_t k = recv(fd, b, sizeof b, 0);
            if (k <= 0)
                return true;
        }
        return false;
    }
    // The client's exchange goes through at its first attempt (no retry pause recorded).
    void client_served_at_once(void) {
        DWORD rc;
        uint16_t com1 = 0;
        if (!FSUIPC_Read(0x034E, 2, &com1, &rc)) {
            ASSERT_TRUE(FSUIPC_Open(0, &rc)) << rc;
            ASSERT_TRUE(FSUIPC_Read(0x034E, 2, &com1, &rc));
        }
        testsleep_clear();
        ASSERT_TRUE(FSUIPC_Process(&rc)) << rc;
        EXPECT_EQ(com1, 0x1800);
        EXPECT_TRUE(testsleep_pauses().empty()) << "the exchange needed another attempt";
    }
};

TEST_F(HostileServer, AFolderTheServerMakesIsPrivateWhateverTheUmask) {
    testsim_stop();
    char parent[] = "/tmp/valdora-proof-XXXXXX";
    ASSERT_TRUE(mkdtemp(parent));
    std::string dir = std::string(parent) + "/ipc";
    setenv("VALDORA_IPC_DIR", dir.c_str(), 1);
    mode_t old = umask(0);
    static sim_server s;
    s.carry_out = NULL;
    int rc = sim_server_open(&s, "UIPCMAIN");
    umask(old);
    ASSERT_EQ(rc, 0);
    struct stat st;
    ASSERT_EQ(stat(dir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(lstat((dir + "/UIPCMAIN.sock").c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    sim_server_close(&s);
    EXPECT_NE(lstat((dir + "/UIPCMAIN.sock").c_str(), &st), 0) << "the socket is removed";

    // A file that is not a socket in the socket's place is never removed nor served over.
    int f = open((dir + "/UIPCMAIN.sock").c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(f, 0);
    close(f);
    EXPECT_EQ(sim_server_open(&s, "UIPCMAIN"), -1);
    EXPECT_EQ(lstat((dir + "/UIPCMAIN.sock").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    unlink((dir + "/UIPCMAIN.sock").c_str());

    if (geteuid() == 0) {
        // A folder of somebody else is not used (root may prepare one to try it).
        ASSERT_EQ(chown(dir.c_str(), 65534, 65534), 0);
        EXPECT_EQ(sim_server_open(&s, "UIPCMAIN"), -1);
    }
    rmdir(dir.c_str());
    rmdir(parent);
    testsim_start();
}

TEST_F(HostileServer, OnlyRealBlocksNamedAsAClientNamesThemAreOpened) {
    int fd = connect_raw();
    struct Case {
        std::string name;
        off_t size;
    };
    const std::vector<Case> refused = {
        {"valdora-proof-" + std::to_string(getpid()), 0x8000}, // no block name at all
        {prefix + "1x", 0x8000},                               // something after the numbers
        {prefix + "123456789", 0x8000},                        // nine digits
        {prefix + "F0", SIM_BLOCK_MAX + 1},                    // larger than any block
    };
    for (const Case &c : refused) {
        int obj = make_object(c.name, c.size);
        ASSERT_GE(obj, 0) << c.name;
        made.push_back(c.name);
        EXPECT_EQ(request(fd, c.name), 0) << c.name;
        EXPECT_TRUE(untouched(obj)) << c.name;
        close(obj);
    }

    // A link named like a block, pointing at a real block: not followed.
    int real = make_object(prefix + "F1", 0x8000);
    ASSERT_GE(real, 0);
    made.push_back(prefix + "F1");
    ASSERT_EQ(symlink(("/dev/shm/" + prefix + "F1").c_str(), ("/dev/shm/" + prefix + "F2").c_str()),
              0);
    made.push_back(prefix + "F2");
    EXPECT_EQ(request(fd, prefix + "F2"), 0);
    EXPECT_TRUE(untouched(real));

    // A pipe named like a block: answered at once, the server does not wait on it.
    ASSERT_EQ(mkfifo(("/dev/shm/" + prefix + "F3").c_str(), 0600), 0);
    made.push_back(prefix + "F3");
    EXPECT_EQ(request(fd, prefix + "F3"), 0);

    if (geteuid() == 0) {
        // A block of another user, which root could open: not ours, so not carried out.
        int foreign = make_object(prefix + "F4", 0x8000);
        ASSERT_GE(foreign, 0);
        made.push_back(prefix + "F4");
        ASSERT_EQ(fchown(foreign, 65534, 65534), 0);
        EXPECT_EQ(request(fd, prefix + "F4"), 0);
        EXPECT_TRUE(untouched(foreign));
        close(foreign);
    }
    EXPECT_EQ(testsim_get(probe_offset, 1), 0u) << "no refused block wrote anything";

    // The real block by its own name is carried out (so the refusals above were not chance).
    EXPECT_EQ(request(fd, prefix + "F1"), 1);
    EXPECT_FALSE(untouched(real));
    EXPECT_EQ(testsim_get(probe_offset, 1), 0xEEu);
    close(real);
    close(fd);
}

TEST_F(HostileServer, APeerThatNeverReadsItsRepliesIsDropped) {
    int fd = connect_raw();
    uint8_t f[IPC_REQUEST_HEADER + 8];
    size_t n = frame(f, ipc_message_number("FsasmLib:IPC") + 1, "x"); // each answered 0
    struct timeval tv = {5, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    int sent = 0;
    bool dropped = false;
    for (; sent < 200000 && !dropped; sent++) {
        if (send(fd, f, n, MSG_NOSIGNAL) != (ssize_t)n)
            dropped = true;
        if (sent % 1000 == 0)
            client_served_at_once();
    }
    EXPECT_TRUE(dropped) << "still connected after " << sent << " unread replies";
    client_served_at_once();
    close(fd);
}

TEST_F(HostileServer, FloodingPeersDoNotHoldTheClientUp) {
    std::atomic<int> stop(0);
    std::atomic<long> answered(0), dropped(0);
    std::string path = std::string(testsim_dir()) + "/FS98MAIN.sock";
    auto dial = [&path]() {
        int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        struct sockaddr_un a;
        memset(&a, 0, sizeof a);
        a.sun_family = AF_UNIX;
        snprintf(a.sun_path, sizeof a.sun_path, "%s", path.c_str());
        struct timeval tv = {5, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
        if (connect(fd, (struct sockaddr *)&a, sizeof a) != 0) {
            close(fd);
            return -1;
        }
        return fd;
    };
    uint8_t f[IPC_REQUEST_HEADER + 8];
    size_t n = frame(f, ipc_message_number("FsasmLib:IPC") + 1, "x"); // each answered 0
    std::vector<std::thread> peers;
    // Three peers that ask as fast as they can, each waiting for its answer as a client does.
    for (int k = 0; k < 3; k++)
        peers.emplace_back([&] {
            int fd = dial();
            uint8_t r[IPC_REPLY_SIZE];
            while (fd >= 0 && !stop.load()) {
                if (send(fd, f, n, MSG_NOSIGNAL) != (ssize_t)n ||
                    recv(fd, r, sizeof r, MSG_WAITALL) != (ssize_t)sizeof r)
                    break;
                answered++;
            }
            if (fd >= 0)
                close(fd);
        });
    // One that sends hundreds of requests ahead of their answers, against the rules; the server
    // hangs up on it once an answer cannot be sent, and it comes back at once.
    peers.emplace_back([&] {
        std::vector<uint8_t> burst;
        for (int i = 0; i < 64; i++)
            burst.insert(burst.end(), f, f + n);
        while (!stop.load()) {
            int fd = dial();
            while (fd >= 0 && !stop.load())
                if (send(fd, burst.data(), burst.size(), MSG_NOSIGNAL) < 0)
                    break;
            if (fd >= 0)
                close(fd);
            dropped++;
        }
    });
    // Once the flood is being served, forty exchanges of the client go on beside it, each
    // answered at its first attempt.
    for (int i = 0; i < 20000 && answered.load() < 100; i++)
        client_served_at_once();
    long before = answered.load();
    for (int i = 0; i < 40; i++)
        client_served_at_once();
    long after = answered.load();
    stop = 1;
    for (std::thread &t : peers)
        t.join();
    EXPECT_GE(before, 100) << "the flood was never served";
    EXPECT_GT(after, before) << "the flood was not served beside the client";
    EXPECT_GE(dropped.load(), 1) << "the peer far ahead of its answers was never hung up on";
}

TEST_F(HostileServer, APeerOfAnotherUserIsTurnedAway) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    // Let anybody reach the socket for this test, so the server's own check is what decides.
    ASSERT_EQ(chmod(testsim_dir(), 0755), 0);
    std::string sock = std::string(testsim_dir()) + "/FS98MAIN.sock";
    ASSERT_EQ(chmod(sock.c_str(), 0666), 0);
    int pipefd[2];
    ASSERT_EQ(pipe(pipefd), 0);
    pid_t child = fork();
    if (child == 0) {
        // As nobody: connect, send a request, report 1 when the server answered it.
        char answered = 0;
        if (setgid(65534) == 0 && setuid(65534) == 0) {
            int fd = socket(AF_UNIX, SOCK_STREAM, 0);
            struct sockaddr_un a;
            memset(&a, 0, sizeof a);
            a.sun_family = AF_UNIX;
            snprintf(a.sun_path, sizeof a.sun_path, "%s", sock.c_str());
            if (connect(fd, (struct sockaddr *)&a, sizeof a) == 0) {
                uint8_t f[IPC_REQUEST_HEADER + 8];
                size_t n = frame(f, 1, "x");
                send(fd, f, n, MSG_NOSIGNAL);
                struct pollfd p = {fd, POLLIN, 0};
                uint8_t r[IPC_REPLY_SIZE];
                if (poll(&p, 1, 5000) > 0 && recv(fd, r, sizeof r, 0) == (ssize_t)sizeof r)
                    answered = 1;
                else
                    answered = 2; // connected but hung up on: turned away
            }
        }
        if (write(pipefd[1], &answered, 1) != 1)
            _exit(1);
        _exit(0);
    }
    close(pipefd[1]);
    char answered = 0;
    ASSERT_EQ(read(pipefd[0], &answered, 1), 1);
    close(pipefd[0]);
    int status = 0;
    waitpid(child, &status, 0);
    chmod(sock.c_str(), 0600);
    chmod(testsim_dir(), 0700);
    EXPECT_EQ(answered, 2) << "0: could not connect, 1: was served";
    client_served_at_once();
}

} // namespace
