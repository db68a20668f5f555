// Virtual K8055 boards for unit tests, and the fixture of the cockpit tests: the stand-in
// simulator in a thread with the link open, the board file in its private folder with no read
// time, every driver call traced, pauses recorded, and the program's state reset around each test.
#pragma once

#include "app/app.h"
#include "autostart/autostart.h"
#include "k8055/k8055.h"
#include "lamps/lamps.h"
#include "platform/k8055_board_file.h"
#include "rmu/rmu.h"
#include "simlink/simlink.h"
#include "tests/support/testsim.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

struct testboards_call {
    std::string op; // driver operation, e.g. "SetCurrentDevice"
    long a, b;      // its arguments, -1 for none
};

void testboards_start(void);                  // fresh board file, no board plugged, tracing on
void testboards_stop(void);                   // tracing off, file unmapped
void testboards_plug(int board, int plugged); // plugs a board in (1) or out (0)
void testboards_press(int board, int channel, int active);  // switch input 1..5 closed or open
void testboards_hold(int board, int channel, int reads);    // closed for the next reads only
void testboards_analog(int board, int channel, int value);  // analog input 1..2 to 0..255
int testboards_output(int board, int channel);              // digital output 1..8: 1 on
int testboards_analog_output(int board, int channel);       // analog output 1..2 level
void testboards_set_output(int board, int channel, int on); // puts a lamp on, as if left lit
std::vector<testboards_call> testboards_trace(void);        // driver calls since the last clear
void testboards_trace_clear(void);                          // also zeroes the read counts
int testboards_reads(int board, int channel); // digital reads of one input since the last clear
void testfail_after(int successes); // refuses the request after the next `successes` good ones

typedef std::vector<unsigned> Pauses;

class CockpitTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;
    static void reset_state();      // every cockpit, lamp and autostart value at start
    static void discover(int mask); // plugs the boards of a mask, runs the discovery
    static void forget();           // clears writes, pauses and the trace
    static int pass();              // forget(), then one input polling pass
    static std::vector<uint32_t> written(uint32_t offset); // values written there, in order
    static int calls(const char *op); // driver calls of one operation in the trace
    static std::string ops();         // the trace as "SetCurrentDevice 1 ClearAllDigital"
};
