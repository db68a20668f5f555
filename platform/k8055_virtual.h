// The virtual K8055 boards' driver logic, shared by the Linux driver stand-in (k8055_unix.cpp)
// and the stand-in K8055D.dll of Windows: which boards are open, which one is current, and the
// readings and outputs of the current board in the shared board file. Each side wraps these
// in the driver's own entry points (with its tracing or its calling convention).
#pragma once

#include "platform/k8055_board_file.h"

// Time of one input reading in microseconds (VALDORA_K8055_READ_US, taken at each search).
extern long k8055_virtual_read_us;

long k8055_virtual_search(void);         // maps the file afresh; bit n set: board n plugged in
long k8055_virtual_open(long address);   // opens and selects a plugged board; address, else -1
long k8055_virtual_select(long address); // selects an open board, else none; address, else -1
long k8055_virtual_read_digital(long channel); // 1 when input 1..5 of the current board is closed
long k8055_virtual_read_analog(long channel);  // analog input 1..2 of the current board, 0..255
void k8055_virtual_digital(long channel, int on);    // digital output 1..8 on (1) or off (0)
void k8055_virtual_analog(long channel, long level); // analog output 1..2, held to 0..255
void k8055_virtual_clear_all_digital(void);          // all eight digital outputs off
void k8055_virtual_clear_all_analog(void);           // both analog outputs off
void k8055_virtual_close(void);                      // closes the current board; none current

// Waits the time of one reading on the real board; each side defines it.
void k8055_virtual_exchange(void);
