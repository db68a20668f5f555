// The sleep hook on Windows, and the pause a wake-up cuts short (an auto-reset event). Every
// plain pause there is the system's own Sleep (kernel32), so the hook is never called by it; it
// exists because the interface is the same on every platform.
#include "platform/platform.h"

void (*platform_sleep_hook)(DWORD ms) = NULL;

void *platform_wake_create(void) {
    return CreateEventA(NULL, FALSE, FALSE, NULL); // auto-reset: a wait uses the wake-up up
}

void platform_wake_give(void *wake) {
    SetEvent((HANDLE)wake);
}

void platform_sleep_until_woken(void *wake, DWORD ms) {
    if (platform_sleep_hook) {
        ResetEvent((HANDLE)wake);
        platform_sleep_hook(ms);
        return;
    }
    WaitForSingleObject((HANDLE)wake, ms);
}
