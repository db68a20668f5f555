// valdora-flash entry: the command line (flash/command.cpp) on this console, its progress drawn
// as one redrawn line when the output is a terminal.
#include "flash/flash.h"

#include <stdio.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

int main(int argc, char *argv[]) {
    flash_tty = isatty(fileno(stdout));
    return flash_command(argc, argv, stdin);
}
