// Program-wide state of the engine autostart, with its initial values.
#include "autostart/autostart.h"

int eng1_starting = 0, eng2_starting = 0;
int eng1_start_phase = 1, eng2_start_phase = 1;
int eng_autostart = 1;
