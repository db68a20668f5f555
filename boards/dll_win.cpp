// The K8055 back-end on Windows: the vendor's driver library, loaded at run time with
// LoadLibrary and GetProcAddress, so nothing of the vendor's is needed to build. The vendor
// ships it twice: K8055D_C.dll with the C calling convention, tried first, and K8055D.dll with
// the standard calling convention, tried next; each is called through pointers of its own
// convention, since a call in the wrong one corrupts the 32-bit stack. Without either library
// (or with one that lacks an operation) the search finds no board and every other operation
// does nothing, so the program runs on without boards.
#include "boards/boards.h"

#include <windows.h>

typedef long(__cdecl *c_long_fn)(void);
typedef long(__cdecl *c_long_long_fn)(long);
typedef bool(__cdecl *c_bool_long_fn)(long);
typedef void(__cdecl *c_void_fn)(void);
typedef void(__cdecl *c_void_long_fn)(long);
typedef void(__cdecl *c_void_long_long_fn)(long, long);

typedef long(__stdcall *std_long_fn)(void);
typedef long(__stdcall *std_long_long_fn)(long);
typedef bool(__stdcall *std_bool_long_fn)(long);
typedef void(__stdcall *std_void_fn)(void);
typedef void(__stdcall *std_void_long_fn)(long);
typedef void(__stdcall *std_void_long_long_fn)(long, long);

// The entry points of K8055D_C.dll.
struct k8055_c_dll {
    c_long_fn search_devices;
    c_long_long_fn open_device;
    c_long_long_fn set_current_device;
    c_bool_long_fn read_digital_channel;
    c_long_long_fn read_analog_channel;
    c_void_long_fn set_digital_channel;
    c_void_long_fn clear_digital_channel;
    c_void_long_fn set_analog_channel;
    c_void_long_fn clear_analog_channel;
    c_void_long_long_fn output_analog_channel;
    c_void_fn clear_all_digital;
    c_void_fn clear_all_analog;
    c_void_fn close_device;
};

// The entry points of K8055D.dll.
struct k8055_std_dll {
    std_long_fn search_devices;
    std_long_long_fn open_device;
    std_long_long_fn set_current_device;
    std_bool_long_fn read_digital_channel;
    std_long_long_fn read_analog_channel;
    std_void_long_fn set_digital_channel;
    std_void_long_fn clear_digital_channel;
    std_void_long_fn set_analog_channel;
    std_void_long_fn clear_analog_channel;
    std_void_long_long_fn output_analog_channel;
    std_void_fn clear_all_digital;
    std_void_fn clear_all_analog;
    std_void_fn close_device;
};

// Which library is in use.
enum k8055_library { K8055_NONE, K8055_C, K8055_STD };

static enum k8055_library library = K8055_NONE;
static int dll_tried = 0;
static struct k8055_c_dll c_dll;
static struct k8055_std_dll std_dll;

// One entry point by name (NULL when missing), as a generic function pointer, which the
// compiler lets us cast to any function type.
typedef void (*any_fn)(void);
static any_fn entry(HMODULE module, const char *name, int *missing) {
    any_fn f = reinterpret_cast<any_fn>(GetProcAddress(module, name));
    if (!f)
        *missing = 1;
    return f;
}

// Fills the table of one library from the named exports: 1 when every operation is there.
// T is k8055_c_dll or k8055_std_dll; the pointer types of its fields give the convention.
template <typename T> static int load_table(HMODULE m, T *t) {
    int missing = 0;
    t->search_devices = (decltype(t->search_devices))entry(m, "SearchDevices", &missing);
    t->open_device = (decltype(t->open_device))entry(m, "OpenDevice", &missing);
    t->set_current_device = (decltype(t->set_current_device))entry(m, "SetCurrentDevice", &missing);
    t->read_digital_channel =
        (decltype(t->read_digital_channel))entry(m, "ReadDigitalChannel", &missing);
    t->read_analog_channel =
        (decltype(t->read_analog_channel))entry(m, "ReadAnalogChannel", &missing);
    t->set_digital_channel =
        (decltype(t->set_digital_channel))entry(m, "SetDigitalChannel", &missing);
    t->clear_digital_channel =
        (decltype(t->clear_digital_channel))entry(m, "ClearDigitalChannel", &missing);
    t->set_analog_channel = (decltype(t->set_analog_channel))entry(m, "SetAnalogChannel", &missing);
    t->clear_analog_channel =
        (decltype(t->clear_analog_channel))entry(m, "ClearAnalogChannel", &missing);
    t->output_analog_channel =
        (decltype(t->output_analog_channel))entry(m, "OutputAnalogChannel", &missing);
    t->clear_all_digital = (decltype(t->clear_all_digital))entry(m, "ClearAllDigital", &missing);
    t->clear_all_analog = (decltype(t->clear_all_analog))entry(m, "ClearAllAnalog", &missing);
    t->close_device = (decltype(t->close_device))entry(m, "CloseDevice", &missing);
    return !missing;
}

