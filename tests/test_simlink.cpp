// The simulator link against the stand-in simulator over the real POSIX transport: records and
// the capacity rule, result codes, the version exchange, block names, failing, silent and
// hostile servers; the transport's atoms, blocks and endpoint folder; and the stand-in
// simulator's server against peers that mean harm.
#include "app/app.h"
#include "platform/ipc_transport.h"
#include "sim/sim.h"
#include "simlink/simlink.h"
#include "tests/support/testsim.h"

#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Link : ::testing::Test {
    DWORD rc = 99;
    void SetUp() override {
        testsleep_record();
    }
    void TearDown() override {
        FSUIPC_Close(), testsim_stop(), testsleep_real();
    }
    void open_link() {
        testsim_start();
        ASSERT_TRUE(FSUIPC_Open(0, &rc));
        testsim_clear_writes(), testsleep_clear();
    }
    uint16_t com1() {
        uint16_t v = 0;
        EXPECT_TRUE(FSUIPC_Read(0x034E, 2, &v, &rc));
        EXPECT_TRUE(FSUIPC_Process(&rc)) << rc;
        return v;
    }
};

std::vector<uint8_t> captured; // the block as the server saw it

TEST_F(Link, RecordsAndTheCapacityRule) {
    open_link();
    testsim_tamper([](uint8_t *block, size_t size) { captured.assign(block, block + size); });
    uint16_t com1 = 0;
    uint8_t audio = 0x80;
    ASSERT_TRUE(FSUIPC_Read(0x034E, 2, &com1, &rc));
    ASSERT_TRUE(FSUIPC_Write(0x3122, 1, &audio, &rc));
    audio = 0x11; // the bytes were copied when queued
    ASSERT_TRUE(FSUIPC_Process(&rc));
    // The read's header (the destination's address at 12), the data as the server filled it,
    // the write's header and byte, the end; little-endian.
    std::vector<uint8_t> want = {1, 0, 0, 0, 0x4E, 0x03, 0,    0, 2, 0, 0,    0,
                                 0, 0, 0, 0, 0x00, 0x18, 2,    0, 0, 0, 0x22, 0x31,
                                 0, 0, 1, 0, 0,    0,    0x80, 0, 0, 0, 0};
    for (int i = 0; i < 4; i++)
        want[12 + i] = (uint8_t)((size_t)&com1 >> (8 * i));
    ASSERT_GE(captured.size(), want.size());
    EXPECT_EQ(std::vector<uint8_t>(captured.begin(), captured.begin() + want.size()), want);
    EXPECT_EQ(com1, 0x1800);
    testsim_tamper(NULL);

    uint32_t untouched = 0xA5A5A5A5; // reads of no bytes, or to nowhere, copy nothing back
    ASSERT_TRUE(FSUIPC_Read(0x034E, 0, &untouched, &rc) && FSUIPC_Read(0x034E, 2, NULL, &rc));
    EXPECT_TRUE(FSUIPC_Process(&rc) && untouched == 0xA5A5A5A5u);

    // The capacity rule alone limits the queue, however small its records: writes of 0 to 3
    // bytes (records of 12 to 15 bytes) are taken until queued + size + 16 would pass 0x7F00
    // (at the 2709th empty write, 2708 x 12 + 16 is exactly 0x7F00); a refused one is not queued.
    const size_t fit[4] = {2709, 2500, 2322, 2167}; // by the size of the write
    uint8_t bytes[3] = {1, 2, 3};
    for (DWORD size = 0; size < 4; size++) {
        testsim_clear_writes();
        size_t queued = 0;
        while (queued < 4000 && FSUIPC_Write(0x4000, size, bytes, &rc))
            queued++;
        EXPECT_EQ(queued * 100 + rc, fit[size] * 100 + 15) << size;
        ASSERT_TRUE(FSUIPC_Process(&rc)) << rc;
        EXPECT_EQ(testsim_writes_to(0x4000).size(), fit[size]) << size;
    }
}

