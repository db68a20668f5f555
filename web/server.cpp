// The server glue: civetweb serves the page and the artwork and carries the panel's WebSocket.
// Every request must carry the access code (403 and nothing else otherwise). Each connected
// browser has a thread of its own that sends the published picture whenever it changes and a
// heartbeat when nothing changed for a while, so a browser that stops reading holds up no one
// but itself. Touches go to the touch queue; nothing here reads the program's state.
#include "web/web.h"

#include <civetweb.h>
#include <pthread.h>
#include <stdlib.h>
#include <string.h>

#define WEB_MAX_CLIENTS 16 // browsers connected at once; more are turned away
#define WEB_HEARTBEAT_MS 2000

int web_running = 0;
volatile long web_sent = 0;
volatile int web_clients = 0;

struct client {
    struct mg_connection *conn;
    pthread_t sender;
    volatile int closing;
};

static struct mg_context *ctx = NULL;
static pthread_mutex_t clients_lock = PTHREAD_MUTEX_INITIALIZER;

static void count_sent(long bytes) {
    pthread_mutex_lock(&clients_lock);
    web_sent += bytes;
    pthread_mutex_unlock(&clients_lock);
}

// The sender of one browser: the whole present picture at once, then each new one.
static void *send_pictures(void *arg) {
    struct client *c = (struct client *)arg;
    static const char heartbeat[] = "h";
    char *buf = (char *)malloc(WEB_DRAWING_MAX);
    unsigned seen = 0;
    while (buf && !c->closing) {
        int n = web_slot_wait(&seen, buf, WEB_DRAWING_MAX, WEB_HEARTBEAT_MS);
        if (c->closing)
            break;
        const char *msg = n > 0 ? buf : heartbeat;
        size_t len = n > 0 ? (size_t)n : 1;
        if (mg_websocket_write(c->conn, MG_WEBSOCKET_OPCODE_TEXT, msg, len) <= 0)
            break; // gone or not reading: its own reader closes the connection
        count_sent((long)len);
    }
    free(buf);
    return NULL;
}

static int refuse(struct mg_connection *conn) {
    mg_printf(conn, "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    return 403;
}

// Before anything else, for every request (the WebSocket's too): the access code.
static int check_code(struct mg_connection *conn) {
    const struct mg_request_info *ri = mg_get_request_info(conn);
    if (!web_query_has_code(ri->query_string))
        return refuse(conn);
    return 0;
}

// The page and the two sheets of each artwork set, by their fixed names only.
static int serve(struct mg_connection *conn, void *) {
    const char *uri = mg_get_request_info(conn)->local_uri;
    static const char *const files[][2] = {{"/face0.bmp", "vd60_rmu.bmp"},
                                           {"/face1.bmp", "vd60_rmub.bmp"},
                                           {"/pick0.bmp", "vd60_picker.bmp"},
                                           {"/pick1.bmp", "vd60_pickerb.bmp"}};
    if (strcmp(uri, "/") == 0) {
        size_t len = strlen(web_page);
        mg_printf(conn,
                  "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n"
                  "Content-Length: %u\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n",
                  (unsigned)len);
        mg_write(conn, web_page, len);
        return 200;
    }
    for (size_t i = 0; i < sizeof files / sizeof files[0]; i++) {
        if (strcmp(uri, files[i][0]) == 0) {
            mg_send_file(conn, files[i][1]);
            return 200;
        }
    }
    mg_printf(conn, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    return 404;
}

static int ws_connect(const struct mg_connection *, void *) {
    return web_clients >= WEB_MAX_CLIENTS; // non-zero turns the browser away
}

static void ws_ready(struct mg_connection *conn, void *) {
    struct client *c = (struct client *)calloc(1, sizeof *c);
    if (!c)
        return;
    c->conn = conn;
    if (pthread_create(&c->sender, NULL, send_pictures, c) != 0) {
        free(c);
        return;
    }
    mg_set_user_connection_data(conn, c);
    pthread_mutex_lock(&clients_lock);
    web_clients++;
    pthread_mutex_unlock(&clients_lock);
}

static int ws_data(struct mg_connection *, int bits, char *data, size_t len, void *) {
    int opcode = bits & 0xF;
    if (opcode == MG_WEBSOCKET_OPCODE_CONNECTION_CLOSE)
        return 0;
    if (opcode != MG_WEBSOCKET_OPCODE_TEXT && opcode != MG_WEBSOCKET_OPCODE_CONTINUATION)
        return 1; // pings and pongs: civetweb's own business; binary: not ours, ignored
    if (len > WEB_MSG_MAX)
        return 0; // no page of ours sends that: close the link
    web_msg msg;
    if (web_parse_message(data, len, &msg) != WEB_MSG_NONE)
        web_queue_put(&msg, GetTickCount());
    return 1;
}

static void ws_close(const struct mg_connection *conn, void *) {
    struct client *c = (struct client *)mg_get_user_connection_data(conn);
    if (!c)
        return;
    c->closing = 1;
    web_slot_wake();
    pthread_join(c->sender, NULL);
    free(c);
    web_queue_release(); // a knob held from a page that is gone is let go
    pthread_mutex_lock(&clients_lock);
    web_clients--;
    pthread_mutex_unlock(&clients_lock);
}

static int quiet(const struct mg_connection *, const char *) {
    return 1; // the server's own error lines are not shown
}

int web_server_start(int port) {
    char ports[16];
    snprintf(ports, sizeof ports, "%d", port);
    const char *options[] = {
        "listening_ports",      ports,   "num_threads", "24", "request_timeout_ms", "5000",
        "websocket_timeout_ms", "30000", NULL};
    struct mg_callbacks callbacks;
    memset(&callbacks, 0, sizeof callbacks);
    callbacks.begin_request = check_code;
    callbacks.log_message = quiet;
    mg_init_library(0);
    ctx = mg_start(&callbacks, NULL, options);
    if (!ctx) {
        mg_exit_library();
        return -1;
    }
    mg_set_request_handler(ctx, "/", serve, NULL);
    mg_set_websocket_handler(ctx, "/ws", ws_connect, ws_ready, ws_data, ws_close, NULL);
    web_running = 1;
    return 0;
}

void web_server_stop(void) {
    if (!ctx)
        return;
    web_running = 0;
    mg_stop(ctx); // closes every connection; their close handlers end their senders
    ctx = NULL;
    mg_exit_library();
}
