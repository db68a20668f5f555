// The stand-in simulator: a 64 KiB offset space, the carrying out of request blocks,
// the small aircraft behaviours that live on the offsets, and the server that serves
// clients over the transport (docs/ipc-transport.md).
#pragma once

#include <stdint.h>
#include <stddef.h>
#include <stdio.h>

#define SIM_OFFSETS 0x10000

extern uint8_t sim_offsets[SIM_OFFSETS]; // the simulator's offset space

// One behaviour of the stand-in aircraft (radios, engines, gear, clock...): each is a
// small separate piece listed in sim/behaviours.cpp.
typedef struct {
    const char *name;                                 // short name for logs
    void (*reset)(void);                              // puts its offsets at rest (may be NULL)
    void (*on_write)(uint32_t offset, uint32_t size); // after a client wrote (may be NULL)
    void (*step)(double seconds);                     // advances it by a time step (may be NULL)
} sim_behaviour;
extern const sim_behaviour *const sim_behaviours[]; // NULL-terminated list

void sim_lock(void);   // takes the offset space (server and tests share it)
void sim_unlock(void); // gives it back
void sim_reset(void);  // a parked aircraft with power on, then every reset
uint32_t sim_get(uint32_t offset, uint32_t size); // reads 1, 2 or 4 bytes, little-endian
void sim_set(uint32_t offset, uint32_t size, uint32_t value); // writes 1, 2 or 4 bytes, no hooks
void sim_write(uint32_t offset, uint32_t size, const uint8_t *data); // a client write: hooks run
void sim_step(double seconds);                                       // steps every behaviour
int sim_process_block(uint8_t *block, size_t size); // carries out the records: 1 done, 0 refused
void sim_set_log(FILE *log); // appends one line per write received (NULL: none)

// ---- Identity and bookkeeping of the offset space ----
extern uint32_t sim_report_version;     // what a reset puts at 0x3304 (the server's version)
extern uint32_t sim_report_fs;          // what a reset puts at 0x3308 (0xFADE0000 + type)
extern uint32_t sim_client_lib_version; // last library version a client wrote at 0x330A
// Called for every client write after it was stored (tests record them); NULL: none.
extern void (*sim_write_observer)(uint32_t offset, uint32_t size, const uint8_t *data);
// 1 when the range offset..offset+size-1 shares a byte with at..at+len-1.
int sim_overlaps(uint32_t offset, uint32_t size, uint32_t at, uint32_t len);

// ---- The aircraft loaded (sim/aircraft.cpp) ----
#define SIM_AIRCRAFT_SELECT 0xFF00 // the stand-in's own: number of the aircraft to load (1 byte)
#define SIM_CONTROL_OFFSET 0x3110  // a simulator control: number (4 bytes), then parameter (4)
#define SIM_CONTROL_COM1_STANDBY_SET 66371u // the stand-in's control: COM1 standby word
typedef struct {
    const char *name;  // as `valdora-sim aircraft` takes it
    const char *title; // served at 0x3D00
    const char *path;  // served at 0x3C00
    int addon;         // 1: the add-on's ways (unfed offsets, COM1 standby by control only)
} sim_fleet_entry;
extern const sim_fleet_entry sim_fleet[]; // NULL name ends
extern int sim_aircraft_now;              // index of the aircraft loaded
// Zeroes the bytes of a client read that the loaded aircraft leaves unfed.
void sim_aircraft_hide(uint32_t offset, uint32_t size, uint8_t *data);
void sim_log_control(uint32_t control, uint32_t parameter); // a line in the write log

// ---- The message line (offset 0x3380 text, 0x32FA display time) ----
extern char sim_message_text[129]; // last message shown
extern int sim_message_seconds;    // its display time
extern unsigned sim_message_count; // messages shown since the last reset

