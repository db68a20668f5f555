// The polling pass and board 0's tuning panel: a pass without boards, the first active input
// winning, the waits for a release, a held step button accelerating through press_length2 and
// that counter's carry-over, the swap, the silence button, and each board's closing exchange.
#include "tests/k8055_fixture.h"

namespace {

class K8055Panel : public K8055Test {};

TEST_F(K8055Panel, PassWithoutBoardsOnlyPauses) {
    discover({});
    EXPECT_EQ(pass(), 0);
    EXPECT_EQ(testsleep_pauses(), Pauses{50});
    EXPECT_TRUE(testboards_trace().empty());
    EXPECT_TRUE(testsim_writes().empty());
}

TEST_F(K8055Panel, SelectWrapsWaitsForTheReleaseAndWinsOverLaterInputs) {
    discover({0});
    rmu_edit = 6;
    testboards_press(0, 1, 1);
    testboards_press(0, 2, 1);
    testboards_press(0, 5, 1);
    Releaser releaser(0, 1);
    EXPECT_EQ(pass(), 0);
    EXPECT_EQ(releaser.released(), 1);
    EXPECT_EQ(rmu_edit, 1);
    EXPECT_GE(testboards_reads(0, 1), releaser.released_at());
    EXPECT_EQ(testsleep_pauses(), Pauses{50});
    EXPECT_EQ(testboards_reads(0, 2) + testboards_reads(0, 5), 0);
    EXPECT_EQ(silence, 0);
    // Select released: step-down comes first and returns 1; select needs a new press.
    EXPECT_EQ(pass(), 1);
    EXPECT_EQ(rmu_edit, 1);
    EXPECT_EQ(testboards_reads(0, 5), 0);
}

TEST_F(K8055Panel, HeldStepAcceleratesAndItsCounterCarriesOverUntilAnIdlePass) {
    discover({0});
    testsim_set(0x311A, 2, 0x1800);
    rmu_fsuipc_read();
    ASSERT_STREQ(com1_disp2, "118.000");
    testboards_press(0, 3, 1);
    for (int k = 1; k <= 20; k++) {
        ASSERT_EQ(pass(), 1);
        EXPECT_EQ(press_length2, k);
        char want[16];
        snprintf(want, sizeof want, "%7.3f", 118.0 + 0.025 * k);
        EXPECT_STREQ(com1_disp2, want) << "step " << k;
        EXPECT_EQ(testsleep_pauses(), (Pauses{50, 50}));
    }
    EXPECT_EQ(pass(), 1);
    EXPECT_STREQ(com1_disp2, "118.600");
    EXPECT_EQ(written(0x311A), std::vector<uint32_t>{0x1860});
    // Straight to step-down, then silence: the count goes on; an idle pass resets it.
    testboards_press(0, 2, 1);
    testboards_press(0, 3, 0);
    pass();
    EXPECT_EQ(press_length2, 22);
    testboards_press(0, 2, 0);
    testboards_press(0, 5, 1);
    EXPECT_EQ(pass(), 0);
    EXPECT_EQ(pass(), 0);
    EXPECT_EQ(silence, 1);
    EXPECT_EQ(press_length2, 22);
    testboards_press(0, 5, 0);
    EXPECT_EQ(pass(), 0);
    EXPECT_EQ(press_length2, 0);
}

TEST_F(K8055Panel, SwapWritesPausesAndWaitsButNotForTheTransponder) {
    discover({0});
    for (int edit : {1, 5}) {
        rmu_edit = edit;
        testboards_press(0, 4, 1);
        Releaser releaser(0, 4);
        EXPECT_EQ(pass(), 1);
        releaser.join();
        EXPECT_EQ(releaser.released(), 1);
        EXPECT_GE(testboards_reads(0, 4), releaser.released_at());
        EXPECT_EQ(written(0x3123),
                  edit == 1 ? std::vector<uint32_t>{0x08} : std::vector<uint32_t>{});
        EXPECT_EQ(testsleep_pauses(), edit == 1 ? (Pauses{200, 50}) : Pauses{50});
    }
}

TEST_F(K8055Panel, EachPresentBoardIsSelectedAndClosedByOneExchange) {
    discover({0, 1, 2, 3});
    electrics = 0; // no clock read of the master lamps
    // One axis in use on each board, so each board's closing process call sends something.
    l_throttle_enabled = flaps_enabled = toe_brakes_enabled = yoke_lr_enabled = 1;
    l_throttle_cal_min = toe_brakes_off_cal = yoke_left_cal = 0;
    l_throttle_cal_max = toe_brakes_on_cal = yoke_right_cal = 255;
    int before = testsim_requests();
    EXPECT_EQ(pass(), 0);
    std::vector<long> selected;
    for (const testboards_call &c : testboards_trace())
        if (c.op == "SetCurrentDevice")
            selected.push_back(c.a);
    ASSERT_GE(selected.size(), 4u);
    EXPECT_EQ(std::vector<long>(selected.begin(), selected.begin() + 4),
              (std::vector<long>{0, 1, 2, 3}));
    for (int b = 0; b < 4; b++)
        for (int ch = 1; ch <= 5; ch++)
            EXPECT_EQ(testboards_reads(b, ch), 1) << "board " << b << " input " << ch;
    EXPECT_TRUE(written(0x3380).empty()); // no reconnection announced
    EXPECT_EQ(connected, 1);
    EXPECT_EQ(testsim_requests() - before, 4); // exactly one process call per present board
    // Nothing queued: the closing process call fails for the empty queue, and is ignored.
    l_throttle_enabled = flaps_enabled = toe_brakes_enabled = yoke_lr_enabled = 0;
    pass();
    EXPECT_TRUE(testsim_writes().empty());
    EXPECT_EQ(connected, 1);
}

} // namespace