// Under the link, the transport keeps an unanswered request through nine waits, sending it once;
// after the ninth it drops the connection. (That another request while one is outstanding drops
// it too, the client's reply fuzz target checks on every input that times out.)
TEST_F(Link, AnUnansweredRequestIsAwaitedNineTimes) {
    open_link();
    HWND h = FindWindowExA(NULL, NULL, "FS98MAIN", NULL);
    ATOM atom = GlobalAddAtomA(testsim_block_names().back().c_str());
    UINT msg = RegisterWindowMessageA("FsasmLib:IPC");
    DWORD_PTR reply = 0;
    int before = testsim_requests();
    testsim_fail_next(1, SIM_NO_REPLY);
    for (int wait = 1; wait <= 10; wait++) {
        EXPECT_FALSE(SendMessageTimeoutA(h, msg, atom, 0, SMTO_BLOCK, 10, &reply));
        EXPECT_EQ(GetLastError(), wait <= 9 ? 1460u : 1400u) << wait;
    }
    EXPECT_EQ(testsim_requests(), before + 1);
}

TEST_F(Link, ResultCodesAndBlockNames) {
    uint8_t b = 0;
    FSUIPC_Close(); // safe when nothing is open; then every call fails with 9
    EXPECT_FALSE(FSUIPC_Read(0x0354, 1, &b, &rc) || rc != 9u);
    EXPECT_FALSE(FSUIPC_Write(0x0354, 1, &b, &rc) || rc != 9u);
    char call[64]; // the failed call, as a lost link's log line names it
    FSUIPC_Last_Call(call, sizeof call);
    EXPECT_STREQ(call, "write of 0x0354");
    EXPECT_FALSE(FSUIPC_Process(&rc) || rc != 9u);
    testsim_start(), testsim_stop(); // leaves VALDORA_IPC_DIR on a folder that is gone
    EXPECT_FALSE(FSUIPC_Open(0, &rc) || rc != 2u);
    EXPECT_NE(access(getenv("VALDORA_IPC_DIR"), F_OK), 0); // the client made no folder

    open_link();
    EXPECT_FALSE(FSUIPC_Open(0, &rc) || rc != 1u); // and the link stays open
    int before = testsim_requests();
    EXPECT_FALSE(FSUIPC_Process(&rc) || rc != 10u); // nothing queued: nothing sent
    EXPECT_EQ(testsim_requests(), before);
    EXPECT_EQ(com1(), 0x1800);
    FSUIPC_Close(); // the block unmapped, its name and its atom gone
    std::string block = testsim_block_names().back(), maps;
    std::getline(std::ifstream("/proc/self/maps"), maps, '\0');
    ATOM atom = GlobalAddAtomA(block.c_str()); // a fresh atom: deleted once, it is gone
    EXPECT_TRUE(maps.find(block) == std::string::npos &&
                access(("/dev/shm/" + block).c_str(), F_OK) != 0 && GlobalDeleteAtom(atom) == 0 &&
                GlobalDeleteAtom(atom) == atom);
    ASSERT_TRUE(FSUIPC_Open(0, &rc));
    std::vector<std::string> names = testsim_block_names(); // open, exchange, open again
    unsigned n = 0;
    ASSERT_TRUE(names.size() == 3 && sscanf(names[0].c_str(), "FsasmLib:IPC:%*X:%X", &n) == 1);
    char want[64]; // our process, upper case, no leading zeros, one attempt further
    snprintf(want, sizeof want, "FsasmLib:IPC:%X:%X", (unsigned)getpid(), n + 1);
    EXPECT_EQ(names[1] + " " + names[2], names[0] + " " + want);
}

int exchanges = 0;
void version_arrives_late(uint8_t *, size_t) {
    if (++exchanges == 2)
        testsim_set(0x3304, 4, 0x19980005); // ready for the third exchange
}

