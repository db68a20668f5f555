// The transport's server against peers that mean harm: a folder it makes itself is private;
// it opens nothing but real blocks of ours named as a client names them (no other names, links,
// pipes, oversized or foreign objects); garbage, overlong, stalled and non-reading
// peers are hung up on or answered zero without holding the client up past its first attempt;
// reconnects leak nothing; and a peer of another user is turned away.
#include "platform/ipc_transport.h"
#include "sim/sim.h"
#include "simlink/simlink.h"
#include "tests/support/testsim.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <string.h>
#include <string>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

const uint32_t probe_offset = 0x4F00; // a free offset the hostile blocks try to write
const size_t request_size = 37;

// A write of 0xEE to probe_offset, then a read of the server's version, then the end marker.
void fill_request(uint8_t *v) {
    memset(v, 0, request_size);
    ipc_put32(v, 2);
    ipc_put32(v + 4, probe_offset);
    ipc_put32(v + 8, 1);
    v[12] = 0xEE;
    ipc_put32(v + 13, 1);
    ipc_put32(v + 17, 0x3304);
    ipc_put32(v + 21, 4);
}

// A shared-memory object by its plain POSIX name, holding the request above.
int make_object(const std::string &name, off_t size) {
    int fd = shm_open(("/" + name).c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    uint8_t req[request_size];
    fill_request(req);
    if (fd >= 0 &&
        (ftruncate(fd, size) != 0 || pwrite(fd, req, sizeof req, 0) != (ssize_t)sizeof req)) {
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

int count_entries(const char *dir, const std::string &prefix) {
    int n = 0;
    DIR *d = opendir(dir);
    struct dirent *e;
    while (d && (e = readdir(d)))
        n += strncmp(e->d_name, prefix.c_str(), prefix.size()) == 0;
    if (d)
        closedir(d);
    return n;
}

size_t frame(uint8_t *f, uint32_t msg, const std::string &name, uint32_t magic = IPC_MAGIC) {
    ipc_put32(f, magic);
    ipc_put32(f + 4, msg);
    ipc_put32(f + 8, 0xC001);
    ipc_put32(f + 12, 0);
    ipc_put16(f + 16, (uint16_t)name.size());
    memcpy(f + IPC_REQUEST_HEADER, name.data(), name.size());
    return IPC_REQUEST_HEADER + name.size();
}

int dial(const std::string &path, int timeout_s = 0) {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    struct sockaddr_un a;
    memset(&a, 0, sizeof a);
    a.sun_family = AF_UNIX;
    snprintf(a.sun_path, sizeof a.sun_path, "%s", path.c_str());
    struct timeval tv = {timeout_s, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    if (connect(fd, (struct sockaddr *)&a, sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

const uint32_t msg = ipc_message_number("FsasmLib:IPC");

struct HostileServer : ::testing::Test {
    std::string prefix; // "FsasmLib:IPC:<pid>:"
    std::vector<std::string> made;

    void SetUp() override {
        testsleep_record();
        FSUIPC_Close();
        testsim_start();
        prefix = "FsasmLib:IPC:" + [] {
            char p[16];
            snprintf(p, sizeof p, "%X", (unsigned)getpid());
            return std::string(p);
        }() + ":";
    }
    void TearDown() override {
        FSUIPC_Close();
        testsim_stop();
        testsleep_real();
        for (const std::string &name : made)
            unlink(("/dev/shm/" + name).c_str());
    }
    std::string sock() {
        return std::string(testsim_dir()) + "/FS98MAIN.sock";
    }
    int connect_raw(void) {
        int fd = dial(sock());
        EXPECT_GE(fd, 0);
        return fd;
    }
    // One request; the reply's result, -1 when the server hung up, -2 after 5 s of silence.
    long request(int fd, const std::string &name, uint32_t m = msg, uint32_t magic = IPC_MAGIC) {
        uint8_t f[IPC_REQUEST_HEADER + IPC_NAME_MAX];
        size_t n = frame(f, m, name, magic);
        if (send(fd, f, n, MSG_NOSIGNAL) != (ssize_t)n)
            return -1;
        uint8_t r[IPC_REPLY_SIZE];
        for (size_t got = 0; got < sizeof r;) {
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
    // True when the server closes the connection within five seconds.
    bool hung_up(int fd) {
        uint8_t b[4096];
        struct pollfd p = {fd, POLLIN, 0};
        while (poll(&p, 1, 5000) > 0)
            if (recv(fd, b, sizeof b, 0) <= 0)
                return true;
        return false;
    }
    // A client exchange goes through (at its first attempt, with no retry pause, if asked).
    void client_served(bool at_once = true) {
        DWORD rc;
        uint16_t com1 = 0;
        if (!FSUIPC_Read(0x034E, 2, &com1, &rc)) {
            ASSERT_TRUE(FSUIPC_Open(0, &rc)) << rc;
            ASSERT_TRUE(FSUIPC_Read(0x034E, 2, &com1, &rc));
        }
        testsleep_clear();
        ASSERT_TRUE(FSUIPC_Process(&rc)) << rc;
        EXPECT_EQ(com1, 0x1800);
        if (at_once) {
            EXPECT_TRUE(testsleep_pauses().empty()) << "the exchange needed another attempt";
        }
    }
};

TEST_F(HostileServer, AFolderTheServerMakesIsPrivateWhateverTheUmask) {
    testsim_stop();
    char parent[] = "/tmp/valdora-proof-XXXXXX";
    ASSERT_TRUE(mkdtemp(parent));
    std::string dir = std::string(parent) + "/ipc", path = dir + "/UIPCMAIN.sock";
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
    ASSERT_EQ(lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    sim_server_close(&s);
    EXPECT_NE(lstat(path.c_str(), &st), 0) << "the socket is removed";

    // A file that is not a socket in the socket's place is never removed nor served over.
    int f = open(path.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(f, 0);
    close(f);
    EXPECT_EQ(sim_server_open(&s, "UIPCMAIN"), -1);
    EXPECT_EQ(lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    unlink(path.c_str());
    if (geteuid() == 0) { // a folder of somebody else is not used
        ASSERT_EQ(chown(dir.c_str(), 65534, 65534), 0);
        EXPECT_EQ(sim_server_open(&s, "UIPCMAIN"), -1);
    }
    rmdir(dir.c_str());
    rmdir(parent);
    testsim_start();
}

TEST_F(HostileServer, MistakenRequestsAreAnsweredZero) {
    int fd = connect_raw();
    std::string missing = prefix + "ABCDEF";
    EXPECT_EQ(request(fd, missing, msg + 1), 0); // not our message
    for (const std::string &name :
         {std::string(), std::string("FsasmLib:IPC:1:zz"), std::string("../../etc/passwd"),
          std::string("FsasmLib:IPC:1:1\0", 17), missing})
        EXPECT_EQ(request(fd, name), 0) << name;

    // A block too small to hold even an end marker.
    HANDLE h =
        CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, 2, missing.c_str());
    ASSERT_NE(h, (HANDLE)NULL);
    EXPECT_EQ(request(fd, missing), 0);
    CloseHandle(h);
    close(fd);
}

TEST_F(HostileServer, OnlyRealBlocksNamedAsAClientNamesThemAreOpened) {
    int fd = connect_raw();
    const struct {
        std::string name;
        off_t size;
    } refused[] = {
        {"valdora-proof-" + std::to_string(getpid()), 0x8000}, // no block name at all
        {prefix + "1x", 0x8000},                               // something after the numbers
        {prefix + "123456789", 0x8000},                        // nine digits
        {prefix + "F0", SIM_BLOCK_MAX + 1},                    // larger than any block
    };
    for (const auto &c : refused) {
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
    if (geteuid() == 0) { // a block of another user, which root could open
        int foreign = make_object(prefix + "F4", 0x8000);
        ASSERT_GE(foreign, 0);
        made.push_back(prefix + "F4");
        ASSERT_EQ(fchown(foreign, 65534, 65534), 0);
        EXPECT_EQ(request(fd, prefix + "F4"), 0);
        EXPECT_TRUE(untouched(foreign));
        close(foreign);
    }
    EXPECT_EQ(testsim_get(probe_offset, 1), 0u) << "no refused block wrote anything";

    // The real block by its own name, on the same connection, is carried out.
    EXPECT_EQ(request(fd, prefix + "F1"), 1);
    EXPECT_FALSE(untouched(real));
    EXPECT_EQ(testsim_get(probe_offset, 1), 0xEEu);
    close(real);
    close(fd);
}

TEST_F(HostileServer, GarbageOverlongAndStalledPeersAreHungUpOn) {
    int junk = connect_raw();
    EXPECT_EQ(request(junk, "x", 1, 0xDEADBEEF), -1);
    close(junk);

    int overlong = connect_raw();
    uint8_t f[IPC_REQUEST_HEADER];
    frame(f, msg, "");
    ipc_put16(f + 16, 300);
    send(overlong, f, sizeof f, MSG_NOSIGNAL);
    EXPECT_TRUE(hung_up(overlong));
    close(overlong);

    int stalled = connect_raw();
    uint8_t half[10] = {0x56, 0x49, 0x50, 0x43, 1, 2, 3};
    send(stalled, half, sizeof half, MSG_NOSIGNAL); // half a header, then nothing
    client_served(false);
    client_served(false);
    EXPECT_TRUE(hung_up(stalled)); // once its time to finish the frame is over
    close(stalled);
    client_served(false);
}

TEST_F(HostileServer, ReconnectsLeakNeitherDescriptorsNorBlocks) {
    client_served(false);
    FSUIPC_Close();
    int baseline = count_entries("/proc/self/fd", "");
    for (int cycle = 0; cycle < 60; cycle++) {
        DWORD rc;
        ASSERT_TRUE(FSUIPC_Open(0, &rc)) << rc;
        client_served(false);
        if (cycle % 3 == 0) { // the server goes away under an open link, and comes back
            testsim_stop();
            uint16_t w;
            ASSERT_TRUE(FSUIPC_Read(0x034E, 2, &w, &rc));
            EXPECT_FALSE(FSUIPC_Process(&rc));
            EXPECT_EQ(rc, 12u);
            testsim_start();
        }
        FSUIPC_Close();
        EXPECT_EQ(count_entries("/dev/shm", prefix), 0) << "cycle " << cycle;
    }
    EXPECT_EQ(count_entries("/proc/self/fd", ""), baseline);
}

TEST_F(HostileServer, APeerThatNeverReadsItsRepliesIsDropped) {
    int fd = dial(sock(), 5);
    uint8_t f[IPC_REQUEST_HEADER + 8];
    size_t n = frame(f, msg + 1, "x"); // each answered 0
    int sent = 0;
    bool dropped = false;
    for (; sent < 200000 && !dropped; sent++) {
        dropped = send(fd, f, n, MSG_NOSIGNAL) != (ssize_t)n;
        if (sent % 1000 == 0)
            client_served();
    }
    EXPECT_TRUE(dropped) << "still connected after " << sent << " unread replies";
    client_served();
    close(fd);
}

TEST_F(HostileServer, APeerOfAnotherUserIsTurnedAway) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    // Let anybody reach the socket, so the server's own check is what decides.
    ASSERT_EQ(chmod(testsim_dir(), 0755), 0);
    ASSERT_EQ(chmod(sock().c_str(), 0666), 0);
    int pipefd[2];
    ASSERT_EQ(pipe(pipefd), 0);
    pid_t child = fork();
    if (child == 0) { // as nobody: 0 could not connect, 1 served, 2 hung up on
        char answered = 0;
        int fd = setgid(65534) == 0 && setuid(65534) == 0 ? dial(sock()) : -1;
        if (fd >= 0) {
            uint8_t f[IPC_REQUEST_HEADER + 8], r[IPC_REPLY_SIZE];
            send(fd, f, frame(f, 1, "x"), MSG_NOSIGNAL);
            struct pollfd p = {fd, POLLIN, 0};
            answered =
                poll(&p, 1, 5000) > 0 && recv(fd, r, sizeof r, 0) == (ssize_t)sizeof r ? 1 : 2;
        }
        _exit(write(pipefd[1], &answered, 1) != 1);
    }
    close(pipefd[1]);
    char answered = 0;
    ASSERT_EQ(read(pipefd[0], &answered, 1), 1);
    close(pipefd[0]);
    waitpid(child, NULL, 0);
    chmod(sock().c_str(), 0600);
    chmod(testsim_dir(), 0700);
    EXPECT_EQ(answered, 2) << "0: could not connect, 1: was served";
    client_served();
}

} // namespace
