// The stand-in simulator's core: carrying out request blocks (and refusing faulty ones without
// touching the offset space past the fault), its identity, the write log, the message line,
// and removing the blocks that killed clients left behind.
#include "platform/ipc_transport.h"
#include "platform/platform.h"
#include "sim/sim.h"

#include <gtest/gtest.h>
#include <regex>
#include <string.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// Builds request blocks record by record.
struct Block {
    std::vector<uint8_t> b;
    Block &word(uint32_t v) {
        size_t at = b.size();
        b.resize(at + 4);
        ipc_put32(&b[at], v);
        return *this;
    }
    Block &read(uint32_t offset, uint32_t size) {
        word(1).word(offset).word(size).word(0);
        b.resize(b.size() + size, 0);
        return *this;
    }
    Block &write(uint32_t offset, std::vector<uint8_t> data) {
        word(2).word(offset).word((uint32_t)data.size());
        b.insert(b.end(), data.begin(), data.end());
        return *this;
    }
    Block &end() {
        return word(0);
    }
};

struct SimCore : ::testing::Test {
    void SetUp() override {
        sim_reset();
    }
};

TEST_F(SimCore, ReadsAndWritesAreCarriedOutInOrder) {
    Block k;
    k.write(0x4000, {0x11, 0x22}).read(0x3FFF, 4).read(0x034E, 2).end();
    ASSERT_EQ(sim_process_block(k.b.data(), k.b.size()), 1);
    const uint8_t seen[4] = {0x00, 0x11, 0x22, 0x00};
    EXPECT_EQ(memcmp(&k.b[14 + 16], seen, 4), 0); // the read after the write sees it
    EXPECT_EQ(k.b[14 + 20 + 16], 0x00);
    EXPECT_EQ(k.b[14 + 20 + 17], 0x18);
    EXPECT_EQ(ipc_get32(&k.b[14]), 1u); // headers stay as they were
    EXPECT_EQ(ipc_get32(&k.b[14 + 8]), 4u);
}

TEST_F(SimCore, AFaultyRecordStopsTheBlockAndIsRefused) {
    struct Case {
        const char *what;
        Block block;
    };
    std::vector<Case> cases;
    {
        Block k;
        k.write(0x4000, {1}).word(2).word(0x4001).word(100).word(0).end(); // runs past
        cases.push_back({"write running past the block", k});
    }
    {
        Block k;
        k.write(0x4000, {1}).word(1).word(0x4001).word(0xFFFFFFFF).word(0);
        cases.push_back({"read running past the block", k});
    }
    {
        Block k;
        k.write(0x4000, {1}).read(0xFFFF, 2).write(0x4001, {2}).end();
        cases.push_back({"read past 0xFFFF", k});
    }
    {
        Block k;
        k.write(0x4000, {1}).write(0xFFFFFFFF, {2, 3}).write(0x4001, {2}).end();
        cases.push_back({"write past 0xFFFF", k});
    }
    {
        Block k;
        k.write(0x4000, {1}).word(3).word(0x4001).word(1).word(0).write(0x4001, {2}).end();
        cases.push_back({"unknown identifier", k});
    }
    {
        Block k;
        k.write(0x4000, {1}).word(2).word(0x4001);
        cases.push_back({"no end marker, a header cut short", k});
    }
    {
        Block k;
        k.write(0x4000, {1}).word(1).word(0x4001).word(1);
        cases.push_back({"read header cut short", k});
    }
    for (Case &c : cases) {
        sim_reset();
        EXPECT_EQ(sim_process_block(c.block.b.data(), c.block.b.size()), 0) << c.what;
        EXPECT_EQ(sim_get(0x4000, 1), 1u) << c.what << ": the record before the fault counts";
        EXPECT_EQ(sim_get(0x4001, 1), 0u) << c.what << ": nothing after it is written";
        EXPECT_EQ(sim_get(0xFFFF, 1), 0u) << c.what;
    }
}

TEST_F(SimCore, TheLastOffsetsCanBeReachedExactly) {
    Block k;
    k.write(0xFFFE, {0xAB, 0xCD}).read(0xFFFC, 4).end();
    ASSERT_EQ(sim_process_block(k.b.data(), k.b.size()), 1);
    EXPECT_EQ(sim_get(0xFFFE, 2), 0xCDABu);
    Block empty;
    empty.end();
    EXPECT_EQ(sim_process_block(empty.b.data(), empty.b.size()), 1);
    EXPECT_EQ(sim_process_block(empty.b.data(), 3), 0);
    Block unended;
    unended.write(0x4000, {1});
    EXPECT_EQ(sim_process_block(unended.b.data(), unended.b.size()), 0); // no end marker
}

