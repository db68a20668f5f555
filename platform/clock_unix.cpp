// The millisecond clock on Linux: time since an arbitrary start, for measuring how long waits
// and exchanges take (never for pacing: every pause goes through Sleep).
#include "platform/platform.h"

#include <time.h>

DWORD GetTickCount(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (DWORD)((uint64_t)t.tv_sec * 1000u + (uint64_t)t.tv_nsec / 1000000u);
}