// Every open asks until both values are in, five exchanges at most, 100 ms after each, and
// tells the library's version in the first; then the server's identity decides.
TEST_F(Link, TheServersIdentityIsCheckedAtOpen) {
    // The server's class UIPCMAIN (else FS98MAIN), exchanges (3: a late version), version,
    // marker, the simulator asked for, the result code.
    // clang-format off
    const struct { int uipc, exchanges; uint32_t version, marker, requested, code; } rows[] = {
        {0, 1, 0x19980004, 0xFADE0008, 0, 14}, {1, 1, 0x19980004, 0xFADE0008, 0, 7},
        {1, 1, 0x19980005, 0xFADE0008, 0, 0}, {0, 1, 0x40000000, 0xFADF0008, 0, 14},
        {1, 1, 0x40000000, 0x0000FADE, 0, 7}, {0, 1, 0x40000000, 0xFADE0007, 7, 0},
        {0, 1, 0x40000000, 0xFADE0008, 7, 8}, {0, 5, 0, 0xFADE0008, 0, 14}, {0, 3, 0x19980005, 0xFADE0008, 0, 0}};
    // clang-format on
    for (const auto &r : rows) {
        testsim_start(r.uipc ? "UIPCMAIN" : "FS98MAIN");
        testsim_set(0x3304, 4, r.exchanges == 3 ? 0 : r.version);
        testsim_set(0x3308, 4, r.marker);
        testsim_tamper(r.exchanges == 3 ? version_arrives_late : NULL);
        exchanges = 0;
        testsleep_clear();
        bool opened = FSUIPC_Open(r.requested, &rc) != 0;
        uint32_t fs = r.code == 7 || r.code == 14 ? r.marker : r.marker & 0xFFFF;
        // A pause after each exchange; the marker is not overwritten.
        EXPECT_EQ(std::make_tuple(opened, rc, FSUIPC_Version, FSUIPC_FS_Version, testsim_requests(),
                                  testsleep_pauses(), testsim_get(0x3308, 4)),
                  std::make_tuple(r.code == 0, r.code, r.version, fs, r.exchanges,
                                  std::vector<unsigned>(r.exchanges, 100), r.marker))
            << std::hex << r.version << " " << r.marker;
        std::vector<testsim_write> lib = testsim_writes_to(0x330A); // once, in two bytes
        EXPECT_TRUE(lib.size() == 1 && lib[0].data.size() == 2 && lib[0].value() == 2002u);
        uint8_t b; // a refused open closes the link again
        EXPECT_EQ(FSUIPC_Read(0x0354, 1, &b, &rc) != 0, r.code == 0);
        FSUIPC_Close();
    }
}

// Refused, the exchange fails with 13 at once and the link stays open with an empty queue; hung
// up on, with 12 after nine attempts 100 ms apart, and closing and opening finds the server afresh.
// Either way nothing is delivered, and the link stays in step: no late answer taken.
TEST_F(Link, FailingExchangesDeliverNothingAndTheLinkRecovers) {
    open_link();
    uint16_t v = 0x4321;
    for (int hang_up = 0; hang_up < 2; hang_up++) {
        ASSERT_TRUE(FSUIPC_Read(0x034E, 2, &v, &rc));
        testsim_fail_next(hang_up ? 1000 : 1, hang_up ? SIM_HANG_UP : 0);
        EXPECT_FALSE(FSUIPC_Process(&rc) || rc != (hang_up ? 12u : 13u));
        EXPECT_EQ(testsleep_pauses(), std::vector<unsigned>(hang_up ? 9 : 0, 100));
        EXPECT_FALSE(FSUIPC_Process(&rc) || rc != 10u);
        testsim_fail_next(0), FSUIPC_Close();
        ASSERT_TRUE(FSUIPC_Open(0, &rc));
        EXPECT_TRUE(com1() == 0x1800 && v == 0x4321) << v; // the failed read's target untouched
        testsleep_clear();
    }
    loop = 0; // the program's reconnection, its window closed just as the link opens: no greeting
    connect_to_sim();
    loop = 1;
    EXPECT_TRUE(connected == 1 && testsim_writes_to(0x3380).empty());
}

