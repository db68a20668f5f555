// The tablet panel: a small web server inside the program that shows the RMU in any browser on
// the cockpit's network and turns touches into the keyboard's radio keys. The server's threads
// never touch the program's state: the main thread publishes each picture it draws (as its
// drawing list) into a locked slot, and takes touches from a locked queue through the keyboard's
// own key handling.
#pragma once

#include <stddef.h>

#include "platform/platform.h"

// ---- Switch, port and access code: valdora.ini and the command line ----
#define WEB_DEFAULT_PORT 8060
#define WEB_CODE_LEN 16                   // characters of the access code
extern int web_enabled;                   // 1 when the server is to run (this run)
extern int web_port;                      // TCP port the server listens on, on every interface
extern int web_ini_enabled, web_ini_port; // the switch and port as valdora.ini keeps them
extern char web_code[WEB_CODE_LEN + 1];   // access code every request must carry
extern int web_renew_code;                // 1 when a new access code was asked for

int web_read_ini(const char *path);  // the switch, port and code from a file; -1 if none
int web_write_ini(const char *path); // the file's switch and port, and the code; -1 if not written
int web_parse_args(int argc, char **argv); // --web, --web=PORT, --web-new-code; -1 on a bad one
int web_make_code(char *code);             // a new random code of WEB_CODE_LEN; -1 without one
int web_code_valid(const char *code);      // 1 when a text has the form of an access code
int web_query_has_code(const char *query); // 1 when a URL query carries the access code

// ---- Client messages and the touch queue ----
enum {               // what one message from a browser asks
    WEB_MSG_NONE,    // nothing understood: ignored
    WEB_MSG_KEY,     // one audio selector key; arg is its key code
    WEB_MSG_RADIO,   // a tap on radio arg's window (1 COM1 ... 6 ADF)
    WEB_MSG_STANDBY, // a tap on radio arg's standby row
    WEB_MSG_HOLD,    // the knob held (repeated while held); arg is the comma or stop key code
    WEB_MSG_RELEASE, // the knob let go
    WEB_MSG_PING,    // the page's heartbeat
};
typedef struct {
    int kind, arg;
} web_msg;
#define WEB_MSG_MAX 8        // longest message a browser sends; longer frames end the link
#define WEB_MAX_CONNS 64     // connections the server keeps at once (pages, requests)
#define WEB_HOLD_LEASE 400   // ms a held knob lasts without a repeat of its message
#define WEB_REPEAT_DELAY 500 // ms a held knob waits before repeating, as a held key does
#define WEB_REPEAT_EVERY 33  // ms between a held knob's repeats, as a held key's auto-repeat
int web_parse_message(const char *data, size_t len, web_msg *msg); // kind of one message
// From the server's thread: a touch of page (0 to WEB_MAX_CONNS - 1); -1 when dropped.
int web_queue_put(int page, const web_msg *msg, DWORD now);
int web_queue_take(DWORD now, web_msg *msg); // main thread: the next key touch; 0 if none
void web_queue_release(int page);            // lets go of a page's held knob (the page gone)

// ---- The published picture ----
#define WEB_DRAWING_MAX 12288                   // bytes of one drawing message at most
int web_format_drawing(char *out, size_t size); // the last drawing list as a message; its length
void web_publish(void);                         // main thread, after each picture: into the slot
// A picture newer than *seen copied into out (and *seen moved on): its length, or 0 if none.
int web_slot_take(unsigned *seen, char *out, size_t size);

// ---- Requests and WebSocket frames (the server's wire format) ----
#define WEB_REQUEST_MAX 2048 // bytes of a request's head at most; longer ones are refused
typedef struct {
    const char *method, *path, *query; // within the request's text; query "" when none
    const char *ws_key;                // Sec-WebSocket-Key, NULL when none
    int upgrade;                       // 1 when the request asks for a WebSocket (version 13)
} web_request;
// Reads a request head (ending in an empty line) in place; 0, or -1 when it is malformed.
int web_parse_request(char *head, web_request *req);
enum { WEB_OP_TEXT = 1, WEB_OP_BINARY = 2, WEB_OP_CLOSE = 8, WEB_OP_PING = 9, WEB_OP_PONG = 10 };
typedef struct {
    int opcode;       // the frame's opcode (continuation 0 as sent)
    size_t head, len; // bytes of its header, of its payload
    unsigned char mask[4];
} web_frame;
// The header of a browser's frame at the front of buf: 1 when whole, 0 when more is needed, -1
// for a frame no page of ours sends (unmasked, reserved bits, a payload over 125 bytes, a text
// over WEB_MSG_MAX) that ends the link before its payload is read.
int web_frame_read(const unsigned char *buf, size_t len, web_frame *f);
// A frame of the server's (unmasked) into out: its length (out holds len + 10 bytes).
size_t web_frame_make(unsigned char *out, int opcode, const void *payload, size_t len);

// ---- Server, main-thread step and the address screen ----
#define WEB_MAX_CLIENTS 16       // panels connected at once; more are told so and turned away
#define WEB_PER_ADDRESS 32       // unanswered requests kept from one address at once
#define WEB_REQUEST_TIMEOUT 5000 // ms a request's head or a stalled frame may take
#define WEB_HEARTBEAT 2000       // ms of quiet after which a panel is sent a heartbeat, and a ping
#define WEB_SILENCE 6000         // ms a panel may leave pings unanswered before it is dropped
extern int web_running;          // 1 while the server runs (main thread)
extern const char web_page[];    // the page the server serves (HTML, CSS, JavaScript)
int web_start(int argc, char **argv);     // reads the switches, starts the server, logs the address
void web_stop(void);                      // stops the server and waits for its thread
void web_step(void);                      // main thread, once a pass: acts on the waiting touches
int web_server_start(int port);           // starts the HTTP and WebSocket server; -1 on failure
void web_server_stop(void);               // stops it, closing every connection at once
void web_server_wake(void);               // wakes the server's thread (a new picture)
#define WEB_HOSTS_MAX 4                   // addresses of this machine shown at most
int web_hosts(char hosts[][16], int max); // this machine's addresses for a tablet; how many
int web_url(char *out, size_t size);      // the panel's (first) address with its access code
void web_address_show(void);              // F2: the address as text and QR code over the unit
int web_address_hide(void);               // 1 (and hides it) when the address was shown
int web_take_key(int code);    // typed keys first: F2 shows the address, any key hides it
void web_address_redraw(void); // puts the address back after the unit was drawn
