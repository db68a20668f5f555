// The program's log "valdora.log" in the working folder: one time-stamped line per event (start,
// each connect and link loss, the boards found, calibration, a refused layout key, exit), never
// one per pass. At 1 MB it becomes "valdora.log.1" (one old file kept) and a new one is begun.
// Writing it is best effort: a log that cannot be written changes nothing the program does.
#include "app/app.h"

#include <errno.h>
#include <stdarg.h>
#include <string.h>
#include <time.h>

#define LOG_FILE "valdora.log"
#define LOG_OLD_FILE "valdora.log.1"

long log_limit = 1024L * 1024L;

// Opens the log for appending, first setting a full one aside.
static FILE *open_log(void) {
    FILE *f = fopen(LOG_FILE, "a");
    if (f == NULL)
        return NULL;
    if (fseek(f, 0, SEEK_END) == 0 && ftell(f) >= log_limit) {
        fclose(f);
        remove(LOG_OLD_FILE);
        if (rename(LOG_FILE, LOG_OLD_FILE) != 0)
            return NULL;
        f = fopen(LOG_FILE, "a");
    }
    return f;
}

int log_event(const char *format, ...) {
    FILE *f = open_log();
    if (f == NULL)
        return -1;
    char stamp[32];
    time_t now = time(NULL);
    struct tm local;
    if (localtime_r(&now, &local) == NULL ||
        strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local) == 0)
        strcpy(stamp, "0000-00-00 00:00:00");
    fprintf(f, "%s ", stamp);
    va_list args;
    va_start(args, format);
    vfprintf(f, format, args);
    va_end(args);
    fputc('\n', f);
    int failed = ferror(f);
    if (fclose(f) != 0)
        failed = 1;
    return failed ? -1 : 0;
}

// Where the layout and calibration came from: the settings file and how many lines it had, or
// the defaults and why.
static void describe_settings(char *out, size_t size) {
    FILE *f = fopen("vd60_rmu.ini", "r");
    if (f == NULL) {
        snprintf(out, size, "defaults (vd60_rmu.ini: %s)", strerror(errno));
        return;
    }
    int lines = 0, c, last = '\n';
    while ((c = fgetc(f)) != EOF) {
        if (c == '\n')
            lines++;
        last = c;
    }
    if (last != '\n')
        lines++;
    fclose(f);
    if (lines < 40)
        snprintf(out, size, "vd60_rmu.ini read, %d of its 41 lines (the rest default)", lines);
    else
        snprintf(out, size, "vd60_rmu.ini read");
}

int log_start(void) {
    char settings[96];
    int desktop_width = 0, desktop_height = 0;
    describe_settings(settings, sizeof settings);
    get_desktop_resolution(&desktop_width, &desktop_height);
    return log_event("start Valdora V2.08; settings %s; desktop %dx%d; artwork %s", settings,
                     desktop_width, desktop_height,
                     blur == 1 ? "vd60_rmub.bmp, vd60_pickerb.bmp"
                               : "vd60_rmu.bmp, vd60_picker.bmp");
}
