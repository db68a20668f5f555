// The K8055 driver operations, the same on every system: each reports itself to the test seam
// and goes to the back-end that the last search chose. The search makes the choice once:
// VALDORA_BOARDS=serial:PORT takes the serial board, any other value the K8055 back-end, and
// without it the K8055 back-end is asked first and the serial board only when it finds none.
#include "boards/boards.h"
#include "boards/serial.h"
#include "platform/platform.h"

#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#define BOARD_K8055 board_dll
#else
#define BOARD_K8055 board_virtual
#endif

const struct board_methods *boards_backends[2] = {&BOARD_K8055, &board_serial};
const struct board_methods *boards_chosen = &BOARD_K8055;
void (*k8055_trace_hook)(const char *op, long a, long b) = NULL;

static void trace(const char *op, long a, long b) {
    if (k8055_trace_hook)
        k8055_trace_hook(op, a, b);
}

long SearchDevices(void) {
    trace("SearchDevices", -1, -1);
    for (int i = 0; i < 2; i++) // every search starts afresh: a port held before is let go
        if (boards_backends[i]->reset)
            boards_backends[i]->reset();
    const char *env = getenv("VALDORA_BOARDS");
    int serial_named = env && strncmp(env, "serial:", 7) == 0;
    int k8055_named = env && env[0] && !serial_named;
    long mask = 0;
    boards_chosen = boards_backends[0];
    int taken = !serial_named && boards_backends[0]->search(&mask);
    if (!taken && !k8055_named && boards_backends[1]->search(&mask))
        boards_chosen = boards_backends[1];
    return mask;
}

long OpenDevice(long address) {
    trace("OpenDevice", address, -1);
    return boards_chosen->open(address);
}

long SetCurrentDevice(long address) {
    trace("SetCurrentDevice", address, -1);
    return boards_chosen->select(address);
}

long ReadDigitalChannel(long channel) {
    trace("ReadDigitalChannel", channel, -1);
    return boards_chosen->read_digital(channel);
}

long ReadAnalogChannel(long channel) {
    trace("ReadAnalogChannel", channel, -1);
    return boards_chosen->read_analog(channel);
}

void SetDigitalChannel(long channel) {
    trace("SetDigitalChannel", channel, -1);
    boards_chosen->set_digital(channel);
}

void ClearDigitalChannel(long channel) {
    trace("ClearDigitalChannel", channel, -1);
    boards_chosen->clear_digital(channel);
}

void SetAnalogChannel(long channel) {
    trace("SetAnalogChannel", channel, -1);
    boards_chosen->set_analog(channel);
}

void ClearAnalogChannel(long channel) {
    trace("ClearAnalogChannel", channel, -1);
    boards_chosen->clear_analog(channel);
}

void OutputAnalogChannel(long channel, long level) {
    trace("OutputAnalogChannel", channel, level);
    boards_chosen->output_analog(channel, level);
}

void ClearAllDigital(void) {
    trace("ClearAllDigital", -1, -1);
    boards_chosen->clear_all_digital();
}

void ClearAllAnalog(void) {
    trace("ClearAllAnalog", -1, -1);
    boards_chosen->clear_all_analog();
}

void CloseDevice(void) {
    trace("CloseDevice", -1, -1);
    boards_chosen->close();
}

void boards_pass(void) {
    serial_link_pass();
}

void boards_waiting(int on) {
    serial_link_waiting(on);
}
