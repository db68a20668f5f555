// Tests of the engine autostart against the in-process stand-in simulator: each phase of each
// engine with its speed threshold, its writes and its pauses, both engines sharing the fuel
// pump byte, and engines whose flag or phase leaves them alone.
#include <gtest/gtest.h>

#include "app/app.h"
#include "autostart/autostart.h"
#include "lamps/lamps.h"
#include "simlink/simlink.h"
#include "tests/support/testsim.h"

namespace {

struct engine {
    const char *name;
    int *starting, *phase;
    int32_t *ignition;
    uint32_t own_bit, other_bit;
    uint32_t throttle, starter, speed, generator;
};

const engine engines[2] = {
    {"engine 1", &eng1_starting, &eng1_start_phase, &l_ign_switch, 0x01, 0x02, 0x0890, 0x0892,
     0x0896, 0x3B7C},
    {"engine 2", &eng2_starting, &eng2_start_phase, &r_ign_switch, 0x02, 0x01, 0x0928, 0x092A,
     0x092E, 0x3ABC},
};

class Autostart : public ::testing::TestWithParam<int> {
  protected:
    const engine &e = engines[GetParam()];
    const engine &other = engines[1 - GetParam()];

    void SetUp() override {
        testsim_start();
        testsleep_record();
        ASSERT_TRUE(FSUIPC_Open(0, &dwResult));
        eng1_starting = eng2_starting = 0;
        eng1_start_phase = eng2_start_phase = 1;
        l_ign_switch = r_ign_switch = 0;
    }
    void TearDown() override {
        FSUIPC_Close();
        testsim_stop();
        testsleep_real();
        eng1_starting = eng2_starting = 0;
        eng1_start_phase = eng2_start_phase = 1;
    }

    // One call with the engine in the given phase; the pauses it made.
    std::vector<unsigned> step_in_phase(int phase) {
        *e.starting = 1;
        *e.phase = phase;
        testsleep_clear();
        testsim_clear_writes();
        EXPECT_EQ(engine_autostart(), 1);
        return testsleep_pauses();
    }
};

TEST_P(Autostart, PhaseOneSetsPumpBitThrottleAndStarter) {
    testsim_set(0x3125, 1, 0x80 | other.own_bit);
    std::vector<unsigned> pauses = step_in_phase(1);
    EXPECT_EQ(testsim_get(0x3125, 1), 0x80u | other.own_bit | e.own_bit);
    EXPECT_EQ(testsim_get(e.throttle, 2), 16384u);
    EXPECT_EQ(testsim_get(e.starter, 2), 1u);
    EXPECT_EQ(*e.phase, 2);
    EXPECT_EQ(*e.starting, 1);
    EXPECT_EQ(pauses, std::vector<unsigned>({200}));

    auto writes = testsim_writes();
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[0].offset, 0x3125u);
    EXPECT_EQ(writes[0].data.size(), 1u);
    EXPECT_EQ(writes[1].offset, e.throttle);
    EXPECT_EQ(writes[1].data.size(), 2u);
    EXPECT_EQ(writes[2].offset, e.starter);
    EXPECT_EQ(writes[2].data.size(), 2u);
}

TEST_P(Autostart, PhaseTwoWaitsForLightOffAt1115) {
    testsim_set(e.speed, 2, 1114);
    std::vector<unsigned> pauses = step_in_phase(2);
    EXPECT_EQ(*e.phase, 2);
    EXPECT_EQ(*e.ignition, 0);
    EXPECT_EQ(pauses, std::vector<unsigned>({200}));
    EXPECT_TRUE(testsim_writes().empty());

    testsim_set(e.speed, 2, 1115);
    pauses = step_in_phase(2);
    EXPECT_EQ(*e.phase, 3);
    EXPECT_EQ(*e.ignition, 1);
    EXPECT_EQ(pauses, std::vector<unsigned>({200, 200}));
    EXPECT_TRUE(testsim_writes().empty());
}

TEST_P(Autostart, PhaseTwoReadsTheSpeedAsSigned) {
    testsim_set(e.speed, 2, 0x8000); // -32768, not 32768
    step_in_phase(2);
    EXPECT_EQ(*e.phase, 2);
}

TEST_P(Autostart, PhaseThreeCutsOutTheStarterAtHalfSpeed) {
    *e.ignition = 1;
    testsim_set(0x3125, 1, 0xF0 | e.own_bit | other.own_bit);
    testsim_set(e.speed, 2, 8191);
    std::vector<unsigned> pauses = step_in_phase(3);
    EXPECT_EQ(*e.phase, 3);
    EXPECT_EQ(*e.ignition, 1);
    EXPECT_TRUE(testsim_writes().empty());
    EXPECT_EQ(pauses, std::vector<unsigned>({200}));

    testsim_set(e.speed, 2, 8192);
    pauses = step_in_phase(3);
    EXPECT_EQ(*e.phase, 4);
    EXPECT_EQ(*e.ignition, 0);
    EXPECT_EQ(testsim_get(e.starter, 2), 2u);
    EXPECT_EQ(testsim_get(0x3125, 1), other.own_bit) << "only the other engine's bit is kept";
    EXPECT_EQ(pauses, std::vector<unsigned>({200}));
    auto writes = testsim_writes();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].offset, e.starter);
    EXPECT_EQ(writes[1].offset, 0x3125u);
}

