// The K8055 driver operations on Linux: virtual boards kept in the shared board file that the
// valdora-boards tool plugs in, presses and reads (the logic is in k8055_virtual.cpp). Every
// operation first reports itself to the test seam.
#include "platform/platform.h"
#include "platform/serial_boards.h"
#include "platform/k8055_virtual.h"

#include <errno.h>
#include <time.h>

void (*k8055_trace_hook)(const char *op, long a, long b) = NULL;
long k8055_search_extra = 0;

static void trace(const char *op, long a, long b) {
    if (k8055_trace_hook)
        k8055_trace_hook(op, a, b);
}

// The time a reading takes on the real board. This is the hardware's own time, not a pause of
// the program, so it is a direct nanosleep rather than Sleep: tests that record or skip the
// program's pauses must not see it, and it sets VALDORA_K8055_READ_US to 0 instead.
void k8055_virtual_exchange(void) {
    if (k8055_virtual_read_us <= 0)
        return;
    struct timespec t;
    t.tv_sec = k8055_virtual_read_us / 1000000L;
    t.tv_nsec = (k8055_virtual_read_us % 1000000L) * 1000L;
    while (nanosleep(&t, &t) == -1 && errno == EINTR) {
    }
}

long SearchDevices(void) {
    trace("SearchDevices", -1, -1);
    long serial_mask;
    if (serial_boards_search(&serial_mask))
        return serial_mask;
    return k8055_virtual_search() | k8055_search_extra;
}

long OpenDevice(long address) {
    trace("OpenDevice", address, -1);
    if (serial_boards_active)
        return serial_boards_open(address);
    return k8055_virtual_open(address);
}

long SetCurrentDevice(long address) {
    trace("SetCurrentDevice", address, -1);
    if (serial_boards_active)
        return serial_boards_select(address);
    return k8055_virtual_select(address);
}

long ReadDigitalChannel(long channel) {
    trace("ReadDigitalChannel", channel, -1);
    if (serial_boards_active)
        return serial_boards_read_digital(channel);
    return k8055_virtual_read_digital(channel);
}

long ReadAnalogChannel(long channel) {
    trace("ReadAnalogChannel", channel, -1);
    if (serial_boards_active)
        return serial_boards_read_analog(channel);
    return k8055_virtual_read_analog(channel);
}

void SetDigitalChannel(long channel) {
    trace("SetDigitalChannel", channel, -1);
    if (serial_boards_active)
        return serial_boards_digital(channel, 1);
    k8055_virtual_digital(channel, 1);
}

void ClearDigitalChannel(long channel) {
    trace("ClearDigitalChannel", channel, -1);
    if (serial_boards_active)
        return serial_boards_digital(channel, 0);
    k8055_virtual_digital(channel, 0);
}

void SetAnalogChannel(long channel) {
    trace("SetAnalogChannel", channel, -1);
    if (serial_boards_active)
        return serial_boards_analog(channel, 255);
    k8055_virtual_analog(channel, 255);
}

void ClearAnalogChannel(long channel) {
    trace("ClearAnalogChannel", channel, -1);
    if (serial_boards_active)
        return serial_boards_analog(channel, 0);
    k8055_virtual_analog(channel, 0);
}

void OutputAnalogChannel(long channel, long level) {
    trace("OutputAnalogChannel", channel, level);
    if (serial_boards_active)
        return serial_boards_analog(channel, level);
    k8055_virtual_analog(channel, level);
}

void ClearAllDigital(void) {
    trace("ClearAllDigital", -1, -1);
    if (serial_boards_active)
        return serial_boards_all_off(1, 0);
    k8055_virtual_clear_all_digital();
}

void ClearAllAnalog(void) {
    trace("ClearAllAnalog", -1, -1);
    if (serial_boards_active)
        return serial_boards_all_off(0, 1);
    k8055_virtual_clear_all_analog();
}

void CloseDevice(void) {
    trace("CloseDevice", -1, -1);
    if (serial_boards_active)
        return serial_boards_close_current();
    k8055_virtual_close();
}
