// The stand-in driver library over the virtual boards of the shared board file that
// valdora-boards.exe plugs in, presses and reads (the logic is the virtual boards' back-end,
// boards/virtual.cpp, shared with Linux). Built twice, as the vendor ships it: K8055D_C.dll with
// the C calling convention and K8055D.dll with the standard one (K8055D_CDECL chooses); both
// export the operations under their plain names (K8055D.def).
#include "boards/boards.h"

#include <windows.h>

#define K8055_API extern "C"
#ifdef K8055D_CDECL
#define K8055_CALL __cdecl
#else
#define K8055_CALL __stdcall
#endif

K8055_API long K8055_CALL SearchDevices(void) {
    long mask;
    board_virtual.search(&mask);
    return mask;
}

K8055_API long K8055_CALL OpenDevice(long address) {
    return board_virtual.open(address);
}

K8055_API long K8055_CALL SetCurrentDevice(long address) {
    return board_virtual.select(address);
}

K8055_API bool K8055_CALL ReadDigitalChannel(long channel) {
    return board_virtual.read_digital(channel) == 1;
}

K8055_API long K8055_CALL ReadAnalogChannel(long channel) {
    return board_virtual.read_analog(channel);
}

K8055_API void K8055_CALL SetDigitalChannel(long channel) {
    board_virtual.set_digital(channel);
}

K8055_API void K8055_CALL ClearDigitalChannel(long channel) {
    board_virtual.clear_digital(channel);
}

K8055_API void K8055_CALL SetAnalogChannel(long channel) {
    board_virtual.set_analog(channel);
}

K8055_API void K8055_CALL ClearAnalogChannel(long channel) {
    board_virtual.clear_analog(channel);
}

K8055_API void K8055_CALL OutputAnalogChannel(long channel, long level) {
    board_virtual.output_analog(channel, level);
}

K8055_API void K8055_CALL ClearAllDigital(void) {
    board_virtual.clear_all_digital();
}

K8055_API void K8055_CALL ClearAllAnalog(void) {
    board_virtual.clear_all_analog();
}

K8055_API void K8055_CALL CloseDevice(void) {
    board_virtual.close();
}