TEST_P(Autostart, PhaseFourPutsTheGeneratorOnLineAtTheSettledSpeed) {
    testsim_set(e.speed, 2, 10334);
    std::vector<unsigned> pauses = step_in_phase(4);
    EXPECT_EQ(*e.phase, 4);
    EXPECT_EQ(*e.starting, 1);
    EXPECT_TRUE(pauses.empty());
    EXPECT_TRUE(testsim_writes().empty());

    testsim_set(e.speed, 2, 10335);
    pauses = step_in_phase(4);
    EXPECT_EQ(*e.phase, 1);
    EXPECT_EQ(*e.starting, 0);
    EXPECT_TRUE(pauses.empty());
    auto writes = testsim_writes_to(e.generator);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].data.size(), 4u);
    EXPECT_EQ(writes[0].value(), 1u);
}

TEST_P(Autostart, EngineNotStartingOrOutOfPhaseIsLeftAlone) {
    int before = testsim_requests();
    *e.starting = 0;
    *e.phase = 1;
    testsleep_clear();
    engine_autostart();
    *e.starting = 1;
    for (int phase : {0, 5, -1}) {
        *e.phase = phase;
        engine_autostart();
        EXPECT_EQ(*e.phase, phase);
    }
    *e.starting = 2; // only exactly 1 runs
    *e.phase = 1;
    engine_autostart();
    EXPECT_EQ(*e.phase, 1);
    EXPECT_EQ(testsim_requests(), before);
    EXPECT_TRUE(testsleep_pauses().empty());
}

TEST_P(Autostart, WholeStartWithTheSpeedRising) {
    *e.starting = 1;
    *e.phase = 1;
    const int speeds[] = {0, 500, 1200, 4000, 8300, 9000, 10400};
    int phases[7];
    for (int i = 0; i < 7; i++) {
        testsim_set(e.speed, 2, (uint32_t)speeds[i]);
        engine_autostart();
        phases[i] = *e.starting ? *e.phase : 0;
    }
    // 1 -> 2 at once; 2 waits at 500; 3 at 1200; 3 waits at 4000; 4 at 8300; waits; done.
    const int expected[7] = {2, 2, 3, 3, 4, 4, 0};
    for (int i = 0; i < 7; i++)
        EXPECT_EQ(phases[i], expected[i]) << "call " << i;
    EXPECT_EQ(testsim_get(e.generator, 4), 1u);
    EXPECT_EQ(testsim_get(e.starter, 2), 2u);
    EXPECT_EQ(testsim_get(0x3125, 1) & e.own_bit, 0u);
}

INSTANTIATE_TEST_SUITE_P(BothEngines, Autostart, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int> &info) {
                             return std::string(info.param == 0 ? "Engine1" : "Engine2");
                         });

class AutostartBoth : public ::testing::Test {
  protected:
    void SetUp() override {
        testsim_start();
        testsleep_record();
        ASSERT_TRUE(FSUIPC_Open(0, &dwResult));
        eng1_starting = eng2_starting = 1;
        eng1_start_phase = eng2_start_phase = 1;
        l_ign_switch = r_ign_switch = 0;
    }
    void TearDown() override {
        FSUIPC_Close();
        testsim_stop();
        testsleep_real();
        eng1_starting = eng2_starting = 0;
        eng1_start_phase = eng2_start_phase = 1;
    }
};

TEST_F(AutostartBoth, BothEnginesShareThePumpByteAndEachClearsOnlyItsOwnBit) {
    testsim_set(0x3125, 1, 0x40);
    testsleep_clear();
    engine_autostart();
    EXPECT_EQ(testsim_get(0x3125, 1), 0x43u);
    EXPECT_EQ(eng1_start_phase, 2);
    EXPECT_EQ(eng2_start_phase, 2);
    EXPECT_EQ(testsleep_pauses(), std::vector<unsigned>({200, 200}));

    // Both light off in one call, engine 1 first.
    testsim_set(0x0896, 2, 2000);
    testsim_set(0x092E, 2, 2000);
    testsleep_clear();
    engine_autostart();
    EXPECT_EQ(l_ign_switch, 1);
    EXPECT_EQ(r_ign_switch, 1);
    EXPECT_EQ(testsleep_pauses(), std::vector<unsigned>({200, 200, 200, 200}));

    // Engine 1 reaches cut-out first: it clears its own bit and the stray one, keeps bit 1.
    testsim_set(0x0896, 2, 8500);
    engine_autostart();
    EXPECT_EQ(eng1_start_phase, 4);
    EXPECT_EQ(eng2_start_phase, 3);
    EXPECT_EQ(testsim_get(0x3125, 1), 0x02u);
    EXPECT_EQ(l_ign_switch, 0);
    EXPECT_EQ(r_ign_switch, 1);

    // Then engine 2: bit 0 was already clear, so the byte ends at 0.
    testsim_set(0x092E, 2, 8500);
    engine_autostart();
    EXPECT_EQ(eng2_start_phase, 4);
    EXPECT_EQ(testsim_get(0x3125, 1), 0x00u);
}

} // namespace
