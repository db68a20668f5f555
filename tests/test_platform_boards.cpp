// The virtual boards' driver: the current board is the one last opened or selected among the
// open boards; selecting any other address leaves none current (readings 0, outputs nowhere).
#include "tests/support/testboards.h"

#include <stdlib.h>

namespace {

TEST(VirtualBoards, SelectingDecidesWhichBoardAnswersAndIsWritten) {
    testsim_start();
    testboards_start();
    k8055_board *io = &testboards_io(0);
    io[0].plugged = io[1].plugged = io[2].plugged = 1; // 1 is plugged in but never opened
    OpenDevice(0), OpenDevice(2);
    io[0].digital_in[0] = io[1].digital_in[1] = io[2].digital_in[4] = 1;
    io[0].analog_in[1] = 200, io[2].analog_in[1] = 77;
    // {address, result, then inputs 1, 2, 5 and analog input 2 as read after the selection}
    const long rows[][6] = {{0, 0, 1, 0, 0, 200}, {2, 2, 0, 0, 1, 77}, {1, -1, 0, 0, 0, 0},
                            {3, -1, 0, 0, 0, 0},  {4, -1, 0, 0, 0, 0}, {-1, -1, 0, 0, 0, 0}};
    for (auto &r : rows) {
        SetCurrentDevice(0); // board 0 current before, with its input 1 closed
        EXPECT_EQ(
            (std::vector<long>{SetCurrentDevice(r[0]), ReadDigitalChannel(1), ReadDigitalChannel(2),
                               ReadDigitalChannel(5), ReadAnalogChannel(2)}),
            std::vector<long>(r + 1, r + 6))
            << r[0];
    }
    SetCurrentDevice(2), SetDigitalChannel(8), OutputAnalogChannel(1, 300); // held to 255
    SetCurrentDevice(0), SetDigitalChannel(3);
    SetCurrentDevice(1), SetDigitalChannel(5), SetAnalogChannel(2); // never opened: nowhere
    SetCurrentDevice(3), ClearAllDigital();                         // not plugged in
    std::string lit; // outputs 1..8 of each board, then the analog levels written
    for (int b = 0; b < 3; b++)
        for (int c = 0; c < 8; c++)
            lit += (char)('0' + io[b].digital_out[c]);
    for (int level : {io[2].analog_out[0], io[1].analog_out[1], io[0].analog_out[1]})
        lit += " " + std::to_string(level);
    EXPECT_EQ(lit, "001000000000000000000001 255 0 0");
    unsetenv("VALDORA_K8055_READ_US"); // the real board's read time then
    EXPECT_EQ(SearchDevices(), 0x7);
    for (int b : {0, 2})
        SetCurrentDevice(b), CloseDevice();
    testboards_stop();
    testsim_stop();
}

} // namespace
