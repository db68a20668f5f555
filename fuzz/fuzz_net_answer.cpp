// Fuzz target: the network link's reader of a server's messages. Three groups are declared
// (numbers of each size, an 8-byte signed value, a byte array) and each input is taken as one
// message from the server. A message judged bad must leave every stored value as it was.
#include "simlink/simlink.h"

#include <stdlib.h>
#include <string.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static int ready = 0;
    if (!ready) {
        sim_net_entry r[] = {{0x034E, 2, 'u', 0, 0},
                             {0x0560, 8, 'i', 0, 0},
                             {0x1000, 3, 'b', 0, 0},
                             {0x0B52, 1, 'u', 0, 0}};
        sim_net_entry w[] = {{0x3380, 24, 's', 0, 0}, {0x32FA, 2, 'u', 0, 0}};
        int declared;
        sim_net_forget();
        sim_net_group_for('r', r, 4, &declared);
        sim_net_group_for('w', w, 2, &declared);
        ready = 1;
    }
    static BYTE before[64];
    memcpy(before, sim_net_cache, sizeof before);
    char why[256];
    int r = sim_net_take((const char *)data, size, why, sizeof why);
    if (r == SIM_NET_BAD && memcmp(before, sim_net_cache, sizeof before) != 0)
        abort(); // a bad message stored a value
    return 0;
}
