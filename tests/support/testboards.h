// Virtual K8055 boards for unit tests: the shared board file in the test simulator's private
// folder (start testsim first), with no read time, plus a trace of every driver call.
#pragma once

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
void testboards_analog(int board, int channel, int value);  // analog input 1..2 to 0..255
int testboards_output(int board, int channel);              // digital output 1..8: 1 on
int testboards_analog_output(int board, int channel);       // analog output 1..2 level
void testboards_set_output(int board, int channel, int on); // puts a lamp on, as if left lit
std::vector<testboards_call> testboards_trace(void);        // driver calls since the last clear
void testboards_trace_clear(void);
// ReadDigitalChannel calls of one board's channel since the last clear (safe from any thread).
int testboards_reads(int board, int channel);
// Calls traced for one board: those between a SetCurrentDevice/OpenDevice of it and the next.
std::vector<testboards_call> testboards_trace_of(int board);
