// valdora-boards: the virtual K8055 boards from the command line. Plugs and unplugs boards,
// presses, releases, taps and holds their inputs, sets their analog inputs, and shows or
// watches their outputs by lamp name and their inputs by control name.
#include "boards/boards.h"
#include "platform/platform.h"
#include "platform/k8055_board_file.h"
#include "platform/ipc_transport.h"

#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <time.h>
#include <vector>

static const char *const kind_prefix[] = {"", "a", "o", "ao"};

static void usage(FILE *out) {
    fprintf(out,
            "usage: valdora-boards COMMAND [ARGUMENTS]\n"
            "The virtual K8055 boards (addresses 0 to 3) that valdora finds at start-up.\n"
            "\n"
            "  plug BOARD...          plug boards in (BOARD 0..3 or all); creates the board file\n"
            "  unplug BOARD...        unplug boards\n"
            "  press INPUT            close a switch input and leave it closed\n"
            "  release INPUT          open it again\n"
            "  tap INPUT [MS]         press, hold MS milliseconds (default 150), release\n"
            "  hold INPUT MS          the same with the time required\n"
            "  set AXIS VALUE         set an analog input to VALUE (0..255)\n"
            "  show [BOARD]           inputs by control name, outputs by lamp name\n"
            "  get NAME               one input, axis, lamp or gauge value, as a number\n"
            "  watch [MS]             print each output change (for MS milliseconds, or until\n"
            "                         interrupted)\n"
            "  names                  every name with its board and channel\n"
            "  remove                 unplug every board and remove the board file\n"
            "\n"
            "INPUT is a control name (step-up, heading-right, ...) or BOARD:N (N 1..5);\n"
            "AXIS an axis name (throttle-left, flaps, ...) or BOARD:aN (N 1..2); NAME any of\n"
            "these, a lamp name (master-warning, ...) or BOARD:oN (N 1..8) / BOARD:aoN (N 1..2).\n"
            "The board file lives in the IPC folder: $VALDORA_IPC_DIR, else\n"
            "$XDG_RUNTIME_DIR/valdora, else /tmp/valdora-<uid>.\n");
}

// The name of a board's channel: its wiring name, else BOARD:<prefix>N.
static std::string channel_name(int board, board_kind kind, int channel) {
    const board_wire *w = board_wire_at(board, kind, channel);
    if (w)
        return w->name;
    return std::to_string(board) + ":" + kind_prefix[kind] + std::to_string(channel);
}

static int channel_count(board_kind kind) {
    switch (kind) {
    case BOARD_DIGITAL_IN:
        return K8055_DIGITAL_INPUTS;
    case BOARD_ANALOG_IN:
        return K8055_ANALOG_INPUTS;
    case BOARD_DIGITAL_OUT:
        return K8055_DIGITAL_OUTPUTS;
    default:
        return K8055_ANALOG_OUTPUTS;
    }
}

// Looks a name up (a wiring name or BOARD:<prefix>N); 0 and fills the parts, else -1.
static int parse_name(const char *text, int *board, board_kind *kind, int *channel) {
    for (int i = 0; i < board_wiring_count; i++) {
        if (strcmp(text, board_wiring[i].name) == 0) {
            *board = board_wiring[i].board;
            *kind = board_wiring[i].kind;
            *channel = board_wiring[i].channel;
            return 0;
        }
    }
    if (text[0] < '0' || text[0] > '3' || text[1] != ':')
        return -1;
    *board = text[0] - '0';
    const char *rest = text + 2;
    if (strncmp(rest, "ao", 2) == 0) {
        *kind = BOARD_ANALOG_OUT;
        rest += 2;
    } else if (rest[0] == 'a') {
        *kind = BOARD_ANALOG_IN;
        rest += 1;
    } else if (rest[0] == 'o') {
        *kind = BOARD_DIGITAL_OUT;
        rest += 1;
    } else {
        *kind = BOARD_DIGITAL_IN;
    }
    if (rest[0] < '1' || rest[0] > '9' || rest[1] != 0)
        return -1;
    *channel = rest[0] - '0';
    return *channel <= channel_count(*kind) ? 0 : -1;
}

