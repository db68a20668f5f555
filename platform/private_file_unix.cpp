// A file for the owner's eyes only, on Linux: created with mode 0600, and an older file's
// wider mode narrowed before anything is written into it.
#include "platform/platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

FILE *platform_private_file(const char *path) {
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return NULL;
    FILE *f = fchmod(fd, 0600) == 0 ? fdopen(fd, "w") : NULL;
    if (!f)
        close(fd);
    return f;
}
