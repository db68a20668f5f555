// The network link's connection: a WebSocket client (the web server library's client side) to
// the simulator's server at sim_address. Messages arrive on the library's reader thread and
// wait in an inbox; the main thread sends a pass's messages together and takes the answers
// until the pass's closing about.read is answered, so a pass waits one round trip: the reader
// wakes the main thread's pause as each message (or the connection's end) comes.
#include "simlink/simlink.h"

#include "app/app.h"
#include "platform/ipc_transport.h"

#include <atomic>
#include <chrono>
#include <civetweb.h>
#include <deque>
#include <mutex>
#include <stdio.h>
#include <string.h>
#include <string>

DWORD sim_net_last_rtt_us = 0;

#define INBOX_MAX_BYTES (4 * SIM_NET_MESSAGE_MAX) // a server that floods us is dropped

static struct mg_connection *conn = NULL;
static std::mutex inbox_lock;
static std::deque<std::string> inbox; // whole messages, oldest first
static size_t inbox_bytes = 0;
static std::string partial;               // a message whose last fragment has not come
static int hung_up = 0;                   // the server closed the connection
static char trouble[160] = "";            // the reader's reason to give up, when it had one
static char last_logged[512] = "";        // the last failure logged (repeats are not)
static uint32_t mask_state = 0x9E3779B9u; // the frames' masks (fresh per connection)
static void *arrived = NULL;              // wakes the pass waiting for its answers

// Notes a failure in the log, naming the server, unless it is the one noted last.
static void fail(const char *why) {
    char line[512];
    snprintf(line, sizeof line, "network link to %s: %s", sim_address, why);
    if (strcmp(line, last_logged) != 0) {
        log_event("%s", line);
        snprintf(last_logged, sizeof last_logged, "%s", line);
    }
}

static int on_data(struct mg_connection *, int bits, char *data, size_t len, void *) {
    int opcode = bits & 0x0F;
    if (opcode == MG_WEBSOCKET_OPCODE_CONNECTION_CLOSE)
        return 0;
    if (opcode != MG_WEBSOCKET_OPCODE_TEXT && opcode != MG_WEBSOCKET_OPCODE_BINARY &&
        opcode != MG_WEBSOCKET_OPCODE_CONTINUATION)
        return 1; // pings and pongs
    std::lock_guard<std::mutex> hold(inbox_lock);
    if (trouble[0])
        return 0;
    if (opcode != MG_WEBSOCKET_OPCODE_CONTINUATION)
        partial.clear();
    if (partial.size() + len > SIM_NET_MESSAGE_MAX) {
        snprintf(trouble, sizeof trouble, "a message larger than %d bytes", SIM_NET_MESSAGE_MAX);
        platform_wake_give(arrived);
        return 0;
    }
    partial.append(data, len);
    if (bits & 0x80) { // the last fragment
        inbox_bytes += partial.size();
        inbox.push_back(std::move(partial));
        partial.clear();
        platform_wake_give(arrived);
        if (inbox_bytes > INBOX_MAX_BYTES) {
            snprintf(trouble, sizeof trouble, "more unasked messages than it may send");
            return 0;
        }
    }
    return 1;
}

static void on_close(const struct mg_connection *, void *) {
    std::lock_guard<std::mutex> hold(inbox_lock);
    hung_up = 1;
    platform_wake_give(arrived);
}

void sim_net_disconnect(void) {
    if (conn) {
        // The close frame first: a server that answers it ends the reader thread at once,
        // which the library otherwise notices only at its next 2 s poll (a stalled server
        // still costs that wait, once).
        mg_websocket_client_write(conn, MG_WEBSOCKET_OPCODE_CONNECTION_CLOSE, "\x03\xE8", 2);
        mg_close_connection(conn);
    }
    conn = NULL;
    std::lock_guard<std::mutex> hold(inbox_lock);
    inbox.clear();
    inbox_bytes = 0;
    partial.clear();
    hung_up = 0;
    trouble[0] = 0;
}

// An open runs on a thread of its own: the library holds a host that swallows the connection
// for 10 s and a server that never answers the upgrade for 30 s, and the main thread keeps the
// window drawn while it waits for the simulator. It waits CONNECT_WAIT_MS for the answer; a
// slower one is taken at a later try.
#define CONNECT_WAIT_MS 250
static struct {
    void *thread; // the open under way (or ended but not yet taken), or NULL
    char address[sizeof sim_address], host[sizeof sim_address];
    int port;
    struct mg_connection *conn; // what it got: a connection, or NULL and why
    char why[256];
} attempt;
static std::atomic<int> attempt_ended(0);

