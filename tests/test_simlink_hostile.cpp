// A server that rewrites the block before answering (sizes, identifiers, destinations, the end
// marker) must not steer the client's reply walk outside the block or past a destination.
// The destinations are heap buffers of exactly their queued size, so an address sanitizer
// build catches any byte written beyond them; the guards catch it in a plain build.
#include "simlink/simlink.h"
#include "tests/support/testsim.h"

#include <gtest/gtest.h>
#include <string.h>

namespace {

// Little-endian word at p.
void put32(uint8_t *p, uint32_t v) {
    memcpy(p, &v, 4);
}

// Where the reads of the standard queue below sit in the block.
const size_t first_read = 0;   // 4 bytes at 0x034E..0x0351: 16 + 4
const size_t the_write = 20;   // 2 bytes: 12 + 2
const size_t second_read = 34; // 2 bytes at 0x3118: 16 + 2
const size_t end_marker = 52;

void huge_sizes(uint8_t *block, size_t) {
    put32(block + first_read + 8, 0xFFFFFFF0u);
    put32(block + the_write + 8, 0x7FFFFFFFu);
    put32(block + second_read + 8, 40000);
}

void slightly_larger_sizes(uint8_t *block, size_t) {
    put32(block + first_read + 8, 8);
    put32(block + second_read + 8, 6);
}

void write_made_a_read(uint8_t *block, size_t) {
    put32(block + the_write, 1); // its "destination" would be the first two data bytes
}

void first_read_made_a_write(uint8_t *block, size_t) {
    put32(block + first_read, 2);
}

void end_marker_made_a_read(uint8_t *block, size_t) {
    put32(block + end_marker, 1);
    put32(block + end_marker + 8, 0x10000);
    memset(block + end_marker + 16, 0xEE, 64);
}

void unknown_identifier_in_the_middle(uint8_t *block, size_t) {
    put32(block + the_write, 0x01010101);
}

void everything_overwritten(uint8_t *block, size_t size) {
    memset(block, 0x01, size);
}

void destinations_redirected(uint8_t *block, size_t) {
    put32(block + first_read + 12, 0x00001000);
    put32(block + second_read + 12, 0xFFFFFFFF);
}

struct HostileCase {
    const char *name;
    void (*tamper)(uint8_t *block, size_t size);
    bool first_delivered, second_delivered;
};

struct HostileTest : ::testing::TestWithParam<HostileCase> {
    void SetUp() override {
        testsleep_record();
        testsim_start();
        DWORD rc;
        ASSERT_TRUE(FSUIPC_Open(0, &rc));
    }
    void TearDown() override {
        FSUIPC_Close();
        testsim_stop();
        testsleep_real();
    }
};

TEST_P(HostileTest, TheReplyWalkStaysInsideWhatWasQueued) {
    const HostileCase &c = GetParam();
    const size_t guard = 16;
    // Exactly sized destinations, plus guarded copies for builds without the sanitizer.
    uint8_t *first = new uint8_t[4];
    uint8_t *second = new uint8_t[2];
    uint8_t fenced[guard + 4 + guard];
    memset(first, 0x5A, 4);
    memset(second, 0x5A, 2);
    memset(fenced, 0x5A, sizeof fenced);
    uint16_t value = 0x0102;
    DWORD rc;

    testsim_tamper(c.tamper);
    ASSERT_TRUE(FSUIPC_Read(0x034E, 4, first, &rc));
    ASSERT_TRUE(FSUIPC_Write(0x4000, 2, &value, &rc));
    ASSERT_TRUE(FSUIPC_Read(0x3118, 2, second, &rc));
    ASSERT_TRUE(FSUIPC_Process(&rc)) << rc;
    EXPECT_EQ(rc, 0u);

    // The same again into a fenced destination, to see the bytes around it.
    ASSERT_TRUE(FSUIPC_Read(0x034E, 4, fenced + guard, &rc));
    ASSERT_TRUE(FSUIPC_Write(0x4000, 2, &value, &rc));
    ASSERT_TRUE(FSUIPC_Read(0x3118, 2, second, &rc));
    ASSERT_TRUE(FSUIPC_Process(&rc));
    for (size_t i = 0; i < guard; i++) {
        EXPECT_EQ(fenced[i], 0x5A) << "before the destination, byte " << i;
        EXPECT_EQ(fenced[guard + 4 + i], 0x5A) << "after the destination, byte " << i;
    }

    // A delivered read holds the simulator's bytes (COM1 0x1800 then NAV1's low half).
    const uint8_t com1_nav1[4] = {0x00, 0x18, (uint8_t)testsim_get(0x0350, 1),
                                  (uint8_t)testsim_get(0x0351, 1)};
    if (c.first_delivered) {
        EXPECT_EQ(memcmp(first, com1_nav1, 4), 0);
        EXPECT_EQ(memcmp(fenced + guard, com1_nav1, 4), 0);
    } else {
        for (int i = 0; i < 4; i++)
            EXPECT_EQ(first[i], 0x5A);
    }
    if (c.second_delivered) {
        EXPECT_EQ(second[0], 0x50);
        EXPECT_EQ(second[1], 0x21);
    } else {
        EXPECT_EQ(second[0], 0x5A);
        EXPECT_EQ(second[1], 0x5A);
    }
    delete[] first;
    delete[] second;

    // The link goes on working once the server behaves.
    testsim_tamper(NULL);
    uint16_t xpdr = 0;
    ASSERT_TRUE(FSUIPC_Read(0x0354, 2, &xpdr, &rc));
    ASSERT_TRUE(FSUIPC_Process(&rc));
    EXPECT_EQ(xpdr, 0x1200);
}

INSTANTIATE_TEST_SUITE_P(
    Tampering, HostileTest,
    ::testing::Values(HostileCase{"HugeSizes", huge_sizes, true, true},
                      HostileCase{"SlightlyLargerSizes", slightly_larger_sizes, true, true},
                      HostileCase{"WriteMadeARead", write_made_a_read, true, true},
                      HostileCase{"FirstReadMadeAWrite", first_read_made_a_write, false, true},
                      HostileCase{"EndMarkerMadeARead", end_marker_made_a_read, true, true},
                      HostileCase{"UnknownIdentifier", unknown_identifier_in_the_middle, true,
                                  false},
                      HostileCase{"EverythingOverwritten", everything_overwritten, false, false},
                      HostileCase{"DestinationsRedirected", destinations_redirected, true, true}),
    [](const ::testing::TestParamInfo<HostileCase> &info) { return info.param.name; });

} // namespace