// A server that rewrites the block before answering must not steer the reply walk outside the
// block or past a destination (heap buffers of their exact size, for the address sanitizer).
// The queue: read 4 at 0, write 2 at 20, read 2 at 34, end marker at 52. Each tampering, and
// whether the first and the second read are delivered.
void put32(uint8_t *p, uint32_t v) {
    memcpy(p, &v, 4);
}
// clang-format off
const struct { void (*tamper)(uint8_t *block, size_t size); bool first, second; } hostile[] = {
    {[](uint8_t *b, size_t) { put32(b + 8, 0xFFFFFFF0u), put32(b + 28, ~0u), put32(b + 42, 40000); },
     true, true},
    {[](uint8_t *b, size_t) { put32(b + 8, 8), put32(b + 42, 6); }, true, true},
    {[](uint8_t *b, size_t) { put32(b + 20, 1); }, true, true},
    {[](uint8_t *b, size_t) { put32(b, 2); }, false, true},
    {[](uint8_t *b, size_t) { put32(b + 52, 1), put32(b + 60, 0x10000), memset(b + 68, 0xEE, 64); },
     true, true},
    {[](uint8_t *b, size_t) { put32(b + 20, 0x01010101); }, true, false},
    {[](uint8_t *b, size_t size) { memset(b, 0x01, size); }, false, false},
    {[](uint8_t *b, size_t) { put32(b + 12, 0x1000), put32(b + 46, ~0u); }, true, true},
    {[](uint8_t *b, size_t) { put32(b, 0x80000001u); }, false, false}}; // all four bytes count
// clang-format on

TEST_F(Link, AHostileReplyWalkStaysInsideWhatWasQueued) {
    open_link();
    const uint8_t com1_nav1[4] = {0x00, 0x18, (uint8_t)testsim_get(0x0350, 1),
                                  (uint8_t)testsim_get(0x0351, 1)};
    const uint8_t com2[2] = {0x50, 0x21}, fresh[4] = {0x5A, 0x5A, 0x5A, 0x5A};
    uint16_t value = 0x0102;
    for (const auto &c : hostile) {
        std::vector<uint8_t> fenced(16 + 4 + 16, 0x5A), want = fenced; // guards, for a plain build
        uint8_t *second = new uint8_t[2]{0x5A, 0x5A};
        testsim_tamper(c.tamper);
        ASSERT_TRUE(FSUIPC_Read(0x034E, 4, &fenced[16], &rc) &&
                    FSUIPC_Write(0x4000, 2, &value, &rc) && FSUIPC_Read(0x3118, 2, second, &rc));
        ASSERT_TRUE(FSUIPC_Process(&rc) && rc == 0) << rc;
        memcpy(&want[16], c.first ? com1_nav1 : fresh, 4);
        EXPECT_EQ(fenced, want) << &c - hostile;
        EXPECT_EQ(memcmp(second, c.second ? com2 : fresh, 2), 0) << &c - hostile;
        delete[] second;
    }
    testsim_tamper(NULL); // the link goes on working once the server behaves
    EXPECT_EQ(com1(), 0x1800);

    // The walk covers this exchange's records only, not those a longer queue left in the table,
    // even where this block's data looks like a read's header there (bytes 01 00 00 00 at 18).
    uint16_t earlier = 0;
    uint64_t data = 0;
    ASSERT_TRUE(FSUIPC_Read(0x034E, 2, &value, &rc) && FSUIPC_Read(0x3118, 2, &earlier, &rc));
    ASSERT_TRUE(FSUIPC_Process(&rc));
    earlier = 0x5A5A;
    testsim_set(0x4002, 4, 1);
    ASSERT_TRUE(FSUIPC_Read(0x4000, 8, &data, &rc) && FSUIPC_Process(&rc));
    EXPECT_EQ(earlier, 0x5A5A);
}

