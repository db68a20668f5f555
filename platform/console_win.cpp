// The console on Windows: virtual-terminal processing switched on, so that escape codes move
// the cursor instead of showing as text, and Ctrl+C (or closing the console) only sets the
// caller's stop flag, so that the program can close what it holds and end by itself.
#include "platform/platform.h"

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

static volatile int *stop_flag;

static BOOL WINAPI on_break(DWORD event) {
    (void)event;
    *stop_flag = 1;
    return TRUE;
}

void console_prepare(volatile int *stop) {
    stop_flag = stop;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (out != INVALID_HANDLE_VALUE && GetConsoleMode(out, &mode))
        SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    SetConsoleCtrlHandler(on_break, TRUE);
}
