// The probe's CSV record: one line per refresh with a time stamp and every raw value of the
// snapshot, for chasing a value that flickers. A new file starts with a line of offsets.
#include "probe/probe.h"
#include "app/app.h"
#include "aircraft/aircraft.h"
#include "lamps/lamps.h"
#include "rmu/rmu.h"

static void write_header(FILE *f) {
    fprintf(f, "time");
    for (int i = 0; i < RMU_READS; i++)
        fprintf(f, ",0x%04X", (unsigned)rmu_reads[i].offset);
    for (int group = 0; group < 4; group++)
        for (const aircraft_value *r = aircraft_group_reads[group]; r->size != 0; r++)
            fprintf(f, ",0x%04X", (unsigned)r->offset);
    fprintf(f, "\n");
}

int probe_csv_append(void) {
    FILE *f = fopen(probe_csv, "a");
    if (f == NULL)
        return -1;
    if (fseek(f, 0, SEEK_END) == 0 && ftell(f) == 0)
        write_header(f);
    char stamp[32];
    log_time_stamp(stamp, sizeof stamp, 1);
    fprintf(f, "%s", stamp);
    for (int i = 0; i < probe_raw_count; i++)
        fprintf(f, ",%g", probe_raw[i]);
    fprintf(f, "\n");
    int failed = ferror(f);
    if (fclose(f) != 0)
        failed = 1;
    return failed ? -1 : 0;
}
