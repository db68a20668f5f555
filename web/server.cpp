// The tablet panel's server: one thread of its own that waits on every connection at once and
// never blocks on any of them, so no client, however slow, silent or hostile, holds up another
// or the window. Every request must carry the access code; a request without it is answered
// 403 and closed at once, its body never read. Only the page, the four artwork files and the
// panel's WebSocket are served. Memory is fixed: a table of connections, each with a buffer for
// a request's head and one for what it is being sent. Requests that do not finish in time are
// closed, and when the table or one address's share of it is full an unanswered request of the
// address holding the most gives way, so a flood of idle connections cannot keep a tablet out. Each
// panel is sent the newest picture whenever it changes and is dropped when it stops being heard or
// reading.
#include "web/web.h"

#include "simlink/simlink.h"

#include "platform/net.h"

#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define OUT_MAX (WEB_DRAWING_MAX + 16) // one framed picture, or one piece of a file

enum { FREE, REQUEST, REPLY, PANEL };

struct conn {
    int state;     // FREE, REQUEST (reading its head), REPLY (answering, then closed), PANEL
    net_socket s;  //
    uint32_t addr; // the peer's IPv4 address
    DWORD since;   // REQUEST: accepted; PANEL: since the frame in `in` began arriving
    DWORD heard;   // PANEL: when it last answered a ping
    DWORD pinged;  // PANEL: when it was last sent a ping
    DWORD moved;   // when output last moved (or was last queued)
    int in_len;    // bytes waiting in `in`
    size_t out_len, out_off;
    const char *more; // REPLY: the rest of the page to send after `out`
    size_t more_len;
    FILE *file;    // REPLY: the rest of an artwork file to send after `out`
    int closing;   // REPLY or PANEL: closed once `out` is sent
    unsigned seen; // PANEL: the last picture sent
    char in[WEB_REQUEST_MAX + 1];
    unsigned char out[OUT_MAX];
};

int web_running = 0;

static struct conn conns[WEB_MAX_CONNS];
static net_socket listener = NET_NONE, waker = NET_NONE;
static void *thread = NULL;
static pthread_mutex_t stop_lock = PTHREAD_MUTEX_INITIALIZER;
static int stopping = 0; // under stop_lock

static void drop(int i) {
    struct conn *c = &conns[i];
    net_close(c->s);
    if (c->file)
        fclose(c->file);
    if (c->state == PANEL)
        web_queue_release(i); // a knob held from a page that is gone is let go
    c->state = FREE;
    c->s = NET_NONE;
    c->file = NULL;
}

static void queue_text(struct conn *c, const char *text) {
    size_t n = strlen(text);
    memcpy(c->out, text, n);
    c->out_len = n;
    c->out_off = 0;
}

// Answers a request with a status and nothing else, and closes it once that is sent.
static void answer(struct conn *c, const char *status) {
    char text[128];
    snprintf(text, sizeof text, "HTTP/1.1 %s\r\nContent-Length: 0\r\nConnection: close\r\n\r\n",
             status);
    queue_text(c, text);
    c->state = REPLY;
    c->closing = 1;
}

// Starts a 200 answer of len bytes of type; the body follows from more or file.
static void ok_head(struct conn *c, const char *type, long len) {
    char text[256];
    snprintf(text, sizeof text,
             "HTTP/1.1 200 OK\r\nContent-Type: %s\r\nContent-Length: %ld\r\n"
             "Cache-Control: no-store\r\nConnection: close\r\n\r\n",
             type, len);
    queue_text(c, text);
    c->state = REPLY;
    c->closing = 1;
}

static void queue_frame(struct conn *c, int opcode, const void *payload, size_t len) {
    c->out_len = web_frame_make(c->out, opcode, payload, len);
    c->out_off = 0;
}

static int count_panels(void) {
    int n = 0;
    for (int i = 0; i < WEB_MAX_CONNS; i++)
        n += conns[i].state == PANEL;
    return n;
}

