// The virtual K8055 boards' back-end over the shared board file that the valdora-boards tool
// plugs in, presses and reads: the K8055 back-end on Linux, and the logic of the stand-in
// K8055D.dll on Windows. Like the real driver, the operations act on the current board,
// chosen with SetCurrentDevice among the boards opened with OpenDevice; selecting any other
// address leaves no board current, so its readings are 0 and its outputs go nowhere.
#include "boards/boards.h"
#include "platform/k8055_board_file.h"

#include <stdlib.h>

// Default time of one input reading, in microseconds: a USB exchange with the real board.
#define K8055_READ_US_DEFAULT 4000L

long k8055_search_extra = 0;

// Time of one input reading in microseconds (VALDORA_K8055_READ_US, taken at each search).
static long read_us = K8055_READ_US_DEFAULT;

static struct k8055_board_map boards = {-1, NULL};
static int opened[K8055_BOARDS];
static long current = -1;

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
    if (!boards.file || current < 0 || !opened[current])
        return NULL;
    struct k8055_board *b = &boards.file->boards[current];
    return k8055_board_get(&b->plugged) == 1 ? b : NULL;
}

static int search(long *found) {
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
    long mask = 0;
    if (boards.file)
        for (int b = 0; b < K8055_BOARDS; b++)
            if (k8055_board_get(&boards.file->boards[b].plugged) == 1)
                mask |= 1L << b;
    *found = mask | k8055_search_extra;
    return *found != 0;
}

static long open_board(long address) {
    refresh_mapping();
    if (address < 0 || address >= K8055_BOARDS || !boards.file ||
        k8055_board_get(&boards.file->boards[address].plugged) != 1)
        return -1;
    if (!opened[address] && k8055_board_hold(&boards, address, 1) != 0)
        return -1; // busy: another program has it open
    opened[address] = 1;
    k8055_board_put(&boards.file->boards[address].opened, 1);
    current = address;
    return address;
}

static long select_board(long address) {
    refresh_mapping();
    if (address < 0 || address >= K8055_BOARDS || !opened[address]) {
        current = -1; // never the previous board: its inputs would be read as this one's
        return -1;
    }
    current = address;
    return address;
}

static long read_digital(long channel) {
    struct k8055_board *b = answering();
    if (!b || channel < 1 || channel > K8055_DIGITAL_INPUTS)
        return 0;
    k8055_board_exchange(read_us);
    return k8055_board_get(&b->digital_in[channel - 1]) == 1 ? 1 : 0;
}

static long read_analog(long channel) {
    struct k8055_board *b = answering();
    if (!b || channel < 1 || channel > K8055_ANALOG_INPUTS)
        return 0;
    k8055_board_exchange(read_us);
    return k8055_board_get(&b->analog_in[channel - 1]);
}

static void digital(long channel, int on) {
    struct k8055_board *b = answering();
    if (b && channel >= 1 && channel <= K8055_DIGITAL_OUTPUTS)
        k8055_board_put(&b->digital_out[channel - 1], on ? 1 : 0);
}

static void analog(long channel, long level) {
    struct k8055_board *b = answering();
    if (level < 0)
        level = 0;
    if (level > 255)
        level = 255;
    if (b && channel >= 1 && channel <= K8055_ANALOG_OUTPUTS)
        k8055_board_put(&b->analog_out[channel - 1], (uint8_t)level);
}

static void clear_all_digital(void) {
    for (long c = 1; c <= K8055_DIGITAL_OUTPUTS; c++)
        digital(c, 0);
}

static void clear_all_analog(void) {
    for (long c = 1; c <= K8055_ANALOG_OUTPUTS; c++)
        analog(c, 0);
}

static void close_board(void) {
    if (current < 0 || !opened[current])
        return;
    opened[current] = 0;
    if (boards.file && !k8055_board_gone(&boards)) {
        k8055_board_put(&boards.file->boards[current].opened, 0);
        k8055_board_hold(&boards, current, 0);
    }
    current = -1;
}

static void set_digital(long channel) {
    digital(channel, 1);
}

static void clear_digital(long channel) {
    digital(channel, 0);
}

static void set_analog(long channel) {
    analog(channel, 255);
}

static void clear_analog(long channel) {
    analog(channel, 0);
}

const struct board_methods board_virtual = {
    "virtual",         search,           NULL,          open_board, select_board, read_digital,
    read_analog,       set_digital,      clear_digital, set_analog, clear_analog, analog,
    clear_all_digital, clear_all_analog, close_board,
};
