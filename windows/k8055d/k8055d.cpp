// The stand-in driver library over the virtual boards of the shared board file that
// valdora-boards.exe plugs in, presses and reads (the logic is in platform/k8055_virtual.cpp,
// shared with Linux). Built twice, as the vendor ships it: K8055D_C.dll with the C calling
// convention and K8055D.dll with the standard one (K8055D_CDECL chooses); both export the
// operations under their plain names (K8055D.def).
#include "platform/k8055_virtual.h"

#include <windows.h>

#define K8055_API extern "C"
#ifdef K8055D_CDECL
#define K8055_CALL __cdecl
#else
#define K8055_CALL __stdcall
#endif

// The time a reading takes on the real board, in whole milliseconds.
void k8055_virtual_exchange(void) {
    if (k8055_virtual_read_us >= 1000)
        Sleep((DWORD)(k8055_virtual_read_us / 1000));
}

K8055_API long K8055_CALL SearchDevices(void) {
    return k8055_virtual_search();
}

K8055_API long K8055_CALL OpenDevice(long address) {
    return k8055_virtual_open(address);
}

K8055_API long K8055_CALL SetCurrentDevice(long address) {
    return k8055_virtual_select(address);
}

K8055_API bool K8055_CALL ReadDigitalChannel(long channel) {
    return k8055_virtual_read_digital(channel) == 1;
}

K8055_API long K8055_CALL ReadAnalogChannel(long channel) {
    return k8055_virtual_read_analog(channel);
}

K8055_API void K8055_CALL SetDigitalChannel(long channel) {
    k8055_virtual_digital(channel, 1);
}

K8055_API void K8055_CALL ClearDigitalChannel(long channel) {
    k8055_virtual_digital(channel, 0);
}

K8055_API void K8055_CALL SetAnalogChannel(long channel) {
    k8055_virtual_analog(channel, 255);
}

K8055_API void K8055_CALL ClearAnalogChannel(long channel) {
    k8055_virtual_analog(channel, 0);
}

K8055_API void K8055_CALL OutputAnalogChannel(long channel, long level) {
    k8055_virtual_analog(channel, level);
}

K8055_API void K8055_CALL ClearAllDigital(void) {
    k8055_virtual_clear_all_digital();
}

K8055_API void K8055_CALL ClearAllAnalog(void) {
    k8055_virtual_clear_all_analog();
}

K8055_API void K8055_CALL CloseDevice(void) {
    k8055_virtual_close();
}