static void open_panel(struct conn *c, const web_request *req, DWORD now) {
    char accept[29], text[256];
    sim_net_ws_accept(req->ws_key, accept);
    snprintf(text, sizeof text,
             "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
             "Sec-WebSocket-Accept: %s\r\n\r\n",
             accept);
    queue_text(c, text);
    if (count_panels() >= WEB_MAX_CLIENTS) {
        // Opened only to be told why it is turned away: "Try Again Later" and a reason the
        // page shows; then closed.
        static const char why[] = "\x03\xf5too many panels open";
        c->out_len += web_frame_make(c->out + c->out_len, WEB_OP_CLOSE, why, sizeof why - 1);
        c->state = REPLY;
        c->closing = 1;
        return;
    }
    c->state = PANEL;
    c->closing = 0;
    c->seen = 0;
    c->heard = c->pinged = now;
    c->in_len = 0;
}

// The page and the two sheets of each artwork set, by their fixed names only.
static void serve(struct conn *c, const web_request *req, DWORD now) {
    static const char *const files[][2] = {{"/face0.bmp", "vd60_rmu.bmp"},
                                           {"/face1.bmp", "vd60_rmub.bmp"},
                                           {"/pick0.bmp", "vd60_picker.bmp"},
                                           {"/pick1.bmp", "vd60_pickerb.bmp"}};
    if (!web_query_has_code(req->query))
        return answer(c, "403 Forbidden"); // before anything else, for every request
    if (strcmp(req->method, "GET") != 0)
        return answer(c, "405 Method Not Allowed");
    if (strcmp(req->path, "/ws") == 0)
        return req->upgrade ? open_panel(c, req, now) : answer(c, "400 Bad Request");
    if (strcmp(req->path, "/") == 0) {
        ok_head(c, "text/html; charset=utf-8", (long)strlen(web_page));
        c->more = web_page;
        c->more_len = strlen(web_page);
        return;
    }
    for (size_t i = 0; i < sizeof files / sizeof files[0]; i++) {
        if (strcmp(req->path, files[i][0]) != 0)
            continue;
        FILE *f = fopen(files[i][1], "rb");
        long len = -1;
        if (f && fseek(f, 0, SEEK_END) == 0 && (len = ftell(f)) >= 0 &&
            fseek(f, 0, SEEK_SET) == 0) {
            ok_head(c, "image/bmp", len);
            c->file = f;
            return;
        }
        if (f)
            fclose(f);
        return answer(c, "404 Not Found");
    }
    answer(c, "404 Not Found");
}

// A request's bytes: once its head is whole, the answer.
static int read_request(struct conn *c, DWORD now) {
    int n = net_recv(c->s, c->in + c->in_len, WEB_REQUEST_MAX - c->in_len);
    if (n == NET_AGAIN)
        return 0;
    if (n <= 0)
        return -1;
    c->in_len += n;
    c->in[c->in_len] = 0;
    char *end = strstr(c->in, "\r\n\r\n");
    if (!end) {
        if (c->in_len == WEB_REQUEST_MAX)
            answer(c, "431 Request Header Fields Too Large");
        return 0;
    }
    end[2] = 0;
    web_request req;
    if (web_parse_request(c->in, &req) != 0)
        answer(c, "400 Bad Request");
    else
        serve(c, &req, now);
    c->moved = now;
    return 0;
}

// A panel's frames: touches to the touch queue, a ping answered, a close or a frame no page of
// ours sends ends the link.
static int read_frames(int i, DWORD now) {
    struct conn *c = &conns[i];
    int n = net_recv(c->s, c->in + c->in_len, WEB_REQUEST_MAX - c->in_len);
    if (n == NET_AGAIN)
        return 0;
    if (n <= 0)
        return -1;
    if (c->in_len == 0)
        c->since = now;
    c->in_len += n;
    for (;;) {
        web_frame f;
        unsigned char *buf = (unsigned char *)c->in;
        int r = web_frame_read(buf, (size_t)c->in_len, &f);
        if (r < 0)
            return -1;
        if (r == 0 || (size_t)c->in_len < f.head + f.len)
            return 0;
        char payload[126];
        for (size_t k = 0; k < f.len; k++)
            payload[k] = (char)(buf[f.head + k] ^ f.mask[k & 3]);
        size_t used = f.head + f.len;
        memmove(c->in, c->in + used, (size_t)c->in_len - used);
        c->in_len -= (int)used;
        c->since = now;
        if (f.opcode == WEB_OP_CLOSE)
            return -1;
        if (f.opcode == WEB_OP_PONG)
            c->heard = now; // it reads what it is sent: alive, and not deaf
        if (f.opcode == WEB_OP_PING && c->out_off == c->out_len && !c->file)
            queue_frame(c, WEB_OP_PONG, payload, f.len); // else the next heartbeat will do
        if (f.opcode == WEB_OP_TEXT || f.opcode == 0) {
            web_msg msg;
            if (web_parse_message(payload, f.len, &msg) != WEB_MSG_NONE)
                web_queue_put(i, &msg, now);
        }
    }
}

