// Virtual K8055 boards for unit tests: maps the board file in the test simulator's folder,
// sets its inputs, reads its outputs and records the driver calls through the trace seam.
#include "tests/support/testboards.h"

#include "platform/platform.h"
#include "platform/k8055_board_file.h"

#include <atomic>
#include <mutex>
#include <stdio.h>
#include <stdlib.h>

static k8055_board_map map = {-1, NULL};
static std::mutex trace_lock;
static std::vector<testboards_call> calls;
static std::atomic<int> reads[K8055_BOARDS][K8055_DIGITAL_INPUTS + 1];
static std::atomic<long> selected(-1);

static void record(const char *op, long a, long b) {
    std::string name(op);
    if (name == "SetCurrentDevice" || name == "OpenDevice")
        selected = a;
    long board = selected.load();
    if (name == "ReadDigitalChannel" && board >= 0 && board < K8055_BOARDS && a >= 1 &&
        a <= K8055_DIGITAL_INPUTS)
        reads[board][a]++;
    std::lock_guard<std::mutex> g(trace_lock);
    calls.push_back(testboards_call{name, a, b});
}

void testboards_start(void) {
    testboards_stop();
    setenv("VALDORA_K8055_READ_US", "0", 1);
    k8055_board_remove();
    if (k8055_board_create(&map) == -1) {
        fprintf(stderr, "testboards: cannot create the board file\n");
        abort();
    }
    k8055_search_extra = 0;
    testboards_trace_clear();
    k8055_trace_hook = record;
}

void testboards_stop(void) {
    k8055_trace_hook = NULL;
    k8055_board_close(&map);
}

void testboards_plug(int board, int plugged) {
    k8055_board_put(&map.file->boards[board].plugged, (uint8_t)plugged);
}

void testboards_press(int board, int channel, int active) {
    k8055_board_put(&map.file->boards[board].digital_in[channel - 1], (uint8_t)active);
}

void testboards_analog(int board, int channel, int value) {
    k8055_board_put(&map.file->boards[board].analog_in[channel - 1], (uint8_t)value);
}

int testboards_output(int board, int channel) {
    return k8055_board_get(&map.file->boards[board].digital_out[channel - 1]);
}

int testboards_analog_output(int board, int channel) {
    return k8055_board_get(&map.file->boards[board].analog_out[channel - 1]);
}

void testboards_set_output(int board, int channel, int on) {
    k8055_board_put(&map.file->boards[board].digital_out[channel - 1], (uint8_t)on);
}

std::vector<testboards_call> testboards_trace(void) {
    std::lock_guard<std::mutex> g(trace_lock);
    return calls;
}

void testboards_trace_clear(void) {
    std::lock_guard<std::mutex> g(trace_lock);
    calls.clear();
    for (auto &board : reads)
        for (auto &n : board)
            n = 0;
}

int testboards_reads(int board, int channel) {
    return reads[board][channel].load();
}

std::vector<testboards_call> testboards_trace_of(int board) {
    std::vector<testboards_call> out;
    long current = -1;
    for (const testboards_call &c : testboards_trace()) {
        if (c.op == "SetCurrentDevice" || c.op == "OpenDevice")
            current = c.a;
        if (current == board)
            out.push_back(c);
    }
    return out;
}
