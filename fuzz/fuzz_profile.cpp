// Fuzz target: an aircraft profile file as a builder (or a damaged disk) may leave it. Any bytes
// go through the profile reader; a refused file must say where, an accepted one must hold only
// what the program can use: offsets that end inside the space, sizes 1/2/4/8, known names, and
// its rules and items within their limits. Its writes are then carried out against no link.
#include "aircraft/aircraft.h"

#include <stdlib.h>
#include <string.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static aircraft_profile_t p;
    char error[256] = "";
    if (profile_parse((const char *)data, size, "f.toml", &p, error, sizeof error) != 0) {
        if (strncmp(error, "f.toml:", 7) != 0)
            abort();
        return 0;
    }
    if (p.rule_count < 1 || p.rule_count > PROFILE_RULES || p.item_count > PROFILE_ITEMS)
        abort();
    for (int i = 0; i < p.item_count; i++) {
        const profile_item *item = &p.items[i];
        const profile_source *s = &item->src;
        if (item->name == NULL ||
            (!s->fixed && item->mode != 'c' && item->mode != 'n' &&
             ((s->size != 1 && s->size != 2 && s->size != 4 && s->size != 8) ||
              s->offset + s->size > 0x10000)))
            abort();
        if (item->kind == PROFILE_LAMP &&
            (item->board < 0 || item->board > 3 || item->output < 1 || item->output > 10))
            abort();
        (void)aircraft_source_value(item); // any raw bytes with any conversion, no fault
    }
    // Every write of the profile, with a hostile value, converted; there is no link, so each
    // fails at the client without a fault.
    aircraft_profiles[0] = p;
    aircraft_profile_count = 1, aircraft_profile = 0;
    uint8_t value[4] = {0xFF, 0xFF, 0xFF, 0x7F};
    DWORD result;
    static const DWORD writes[][2] = {{0x311A, 2}, {0x07D4, 4}, {0x0330, 2}, {0x3125, 1}};
    for (const auto &w : writes)
        aircraft_write(w[0], w[1], value, &result);
    aircraft_profile = -1;
    return 0;
}
