// The probe's CSV record: one line per refresh with a time stamp and every raw value of the
// snapshot, for chasing a value that flickers. A new file starts with a line of offsets.
#include "probe/probe.h"
#include "lamps/lamps.h"
#include "rmu/rmu.h"

#include <chrono>
#include <time.h>

static void write_header(FILE *f) {
    fprintf(f, "time");
    for (int i = 0; i < RMU_READS; i++)
        fprintf(f, ",0x%04X", (unsigned)rmu_reads[i].offset);
    for (int group = 0; group < 4; group++)
        for (const lamp_read *r = lamp_group_reads[group]; r->size != 0; r++)
            fprintf(f, ",0x%04X", (unsigned)r->offset);
    fprintf(f, "\n");
}

int probe_csv_append(void) {
    FILE *f = fopen(probe_csv, "a");
    if (f == NULL)
        return -1;
    if (fseek(f, 0, SEEK_END) == 0 && ftell(f) == 0)
        write_header(f);
    std::chrono::system_clock::time_point now = std::chrono::system_clock::now();
    time_t seconds = std::chrono::system_clock::to_time_t(now);
    long ms = (long)(std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch())
                         .count() %
                     1000);
    struct tm local;
    char stamp[32] = "0000-00-00 00:00:00";
    if (localtime_r(&seconds, &local) != NULL)
        strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    fprintf(f, "%s.%03ld", stamp, ms);
    for (int i = 0; i < probe_raw_count; i++)
        fprintf(f, ",%g", probe_raw[i]);
    fprintf(f, "\n");
    int failed = ferror(f);
    if (fclose(f) != 0)
        failed = 1;
    return failed ? -1 : 0;
}
