// The POSIX transport under the client: message numbers, atoms, shared blocks and their
// permissions and removal, the endpoint folder, descriptors over many reconnects, and a server
// that shrugs off garbage, stalled and mistaken peers.
#include "platform/ipc_transport.h"
#include "sim/sim.h"
#include "simlink/simlink.h"
#include "tests/support/testsim.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <string.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

int open_files(void) {
    int n = 0;
    DIR *d = opendir("/proc/self/fd");
    while (d && readdir(d))
        n++;
    if (d)
        closedir(d);
    return n;
}

// Shared blocks of this process still present in /dev/shm.
int our_blocks(void) {
    char prefix[64];
    snprintf(prefix, sizeof prefix, "FsasmLib:IPC:%X:", (unsigned)getpid());
    int n = 0;
    DIR *d = opendir("/dev/shm");
    struct dirent *e;
    while (d && (e = readdir(d)))
        if (strncmp(e->d_name, prefix, strlen(prefix)) == 0)
            n++;
    if (d)
        closedir(d);
    return n;
}

struct Env {
    std::string name;
    bool had;
    std::string old;
    Env(const char *n, const char *value) : name(n) {
        const char *v = getenv(n);
        had = v != NULL;
        old = v ? v : "";
        if (value)
            setenv(n, value, 1);
        else
            unsetenv(n);
    }
    ~Env() {
        if (had)
            setenv(name.c_str(), old.c_str(), 1);
        else
            unsetenv(name.c_str());
    }
};

TEST(Transport, MessageNumbersAreFnv1aFoldedIntoTheRegisteredRange) {
    // Published FNV-1a 32 values: "a" 0xE40C292C, "foobar" 0xBF9CF968.
    EXPECT_EQ(RegisterWindowMessageA("a"), 0xC000u + 0xE40C292Cu % 0x4000u);
    EXPECT_EQ(RegisterWindowMessageA("foobar"), 0xC000u + 0xBF9CF968u % 0x4000u);
    UINT m = RegisterWindowMessageA("FsasmLib:IPC");
    EXPECT_GE(m, 0xC000u);
    EXPECT_LE(m, 0xFFFFu);
    EXPECT_EQ(m, ipc_message_number("FsasmLib:IPC"));
    EXPECT_EQ(RegisterWindowMessageA(""), 0u);
}

TEST(Transport, AtomsAreCountedAndFreed) {
    ATOM a = GlobalAddAtomA("FsasmLib:IPC:1:1");
    ATOM b = GlobalAddAtomA("FsasmLib:IPC:1:2");
    ASSERT_NE(a, 0);
    ASSERT_NE(b, 0);
    EXPECT_NE(a, b);
    EXPECT_EQ(GlobalAddAtomA("FsasmLib:IPC:1:1"), a); // the same text, one more reference
    EXPECT_EQ(GlobalDeleteAtom(a), 0);
    EXPECT_EQ(GlobalDeleteAtom(a), 0);
    EXPECT_EQ(GlobalDeleteAtom(a), a); // gone: deleting again fails
    EXPECT_EQ(GlobalDeleteAtom(b), 0);
    EXPECT_EQ(GlobalAddAtomA(""), 0);
    EXPECT_EQ(GlobalAddAtomA(std::string(256, 'x').c_str()), 0);
}

TEST(Transport, BlocksArePrivateSharedAndRemovedByTheirCreator) {
    char name[64];
    snprintf(name, sizeof name, "FsasmLib:IPC:%X:FFFF0", (unsigned)getpid());
    std::string path = std::string("/dev/shm/") + name;

    HANDLE h = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, 0x8000, name);
    ASSERT_NE(h, (HANDLE)NULL);
    EXPECT_EQ(GetLastError(), 0u);
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(st.st_size, 0x8000);

    // The name taken: a handle to the same object, and the system's "already exists".
    HANDLE again = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, 0x8000, name);
    ASSERT_NE(again, (HANDLE)NULL);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
    uint8_t *v1 = (uint8_t *)MapViewOfFile(h, FILE_MAP_WRITE, 0, 0, 0);
    uint8_t *v2 = (uint8_t *)MapViewOfFile(again, FILE_MAP_WRITE, 0, 0, 0);
    ASSERT_TRUE(v1 && v2);
    v1[0x7FFF] = 0x42;
    EXPECT_EQ(v2[0x7FFF], 0x42);
    EXPECT_TRUE(UnmapViewOfFile(v2));
    EXPECT_FALSE(UnmapViewOfFile(v2));
    EXPECT_TRUE(CloseHandle(again));
    EXPECT_EQ(stat(path.c_str(), &st), 0) << "only the creator removes the name";

    EXPECT_TRUE(UnmapViewOfFile(v1));
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_NE(stat(path.c_str(), &st), 0);
    EXPECT_FALSE(CloseHandle(h));
}