// What a connection is sent next: the rest of its output, then the rest of its page or file;
// for a panel a newer picture, or a heartbeat and a ping after a quiet while.
static void fill(struct conn *c, DWORD now) {
    if (c->out_off < c->out_len)
        return;
    c->out_off = c->out_len = 0;
    if (c->more_len > 0) {
        size_t n = c->more_len < OUT_MAX ? c->more_len : OUT_MAX;
        memcpy(c->out, c->more, n);
        c->more += n;
        c->more_len -= n;
        c->out_len = n;
    } else if (c->file) {
        c->out_len = fread(c->out, 1, OUT_MAX, c->file);
        if (c->out_len == 0) {
            fclose(c->file);
            c->file = NULL;
        }
    } else if (c->state == PANEL) {
        static char picture[WEB_DRAWING_MAX];
        int n = web_slot_take(&c->seen, picture, sizeof picture);
        if (n > 0)
            queue_frame(c, WEB_OP_TEXT, picture, (size_t)n);
        else if ((int)(now - c->moved) >= WEB_HEARTBEAT)
            queue_frame(c, WEB_OP_TEXT, "h", 1); // the page's own check wants a message
        if ((int)(now - c->heard) >= WEB_HEARTBEAT && (int)(now - c->pinged) >= WEB_HEARTBEAT) {
            // Not heard from for a while: its answer proves a live reader (a browser answers
            // pings by itself, however busy its page).
            c->out_len += web_frame_make(c->out + c->out_len, WEB_OP_PING, "", 0);
            c->pinged = now;
        }
        if (c->out_len > 0)
            c->moved = now;
    }
}

// Sends what a connection can take now; -1 when it is to be closed.
static int write_out(struct conn *c, DWORD now) {
    for (;;) {
        fill(c, now);
        if (c->out_off == c->out_len)
            return c->closing ? -1 : 0;
        int n = net_send(c->s, c->out + c->out_off, (int)(c->out_len - c->out_off));
        if (n == NET_AGAIN)
            return 0;
        if (n <= 0)
            return -1;
        c->out_off += (size_t)n;
        c->moved = now;
    }
}

static int unanswered_from(uint32_t addr) {
    int n = 0;
    for (int i = 0; i < WEB_MAX_CONNS; i++)
        n += conns[i].state == REQUEST && conns[i].addr == addr;
    return n;
}

// A new connection; when this address's share of the table is full its own oldest unanswered
// request gives way, and when the table is full the oldest of the address with the most
// unanswered requests: a flood's arrivals push out the flood, never a tablet whose request is
// still on its way.
static void take_new(DWORD now) {
    for (int round = 0; round < WEB_MAX_CONNS; round++) {
        uint32_t addr;
        net_socket s = net_accept(listener, &addr);
        if (s == NET_NONE)
            return;
        int free_slot = -1, oldest = -1, oldest_count = 0, oldest_here = -1, here = 0;
        for (int i = 0; i < WEB_MAX_CONNS; i++) {
            struct conn *c = &conns[i];
            if (c->state == FREE) {
                free_slot = free_slot < 0 ? i : free_slot;
                continue;
            }
            if (c->state != REQUEST)
                continue;
            int count = unanswered_from(c->addr);
            if (oldest < 0 || count > oldest_count ||
                (count == oldest_count && (int)(c->since - conns[oldest].since) < 0))
                oldest = i, oldest_count = count;
            if (c->addr == addr) {
                here++;
                if (oldest_here < 0 || (int)(c->since - conns[oldest_here].since) < 0)
                    oldest_here = i;
            }
        }
        int slot = free_slot;
        if (here >= WEB_PER_ADDRESS)
            drop(slot = oldest_here);
        else if (slot < 0 && oldest >= 0)
            drop(slot = oldest);
        if (slot < 0) {
            net_close(s); // every connection a panel or an answer on its way: none can give way
            continue;
        }
        struct conn *c = &conns[slot];
        c->state = REQUEST;
        c->s = s;
        c->addr = addr;
        c->since = c->moved = now;
        c->in_len = 0;
        c->out_len = c->out_off = 0;
        c->more = NULL;
        c->more_len = 0;
        c->file = NULL;
        c->closing = 0;
        // A browser sends its request with the connection: read at once, it is answered before
        // later arrivals could make it give way.
        if (read_request(c, now) < 0 || (c->state == REPLY && write_out(c, now) < 0))
            drop(slot);
    }
}

