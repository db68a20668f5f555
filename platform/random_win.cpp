// Random bytes on Windows: the system's generator (rand_s, RtlGenRandom underneath), for the
// tablet panel's access code.
#define _CRT_RAND_S
#include <stdlib.h>

#include "platform/platform.h"

int platform_random(void *buf, size_t len) {
    unsigned char *out = (unsigned char *)buf;
    for (size_t i = 0; i < len; i++) {
        unsigned int r;
        if (rand_s(&r) != 0)
            return -1;
        out[i] = (unsigned char)r;
    }
    return 0;
}
