// Threads and locks on Windows (CreateThread, critical sections), for the one helper thread the
// serial back-end runs beside the program's main thread.
#include "platform/platform.h"

#include <stdlib.h>

struct start {
    void (*fn)(void *);
    void *arg;
};

static DWORD WINAPI run(LPVOID p) {
    struct start s = *(struct start *)p;
    free(p);
    s.fn(s.arg);
    return 0;
}

void *platform_thread_start(void (*fn)(void *), void *arg, const char *name) {
    (void)name;
    struct start *s = (struct start *)malloc(sizeof *s);
    if (!s)
        return NULL;
    s->fn = fn;
    s->arg = arg;
    HANDLE t = CreateThread(NULL, 0, run, s, 0, NULL);
    if (!t)
        free(s);
    return t;
}

void platform_thread_join(void *thread) {
    if (!thread)
        return;
    WaitForSingleObject((HANDLE)thread, INFINITE);
    CloseHandle((HANDLE)thread);
}

void *platform_mutex_create(void) {
    CRITICAL_SECTION *m = (CRITICAL_SECTION *)malloc(sizeof *m);
    if (m)
        InitializeCriticalSection(m);
    return m;
}

void platform_mutex_lock(void *m) {
    EnterCriticalSection((CRITICAL_SECTION *)m);
}

void platform_mutex_unlock(void *m) {
    LeaveCriticalSection((CRITICAL_SECTION *)m);
}
