// Board discovery and shutdown: which boards are flagged and opened for each search mask, the
// exact message bytes the simulator receives, the run flag already cleared, a failed report,
// and the clearing and closing of the boards at exit.
#include "tests/k8055_fixture.h"

namespace {

class K8055Discovery : public K8055Test {
  protected:
    static std::string message() {
        std::vector<testsim_write> w = testsim_writes_to(0x3380);
        EXPECT_EQ(w.size(), 1u);
        return w.empty() ? "" : std::string(w[0].data.begin(), w[0].data.end());
    }
    static std::vector<std::string> ops() {
        std::vector<std::string> out;
        for (const testboards_call &c : testboards_trace())
            out.push_back(c.op == "OpenDevice" || c.op == "SetCurrentDevice"
                              ? c.op + " " + std::to_string(c.a)
                              : c.op);
        return out;
    }
    static std::vector<int> flags() {
        return {vel_zero, vel_one, vel_two, vel_three};
    }
};

const std::string none_text("No Velleman K8055 interfaces are present\0\0", 42);
const std::string plural("Velleman K8055 Interfaces detected are on addresses ");

TEST_F(K8055Discovery, MasksFlagsOpensAndMessage) {
    const std::string s = "Velleman K8055 Interface detected is on address ";
    struct {
        std::vector<int> boards;
        int extra, velkit, opens;
        std::vector<int> flags;
        std::string text;
    } rows[] = {
        {{}, 0, 0, 0, {0, 0, 0, 0}, none_text},
        {{3}, 0, 8, 1, {0, 0, 0, 1}, s + "[Three]" + std::string(23, ' ')},
        {{0, 1, 2, 3}, 0, 15, 4, {1, 1, 1, 1}, plural + "[Zero] [One] [Two] [Three]"},
        {{}, 16, 16, 0, {0, 0, 0, 0}, plural + std::string(26, ' ')},
        {{0}, 16, 17, 0, {0, 0, 0, 0}, plural + std::string(26, ' ')},
    };
    for (auto &r : rows) {
        reset_state();
        forget();
        for (int b = 0; b < 4; b++)
            testboards_plug(b, 0);
        for (int b : r.boards)
            testboards_plug(b, 1);
        k8055_search_extra = r.extra;
        int before = testsim_requests();
        k8055_initialise();
        EXPECT_EQ(velkit, r.velkit);
        EXPECT_EQ(flags(), r.flags);
        EXPECT_EQ(calls("OpenDevice"), r.opens);
        EXPECT_EQ(message(), r.text);
        std::vector<testsim_write> w = testsim_writes_to(0x32FA); // display time, same exchange
        ASSERT_EQ(w.size(), 1u);
        EXPECT_EQ(w[0].data.size(), 2u);
        EXPECT_EQ(w[0].value(), 15u);
        EXPECT_EQ(testsim_requests(), before + 1);
    }
}

TEST_F(K8055Discovery, MaskFiveOpensBoardsZeroAndTwoInOrder) {
    testboards_plug(0, 1);
    testboards_plug(2, 1);
    for (int b = 0; b < 4; b++)
        testboards_set_output(b, 3, 1);
    k8055_initialise();
    EXPECT_EQ(velkit, 5);
    EXPECT_EQ(ops(), (std::vector<std::string>{
                         "SearchDevices", "OpenDevice 0", "SetCurrentDevice 0", "ClearAllDigital",
                         "ClearAllAnalog", "OpenDevice 2", "SetCurrentDevice 2", "ClearAllDigital",
                         "ClearAllAnalog"}));
    EXPECT_EQ(testboards_output(0, 3) + testboards_output(2, 3), 0);
    EXPECT_EQ(testboards_output(1, 3), 1);
    EXPECT_EQ(message(), plural + "[Zero] [Two] " + std::string(13, ' '));
    EXPECT_EQ(message().size(), 78u);
}

TEST_F(K8055Discovery, NoBoardFileRunFlagClearedAndFailedReport) {
    testboards_plug(1, 1);
    int before = testsim_requests();
    loop = 0;
    EXPECT_EQ(k8055_initialise(), 0);
    loop = 1;
    EXPECT_TRUE(testboards_trace().empty());
    EXPECT_TRUE(testsim_writes().empty());
    EXPECT_EQ(testsim_requests(), before);
    // A failed report reconnects and the board stays open.
    testsim_fail_next(1);
    k8055_initialise();
    EXPECT_EQ(connected, 1);
    EXPECT_EQ(vel_one, 1);
    // A failed queueing of the text: the display time and the process are still tried.
    FSUIPC_Close();
    forget();
    k8055_initialise();
    EXPECT_EQ(testsim_writes_to(0x3380).size(), 1u); // only the reconnection's announcement
    std::vector<uint32_t> times = written(0x32FA);
    ASSERT_EQ(times.size(), 2u);
    EXPECT_EQ(times[1], 15u);
    pass();
    EXPECT_EQ(calls("ReadDigitalChannel"), 5);
    // No board file: like no board, and a pass does not fail.
    k8055_close();
    reset_state();
    testboards_stop();
    ASSERT_EQ(k8055_board_remove(), 0);
    forget();
    EXPECT_EQ(k8055_initialise(), 0);
    EXPECT_EQ(flags(), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(message(), none_text);
    testsleep_clear();
    EXPECT_EQ(k8055_inputs(), 0);
    EXPECT_EQ(testsleep_pauses(), Pauses{50});
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
    EXPECT_EQ(testboards_output(1, 8) + testboards_output(3, 1), 0);
    EXPECT_EQ(flags(), (std::vector<int>{0, 1, 0, 1}));
    testboards_press(1, 1, 1);
    SetCurrentDevice(1);
    EXPECT_NE(ReadDigitalChannel(1), 1);
}

} // namespace