TEST(Transport, MessageNumbersAndAtoms) {
    // Published FNV-1a 32 values: "a" 0xE40C292C, "foobar" 0xBF9CF968.
    EXPECT_EQ(RegisterWindowMessageA("a"), 0xC000u + 0xE40C292Cu % 0x4000u);
    EXPECT_EQ(RegisterWindowMessageA("foobar"), 0xC000u + 0xBF9CF968u % 0x4000u);
    EXPECT_EQ(RegisterWindowMessageA(""), 0u);
    ATOM a = GlobalAddAtomA("FsasmLib:IPC:1:1"), b = GlobalAddAtomA("FsasmLib:IPC:1:2");
    ASSERT_NE(a, 0);
    EXPECT_NE(a, b);
    EXPECT_EQ(GlobalAddAtomA("fsasmlib:ipc:1:1"), a); // the same text, one more reference
    // Two references go one at a time; gone, deleting again fails.
    EXPECT_EQ((std::vector<ATOM>{GlobalDeleteAtom(a), GlobalDeleteAtom(a), GlobalDeleteAtom(a),
                                 GlobalDeleteAtom(b)}),
              (std::vector<ATOM>{0, 0, a, 0}));
    EXPECT_EQ(GlobalAddAtomA(std::string(256, 'x').c_str()), 0);
    char text[1024]; // the call writes 1024 bytes at most and counts the characters it kept
    EXPECT_EQ(wsprintfA(text, "%s", std::string(1500, 'x').c_str()), 1023);
}

// A block is private to its user and goes with its creator's handle. One left under our own
// process number can only be a dead process's and is taken over; anybody else's is not.
TEST(Transport, BlocksArePrivateAndRemovedByTheirCreator) {
    for (unsigned pid : {(unsigned)getpid() + 1, (unsigned)getpid()}) {
        char name[64];
        snprintf(name, sizeof name, "FsasmLib:IPC:%X:FFFF1", pid);
        std::string path = std::string("/dev/shm/") + name;
        int fd = shm_open(path.c_str() + 8, O_RDWR | O_CREAT | O_EXCL, 0600);
        ASSERT_EQ(ftruncate(fd, 16), 0);
        close(fd);
        HANDLE h = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, 0x8000, name);
        EXPECT_EQ(GetLastError(), pid == (unsigned)getpid() ? 0u : 183u);
        HANDLE again = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, 64, name);
        EXPECT_EQ(GetLastError(), 183u);
        struct stat st;
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        EXPECT_EQ(st.st_size, pid == (unsigned)getpid() ? 0x8000 : 16);
        EXPECT_TRUE(CloseHandle(again));
        EXPECT_EQ(stat(path.c_str(), &st), 0) << "only the creator removes the name";
        EXPECT_TRUE(CloseHandle(h) && !CloseHandle(h));
        EXPECT_EQ(stat(path.c_str(), &st) != 0, pid == (unsigned)getpid());
        shm_unlink(path.c_str() + 8);
    }
}