TEST(Transport, ABlockLeftByAKilledProcessOfOurNumberIsTakenOver) {
    // A killed client cannot remove its block; a later process that is given the same
    // process number must still be able to open its link under that name.
    char name[64];
    snprintf(name, sizeof name, "FsasmLib:IPC:%X:FFFF1", (unsigned)getpid());
    std::string path = std::string("/dev/shm/") + name;
    int fd = shm_open((std::string("/") + name).c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 16), 0);
    close(fd);

    HANDLE h = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, 0x8000, name);
    ASSERT_NE(h, (HANDLE)NULL);
    EXPECT_EQ(GetLastError(), 0u) << "a fresh block, not the dead one";
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 0x8000);
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_NE(stat(path.c_str(), &st), 0);

    // Another process's block is never taken over.
    snprintf(name, sizeof name, "FsasmLib:IPC:%X:FFFF1", (unsigned)getpid() + 1);
    path = std::string("/dev/shm/") + name;
    fd = shm_open((std::string("/") + name).c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 16), 0);
    close(fd);
    h = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, 0x8000, name);
    ASSERT_NE(h, (HANDLE)NULL);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
    EXPECT_TRUE(CloseHandle(h));
    shm_unlink((std::string("/") + name).c_str());
}

TEST(Transport, EndpointFolderFollowsTheEnvironment) {
    char dir[IPC_PATH_MAX];
    char tmp[] = "/tmp/valdora-xdg-XXXXXX";
    ASSERT_TRUE(mkdtemp(tmp));
    {
        Env ipc("VALDORA_IPC_DIR", NULL);
        Env xdg("XDG_RUNTIME_DIR", tmp);
        ASSERT_EQ(ipc_endpoint_dir_existing(dir, sizeof dir), -1); // not made by a lookup
        ASSERT_EQ(ipc_endpoint_dir(dir, sizeof dir), 0);
        EXPECT_EQ(std::string(dir), std::string(tmp) + "/valdora");
        struct stat st;
        ASSERT_EQ(stat(dir, &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        rmdir(dir);
    }
    {
        Env ipc("VALDORA_IPC_DIR", NULL);
        Env xdg("XDG_RUNTIME_DIR", NULL);
        ipc_endpoint_dir_existing(dir, sizeof dir);
        EXPECT_EQ(std::string(dir), "/tmp/valdora-" + std::to_string(getuid()));
    }
    {
        Env ipc("VALDORA_IPC_DIR", tmp);
        Env xdg("XDG_RUNTIME_DIR", "/nowhere");
        ASSERT_EQ(ipc_endpoint_dir_existing(dir, sizeof dir), 0);
        EXPECT_EQ(std::string(dir), tmp);
        char sock[IPC_PATH_MAX];
        ASSERT_EQ(ipc_socket_path("FS98MAIN", sock, sizeof sock, 0), 0);
        EXPECT_EQ(std::string(sock), std::string(tmp) + "/FS98MAIN.sock");
        EXPECT_EQ(ipc_socket_path("../FS98MAIN", sock, sizeof sock, 0), -1);
        EXPECT_EQ(FindWindowExA(NULL, NULL, "FS98MAIN", NULL), (HWND)NULL);
    }
    rmdir(tmp);
}

TEST(Transport, BlockNamesAServerAccepts) {
    EXPECT_TRUE(ipc_block_name_valid("FsasmLib:IPC:1A2B:1"));
    EXPECT_TRUE(ipc_block_name_valid("FsasmLib:IPC:FFFFFFFF:FFFFFFFF"));
    EXPECT_FALSE(ipc_block_name_valid("FsasmLib:IPC:1A2B:"));
    EXPECT_FALSE(ipc_block_name_valid("FsasmLib:IPC::1"));
    EXPECT_FALSE(ipc_block_name_valid("FsasmLib:IPC:1:2:3"));
    EXPECT_FALSE(ipc_block_name_valid("FsasmLib:IPC:123456789:1"));
    EXPECT_FALSE(ipc_block_name_valid("FsasmLib:IPC:1:G"));
    EXPECT_FALSE(ipc_block_name_valid("FsasmLib:IPC:1:1/../x"));
    EXPECT_FALSE(ipc_block_name_valid("Other:1:1"));
}

struct ServerTest : ::testing::Test {
    void SetUp() override {
        testsleep_record();
        FSUIPC_Close();
        testsim_start();
    }
    void TearDown() override {
        FSUIPC_Close();
        testsim_stop();
        testsleep_real();
    }
    // A raw connection to the server, as a foreign peer would make it.
    int connect_raw(void) {
        int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        struct sockaddr_un a;
        memset(&a, 0, sizeof a);
        a.sun_family = AF_UNIX;
        snprintf(a.sun_path, sizeof a.sun_path, "%s/FS98MAIN.sock", testsim_dir());
        EXPECT_EQ(connect(fd, (struct sockaddr *)&a, sizeof a), 0);
        return fd;
    }
    // One request frame; returns the reply's result, or -1 when the server hung up.
    long request(int fd, uint32_t msg, const std::string &name, uint32_t magic = IPC_MAGIC) {
        uint8_t f[IPC_REQUEST_HEADER + 300];
        ipc_put32(f, magic);
        ipc_put32(f + 4, msg);
        ipc_put32(f + 8, 0xC001);
        ipc_put32(f + 12, 0);
        ipc_put16(f + 16, (uint16_t)name.size());
        memcpy(f + IPC_REQUEST_HEADER, name.data(), name.size());
        send(fd, f, IPC_REQUEST_HEADER + name.size(), MSG_NOSIGNAL);
        return reply(fd);
    }
    long reply(int fd) {
        uint8_t r[IPC_REPLY_SIZE];
        size_t got = 0;
        while (got < sizeof r) {
            struct pollfd p = {fd, POLLIN, 0};
            if (poll(&p, 1, 5000) <= 0)
                return -2;
            ssize_t n = recv(fd, r + got, sizeof r - got, 0);
            if (n <= 0)
                return -1;
            got += (size_t)n;
        }
        EXPECT_EQ(ipc_get32(r), IPC_MAGIC);
        return ipc_get32(r + 4);
    }
    // 1 when the server closes the connection within five seconds.
    bool hung_up(int fd) {
        uint8_t b[64];
        struct pollfd p = {fd, POLLIN, 0};
        while (poll(&p, 1, 5000) > 0) {
            if (recv(fd, b, sizeof b, 0) <= 0)
                return true;
        }
        return false;
    }
    // A working exchange of the client alongside.
    void client_still_served(void) {
        DWORD rc;
        uint16_t com1 = 0;
        if (!FSUIPC_Read(0x034E, 2, &com1, &rc)) {
            ASSERT_TRUE(FSUIPC_Open(0, &rc)) << rc;
            ASSERT_TRUE(FSUIPC_Read(0x034E, 2, &com1, &rc));
        }
        ASSERT_TRUE(FSUIPC_Process(&rc)) << rc;
        EXPECT_EQ(com1, 0x1800);
    }
};

TEST_F(ServerTest, FolderAndSocketArePrivate) {
    struct stat st;
    ASSERT_EQ(stat(testsim_dir(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(stat((std::string(testsim_dir()) + "/FS98MAIN.sock").c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(ServerTest, ASecondServerOnTheSameEndpointIsRefused) {
    static sim_server other;
    other.carry_out = NULL;
    EXPECT_EQ(sim_server_open(&other, "FS98MAIN"), -1);
    client_still_served(); // and the first one's socket was left alone
}

TEST_F(ServerTest, MistakenRequestsAreAnsweredZero) {
    int fd = connect_raw();
    uint32_t msg = ipc_message_number("FsasmLib:IPC");
    char missing[64];
    snprintf(missing, sizeof missing, "FsasmLib:IPC:%X:ABCDEF", (unsigned)getpid());
    EXPECT_EQ(request(fd, msg + 1, missing), 0);                           // not our message
    EXPECT_EQ(request(fd, msg, ""), 0);                                    // no name
    EXPECT_EQ(request(fd, msg, "FsasmLib:IPC:1:zz"), 0);                   // not a block name
    EXPECT_EQ(request(fd, msg, "../../etc/passwd"), 0);                    // nor this
    EXPECT_EQ(request(fd, msg, std::string("FsasmLib:IPC:1:1\0", 17)), 0); // a zero inside
    EXPECT_EQ(request(fd, msg, missing), 0);                               // no such block

    // A block too small to hold even an end marker.
    HANDLE h = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, 2, missing);
    ASSERT_NE(h, (HANDLE)NULL);
    EXPECT_EQ(request(fd, msg, missing), 0);
    CloseHandle(h);

    // The connection is still good for a proper request, answered 1.
    h = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, 0x8000, missing);
    ASSERT_NE(h, (HANDLE)NULL);
    uint8_t *v = (uint8_t *)MapViewOfFile(h, FILE_MAP_WRITE, 0, 0, 0);
    ASSERT_NE(v, (uint8_t *)NULL);
    ipc_put32(v, 1);
    ipc_put32(v + 4, 0x0354);
    ipc_put32(v + 8, 2);
    ipc_put32(v + 12, 0);
    ipc_put32(v + 18, 0);
    EXPECT_EQ(request(fd, msg, missing), 1);
    EXPECT_EQ(ipc_get16(v + 16), 0x1200);
    UnmapViewOfFile(v);
    CloseHandle(h);
    close(fd);
}

TEST_F(ServerTest, GarbageAndOverlongNamesAreHungUpOn) {
    int junk = connect_raw();
    EXPECT_EQ(request(junk, 1, "x", 0xDEADBEEF), -1);
    close(junk);

    int overlong = connect_raw();
    uint8_t f[IPC_REQUEST_HEADER];
    ipc_put32(f, IPC_MAGIC);
    ipc_put32(f + 4, ipc_message_number("FsasmLib:IPC"));
    ipc_put32(f + 8, 0);
    ipc_put32(f + 12, 0);
    ipc_put16(f + 16, 300);
    send(overlong, f, sizeof f, MSG_NOSIGNAL);
    EXPECT_TRUE(hung_up(overlong));
    close(overlong);
    client_still_served();
}

TEST_F(ServerTest, AStalledPeerHoldsNobodyUpAndIsDropped) {
    int stalled = connect_raw();
    uint8_t f[10] = {0x56, 0x49, 0x50, 0x43, 1, 2, 3};
    send(stalled, f, sizeof f, MSG_NOSIGNAL); // half a header, then nothing
    client_still_served();
    client_still_served();
    EXPECT_TRUE(hung_up(stalled)); // once its time to finish the frame is over
    close(stalled);
    client_still_served();
}

TEST_F(ServerTest, ManyPeersAtOnceLeaveRoomForTheClient) {
    std::vector<int> idle;
    for (int i = 0; i < SIM_SERVER_CLIENTS + 8; i++)
        idle.push_back(connect_raw());
    FSUIPC_Close();
    client_still_served(); // the longest idle made room
    for (int fd : idle)
        close(fd);
}

TEST_F(ServerTest, ReconnectsLeakNeitherDescriptorsNorBlocks) {
    client_still_served();
    FSUIPC_Close();
    int baseline = open_files();
    for (int cycle = 0; cycle < 60; cycle++) {
        DWORD rc;
        ASSERT_TRUE(FSUIPC_Open(0, &rc)) << rc;
        client_still_served();
        if (cycle % 3 == 0) {
            // The server goes away under an open link, and comes back.
            testsim_stop();
            uint16_t w;
            ASSERT_TRUE(FSUIPC_Read(0x034E, 2, &w, &rc));
            EXPECT_FALSE(FSUIPC_Process(&rc));
            EXPECT_EQ(rc, 12u);
            testsim_start();
        }
        FSUIPC_Close();
        EXPECT_EQ(our_blocks(), 0) << "cycle " << cycle;
    }
    EXPECT_EQ(open_files(), baseline);
}

} // namespace
