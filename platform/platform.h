// The platform layer: the Win32 and K8055 driver names the program calls.
// On Windows these are the real API (windows.h, winalleg.h and the driver DLL);
// on Linux they are our own implementations in the *_unix.cpp files of this folder.
#pragma once

#include <stdint.h>
#include <stddef.h>
#include <stdio.h>

#ifdef _WIN32

#include <allegro.h>
#include <winalleg.h>

#else // POSIX

#include <allegro.h>

typedef uint32_t DWORD;
typedef uint32_t UINT;
typedef int32_t BOOL;
typedef uint16_t ATOM;
typedef long LONG;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef uintptr_t DWORD_PTR;
typedef intptr_t LRESULT;
typedef uint8_t BYTE;
typedef const char *LPCSTR;
typedef char *LPSTR;
typedef void *LPVOID;

// An opaque window handle: on Linux either the X window of our own program or
// a connection to a simulator server endpoint (see docs/ipc-transport.md).
typedef struct platform_window *HWND;
// An opaque kernel-object handle (a shared-memory block on Linux).
typedef struct platform_handle *HANDLE;
// A device context; on Linux it only carries the X display's depth.
typedef struct platform_dc *HDC;

typedef struct {
    LONG left, top, right, bottom;
} RECT;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define PAGE_READWRITE 0x04
#define FILE_MAP_WRITE 0x0002
#define SMTO_BLOCK 0x0001
#define SWP_NOZORDER 0x0004
#define BITSPIXEL 12
#define ERROR_ALREADY_EXISTS 183
#define ERROR_INVALID_WINDOW_HANDLE 1400
#define ERROR_TIMEOUT 1460

// Pauses the calling thread for ms milliseconds; every wait of the program goes through it.
void Sleep(DWORD ms);

// Milliseconds since an arbitrary start (wraps after 49 days); measures, never paces.
DWORD GetTickCount(void);

// Device context of the whole screen (hwnd must be NULL).
HDC GetDC(HWND hwnd);
// Bits per pixel of the display for index BITSPIXEL (a 24-bit visual counts as 32).
int GetDeviceCaps(HDC hdc, int index);
// The program's own window (Allegro's X11 window).
HWND win_get_window(void);
// Outer rectangle of the window: content plus 6 pixels across and 25 down.
BOOL GetWindowRect(HWND hwnd, RECT *rect);
// Moves and resizes the window given its outer size (content + 6 across, + 25 down).
BOOL SetWindowPos(HWND hwnd, HWND after, int x, int y, int cx, int cy, UINT flags);

// IPC calls used by the simulator link client (POSIX transport, docs/ipc-transport.md).
HWND FindWindowExA(HWND parent, HWND child_after, LPCSTR class_name, LPCSTR window_name);
UINT RegisterWindowMessageA(LPCSTR name);
DWORD GetCurrentProcessId(void);
int wsprintfA(LPSTR out, LPCSTR format, ...);
ATOM GlobalAddAtomA(LPCSTR name);
ATOM GlobalDeleteAtom(ATOM atom);
HANDLE CreateFileMappingA(HANDLE file, void *security, DWORD protect, DWORD size_high,
                          DWORD size_low, LPCSTR name);
LPVOID MapViewOfFile(HANDLE map, DWORD access, DWORD offset_high, DWORD offset_low, size_t bytes);
BOOL UnmapViewOfFile(const void *view);
BOOL CloseHandle(HANDLE handle);
DWORD GetLastError(void);
LRESULT SendMessageTimeoutA(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, UINT flags,
                            UINT timeout_ms, DWORD_PTR *result);

#endif // _WIN32

// Calls fn (possibly from the graphics library's own thread) whenever the window system shows
// part of the window again after it was covered, minimised or restored.
void window_watch_exposure(void (*fn)(void));
// Makes the window system show at once what was just drawn on the screen (a no-op where the
// graphics library's drawing reaches the window by itself).
void window_show_drawing(void);

// Starts fn(arg) on a thread of its own, named name where the system keeps names; its handle
// or NULL.
void *platform_thread_start(void (*fn)(void *), void *arg, const char *name);
// Waits for a thread started above to end, and lets go of its handle (NULL is ignored).
void platform_thread_join(void *thread);
// A new lock (never destroyed: the program makes a fixed few); NULL when out of memory.
void *platform_mutex_create(void);
// Takes a lock, waiting while another thread holds it.
void platform_mutex_lock(void *m);
// Gives a lock back.
void platform_mutex_unlock(void *m);
// Fills buf with len bytes from the system's cryptographic random source; -1 without one.
int platform_random(void *buf, size_t len);
// Creates or empties a file for writing, readable and writable by its owner alone where the
// system keeps owners (a file holding a secret); NULL when it cannot be written.
FILE *platform_private_file(const char *path);
// The address other machines on the local network reach this one at (the address of the
// interface that carries outgoing traffic), as text; -1 when there is no network.
int platform_lan_address(char *out, size_t size);

// Readies the console for a program that redraws it: escape codes honoured, and Ctrl+C
// setting *stop to 1 instead of ending the program.
void console_prepare(volatile int *stop);

// When set, Sleep calls this instead of sleeping, so tests can run pauses fast or record them.
extern void (*platform_sleep_hook)(DWORD ms);

// K8055 driver library operations, the same on every platform: the boards' switchboard
// (boards/boards.cpp) hands each to the back-end that the search chose: the vendor's driver
// library on Windows, the virtual boards on Linux, or the serial board.
long SearchDevices(void);
long OpenDevice(long address);
long SetCurrentDevice(long address);
long ReadDigitalChannel(long channel);
long ReadAnalogChannel(long channel);
void SetDigitalChannel(long channel);
void ClearDigitalChannel(long channel);
void SetAnalogChannel(long channel);
void ClearAnalogChannel(long channel);
void OutputAnalogChannel(long channel, long level);
void ClearAllDigital(void);
void ClearAllAnalog(void);
void CloseDevice(void);
