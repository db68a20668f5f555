// Simulator link: the FSUIPC IPC client and the connection supervisor.
#pragma once

#include "platform/platform.h"

// Result codes stored by the client through its last argument, numbered from 0 in this order,
// each with what it means to the user.
#define FSUIPC_RESULTS(X)                                                                          \
    X(FSUIPC_ERR_OK, "success")                                                                    \
    X(FSUIPC_ERR_OPEN, "the link is already open")                                                 \
    X(FSUIPC_ERR_NOFS,                                                                             \
      "no server window (UIPCMAIN or FS98MAIN): is the simulator with its FSUIPC running?")        \
    X(FSUIPC_ERR_REGMSG, "registering the IPC message failed")                                     \
    X(FSUIPC_ERR_ATOM, "adding the global atom failed")                                            \
    X(FSUIPC_ERR_MAP, "creating the shared block failed")                                          \
    X(FSUIPC_ERR_VIEW, "mapping the shared block failed")                                          \
    X(FSUIPC_ERR_VERSION, "the server's version is not acceptable")                                \
    X(FSUIPC_ERR_WRONGFS, "not the simulator asked for")                                           \
    X(FSUIPC_ERR_NOTOPEN, "the link is not open")                                                  \
    X(FSUIPC_ERR_NODATA, "nothing queued")                                                         \
    X(FSUIPC_ERR_TIMEOUT, "the server did not answer (time-out)")                                  \
    X(FSUIPC_ERR_SENDMSG, "the server did not answer (system error)")                              \
    X(FSUIPC_ERR_DATA, "the server refused the exchange")                                          \
    X(FSUIPC_ERR_RUNNING, "the server's version is not acceptable (found only as FS98MAIN)")       \
    X(FSUIPC_ERR_SIZE, "the request does not fit into the block")
#define FSUIPC_RESULT_CODE(name, text) name,
enum { FSUIPC_RESULTS(FSUIPC_RESULT_CODE) };
#undef FSUIPC_RESULT_CODE

// ---- IPC client ----
extern DWORD FSUIPC_Version;            // the server's version, read at open
extern DWORD FSUIPC_FS_Version;         // the simulator's type number after a successful open
extern DWORD FSUIPC_Lib_Version;        // this client's library version (2002)
extern const char *FSUIPC_Server_Class; // server window class that answered the last open
extern int FSUIPC_Listen_Only;          // 1: the open leaves out its version write (the probe)

BOOL FSUIPC_Open(DWORD fs_requested, DWORD *result); // opens the link to the simulator
void FSUIPC_Close(void);                             // closes the link; safe when closed
BOOL FSUIPC_Read(DWORD offset, DWORD size, void *dest, DWORD *result);        // queues a read
BOOL FSUIPC_ReadSpecial(DWORD offset, DWORD size, void *dest, DWORD *result); // read with data
BOOL FSUIPC_Write(DWORD offset, DWORD size, void *src, DWORD *result);        // queues a write
BOOL FSUIPC_Process(DWORD *result);            // sends the queue, delivers the reads
void FSUIPC_Last_Call(char *out, size_t size); // names the last call, to tell what failed
const char *FSUIPC_Result_Text(DWORD code);    // what a result code means

// ---- Connection supervisor ----
extern DWORD dwResult;        // the one result-code variable every caller passes
extern int connected;         // 1 while the link is considered usable
extern int message_wait_time; // display time in seconds of the announcement

extern int (*sim_wait_hook)(void); // run as the wait begins and after each 100 ms pause

int connect_to_sim(void); // (re)opens the link, waiting every 100 ms; announces itself