TEST_F(SimCore, TheIdentityCannotBeOverwrittenByClients) {
    EXPECT_GE(sim_get(0x3304, 4), 0x19980005u);
    EXPECT_EQ(sim_get(0x3308, 4) >> 16, 0xFADEu);
    uint32_t marker = sim_get(0x3308, 4);
    Block k;
    k.write(0x330A, {0xD2, 0x07}).write(0x3300, std::vector<uint8_t>(16, 0xFF)).end();
    ASSERT_EQ(sim_process_block(k.b.data(), k.b.size()), 1);
    EXPECT_EQ(sim_get(0x3308, 4), marker);
    EXPECT_EQ(sim_client_lib_version, 2002u);
    EXPECT_EQ(sim_get(0x3300, 4), 0xFFFFFFFFu); // the bytes around it do change
    EXPECT_EQ(sim_get(0x330C, 4), 0xFFFFFFFFu);
}

TEST_F(SimCore, TheParkedAircraftHasItsRadiosTunedAndPowerOn) {
    // Every radio word is packed BCD, and the avionics are not switched off.
    for (uint32_t offset :
         {0x034Eu, 0x3118u, 0x0350u, 0x0352u, 0x311Au, 0x311Cu, 0x311Eu, 0x3120u, 0x0354u}) {
        uint32_t w = sim_get(offset, 2);
        EXPECT_NE(w, 0u) << std::hex << offset;
        for (int d = 0; d < 4; d++)
            EXPECT_LE((w >> (4 * d)) & 0xF, 9u) << std::hex << offset;
    }
    EXPECT_NE(sim_get(0x0B6A, 1), 1u);
}

TEST_F(SimCore, EveryClientWriteIsLoggedOnOneLine) {
    FILE *log = tmpfile();
    ASSERT_NE(log, (FILE *)NULL);
    sim_set_log(log);
    Block k;
    k.write(0x32FA, {0x05, 0x00}).read(0x034E, 2).write(0x0B5C, {}).end();
    ASSERT_EQ(sim_process_block(k.b.data(), k.b.size()), 1);
    sim_set(0x1234, 2, 7); // a set by the simulator itself is no client write
    sim_set_log(NULL);
    rewind(log);
    char line[256];
    std::vector<std::string> lines;
    while (fgets(line, sizeof line, log))
        lines.push_back(line);
    fclose(log);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(
        std::regex_match(lines[0], std::regex("\\d\\d:\\d\\d:\\d\\d\\.\\d{3} 0x32FA 2 0500\n")))
        << lines[0];
    EXPECT_TRUE(std::regex_match(lines[1], std::regex("\\d\\d:\\d\\d:\\d\\d\\.\\d{3} 0x0B5C 0 \n")))
        << lines[1];
}

TEST_F(SimCore, TheMessageLineShowsOnceItsTimeArrives) {
    EXPECT_EQ(sim_message_count, 0u);
    std::string text = "Valdora V2.08 Connected";
    std::vector<uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    Block k;
    k.write(0x3380, bytes).end();
    ASSERT_EQ(sim_process_block(k.b.data(), k.b.size()), 1);
    EXPECT_EQ(sim_message_count, 0u);
    Block t;
    t.write(0x32FA, {0x05, 0x00}).end();
    ASSERT_EQ(sim_process_block(t.b.data(), t.b.size()), 1);
    EXPECT_EQ(sim_message_count, 1u);
    EXPECT_EQ(std::string(sim_message_text), text);
    EXPECT_EQ(sim_message_seconds, 5);
}

} // namespace

namespace {

// A process id that has just ended (and been waited for).
int ended_pid(void) {
    pid_t p = fork();
    if (p == 0)
        _exit(0);
    waitpid(p, NULL, 0);
    return (int)p;
}

TEST(SimReap, OnlyBlocksOfEndedProcessesGo) {
    EXPECT_EQ(sim_process_ended((int)getpid()), 0);
    pid_t zombie = fork();
    if (zombie == 0)
        _exit(0);
    // Not waited for yet: a zombie counts as ended.
    for (int i = 0; i < 500 && !sim_process_ended((int)zombie); i++)
        usleep(10000);
    EXPECT_EQ(sim_process_ended((int)zombie), 1);
    waitpid(zombie, NULL, 0);

    int dead = ended_pid();
    EXPECT_EQ(sim_process_ended(dead), 1);
    char left[64], mine[64], similar[64];
    snprintf(left, sizeof left, "FsasmLib:IPC:%X:1", (unsigned)dead);
    snprintf(mine, sizeof mine, "FsasmLib:IPC:%X:7777", (unsigned)getpid());
    snprintf(similar, sizeof similar, "FsasmLib:IPC:%X0:1", (unsigned)dead);
    HANDLE a = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, 64, left);
    HANDLE b = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, 64, mine);
    HANDLE c = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, 64, similar);
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(sim_remove_blocks_of(dead), 1);
    struct stat st;
    EXPECT_NE(stat((std::string("/dev/shm/") + left).c_str(), &st), 0);
    EXPECT_EQ(stat((std::string("/dev/shm/") + mine).c_str(), &st), 0);
    EXPECT_EQ(stat((std::string("/dev/shm/") + similar).c_str(), &st), 0);
    CloseHandle(a);
    CloseHandle(b);
    CloseHandle(c);
}

} // namespace
