// The knobs and buttons of boards 1 to 3: the heading, altitude, speed, vertical-speed, course
// and baro step sequences, limits and pauses; the shared hold counters and where they stop
// growing; both paths of the engine start buttons; the APU button.
#include "tests/k8055_fixture.h"

namespace {

class K8055Switches : public K8055Test {
  protected:
    // Holds one input for n passes; returns the value written to offset in each pass (as the
    // offset's size gives it), checking that every pass stepped.
    std::vector<int64_t> hold(int board, int channel, uint32_t offset, int n, int size,
                              std::vector<Pauses> *pauses = nullptr) {
        std::vector<int64_t> out;
        testboards_press(board, channel, 1);
        for (int k = 0; k < n; k++) {
            EXPECT_EQ(pass(), 1);
            std::vector<uint32_t> w = written(offset);
            EXPECT_EQ(w.size(), 1u) << "pass " << k + 1;
            if (w.empty())
                break;
            if (size == 2)
                out.push_back((int64_t)(int16_t)(uint16_t)w[0]);
            else if (size == -2)
                out.push_back((int64_t)(uint16_t)w[0]);
            else
                out.push_back((int64_t)(int32_t)w[0]);
            if (pauses)
                pauses->push_back(testsleep_pauses());
        }
        testboards_press(board, channel, 0);
        return out;
    }

