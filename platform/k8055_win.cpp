// The K8055 driver operations on Windows: the vendor's K8055D.dll, loaded at run time with
// LoadLibrary and GetProcAddress, so nothing of the vendor's is needed to build. Without the DLL
// (or with one that lacks an operation) the search finds no board and every other operation
// does nothing, so the program runs on without boards.
#include "platform/platform.h"

#include <windows.h>

typedef long(__stdcall *k8055_long_fn)(void);
typedef long(__stdcall *k8055_long_long_fn)(long);
typedef bool(__stdcall *k8055_bool_long_fn)(long);
typedef void(__stdcall *k8055_void_fn)(void);
typedef void(__stdcall *k8055_void_long_fn)(long);
typedef void(__stdcall *k8055_void_long_long_fn)(long, long);

// The DLL's entry points; all NULL until the DLL has been loaded whole.
struct k8055_dll {
    k8055_long_fn search_devices;
    k8055_long_long_fn open_device;
    k8055_long_long_fn set_current_device;
    k8055_bool_long_fn read_digital_channel;
    k8055_long_long_fn read_analog_channel;
    k8055_void_long_fn set_digital_channel;
    k8055_void_long_fn clear_digital_channel;
    k8055_void_long_fn set_analog_channel;
    k8055_void_long_fn clear_analog_channel;
    k8055_void_long_long_fn output_analog_channel;
    k8055_void_fn clear_all_digital;
    k8055_void_fn clear_all_analog;
    k8055_void_fn close_device;
};

static HMODULE dll_module = NULL;
static int dll_tried = 0;
static struct k8055_dll dll;

// One entry point by name, as a plain function pointer (cast through the generic
// function-pointer type, which the compiler accepts between any two function types).
static void (*entry(const char *name))(void) {
    return reinterpret_cast<void (*)(void)>(GetProcAddress(dll_module, name));
}

// Loads K8055D.dll once; 1 when every operation is there, else 0 (and the DLL is let go).
static int dll_loaded(void) {
    if (dll_tried)
        return dll_module != NULL;
    dll_tried = 1;
    dll_module = LoadLibraryA("K8055D.dll");
    if (!dll_module)
        return 0;
    dll.search_devices = reinterpret_cast<k8055_long_fn>(entry("SearchDevices"));
    dll.open_device = reinterpret_cast<k8055_long_long_fn>(entry("OpenDevice"));
    dll.set_current_device = reinterpret_cast<k8055_long_long_fn>(entry("SetCurrentDevice"));
    dll.read_digital_channel = reinterpret_cast<k8055_bool_long_fn>(entry("ReadDigitalChannel"));
    dll.read_analog_channel = reinterpret_cast<k8055_long_long_fn>(entry("ReadAnalogChannel"));
    dll.set_digital_channel = reinterpret_cast<k8055_void_long_fn>(entry("SetDigitalChannel"));
    dll.clear_digital_channel = reinterpret_cast<k8055_void_long_fn>(entry("ClearDigitalChannel"));
    dll.set_analog_channel = reinterpret_cast<k8055_void_long_fn>(entry("SetAnalogChannel"));
    dll.clear_analog_channel = reinterpret_cast<k8055_void_long_fn>(entry("ClearAnalogChannel"));
    dll.output_analog_channel =
        reinterpret_cast<k8055_void_long_long_fn>(entry("OutputAnalogChannel"));
    dll.clear_all_digital = reinterpret_cast<k8055_void_fn>(entry("ClearAllDigital"));
    dll.clear_all_analog = reinterpret_cast<k8055_void_fn>(entry("ClearAllAnalog"));
    dll.close_device = reinterpret_cast<k8055_void_fn>(entry("CloseDevice"));
    if (!dll.search_devices || !dll.open_device || !dll.set_current_device ||
        !dll.read_digital_channel || !dll.read_analog_channel || !dll.set_digital_channel ||
        !dll.clear_digital_channel || !dll.set_analog_channel || !dll.clear_analog_channel ||
        !dll.output_analog_channel || !dll.clear_all_digital || !dll.clear_all_analog ||
        !dll.close_device) {
        FreeLibrary(dll_module);
        dll_module = NULL;
        ZeroMemory(&dll, sizeof dll);
        return 0;
    }
    return 1;
}

long SearchDevices(void) {
    if (!dll_loaded())
        return 0;
    return dll.search_devices();
}

long OpenDevice(long address) {
    if (!dll_loaded())
        return -1;
    return dll.open_device(address);
}

long SetCurrentDevice(long address) {
    if (!dll_loaded())
        return -1;
    return dll.set_current_device(address);
}

long ReadDigitalChannel(long channel) {
    if (!dll_loaded())
        return 0;
    return dll.read_digital_channel(channel) ? 1 : 0;
}

long ReadAnalogChannel(long channel) {
    if (!dll_loaded())
        return 0;
    return dll.read_analog_channel(channel);
}

void SetDigitalChannel(long channel) {
    if (dll_loaded())
        dll.set_digital_channel(channel);
}

void ClearDigitalChannel(long channel) {
    if (dll_loaded())
        dll.clear_digital_channel(channel);
}

void SetAnalogChannel(long channel) {
    if (dll_loaded())
        dll.set_analog_channel(channel);
}

void ClearAnalogChannel(long channel) {
    if (dll_loaded())
        dll.clear_analog_channel(channel);
}

void OutputAnalogChannel(long channel, long level) {
    if (dll_loaded())
        dll.output_analog_channel(channel, level);
}

void ClearAllDigital(void) {
    if (dll_loaded())
        dll.clear_all_digital();
}

void ClearAllAnalog(void) {
    if (dll_loaded())
        dll.clear_all_analog();
}

void CloseDevice(void) {
    if (dll_loaded())
        dll.close_device();
}
