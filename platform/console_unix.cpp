// The console on Linux: terminals understand escape codes already; Ctrl+C (SIGINT) only sets
// the caller's stop flag, so that the program can close what it holds and end by itself.
#include "platform/platform.h"

#include <signal.h>

static volatile int *stop_flag;

static void on_interrupt(int sig) {
    (void)sig;
    *stop_flag = 1;
}

void console_prepare(volatile int *stop) {
    stop_flag = stop;
    signal(SIGINT, on_interrupt);
}
