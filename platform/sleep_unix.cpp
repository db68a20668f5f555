// Sleep on POSIX: the one blocking pause of the program, which tests may intercept, and the
// same pause cut short by a wake-up from another thread.
#include "platform/platform.h"

#include <errno.h>
#include <pthread.h>
#include <stdlib.h>
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

struct wake {
    pthread_mutex_t lock;
    pthread_cond_t cond; // on the monotonic clock: a clock set back cannot stretch a pause
    int given;
};

void *platform_wake_create(void) {
    struct wake *w = (struct wake *)calloc(1, sizeof *w);
    pthread_condattr_t a;
    if (!w)
        return NULL;
    pthread_mutex_init(&w->lock, NULL);
    pthread_condattr_init(&a);
    pthread_condattr_setclock(&a, CLOCK_MONOTONIC);
    pthread_cond_init(&w->cond, &a);
    pthread_condattr_destroy(&a);
    return w;
}

void platform_wake_give(void *wake) {
    struct wake *w = (struct wake *)wake;
    pthread_mutex_lock(&w->lock);
    w->given = 1;
    pthread_cond_signal(&w->cond);
    pthread_mutex_unlock(&w->lock);
}

void platform_sleep_until_woken(void *wake, DWORD ms) {
    struct wake *w = (struct wake *)wake;
    if (platform_sleep_hook) {
        pthread_mutex_lock(&w->lock);
        w->given = 0;
        pthread_mutex_unlock(&w->lock);
        platform_sleep_hook(ms);
        return;
    }
    struct timespec until;
    clock_gettime(CLOCK_MONOTONIC, &until);
    until.tv_sec += ms / 1000;
    until.tv_nsec += (long)(ms % 1000) * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
        until.tv_sec += 1;
        until.tv_nsec -= 1000000000L;
    }
    pthread_mutex_lock(&w->lock);
    while (!w->given && pthread_cond_timedwait(&w->cond, &w->lock, &until) != ETIMEDOUT) {
    }
    w->given = 0;
    pthread_mutex_unlock(&w->lock);
}
