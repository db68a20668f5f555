// valdora-mega-boot: a simulated Mega 2560 with an empty application flash and a bootloader in
// its boot section (simavr), its serial port on a pseudo-terminal, for testing valdora-flash
// against the real bootloader code. The core starts at the bootloader, as the BOOTRST fuse makes
// it, and whatever is flashed runs on the same chip afterwards.
//
//   valdora-mega-boot BOOTLOADER.hex LINK CONTROL
// Commands on the FIFO CONTROL, one a line: "hold" (the reset line held low) and "reset" (the
// line let go: what a DTR pulse does on a real board; a pseudo-terminal has none), "drop N" (the
// next N bytes from the host lost on the way to the chip), "dump FILE" (the
// application section as it stands in the chip's flash, printed "dumped" when written), "quit".
// Prints "ready" once the link is there, and every lamp change as valdora-mega-sim does.
#include <avr_uart.h>
#include <parts/uart_pty.h>
#include <sim_avr.h>
#include <sim_hex.h>

#include "commands.h"
#include "mega_sim.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#define BOOT_SECTION 0x3E000 // the ATmega2560's largest boot section (BOOTSZ 00)

static avr_t *avr;
static uart_pty_t pty;
static volatile sig_atomic_t stop;
static int held; // the reset line held low: the core does not run
static int drop; // bytes from the host still to be lost on the way to the chip

static void on_signal(int sig) {
    (void)sig;
    stop = 1;
}

static double wall_ms(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

// Puts the bootloader's bytes into the chip's flash at their addresses; 0 or -1.
static int load_bootloader(const char *path) {
    ihex_chunk_p chunks = NULL;
    int n = read_ihex_chunks(path, &chunks);
    if (n <= 0) {
        fprintf(stderr, "cannot read the bootloader %s\n", path);
        return -1;
    }
    for (int i = 0; i < n; i++) {
        if (chunks[i].baseaddr < BOOT_SECTION ||
            chunks[i].baseaddr + chunks[i].size > avr->flashend + 1) {
            fprintf(stderr, "%s: data at 0x%X lies outside the boot section\n", path,
                    chunks[i].baseaddr);
            free_ihex_chunks(chunks);
            return -1;
        }
        memcpy(avr->flash + chunks[i].baseaddr, chunks[i].data, chunks[i].size);
    }
    free_ihex_chunks(chunks);
    return 0;
}

static int make_chip(const char *bootloader) {
    avr = avr_make_mcu_by_name("atmega2560");
    if (!avr)
        return -1;
    avr_init(avr);
    mega_avr = avr; // the wiring's outputs are read from this chip
    mega_sim_setup_chip(avr);
    if (load_bootloader(bootloader) != 0)
        return -1;
    mega_sim_reset(); // powered up: every switch open on its pin
    avr->codeend = avr->flashend;
    avr->reset_pc = BOOT_SECTION;
    avr->pc = BOOT_SECTION;
    // The bootloader polls its UART for the host's bytes; simavr's pause on each poll of an
    // empty UART would slow it to a crawl, and its page writes would time out.
    uint32_t flags = 0;
    avr_ioctl(avr, AVR_IOCTL_UART_GET_FLAGS('0'), &flags);
    flags &= ~(uint32_t)(AVR_UART_FLAG_POLL_SLEEP | AVR_UART_FLAG_STDIO);
    avr_ioctl(avr, AVR_IOCTL_UART_SET_FLAGS('0'), &flags);
    return 0;
}

static void dump(const char *path) {
    FILE *f = fopen(path, "wb");
    if (!f || fwrite(avr->flash, 1, BOOT_SECTION, f) != BOOT_SECTION) {
        perror(path);
    } else {
        printf("dumped\n");
    }
    if (f)
        fclose(f);
    fflush(stdout);
}

// Passes a byte from the pseudo-terminal on to the chip's serial port, unless it is to be lost.
static void host_byte(struct avr_irq_t *irq, uint32_t value, void *param) {
    (void)irq;
    if (drop > 0)
        drop--;
    else
        avr_raise_irq((avr_irq_t *)param, value);
}

// Acts on one command line; 1 to quit.
static int command(char *line) {
    if (strcmp(line, "hold") == 0) {
        held = 1;
    } else if (strcmp(line, "reset") == 0) {
        held = 0;
        mega_sim_reset();
        avr->pc = avr->reset_pc;
    } else if (strncmp(line, "drop ", 5) == 0) {
        drop = atoi(line + 5);
    } else if (strncmp(line, "dump ", 5) == 0) {
        dump(line + 5);
    } else if (strcmp(line, "quit") == 0) {
        return 1;
    } else {
        fprintf(stderr, "unknown command: %s\n", line);
    }
    return 0;
}

int main(int argc, char **argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: %s BOOTLOADER.hex LINK CONTROL\n", argv[0]);
        return 2;
    }
    if (make_chip(argv[1]) != 0)
        return 1;
    if (mkfifo(argv[3], 0600) != 0 && errno != EEXIST) {
        perror(argv[3]);
        return 1;
    }
    int control = open(argv[3], O_RDWR | O_NONBLOCK); // O_RDWR: never sees end-of-file
    uart_pty_init(avr, &pty);
    uart_pty_connect(&pty, '0');
    // The bytes from the host pass through host_byte, which can lose some on the way.
    avr_irq_t *in = avr_io_getirq(avr, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_INPUT);
    avr_unconnect_irq(pty.irq + IRQ_UART_PTY_BYTE_OUT, in);
    avr_irq_register_notify(pty.irq + IRQ_UART_PTY_BYTE_OUT, host_byte, in);
    unlink(argv[2]);
    if (control < 0 || !pty.port[0].slavename[0] || symlink(pty.port[0].slavename, argv[2]) != 0) {
        perror("valdora-mega-boot");
        return 1;
    }
    signal(SIGTERM, on_signal);
    signal(SIGINT, on_signal);
    printf("ready\n");
    fflush(stdout);
    double start = wall_ms();
    avr_cycle_count_t per_ms = avr->frequency / 1000;
    double chip_ms = 0; // counted here: a reset may set the chip's own cycle count back
    while (!stop) {
        avr_cycle_count_t end = avr->cycle + per_ms;
        while (!held && avr->cycle < end && !stop) {
            int state = avr_run(avr);
            if (state == cpu_Done || state == cpu_Crashed) {
                fprintf(stderr, "the simulated chip stopped (state %d)\n", state);
                stop = 1;
                break;
            }
        }
        if (host_read_commands(control, command))
            break;
        mega_sim_print_outputs();
        chip_ms += 1.0;
        double ahead = chip_ms - (wall_ms() - start);
        if (ahead > 1.0) {
            struct timespec t = {0, (long)(ahead * 1e6)};
            nanosleep(&t, NULL);
        }
    }
    unlink(argv[2]); // the pseudo-terminal's thread ends with the process
    return 0;
}
