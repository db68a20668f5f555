// Virtual K8055 boards for unit tests, and the fixture of the cockpit tests: the stand-in
// simulator in a thread with the link open, the board file in its private folder with no read
// time, every driver call traced, pauses recorded, and the program's state reset around each test.
#pragma once

#include "app/app.h"
#include "autostart/autostart.h"
#include "boards/boards.h"
#include "k8055/k8055.h"
#include "lamps/lamps.h"
#include "platform/k8055_board_file.h"
#include "rmu/rmu.h"
#include "simlink/simlink.h"
#include "tests/support/testsim.h"
#include "top/top.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

struct testboards_call {
    std::string op; // driver operation, e.g. "SetCurrentDevice"
    long a, b;      // its arguments, -1 for none
};
extern std::vector<testboards_call> testboards_calls; // driver calls since the last forget()
extern int testboards_reads[4][6]; // digital reads of each board's inputs since then

void testboards_start(void);           // fresh board file, no board plugged, tracing on
k8055_board &testboards_io(int board); // a board's inputs and outputs in the file
void testboards_press(int board, int channel, int active); // switch input 1..5 closed or open
void testboards_hold(int board, int channel, int reads);   // closed for the next reads only
void testfail_after(int successes); // refuses the request after the next `successes` good ones

typedef std::vector<unsigned> Pauses;

// The analog axes in the order of the calibration record: flag, points, board, input, offset.
struct testaxis {
    int32_t *enabled, *points[4];
    int board, ch;
    uint32_t offset;
};
extern const testaxis testaxes[8];

class CockpitTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        install_allegro(SYSTEM_NONE, &errno, atexit); // a reconnection sets the window title
    }
    void SetUp() override {
        reset_state(), testsleep_record(), testsim_start();
        sim_wait_hook = sim_wait_pass; // the hooks as the program's start-up sets them
        k8055_pass_end_hook = k8055_warn_caution;
        connect_to_sim();
        ASSERT_EQ(connected, 1);
        testboards_start(), electrics = 1, forget();
    }
    void TearDown() override;
    static void reset_state();      // every cockpit, lamp and autostart value as at start
    static void discover(int mask); // plugs the boards of a mask, runs the discovery, forgets
    static void forget();           // clears the writes, pauses and driver calls seen
    static int pass() {             // forget(), then one input polling pass
        forget();
        return k8055_inputs();
    }
    static void poke(const char *sets); // sets simulator offsets: "0B63:1=2 08F8:4=-5 ..."
    static std::vector<uint32_t> written(uint32_t offset); // values written there, in order
    static int calls(const char *op);                      // driver calls of one operation
    static std::string ops();  // the calls as "SetCurrentDevice 1 ClearAllDigital ..."
    static std::string sent(); // the writes as " 0892:2=0 ...", the link's own left out
    static std::string put(uint32_t offset, size_t size, uint32_t value); // one write as sent()
};