TEST(Transport, EndpointFolderAndBlockNames) {
    char dir[IPC_PATH_MAX], tmp[] = "/tmp/valdora-xdg-XXXXXX";
    ASSERT_TRUE(mkdtemp(tmp));
    unsetenv("VALDORA_IPC_DIR"), setenv("XDG_RUNTIME_DIR", tmp, 1);
    struct stat st; // not made by a lookup, then made private
    ASSERT_TRUE(ipc_endpoint_dir_existing(dir, sizeof dir) == -1 &&
                ipc_endpoint_dir(dir, sizeof dir) == 0 && stat(dir, &st) == 0);
    EXPECT_EQ(std::string(dir) + " " + std::to_string(st.st_mode & 0777),
              std::string(tmp) + "/valdora " + std::to_string(0700));
    rmdir(dir), unsetenv("XDG_RUNTIME_DIR"), ipc_endpoint_dir_existing(dir, sizeof dir);
    EXPECT_EQ(std::string(dir), "/tmp/valdora-" + std::to_string(getuid()));
    setenv("VALDORA_IPC_DIR", tmp, 1);
    ASSERT_EQ(ipc_socket_path("FS98MAIN", dir, sizeof dir, 0), 0);
    EXPECT_EQ(std::string(dir), std::string(tmp) + "/FS98MAIN.sock");
    EXPECT_EQ(ipc_socket_path("../FS98MAIN", dir, sizeof dir, 0), -1);
    rmdir(tmp);
    EXPECT_EQ(ipc_socket_path("FS98MAIN", dir, sizeof dir, 0), -1); // the folder is gone

    for (const char *name : {"FsasmLib:IPC:1A2B:9", "FsasmLib:IPC:FFFFFFFF:abcdef09"})
        EXPECT_TRUE(ipc_block_name_valid(name)) << name;
    for (const char *name :
         {"FsasmLib:IPC:1A2B:", "FsasmLib:IPC::1", "FsasmLib:IPC:1:2:3", "FsasmLib:IPC:123456789:1",
          "FsasmLib:IPC:1:G", "FsasmLib:IPC:1:1/../x", "FsasmLib:IPC:1:123456789", "Other:1:1"})
        EXPECT_FALSE(ipc_block_name_valid(name)) << name;
}

