// A server that rewrites the block before answering (sizes, identifiers, destinations, the end
// marker) must not steer the client's reply walk outside the block or past a destination.
// The destinations are heap buffers of exactly their queued size, so an address sanitizer
// build catches any byte written beyond them; the guards catch it in a plain build.
#include "simlink/simlink.h"
#include "tests/support/testsim.h"

#include <gtest/gtest.h>
#include <string.h>

namespace {

void put32(uint8_t *p, uint32_t v) {
    memcpy(p, &v, 4);
}

// The standard queue below: read 4 at 0, write 2 at 20, read 2 at 34, end marker at 52.
struct HostileCase {
    const char *name;
    void (*tamper)(uint8_t *block, size_t size);
    bool first_delivered, second_delivered;
};

const HostileCase cases[] = {
    {"HugeSizes",
     [](uint8_t *b, size_t) {
         put32(b + 8, 0xFFFFFFF0u), put32(b + 28, 0x7FFFFFFFu), put32(b + 42, 40000);
     },
     true, true},
    {"SlightlyLargerSizes", [](uint8_t *b, size_t) { put32(b + 8, 8), put32(b + 42, 6); }, true,
     true},
    {"WriteMadeARead", [](uint8_t *b, size_t) { put32(b + 20, 1); }, true, true},
    {"FirstReadMadeAWrite", [](uint8_t *b, size_t) { put32(b, 2); }, false, true},
    {"EndMarkerMadeARead",
     [](uint8_t *b, size_t) { put32(b + 52, 1), put32(b + 60, 0x10000), memset(b + 68, 0xEE, 64); },
     true, true},
    {"UnknownIdentifier", [](uint8_t *b, size_t) { put32(b + 20, 0x01010101); }, true, false},
    {"EverythingOverwritten", [](uint8_t *b, size_t size) { memset(b, 0x01, size); }, false, false},
    {"DestinationsRedirected",
     [](uint8_t *b, size_t) { put32(b + 12, 0x00001000), put32(b + 46, 0xFFFFFFFF); }, true, true},
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
    uint8_t *first = new uint8_t[4], *second = new uint8_t[2], fenced[guard + 4 + guard];
    memset(first, 0x5A, 4);
    memset(second, 0x5A, 2);
    memset(fenced, 0x5A, sizeof fenced);
    uint16_t value = 0x0102;
    DWORD rc;
    testsim_tamper(c.tamper);
    for (uint8_t *dest : {first, fenced + guard}) {
        ASSERT_TRUE(FSUIPC_Read(0x034E, 4, dest, &rc));
        ASSERT_TRUE(FSUIPC_Write(0x4000, 2, &value, &rc));
        ASSERT_TRUE(FSUIPC_Read(0x3118, 2, second, &rc));
        ASSERT_TRUE(FSUIPC_Process(&rc)) << rc;
        EXPECT_EQ(rc, 0u);
    }
    for (size_t i = 0; i < guard; i++) {
        EXPECT_EQ(fenced[i], 0x5A) << "before the destination, byte " << i;
        EXPECT_EQ(fenced[guard + 4 + i], 0x5A) << "after the destination, byte " << i;
    }
    // A delivered read holds the simulator's bytes (COM1 0x1800 then NAV1's low half).
    const uint8_t com1_nav1[4] = {0x00, 0x18, (uint8_t)testsim_get(0x0350, 1),
                                  (uint8_t)testsim_get(0x0351, 1)};
    const uint8_t fresh[4] = {0x5A, 0x5A, 0x5A, 0x5A}, com2[2] = {0x50, 0x21};
    EXPECT_EQ(memcmp(first, c.first_delivered ? com1_nav1 : fresh, 4), 0);
    if (c.first_delivered) {
        EXPECT_EQ(memcmp(fenced + guard, com1_nav1, 4), 0);
    }
    EXPECT_EQ(memcmp(second, c.second_delivered ? com2 : fresh, 2), 0);
    delete[] first;
    delete[] second;

    testsim_tamper(NULL); // the link goes on working once the server behaves
    uint16_t xpdr = 0;
    ASSERT_TRUE(FSUIPC_Read(0x0354, 2, &xpdr, &rc));
    ASSERT_TRUE(FSUIPC_Process(&rc));
    EXPECT_EQ(xpdr, 0x1200);
}

INSTANTIATE_TEST_SUITE_P(Tampering, HostileTest, ::testing::ValuesIn(cases),
                         [](const ::testing::TestParamInfo<HostileCase> &info) {
                             return info.param.name;
                         });

} // namespace
