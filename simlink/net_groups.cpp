// The network link's groups: every distinct set of reads (or of writes) that a pass sends is
// declared once per connection under a short name, and the last known value of each of its
// offsets is kept, since the server answers a read with only what changed.
#include "simlink/simlink.h"

#include <stdio.h>
#include <string.h>

sim_net_group sim_net_groups[SIM_NET_GROUPS];
int sim_net_group_count = 0;
sim_net_entry sim_net_entries[SIM_NET_ENTRIES];
BYTE sim_net_cache[SIM_NET_CACHE];

static int entries_used = 0;
static DWORD cache_used = 0;

void sim_net_forget(void) {
    sim_net_group_count = 0;
    entries_used = 0;
    cache_used = 0;
}

void sim_net_group_name(int group, char *out) {
    snprintf(out, 8, "%c%d", sim_net_groups[group].kind, group % SIM_NET_GROUPS);
}

char sim_net_type(DWORD size, const BYTE *data) {
    if (size == 1 || size == 2 || size == 4)
        return 'u';
    if (size == 8)
        return 'i';
    if (data && size > 1 && data[size - 1] == 0) {
        DWORD i = 0; // the zero at the end stops the scan
        while (data[i] >= 0x20 && data[i] < 0x7F)
            i++;
        int rest_zero = 1;
        for (DWORD j = i; j < size; j++)
            rest_zero &= data[j] == 0;
        if (rest_zero)
            return 's';
    }
    return 'b';
}

static int same_group(const sim_net_group *g, char kind, const sim_net_entry *e, int count) {
    if (g->kind != kind || g->count != count)
        return 0;
    for (int i = 0; i < count; i++) {
        const sim_net_entry *have = &sim_net_entries[g->first + i];
        if (have->offset != e[i].offset || have->size != e[i].size || have->type != e[i].type)
            return 0;
    }
    return 1;
}

// The group of kind holding exactly these offsets, or -1.
static int group_found(char kind, const sim_net_entry *entries, int count) {
    for (int g = 0; g < sim_net_group_count; g++)
        if (same_group(&sim_net_groups[g], kind, entries, count))
            return g;
    return -1;
}

// When they do not, the table starts over before the pass: the server takes a declaration
// under a name it knows as the new meaning of that name, so the names are simply used again.
int sim_net_pass_fits(const sim_net_entry *writes, int nwrites, const sim_net_entry *reads,
                      int nreads) {
    int groups = 0, entries = 0;
    DWORD bytes = 0;
    const struct {
        char kind;
        const sim_net_entry *e;
        int count;
    } sets[2] = {{'w', writes, nwrites}, {'r', reads, nreads}};
    for (const auto &set : sets) {
        if (set.count == 0 || group_found(set.kind, set.e, set.count) >= 0)
            continue;
        groups++;
        entries += set.count;
        for (int i = 0; i < set.count; i++)
            bytes += set.e[i].size;
    }
    return sim_net_group_count + groups <= SIM_NET_GROUPS &&
           entries_used + entries <= SIM_NET_ENTRIES && cache_used + bytes <= SIM_NET_CACHE;
}

int sim_net_group_for(char kind, const sim_net_entry *entries, int count, int *declared) {
    *declared = 0;
    int found = group_found(kind, entries, count);
    if (found >= 0)
        return found;
    DWORD bytes = 0;
    for (int i = 0; i < count; i++)
        bytes += entries[i].size;
    if (count == 0 || sim_net_group_count == SIM_NET_GROUPS ||
        entries_used + count > SIM_NET_ENTRIES || cache_used + bytes > SIM_NET_CACHE)
        return -1;
    int g = sim_net_group_count++;
    sim_net_group *group = &sim_net_groups[g];
    group->kind = kind;
    group->first = entries_used;
    group->count = count;
    for (int i = 0; i < count; i++) {
        sim_net_entry *e = &sim_net_entries[entries_used++];
        *e = entries[i];
        e->cache = cache_used;
        e->known = 0;
        cache_used += e->size;
    }
    *declared = 1;
    return g;
}