    static std::vector<int64_t> steps(int64_t start, const std::vector<int64_t> &values) {
        std::vector<int64_t> out;
        for (int64_t v : values) {
            out.push_back(v - start);
            start = v;
        }
        return out;
    }
};

TEST_F(K8055Switches, HeadingRisesByGrowingStepsWithPausesAtFirst) {
    discover({1});
    testsim_set(0x07CC, 2, 1000);
    std::vector<Pauses> pauses;
    std::vector<int64_t> v = hold(1, 2, 0x07CC, 45, -2, &pauses);
    ASSERT_EQ(v.size(), 45u);
    std::vector<int64_t> d = steps(1000, v);
    for (int k = 0; k < 21; k++) {
        EXPECT_EQ(d[k], 151 + k) << "pass " << k + 1;
        EXPECT_EQ(pauses[k], (Pauses{50, 50})) << "pass " << k + 1;
    }
    // Then 5 more units each pass up to a counter of 101, then 20 more, without pauses.
    for (int k = 21; k < 37; k++) {
        EXPECT_EQ(d[k], d[k - 1] + 5) << "pass " << k + 1;
        EXPECT_EQ(pauses[k], Pauses{50});
    }
    for (int k = 37; k < 45; k++)
        EXPECT_EQ(d[k], d[k - 1] + 20) << "pass " << k + 1;
}

TEST_F(K8055Switches, HeadingWrapsAroundTheCircle) {
    discover({1});
    testsim_set(0x07CC, 2, 100);
    std::vector<int64_t> v = hold(1, 1, 0x07CC, 1, -2);
    EXPECT_EQ(v, std::vector<int64_t>{65536 + 100 - 151});
}

TEST_F(K8055Switches, AltitudeStepsAndLimits) {
    discover({1});
    // 10 ft (3.048 m x 65536) and the down knob: never below 0.
    testsim_set(0x07D4, 4, 199753);
    EXPECT_EQ(hold(1, 3, 0x07D4, 1, 4), std::vector<int64_t>{0});
    pass(); // released: the counter starts again

    // From 0 up: eleven steps adding 2 ft to the counter with pauses, then 8 ft without.
    testsim_set(0x07D4, 4, 0);
    std::vector<Pauses> pauses;
    std::vector<int64_t> d = steps(0, hold(1, 4, 0x07D4, 14, 4, &pauses));
    ASSERT_EQ(d.size(), 14u);
    for (int k = 0; k < 11; k++) {
        EXPECT_EQ(d[k], 39950LL * (k + 1) + 399507) << "pass " << k + 1;
        EXPECT_EQ(pauses[k], (Pauses{50, 50}));
    }
    for (int k = 11; k < 14; k++) {
        EXPECT_EQ(d[k], d[k - 1] + 159800) << "pass " << k + 1;
        EXPECT_EQ(pauses[k], Pauses{50});
    }
    pass();

    // Near 95000 ft: stops at the top.
    testsim_set(0x07D4, 4, 1897660416 - 100000);
    EXPECT_EQ(hold(1, 4, 0x07D4, 2, 4), (std::vector<int64_t>{1897660416, 1897660416}));
}

TEST_F(K8055Switches, HeadingAndAltitudeShareOneCounterThatAnIdlePassResets) {
    discover({1});
    hold(1, 2, 0x07CC, 3, -2);
    EXPECT_EQ(step_increase1, 3);
    // Turning to the altitude knob without an idle pass keeps the count.
    testsim_set(0x07D4, 4, 0);
    EXPECT_EQ(hold(1, 4, 0x07D4, 1, 4), std::vector<int64_t>{3 + 39950 + 399507});
    EXPECT_EQ(pass(), 0);
    EXPECT_EQ(step_increase1, 0);
}

TEST_F(K8055Switches, SpeedDeltasLimitsAndPauses) {
    discover({2});
    testsim_set(0x07E2, 2, 300);
    std::vector<Pauses> pauses;
    std::vector<int64_t> d = steps(300, hold(2, 2, 0x07E2, 22, -2, &pauses));
    EXPECT_EQ(d, (std::vector<int64_t>{1,  2,  3,  5,  6,  7,  8,  10, 11, 12, 13,
                                       15, 16, 17, 18, 20, 21, 22, 23, 50, 52, 52}));
    for (const Pauses &p : pauses)
        EXPECT_EQ(p, (Pauses{200, 50}));
    pass();

    // 899 up with a delta of 5: held at 900.
    testsim_set(0x07E2, 2, 899);
    step_increase2 = 15;
    EXPECT_EQ(hold(2, 2, 0x07E2, 1, -2), std::vector<int64_t>{900});
    pass();

    // 3 knots, down, the counter at 20 after its update (delta 5): 0.
    testsim_set(0x07E2, 2, 3);
    testboards_press(2, 1, 1);
    step_increase2 = 15;
    EXPECT_EQ(pass(), 1);
    EXPECT_EQ(written(0x07E2), std::vector<uint32_t>{0});
}

TEST_F(K8055Switches, VerticalSpeedCycleLimitsAndPauses) {
    discover({2});
    // -2950, first pass of the down knob: -3010 is past the limit, so -3000 without a pause.
    testsim_set(0x07F2, 2, (uint16_t)-2950);
    std::vector<Pauses> pauses;
    EXPECT_EQ(hold(2, 3, 0x07F2, 1, 2, &pauses), std::vector<int64_t>{-3000});
    EXPECT_EQ(pauses[0], Pauses{50});
    pass();

    // From -2000 up: the counter runs 50..1000 (extra 10, 200 ms), 1000 brings extra 100 and
    // 50 ms, then it starts again at 500.
    testsim_set(0x07F2, 2, (uint16_t)-2000);
    pauses.clear();
    std::vector<int64_t> d = steps(-2000, hold(2, 4, 0x07F2, 6, 2, &pauses));
    EXPECT_EQ(d, (std::vector<int64_t>{60, 110, 160, 210, 260, 310}));
    for (const Pauses &p : pauses)
        EXPECT_EQ(p, (Pauses{200, 50}));
    pass();
    testsim_set(0x07F2, 2, (uint16_t)-3000);
    step_increase2 = 900;
    pauses.clear();
    d = steps(-3000, hold(2, 4, 0x07F2, 3, 2, &pauses));
    EXPECT_EQ(d, (std::vector<int64_t>{960, 1100, 510}));
    EXPECT_EQ(pauses, (std::vector<Pauses>{{200, 50}, {50, 50}, {200, 50}}));
    EXPECT_EQ(step_increase2, 500);
    // Up past +3000: held at the limit, no pause.
    testsim_set(0x07F2, 2, 2990);
    pauses.clear();
    EXPECT_EQ(hold(2, 4, 0x07F2, 1, 2, &pauses), std::vector<int64_t>{3000});
    EXPECT_EQ(pauses[0], Pauses{50});
}

TEST_F(K8055Switches, CourseStepsWrapAndPauses) {
    discover({3});
    // 359 up, first pass: 360 becomes 0, with the short-count pause.
    testsim_set(0x0C4E, 2, 359);
    std::vector<Pauses> pauses;
    EXPECT_EQ(hold(3, 2, 0x0C4E, 1, 2, &pauses), std::vector<int64_t>{0});
    EXPECT_EQ(pauses[0], (Pauses{100, 50}));
    pass();

    // 1 degree, down, twelfth pass (counter 12, delta 3): 358.
    testsim_set(0x0C4E, 2, 1);
    testboards_press(3, 1, 1);
    step_increase3 = 11;
    EXPECT_EQ(pass(), 1);
    EXPECT_EQ(written(0x0C4E), std::vector<uint32_t>{358});
    EXPECT_EQ(testsleep_pauses(), Pauses{50});
    testboards_press(3, 1, 0);
    pass();

    // From a released knob: nine single degrees with pauses, then counter / 4 without.
    testsim_set(0x0C4E, 2, 100);
    pauses.clear();
    std::vector<int64_t> d = steps(100, hold(3, 2, 0x0C4E, 13, 2, &pauses));
    EXPECT_EQ(d, (std::vector<int64_t>{1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 3, 3}));
    for (int k = 0; k < 13; k++)
        EXPECT_EQ(pauses[k], k < 9 ? (Pauses{100, 50}) : Pauses{50}) << "pass " << k + 1;
}

TEST_F(K8055Switches, BaroStepsAQuarterMillibarWithoutCounterOrPause) {
    discover({3});
    testsim_set(0x0330, 2, 1013 * 16);
    step_increase3 = 7;
    std::vector<Pauses> pauses;
    EXPECT_EQ(hold(3, 3, 0x0330, 2, 2, &pauses), (std::vector<int64_t>{16204, 16200}));
    EXPECT_EQ(pauses, (std::vector<Pauses>{{50}, {50}}));
    EXPECT_EQ(step_increase3, 7);
    EXPECT_EQ(hold(3, 4, 0x0330, 1, 2), std::vector<int64_t>{16204});
}

TEST_F(K8055Switches, HoldCountersStopWhereTheirStepStopsChanging) {
    discover({1, 3});
    // Heading: the counter stops once the step spans a whole circle less one unit.
    step_increase1 = 65000;
    testsim_set(0x07CC, 2, 0);
    hold(1, 2, 0x07CC, 40, -2);
    int stopped = step_increase1;
    EXPECT_LE(stopped + 150, 65535);
    hold(1, 2, 0x07CC, 3, -2);
    EXPECT_EQ(step_increase1, stopped);

    // Altitude: once a step spans the whole range, the counter grows no more and the values
    // stay at the limits.
    step_increase1 = 1897600000;
    testsim_set(0x07D4, 4, 0);
    EXPECT_EQ(hold(1, 4, 0x07D4, 3, 4), (std::vector<int64_t>{1897660416, 1897660416, 1897660416}));
    EXPECT_EQ(step_increase1, 1897660416);
    EXPECT_EQ(hold(1, 3, 0x07D4, 2, 4), (std::vector<int64_t>{0, 0}));
    EXPECT_EQ(step_increase1, 1897660416);

    // Course: the delta never reaches a circle, so one wrap keeps it within 0..359.
    step_increase3 = 1400;
    testsim_set(0x0C4E, 2, 0);
    for (int64_t c : hold(3, 1, 0x0C4E, 60, 2)) {
        EXPECT_GE(c, 0);
        EXPECT_LE(c, 359);
    }
    EXPECT_LE(step_increase3 / 4, 359);
    for (int64_t c : hold(3, 2, 0x0C4E, 5, 2)) {
        EXPECT_GE(c, 0);
        EXPECT_LE(c, 359);
    }
}

TEST_F(K8055Switches, EngineOneAutostartPathHandsTheEngineToTheSequencer) {
    discover({1});
    testsim_set(0x3590, 4, 1);
    testsim_set(0x0892, 2, 2);
    testboards_press(1, 5, 1);
    Releaser releaser(1, 5);
    EXPECT_EQ(pass(), 0);
    EXPECT_EQ(releaser.released(), 1);
    EXPECT_EQ(eng1_starting, 1);
    EXPECT_EQ(eng1_start_phase, 1);
    EXPECT_TRUE(written(0x0892).empty());
    EXPECT_TRUE(written(0x208C).empty());
    EXPECT_TRUE(written(0x3125).empty());
}

TEST_F(K8055Switches, EngineAutostartPathStopsARunningEngine) {
    discover({1, 2});
    testsim_set(0x3590, 4, 1);
    testsim_set(0x0892, 2, 1);
    testsim_set(0x3125, 1, 3);
    eng1_starting = 1;
    eng1_start_phase = 3;
    testboards_press(1, 5, 1);
    Releaser releaser(1, 5);
    pass();
    releaser.join();
    ASSERT_EQ(testsim_writes_to(0x0892).size(), 1u);
    EXPECT_EQ(testsim_writes_to(0x0892)[0].data.size(), 2u);
    EXPECT_EQ(written(0x0892), std::vector<uint32_t>{0});
    ASSERT_EQ(testsim_writes_to(0x208C).size(), 1u);
    EXPECT_EQ(testsim_writes_to(0x208C)[0].data.size(), 4u);
    EXPECT_EQ(written(0x208C), std::vector<uint32_t>{0});
    EXPECT_EQ(written(0x3125), std::vector<uint32_t>{2}); // engine 1's pump bit cleared
    EXPECT_EQ(eng1_starting, 0);
    EXPECT_EQ(eng1_start_phase, 1);

    // Engine 2 keeps engine 1's pump bit instead.
    testsim_set(0x3594, 4, 1);
    testsim_set(0x092A, 2, 1);
    testsim_set(0x3125, 1, 3);
    testboards_press(2, 5, 1);
    Releaser releaser2(2, 5);
    pass();
    releaser2.join();
    EXPECT_EQ(written(0x092A), std::vector<uint32_t>{0});
    EXPECT_EQ(written(0x218C), std::vector<uint32_t>{0});
    EXPECT_EQ(written(0x3125), std::vector<uint32_t>{1});
}

TEST_F(K8055Switches, EngineTwoManualPathEngagesOrReleasesTheStarter) {
    discover({2});
    testsim_set(0x3594, 4, 0);
    testsim_set(0x092A, 2, 0);
    eng2_starting = 1;
    testboards_press(2, 5, 1);
    Releaser releaser(2, 5);
    EXPECT_EQ(pass(), 0);
    releaser.join();
    EXPECT_EQ(written(0x092A), std::vector<uint32_t>{1});
    EXPECT_EQ(testsleep_pauses(), Pauses{50});
    EXPECT_EQ(eng2_starting, 0);

    // With the starter engaged, the button writes 2 and pauses 100 ms.
    testsim_set(0x092A, 2, 1);
    testboards_press(2, 5, 1);
    Releaser releaser2(2, 5);
    pass();
    releaser2.join();
    EXPECT_EQ(written(0x092A), std::vector<uint32_t>{2});
    EXPECT_EQ(testsleep_pauses(), (Pauses{100, 50}));

    // Autostart switched off: the manual path even when the engine reports 1.
    eng_autostart = 0;
    testsim_set(0x3594, 4, 1);
    testsim_set(0x092A, 2, 2);
    testboards_press(2, 5, 1);
    Releaser releaser3(2, 5);
    pass();
    releaser3.join();
    EXPECT_EQ(written(0x092A), std::vector<uint32_t>{1});
    EXPECT_EQ(eng2_starting, 0);
}

TEST_F(K8055Switches, ButtonsNeitherReadNorResetTheCounters) {
    discover({2, 3});
    step_increase2 = 40;
    testsim_set(0x3594, 4, 0);
    testboards_press(2, 5, 1);
    Releaser releaser(2, 5);
    pass();
    releaser.join();
    EXPECT_EQ(step_increase2, 40);
}

TEST_F(K8055Switches, ApuButtonTogglesOnEachPress) {
    discover({3});
    step_increase3 = 6;
    std::vector<int> seen{apu_status};
    for (int press = 0; press < 2; press++) {
        testboards_press(3, 5, 1);
        Releaser releaser(3, 5);
        EXPECT_EQ(pass(), 0);
        releaser.join();
        EXPECT_EQ(releaser.released(), 1);
        seen.push_back(apu_status);
    }
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(step_increase3, 6);
}

} // namespace
