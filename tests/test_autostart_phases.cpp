// Tests of the engine autostart against the in-process stand-in simulator: each phase of each
// engine with its speed threshold, its writes and its pauses, both engines sharing the fuel
// pump byte, and engines whose flag or phase leaves them alone.
#include <gtest/gtest.h>

#include <utility>

#include "app/app.h"
#include "autostart/autostart.h"
#include "lamps/lamps.h"
#include "simlink/simlink.h"
#include "tests/support/testsim.h"

namespace {

struct engine {
    int *starting, *phase;
    int32_t *ignition;
    uint32_t own_bit, throttle, starter, speed, generator;
};

const engine engines[2] = {
    {&eng1_starting, &eng1_start_phase, &l_ign_switch, 0x01, 0x0890, 0x0892, 0x0896, 0x3B7C},
    {&eng2_starting, &eng2_start_phase, &r_ign_switch, 0x02, 0x0928, 0x092A, 0x092E, 0x3ABC},
};

class Sim : public ::testing::Test {
  protected:
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
};

class Autostart : public Sim, public ::testing::WithParamInterface<int> {};

TEST_P(Autostart, EachPhaseAtAndBelowItsThreshold) {
    const engine &e = engines[GetParam()];
    const uint32_t o = e.own_bit, t = engines[1 - GetParam()].own_bit;
    typedef std::vector<std::pair<uint32_t, size_t>> writes;
    const struct {
        int phase;
        uint32_t speed, pump;
        int phase_after, starting_after, ign_after;
        uint32_t pump_after, throttle, starter, generator;
        std::vector<unsigned> pauses;
        writes w;
        // clang-format off
    } rows[] = {
        {1, 0, 0x80 | t, 2, 1, 0, 0x80 | t | o, 16384, 1, 0, {200},
         {{0x3125, 1}, {e.throttle, 2}, {e.starter, 2}}},
        {2, 1114, 0, 2, 1, 0, 0, 0, 0, 0, {200}, {}},
        {2, 1115, 0, 3, 1, 1, 0, 0, 0, 0, {200, 200}, {}},
        {2, 0x8000, 0, 2, 1, 0, 0, 0, 0, 0, {200}, {}}, // -32768, not 32768
        {3, 8191, 0xF0 | o | t, 3, 1, 1, 0xF0 | o | t, 0, 0, 0, {200}, {}},
        // Only the other engine's bit is kept.
        {3, 8192, 0xF0 | o | t, 4, 1, 0, t, 0, 2, 0, {200}, {{e.starter, 2}, {0x3125, 1}}},
        {4, 10334, 0, 4, 1, 0, 0, 0, 0, 0, {}, {}},
        {4, 10335, 0, 1, 0, 0, 0, 0, 0, 1, {}, {{e.generator, 4}}},
    };
    // clang-format on
    for (const auto &r : rows) {
        SCOPED_TRACE(testing::Message() << "phase " << r.phase << " speed " << r.speed);
        testsim_set(e.speed, 2, r.speed);
        testsim_set(0x3125, 1, r.pump);
        testsim_set(e.throttle, 2, 0);
        testsim_set(e.starter, 2, 0);
        testsim_set(e.generator, 4, 0);
        *e.ignition = r.phase == 3;
        *e.starting = 1;
        *e.phase = r.phase;
        testsleep_clear();
        testsim_clear_writes();
        EXPECT_EQ(engine_autostart(), 1);
        EXPECT_EQ(*e.phase, r.phase_after);
        EXPECT_EQ(*e.starting, r.starting_after);
        EXPECT_EQ(*e.ignition, r.ign_after);
        EXPECT_EQ(testsim_get(0x3125, 1), r.pump_after);
        EXPECT_EQ(testsim_get(e.throttle, 2), r.throttle);
        EXPECT_EQ(testsim_get(e.starter, 2), r.starter);
        EXPECT_EQ(testsim_get(e.generator, 4), r.generator);
        EXPECT_EQ(testsleep_pauses(), r.pauses);
        writes got;
        for (auto &w : testsim_writes())
            got.push_back({w.offset, w.data.size()});
        EXPECT_EQ(got, r.w);
    }
}

TEST_P(Autostart, EngineNotStartingOrOutOfPhaseIsLeftAlone) {
    const engine &e = engines[GetParam()];
    int before = testsim_requests();
    testsleep_clear();
    // {starting, phase}: only starting exactly 1 in phases 1 to 4 runs.
    for (auto sp : {std::pair<int, int>{0, 1}, {1, 0}, {1, 5}, {1, -1}, {2, 1}}) {
        *e.starting = sp.first;
        *e.phase = sp.second;
        engine_autostart();
        EXPECT_EQ(*e.phase, sp.second);
    }
    EXPECT_EQ(testsim_requests(), before);
    EXPECT_TRUE(testsleep_pauses().empty());
}

INSTANTIATE_TEST_SUITE_P(BothEngines, Autostart, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int> &info) {
                             return std::string(info.param == 0 ? "Engine1" : "Engine2");
                         });

TEST_F(Sim, BothEnginesShareThePumpByteAndEachClearsOnlyItsOwnBit) {
    eng1_starting = eng2_starting = 1;
    testsim_set(0x3125, 1, 0x40);
    testsleep_clear();
    engine_autostart();
    EXPECT_EQ(testsim_get(0x3125, 1), 0x43u);
    EXPECT_EQ(eng1_start_phase, 2);
    EXPECT_EQ(eng2_start_phase, 2);
    EXPECT_EQ(testsleep_pauses(), std::vector<unsigned>({200, 200}));

    testsim_set(0x0896, 2, 2000); // both light off in one call
    testsim_set(0x092E, 2, 2000);
    engine_autostart();
    EXPECT_EQ(l_ign_switch, 1);
    EXPECT_EQ(r_ign_switch, 1);

    // Engine 1 cuts out first: it clears its own bit and the stray one, keeps bit 1.
    testsim_set(0x0896, 2, 8500);
    engine_autostart();
    EXPECT_EQ(eng1_start_phase, 4);
    EXPECT_EQ(eng2_start_phase, 3);
    EXPECT_EQ(testsim_get(0x3125, 1), 0x02u);
    EXPECT_EQ(r_ign_switch, 1);

    testsim_set(0x092E, 2, 8500);
    engine_autostart();
    EXPECT_EQ(eng2_start_phase, 4);
    EXPECT_EQ(testsim_get(0x3125, 1), 0x00u);
}

} // namespace
