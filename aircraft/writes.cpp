// The values the program writes to the simulator, by name, and how the aircraft's profile has
// them written instead: to another offset with a conversion, as a simulator control (number
// and parameter written together to the interface's control offsets), or not at all.
#include "aircraft/aircraft.h"
#include "app/app.h"
#include "simlink/simlink.h"

#include <math.h>
#include <string.h>

// One value the program writes: its standard offset, how its bytes are taken, and the name a
// profile gives it. Its width is the writer's own (each offset is written at one width).
typedef struct {
    DWORD offset;
    char kind; // 's' signed, 'u' unsigned
    const char *name;
} standard_write;

static const standard_write standard_writes[] = {
    {0x311A, 'u', "com1 standby"},
    {0x311C, 'u', "com2 standby"},
    {0x311E, 'u', "nav1 standby"},
    {0x3120, 'u', "nav2 standby"},
    {0x3123, 'u', "radio swap"},
    {0x0354, 'u', "transponder"},
    {0x034C, 'u', "adf"},
    {0x0356, 'u', "adf extension"},
    {0x3122, 'u', "audio selectors"},
    {0x07CC, 'u', "autopilot heading"},
    {0x07D4, 's', "autopilot altitude"},
    {0x07E2, 'u', "autopilot speed"},
    {0x07F2, 's', "autopilot vertical speed"},
    {0x0C4E, 's', "course"},
    {0x0330, 's', "baro"},
    {0x089A, 's', "throttle 1"},
    {0x0932, 's', "throttle 2"},
    {0x0BD0, 's', "spoilers"},
    {0x0BDC, 's', "flaps"},
    {0x0BBA, 's', "rudder"},
    {0x0BC4, 's', "brake left"},
    {0x0BC6, 's', "brake right"},
    {0x0BB6, 's', "yoke roll"},
    {0x0BB2, 's', "yoke pitch"},
    {0x0892, 'u', "starter 1"},
    {0x092A, 'u', "starter 2"},
    {0x208C, 's', "ignition 1"},
    {0x218C, 's', "ignition 2"},
    {0x3125, 'u', "fuel pumps"},
    {0x0890, 's', "mixture 1"},
    {0x0928, 's', "mixture 2"},
    {0x3B7C, 's', "generator 1"},
    {0x3ABC, 's', "generator 2"},
    {0, 0, NULL},
};

const char *aircraft_write_name(const char *name) {
    for (int i = 0; standard_writes[i].name != NULL; i++)
        if (strcmp(standard_writes[i].name, name) == 0)
            return standard_writes[i].name;
    return NULL;
}

static const standard_write *standard_write_at(DWORD offset) {
    for (int i = 0; standard_writes[i].name != NULL; i++)
        if (standard_writes[i].offset == offset)
            return &standard_writes[i];
    return NULL;
}

// The active profile's item for a write, or NULL.
static const profile_item *write_item(const char *name) {
    if (aircraft_profile < 0)
        return NULL;
    const aircraft_profile_t *p = &aircraft_profiles[aircraft_profile];
    for (int i = 0; i < p->item_count; i++)
        if (p->items[i].kind == PROFILE_WRITE && strcmp(p->items[i].name, name) == 0)
            return &p->items[i];
    return NULL;
}

// The value written, of size bytes (1, 2 or 4), as a number.
static double standard_value(const standard_write *w, const uint8_t *b, DWORD size) {
    uint32_t u = 0;
    for (DWORD i = 0; i < size && i < 4; i++)
        u |= (uint32_t)b[i] << (8 * i);
    if (w->kind == 'u')
        return (double)u;
    if (size == 1)
        return (double)(int8_t)u;
    if (size == 2)
        return (double)(int16_t)u;
    return (double)(int32_t)u;
}

// A double held to the range of a whole number of that size and sign, rounded (NaN gives 0).
static int64_t whole(double v, uint8_t size, char type) {
    double lo, hi;
    if (type == 'u') {
        lo = 0.0;
        hi = size >= 8 ? 9007199254740992.0 : ldexp(1.0, 8 * size) - 1.0;
    } else {
        hi = size >= 8 ? 9007199254740992.0 : ldexp(1.0, 8 * size - 1) - 1.0;
        lo = -hi - 1.0;
    }
    if (!(v >= lo))
        return (int64_t)lo;
    if (v > hi)
        return (int64_t)hi;
    return (int64_t)llround(v);
}

// The bytes of a value in the source's size and type, little-endian.
static void encode(double v, const profile_source *s, uint8_t *out) {
    uint64_t bits;
    if (s->type == 'f' && s->size == 4) {
        float f = (float)v;
        uint32_t b32;
        memcpy(&b32, &f, 4);
        bits = b32;
    } else if (s->type == 'f') {
        memcpy(&bits, &v, 8);
    } else {
        bits = (uint64_t)whole(v, s->size, s->type);
    }
    for (int i = 0; i < s->size; i++)
        out[i] = (uint8_t)(bits >> (8 * i));
}

BOOL aircraft_write(DWORD offset, DWORD size, void *src, DWORD *result) {
    const standard_write *w = standard_write_at(offset);
    const profile_item *item = w != NULL ? write_item(w->name) : NULL;
    if (item == NULL)
        return FSUIPC_Write(offset, size, src, result);
    if (item->mode == 'n') {
        *result = 0;
        return TRUE;
    }
    double v = standard_value(w, (const uint8_t *)src, size) * item->src.scale + item->src.add;
    uint8_t bytes[8];
    if (item->mode == 'c') {
        int32_t parameter = item->parameter_set ? item->parameter : (int32_t)whole(v, 4, 's');
        for (int i = 0; i < 4; i++) {
            bytes[i] = (uint8_t)(item->control >> (8 * i));
            bytes[4 + i] = (uint8_t)((uint32_t)parameter >> (8 * i));
        }
        return FSUIPC_Write(AIRCRAFT_CONTROL_OFFSET, 8, bytes, result);
    }
    encode(v, &item->src, bytes);
    return FSUIPC_Write(item->src.offset, item->src.size, bytes, result);
}