// ---- The server of the IPC transport ----
#define SIM_SERVER_CLIENTS 32 // connections served at once (the oldest idle goes)
#define SIM_BLOCK_MAX 0x20000 // largest request block carried out
#define SIM_FRAME_MS 1000     // time a peer has to finish a request frame it began
#define SIM_NO_REPLY (-1)     // carry_out result: answer nothing (a hung server)
#define SIM_HANG_UP (-2)      // carry_out result: close the connection unanswered

typedef struct {
    int fd;                  // -1 while the slot is free
    uint8_t frame[18 + 255]; // the request frame being received
    size_t got;              // bytes of it received so far
    int64_t began_ms;        // when its first byte came
    int64_t active_ms;       // last time anything came
    int pid;                 // the peer's process id (0 when unknown)
} sim_client;

// A peer that hung up, watched for a while: if its process has ended, the blocks it left
// behind are removed (a killed client cannot remove them itself).
typedef struct {
    int pid;          // 0: slot free
    int64_t until_ms; // watched until then
} sim_watch;
#define SIM_WATCH_MS 3000

typedef struct sim_server {
    int listen_fd;  // -1 while closed
    char path[512]; // the endpoint's socket path
    uint64_t inode; // the socket file's inode (removed only if still ours)
    uint32_t msg;   // the message number of "FsasmLib:IPC"
    // Carries out one block named name: the reply (1 done, 0 refused), SIM_NO_REPLY or
    // SIM_HANG_UP. NULL: sim_carry_out.
    int (*carry_out)(const char *name, uint8_t *block, size_t size);
    unsigned long requests; // request frames received
    int clients_connected;  // connections open now
    sim_client clients[SIM_SERVER_CLIENTS];
    sim_watch watches[SIM_SERVER_CLIENTS];
    uint8_t block[SIM_BLOCK_MAX]; // private copy of the block being carried out
} sim_server;

int sim_carry_out(const char *name, uint8_t *block, size_t size); // sim_process_block, locked
int sim_server_open(sim_server *s, const char *window_class);     // listens as that class; 0 or -1
int sim_server_poll(sim_server *s, int timeout_ms); // serves what comes within timeout_ms
void sim_server_close(sim_server *s);               // closes every connection, removes the socket
int sim_process_ended(int pid);                     // 1 when the process is gone or a zombie
int sim_remove_blocks_of(int pid);                  // removes our blocks named after pid; how many

// ---- Control verbs: `valdora-sim VERB ARGS...`, clients of the running server ----
typedef struct {
    const char *name;                  // the verb as typed
    const char *usage;                 // its arguments, for the help text
    int (*run)(int argc, char **argv); // argv[0] is the verb; returns the exit status
} sim_control_verb;
extern const sim_control_verb *const sim_control_verbs[]; // NULL-terminated, sim/control_verbs.cpp

int sim_parse_number(const char *text, uint64_t *value); // 0x-hex or decimal; 0 or -1
int sim_control_open(void);   // opens the link to the running server; 0 or -1 (told)
void sim_control_close(void); // closes it

// ---- The simulator WebSocket protocol (JSON over WebSocket at /fsuipc/) ----
#define SIM_NET_PORT 2048 // the real server's default port
typedef struct sim_net_peer sim_net_peer;
sim_net_peer *sim_net_peer_new(void);       // a new client's declared groups (none yet)
void sim_net_peer_free(sim_net_peer *peer); // forgets them
// Answers one message of a client through send (no, one or more answers).
void sim_net_handle(sim_net_peer *peer, const char *text, size_t len,
                    void (*send)(void *ctx, const char *text, size_t len), void *ctx);
int sim_net_serve(int port);    // serves the protocol on every interface at port; 0 or -1
void sim_net_stop(void);        // closes every client and stops serving
int sim_net_client_count(void); // clients connected now
// When set, every answer goes through it instead (tests make a misbehaving server of it).
extern void (*sim_net_send_hook)(void *conn, const char *text, size_t len);
