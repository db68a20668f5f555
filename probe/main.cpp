// valdora-probe entry: reads the options, then shows a snapshot of what the cockpit sees about
// twice a second (or once), waiting for the simulator whenever it is away.
#include "probe/probe.h"
#include "simlink/simlink.h"

#include <string.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

static int usage(void) {
    fprintf(stderr, "usage: valdora-probe [--once] [--boards] [--csv FILE]\n"
                    "  --once      print one snapshot and end\n"
                    "  --boards    also show the K8055 boards' inputs (only while valdora is not "
                    "running)\n"
                    "  --csv FILE  append one line of raw values per refresh to FILE\n");
    return 2;
}

int main(int argc, char *argv[]) {
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--once") == 0)
            probe_once = 1;
        else if (strcmp(argv[i], "--boards") == 0)
            probe_boards = 1;
        else if (strcmp(argv[i], "--csv") == 0 && i + 1 < argc)
            probe_csv = argv[++i];
        else
            return usage();
    }
    probe_tty = isatty(fileno(stdout)) && !probe_once;
    if (probe_boards)
        probe_boards_open();

    for (;;) {
        if (!probe_linked && !probe_connect()) {
            Sleep(500);
            continue;
        }
        if (!probe_snapshot())
            continue; // the link was lost: the next round waits for it again
        probe_print_snapshot();
        if (probe_csv && probe_csv_append() != 0)
            fprintf(stderr, "valdora-probe: cannot append to %s\n", probe_csv);
        if (probe_once)
            break;
        Sleep(500);
    }
    FSUIPC_Close();
    return 0;
}
