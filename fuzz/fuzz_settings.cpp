// Fuzz target: the settings file reader. Every input becomes the whole of "vd60_rmu.ini" in a
// private working folder and is read with load_ini_file; the layout values it leaves must be
// ones the window can draw, whatever the file held.
#include "app/app.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

static char folder[64];

static void cleanup(void) {
    unlink("vd60_rmu.ini");
    if (chdir("/") == 0)
        rmdir(folder);
}

// Runs every input in a folder of its own, since the reader takes its file from the working
// directory. The folder is made in memory (/dev/shm) where there is one: a file written and
// read a thousand times a second is slow on a disk.
static void enter_private_folder(void) {
    static int done = 0;
    if (done)
        return;
    struct stat st;
    const char *base = stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) ? "/dev/shm" : "/tmp";
    snprintf(folder, sizeof folder, "%s/valdora-fuzz-settings-XXXXXX", base);
    if (!mkdtemp(folder) || chdir(folder) != 0)
        abort();
    atexit(cleanup);
    done = 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    enter_private_folder();
    FILE *f = fopen("vd60_rmu.ini", "wb");
    if (!f)
        abort();
    if (size && fwrite(data, 1, size, f) != size)
        abort();
    fclose(f);

    load_ini_file();

    // The reader closes its file and brings the layout into the range the window can draw.
    if (inifile != NULL)
        abort();
    if (width < 150 || height < 210 || gap < -9 || extra_border < 0 || (blur != 0 && blur != 1))
        abort();
    if (angle != 0 && angle != 64 && angle != 128 && angle != 192)
        abort();
    return 0;
}
