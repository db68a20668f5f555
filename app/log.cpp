// The program's log "valdora.log" in the working folder: one time-stamped line per event (start,
// each connect and link loss, the boards found, calibration, a refused layout key, exit), never
// one per pass. At 1 MB it becomes "valdora.log.1" (one old file kept) and a new one is begun.
// Writing it is best effort: a log that cannot be written changes nothing the program does.
#include "app/app.h"

#include <errno.h>
#include <stdarg.h>
#include <string.h>
#include <time.h>

#include <chrono>

#define LOG_FILE "valdora.log"
#define LOG_OLD_FILE "valdora.log.1"
#define LOG_DROP_FILE "valdora.log.old" // the old log for a moment while the new one takes its name

long log_limit = 1024L * 1024L;
int (*log_rename)(const char *from, const char *to) = rename;

// Makes the full log the old one. Where a rename replaces its target (POSIX) that is one step;
// where it does not (Windows), the old log is moved aside first and put back when the full one
// cannot move (held open by another program), so the old log is never lost.
static int set_aside(void) {
    if (log_rename(LOG_FILE, LOG_OLD_FILE) == 0)
        return 0;
    remove(LOG_DROP_FILE);
    if (log_rename(LOG_OLD_FILE, LOG_DROP_FILE) != 0)
        return -1;
    if (log_rename(LOG_FILE, LOG_OLD_FILE) != 0) {
        log_rename(LOG_DROP_FILE, LOG_OLD_FILE);
        return -1;
    }
    remove(LOG_DROP_FILE);
    return 0;
}

// Opens the log for appending, first setting a full one aside; one that cannot be set aside
// is appended to.
static FILE *open_log(void) {
    FILE *f = fopen(LOG_FILE, "a");
    if (f == NULL)
        return NULL;
    if (fseek(f, 0, SEEK_END) == 0 && ftell(f) >= log_limit) {
        fclose(f);
        set_aside();
        f = fopen(LOG_FILE, "a");
    }
    return f;
}

int log_time_stamp(char *out, size_t size, int millis) {
    std::chrono::system_clock::time_point clock = std::chrono::system_clock::now();
    time_t now = std::chrono::system_clock::to_time_t(clock);
    long ms = (long)(std::chrono::duration_cast<std::chrono::milliseconds>(clock.time_since_epoch())
                         .count() %
                     1000);
    struct tm local;
    if (localtime_r(&now, &local) == NULL || strftime(out, size, "%Y-%m-%d %H:%M:%S", &local) == 0)
        snprintf(out, size, "0000-00-00 00:00:00");
    if (millis) {
        size_t used = strlen(out);
        snprintf(out + used, size - used, ".%03ld", ms);
    }
    return 0;
}

int log_event(const char *format, ...) {
    FILE *f = open_log();
    if (f == NULL)
        return -1;
    char stamp[32];
    log_time_stamp(stamp, sizeof stamp, 0);
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
    FILE *f = fopen(INI_FILE, "r");
    if (f == NULL) {
        snprintf(out, size, "defaults (" INI_FILE ": %s)", strerror(errno));
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
    // The last line is never read, so a file without it is whole.
    if (lines < INI_LINES - 1)
        snprintf(out, size, INI_FILE " read, %d of its %d lines (the rest default)", lines,
                 INI_LINES);
    else
        snprintf(out, size, INI_FILE " read");
}

int log_start(void) {
    char settings[96];
    int desktop_width = 0, desktop_height = 0;
    describe_settings(settings, sizeof settings);
    get_desktop_resolution(&desktop_width, &desktop_height);
    return log_event("start Valdora " VALDORA_VERSION "; settings %s; desktop %dx%d; artwork %s",
                     settings, desktop_width, desktop_height,
                     blur == 1 ? "vd60_rmub.bmp, vd60_pickerb.bmp"
                               : "vd60_rmu.bmp, vd60_picker.bmp");
}
