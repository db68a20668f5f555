// Tests of the engine autostart when simulator exchanges fail: which phases stay and which go
// on, the stale fuel pump byte, and the reconnection after each failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <errno.h>

#include "app/app.h"
#include "autostart/autostart.h"
#include "lamps/lamps.h"
#include "simlink/simlink.h"
#include "tests/support/testsim.h"

namespace {

// Refuses the request that follows the next `successes` successful ones (counted on the
// simulator's thread), so a later exchange of a step fails while the earlier ones go through.
std::atomic<int> successes_left(0);

void count_down(uint8_t *, size_t) {
    if (--successes_left == 0) {
        testsim_fail_next(1);
        testsim_tamper(nullptr);
    }
}

struct engine {
    int *starting, *phase;
    int32_t *ignition;
    uint32_t own_bit, throttle, starter, speed, generator;
};

const engine engines[2] = {
    {&eng1_starting, &eng1_start_phase, &l_ign_switch, 0x01, 0x0890, 0x0892, 0x0896, 0x3B7C},
    {&eng2_starting, &eng2_start_phase, &r_ign_switch, 0x02, 0x0928, 0x092A, 0x092E, 0x3ABC},
};

class AutostartFailures : public ::testing::TestWithParam<int> {
  protected:
    const engine &e = engines[GetParam()];

    static void SetUpTestSuite() {
        install_allegro(SYSTEM_NONE, &errno, atexit); // the reconnection sets the window title
    }
    void SetUp() override {
        testsim_start();
        testsleep_record();
        ASSERT_TRUE(FSUIPC_Open(0, &dwResult));
        loop = 1;
        eng1_starting = eng2_starting = 0;
        eng1_start_phase = eng2_start_phase = 1;
        l_ign_switch = r_ign_switch = 0;
    }
    void TearDown() override {
        testsim_tamper(nullptr);
        FSUIPC_Close();
        testsim_stop();
        testsleep_real();
        eng1_starting = eng2_starting = 0;
        eng1_start_phase = eng2_start_phase = 1;
    }

    // One call in the given phase with the given exchange failing; checks that it reconnected
    // (the program announced itself again) and gives the pauses it made.
    std::vector<unsigned> step_failing(int phase, int successes_before_failure) {
        *e.starting = 1;
        *e.phase = phase;
        testsim_clear_writes();
        testsleep_clear();
        if (successes_before_failure == 0)
            testsim_fail_next(1);
        else {
            successes_left = successes_before_failure;
            testsim_tamper(count_down);
        }
        engine_autostart();
        EXPECT_FALSE(testsim_writes_to(0x3380).empty());
        EXPECT_EQ(connected, 1);
        return testsleep_pauses();
    }
};

TEST_P(AutostartFailures, PhasesOneAndTwo) {
    // The write fails: engine 1 alone repeats the phase, and nothing is written.
    EXPECT_EQ(step_failing(1, 1).back(), 200u);
    EXPECT_EQ(*e.phase, GetParam() == 0 ? 1 : 2);
    EXPECT_EQ(testsim_get(e.starter, 2), 0u);
    EXPECT_EQ(testsim_get(0x3125, 1), 0u);
    if (GetParam() == 0) { // engine 1 tries again on the next call and gets through
        engine_autostart();
        EXPECT_EQ(*e.phase, 2);
        EXPECT_EQ(testsim_get(e.starter, 2), 1u);
        testsim_set(e.starter, 2, 0);
        testsim_set(e.throttle, 2, 0);
    }

    // The pump byte read fails: nothing is written (no stale byte), and the phase stays for
    // both engines; the next call reads afresh and goes on.
    testsim_set(0x3125, 1, 0x80);
    char_value = 0x10;
    EXPECT_EQ(step_failing(1, 0).back(), 200u);
    EXPECT_TRUE(testsim_writes_to(0x3125).empty());
    EXPECT_TRUE(testsim_writes_to(e.starter).empty());
    EXPECT_EQ(*e.phase, 1);
    engine_autostart();
    EXPECT_EQ(testsim_get(0x3125, 1), 0x80u | e.own_bit);
    EXPECT_EQ(testsim_get(e.starter, 2), 1u);
    EXPECT_EQ(testsim_get(e.throttle, 2), 16384u);
    EXPECT_EQ(*e.phase, 2);

    testsim_set(e.speed, 2, 5000);
    EXPECT_EQ(step_failing(2, 0).back(), 200u);
    EXPECT_EQ(*e.phase, 2);
    EXPECT_EQ(*e.ignition, 0);
}

TEST_P(AutostartFailures, PhaseThreeSpeedReadWaitsButFinalWriteStillMovesOn) {
    *e.ignition = 1;
    testsim_set(0x3125, 1, 0x03);
    testsim_set(e.speed, 2, 9000);
    // {exchanges that go through, phase after, ignition after}
    char_value = 0x01; // a stale byte that must not reach the simulator
    for (auto r : {std::vector<int>{0, 3, 1}, {1, 3, 1}, {2, 4, 0}}) {
        step_failing(3, r[0]);
        EXPECT_EQ(*e.phase, r[1]);
        EXPECT_EQ(*e.ignition, r[2]);
        EXPECT_EQ(testsim_get(e.starter, 2), 0u);
        EXPECT_EQ(testsim_get(0x3125, 1), 0x03u);
    }
}

TEST_P(AutostartFailures, PhaseFourFailuresKeepThePhaseAndTheNextCallWritesAgain) {
    testsim_set(e.speed, 2, 10400);
    for (int successes : {0, 1}) {
        std::vector<unsigned> p = step_failing(4, successes);
        EXPECT_EQ(*e.phase, 4);
        EXPECT_EQ(*e.starting, 1);
        EXPECT_EQ(testsim_get(e.generator, 4), 0u);
        // No pause of its own (the reconnection's open makes its own 100 ms ones).
        EXPECT_EQ(std::count(p.begin(), p.end(), 200u), 0);
    }
    engine_autostart();
    EXPECT_EQ(*e.phase, 1);
    EXPECT_EQ(*e.starting, 0);
    EXPECT_EQ(testsim_get(e.generator, 4), 1u);
}

INSTANTIATE_TEST_SUITE_P(BothEngines, AutostartFailures, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int> &info) {
                             return std::string(info.param == 0 ? "Engine1" : "Engine2");
                         });

} // namespace
