// Blocks left behind by clients that were killed: a client removes its block when it closes
// the link, but a killed one cannot, so the server removes the blocks named after a peer whose
// process has ended. Only objects of our own user whose names carry that process id go.
#include "sim/sim.h"
#include "platform/ipc_transport.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#define SHM_FOLDER "/dev/shm"

int sim_process_ended(int pid) {
    if (pid <= 0)
        return 0;
    char path[64], stat_line[512];
    snprintf(path, sizeof path, "/proc/%d/stat", pid);
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ssize_t n = read(fd, stat_line, sizeof stat_line - 1);
        close(fd);
        if (n <= 0)
            return 1;
        stat_line[n] = '\0';
        // The state follows the command name in parentheses, which may itself hold ") ".
        const char *end = strrchr(stat_line, ')');
        return end && end[1] == ' ' && (end[2] == 'Z' || end[2] == 'X');
    }
    return kill(pid, 0) == -1 && errno == ESRCH;
}

int sim_remove_blocks_of(int pid) {
    char prefix[64];
    snprintf(prefix, sizeof prefix, IPC_BLOCK_PREFIX "%X:", (unsigned)pid);
    size_t prefix_len = strlen(prefix);
    DIR *d = opendir(SHM_FOLDER);
    if (!d)
        return 0;
    int removed = 0;
    struct dirent *e;
    while ((e = readdir(d)) != NULL) {
        if (strncmp(e->d_name, prefix, prefix_len) != 0 || !ipc_block_name_valid(e->d_name))
            continue;
        struct stat st;
        if (fstatat(dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == -1 || !S_ISREG(st.st_mode) ||
            st.st_uid != geteuid())
            continue;
        char shm_name[IPC_NAME_MAX + 2];
        snprintf(shm_name, sizeof shm_name, "/%s", e->d_name);
        if (shm_unlink(shm_name) == 0)
            removed++;
    }
    closedir(d);
    return removed;
}
