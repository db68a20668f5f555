// Program-wide state of the simulator link, with its initial values.
#include "simlink/simlink.h"

DWORD FSUIPC_Version = 0;
DWORD FSUIPC_FS_Version = 0;
DWORD FSUIPC_Lib_Version = 2002;

DWORD dwResult = 0;
int connected = 0;
int message_wait_time = 5;
int (*sim_wait_hook)(void) = NULL;
