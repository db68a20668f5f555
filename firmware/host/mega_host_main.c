// valdora-mega-sim: the simulated Mega on a pseudo-terminal, for end-to-end tests and the
// latency benchmark. It runs the firmware at the chip's real pace, links the serial port to
// LINK, takes cockpit commands from the FIFO CONTROL, and prints every lamp change. The chip's
// EEPROM is kept in LINK.eeprom from one run to the next, as a real board keeps it through being
// unplugged: started again on the same link, it is the same board, with the same identity.
//
//   valdora-mega-sim FIRMWARE.elf LINK CONTROL
// Commands, one a line: "press B C", "release B C" (digital input C of board B), "analog B C V"
// (analog input set so that the firmware reads V, 0..255), "quit". Printed lines:
// "ready", "out B C 0|1", "pwm B C LEVEL", and "press B C HH:MM:SS.mmm" (local time, as the
// stand-in simulator's log writes it) when a press reaches the pin.
#include "mega_sim.h"
#include "commands.h"

#include <avr_eeprom.h>
#include <sim_avr.h>

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

static volatile sig_atomic_t stop;

static void on_signal(int sig) {
    (void)sig;
    stop = 1;
}

static double wall_ms(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

// Acts on one command line; 0 to go on, 1 to quit.
static int command(char *line) {
    int b, c, v;
    if (sscanf(line, "press %d %d", &b, &c) == 2 && b >= 0 && b < 4 && c >= 1 && c <= 5) {
        mega_sim_set_input(b, c, 1);
        struct timespec now;
        struct tm tm;
        clock_gettime(CLOCK_REALTIME, &now);
        localtime_r(&now.tv_sec, &tm);
        printf("press %d %d %02d:%02d:%02d.%03ld\n", b, c, tm.tm_hour, tm.tm_min, tm.tm_sec,
               now.tv_nsec / 1000000);
    } else if (sscanf(line, "release %d %d", &b, &c) == 2 && b >= 0 && b < 4 && c >= 1 && c <= 5) {
        mega_sim_set_input(b, c, 0);
    } else if (sscanf(line, "analog %d %d %d", &b, &c, &v) == 3 && b >= 0 && b < 4 && c >= 1 &&
               c <= 2 && v >= 0 && v <= 255) {
        // The middle of the ADC step that reads back as v once brought to 0..255.
        mega_sim_set_millivolts(b, c, (v * 4 + 2) * 5000 / 1024);
    } else if (strncmp(line, "quit", 4) == 0) {
        return 1;
    } else {
        fprintf(stderr, "unknown command: %s\n", line);
    }
    return 0;
}

// Loads the EEPROM from the link's file (save 0), or writes it there (save 1).
static void eeprom_file(const char *link, int save) {
    static uint8_t bytes[4096]; // the ATmega2560's EEPROM
    char path[4200];
    snprintf(path, sizeof path, "%s.eeprom", link);
    avr_eeprom_desc_t d = {bytes, 0, sizeof bytes};
    FILE *f = fopen(path, save ? "wb" : "rb");
    if (!f)
        return;
    // (simavr 1.6 answers both requests with -1 although it has done them.)
    if (save) {
        avr_ioctl(mega_avr, AVR_IOCTL_EEPROM_GET, &d);
        fwrite(bytes, 1, sizeof bytes, f);
    } else if (fread(bytes, 1, sizeof bytes, f) == sizeof bytes) {
        avr_ioctl(mega_avr, AVR_IOCTL_EEPROM_SET, &d);
    }
    fclose(f);
}

int main(int argc, char **argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: %s FIRMWARE.elf LINK CONTROL\n", argv[0]);
        return 2;
    }
    if (mega_sim_load(argv[1]) != 0)
        return 1;
    eeprom_file(argv[2], 0);
    if (mkfifo(argv[3], 0600) != 0 && errno != EEXIST) {
        perror(argv[3]);
        return 1;
    }
    int control = open(argv[3], O_RDWR | O_NONBLOCK); // O_RDWR: never sees end-of-file
    if (control < 0 || mega_sim_connect_pty(argv[2]) != 0) {
        perror("valdora-mega-sim");
        return 1;
    }
    signal(SIGTERM, on_signal);
    signal(SIGINT, on_signal);
    printf("ready\n");
    fflush(stdout);
    double start = wall_ms();
    while (!stop) {
        mega_sim_run_ms(1.0);
        if (host_read_commands(control, command))
            break;
        mega_sim_print_outputs();
        // Hold the chip to wall-clock time: its silence watch and snapshot pace are real time.
        double ahead = mega_sim_now_ms() - (wall_ms() - start);
        if (ahead > 1.0) {
            struct timespec t = {0, (long)(ahead * 1e6)};
            nanosleep(&t, NULL);
        }
    }
    eeprom_file(argv[2], 1);
    unlink(argv[2]);
    return 0;
}
