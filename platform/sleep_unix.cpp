// Sleep on POSIX: the one blocking pause of the program, which tests may intercept.
#include "platform/platform.h"

#include <errno.h>
#include <time.h>

void (*platform_sleep_hook)(DWORD ms) = NULL;

void Sleep(DWORD ms) {
    if (platform_sleep_hook) {
        platform_sleep_hook(ms);
        return;
    }
    struct timespec t;
    t.tv_sec = ms / 1000;
    t.tv_nsec = (long)(ms % 1000) * 1000000L;
    while (nanosleep(&t, &t) == -1 && errno == EINTR) {
    }
}
