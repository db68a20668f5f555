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
    X(FSUIPC_ERR_SIZE, "the request does not fit into the block")                                  \
    X(FSUIPC_ERR_NET, "the simulator's network server failed (valdora.log says why)")
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

// ---- Network link: the simulator's WebSocket server instead of the local interface ----
#define SIM_NET_DEFAULT_PORT 2048         // the server's port unless the address names one
#define SIM_NET_PATH "/fsuipc/"           // where the server listens
#define SIM_NET_REPLY_MS 2000             // longest wait for a pass's answer
#define SIM_NET_MESSAGE_MAX (1024 * 1024) // longest message taken from a server
#define SIM_NET_GROUPS 64                 // groups declared per connection before starting over
#define SIM_NET_ENTRIES 8192              // offsets in all groups of a connection
#define SIM_NET_CACHE (256 * 1024)        // bytes of last known values of all groups

extern char sim_address[256]; // "ws://HOST[:PORT]": the network link; "": the local interface

// Splits "ws://HOST[:PORT][/]" into host and port; 0, or -1 for anything else.
int sim_address_parse(const char *text, char *host, size_t host_size, int *port);
// Takes --sim ADDRESS or --sim=ADDRESS from the command line; 0, or -1 when one is bad.
int sim_address_from_args(int argc, char **argv);
// Takes a "sim=ADDRESS" line from the settings file at path; 0 when set, -1 when none or bad.
int sim_address_from_ini(const char *path);

// One offset of a declared group.
typedef struct {
    DWORD offset; // the simulator offset
    DWORD size;   // its bytes
    char type;    // 'u' uint (1, 2, 4 bytes), 'i' int (8), 'b' byteArray, 's' string
    DWORD cache;  // where its last known value lies in the cache
    int known;    // 1 once an answer carried it
} sim_net_entry;

// A named set of offsets declared to the server: 'r' for a pass's reads, 'w' for its writes.
typedef struct {
    char kind;
    int first, count; // its entries in the entry table
} sim_net_group;

extern sim_net_group sim_net_groups[SIM_NET_GROUPS];   // the groups of this connection
extern int sim_net_group_count;                        // how many are declared
extern sim_net_entry sim_net_entries[SIM_NET_ENTRIES]; // their offsets
extern BYTE sim_net_cache[SIM_NET_CACHE];              // their last known values

void sim_net_forget(void); // forgets every group (a new connection declares afresh)
// The group of kind holding exactly these offsets, declaring a new one when none does
// (*declared tells); its index, or -1 when the table has no room for them.
int sim_net_group_for(char kind, const sim_net_entry *entries, int count, int *declared);
// 1 when the groups a pass's writes and reads need fit beside those declared, 0 when the
// table must start over first (so that neither is forgotten while the pass's answers come).
int sim_net_pass_fits(const sim_net_entry *writes, int nwrites, const sim_net_entry *reads,
                      int nreads);
// The name a group is known by on the server ("r3", "w5"); out holds at least 8 bytes.
void sim_net_group_name(int group, char *out);
// The type an offset travels as: sizes 1, 2, 4 uint, 8 int, others byteArray (a write of a
// zero-ended printable text: string).
char sim_net_type(DWORD size, const BYTE *data);
// The messages that declare a group, write its values (data: each entry's bytes one after
// another), read it, and the barrier after them (about.read, always answered, named anew for
// each pass).
void sim_net_declare_message(int group, char *out, size_t size);
int sim_net_write_message(int group, const BYTE *data, char *out, size_t size); // 0 or -1
void sim_net_read_message(int group, char *out, size_t size);
void sim_net_barrier_message(char *out, size_t size);
// Takes one message from the server: SIM_NET_TAKEN (a read's answer stored, or nothing to do),
// SIM_NET_BARRIER (the last barrier's answer: all before it has come), or SIM_NET_BAD with why.
// A bad message changes no stored value.
int sim_net_take(const char *text, size_t len, char *why, size_t why_size);
#define SIM_NET_TAKEN 0
#define SIM_NET_BARRIER 1
#define SIM_NET_BAD (-1)

// The WebSocket's opening and frames as the link's client reads them.
// base64 of len bytes into out (4 characters for each 3 bytes begun, and a closing 0).
void sim_net_base64(const unsigned char *data, size_t len, char *out);
void sim_net_ws_accept(const char *key, char out[29]); // the accept key answering a client's key
typedef struct {
    int opcode, last; // the frame's kind (0 a continuation), and 1 on a message's last fragment
    uint64_t len;     // bytes of its payload
} sim_net_frame;
// Judges a server's frame by its header at the front of buf before any of its payload is read:
// the header's size when whole, 0 while more is needed, -1 with why for a frame no server may
// send or whose message would pass SIM_NET_MESSAGE_MAX (already has bytes of it come before).
int sim_net_frame_head(const unsigned char *buf, size_t len, size_t already, int in_message,
                       sim_net_frame *f, char *why, size_t why_size);

// The link's transport calls, used by the client when sim_address is set.
// Connects and upgrades; 0, or -1 with why written to the log.
int sim_net_connect(void);
void sim_net_disconnect(void); // closes the connection; safe when none
// Carries out the block's records (as the local interface would) over the connection: the
// writes first, then the reads, whose data areas it fills; 0, or -1 with why in the log.
int sim_net_exchange(BYTE *block, DWORD used);
extern DWORD sim_net_last_rtt_us; // the last exchange's round trip, in microseconds