static void attempt_run(void *) {
    // The library's client sends no subprotocol of its own; the server wants "fsuipc", so
    // the header rides after the origin (a fixed text of ours, never the user's).
    attempt.conn = mg_connect_websocket_client(
        attempt.host, attempt.port, 0, attempt.why, sizeof attempt.why, SIM_NET_PATH,
        "http://valdora\r\nSec-WebSocket-Protocol: fsuipc", on_data, on_close, NULL);
    attempt_ended = 1;
}

int sim_net_connect(void) {
    static int library_ready = 0;
    if (!library_ready) {
        mg_init_library(0);
        arrived = platform_wake_create();
        library_ready = 1;
    }
    if (!arrived) {
        fail("out of memory");
        return -1;
    }
    sim_net_disconnect();
    char host[sizeof attempt.host];
    int port;
    if (sim_address_parse(sim_address, host, sizeof host, &port) != 0) {
        fail("not an address of the form ws://HOST[:PORT]");
        return -1;
    }
    if (!attempt.thread) {
        snprintf(attempt.address, sizeof attempt.address, "%s", sim_address);
        snprintf(attempt.host, sizeof attempt.host, "%s", host);
        attempt.port = port;
        attempt.why[0] = 0;
        attempt_ended = 0;
        attempt.thread = platform_thread_start(attempt_run, NULL, "valdora-connect");
        if (!attempt.thread) {
            fail("cannot start a connection");
            return -1;
        }
    }
    auto start = std::chrono::steady_clock::now();
    while (!attempt_ended &&
           std::chrono::steady_clock::now() - start < std::chrono::milliseconds(CONNECT_WAIT_MS))
        Sleep(1);
    if (!attempt_ended)
        return -1; // still under way
    platform_thread_join(attempt.thread);
    attempt.thread = NULL;
    if (strcmp(attempt.address, sim_address) != 0) { // an open of an address since replaced
        if (attempt.conn)
            mg_close_connection(attempt.conn);
        return sim_net_connect();
    }
    conn = attempt.conn;
    if (!conn) {
        char line[300];
        snprintf(line, sizeof line, "cannot connect (%s)",
                 attempt.why[0] ? attempt.why : "no answer");
        fail(line);
        return -1;
    }
    sim_net_forget();
    if (platform_random(&mask_state, sizeof mask_state) != 0 || mask_state == 0)
        mask_state ^= GetTickCount() | 1;
    return 0;
}

// The pass's messages, framed and masked as a client's WebSocket frames, go out together in
// one write: the library's own sender writes a frame's header and payload separately, and the
// second write of each would wait for the first's acknowledgement (tens of milliseconds).
static std::string outgoing;

static int send_text(const char *text) {
    size_t len = strlen(text);
    if (!len)
        return -1;
    outgoing.push_back((char)0x81); // the whole message in one text frame
    if (len < 126) {
        outgoing.push_back((char)(0x80 | len));
    } else if (len < 65536) {
        outgoing.push_back((char)(0x80 | 126));
        outgoing.push_back((char)(len >> 8));
        outgoing.push_back((char)len);
    } else {
        outgoing.push_back((char)(0x80 | 127));
        for (int k = 7; k >= 0; k--)
            outgoing.push_back((char)((uint64_t)len >> (8 * k)));
    }
    mask_state ^= mask_state << 13, mask_state ^= mask_state >> 17, mask_state ^= mask_state << 5;
    uint8_t mask[4] = {(uint8_t)mask_state, (uint8_t)(mask_state >> 8), (uint8_t)(mask_state >> 16),
                       (uint8_t)(mask_state >> 24)};
    outgoing.append((const char *)mask, 4);
    for (size_t i = 0; i < len; i++)
        outgoing.push_back((char)(text[i] ^ mask[i & 3]));
    return 0;
}

static int flush(void) {
    int ok = conn != NULL;
    if (ok && !outgoing.empty()) {
        mg_lock_connection(conn);
        ok = mg_write(conn, outgoing.data(), outgoing.size()) == (int)outgoing.size();
        mg_unlock_connection(conn);
    }
    outgoing.clear();
    return ok ? 0 : -1;
}

// Tells why a send failed: the reader's reason when it gave up on the connection first (it can
// end it between the send and the library's check after it), else the send's own.
static void fail_sending(void) {
    char why[160];
    {
        std::lock_guard<std::mutex> hold(inbox_lock);
        snprintf(why, sizeof why, "%s",
                 trouble[0] ? trouble
                 : hung_up  ? "the server closed the connection"
                            : "the connection broke while sending");
    }
    fail(why);
}

// The pass's offsets as group entries, in the order queued.
static sim_net_entry reads[SIM_NET_ENTRIES], writes[SIM_NET_ENTRIES];
static DWORD read_places[SIM_NET_ENTRIES];
static BYTE write_data[0x8000];
static char message[2 * SIM_NET_MESSAGE_MAX];

