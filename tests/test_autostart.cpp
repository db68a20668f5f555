// The engine autostart: each phase of each engine at and below its speed threshold with its
// writes and pauses, both engines sharing the fuel pump byte, engines left alone, and failed
// exchanges: which phases stay, which go on, and no stale pump byte ever written.
#include "tests/support/testboards.h"

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

class Autostart : public CockpitTest, public ::testing::WithParamInterface<int> {
  protected:
    const engine &e = engines[GetParam()];
    // One call in a phase, with the exchange after `fail` good ones refused (-1: none).
    void step(int phase, int fail = -1) {
        *e.starting = 1, *e.phase = phase;
        forget();
        if (fail >= 0)
            testfail_after(fail);
        engine_autostart();
        EXPECT_EQ(testsim_writes_to(0x3380).size(), fail >= 0 ? 1u : 0u) << "reconnected";
    }
};

TEST_P(Autostart, EachPhaseAtAndBelowItsThreshold) {
    const uint32_t o = e.own_bit, t = engines[1 - GetParam()].own_bit;
    // Phase 1 adds the engine's bit to the pump byte; phase 3 keeps only the other engine's.
    const std::string engage = put(0x3125, 1, 0x80 | t | o) + put(e.throttle, 2, 16384) +
                               put(e.starter, 2, 1),
                      cut_out = put(e.starter, 2, 2) + put(0x3125, 1, t);
    // {phase, speed, pump byte; phase, flag and ignition after; writes; pauses}
    // clang-format off
    const struct { int phase; uint32_t speed, pump; int after; std::string sent; Pauses pauses; } rows[] = {
        {1, 0, 0x80 | t, 210, engage, {200}}, {2, 1114, 0, 210, "", {200}},
        {2, 1115, 0, 311, "", {200, 200}}, {2, 0x8000, 0, 210, "", {200}}, // -32768
        {3, 8191, 0xF0 | o | t, 311, "", {200}}, {3, 8192, 0xF0 | o | t, 410, cut_out, {200}},
        {4, 10334, 0, 410, "", {}}, {4, 10335, 0, 100, put(e.generator, 4, 1), {}}};
    // clang-format on
    for (const auto &r : rows) {
        SCOPED_TRACE(testing::Message() << "phase " << r.phase << " speed " << r.speed);
        testsim_set(e.speed, 2, r.speed), testsim_set(0x3125, 1, r.pump);
        *e.ignition = r.phase == 3;
        step(r.phase);
        EXPECT_EQ(*e.phase * 100 + *e.starting * 10 + *e.ignition, r.after);
        EXPECT_EQ(sent(), r.sent);
        EXPECT_EQ(testsleep_pauses(), r.pauses);
    }
    // Only a flag of exactly 1 with a phase 1 to 4 runs.
    int before = testsim_requests();
    for (auto sp : {std::pair<int, int>{0, 1}, {1, 0}, {1, 5}, {1, -1}, {2, 1}}) {
        *e.starting = sp.first, *e.phase = sp.second;
        EXPECT_TRUE(engine_autostart() == 1 && *e.phase == sp.second) << sp.first << sp.second;
    }
    EXPECT_EQ(testsim_requests(), before);
}

TEST_P(Autostart, FailedExchanges) {
    step(1, 1); // the write fails: engine 1 alone repeats the phase, and nothing is written
    EXPECT_EQ(*e.phase, GetParam() == 0 ? 1 : 2);
    EXPECT_EQ(testsim_get(e.starter, 2) + testsim_get(0x3125, 1), 0u);
    EXPECT_EQ(testsleep_pauses().back(), 200u);
    // The pump byte cannot be read: nothing written for either engine, the phase stays; the
    // next call reads afresh and goes on.
    testsim_set(0x3125, 1, 0x80), char_value = 0x10;
    step(1, 0);
    EXPECT_EQ(sent() + std::to_string(*e.phase) + std::to_string(testsleep_pauses().back()),
              "1200");
    engine_autostart();
    EXPECT_EQ(testsim_get(0x3125, 1) * 10 + *e.phase, (0x80u | e.own_bit) * 10 + 2);
    testsim_set(e.speed, 2, 5000), step(2, 0);
    EXPECT_EQ(*e.phase * 10 + *e.ignition + testsleep_pauses().back(), 220u);
    // Phase 3: {good exchanges, phase after, ignition after}: pump read, speed read, write.
    testsim_set(0x3125, 1, 0x03), testsim_set(e.starter, 2, 0), testsim_set(e.speed, 2, 9000);
    char_value = 0x01;
    for (auto r : {std::vector<int>{0, 3, 1}, {1, 3, 1}, {2, 4, 0}}) {
        *e.ignition = 1, step(3, r[0]);
        EXPECT_EQ(*e.phase * 10 + *e.ignition, r[1] * 10 + r[2]) << r[0];
        EXPECT_EQ(testsim_get(e.starter, 2) * 16 + testsim_get(0x3125, 1), 0x03u);
    }
}

INSTANTIATE_TEST_SUITE_P(BothEngines, Autostart, ::testing::Values(0, 1));

} // namespace
