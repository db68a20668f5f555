// Simulator link: the FSUIPC IPC client and the connection supervisor.
#pragma once

#include "platform/platform.h"

// Result codes stored by the client through its last argument.
enum {
    FSUIPC_ERR_OK = 0,
    FSUIPC_ERR_OPEN = 1,
    FSUIPC_ERR_NOFS = 2,
    FSUIPC_ERR_REGMSG = 3,
    FSUIPC_ERR_ATOM = 4,
    FSUIPC_ERR_MAP = 5,
    FSUIPC_ERR_VIEW = 6,
    FSUIPC_ERR_VERSION = 7,
    FSUIPC_ERR_WRONGFS = 8,
    FSUIPC_ERR_NOTOPEN = 9,
    FSUIPC_ERR_NODATA = 10,
    FSUIPC_ERR_TIMEOUT = 11,
    FSUIPC_ERR_SENDMSG = 12,
    FSUIPC_ERR_DATA = 13,
    FSUIPC_ERR_RUNNING = 14,
    FSUIPC_ERR_SIZE = 15,
};

// ---- IPC client ----
extern DWORD FSUIPC_Version;      // the server's version, read at open
extern DWORD FSUIPC_FS_Version;   // the simulator's type number after a successful open
extern DWORD FSUIPC_Lib_Version;  // this client's library version (2002)
extern const char *FSUIPC_Server_Class; // server window class that answered the last open
extern int FSUIPC_Listen_Only; // 1: the open leaves out its version write (the probe)

BOOL FSUIPC_Open(DWORD fs_requested, DWORD *result);   // opens the link to the simulator
void FSUIPC_Close(void);                               // closes the link; safe when closed
BOOL FSUIPC_Read(DWORD offset, DWORD size, void *dest, DWORD *result);        // queues a read
BOOL FSUIPC_ReadSpecial(DWORD offset, DWORD size, void *dest, DWORD *result); // read with data
BOOL FSUIPC_Write(DWORD offset, DWORD size, void *src, DWORD *result);        // queues a write
BOOL FSUIPC_Process(DWORD *result);                    // sends the queue, delivers the reads
void FSUIPC_Last_Call(char *out, size_t size);         // names the last call, to tell what failed

// ---- Connection supervisor ----
extern DWORD dwResult;            // the one result-code variable every caller passes
extern int connected;             // 1 while the link is considered usable
extern int message_wait_time;     // display time in seconds of the announcement

int connect_to_sim(void);         // (re)opens the link, waiting every 100 ms; announces itself