// Parses a whole decimal number within [lo, hi]; 0 and fills value, else -1.
static int parse_number(const char *text, long lo, long hi, long *value) {
    char *end;
    long v = strtol(text, &end, 10);
    if (!text[0] || *end || v < lo || v > hi)
        return -1;
    *value = v;
    return 0;
}

// The byte that holds a board's channel in the file.
static uint8_t *channel_byte(k8055_board_file *f, int board, board_kind kind, int channel) {
    k8055_board *b = &f->boards[board];
    switch (kind) {
    case BOARD_DIGITAL_IN:
        return &b->digital_in[channel - 1];
    case BOARD_ANALOG_IN:
        return &b->analog_in[channel - 1];
    case BOARD_DIGITAL_OUT:
        return &b->digital_out[channel - 1];
    default:
        return &b->analog_out[channel - 1];
    }
}

// Maps the board file, creating it when missing; reports a failure.
static int open_for_change(k8055_board_map *m) {
    if (k8055_board_create(m) == 0)
        return 0;
    char path[IPC_PATH_MAX];
    if (k8055_board_path(path, sizeof path) == -1)
        fprintf(stderr, "valdora-boards: no usable IPC folder\n");
    else
        fprintf(stderr, "valdora-boards: cannot create %s\n", path);
    return -1;
}

// Maps an existing board file; reports when there is none.
static int open_existing(k8055_board_map *m) {
    if (k8055_board_open(m) == 0)
        return 0;
    fprintf(stderr, "valdora-boards: no board file, so no board is plugged in\n");
    return -1;
}

static int cmd_plug(int argc, char **argv, uint8_t plugged) {
    if (argc < 1) {
        usage(stderr);
        return 2;
    }
    int wanted[K8055_BOARDS] = {0, 0, 0, 0};
    for (int i = 0; i < argc; i++) {
        long b;
        if (strcmp(argv[i], "all") == 0) {
            for (int a = 0; a < K8055_BOARDS; a++)
                wanted[a] = 1;
        } else if (parse_number(argv[i], 0, K8055_BOARDS - 1, &b) == 0) {
            wanted[b] = 1;
        } else {
            fprintf(stderr, "valdora-boards: not a board address: %s\n", argv[i]);
            return 2;
        }
    }
    k8055_board_map m;
    if (open_for_change(&m) == -1)
        return 1;
    for (int a = 0; a < K8055_BOARDS; a++)
        if (wanted[a])
            k8055_board_put(&m.file->boards[a].plugged, plugged);
    k8055_board_close(&m);
    return 0;
}

// Sets a switch input or an analog input; for a switch, value 1 is pressed.
static int set_input(const char *name, board_kind want, long value) {
    int board, channel;
    board_kind kind;
    if (parse_name(name, &board, &kind, &channel) == -1 || kind != want) {
        fprintf(stderr, "valdora-boards: not %s: %s\n",
                want == BOARD_DIGITAL_IN ? "a switch input" : "an analog input", name);
        return 2;
    }
    k8055_board_map m;
    if (open_for_change(&m) == -1)
        return 1;
    if (k8055_board_get(&m.file->boards[board].plugged) != 1)
        fprintf(stderr, "valdora-boards: note: board %d is not plugged in\n", board);
    k8055_board_put(channel_byte(m.file, board, kind, channel), (uint8_t)value);
    k8055_board_close(&m);
    return 0;
}

// Presses a switch input for ms milliseconds, then releases it.
static int press_for(const char *name, long ms) {
    int rc = set_input(name, BOARD_DIGITAL_IN, 1);
    if (rc != 0)
        return rc;
    Sleep((DWORD)ms);
    return set_input(name, BOARD_DIGITAL_IN, 0);
}

static const char *on_off(uint8_t v) {
    return v ? "on" : "off";
}

