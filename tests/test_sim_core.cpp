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
        b.resize(b.size() + 4);
        ipc_put32(&b[b.size() - 4], v);
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
    int run() {
        return sim_process_block(b.data(), b.size());
    }
};

struct SimCore : ::testing::Test {
    void SetUp() override {
        sim_reset();
    }
};

TEST_F(SimCore, ReadsAndWritesAreCarriedOutInOrderUpToTheLastOffset) {
    Block k;
    k.write(0x4000, {0x11, 0x22}).read(0x3FFF, 4).read(0x034E, 2).end();
    ASSERT_EQ(k.run(), 1);
    const uint8_t seen[4] = {0x00, 0x11, 0x22, 0x00};
    EXPECT_EQ(memcmp(&k.b[14 + 16], seen, 4), 0); // the read after the write sees it
    EXPECT_EQ(k.b[14 + 20 + 17], 0x18);
    EXPECT_EQ(ipc_get32(&k.b[14 + 8]), 4u); // headers stay as they were

    Block last;
    last.write(0xFFFE, {0xAB, 0xCD}).read(0xFFFC, 4).end();
    ASSERT_EQ(last.run(), 1);
    EXPECT_EQ(sim_get(0xFFFE, 2), 0xCDABu);
    Block empty;
    EXPECT_EQ(empty.end().run(), 1);
    EXPECT_EQ(sim_process_block(empty.b.data(), 3), 0);
}

TEST_F(SimCore, AFaultyRecordStopsTheBlockAndIsRefused) {
    const struct {
        const char *what;
        Block block;
    } cases[] = {
        {"write running past the block",
         Block().write(0x4000, {1}).word(2).word(0x4001).word(100).word(0).end()},
        {"read running past the block",
         Block().write(0x4000, {1}).word(1).word(0x4001).word(0xFFFFFFFF).word(0)},
        {"read past 0xFFFF", Block().write(0x4000, {1}).read(0xFFFF, 2).write(0x4001, {2}).end()},
        {"write past 0xFFFF",
         Block().write(0x4000, {1}).write(0xFFFFFFFF, {2, 3}).write(0x4001, {2}).end()},
        {"unknown identifier",
         Block().write(0x4000, {1}).word(3).word(0x4001).word(1).word(0).write(0x4001, {2}).end()},
        {"no end marker, a header cut short", Block().write(0x4000, {1}).word(2).word(0x4001)},
        {"read header cut short", Block().write(0x4000, {1}).word(1).word(0x4001).word(1)},
        {"no end marker", Block().write(0x4000, {1})},
    };
    for (auto c : cases) {
        sim_reset();
        EXPECT_EQ(c.block.run(), 0) << c.what;
        EXPECT_EQ(sim_get(0x4000, 1), 1u) << c.what << ": the record before the fault counts";
        EXPECT_EQ(sim_get(0x4001, 1), 0u) << c.what << ": nothing after it is written";
        EXPECT_EQ(sim_get(0xFFFF, 1), 0u) << c.what;
    }
}

TEST_F(SimCore, TheIdentityCannotBeOverwrittenByClients) {
    EXPECT_GE(sim_get(0x3304, 4), 0x19980005u);
    uint32_t marker = sim_get(0x3308, 4);
    EXPECT_EQ(marker >> 16, 0xFADEu);
    ASSERT_EQ(Block()
                  .write(0x330A, {0xD2, 0x07})
                  .write(0x3300, std::vector<uint8_t>(16, 0xFF))
                  .end()
                  .run(),
              1);
    EXPECT_EQ(sim_get(0x3308, 4), marker);
    EXPECT_EQ(sim_client_lib_version, 2002u);
    EXPECT_EQ(sim_get(0x3300, 4), 0xFFFFFFFFu); // the bytes around it do change
    EXPECT_EQ(sim_get(0x330C, 4), 0xFFFFFFFFu);
}

TEST_F(SimCore, EveryClientWriteIsLoggedOnOneLine) {
    FILE *log = tmpfile();
    ASSERT_NE(log, (FILE *)NULL);
    sim_set_log(log);
    ASSERT_EQ(Block().write(0x32FA, {0x05, 0x00}).read(0x034E, 2).write(0x0B5C, {}).end().run(), 1);
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
    std::string text = "Valdora V2.08 Connected";
    std::vector<uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    ASSERT_EQ(Block().write(0x3380, bytes).end().run(), 1);
    EXPECT_EQ(sim_message_count, 0u);
    ASSERT_EQ(Block().write(0x32FA, {0x05, 0x00}).end().run(), 1);
    EXPECT_EQ(sim_message_count, 1u);
    EXPECT_EQ(std::string(sim_message_text), text);
    EXPECT_EQ(sim_message_seconds, 5);
}

TEST(SimReap, OnlyBlocksOfEndedProcessesGo) {
    EXPECT_EQ(sim_process_ended((int)getpid()), 0);
    pid_t p = fork();
    if (p == 0)
        _exit(0);
    for (int i = 0; i < 500 && !sim_process_ended((int)p); i++) // a zombie counts as ended
        usleep(10000);
    EXPECT_EQ(sim_process_ended((int)p), 1);
    waitpid(p, NULL, 0);
    EXPECT_EQ(sim_process_ended((int)p), 1);

    char names[3][64];
    snprintf(names[0], 64, "FsasmLib:IPC:%X:1", (unsigned)p); // left behind: removed
    snprintf(names[1], 64, "FsasmLib:IPC:%X:7777", (unsigned)getpid());
    snprintf(names[2], 64, "FsasmLib:IPC:%X0:1", (unsigned)p);
    HANDLE h[3];
    for (int i = 0; i < 3; i++)
        ASSERT_TRUE(
            h[i] = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, 64, names[i]));
    EXPECT_EQ(sim_remove_blocks_of((int)p), 1);
    struct stat st;
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(stat((std::string("/dev/shm/") + names[i]).c_str(), &st) == 0, i != 0)
            << names[i];
        CloseHandle(h[i]);
    }
}

} // namespace
