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
#define WEB_CODE_LEN 16                 // characters of the access code
extern int web_enabled;                 // 1 when the server is to run
extern int web_port;                    // TCP port the server listens on, on every interface
extern char web_code[WEB_CODE_LEN + 1]; // access code every request must carry
extern int web_renew_code;              // 1 when a new access code was asked for

int web_read_ini(const char *path);        // the switch, port and code from a file; -1 if none
int web_write_ini(const char *path);       // writes them to the file; -1 when not written
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
#define WEB_QUEUE_SIZE 16    // touches waiting for the main thread; more are dropped
#define WEB_HOLD_LEASE 400   // ms a held knob lasts without a repeat of its message
#define WEB_REPEAT_DELAY 500 // ms a held knob waits before repeating, as a held key does
int web_parse_message(const char *data, size_t len, web_msg *msg); // kind of one message
int web_queue_put(const web_msg *msg, DWORD now); // from a server thread; -1 when dropped
int web_queue_take(DWORD now, web_msg *msg);      // main thread: the next key touch; 0 if none
void web_queue_release(void);                     // lets go of a held knob (a client gone)

// ---- The published picture ----
#define WEB_DRAWING_MAX 12288                   // bytes of one drawing message at most
int web_format_drawing(char *out, size_t size); // the last drawing list as a message; its length
void web_publish(void);                         // main thread, after each picture: into the slot
int web_slot_wait(unsigned *seen, char *out, size_t size, int ms); // a newer picture, or 0
void web_slot_wake(void); // wakes every thread waiting on the slot

// ---- Server, main-thread step and the address screen ----
extern int web_running;               // 1 while the server runs
extern volatile long web_sent;        // bytes sent to browsers so far
extern volatile int web_clients;      // browsers connected now
extern const char web_page[];         // the page the server serves (HTML, CSS, JavaScript)
int web_start(int argc, char **argv); // reads the switches, starts the server, logs the URL
void web_stop(void);                  // stops the server and waits for its threads
void web_step(void);                  // main thread, once a pass: acts on the waiting touches
int web_server_start(int port);       // starts the HTTP and WebSocket server; -1 on failure
void web_server_stop(void);           // stops it, closing every connection
int web_url(char *out, size_t size);  // the panel's address with its access code
void web_address_show(void);          // F2: the address as text and QR code over the unit
int web_address_hide(void);           // 1 (and hides it) when the address was shown
int web_take_key(int code);           // typed keys first: F2 shows the address, any key hides it
void web_address_redraw(void);        // puts the address back after the unit was drawn
