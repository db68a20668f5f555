// The stand-in K8055D.dll: the driver library's operations (stdcall, plain export names, as
// the vendor's DLL has them) over the virtual boards of the shared board file that
// valdora-boards.exe plugs in, presses and reads. It behaves as the Linux driver stand-in does:
// the operations act on the current board, chosen with SetCurrentDevice among the boards
// opened with OpenDevice; a board that is not plugged in does not answer.
#include "platform/k8055_board_file.h"

#include <windows.h>

#include <stdlib.h>

// Exported under their plain names by K8055D.def.
#define K8055_API extern "C"

// Default time of one input reading, in microseconds: a USB exchange with the real board.
#define K8055_READ_US_DEFAULT 4000L

static struct k8055_board_map boards = {-1, NULL};
static int opened[K8055_BOARDS];
static long current = -1;
static long read_us = K8055_READ_US_DEFAULT;

// Drops the mapping when the file has been removed, and maps the file anew when it is there.
static void refresh_mapping(void) {
    if (boards.file && k8055_board_gone(&boards))
        k8055_board_close(&boards);
    if (!boards.file)
        k8055_board_open(&boards);
}

// The current board when it is open and plugged in, else NULL (a board that does not answer).
static struct k8055_board *answering(void) {
    if (boards.file && k8055_board_gone(&boards))
        k8055_board_close(&boards);
    if (!boards.file || current < 0 || current >= K8055_BOARDS || !opened[current])
        return NULL;
    struct k8055_board *b = &boards.file->boards[current];
    return k8055_board_get(&b->plugged) == 1 ? b : NULL;
}

// The time a reading takes on the real board (VALDORA_K8055_READ_US, microseconds, sets it).
static void usb_exchange(void) {
    if (read_us >= 1000)
        Sleep((DWORD)(read_us / 1000));
}

K8055_API long __stdcall SearchDevices(void) {
    char env[32];
    read_us = K8055_READ_US_DEFAULT;
    DWORD n = GetEnvironmentVariableA("VALDORA_K8055_READ_US", env, sizeof env);
    if (n > 0 && n < sizeof env) {
        char *end;
        long v = strtol(env, &end, 10);
        if (*end == 0 && v >= 0 && v <= 1000000L)
            read_us = v;
    }
    // A search looks afresh: the file may have changed since the last one.
    k8055_board_close(&boards);
    k8055_board_open(&boards);
    long mask = 0;
    if (boards.file)
        for (int b = 0; b < K8055_BOARDS; b++)
            if (k8055_board_get(&boards.file->boards[b].plugged) == 1)
                mask |= 1L << b;
    return mask;
}

K8055_API long __stdcall OpenDevice(long address) {
    refresh_mapping();
    if (address < 0 || address >= K8055_BOARDS || !boards.file ||
        k8055_board_get(&boards.file->boards[address].plugged) != 1)
        return -1;
    opened[address] = 1;
    k8055_board_put(&boards.file->boards[address].opened, 1);
    current = address;
    return address;
}

K8055_API long __stdcall SetCurrentDevice(long address) {
    refresh_mapping();
    if (address < 0 || address >= K8055_BOARDS || !opened[address])
        return -1;
    current = address;
    return address;
}

K8055_API bool __stdcall ReadDigitalChannel(long channel) {
    struct k8055_board *b = answering();
    if (!b || channel < 1 || channel > K8055_DIGITAL_INPUTS)
        return false;
    usb_exchange();
    return k8055_board_get(&b->digital_in[channel - 1]) == 1;
}

K8055_API long __stdcall ReadAnalogChannel(long channel) {
    struct k8055_board *b = answering();
    if (!b || channel < 1 || channel > K8055_ANALOG_INPUTS)
        return 0;
    usb_exchange();
    return k8055_board_get(&b->analog_in[channel - 1]);
}

// Sets one digital output of the current board to on (1) or off (0).
static void put_digital(long channel, uint8_t on) {
    struct k8055_board *b = answering();
    if (b && channel >= 1 && channel <= K8055_DIGITAL_OUTPUTS)
        k8055_board_put(&b->digital_out[channel - 1], on);
}

// Sets one analog output level of the current board, held to the board's 0..255.
static void put_analog(long channel, long level) {
    struct k8055_board *b = answering();
    if (level < 0)
        level = 0;
    if (level > 255)
        level = 255;
    if (b && channel >= 1 && channel <= K8055_ANALOG_OUTPUTS)
        k8055_board_put(&b->analog_out[channel - 1], (uint8_t)level);
}

K8055_API void __stdcall SetDigitalChannel(long channel) {
    put_digital(channel, 1);
}

K8055_API void __stdcall ClearDigitalChannel(long channel) {
    put_digital(channel, 0);
}

K8055_API void __stdcall SetAnalogChannel(long channel) {
    put_analog(channel, 255);
}

K8055_API void __stdcall ClearAnalogChannel(long channel) {
    put_analog(channel, 0);
}

K8055_API void __stdcall OutputAnalogChannel(long channel, long level) {
    put_analog(channel, level);
}

K8055_API void __stdcall ClearAllDigital(void) {
    for (long c = 1; c <= K8055_DIGITAL_OUTPUTS; c++)
        put_digital(c, 0);
}

K8055_API void __stdcall ClearAllAnalog(void) {
    for (long c = 1; c <= K8055_ANALOG_OUTPUTS; c++)
        put_analog(c, 0);
}

K8055_API void __stdcall CloseDevice(void) {
    if (current < 0 || current >= K8055_BOARDS || !opened[current])
        return;
    opened[current] = 0;
    if (boards.file && !k8055_board_gone(&boards))
        k8055_board_put(&boards.file->boards[current].opened, 0);
    current = -1;
}