// Prints one board's state.
static void show_board(k8055_board_file *f, int board) {
    k8055_board *b = &f->boards[board];
    printf("board %d: %s%s\n", board,
           k8055_board_get(&b->plugged) ? "plugged in" : "not plugged in",
           k8055_board_get(&b->opened) ? ", open" : "");
    printf("  inputs:");
    for (int c = 1; c <= K8055_DIGITAL_INPUTS; c++)
        printf(" %s=%d", channel_name(board, BOARD_DIGITAL_IN, c).c_str(),
               k8055_board_get(&b->digital_in[c - 1]));
    printf("\n  axes:");
    for (int c = 1; c <= K8055_ANALOG_INPUTS; c++)
        printf(" %s=%d", channel_name(board, BOARD_ANALOG_IN, c).c_str(),
               k8055_board_get(&b->analog_in[c - 1]));
    printf("\n  lamps:");
    for (int c = 1; c <= K8055_DIGITAL_OUTPUTS; c++)
        printf(" %s=%s", channel_name(board, BOARD_DIGITAL_OUT, c).c_str(),
               on_off(k8055_board_get(&b->digital_out[c - 1])));
    printf("\n  analog outputs:");
    for (int c = 1; c <= K8055_ANALOG_OUTPUTS; c++)
        printf(" %s=%d", channel_name(board, BOARD_ANALOG_OUT, c).c_str(),
               k8055_board_get(&b->analog_out[c - 1]));
    printf("\n");
}

static int cmd_show(int argc, char **argv) {
    long only = -1;
    if (argc > 1 || (argc == 1 && parse_number(argv[0], 0, K8055_BOARDS - 1, &only) == -1)) {
        usage(stderr);
        return 2;
    }
    k8055_board_map m;
    if (open_existing(&m) == -1)
        return 1;
    for (int a = 0; a < K8055_BOARDS; a++)
        if (only == -1 || only == a)
            show_board(m.file, a);
    k8055_board_close(&m);
    return 0;
}

static int cmd_get(int argc, char **argv) {
    int board, channel;
    board_kind kind;
    if (argc != 1 || parse_name(argv[0], &board, &kind, &channel) == -1) {
        usage(stderr);
        return 2;
    }
    k8055_board_map m;
    if (open_existing(&m) == -1)
        return 1;
    printf("%d\n", k8055_board_get(channel_byte(m.file, board, kind, channel)));
    k8055_board_close(&m);
    return 0;
}

static volatile sig_atomic_t stop_watching = 0;

static void on_stop_signal(int) {
    stop_watching = 1;
}

