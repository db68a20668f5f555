// The stand-in simulator's offset space: its lock, plain reads and sets, client writes (which
// run the behaviours' hooks and go to the write log), and stepping the behaviours.
#include "sim/sim.h"

#include <mutex>
#include <string.h>
#include <sys/time.h>
#include <time.h>

uint8_t sim_offsets[SIM_OFFSETS];
uint32_t sim_client_lib_version = 0;
void (*sim_write_observer)(uint32_t offset, uint32_t size, const uint8_t *data) = NULL;

// Recursive, so that a behaviour's hook may use sim_get and sim_set freely.
static std::recursive_mutex offsets_lock;
static FILE *write_log = NULL;

// The server's version and simulator marker are read-only for clients: the library version a
// client writes at 0x330A is noted, but the marker's bytes stay as they are.
#define IDENTITY_OFFSET 0x3304
#define IDENTITY_SIZE 8
#define LIB_VERSION_OFFSET 0x330A

void sim_lock(void) {
    offsets_lock.lock();
}

void sim_unlock(void) {
    offsets_lock.unlock();
}

int sim_overlaps(uint32_t offset, uint32_t size, uint32_t at, uint32_t len) {
    return size && len && (uint64_t)offset < (uint64_t)at + len &&
           (uint64_t)at < (uint64_t)offset + size;
}

static int in_space(uint32_t offset, uint32_t size) {
    return (uint64_t)offset + size <= SIM_OFFSETS;
}

uint32_t sim_get(uint32_t offset, uint32_t size) {
    if (size > 4 || !in_space(offset, size))
        return 0;
    uint32_t v = 0;
    sim_lock();
    for (uint32_t i = 0; i < size; i++)
        v |= (uint32_t)sim_offsets[offset + i] << (8 * i);
    sim_unlock();
    return v;
}

void sim_set(uint32_t offset, uint32_t size, uint32_t value) {
    if (size > 4 || !in_space(offset, size))
        return;
    sim_lock();
    for (uint32_t i = 0; i < size; i++)
        sim_offsets[offset + i] = (uint8_t)(value >> (8 * i));
    sim_unlock();
}

void sim_set_log(FILE *log) {
    sim_lock();
    write_log = log;
    sim_unlock();
}

// One log line: local time with milliseconds, offset, size, the bytes in hex.
static void log_write(uint32_t offset, uint32_t size, const uint8_t *data) {
    struct timeval tv;
    gettimeofday(&tv, NULL);
    struct tm tm;
    time_t seconds = tv.tv_sec; // a long, not a time_t, on Windows
    localtime_r(&seconds, &tm);
    fprintf(write_log, "%02d:%02d:%02d.%03d 0x%04X %u ", tm.tm_hour, tm.tm_min, tm.tm_sec,
            (int)(tv.tv_usec / 1000), offset, size);
    for (uint32_t i = 0; i < size; i++)
        fprintf(write_log, "%02X", data[i]);
    fputc('\n', write_log);
    fflush(write_log);
}

void sim_log_control(uint32_t control, uint32_t parameter) {
    if (write_log == NULL)
        return;
    struct timeval tv;
    gettimeofday(&tv, NULL);
    struct tm tm;
    time_t seconds = tv.tv_sec;
    localtime_r(&seconds, &tm);
    fprintf(write_log, "%02d:%02d:%02d.%03d control %u 0x%08X\n", tm.tm_hour, tm.tm_min, tm.tm_sec,
            (int)(tv.tv_usec / 1000), (unsigned)control, (unsigned)parameter);
    fflush(write_log);
}

void sim_write(uint32_t offset, uint32_t size, const uint8_t *data) {
    if (!in_space(offset, size))
        return;
    sim_lock();
    uint8_t identity[IDENTITY_SIZE];
    memcpy(identity, sim_offsets + IDENTITY_OFFSET, IDENTITY_SIZE);
    if (size)
        memcpy(sim_offsets + offset, data, size);
    memcpy(sim_offsets + IDENTITY_OFFSET, identity, IDENTITY_SIZE);
    if (offset == LIB_VERSION_OFFSET && size >= 2)
        sim_client_lib_version = (uint32_t)(data[0] | (data[1] << 8));
    if (write_log)
        log_write(offset, size, data);
    for (int i = 0; sim_behaviours[i]; i++)
        if (sim_behaviours[i]->on_write)
            sim_behaviours[i]->on_write(offset, size);
    if (sim_write_observer)
        sim_write_observer(offset, size, data);
    sim_unlock();
}

void sim_step(double seconds) {
    sim_lock();
    for (int i = 0; sim_behaviours[i]; i++)
        if (sim_behaviours[i]->step)
            sim_behaviours[i]->step(seconds);
    sim_unlock();
}
