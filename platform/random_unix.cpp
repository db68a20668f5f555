// Random bytes on Linux: the kernel's generator (getrandom), for the tablet panel's access code.
#include "platform/platform.h"

#include <errno.h>
#include <sys/random.h>

int platform_random(void *buf, size_t len) {
    size_t got = 0;
    while (got < len) {
        ssize_t n = getrandom((char *)buf + got, len - got, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return -1;
        got += (size_t)n;
    }
    return 0;
}