// Sends a group's declaration when it is new; its index or -1.
static int group_sent(char kind, const sim_net_entry *entries, int count) {
    int declared;
    int g = sim_net_group_for(kind, entries, count, &declared);
    if (g < 0) {
        fail("a pass larger than a group may hold");
        return -1;
    }
    if (declared) {
        sim_net_declare_message(g, message, sizeof message);
        if (send_text(message) != 0) {
            fail_sending();
            return -1;
        }
    }
    return g;
}

// Takes the answers until the barrier's; 0, or -1 (told).
static int take_answers(std::chrono::steady_clock::time_point start) {
    for (;;) {
        std::string m;
        int have = 0, closed, broke;
        char why[160];
        {
            std::lock_guard<std::mutex> hold(inbox_lock);
            if (!inbox.empty()) {
                m = std::move(inbox.front());
                inbox.pop_front();
                inbox_bytes -= m.size();
                have = 1;
            }
            closed = hung_up;
            broke = trouble[0] != 0;
            snprintf(why, sizeof why, "%s", trouble);
        }
        if (have) {
            char bad[200];
            int r = sim_net_take(m.data(), m.size(), bad, sizeof bad);
            if (r == SIM_NET_BARRIER)
                return 0;
            if (r == SIM_NET_BAD) {
                fail(bad);
                return -1;
            }
            continue;
        }
        if (broke) {
            fail(why);
            return -1;
        }
        if (closed) {
            fail("the server closed the connection");
            return -1;
        }
        auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now() - start)
                          .count();
        if (waited > SIM_NET_REPLY_MS) {
            fail("the server stopped answering (no answer within 2000 ms)");
            return -1;
        }
        platform_sleep_until_woken(arrived, (DWORD)(SIM_NET_REPLY_MS + 1 - waited));
    }
}

int sim_net_exchange(BYTE *block, DWORD used) {
    outgoing.clear();
    int nreads = 0, nwrites = 0;
    DWORD wbytes = 0;
    for (DWORD p = 0; p + 4 <= used;) {
        DWORD id = ipc_get32(block + p);
        if (id == 0 || p + 12 > used)
            break;
        DWORD offset = ipc_get32(block + p + 4), size = ipc_get32(block + p + 8);
        DWORD data = p + (id == 1 ? 16 : 12);
        if ((id != 1 && id != 2) || data + size > used || offset + (uint64_t)size > 0x10000) {
            fail("a request outside the simulator's offsets");
            return -1;
        }
        if (size && (nreads == SIM_NET_ENTRIES || nwrites == SIM_NET_ENTRIES)) {
            fail("a pass larger than a group may hold");
            return -1;
        }
        if (size && id == 1) {
            read_places[nreads] = data;
            reads[nreads++] = {offset, size, sim_net_type(size, NULL), 0, 0};
        } else if (size) {
            writes[nwrites++] = {offset, size, sim_net_type(size, block + data), 0, 0};
            memcpy(write_data + wbytes, block + data, size);
            wbytes += size;
        }
        p = data + size;
    }
    if (!conn) {
        fail("not connected");
        return -1;
    }
    // A start-over between the pass's two groups would forget the first while its answers
    // (the declaration's among them) are on their way: it comes before both instead.
    if (!sim_net_pass_fits(writes, nwrites, reads, nreads))
        sim_net_forget();
    auto start = std::chrono::steady_clock::now();
    int rg = -1;
    if (nwrites) {
        int wg = group_sent('w', writes, nwrites);
        if (wg < 0 || sim_net_write_message(wg, write_data, message, sizeof message) != 0 ||
            send_text(message) != 0) {
            fail("the pass's writes could not be sent");
            return -1;
        }
    }
    if (nreads) {
        rg = group_sent('r', reads, nreads);
        if (rg < 0)
            return -1;
        sim_net_read_message(rg, message, sizeof message);
        if (send_text(message) != 0) {
            fail_sending();
            return -1;
        }
    }
    sim_net_barrier_message(message, sizeof message);
    if (send_text(message) != 0 || flush() != 0) {
        fail_sending();
        return -1;
    }
    if (take_answers(start) != 0)
        return -1;
    sim_net_last_rtt_us = (DWORD)std::chrono::duration_cast<std::chrono::microseconds>(
                              std::chrono::steady_clock::now() - start)
                              .count();
    if (rg >= 0) {
        const sim_net_group *g = &sim_net_groups[rg];
        for (int i = 0; i < g->count; i++) {
            const sim_net_entry *e = &sim_net_entries[g->first + i];
            if (!e->known) {
                char why[120];
                snprintf(why, sizeof why, "the first answer left out 0x%04X", (unsigned)e->offset);
                fail(why);
                return -1;
            }
            memcpy(block + read_places[i], sim_net_cache + e->cache, e->size);
        }
    }
    last_logged[0] = 0; // the next failure is news again
    return 0;
}
