// Board discovery and shutdown: which boards are flagged and opened for each search mask, the
// exact message bytes the simulator receives, the run flag already cleared, a failed report,
// and the clearing and closing of the boards at exit.
#include "tests/k8055_fixture.h"

#include <string.h>

namespace {

class K8055Discovery : public K8055Test {
  protected:
    // The bytes written to the message line, as a string (zero bytes included).
    static std::string message() {
        std::vector<testsim_write> w = testsim_writes_to(0x3380);
        EXPECT_EQ(w.size(), 1u);
        return w.empty() ? "" : std::string(w[0].data.begin(), w[0].data.end());
    }

    // The operations traced, one name each (with the address for open and select).
    static std::vector<std::string> ops() {
        std::vector<std::string> out;
        for (const testboards_call &c : testboards_trace()) {
            std::string s = c.op;
            if (c.op == "OpenDevice" || c.op == "SetCurrentDevice")
                s += " " + std::to_string(c.a);
            out.push_back(s);
        }
        return out;
    }

    static std::vector<int> flags() {
        return {vel_zero, vel_one, vel_two, vel_three};
    }

    static void expect_display_time() {
        std::vector<testsim_write> w = testsim_writes_to(0x32FA);
        ASSERT_EQ(w.size(), 1u);
        EXPECT_EQ(w[0].data.size(), 2u);
        EXPECT_EQ(w[0].value(), 15u);
    }
};

const std::string none_text("No Velleman K8055 interfaces are present\0\0", 42);
const std::string plural("Velleman K8055 Interfaces detected are on addresses ");
const std::string singular("Velleman K8055 Interface detected is on address ");

TEST_F(K8055Discovery, NoBoardOnlySearchesAndSaysSo) {
    int before = testsim_requests();
    EXPECT_EQ(k8055_initialise(), 0);
    EXPECT_EQ(velkit, 0);
    EXPECT_EQ(flags(), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(ops(), std::vector<std::string>{"SearchDevices"});
    EXPECT_EQ(message(), none_text);
    expect_display_time();
    // The text and the display time go out together in one exchange.
    EXPECT_EQ(testsim_requests(), before + 1);
}

TEST_F(K8055Discovery, NoBoardFileIsLikeNoBoard) {
    testboards_stop();
    ASSERT_EQ(k8055_board_remove(), 0);
    EXPECT_EQ(k8055_initialise(), 0);
    EXPECT_EQ(velkit, 0);
    EXPECT_EQ(flags(), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(message(), none_text);
    expect_display_time();
    // A pass then handles no board at all and does not fail.
    testsleep_clear();
    EXPECT_EQ(k8055_inputs(), 0);
    EXPECT_EQ(testsleep_pauses(), Pauses{50});
}

TEST_F(K8055Discovery, MaskFiveOpensBoardsZeroAndTwoInOrder) {
    testboards_plug(0, 1);
    testboards_plug(2, 1);
    for (int b = 0; b < 4; b++)
        testboards_set_output(b, 3, 1);
    k8055_initialise();
    EXPECT_EQ(velkit, 5);
    EXPECT_EQ(flags(), (std::vector<int>{1, 0, 1, 0}));
    EXPECT_EQ(ops(), (std::vector<std::string>{
                         "SearchDevices", "OpenDevice 0", "SetCurrentDevice 0", "ClearAllDigital",
                         "ClearAllAnalog", "OpenDevice 2", "SetCurrentDevice 2", "ClearAllDigital",
                         "ClearAllAnalog"}));
    // The opened boards' outputs are off; the others are not touched.
    EXPECT_EQ(testboards_output(0, 3), 0);
    EXPECT_EQ(testboards_output(2, 3), 0);
    EXPECT_EQ(testboards_output(1, 3), 1);
    EXPECT_EQ(message(), plural + "[Zero] [Two] " + std::string(13, ' '));
    EXPECT_EQ(message().size(), 78u);
    expect_display_time();
}

TEST_F(K8055Discovery, MaskEightIsSingular) {
    testboards_plug(3, 1);
    k8055_initialise();
    EXPECT_EQ(velkit, 8);
    EXPECT_EQ(flags(), (std::vector<int>{0, 0, 0, 1}));
    EXPECT_EQ(message(), singular + "[Three]" + std::string(23, ' '));
    expect_display_time();
}

TEST_F(K8055Discovery, AllFourBoardsEndExactlyAtThree) {
    for (int b = 0; b < 4; b++)
        testboards_plug(b, 1);
    k8055_initialise();
    EXPECT_EQ(velkit, 15);
    EXPECT_EQ(flags(), (std::vector<int>{1, 1, 1, 1}));
    EXPECT_EQ(message(), plural + "[Zero] [One] [Two] [Three]");
    EXPECT_EQ(calls("OpenDevice"), 4);
}

TEST_F(K8055Discovery, MaskSixteenAndAboveOpensNothingYetReportsPlural) {
    k8055_search_extra = 16;
    k8055_initialise();
    EXPECT_EQ(velkit, 16);
    EXPECT_EQ(flags(), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(ops(), std::vector<std::string>{"SearchDevices"});
    EXPECT_EQ(message(), plural + std::string(26, ' '));
    expect_display_time();

    // 17: a real board 0 with the extra bit still sets no flag and opens nothing.
    reset_state();
    forget();
    k8055_search_extra = 16;
    testboards_plug(0, 1);
    k8055_initialise();
    EXPECT_EQ(velkit, 17);
    EXPECT_EQ(flags(), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(calls("OpenDevice"), 0);
    EXPECT_EQ(message(), plural + std::string(26, ' '));
}

TEST_F(K8055Discovery, RunFlagAlreadyClearedDoesNothing) {
    testboards_plug(0, 1);
    int before = testsim_requests();
    loop = 0;
    EXPECT_EQ(k8055_initialise(), 0);
    loop = 1;
    EXPECT_TRUE(testboards_trace().empty());
    EXPECT_EQ(vel_zero, 0);
    EXPECT_TRUE(testsim_writes().empty());
    EXPECT_EQ(testsim_requests(), before);
}

TEST_F(K8055Discovery, FailedReportReconnectsAndKeepsTheBoardsOpen) {
    testboards_plug(1, 1);
    testsim_fail_next(1);
    k8055_initialise();
    EXPECT_EQ(connected, 1);
    EXPECT_EQ(vel_one, 1);
    // The board answers: a pass reads its inputs.
    pass();
    EXPECT_EQ(calls("ReadDigitalChannel"), 5);
}

TEST_F(K8055Discovery, CloseClearsAndClosesEachPresentBoardInOrder) {
    discover({1, 3});
    testboards_set_output(1, 8, 1);
    testboards_set_output(3, 1, 1);
    EXPECT_EQ(k8055_close(), 0);
    EXPECT_EQ(ops(),
              (std::vector<std::string>{"SetCurrentDevice 1", "ClearAllDigital", "ClearAllAnalog",
                                        "CloseDevice", "SetCurrentDevice 3", "ClearAllDigital",
                                        "ClearAllAnalog", "CloseDevice"}));
    EXPECT_EQ(testboards_output(1, 8), 0);
    EXPECT_EQ(testboards_output(3, 1), 0);
    // The flags stay as discovery left them; the closed boards no longer answer.
    EXPECT_EQ(flags(), (std::vector<int>{0, 1, 0, 1}));
    testboards_press(1, 1, 1);
    SetCurrentDevice(1);
    EXPECT_NE(ReadDigitalChannel(1), 1);
}

} // namespace