static double now_seconds(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

// Prints every output and plug change as it happens, starting with the present state.
static int cmd_watch(int argc, char **argv) {
    long limit_ms = -1;
    if (argc > 1 || (argc == 1 && parse_number(argv[0], 0, 86400000L, &limit_ms) == -1)) {
        usage(stderr);
        return 2;
    }
    signal(SIGINT, on_stop_signal);
    signal(SIGTERM, on_stop_signal);
    setvbuf(stdout, NULL, _IOLBF, 0);
    const double start = now_seconds();
    // Last shown value of every output (and the plug state), -1 while unknown.
    int last[K8055_BOARDS][1 + K8055_DIGITAL_OUTPUTS + K8055_ANALOG_OUTPUTS];
    memset(last, -1, sizeof last);
    k8055_board_map m = {-1, NULL};
    int missing_told = 0;
    while (!stop_watching) {
        double elapsed = now_seconds() - start;
        if (limit_ms >= 0 && elapsed * 1000.0 >= (double)limit_ms)
            break;
        if (m.file && k8055_board_gone(&m))
            k8055_board_close(&m);
        if (!m.file && k8055_board_open(&m) == -1) {
            if (!missing_told)
                printf("%.3f no board file\n", elapsed);
            missing_told = 1;
            memset(last, -1, sizeof last);
            Sleep(20);
            continue;
        }
        missing_told = 0;
        for (int a = 0; a < K8055_BOARDS; a++) {
            k8055_board *b = &m.file->boards[a];
            int plugged = k8055_board_get(&b->plugged);
            if (plugged != last[a][0])
                printf("%.3f board %d %s\n", elapsed, a, plugged ? "plugged-in" : "unplugged");
            last[a][0] = plugged;
            // An unplugged board's outputs are only remembered: nothing drives them.
            int tell = plugged == 1;
            for (int c = 1; c <= K8055_DIGITAL_OUTPUTS; c++) {
                int v = k8055_board_get(&b->digital_out[c - 1]);
                if (tell && v != last[a][c])
                    printf("%.3f board %d %s %s\n", elapsed, a,
                           channel_name(a, BOARD_DIGITAL_OUT, c).c_str(), on_off((uint8_t)v));
                last[a][c] = v;
            }
            for (int c = 1; c <= K8055_ANALOG_OUTPUTS; c++) {
                int v = k8055_board_get(&b->analog_out[c - 1]);
                int *l = &last[a][K8055_DIGITAL_OUTPUTS + c];
                if (tell && v != *l)
                    printf("%.3f board %d %s %d\n", elapsed, a,
                           channel_name(a, BOARD_ANALOG_OUT, c).c_str(), v);
                *l = v;
            }
        }
        Sleep(20);
    }
    k8055_board_close(&m);
    return 0;
}

static int cmd_names(void) {
    static const char *const kinds[] = {"switch input", "analog input", "lamp output",
                                        "analog output"};
    for (int i = 0; i < board_wiring_count; i++)
        printf("%-20s board %d %-13s %d  %s\n", board_wiring[i].name, board_wiring[i].board,
               kinds[board_wiring[i].kind], board_wiring[i].channel, board_wiring[i].meaning);
    return 0;
}

int main(int argc, char **argv) {
    if (argc < 2) {
        usage(stderr);
        return 2;
    }
    const char *cmd = argv[1];
    int n = argc - 2;
    char **args = argv + 2;
    long value;
    if (strcmp(cmd, "plug") == 0)
        return cmd_plug(n, args, 1);
    if (strcmp(cmd, "unplug") == 0)
        return cmd_plug(n, args, 0);
    if (strcmp(cmd, "press") == 0 && n == 1)
        return set_input(args[0], BOARD_DIGITAL_IN, 1);
    if (strcmp(cmd, "release") == 0 && n == 1)
        return set_input(args[0], BOARD_DIGITAL_IN, 0);
    if (strcmp(cmd, "tap") == 0 && n == 1)
        return press_for(args[0], 150);
    if ((strcmp(cmd, "tap") == 0 || strcmp(cmd, "hold") == 0) && n == 2) {
        if (parse_number(args[1], 0, 86400000L, &value) == -1) {
            fprintf(stderr, "valdora-boards: not a time in milliseconds: %s\n", args[1]);
            return 2;
        }
        return press_for(args[0], value);
    }
    if (strcmp(cmd, "set") == 0 && n == 2) {
        if (parse_number(args[1], 0, 255, &value) == -1) {
            fprintf(stderr, "valdora-boards: not a value 0..255: %s\n", args[1]);
            return 2;
        }
        return set_input(args[0], BOARD_ANALOG_IN, value);
    }
    if (strcmp(cmd, "show") == 0)
        return cmd_show(n, args);
    if (strcmp(cmd, "get") == 0)
        return cmd_get(n, args);
    if (strcmp(cmd, "watch") == 0)
        return cmd_watch(n, args);
    if (strcmp(cmd, "names") == 0 && n == 0)
        return cmd_names();
    if (strcmp(cmd, "remove") == 0 && n == 0) {
        if (k8055_board_remove() == -1) {
            fprintf(stderr, "valdora-boards: cannot remove the board file\n");
            return 1;
        }
        return 0;
    }
    if (strcmp(cmd, "help") == 0 || strcmp(cmd, "--help") == 0 || strcmp(cmd, "-h") == 0) {
        usage(stdout);
        return 0;
    }
    usage(stderr);
    return 2;
}
