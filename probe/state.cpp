// The probe's options and run state, with their initial values.
#include "probe/probe.h"

int probe_once = 0;
int probe_boards = 0;
const char *probe_csv = NULL;
int probe_tty = 0;
volatile int probe_stop = 0;