// A raw connection to the stand-in simulator's socket, 5 s of patience each way.
int dial(void) {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    struct timeval tv = {5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    struct sockaddr_un a = {AF_UNIX, {}};
    snprintf(a.sun_path, sizeof a.sun_path, "%s/FS98MAIN.sock", getenv("VALDORA_IPC_DIR"));
    return connect(fd, (struct sockaddr *)&a, sizeof a) == 0 ? fd : -1;
}
// Sends one request frame, whole or a byte at a time 1 ms apart; the reply's result, -1 when
// hung up on, -2 after 5 s of silence.
long request(int fd, const std::string &name, uint32_t magic = IPC_MAGIC, bool bytewise = false) {
    std::vector<uint8_t> f(IPC_REQUEST_HEADER + name.size());
    uint8_t r[IPC_REPLY_SIZE];
    ipc_put32(&f[0], magic), ipc_put32(&f[4], ipc_message_number("FsasmLib:IPC"));
    ipc_put32(&f[8], 0xC001), ipc_put32(&f[12], 0), ipc_put16(&f[16], (uint16_t)name.size());
    memcpy(&f[IPC_REQUEST_HEADER], name.data(), name.size());
    for (size_t at = 0, piece = bytewise ? 1 : f.size(); at < f.size(); at += piece, usleep(1000))
        send(fd, &f[at], piece, MSG_NOSIGNAL);
    ssize_t n = recv(fd, r, sizeof r, MSG_WAITALL);
    return n == sizeof r ? (long)ipc_get32(r + 4) : n < 0 && errno == EAGAIN ? -2 : -1;
}

// The server carries out only real blocks of this user named as a client names them (a write of
// 0xEE to 0x4F00 in each); garbage, stalled and non-reading peers hold the link up for nobody;
// a peer of another user is hung up on (as root only).
TEST_F(Link, TheStandInServerTrustsNoPeer) {
    open_link();
    char own[32];
    snprintf(own, sizeof own, "FsasmLib:IPC:%X:", (unsigned)getpid());
    const uint8_t write_ee[20] = {2, 0, 0, 0, 0x00, 0x4F, 0, 0, 4, 0, 0, 0, 0xEE};
    auto make = [&](const std::string &name, off_t size) {
        int shm = shm_open(("/" + name).c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
        off_t n = size < 20 ? size : 20;
        EXPECT_TRUE(shm >= 0 && ftruncate(shm, size) == 0 && pwrite(shm, write_ee, n, 0) == n);
        close(shm);
    };
    // ' ' a block, 'l' a link to the real one, 'p' a pipe, 'u' another user's, 'r' the real one
    // clang-format off
    const struct { const char *id; off_t size; char how; } blocks[] = {
        {"1x", 0x8000, ' '}, {"F0", SIM_BLOCK_MAX + 1, ' '}, {"F1", 2, ' '}, {"F2", 0, 'l'},
        {"F3", 0, 'p'}, {"F4", 0x8000, 'u'}, {"F9", 0x8000, 'r'}};
    // clang-format on
    const std::string real = own + std::string("F9");
    make(real, 0x8000);
    int fd = dial();
    for (const auto &b : blocks) {
        std::string name = own + std::string(b.id), path = "/dev/shm/" + name;
        if (b.how == ' ' || b.how == 'u')
            make(name, b.size);
        ASSERT_TRUE(b.how != 'l' || symlink(("/dev/shm/" + real).c_str(), path.c_str()) == 0);
        ASSERT_TRUE(b.how != 'p' || mkfifo(path.c_str(), 0600) == 0);
        bool ready = b.how != 'u' || (geteuid() == 0 && chown(path.c_str(), 65534, 65534) == 0);
        EXPECT_EQ(ready ? request(fd, name) : 0, b.how == 'r') << name;
        EXPECT_EQ(testsim_get(0x4F00, 1), b.how == 'r' ? 0xEEu : 0u) << name;
        unlink(path.c_str());
    }
    // A frame that arrives in pieces is put together; a name longer than any is not waited for.
    make(real, 0x8000), testsim_set(0x4F00, 1, 0);
    EXPECT_TRUE(request(fd, real, IPC_MAGIC, true) == 1 && testsim_get(0x4F00, 1) == 0xEEu);
    shm_unlink(("/" + real).c_str());
    EXPECT_EQ(request(fd, std::string(IPC_NAME_MAX, 'x')), 0);
    EXPECT_EQ(request(fd, std::string(IPC_NAME_MAX + 1, 'x')), -1);
    int junk = dial(), stalled = dial(), deaf = dial();
    EXPECT_EQ(request(junk, "x", 0xDEADBEEF), -1);
    uint8_t half[10] = {0x56, 0x49, 0x50, 0x43, 1, 2, 3}; // half a header, then nothing
    send(stalled, half, sizeof half, MSG_NOSIGNAL);
    EXPECT_EQ(com1(), 0x1800);
    ssize_t n = recv(stalled, half, 1, 0); // hung up on within 5 s
    EXPECT_TRUE(n == 0 || (n < 0 && errno != EAGAIN));
    uint8_t f[IPC_REQUEST_HEADER] = {0x56, 0x49, 0x50, 0x43}; // each answered, never read
    int sent = 0;
    while (sent < 200000 && send(deaf, f, sizeof f, MSG_NOSIGNAL) == sizeof f)
        sent++;
    EXPECT_LT(sent, 200000) << "a peer that never reads its replies is dropped";
    EXPECT_EQ(com1(), 0x1800);
    if (geteuid() == 0) { // anybody may reach the socket: the server decides
        chmod(getenv("VALDORA_IPC_DIR"), 0755);
        chmod((std::string(getenv("VALDORA_IPC_DIR")) + "/FS98MAIN.sock").c_str(), 0666);
        pid_t child = fork();
        if (child == 0) // as nobody: exit 0 when hung up on
            _exit(setgid(65534) || setuid(65534) || request(dial(), "x") != -1);
        int status = -1;
        waitpid(child, &status, 0);
        EXPECT_EQ(status, 0) << "another user's peer";
    }
    close(fd), close(junk), close(stalled), close(deaf);
}

} // namespace
