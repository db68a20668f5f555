// The active profile at work in the lamps' read: its sources ride in the exchange of the board
// that shows them, each read's source replaces the standard value before the decoding, and each
// lamp's condition is worked out for the refresh. With the built-in nothing here does anything.
#include "aircraft/aircraft.h"
#include "app/app.h"
#include "simlink/simlink.h"

#include <math.h>
#include <string.h>

// The group (board) a read belongs to: the group whose table holds its name.
static int read_in_group(const char *name, int group) {
    for (const aircraft_value *v = aircraft_group_reads[group]; v->size != 0; v++)
        if (v->name == name)
            return 1;
    return 0;
}

static int item_in_group(const profile_item *item, int group) {
    if (item->kind == PROFILE_LAMP)
        return item->board == group;
    return item->kind == PROFILE_READ && read_in_group(item->name, group);
}

static aircraft_profile_t *active(void) {
    return aircraft_profile < 0 ? NULL : &aircraft_profiles[aircraft_profile];
}

int aircraft_queue_group(int group) {
    aircraft_profile_t *p = active();
    int queued = 1;
    for (int i = 0; p != NULL && i < p->item_count; i++) {
        profile_item *item = &p->items[i];
        if (!item->src.fixed && item_in_group(item, group) &&
            !FSUIPC_Read(item->src.offset, item->src.size, item->raw, &dwResult))
            queued = 0;
    }
    return queued;
}

// The source's value in the standard value's units.
double aircraft_source_value(const profile_item *item) {
    const profile_source *s = &item->src;
    if (s->fixed)
        return s->value;
    uint64_t bits = 0;
    for (int i = 0; i < s->size; i++)
        bits |= (uint64_t)item->raw[i] << (8 * i);
    double raw;
    if (s->type == 'f' && s->size == 4) {
        float f;
        uint32_t b32 = (uint32_t)bits;
        memcpy(&f, &b32, 4);
        raw = f;
    } else if (s->type == 'f') {
        memcpy(&raw, &bits, 8);
    } else if (s->type == 's' && s->size < 8) {
        int shift = 64 - 8 * s->size; // sign-extends the value's top bit
        raw = (double)((int64_t)(bits << shift) >> shift);
    } else if (s->type == 's') {
        raw = (double)(int64_t)bits;
    } else {
        raw = (double)bits;
    }
    return raw * s->scale + s->add;
}

// Stores a value into a standard read's receive variable, held to its width and sign.
static void store(const aircraft_value *v, double value) {
    if (v->kind == 'f') {
        float f = (float)value;
        memcpy(v->dest, &f, 4);
        return;
    }
    double lo = v->kind == 'u' ? 0.0 : -ldexp(1.0, 8 * (int)v->size - 1);
    double hi = v->kind == 'u' ? ldexp(1.0, 8 * (int)v->size) - 1.0 : -lo - 1.0;
    int64_t n = !(value >= lo) ? (int64_t)lo : value > hi ? (int64_t)hi : llround(value);
    uint8_t bytes[4];
    for (DWORD i = 0; i < v->size; i++)
        bytes[i] = (uint8_t)((uint64_t)n >> (8 * i));
    memcpy(v->dest, bytes, v->size);
}

static int condition_holds(const profile_item *item, double v) {
    switch (item->test) {
    case '=':
        return v == item->operand;
    case '>':
        return v > item->operand;
    case '<':
        return v < item->operand;
    case '&':
        return ((uint64_t)llround(fabs(v)) & (uint64_t)llround(fabs(item->operand))) != 0;
    default:
        return v != item->operand;
    }
}

// Lamps the profile drives, as last worked out: board by output.
static long lamp_lit[4][11];

void aircraft_apply_group(int group) {
    aircraft_profile_t *p = active();
    if (p == NULL)
        return;
    for (int i = 0; i < p->item_count; i++) {
        const profile_item *item = &p->items[i];
        if (!item_in_group(item, group))
            continue;
        double value = aircraft_source_value(item);
        if (item->kind == PROFILE_LAMP) {
            long lit = condition_holds(item, value);
            if (lit != lamp_lit[item->board][item->output]) {
                lamp_lit[item->board][item->output] = lit;
                aircraft_outputs_serial++;
            }
            continue;
        }
        for (const aircraft_value *v = aircraft_group_reads[group]; v->size != 0; v++)
            if (v->name == item->name)
                store(v, value);
    }
}

int aircraft_lamp_override(int board, int output, long *lit) {
    aircraft_profile_t *p = active();
    if (p == NULL || board < 0 || board > 3)
        return 0;
    for (int i = 0; i < p->item_count; i++) {
        const profile_item *item = &p->items[i];
        if (item->kind == PROFILE_LAMP && item->board == board && item->output == output) {
            *lit = lamp_lit[board][output];
            return 1;
        }
    }
    return 0;
}

const profile_item *aircraft_read_source(const char *name) {
    aircraft_profile_t *p = active();
    if (p == NULL)
        return NULL;
    for (int i = 0; i < p->item_count; i++)
        if (p->items[i].kind == PROFILE_READ && strcmp(p->items[i].name, name) == 0)
            return &p->items[i];
    return NULL;
}
