// The knobs and buttons of boards 1 to 3: the heading, altitude, speed, vertical-speed, course
// and baro step sequences, limits and pauses; the shared hold counters and where they stop
// growing; both paths of the engine start buttons; the APU button.
#include "tests/k8055_fixture.h"

#include <climits>

namespace {

typedef std::vector<int64_t> V;

class K8055Switches : public K8055Test {
  protected:
    // Sets offset to start, holds one input for n passes and releases it with an idle pass;
    // returns the value written in each pass (size -2: unsigned 16-bit), or its steps.
    V hold(int board, int ch, uint32_t offset, int size, int64_t start, int n, bool deltas = 0,
           std::vector<Pauses> *pauses = nullptr) {
        V out;
        testsim_set(offset, size < 0 ? 2 : size, (uint32_t)start);
        testboards_press(board, ch, 1);
        for (int k = 0; k < n; k++) {
            EXPECT_EQ(pass(), 1);
            std::vector<uint32_t> w = written(offset);
            EXPECT_EQ(w.size(), 1u) << "pass " << k + 1;
            if (w.empty())
                break;
            int64_t v = size == 2 ? (int16_t)w[0] : size == -2 ? (uint16_t)w[0] : (int32_t)w[0];
            out.push_back(deltas ? v - start : v);
            start = deltas ? v : start;
            if (pauses)
                pauses->push_back(testsleep_pauses());
        }
        testboards_press(board, ch, 0);
        return out;
    }
    // Presses a button, lets the Releaser free it, and returns the pass's result.
    int button(int board) {
        testboards_press(board, 5, 1);
        Releaser r(board, 5);
        int got = pass();
        r.join();
        EXPECT_EQ(r.released(), 1);
        return got;
    }
};

TEST_F(K8055Switches, HeadingGrowingStepsPausesAndWrap) {
    discover({1});
    std::vector<Pauses> p;
    V d = hold(1, 2, 0x07CC, -2, 1000, 45, 1, &p);
    ASSERT_EQ(d.size(), 45u);
    for (int k = 0; k < 45; k++) {
        int64_t want = k < 21 ? 151 + k : d[k - 1] + (k < 37 ? 5 : 20);
        EXPECT_EQ(d[k], want) << "pass " << k + 1;
        if (k < 37) {
            EXPECT_EQ(p[k], k < 21 ? (Pauses{50, 50}) : Pauses{50}) << "pass " << k + 1;
        }
    }
    pass();
    EXPECT_EQ(hold(1, 1, 0x07CC, -2, 100, 1), V{65536 + 100 - 151});
}

TEST_F(K8055Switches, AltitudeStepsLimitsAndSharedCounter) {
    discover({1});
    EXPECT_EQ(hold(1, 3, 0x07D4, 4, 199753, 1), V{0}); // 10 ft down: never below 0
    pass();
    std::vector<Pauses> p;
    V d = hold(1, 4, 0x07D4, 4, 0, 14, 1, &p);
    ASSERT_EQ(d.size(), 14u);
    for (int k = 0; k < 14; k++) {
        EXPECT_EQ(d[k], k < 11 ? 39950LL * (k + 1) + 399507 : d[k - 1] + 159800) << k + 1;
        EXPECT_EQ(p[k], k < 11 ? (Pauses{50, 50}) : Pauses{50}) << "pass " << k + 1;
    }
    pass();
    EXPECT_EQ(hold(1, 4, 0x07D4, 4, 1897660416 - 100000, 2), (V{1897660416, 1897660416}));
    pass();
    // Heading then altitude without an idle pass: one counter; the idle pass resets it.
    hold(1, 2, 0x07CC, -2, 0, 3);
    EXPECT_EQ(hold(1, 4, 0x07D4, 4, 0, 1), V{3 + 39950 + 399507});
    EXPECT_EQ(pass(), 0);
    EXPECT_EQ(step_increase1, 0);
}

TEST_F(K8055Switches, SpeedAndVerticalSpeedDeltasLimitsAndPauses) {
    discover({2});
    std::vector<Pauses> p;
    EXPECT_EQ(hold(2, 2, 0x07E2, -2, 300, 22, 1, &p),
              (V{1, 2, 3, 5, 6, 7, 8, 10, 11, 12, 13, 15, 16, 17, 18, 20, 21, 22, 23, 50, 52, 52}));
    EXPECT_EQ(p, std::vector<Pauses>(22, Pauses{200, 50}));
    struct {
        int ch, size;
        int64_t start, counter;
        V want;
        Pauses pause;
    } rows[] = {
        {2, -2, 899, 15, {900}, {200, 50}}, // speed limits
        {1, -2, 3, 15, {0}, {200, 50}},
        {3, 2, -2950, 0, {-3000}, {50}}, // vertical speed past a limit: no pause
        {4, 2, 2990, 0, {3000}, {50}},
        {3, 2, 4000, 0, {3940}, {200, 50}}, // the limit holds only in the direction of travel
        {4, 2, -4000, 0, {-3940}, {200, 50}},
        {4, 2, 3500, 0, {3000}, {50}},
        {3, 2, -3500, 0, {-3000}, {50}},
    };
    for (auto &r : rows) {
        pass();
        step_increase2 = (int)r.counter;
        p.clear();
        EXPECT_EQ(hold(2, r.ch, r.ch > 2 ? 0x07F2 : 0x07E2, r.size, r.start, 1, 0, &p), r.want);
        EXPECT_EQ(p, std::vector<Pauses>{r.pause}) << r.start;
    }
    pass();
    p.clear();
    EXPECT_EQ(hold(2, 4, 0x07F2, 2, -2000, 6, 1, &p), (V{60, 110, 160, 210, 260, 310}));
    EXPECT_EQ(p, std::vector<Pauses>(6, Pauses{200, 50}));
    pass();
    step_increase2 = 900;
    p.clear();
    EXPECT_EQ(hold(2, 4, 0x07F2, 2, -3000, 3, 1, &p), (V{960, 1100, 510}));
    EXPECT_EQ(p, (std::vector<Pauses>{{200, 50}, {50, 50}, {200, 50}}));
    EXPECT_EQ(step_increase2, 500);
}

TEST_F(K8055Switches, CourseAndBaroStepsWrapAndPauses) {
    discover({3});
    std::vector<Pauses> p;
    EXPECT_EQ(hold(3, 2, 0x0C4E, 2, 359, 1, 0, &p), V{0});
    EXPECT_EQ(p[0], (Pauses{100, 50}));
    pass();
    step_increase3 = 11;
    p.clear();
    EXPECT_EQ(hold(3, 1, 0x0C4E, 2, 1, 1, 0, &p), V{358});
    EXPECT_EQ(p[0], Pauses{50});
    pass();
    p.clear();
    EXPECT_EQ(hold(3, 2, 0x0C4E, 2, 100, 13, 1, &p), (V{1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 3, 3}));
    for (int k = 0; k < 13; k++)
        EXPECT_EQ(p[k], k < 9 ? (Pauses{100, 50}) : Pauses{50}) << "pass " << k + 1;
    pass();
    // Baro: a quarter millibar a pass, no counter, no pause of its own.
    step_increase3 = 7;
    p.clear();
    EXPECT_EQ(hold(3, 3, 0x0330, 2, 1013 * 16, 2, 0, &p), (V{16204, 16200}));
    EXPECT_EQ(p, (std::vector<Pauses>{{50}, {50}}));
    EXPECT_EQ(step_increase3, 7);
}

TEST_F(K8055Switches, HoldCountersGrowWithoutACapAndTheCourseStaysOnTheCircle) {
    discover({1, 3});
    // Heading straight after a long altitude hold: the shared counter keeps adding 20.
    hold(1, 4, 0x07D4, 4, 0, 12);
    ASSERT_EQ(step_increase1, 11 * 39950 + 159800);
    EXPECT_EQ(hold(1, 2, 0x07CC, -2, 0, 2, 1), (V{(599270 + 150) % 65536, (599290 + 150) % 65536}));
    EXPECT_EQ(hold(1, 1, 0x07CC, -2, 0, 1), V{65536 - (599310 + 150) % 65536});
    pass();
    // 10,000 passes held right: every step is counter + 150 to the right, the counter growing.
    testsim_set(0x07CC, 2, 0);
    testboards_press(1, 2, 1);
    int64_t counter = 0, want = 0;
    for (int k = 1; k <= 10000; k++) {
        counter += counter <= 20 ? 1 : counter <= 100 ? 5 : 20;
        want = (want + counter + 150) % 65536;
        pass();
        ASSERT_EQ(written(0x07CC), std::vector<uint32_t>{(uint32_t)want}) << "pass " << k;
    }
    testboards_press(1, 2, 0);
    EXPECT_EQ(step_increase1, counter);
    pass();
    step_increase1 = INT_MAX - 10; // no overflow past the largest int
    EXPECT_EQ(hold(1, 4, 0x07D4, 4, 0, 2), (V{1897660416, 1897660416}));
    EXPECT_EQ(step_increase1, INT_MAX);
    step_increase3 = 1400;
    V c = hold(3, 1, 0x0C4E, 2, 0, 60), up = hold(3, 2, 0x0C4E, 2, 0, 5);
    c.insert(c.end(), up.begin(), up.end());
    for (int64_t v : c)
        EXPECT_TRUE(v >= 0 && v <= 359) << v;
    EXPECT_LE(step_increase3 / 4, 359);
}

TEST_F(K8055Switches, EngineButtonsAutostartAndManualPaths) {
    discover({1, 2});
    testsim_set(0x3590, 4, 1);
    testsim_set(0x0892, 2, 2);
    EXPECT_EQ(button(1), 0); // autostart hands the engine to the sequencer
    EXPECT_EQ(eng1_starting, 1);
    EXPECT_TRUE(testsim_writes().empty());
    // A running engine is stopped: engine 1 clears its own pump bit, engine 2 keeps engine 1's.
    testsim_set(0x0892, 2, 1);
    testsim_set(0x3125, 1, 3);
    eng1_start_phase = 3;
    button(1);
    ASSERT_EQ(testsim_writes_to(0x0892).size(), 1u);
    EXPECT_EQ(testsim_writes_to(0x0892)[0].data.size(), 2u);
    ASSERT_EQ(testsim_writes_to(0x208C).size(), 1u);
    EXPECT_EQ(testsim_writes_to(0x208C)[0].data.size(), 4u);
    EXPECT_EQ(written(0x0892), std::vector<uint32_t>{0});
    EXPECT_EQ(written(0x208C), std::vector<uint32_t>{0});
    EXPECT_EQ(written(0x3125), std::vector<uint32_t>{2});
    EXPECT_EQ(eng1_starting, 0);
    EXPECT_EQ(eng1_start_phase, 1);
    testsim_set(0x3594, 4, 1);
    testsim_set(0x092A, 2, 1);
    testsim_set(0x3125, 1, 3);
    button(2);
    EXPECT_EQ(written(0x092A), std::vector<uint32_t>{0});
    EXPECT_EQ(written(0x218C), std::vector<uint32_t>{0});
    EXPECT_EQ(written(0x3125), std::vector<uint32_t>{1});
    // The pump byte cannot be read: starter and ignition off, the pumps left as they are.
    testsim_set(0x092A, 2, 1);
    testsim_set(0x3125, 1, 3);
    char_value = 0xFF;
    fail_after(2);
    button(2);
    EXPECT_EQ(written(0x092A), std::vector<uint32_t>{0});
    EXPECT_EQ(written(0x218C), std::vector<uint32_t>{0});
    EXPECT_TRUE(written(0x3125).empty());
    EXPECT_EQ(testsim_get(0x3125, 1), 3u);
    // Manual path: engage (1, 50 ms) or release (2, 100 ms); autostart off forces it.
    step_increase2 = 40;
    struct {
        int eng_flag, autostart, starter;
        uint32_t want;
        Pauses pauses;
    } rows[] = {{0, 1, 0, 1, {50}}, {0, 1, 1, 2, {100, 50}}, {1, 0, 2, 1, {50}}};
    for (auto &r : rows) {
        eng2_starting = r.starter == 0;
        eng_autostart = r.autostart;
        testsim_set(0x3594, 4, r.eng_flag);
        testsim_set(0x092A, 2, r.starter);
        EXPECT_EQ(button(2), 0);
        EXPECT_EQ(written(0x092A), std::vector<uint32_t>{r.want});
        EXPECT_EQ(testsleep_pauses(), r.pauses);
        EXPECT_EQ(eng2_starting, 0);
    }
    EXPECT_EQ(step_increase2, 40); // buttons leave the counters alone
}

TEST_F(K8055Switches, ApuButtonTogglesOnEachPress) {
    discover({3});
    step_increase3 = 6;
    std::vector<int> seen{apu_status};
    for (int press = 0; press < 2; press++) {
        EXPECT_EQ(button(3), 0);
        seen.push_back(apu_status);
    }
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(step_increase3, 6);
}

} // namespace
