// valdora-sim: the stand-in simulator. Serves the IPC transport as a simulator window, steps
// the aircraft's behaviours 20 times a second, prints the message line and a compact status;
// with a verb (get, set, ...) it is instead a client of the server already running.
#include "sim/sim.h"

#include <errno.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#define STEP_MS 50    // behaviours are stepped at 20 Hz
#define STATUS_MS 500 // the status line is printed at most this often, and only on change

static volatile sig_atomic_t stop_requested = 0;
static sim_server server; // large (it holds a block buffer), so not on the stack

static void on_signal(int sig) {
    (void)sig;
    stop_requested = 1;
}

static int64_t now_ms(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (int64_t)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

static void usage(FILE *out) {
    fprintf(out,
            "usage: valdora-sim [--class FS98MAIN|UIPCMAIN] [--version HEX] [--fs HEX]\n"
            "                   [--log FILE] [--quiet] [--net[=PORT]]\n"
            "       valdora-sim VERB ARGS...   (a client of the running simulator)\n"
            "  --class     window class to serve as (default FS98MAIN)\n"
            "  --version   server version reported at 0x3304 (default 0x%08X)\n"
            "  --fs        simulator marker and type reported at 0x3308 (default 0x%08X)\n"
            "  --log FILE  appends one line per write received: time, offset, size, bytes\n"
            "  --quiet     prints only the start line and the simulator's messages\n"
            "  --net       serves the simulator WebSocket protocol too (port 2048 unless given)\n"
            "verbs:\n",
            (unsigned)sim_report_version, (unsigned)sim_report_fs);
    for (int i = 0; sim_control_verbs[i]; i++)
        fprintf(out, "  %s %s\n", sim_control_verbs[i]->name, sim_control_verbs[i]->usage);
    fprintf(out, "numbers are decimal or hexadecimal with 0x\n");
}

// A radio word as its frequency text, e.g. 0x1802 as 118.025.
static void freq_text(uint32_t word, char *out, size_t size) {
    unsigned last = word & 0xF;
    snprintf(out, size, "1%02X.%02X%c", (word >> 8) & 0xFF, word & 0xFF,
             (last == 2 || last == 7) ? '5' : '0');
}

static void status_text(char *out, size_t size) {
    static const struct {
        const char *name;
        uint32_t active, standby;
    } radios[] = {{"COM1", 0x034E, 0x311A},
                  {"COM2", 0x3118, 0x311C},
                  {"NAV1", 0x0350, 0x311E},
                  {"NAV2", 0x0352, 0x3120}};
    size_t n = (size_t)snprintf(out, size, "clients %d |", server.clients_connected);
    for (size_t i = 0; i < sizeof radios / sizeof radios[0] && n < size; i++) {
        char a[16], s[16];
        freq_text(sim_get(radios[i].active, 2), a, sizeof a);
        freq_text(sim_get(radios[i].standby, 2), s, sizeof s);
        n += (size_t)snprintf(out + n, size - n, " %s %s/%s", radios[i].name, a, s);
    }
    if (n < size) {
        uint32_t ext = sim_get(0x0356, 2);
        snprintf(out + n, size - n, " XPDR %04X ADF %X%03X.%X", sim_get(0x0354, 2),
                 (ext >> 8) & 0xF, sim_get(0x034C, 2) & 0xFFF, ext & 0xF);
    }
}

static int run_verb(int argc, char **argv) {
    for (int i = 0; sim_control_verbs[i]; i++)
        if (strcmp(argv[0], sim_control_verbs[i]->name) == 0)
            return sim_control_verbs[i]->run(argc, argv);
    fprintf(stderr, "valdora-sim: unknown verb %s\n", argv[0]);
    usage(stderr);
    return 2;
}

int main(int argc, char **argv) {
    if (argc > 1 && argv[1][0] != '-')
        return run_verb(argc - 1, argv + 1);

    const char *window_class = "FS98MAIN";
    const char *log_path = NULL;
    int quiet = 0, net_port = 0;
    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        const char *v = i + 1 < argc ? argv[i + 1] : NULL;
        uint64_t n;
        if (strcmp(a, "--quiet") == 0) {
            quiet = 1;
        } else if (strcmp(a, "--net") == 0) {
            net_port = SIM_NET_PORT;
        } else if (strncmp(a, "--net=", 6) == 0 && sim_parse_number(a + 6, &n) == 0 && n >= 1 &&
                   n <= 65535) {
            net_port = (int)n;
        } else if (strcmp(a, "--help") == 0) {
            usage(stdout);
            return 0;
        } else if (strcmp(a, "--class") == 0 && v) {
            window_class = v;
            i++;
        } else if (strcmp(a, "--log") == 0 && v) {
            log_path = v;
            i++;
        } else if ((strcmp(a, "--version") == 0 || strcmp(a, "--fs") == 0) && v &&
                   sim_parse_number(v, &n) == 0 && n <= 0xFFFFFFFFu) {
            *(a[2] == 'v' ? &sim_report_version : &sim_report_fs) = (uint32_t)n;
            i++;
        } else {
            fprintf(stderr, "valdora-sim: bad option %s\n", a);
            usage(stderr);
            return 2;
        }
    }

    FILE *log = NULL;
    if (log_path) {
        log = fopen(log_path, "a");
        if (!log) {
            fprintf(stderr, "valdora-sim: cannot open %s: %s\n", log_path, strerror(errno));
            return 1;
        }
        sim_set_log(log);
    }

#ifdef _WIN32
    // Windows: Ctrl+C and a termination request reach the C library's handlers.
    signal(SIGTERM, on_signal);
    signal(SIGINT, on_signal);
#else
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_signal;
    sigaction(SIGTERM, &sa, NULL);
    sigaction(SIGINT, &sa, NULL);
    signal(SIGPIPE, SIG_IGN);
#endif

    sim_reset();
    if (sim_server_open(&server, window_class) == -1) {
        fprintf(stderr, "valdora-sim: cannot serve as %s (is another simulator running?)\n",
                window_class);
        if (log)
            fclose(log);
        return 1;
    }
    printf("valdora-sim: serving as %s at %s (version 0x%08X, marker 0x%08X)\n", window_class,
           server.path, (unsigned)sim_report_version, (unsigned)sim_report_fs);
    if (net_port && sim_net_serve(net_port) != 0) {
        fprintf(stderr, "valdora-sim: cannot serve the WebSocket protocol at port %d\n", net_port);
        sim_server_close(&server);
        if (log)
            fclose(log);
        return 1;
    }
    if (net_port)
        printf("valdora-sim: serving ws://0.0.0.0:%d/fsuipc/ too\n", net_port);
    fflush(stdout);

    unsigned messages_seen = 0;
    char status[256] = "", shown[256] = "";
    int64_t last_step = now_ms(), next_step = last_step + STEP_MS, next_status = last_step;
    while (!stop_requested) {
        int64_t now = now_ms();
        sim_server_poll(&server, (int)(next_step > now ? next_step - now : 0));
        now = now_ms();
        if (now >= next_step) {
            sim_step((double)(now - last_step) / 1000.0);
            last_step = now;
            next_step += STEP_MS;
            if (next_step <= now)
                next_step = now + STEP_MS;
        }
        sim_lock();
        if (sim_message_count != messages_seen) {
            messages_seen = sim_message_count;
            printf("message: \"%s\" (%d s)\n", sim_message_text, sim_message_seconds);
            fflush(stdout);
        }
        sim_unlock();
        if (!quiet && now >= next_status) {
            status_text(status, sizeof status);
            if (strcmp(status, shown) != 0) {
                printf("%s\n", status);
                fflush(stdout);
                strcpy(shown, status);
            }
            next_status = now + STATUS_MS;
        }
    }

    sim_net_stop();
    sim_server_close(&server);
    if (log) {
        sim_set_log(NULL);
        fclose(log);
    }
    if (!quiet)
        printf("valdora-sim: stopped\n");
    return 0;
}
