// valdora-probe entry: reads the options, then shows a snapshot of what the cockpit sees about
// twice a second (or once), waiting for the simulator whenever it is away.
#include "probe/probe.h"
#include "aircraft/aircraft.h"
#include "simlink/simlink.h"

#include <string.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

// Pauses ms, in short steps so that Ctrl+C is acted on at once.
static void pause_ms(int ms) {
    for (int waited = 0; waited < ms && !probe_stop; waited += 50)
        Sleep(50);
}

static int usage(void) {
    fprintf(stderr,
            "usage: valdora-probe [--once] [--boards] [--csv FILE] [--sim ws://HOST[:PORT]]\n"
            "       valdora-probe --changes [FROM-TO] [--sim ws://HOST[:PORT]]\n"
            "  --once      print one snapshot and end\n"
            "  --boards    also show the K8055 boards' inputs (only while valdora is not "
            "running)\n"
            "  --csv FILE  append one line of raw values per refresh to FILE\n"
            "  --changes   print each offset that changed since the last look (FROM-TO\n"
            "              in hexadecimal, e.g. 66C0-66FF; default the whole space)\n"
            "  --sim ADDR  reach the simulator's WebSocket server instead of the local one\n");
    return 2;
}

int main(int argc, char *argv[]) {
    int changes = 0;
    aircraft_logging = 0; // valdora.log is the program's own
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--once") == 0)
            probe_once = 1;
        else if (strcmp(argv[i], "--boards") == 0)
            probe_boards = 1;
        else if (strcmp(argv[i], "--csv") == 0 && i + 1 < argc)
            probe_csv = argv[++i];
        else if (strcmp(argv[i], "--changes") == 0) {
            changes = 1;
            if (i + 1 < argc && argv[i + 1][0] != '-' &&
                probe_parse_range(argv[++i], &probe_changes_from, &probe_changes_to) != 0)
                return usage();
        } else if (strcmp(argv[i], "--sim") == 0 && i + 1 < argc)
            i++; // taken below
        else if (strncmp(argv[i], "--sim=", 6) != 0)
            return usage();
    }
    if (sim_address_from_args(argc, argv) != 0)
        return usage();
    probe_tty = isatty(fileno(stdout)) && !probe_once;
    console_prepare(&probe_stop);
    if (probe_boards)
        probe_boards_open();

    while (!probe_stop) {
        if (!probe_linked && !probe_connect()) {
            pause_ms(500);
            continue;
        }
        if (changes) {
            probe_changes();
            pause_ms(500);
            continue;
        }
        if (!probe_snapshot())
            continue; // the link was lost: the next round waits for it again
        probe_print_snapshot();
        if (probe_csv && probe_csv_append() != 0)
            fprintf(stderr, "valdora-probe: cannot append to %s\n", probe_csv);
        if (probe_once)
            break;
        pause_ms(500);
    }
    // Ctrl+C, or the one snapshot done: the link and the boards are let go in order.
    FSUIPC_Close();
    probe_boards_close();
    return 0;
}
