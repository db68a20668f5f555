// The virtual boards' driver: the current board is the one last opened or selected among the
// open boards; selecting any other address leaves none current (readings 0, outputs nowhere).
#include "platform/platform.h"
#include "tests/support/testboards.h"
#include "tests/support/testsim.h"

#include <gtest/gtest.h>

#include <stdlib.h>

namespace {

class VirtualBoards : public ::testing::Test {
  protected:
    void SetUp() override {
        testsim_start();
        testboards_start();
        for (int b = 0; b < 3; b++)
            testboards_plug(b, 1); // 0, 1 and 2 plugged in; 1 is never opened
        OpenDevice(0);
        OpenDevice(2);
        testboards_press(0, 1, 1);
        testboards_analog(0, 2, 200);
        testboards_press(1, 2, 1);
        testboards_press(2, 5, 1);
        testboards_analog(2, 2, 77);
    }
    void TearDown() override {
        for (int b : {0, 2}) {
            SetCurrentDevice(b);
            CloseDevice();
        }
        testboards_stop();
        testsim_stop();
    }
    // Lamps lit on boards 0, 1, 2: outputs 1 to 8 as a number, output 1 the lowest bit.
    static std::vector<int> lamps() {
        std::vector<int> out;
        for (int b = 0; b < 3; b++) {
            int bits = 0;
            for (int c = 1; c <= 8; c++)
                bits |= testboards_output(b, c) << (c - 1);
            out.push_back(bits);
        }
        return out;
    }
};

TEST_F(VirtualBoards, SelectingDecidesWhichBoardAnswers) {
    struct Row {
        long address, result;
        long digital1, digital2, digital5, analog2; // readings after the selection
    };
    const Row rows[] = {
        {0, 0, 1, 0, 0, 200}, {2, 2, 0, 0, 1, 77},
        {1, -1, 0, 0, 0, 0}, // plugged in but never opened: no board, not board 0 still
        {3, -1, 0, 0, 0, 0}, // not plugged in
        {4, -1, 0, 0, 0, 0},  {-1, -1, 0, 0, 0, 0},
    };
    for (const Row &r : rows) {
        SetCurrentDevice(0); // board 0 current before, with its input 1 closed
        EXPECT_EQ(SetCurrentDevice(r.address), r.result) << r.address;
        EXPECT_EQ(ReadDigitalChannel(1), r.digital1) << r.address;
        EXPECT_EQ(ReadDigitalChannel(2), r.digital2) << r.address;
        EXPECT_EQ(ReadDigitalChannel(5), r.digital5) << r.address;
        EXPECT_EQ(ReadAnalogChannel(2), r.analog2) << r.address;
    }
}

TEST_F(VirtualBoards, WritesReachOnlyTheCurrentBoard) {
    SetCurrentDevice(2);
    SetDigitalChannel(8);
    OutputAnalogChannel(1, 300); // held to the board's 255
    SetCurrentDevice(0);
    SetDigitalChannel(3);
    SetCurrentDevice(1); // never opened: the writes go nowhere
    SetDigitalChannel(5);
    SetAnalogChannel(2);
    SetCurrentDevice(3); // not plugged in
    ClearAllDigital();
    EXPECT_EQ(lamps(), (std::vector<int>{0x04, 0, 0x80}));
    EXPECT_EQ(testboards_analog_output(2, 1), 255);
    EXPECT_EQ(testboards_analog_output(1, 2) + testboards_analog_output(0, 2), 0);
}

TEST_F(VirtualBoards, SearchWithoutAReadTimeSet) {
    unsetenv("VALDORA_K8055_READ_US"); // the real board's read time then
    EXPECT_EQ(SearchDevices(), 0x7);
    setenv("VALDORA_K8055_READ_US", "0", 1);
}

} // namespace
