// The simulator link client against the stand-in simulator over the real transport: record
// layout, capacity, result codes, the version exchange, block names and failing exchanges.
#include "simlink/simlink.h"
#include "tests/support/testsim.h"

#include <gtest/gtest.h>
#include <string.h>
#include <unistd.h>

namespace {

struct ClientTest : ::testing::Test {
    DWORD rc = 99;
    void SetUp() override {
        FSUIPC_Close();
        testsleep_record();
        testsleep_clear();
    }
    void TearDown() override {
        FSUIPC_Close();
        testsim_stop();
        testsleep_real();
    }
    void open_link() {
        testsim_start();
        ASSERT_TRUE(FSUIPC_Open(0, &rc));
        ASSERT_EQ(rc, 0u);
        testsim_clear_writes();
        testsleep_clear();
    }
    uint16_t com1() {
        uint16_t v = 0;
        EXPECT_TRUE(FSUIPC_Read(0x034E, 2, &v, &rc));
        EXPECT_TRUE(FSUIPC_Process(&rc)) << rc;
        return v;
    }
};

std::vector<uint8_t> captured;
void capture_block(uint8_t *block, size_t size) {
    captured.assign(block, block + size);
}

TEST_F(ClientTest, RecordsAreLaidOutAsTheServerExpects) {
    open_link();
    testsim_tamper(capture_block);
    uint16_t com1 = 0;
    uint8_t audio = 0x80;
    ASSERT_TRUE(FSUIPC_Read(0x034E, 2, &com1, &rc));
    ASSERT_TRUE(FSUIPC_Write(0x3122, 1, &audio, &rc));
    audio = 0x11; // the bytes were copied when queued
    ASSERT_TRUE(FSUIPC_Process(&rc));
    EXPECT_EQ(rc, 0u);
    ASSERT_GE(captured.size(), 35u);
    DWORD d = (DWORD)(size_t)&com1;
    // read 0x034E size 2, its destination, the data as the server filled it; write 0x3122; end.
    const uint8_t expect[] = {1,
                              0,
                              0,
                              0,
                              0x4E,
                              0x03,
                              0,
                              0,
                              2,
                              0,
                              0,
                              0,
                              (uint8_t)d,
                              (uint8_t)(d >> 8),
                              (uint8_t)(d >> 16),
                              (uint8_t)(d >> 24),
                              0x00,
                              0x18,
                              2,
                              0,
                              0,
                              0,
                              0x22,
                              0x31,
                              0,
                              0,
                              1,
                              0,
                              0,
                              0,
                              0x80,
                              0,
                              0,
                              0,
                              0};
    EXPECT_EQ(std::vector<uint8_t>(captured.begin(), captured.begin() + 35),
              std::vector<uint8_t>(expect, expect + 35));
    EXPECT_EQ(com1, 0x1800);
    ASSERT_EQ(testsim_writes_to(0x3122).size(), 1u);
    EXPECT_EQ(testsim_writes_to(0x3122)[0].value(), 0x80u);
}

TEST_F(ClientTest, CapacityCountsSixteenBytesForEveryRecord) {
    open_link();
    std::vector<uint8_t> big(32512);
    uint32_t untouched = 0xA5A5A5A5;
    uint16_t com2 = 0;
    // A failed queueing leaves the queue as it was.
    ASSERT_TRUE(FSUIPC_Read(0x3118, 2, &com2, &rc));
    EXPECT_FALSE(FSUIPC_Write(0x200, 32512, big.data(), &rc));
    EXPECT_EQ(rc, 15u);
    ASSERT_TRUE(FSUIPC_Process(&rc));
    EXPECT_EQ(com2, 0x2150);
    EXPECT_TRUE(testsim_writes().empty());

    // Empty and destinationless reads copy nothing back; the others still arrive.
    ASSERT_TRUE(FSUIPC_Read(0x034E, 0, &untouched, &rc));
    ASSERT_TRUE(FSUIPC_Read(0x034E, 2, NULL, &rc));
    com2 = 0;
    ASSERT_TRUE(FSUIPC_Read(0x3118, 2, &com2, &rc));
    ASSERT_TRUE(FSUIPC_Process(&rc));
    EXPECT_EQ(untouched, 0xA5A5A5A5u);
    EXPECT_EQ(com2, 0x2150);

    EXPECT_FALSE(FSUIPC_Read(0, 32497, big.data(), &rc));
    EXPECT_EQ(rc, 15u);
    ASSERT_TRUE(FSUIPC_Read(0, 32496, big.data(), &rc));
    EXPECT_EQ(rc, 0u);
    EXPECT_FALSE(FSUIPC_Read(0, 0, &untouched, &rc)); // even an empty record needs its 16 bytes
    EXPECT_EQ(rc, 15u);
    ASSERT_TRUE(FSUIPC_Process(&rc));
    EXPECT_EQ(big[0x034F], 0x18);

    // A write's header is 12 bytes but counts 16: after 116 queued, 32380 bytes fit, 32381 not.
    ASSERT_TRUE(FSUIPC_Read(0, 100, big.data(), &rc));
    EXPECT_FALSE(FSUIPC_Write(0x100, 32381, big.data(), &rc));
    EXPECT_EQ(rc, 15u);
    EXPECT_TRUE(FSUIPC_Write(0x100, 32380, big.data(), &rc));
    ASSERT_TRUE(FSUIPC_Process(&rc));
    ASSERT_EQ(testsim_writes_to(0x100).size(), 1u);
    EXPECT_EQ(testsim_writes_to(0x100)[0].data.size(), 32380u);
}

// The capacity rule alone limits the queue, however small its records: writes of 0 to 3 bytes
// (records of 12 to 15 bytes) are taken until queued + size + 16 would pass 0x7F00.
TEST_F(ClientTest, SmallWritesAreQueuedUntilTheCapacityRuleRefuses) {
    const struct {
        DWORD size;
        size_t fit;
    } rows[] = {{0, 2709}, {1, 2500}, {2, 2322}, {3, 2167}};
    open_link();
    uint8_t bytes[3] = {1, 2, 3};
    for (const auto &r : rows) {
        testsim_clear_writes();
        size_t queued = 0;
        while (queued < 4000 && FSUIPC_Write(0x4000, r.size, bytes, &rc))
            queued++;
        EXPECT_EQ(rc, 15u);
        EXPECT_EQ(queued, r.fit) << r.size;
        ASSERT_TRUE(FSUIPC_Process(&rc)) << rc;
        EXPECT_EQ(testsim_writes_to(0x4000).size(), r.fit) << r.size;
    }
}

// A server busy for 5 s (a scenery load) answers the one request it got: the link waits on
// across its attempts, sends nothing again and needs no reconnect.
TEST_F(ClientTest, ABusyServersLateReplyIsTheAnswer) {
    testsleep_real();
    open_link();
    int before = testsim_requests();
    testsim_delay_next(5000);
    EXPECT_EQ(com1(), 0x1800);
    EXPECT_EQ(testsim_requests(), before + 1);
    EXPECT_EQ(com1(), 0x1800); // the same connection serves on
}

// Under the link, the transport keeps an unanswered request through nine waits, sending it once;
// after the ninth, or when another request is asked for meanwhile, it drops the connection.
TEST_F(ClientTest, AnUnansweredRequestIsAwaitedNineTimes) {
    open_link();
    HWND h = FindWindowExA(NULL, NULL, "FS98MAIN", NULL);
    ATOM atom = GlobalAddAtomA(testsim_block_names().back().c_str());
    UINT msg = RegisterWindowMessageA("FsasmLib:IPC");
    DWORD_PTR reply = 0;
    int before = testsim_requests();
    testsim_silent_next(1);
    for (int wait = 1; wait <= 10; wait++) {
        EXPECT_FALSE(SendMessageTimeoutA(h, msg, atom, 0, SMTO_BLOCK, 10, &reply));
        EXPECT_EQ(GetLastError(), wait <= 9 ? 1460u : 1400u) << wait;
    }
    h = FindWindowExA(NULL, NULL, "FS98MAIN", NULL);
    testsim_silent_next(1);
    EXPECT_FALSE(SendMessageTimeoutA(h, msg, atom, 0, SMTO_BLOCK, 10, &reply));
    EXPECT_FALSE(SendMessageTimeoutA(h, msg, atom, 1, SMTO_BLOCK, 10, &reply));
    EXPECT_EQ(GetLastError(), 1400u);
    EXPECT_EQ(testsim_requests(), before + 2);
    GlobalDeleteAtom(atom);
}

TEST_F(ClientTest, ResultCodesOfMisuse) {
    uint8_t b = 0;
    FSUIPC_Close(); // safe when nothing is open; then every call fails with 9
    EXPECT_FALSE(FSUIPC_Read(0x0354, 1, &b, &rc) || rc != 9u);
    EXPECT_FALSE(FSUIPC_ReadSpecial(0x0354, 1, &b, &rc) || rc != 9u);
    EXPECT_FALSE(FSUIPC_Write(0x0354, 1, &b, &rc) || rc != 9u);
    EXPECT_FALSE(FSUIPC_Process(&rc) || rc != 9u);

    open_link();
    EXPECT_FALSE(FSUIPC_Open(0, &rc)); // a second open fails with 1 and leaves the link alone
    EXPECT_EQ(rc, 1u);
    int before = testsim_requests();
    EXPECT_FALSE(FSUIPC_Process(&rc)); // nothing queued: 10, and nothing sent
    EXPECT_EQ(rc, 10u);
    EXPECT_EQ(testsim_requests(), before);
    EXPECT_EQ(com1(), 0x1800);
    EXPECT_FALSE(FSUIPC_Process(&rc)); // processing emptied the queue
    EXPECT_EQ(rc, 10u);
    EXPECT_EQ(testsim_requests(), before + 1);
    EXPECT_EQ(testsim_block_names().size(), 2u); // the open's exchange and this one
    EXPECT_EQ(testsim_block_names()[0], testsim_block_names()[1]);
}

TEST_F(ClientTest, NoServerFailsWithTwo) {
    testsim_start();
    testsim_stop(); // leaves VALDORA_IPC_DIR on a folder that is gone
    EXPECT_FALSE(FSUIPC_Open(0, &rc));
    EXPECT_EQ(rc, 2u);
    EXPECT_NE(access(getenv("VALDORA_IPC_DIR"), F_OK), 0); // the client made no folder
}

struct VersionCase {
    const char *window_class;
    uint32_t version, marker;
    DWORD requested;
    int accepted;
    DWORD code;
};

struct VersionTest : ClientTest, ::testing::WithParamInterface<VersionCase> {};

TEST_P(VersionTest, ServerIdentityIsCheckedAtOpen) {
    const VersionCase &c = GetParam();
    testsim_start(c.window_class);
    testsim_set(0x3304, 4, c.version);
    testsim_set(0x3308, 4, c.marker);
    EXPECT_EQ(FSUIPC_Open(c.requested, &rc) != 0, c.accepted != 0);
    EXPECT_EQ(rc, c.code);
    EXPECT_EQ(FSUIPC_Version, c.version);
    if (c.accepted) {
        EXPECT_EQ(FSUIPC_FS_Version, c.marker & 0xFFFF);
    }
    uint8_t b; // a refused open closes the link again
    EXPECT_EQ(FSUIPC_Read(0x0354, 1, &b, &rc) != 0, c.accepted != 0);
}

INSTANTIATE_TEST_SUITE_P(
    Identities, VersionTest,
    ::testing::Values(VersionCase{"FS98MAIN", 0x19980004, 0xFADE0008, 0, 0, 14},
                      VersionCase{"UIPCMAIN", 0x19980004, 0xFADE0008, 0, 0, 7},
                      VersionCase{"UIPCMAIN", 0x19980005, 0xFADE0008, 0, 1, 0},
                      VersionCase{"FS98MAIN", 0x40000000, 0xFADF0008, 0, 0, 14},
                      VersionCase{"UIPCMAIN", 0x40000000, 0x0000FADE, 0, 0, 7},
                      VersionCase{"FS98MAIN", 0x40000000, 0xFADE0007, 7, 1, 0},
                      VersionCase{"FS98MAIN", 0x40000000, 0xFADE0008, 7, 0, 8}));

int tamper_calls = 0;
void version_arrives_late(uint8_t *, size_t) {
    if (++tamper_calls == 2)
        testsim_set(0x3304, 4, 0x19980005); // ready for the third exchange
}

TEST_F(ClientTest, ZeroVersionsAreAskedAtMostFiveTimesAndTheLibraryToldOnce) {
    testsim_start();
    testsim_set(0x3304, 4, 0);
    EXPECT_FALSE(FSUIPC_Open(0, &rc));
    EXPECT_EQ(rc, 14u);
    EXPECT_EQ(testsim_requests(), 5);
    std::vector<testsim_write> lib = testsim_writes_to(0x330A);
    ASSERT_EQ(lib.size(), 1u);
    EXPECT_EQ(lib[0].data.size(), 2u);
    EXPECT_EQ(lib[0].value(), 2002u);
    EXPECT_EQ(testsleep_pauses(), std::vector<unsigned>(5, 100));
    EXPECT_EQ(testsim_get(0x3308, 4), 0xFADE0008u); // the marker is not overwritten

    testsim_stop(); // once both values are in, the exchange stops
    testsim_start();
    testsim_set(0x3304, 4, 0);
    testsleep_clear();
    tamper_calls = 0;
    testsim_tamper(version_arrives_late);
    EXPECT_TRUE(FSUIPC_Open(0, &rc));
    EXPECT_EQ(testsim_requests(), 3);
    EXPECT_EQ(testsim_writes_to(0x330A).size(), 1u);
    EXPECT_EQ(testsleep_pauses(), std::vector<unsigned>(3, 100));
    EXPECT_EQ(FSUIPC_FS_Version, 8u);
}

TEST_F(ClientTest, EveryOpenUsesANewBlockName) {
    testsim_start();
    ASSERT_TRUE(FSUIPC_Open(0, &rc));
    FSUIPC_Close();
    ASSERT_TRUE(FSUIPC_Open(0, &rc));
    std::vector<std::string> names = testsim_block_names();
    ASSERT_EQ(names.size(), 2u);
    unsigned pid[2], n[2];
    for (int i = 0; i < 2; i++) {
        char tail, again[64];
        ASSERT_EQ(sscanf(names[i].c_str(), "FsasmLib:IPC:%X:%X%c", &pid[i], &n[i], &tail), 2);
        snprintf(again, sizeof again, "FsasmLib:IPC:%X:%X", pid[i], n[i]);
        EXPECT_EQ(names[i], again); // upper case, no leading zeros
    }
    EXPECT_EQ(pid[0], (unsigned)getpid());
    EXPECT_EQ(pid[1], pid[0]);
    EXPECT_EQ(n[1], n[0] + 1);
}

TEST_F(ClientTest, FailingExchangesDeliverNothingAndTheLinkRecovers) {
    void (*const fail[])(int) = {testsim_fail_next, testsim_hangup_next};
    for (int k = 0; k < 2; k++) {
        FSUIPC_Close();
        testsim_stop();
        open_link();
        uint16_t v = 0x4321;
        ASSERT_TRUE(FSUIPC_Read(0x034E, 2, &v, &rc));
        fail[k](k == 0 ? 1 : 1000);
        EXPECT_FALSE(FSUIPC_Process(&rc));
        EXPECT_EQ(v, 0x4321);
        if (k == 0) { // refused: 13, the message got through at once, the link stays open
            EXPECT_EQ(rc, 13u);
            EXPECT_TRUE(testsleep_pauses().empty());
            EXPECT_FALSE(FSUIPC_Process(&rc));
            EXPECT_EQ(rc, 10u);
        } else { // hung up: nine attempts, then closing and opening finds it afresh
            EXPECT_TRUE(rc == 11u || rc == 12u) << rc;
            EXPECT_EQ(testsleep_pauses(), std::vector<unsigned>(9, 100));
            fail[k](0);
            FSUIPC_Close();
            ASSERT_TRUE(FSUIPC_Open(0, &rc));
        }
        EXPECT_EQ(com1(), 0x1800); // in step: no late answer taken for this one
    }
}

} // namespace
