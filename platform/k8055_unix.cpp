// The K8055 driver operations on Linux: virtual boards kept in the shared board file that the
// valdora-boards tool plugs in, presses and reads. Like the real driver, the operations act on
// the current board, chosen with SetCurrentDevice among the boards opened with OpenDevice.
#include "platform/platform.h"
#include "platform/k8055_board_file.h"

#include <errno.h>
#include <stdlib.h>
#include <time.h>

void (*k8055_trace_hook)(const char *op, long a, long b) = NULL;
long k8055_search_extra = 0;

// Default time of one input reading, in microseconds: a USB exchange with the real board.
#define K8055_READ_US_DEFAULT 4000L

static struct k8055_board_map boards = {-1, NULL};
static int opened[K8055_BOARDS];
static long current = -1;
static long read_us = K8055_READ_US_DEFAULT;

static void trace(const char *op, long a, long b) {
    if (k8055_trace_hook)
        k8055_trace_hook(op, a, b);
}

// Drops the mapping when the file has been removed (its boards then stop answering), and maps
// the file anew when it is there again.
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

// The time a reading takes on the real board. This is the hardware's own time, not a pause of
// the program, so it is a direct nanosleep rather than Sleep: tests that record or skip the
// program's pauses must not see it, and it sets VALDORA_K8055_READ_US to 0 instead.
static void usb_exchange(void) {
    if (read_us <= 0)
        return;
    struct timespec t;
    t.tv_sec = read_us / 1000000L;
    t.tv_nsec = (read_us % 1000000L) * 1000L;
    while (nanosleep(&t, &t) == -1 && errno == EINTR) {
    }
}

long SearchDevices(void) {
    trace("SearchDevices", -1, -1);
    const char *env = getenv("VALDORA_K8055_READ_US");
    read_us = K8055_READ_US_DEFAULT;
    if (env && env[0]) {
        char *end;
        long v = strtol(env, &end, 10);
        if (*end == 0 && v >= 0 && v <= 1000000L)
            read_us = v;
    }
    // A search looks afresh: the folder may have changed since the last one.
    k8055_board_close(&boards);
    k8055_board_open(&boards);
    long mask = k8055_search_extra;
    if (boards.file)
        for (int b = 0; b < K8055_BOARDS; b++)
            if (k8055_board_get(&boards.file->boards[b].plugged) == 1)
                mask |= 1L << b;
    return mask;
}

long OpenDevice(long address) {
    trace("OpenDevice", address, -1);
    refresh_mapping();
    if (address < 0 || address >= K8055_BOARDS || !boards.file ||
        k8055_board_get(&boards.file->boards[address].plugged) != 1)
        return -1;
    opened[address] = 1;
    k8055_board_put(&boards.file->boards[address].opened, 1);
    current = address;
    return address;
}

long SetCurrentDevice(long address) {
    trace("SetCurrentDevice", address, -1);
    refresh_mapping();
    if (address < 0 || address >= K8055_BOARDS || !opened[address])
        return -1;
    current = address;
    return address;
}

long ReadDigitalChannel(long channel) {
    trace("ReadDigitalChannel", channel, -1);
    struct k8055_board *b = answering();
    if (!b || channel < 1 || channel > K8055_DIGITAL_INPUTS)
        return 0;
    usb_exchange();
    return k8055_board_get(&b->digital_in[channel - 1]) == 1 ? 1 : 0;
}

long ReadAnalogChannel(long channel) {
    trace("ReadAnalogChannel", channel, -1);
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

void SetDigitalChannel(long channel) {
    trace("SetDigitalChannel", channel, -1);
    put_digital(channel, 1);
}

void ClearDigitalChannel(long channel) {
    trace("ClearDigitalChannel", channel, -1);
    put_digital(channel, 0);
}

void SetAnalogChannel(long channel) {
    trace("SetAnalogChannel", channel, -1);
    put_analog(channel, 255);
}

void ClearAnalogChannel(long channel) {
    trace("ClearAnalogChannel", channel, -1);
    put_analog(channel, 0);
}

void OutputAnalogChannel(long channel, long level) {
    trace("OutputAnalogChannel", channel, level);
    put_analog(channel, level);
}

void ClearAllDigital(void) {
    trace("ClearAllDigital", -1, -1);
    for (long c = 1; c <= K8055_DIGITAL_OUTPUTS; c++)
        put_digital(c, 0);
}

void ClearAllAnalog(void) {
    trace("ClearAllAnalog", -1, -1);
    for (long c = 1; c <= K8055_ANALOG_OUTPUTS; c++)
        put_analog(c, 0);
}

void CloseDevice(void) {
    trace("CloseDevice", -1, -1);
    if (current < 0 || current >= K8055_BOARDS || !opened[current])
        return;
    opened[current] = 0;
    if (boards.file && !k8055_board_gone(&boards))
        k8055_board_put(&boards.file->boards[current].opened, 0);
    current = -1;
}
