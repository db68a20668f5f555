// The control verb aircraft: `valdora-sim aircraft NAME` loads another of the stand-in's
// aircraft (its number goes to the stand-in's own offset 0xFF00); without a name it lists them.
#include "sim/sim.h"
#include "simlink/simlink.h"

#include <string.h>

static int verb_aircraft(int argc, char **argv) {
    int n = -1;
    for (int i = 0; argc == 2 && sim_fleet[i].name != NULL; i++)
        if (strcmp(argv[1], sim_fleet[i].name) == 0)
            n = i;
    if (n < 0) {
        fprintf(argc == 1 ? stdout : stderr, "valdora-sim aircraft NAME, NAME one of:\n");
        for (int i = 0; sim_fleet[i].name != NULL; i++)
            fprintf(argc == 1 ? stdout : stderr, "  %-13s %s\n", sim_fleet[i].name,
                    sim_fleet[i].title);
        return argc == 1 ? 0 : 2;
    }
    uint8_t number = (uint8_t)n;
    if (sim_control_open() == -1)
        return 1;
    DWORD rc = 0;
    int ok = FSUIPC_Write(SIM_AIRCRAFT_SELECT, 1, &number, &rc) && FSUIPC_Process(&rc);
    sim_control_close();
    if (!ok) {
        fprintf(stderr, "valdora-sim: the write failed (result %u)\n", (unsigned)rc);
        return 1;
    }
    return 0;
}

extern const sim_control_verb sim_verb_aircraft = {"aircraft", "[NAME]", verb_aircraft};
