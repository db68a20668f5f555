// The control verb apu: `valdora-sim apu on|off` moves the stand-in aircraft's APU switch
// (0x0B50), which spins its speed (0x0B54, percent as a float) up to 100 or down to 0.
#include "sim/sim.h"
#include "simlink/simlink.h"

#include <string.h>

static int verb_apu(int argc, char **argv) {
    if (argc != 2 || (strcmp(argv[1], "on") != 0 && strcmp(argv[1], "off") != 0)) {
        fprintf(stderr, "valdora-sim: apu on|off\n");
        return 2;
    }
    uint8_t on = strcmp(argv[1], "on") == 0 ? 1 : 0;
    if (sim_control_open() == -1)
        return 1;
    DWORD rc = 0;
    int ok = FSUIPC_Write(0x0B50, 1, &on, &rc) && FSUIPC_Process(&rc);
    sim_control_close();
    if (!ok) {
        fprintf(stderr, "valdora-sim: the write failed (result %u)\n", (unsigned)rc);
        return 1;
    }
    return 0;
}

extern const sim_control_verb sim_verb_apu = {"apu", "on|off", verb_apu};
