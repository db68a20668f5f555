// The sleep hook on Windows. Every pause there is the system's own Sleep (kernel32), so the
// hook is never called; it exists because the interface is the same on every platform.
#include "platform/platform.h"

void (*platform_sleep_hook)(DWORD ms) = NULL;
