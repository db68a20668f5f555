// Fuzz target: the settings file reader. Every input becomes the whole of "vd60_rmu.ini" in the
// working folder (fuzz/run.sh runs each target in a private one, in memory where it can) and is
// read with load_ini_file; the layout values it leaves must be ones the window can draw,
// whatever the file held, and the file must be closed again.
#include "app/app.h"

#include <stdio.h>
#include <stdlib.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FILE *f = fopen("vd60_rmu.ini", "wb");
    if (!f || (size && fwrite(data, 1, size, f) != size))
        abort();
    fclose(f);
    load_ini_file();
    if (inifile != NULL || width < 150 || height < 210 || gap < -9 || extra_border < 0 ||
        (blur != 0 && blur != 1) || (angle != 0 && angle != 64 && angle != 128 && angle != 192))
        abort();
    return 0;
}