// Loads the named library whole into t, or lets it go: 1 or 0.
template <typename T> static int load_library(const char *name, T *t) {
    HMODULE m = LoadLibraryA(name);
    if (!m)
        return 0;
    if (load_table(m, t))
        return 1;
    FreeLibrary(m);
    ZeroMemory(t, sizeof *t);
    return 0;
}

// The libraries in the order they are tried: the C convention's first.
static const char *const library_names[2] = {"K8055D_C.dll", "K8055D.dll"};

// Loads the driver library once; the one in use, or K8055_NONE.
static enum k8055_library dll(void) {
    if (!dll_tried) {
        dll_tried = 1;
        if (load_library(library_names[0], &c_dll))
            library = K8055_C;
        else if (load_library(library_names[1], &std_dll))
            library = K8055_STD;
    }
    return library;
}

static int search(long *mask) {
    switch (dll()) {
    case K8055_C:
        *mask = c_dll.search_devices();
        break;
    case K8055_STD:
        *mask = std_dll.search_devices();
        break;
    default:
        *mask = 0;
    }
    return *mask != 0;
}

static long open_board(long address) {
    switch (dll()) {
    case K8055_C:
        return c_dll.open_device(address);
    case K8055_STD:
        return std_dll.open_device(address);
    default:
        return -1;
    }
}

static long select_board(long address) {
    switch (dll()) {
    case K8055_C:
        return c_dll.set_current_device(address);
    case K8055_STD:
        return std_dll.set_current_device(address);
    default:
        return -1;
    }
}

static long read_digital(long channel) {
    switch (dll()) {
    case K8055_C:
        return c_dll.read_digital_channel(channel) ? 1 : 0;
    case K8055_STD:
        return std_dll.read_digital_channel(channel) ? 1 : 0;
    default:
        return 0;
    }
}

static long read_analog(long channel) {
    switch (dll()) {
    case K8055_C:
        return c_dll.read_analog_channel(channel);
    case K8055_STD:
        return std_dll.read_analog_channel(channel);
    default:
        return 0;
    }
}

static void set_digital(long channel) {
    if (dll() == K8055_C)
        c_dll.set_digital_channel(channel);
    else if (library == K8055_STD)
        std_dll.set_digital_channel(channel);
}

static void clear_digital(long channel) {
    if (dll() == K8055_C)
        c_dll.clear_digital_channel(channel);
    else if (library == K8055_STD)
        std_dll.clear_digital_channel(channel);
}

static void set_analog(long channel) {
    if (dll() == K8055_C)
        c_dll.set_analog_channel(channel);
    else if (library == K8055_STD)
        std_dll.set_analog_channel(channel);
}

static void clear_analog(long channel) {
    if (dll() == K8055_C)
        c_dll.clear_analog_channel(channel);
    else if (library == K8055_STD)
        std_dll.clear_analog_channel(channel);
}

static void output_analog(long channel, long level) {
    if (dll() == K8055_C)
        c_dll.output_analog_channel(channel, level);
    else if (library == K8055_STD)
        std_dll.output_analog_channel(channel, level);
}

static void clear_all_digital(void) {
    if (dll() == K8055_C)
        c_dll.clear_all_digital();
    else if (library == K8055_STD)
        std_dll.clear_all_digital();
}

static void clear_all_analog(void) {
    if (dll() == K8055_C)
        c_dll.clear_all_analog();
    else if (library == K8055_STD)
        std_dll.clear_all_analog();
}

static void close_board(void) {
    if (dll() == K8055_C)
        c_dll.close_device();
    else if (library == K8055_STD)
        std_dll.close_device();
}

const struct board_methods board_dll = {
    "k8055",           search,           NULL,          open_board, select_board, read_digital,
    read_analog,       set_digital,      clear_digital, set_analog, clear_analog, output_analog,
    clear_all_digital, clear_all_analog, close_board,
};
