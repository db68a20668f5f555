// The simulator link client against the stand-in simulator over the real transport: record
// layout, capacity, result codes, the version exchange, block names and failing exchanges.
#include "simlink/simlink.h"
#include "tests/support/testsim.h"

#include <gtest/gtest.h>
#include <string.h>
#include <unistd.h>

namespace {

struct ClientTest : ::testing::Test {
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
    // Starts the simulator and opens the link.
    void open_link(const char *window_class = "FS98MAIN") {
        testsim_start(window_class);
        DWORD rc = 99;
        ASSERT_TRUE(FSUIPC_Open(0, &rc));
        ASSERT_EQ(rc, 0u);
        testsim_clear_writes();
        testsleep_clear();
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
    DWORD rc = 99;
    ASSERT_TRUE(FSUIPC_Read(0x034E, 2, &com1, &rc));
    ASSERT_TRUE(FSUIPC_Write(0x3122, 1, &audio, &rc));
    audio = 0x11; // the bytes were copied when queued
    ASSERT_TRUE(FSUIPC_Process(&rc));
    EXPECT_EQ(rc, 0u);
    ASSERT_GE(captured.size(), 35u);
    DWORD dest = (DWORD)(size_t)&com1;
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
                              (uint8_t)dest,
                              (uint8_t)(dest >> 8),
                              (uint8_t)(dest >> 16),
                              (uint8_t)(dest >> 24),
                              0x00,
                              0x18, // the read's data area, as the server filled it
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
    std::vector<uint8_t> big(32497);
    DWORD rc = 99;
    EXPECT_FALSE(FSUIPC_Read(0, 32497, big.data(), &rc));
    EXPECT_EQ(rc, 15u);
    ASSERT_TRUE(FSUIPC_Read(0, 32496, big.data(), &rc));
    EXPECT_EQ(rc, 0u);
    uint8_t one = 0;
    EXPECT_FALSE(FSUIPC_Read(0, 0, &one, &rc)); // even an empty record needs its 16 bytes
    EXPECT_EQ(rc, 15u);
    ASSERT_TRUE(FSUIPC_Process(&rc));
    EXPECT_EQ(big[0x034E], 0x00);
    EXPECT_EQ(big[0x034F], 0x18);

    // A write's header is 12 bytes but it is counted as 16: after a 100-byte read (116 bytes
    // queued) a write of 32512 - 116 - 16 bytes fits and one more byte does not.
    ASSERT_TRUE(FSUIPC_Read(0, 100, big.data(), &rc));
    EXPECT_FALSE(FSUIPC_Write(0x100, 32381, big.data(), &rc));
    EXPECT_EQ(rc, 15u);
    EXPECT_TRUE(FSUIPC_Write(0x100, 32380, big.data(), &rc));
    EXPECT_EQ(rc, 0u);
    ASSERT_TRUE(FSUIPC_Process(&rc));
    ASSERT_EQ(testsim_writes_to(0x100).size(), 1u);
    EXPECT_EQ(testsim_writes_to(0x100)[0].data.size(), 32380u);
}

TEST_F(ClientTest, AFailedQueueingLeavesTheQueueAsItWas) {
    open_link();
    uint16_t com2 = 0;
    std::vector<uint8_t> big(32512);
    DWORD rc = 99;
    ASSERT_TRUE(FSUIPC_Read(0x3118, 2, &com2, &rc));
    EXPECT_FALSE(FSUIPC_Write(0x200, 32512, big.data(), &rc));
    EXPECT_EQ(rc, 15u);
    ASSERT_TRUE(FSUIPC_Process(&rc));
    EXPECT_EQ(com2, 0x2150);
    EXPECT_TRUE(testsim_writes().empty());
}

TEST_F(ClientTest, NothingQueuedFailsWithTenAndSendsNothing) {
    open_link();
    int before = testsim_requests();
    DWORD rc = 99;
    EXPECT_FALSE(FSUIPC_Process(&rc));
    EXPECT_EQ(rc, 10u);
    EXPECT_EQ(testsim_requests(), before);
    // Processing empties the queue, so a second process right after also finds nothing.
    uint8_t b;
    ASSERT_TRUE(FSUIPC_Read(0x0354, 1, &b, &rc));
    ASSERT_TRUE(FSUIPC_Process(&rc));
    EXPECT_FALSE(FSUIPC_Process(&rc));
    EXPECT_EQ(rc, 10u);
    EXPECT_EQ(testsim_requests(), before + 1);
}

TEST_F(ClientTest, EmptyAndDestinationlessReadsCopyNothingBack) {
    open_link();
    uint32_t untouched = 0xA5A5A5A5;
    uint16_t com2 = 0, nav1 = 0;
    DWORD rc = 99;
    ASSERT_TRUE(FSUIPC_Read(0x034E, 0, &untouched, &rc));
    ASSERT_TRUE(FSUIPC_Read(0x034E, 2, NULL, &rc));
    ASSERT_TRUE(FSUIPC_Read(0x3118, 2, &com2, &rc));
    ASSERT_TRUE(FSUIPC_Read(0x0350, 2, &nav1, &rc));
    ASSERT_TRUE(FSUIPC_Process(&rc));
    EXPECT_EQ(untouched, 0xA5A5A5A5u);
    EXPECT_EQ(com2, 0x2150);
    EXPECT_EQ(nav1, 0x1090);

    // The empty record takes exactly 16 bytes: 32496 more bytes of reads still fit after it.
    std::vector<uint8_t> big(32480);
    ASSERT_TRUE(FSUIPC_Read(0, 0, &untouched, &rc));
    EXPECT_TRUE(FSUIPC_Read(0, 32480, big.data(), &rc));
    EXPECT_FALSE(FSUIPC_Read(0, 0, &untouched, &rc));
    EXPECT_EQ(rc, 15u);
}

TEST_F(ClientTest, ASecondOpenFailsWithOneAndLeavesTheLinkAlone) {
    open_link();
    DWORD rc = 99;
    EXPECT_FALSE(FSUIPC_Open(0, &rc));
    EXPECT_EQ(rc, 1u);
    uint16_t xpdr = 0;
    ASSERT_TRUE(FSUIPC_Read(0x0354, 2, &xpdr, &rc));
    ASSERT_TRUE(FSUIPC_Process(&rc));
    EXPECT_EQ(xpdr, 0x1200);
    EXPECT_EQ(testsim_block_names().size(), 2u); // the open's exchange and this one
    EXPECT_EQ(testsim_block_names()[0], testsim_block_names()[1]);
}

TEST_F(ClientTest, ClosedLinkRefusesEveryCallWithNine) {
    DWORD rc = 99;
    uint8_t b = 0;
    FSUIPC_Close(); // safe when nothing is open
    EXPECT_FALSE(FSUIPC_Read(0x0354, 1, &b, &rc));
    EXPECT_EQ(rc, 9u);
    rc = 99;
    EXPECT_FALSE(FSUIPC_ReadSpecial(0x0354, 1, &b, &rc));
    EXPECT_EQ(rc, 9u);
    rc = 99;
    EXPECT_FALSE(FSUIPC_Write(0x0354, 1, &b, &rc));
    EXPECT_EQ(rc, 9u);
    rc = 99;
    EXPECT_FALSE(FSUIPC_Process(&rc));
    EXPECT_EQ(rc, 9u);
}

TEST_F(ClientTest, NoServerFailsWithTwo) {
    testsim_start();
    testsim_stop(); // leaves VALDORA_IPC_DIR on a folder that is gone
    DWORD rc = 99;
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
    DWORD rc = 99;
    EXPECT_EQ(FSUIPC_Open(c.requested, &rc) != 0, c.accepted != 0);
    EXPECT_EQ(rc, c.code);
    EXPECT_EQ(FSUIPC_Version, c.version);
    if (c.accepted) {
        EXPECT_EQ(FSUIPC_FS_Version, c.marker & 0xFFFF);
    }
    // A refused open closes the link again: queueing finds it closed.
    uint8_t b;
    EXPECT_EQ(FSUIPC_Read(0x0354, 1, &b, &rc) != 0, c.accepted != 0);
}

INSTANTIATE_TEST_SUITE_P(
    Identities, VersionTest,
    ::testing::Values(VersionCase{"FS98MAIN", 0x19980004, 0xFADE0008, 0, 0, 14},
                      VersionCase{"UIPCMAIN", 0x19980004, 0xFADE0008, 0, 0, 7},
                      VersionCase{"UIPCMAIN", 0x19980005, 0xFADE0008, 0, 1, 0},
                      VersionCase{"FS98MAIN", 0x19980005, 0xFADE0008, 0, 1, 0},
                      VersionCase{"FS98MAIN", 0x40000000, 0xFADF0008, 0, 0, 14},
                      VersionCase{"UIPCMAIN", 0x40000000, 0x0000FADE, 0, 0, 7},
                      VersionCase{"FS98MAIN", 0x40000000, 0xFADE0007, 7, 1, 0},
                      VersionCase{"FS98MAIN", 0x40000000, 0xFADE0008, 7, 0, 8}));

TEST_F(ClientTest, ZeroVersionsAreAskedFiveTimesAndTheLibraryToldOnce) {
    testsim_start();
    testsim_set(0x3304, 4, 0);
    DWORD rc = 99;
    EXPECT_FALSE(FSUIPC_Open(0, &rc));
    EXPECT_EQ(rc, 14u);
    EXPECT_EQ(testsim_requests(), 5);
    std::vector<testsim_write> lib = testsim_writes_to(0x330A);
    ASSERT_EQ(lib.size(), 1u);
    EXPECT_EQ(lib[0].data.size(), 2u);
    EXPECT_EQ(lib[0].value(), 2002u);
    EXPECT_EQ(testsleep_pauses(), std::vector<unsigned>(5, 100));
    EXPECT_EQ(testsim_get(0x3308, 4), 0xFADE0008u); // the marker is not overwritten
}

int tamper_calls = 0;
void version_arrives_late(uint8_t *, size_t) {
    if (++tamper_calls == 2)
        testsim_set(0x3304, 4, 0x19980005); // ready for the third exchange
}

TEST_F(ClientTest, TheExchangeStopsOnceBothValuesAreIn) {
    testsim_start();
    testsim_set(0x3304, 4, 0);
    tamper_calls = 0;
    testsim_tamper(version_arrives_late);
    DWORD rc = 99;
    EXPECT_TRUE(FSUIPC_Open(0, &rc));
    EXPECT_EQ(rc, 0u);
    EXPECT_EQ(testsim_requests(), 3);
    EXPECT_EQ(testsim_writes_to(0x330A).size(), 1u);
    EXPECT_EQ(testsleep_pauses(), std::vector<unsigned>(3, 100));
    EXPECT_EQ(FSUIPC_FS_Version, 8u);
}

TEST_F(ClientTest, EveryOpenUsesANewBlockName) {
    testsim_start();
    DWORD rc;
    ASSERT_TRUE(FSUIPC_Open(0, &rc));
    FSUIPC_Close();
    ASSERT_TRUE(FSUIPC_Open(0, &rc));
    std::vector<std::string> names = testsim_block_names();
    ASSERT_EQ(names.size(), 2u);
    unsigned pid[2], n[2];
    for (int i = 0; i < 2; i++) {
        char tail;
        ASSERT_EQ(sscanf(names[i].c_str(), "FsasmLib:IPC:%X:%X%c", &pid[i], &n[i], &tail), 2)
            << names[i];
        char again[64];
        snprintf(again, sizeof again, "FsasmLib:IPC:%X:%X", pid[i], n[i]);
        EXPECT_EQ(names[i], again); // upper case, no leading zeros
    }
    EXPECT_EQ(pid[0], (unsigned)getpid());
    EXPECT_EQ(pid[1], pid[0]);
    EXPECT_EQ(n[1], n[0] + 1);
}

TEST_F(ClientTest, ARefusedExchangeFailsWithThirteenAndDeliversNothing) {
    open_link();
    uint16_t com1 = 0x4321;
    DWORD rc = 99;
    ASSERT_TRUE(FSUIPC_Read(0x034E, 2, &com1, &rc));
    testsim_fail_next(1);
    EXPECT_FALSE(FSUIPC_Process(&rc));
    EXPECT_EQ(rc, 13u);
    EXPECT_EQ(com1, 0x4321);
    EXPECT_TRUE(testsleep_pauses().empty()); // the message got through at once
    // The link stays open with an empty queue.
    EXPECT_FALSE(FSUIPC_Process(&rc));
    EXPECT_EQ(rc, 10u);
    ASSERT_TRUE(FSUIPC_Read(0x034E, 2, &com1, &rc));
    ASSERT_TRUE(FSUIPC_Process(&rc));
    EXPECT_EQ(com1, 0x1800);
}

TEST_F(ClientTest, AServerThatHangsUpFailsAfterNineAttempts) {
    open_link();
    uint16_t com1 = 0x4321;
    DWORD rc = 99;
    ASSERT_TRUE(FSUIPC_Read(0x034E, 2, &com1, &rc));
    int before = testsim_requests();
    testsim_hangup_next(1000);
    EXPECT_FALSE(FSUIPC_Process(&rc));
    EXPECT_TRUE(rc == 11u || rc == 12u) << rc;
    EXPECT_EQ(testsleep_pauses(), std::vector<unsigned>(9, 100));
    EXPECT_EQ(com1, 0x4321);
    EXPECT_GE(testsim_requests(), before + 1);
    // Closing and opening again (what the supervisor does) finds the server afresh.
    testsim_hangup_next(0);
    FSUIPC_Close();
    ASSERT_TRUE(FSUIPC_Open(0, &rc));
    ASSERT_TRUE(FSUIPC_Read(0x034E, 2, &com1, &rc));
    ASSERT_TRUE(FSUIPC_Process(&rc));
    EXPECT_EQ(com1, 0x1800);
}

TEST_F(ClientTest, ASilentServerTimesOutAndTheLinkRecovers) {
    open_link();
    uint16_t com1 = 0x4321;
    DWORD rc = 99;
    ASSERT_TRUE(FSUIPC_Read(0x034E, 2, &com1, &rc));
    testsim_silent_next(1000);
    EXPECT_FALSE(FSUIPC_Process(&rc)); // the first attempt waits out its 2000 ms
    EXPECT_TRUE(rc == 11u || rc == 12u) << rc;
    EXPECT_EQ(testsleep_pauses(), std::vector<unsigned>(9, 100));
    EXPECT_EQ(com1, 0x4321);
    testsim_silent_next(0);
    FSUIPC_Close();
    ASSERT_TRUE(FSUIPC_Open(0, &rc));
    ASSERT_TRUE(FSUIPC_Read(0x034E, 2, &com1, &rc));
    ASSERT_TRUE(FSUIPC_Process(&rc));
    EXPECT_EQ(com1, 0x1800); // the stream is in step: no late answer taken for this one
}

} // namespace