// Connections past their time: a request's head not finished, an answer or a panel's pictures
// not taken, a frame begun and not finished, a panel not heard from.
static int timed_out(const struct conn *c, DWORD now) {
    switch (c->state) {
    case REQUEST:
        return (int)(now - c->since) >= WEB_REQUEST_TIMEOUT;
    case REPLY:
        return (int)(now - c->moved) >= WEB_REQUEST_TIMEOUT;
    case PANEL:
        return (c->in_len > 0 && (int)(now - c->since) >= WEB_REQUEST_TIMEOUT) ||
               (int)(now - c->heard) >= WEB_SILENCE ||
               (c->out_off < c->out_len && (int)(now - c->moved) >= WEB_SILENCE);
    default:
        return 0;
    }
}

static int is_stopping(void) {
    pthread_mutex_lock(&stop_lock);
    int s = stopping;
    pthread_mutex_unlock(&stop_lock);
    return s;
}

static void run(void *) {
    static net_poll_entry entries[WEB_MAX_CONNS + 2];
    static int index[WEB_MAX_CONNS + 2];
    while (!is_stopping()) {
        DWORD now = GetTickCount();
        int n = 0;
        entries[n++] = {waker, NET_IN, 0};
        entries[n++] = {listener, NET_IN, 0};
        for (int i = 0; i < WEB_MAX_CONNS; i++) {
            struct conn *c = &conns[i];
            if (c->state == FREE)
                continue;
            if (c->state == PANEL)
                fill(c, now); // a new picture makes it wait to be written
            int out = c->out_off < c->out_len || c->more_len > 0 || c->file;
            // A request being answered is not read again: its body, if any, is never read.
            int in = c->state != REPLY;
            index[n] = i;
            entries[n++] = {c->s, (in ? NET_IN : 0) | (out ? NET_OUT : 0), 0};
        }
        net_poll(entries, n, 200);
        now = GetTickCount();
        if (entries[0].got) {
            char drain[64];
            while (net_recv(waker, drain, sizeof drain) > 0) {
            }
        }
        for (int e = 2; e < n; e++) {
            int i = index[e];
            struct conn *c = &conns[i];
            if (c->state == FREE)
                continue;
            int result = 0;
            if (entries[e].got & NET_IN)
                result = c->state == REQUEST ? read_request(c, now) : read_frames(i, now);
            if (result == 0 && (entries[e].got & NET_OUT || c->state != REQUEST))
                result = write_out(c, now);
            if (result < 0 || timed_out(c, now))
                drop(i);
        }
        if (entries[1].got)
            take_new(now);
    }
}

int web_server_start(int port) {
    if (net_start() != 0)
        return -1;
    listener = net_listen(port);
    waker = net_waker();
    if (listener == NET_NONE || waker == NET_NONE) {
        net_close(listener);
        net_close(waker);
        listener = waker = NET_NONE;
        net_end();
        return -1;
    }
    for (int i = 0; i < WEB_MAX_CONNS; i++)
        conns[i].state = FREE, conns[i].s = NET_NONE, conns[i].file = NULL;
    stopping = 0;
    thread = platform_thread_start(run, NULL, "web");
    if (!thread) {
        net_close(listener);
        net_close(waker);
        listener = waker = NET_NONE;
        net_end();
        return -1;
    }
    web_running = 1;
    return 0;
}

void web_server_wake(void) {
    if (web_running)
        net_wake(waker);
}

void web_server_stop(void) {
    if (!web_running)
        return;
    web_running = 0;
    pthread_mutex_lock(&stop_lock);
    stopping = 1;
    pthread_mutex_unlock(&stop_lock);
    net_wake(waker);
    platform_thread_join(thread);
    thread = NULL;
    for (int i = 0; i < WEB_MAX_CONNS; i++)
        if (conns[i].state != FREE)
            drop(i);
    net_close(listener);
    net_close(waker);
    listener = waker = NET_NONE;
    net_end();
}
