// The command lines of a simulated Mega's control FIFO (see commands.h).
#include "commands.h"

#include <string.h>
#include <unistd.h>

int host_read_commands(int fd, int (*command)(char *line)) {
    static char buf[512];
    static size_t have;
    ssize_t n = read(fd, buf + have, sizeof buf - 1 - have);
    if (n <= 0)
        return 0;
    have += (size_t)n;
    buf[have] = 0;
    char *start = buf, *nl;
    int quit = 0;
    while (!quit && (nl = strchr(start, '\n'))) {
        *nl = 0;
        quit = command(start);
        start = nl + 1;
    }
    have -= (size_t)(start - buf);
    memmove(buf, start, have);
    if (have == sizeof buf - 1)
        have = 0; // a line too long for the buffer is dropped
    return quit;
}
