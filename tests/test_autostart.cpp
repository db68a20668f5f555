// The engine autostart: each phase of each engine at and below its speed threshold with its
// writes and pauses, both engines sharing the fuel pump byte, engines left alone, and failed
// exchanges: which phases stay, which go on, and no stale pump byte ever written.
#include "tests/support/testboards.h"

#include <algorithm>

namespace {

typedef std::vector<uint32_t> W;

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
        *e.starting = 1;
        *e.phase = phase;
        forget();
        if (fail >= 0)
            testfail_after(fail);
        engine_autostart();
        EXPECT_EQ(testsim_writes_to(0x3380).size(), fail >= 0 ? 1u : 0u) << "reconnected";
    }
    // The bytes the last call wrote, the reconnection's own left out.
    static size_t bytes() {
        size_t n = 0;
        for (const testsim_write &w : testsim_writes())
            n += w.offset == 0x3380 || w.offset == 0x32FA || w.offset == 0x330A ? 0 : w.data.size();
        return n;
    }
};

TEST_P(Autostart, EachPhaseAtAndBelowItsThreshold) {
    const uint32_t o = e.own_bit, t = engines[1 - GetParam()].own_bit;
    // {phase, speed, pump byte; phase, flag and ignition after; pump byte, throttle, starter,
    // generator after; pauses; bytes written}
    // clang-format off
    const struct { int phase; uint32_t speed, pump; int after; uint32_t pump_after, throttle,
                   starter, generator; Pauses pauses; size_t bytes; } rows[] = {
        {1, 0, 0x80 | t, 210, 0x80 | t | o, 16384, 1, 0, {200}, 5}, {2, 1114, 0, 210, 0, 0, 0, 0, {200}, 0},
        {2, 1115, 0, 311, 0, 0, 0, 0, {200, 200}, 0}, {2, 0x8000, 0, 210, 0, 0, 0, 0, {200}, 0}, // -32768
        {3, 8191, 0xF0 | o | t, 311, 0xF0 | o | t, 0, 0, 0, {200}, 0},
        {3, 8192, 0xF0 | o | t, 410, t, 0, 2, 0, {200}, 3}, // only the other engine's bit is kept
        {4, 10334, 0, 410, 0, 0, 0, 0, {}, 0}, {4, 10335, 0, 100, 0, 0, 0, 1, {}, 4}};
    // clang-format on
    for (const auto &r : rows) {
        SCOPED_TRACE(testing::Message() << "phase " << r.phase << " speed " << r.speed);
        testsim_set(e.speed, 2, r.speed);
        testsim_set(0x3125, 1, r.pump);
        testsim_set(e.throttle, 2, 0);
        testsim_set(e.starter, 2, 0);
        testsim_set(e.generator, 4, 0);
        *e.ignition = r.phase == 3;
        step(r.phase);
        EXPECT_EQ(*e.phase * 100 + *e.starting * 10 + *e.ignition, r.after);
        EXPECT_EQ((W{testsim_get(0x3125, 1), testsim_get(e.throttle, 2), testsim_get(e.starter, 2),
                     testsim_get(e.generator, 4)}),
                  (W{r.pump_after, r.throttle, r.starter, r.generator}));
        EXPECT_EQ(testsleep_pauses(), r.pauses);
        EXPECT_EQ(bytes(), r.bytes);
    }
    // Only a flag of exactly 1 with a phase 1 to 4 runs.
    int before = testsim_requests();
    for (auto sp : {std::pair<int, int>{0, 1}, {1, 0}, {1, 5}, {1, -1}, {2, 1}}) {
        *e.starting = sp.first;
        *e.phase = sp.second;
        EXPECT_EQ(engine_autostart(), 1);
        EXPECT_EQ(*e.phase, sp.second);
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
    testsim_set(0x3125, 1, 0x80);
    char_value = 0x10;
    step(1, 0);
    EXPECT_EQ(bytes() * 10 + *e.phase, 1u);
    engine_autostart();
    EXPECT_EQ(testsim_get(0x3125, 1), 0x80u | e.own_bit);
    EXPECT_EQ(testsim_get(e.starter, 2) * 100000 + testsim_get(e.throttle, 2), 116384u);
    EXPECT_EQ(*e.phase, 2);
    testsim_set(e.speed, 2, 5000);
    step(2, 0);
    EXPECT_EQ(*e.phase * 10 + *e.ignition + testsleep_pauses().back(), 220u);
    // Phase 3: {good exchanges, phase after, ignition after}: pump read, speed read, write.
    testsim_set(0x3125, 1, 0x03);
    testsim_set(e.starter, 2, 0);
    testsim_set(e.speed, 2, 9000);
    char_value = 0x01;
    for (auto r : {std::vector<int>{0, 3, 1}, {1, 3, 1}, {2, 4, 0}}) {
        *e.ignition = 1;
        step(3, r[0]);
        EXPECT_EQ(*e.phase * 10 + *e.ignition, r[1] * 10 + r[2]) << r[0];
        EXPECT_EQ(testsim_get(e.starter, 2) * 16 + testsim_get(0x3125, 1), 0x03u);
    }
}

INSTANTIATE_TEST_SUITE_P(BothEngines, Autostart, ::testing::Values(0, 1));

} // namespace
