// valdora-flash's command line: valdora-flash [PORT] [FILE]. Reads the firmware (valdora-mega.hex
// beside the program when no file is given), chooses the port when none is given, and flashes
// it; what went wrong goes to the error output, the outcome to the exit status.
#include "flash/flash.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

static struct flash_image image;

static int usage(void) {
    fprintf(stderr, "usage: valdora-flash [PORT] [FILE]\n"
                    "  PORT  the Mega's serial port (/dev/ttyACM0, COM5); left out: the board "
                    "running Valdora's firmware, or a choice of the USB serial ports\n"
                    "  FILE  the firmware, Intel HEX; valdora-mega.hex beside valdora-flash when "
                    "left out\n");
    return FLASH_USAGE;
}

// The status, with the fault said when there is one.
static int outcome(int status) {
    if (status != FLASH_OK)
        fprintf(stderr, "valdora-flash: %s\n", flash_error);
    return status;
}

// A lone argument ending in .hex is the file; anything else is the port.
static int is_hex_name(const char *s) {
    size_t n = strlen(s);
    return n > 4 && (strcmp(s + n - 4, ".hex") == 0 || strcmp(s + n - 4, ".HEX") == 0);
}

// valdora-mega.hex in the program's own folder (either slash may part a Windows path).
static void default_file(const char *argv0, char *path, size_t size) {
    const char *slash = strrchr(argv0, '/');
    const char *back = strrchr(argv0, '\\');
    if (back && (!slash || back > slash))
        slash = back;
    int dir = slash ? (int)(slash - argv0 + 1) : 0;
    snprintf(path, size, "%.*svaldora-mega.hex", dir, argv0);
}

int flash_command(int argc, char *argv[], FILE *in) {
    const char *port = NULL, *file = NULL;
    if (argc > 3 || (argc > 1 && argv[1][0] == '-'))
        return usage();
    if (argc == 3) {
        port = argv[1];
        file = argv[2];
    } else if (argc == 2) { // one argument: a file when it ends in .hex, else a port
        if (is_hex_name(argv[1]))
            file = argv[1];
        else
            port = argv[1];
    }
    char own[1024];
    if (!file) {
        default_file(argc > 0 ? argv[0] : "", own, sizeof own);
        file = own;
    }
    flash_readback_path = getenv("VALDORA_FLASH_READBACK"); // for the tests
    if (ihex_load(file, &image) != 0)
        return outcome(FLASH_FAILED);
    printf("valdora-flash: %s, %lu bytes\n", file, (unsigned long)image.size);
    fflush(stdout);
    if (port)
        return outcome(flash_board(port, &image));
    // No port: the board that runs Valdora's firmware, or the one the user picks, asked only
    // where the user sees the list and can answer.
    char chosen[64];
    int r = flash_choose_port(chosen, sizeof chosen, in, flash_tty && isatty(fileno(in)));
    if (r == FLASH_OK)
        r = flash_board(chosen, &image);
    return outcome(r);
}
