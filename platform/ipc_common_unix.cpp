// The parts of the POSIX IPC transport that clients and servers share: where the endpoints
// live, how message names become numbers, and which block names a server may open.
#include "platform/ipc_transport.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

// Checks that path is a folder of ours, creating it (mode 0700) when missing and asked to. A
// default folder in a shared place must not be a symbolic link either, so that nobody can redirect
// it.
static int ensure_private_dir(const char *path, int allow_link, int create) {
    if (create && mkdir(path, 0700) == -1 && errno != EEXIST)
        return -1;
    struct stat st;
    if ((allow_link ? stat(path, &st) : lstat(path, &st)) == -1)
        return -1;
    if (!S_ISDIR(st.st_mode) || st.st_uid != geteuid())
        return -1;
    return 0;
}

static int endpoint_dir(char *out, size_t size, int create) {
    const char *env = getenv("VALDORA_IPC_DIR");
    int n;
    int allow_link = 1;
    if (env && env[0]) {
        n = snprintf(out, size, "%s", env);
    } else if ((env = getenv("XDG_RUNTIME_DIR")) && env[0]) {
        n = snprintf(out, size, "%s/valdora", env);
    } else {
        n = snprintf(out, size, "/tmp/valdora-%u", (unsigned)getuid());
        allow_link = 0;
    }
    if (n < 0 || (size_t)n >= size)
        return -1;
    return ensure_private_dir(out, allow_link, create);
}

int ipc_endpoint_dir(char *out, size_t size) {
    return endpoint_dir(out, size, 1);
}

int ipc_endpoint_dir_existing(char *out, size_t size) {
    return endpoint_dir(out, size, 0);
}

int ipc_socket_path(const char *window_class, char *out, size_t size, int create) {
    if (!window_class || !window_class[0] || strlen(window_class) > 64 || strchr(window_class, '/'))
        return -1;
    char dir[IPC_PATH_MAX];
    if (endpoint_dir(dir, sizeof dir, create) == -1)
        return -1;
    int n = snprintf(out, size, "%s/%s.sock", dir, window_class);
    if (n < 0 || (size_t)n >= size || (size_t)n >= sizeof(((struct sockaddr_un *)0)->sun_path))
        return -1;
    return 0;
}

uint32_t ipc_message_number(const char *name) {
    uint32_t h = 2166136261u;
    for (const unsigned char *p = (const unsigned char *)name; *p; p++) {
        h ^= *p;
        h *= 16777619u;
    }
    return 0xC000u + (h % 0x4000u);
}

// Counts the hex digits at p (stopping at the first other character).
static size_t hex_run(const char *p) {
    size_t n = 0;
    while ((p[n] >= '0' && p[n] <= '9') || (p[n] >= 'A' && p[n] <= 'F') ||
           (p[n] >= 'a' && p[n] <= 'f'))
        n++;
    return n;
}

int ipc_block_name_valid(const char *name) {
    size_t prefix = strlen(IPC_BLOCK_PREFIX);
    if (!name || strncmp(name, IPC_BLOCK_PREFIX, prefix) != 0)
        return 0;
    const char *p = name + prefix;
    size_t n = hex_run(p);
    if (n < 1 || n > 8 || p[n] != ':')
        return 0;
    p += n + 1;
    n = hex_run(p);
    return n >= 1 && n <= 8 && p[n] == '\0';
}
