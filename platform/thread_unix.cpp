// Threads and locks on Linux (POSIX threads), for the one helper thread the serial back-end
// runs beside the program's main thread.
#include "platform/platform.h"

#include <pthread.h>
#include <stdlib.h>

struct start {
    void (*fn)(void *);
    void *arg;
};

static void *run(void *p) {
    struct start s = *(struct start *)p;
    free(p);
    s.fn(s.arg);
    return NULL;
}

void *platform_thread_start(void (*fn)(void *), void *arg, const char *name) {
    struct start *s = (struct start *)malloc(sizeof *s);
    pthread_t *t = (pthread_t *)malloc(sizeof *t);
    if (!s || !t) {
        free(s);
        free(t);
        return NULL;
    }
    s->fn = fn;
    s->arg = arg;
    if (pthread_create(t, NULL, run, s) != 0) {
        free(s);
        free(t);
        return NULL;
    }
    pthread_setname_np(*t, name); // seen in /proc/PID/task/*/comm (the benchmark finds it so)
    return t;
}

void platform_thread_join(void *thread) {
    if (!thread)
        return;
    pthread_join(*(pthread_t *)thread, NULL);
    free(thread);
}

// A lock taken twice by one thread, or given back by a thread that does not hold it, is a fault
// in the program: it ends at once rather than hang or go on unguarded.
void *platform_mutex_create(void) {
    pthread_mutex_t *m = (pthread_mutex_t *)malloc(sizeof *m);
    pthread_mutexattr_t a;
    pthread_mutexattr_init(&a);
    pthread_mutexattr_settype(&a, PTHREAD_MUTEX_ERRORCHECK);
    if (m)
        pthread_mutex_init(m, &a);
    pthread_mutexattr_destroy(&a);
    return m;
}

void platform_mutex_lock(void *m) {
    if (pthread_mutex_lock((pthread_mutex_t *)m) != 0)
        abort();
}

void platform_mutex_unlock(void *m) {
    if (pthread_mutex_unlock((pthread_mutex_t *)m) != 0)
        abort();
}
