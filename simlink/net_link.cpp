// The network link's connection: a WebSocket client of our own to the simulator's server at
// sim_address. The server's frames are judged each by its header before a byte of its payload
// is read, so no server can make the link hold more than its longest message; whole messages
// wait in an inbox. The main thread sends a pass's messages together and reads the answers off
// the socket itself until the pass's closing about.read is answered, so a pass waits one round
// trip and no other thread is woken for it. A reader thread takes over the socket only once no
// pass has read it for a while (pings answered, a close seen, while the program does not ask).
#include "simlink/simlink.h"

#include "app/app.h"
#include "platform/ipc_transport.h"
#include "platform/net.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <stdio.h>
#include <string.h>
#include <string>
#include <strings.h>

DWORD sim_net_last_rtt_us = 0;

#define INBOX_MAX_BYTES (4 * SIM_NET_MESSAGE_MAX) // a server that floods us is dropped
#define MESSAGE_KEEP_BYTES 64 // what the inbox holds for a message beside its text (empty ones too)
#define CONNECT_LIMIT_MS 10000  // a host that swallows the connection is given up after this
#define UPGRADE_LIMIT_MS 10000  // and a server that does not answer the upgrade
#define UPGRADE_ANSWER_MAX 8192 // bytes of the upgrade's answer at most
#define READER_IDLE_MS 1000     // the reader watches the socket when no pass read it this long
enum { OP_CONTINUATION = 0, OP_TEXT = 1, OP_BINARY = 2, OP_CLOSE = 8, OP_PING = 9 };

static net_socket sock = NET_NONE;
static net_socket waker = NET_NONE; // ends the reader's wait when the link closes
static std::mutex send_lock;        // one frame at a time: the pass's and the link's answers
static void *reader = NULL;
static std::atomic<int> reader_stop(0);
static std::atomic<int64_t> pass_read_ms(0); // when a pass last read the socket
// The socket's reading, by the pass waiting for its answers or else by the reader: the bytes
// come and not yet framed (at most a frame's header after each framing), the message being
// gathered, a control frame's payload, and where the frame under way stands.
static std::mutex read_lock;
static std::string got, gathering, control;
static sim_net_frame f = {0, 0, 0};
static uint64_t left = 0; // payload bytes of the frame under way still to come
static int in_frame = 0, in_message = 0;
static std::atomic<int> ended(0); // nothing more is read: closed, broken or given up
static std::mutex inbox_lock;
static std::deque<std::string> inbox; // whole messages, oldest first
static size_t inbox_bytes = 0;
static int hung_up = 0;                    // the server closed the connection
static char trouble[160] = "";             // the reader's reason to give up, when it had one
static char last_logged[512] = "";         // the last failure logged (repeats are not)
static uint32_t mask_state = 0x9E3779B9u;  // the pass's frames' masks (fresh per connection)
static uint32_t reader_mask = 0x7F4A7C15u; // the link's own answers' masks (pong, close)

// Notes a failure in the log, naming the server, unless it is the one noted last.
static void fail(const char *why) {
    char line[512];
    snprintf(line, sizeof line, "network link to %s: %s", sim_address, why);
    if (strcmp(line, last_logged) != 0) {
        log_event("%s", line);
        snprintf(last_logged, sizeof last_logged, "%s", line);
    }
}

// Adds a client's frame (masked, as the protocol wants of a client) of one whole message.
static void frame(std::string *out, int opcode, const void *payload, size_t len, uint32_t *state) {
    out->push_back((char)(0x80 | opcode));
    if (len < 126) {
        out->push_back((char)(0x80 | len));
    } else if (len < 65536) {
        out->push_back((char)(0x80 | 126));
        out->push_back((char)(len >> 8));
        out->push_back((char)len);
    } else {
        out->push_back((char)(0x80 | 127));
        for (int k = 7; k >= 0; k--)
            out->push_back((char)((uint64_t)len >> (8 * k)));
    }
    uint32_t m = *state;
    m ^= m << 13, m ^= m >> 17, m ^= m << 5;
    *state = m;
    uint8_t mask[4] = {(uint8_t)m, (uint8_t)(m >> 8), (uint8_t)(m >> 16), (uint8_t)(m >> 24)};
    out->append((const char *)mask, 4);
    for (size_t i = 0; i < len; i++)
        out->push_back((char)(((const char *)payload)[i] ^ mask[i & 3]));
}

// Sends all of data within ms; 0, or -1 when the connection broke or the server stopped taking.
static int send_all(net_socket s, const char *data, size_t len, int ms) {
    auto start = std::chrono::steady_clock::now();
    while (len) {
        int n = net_send(s, data, len > 0x10000 ? 0x10000 : (int)len);
        if (n < 0 && n != NET_AGAIN)
            return -1;
        if (n > 0) {
            data += n, len -= (size_t)n;
            continue;
        }
        int left = ms - (int)std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();
        net_poll_entry e = {s, NET_OUT, 0};
        if (left <= 0 || net_poll(&e, 1, left) == 0)
            return -1;
    }
    return 0;
}

static int64_t now_ms(void) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Sends one of the link's own frames (a pong, a close); 0 or -1.
static int reader_send(int opcode, const void *payload, size_t len) {
    std::string out;
    frame(&out, opcode, payload, len, &reader_mask);
    std::lock_guard<std::mutex> hold(send_lock);
    return send_all(sock, out.data(), out.size(), SIM_NET_REPLY_MS);
}

// The server closed the connection, or it broke: nothing more is read.
static void hang_up(void) {
    std::lock_guard<std::mutex> hold(inbox_lock);
    hung_up = 1;
    ended = 1;
}

// Ends the reading for a frame no server may send: why for the pass to log, and a close with
// code (the server is told before the link is dropped); code 0 for a server that takes nothing.
static void give_up(const char *why, int code) {
    {
        std::lock_guard<std::mutex> hold(inbox_lock);
        if (!trouble[0])
            snprintf(trouble, sizeof trouble, "%s", why);
        ended = 1;
    }
    char payload[2] = {(char)(code >> 8), (char)code};
    if (code)
        reader_send(OP_CLOSE, payload, 2);
}

// Puts a whole message into the inbox; 0, or -1 when the server sends more than it was asked.
static int deliver(std::string *message) {
    std::lock_guard<std::mutex> hold(inbox_lock);
    inbox_bytes += message->size() + MESSAGE_KEEP_BYTES;
    inbox.push_back(std::move(*message));
    message->clear();
    return inbox_bytes > INBOX_MAX_BYTES ? -1 : 0;
}

// Frames the bytes come (read_lock held): whole messages go to the inbox, pings are answered,
// a close is answered and taken as the server's hang-up, and a frame no server may send ends
// the reading. Only a header and at most one read's bytes are held beyond the message being
// gathered, which SIM_NET_MESSAGE_MAX bounds.
static void take_frames(void) {
    size_t at = 0;
    char why[160];
    while (!ended && (at < got.size() || (in_frame && left == 0))) {
        if (!in_frame) {
            int head = sim_net_frame_head((const unsigned char *)got.data() + at, got.size() - at,
                                          gathering.size(), in_message, &f, why, sizeof why);
            if (head < 0) {
                give_up(why, strstr(why, "larger") ? 1009 : 1002);
                break;
            }
            if (head == 0)
                break;
            at += (size_t)head;
            in_frame = 1, left = f.len;
            continue;
        }
        size_t n = (size_t)(left < got.size() - at ? left : got.size() - at);
        (f.opcode < 8 ? gathering : control).append(got, at, n);
        at += n, left -= n;
        if (left)
            continue;
        in_frame = 0;
        if (f.opcode == OP_PING) {
            // A server that takes not even a pong is left at the first: each of its pings would
            // otherwise hold the link for the send's whole limit.
            if (reader_send(OP_PING + 1, control.data(), control.size()) != 0)
                give_up("the server takes nothing, not even a pong", 0);
        } else if (f.opcode == OP_CLOSE) {
            reader_send(OP_CLOSE, control.data(), control.size() < 2 ? control.size() : 2);
            hang_up();
        } else if (f.opcode < 8) {
            in_message = !f.last;
            if (f.last && deliver(&gathering) != 0)
                give_up("more unasked messages than it may send", 1008);
        }
        control.clear();
    }
    got.erase(0, at);
}

// Reads what the server has sent, at most one read's worth, and frames it (read_lock held).
static void read_some(void) {
    static unsigned char buf[16384];
    if (ended)
        return;
    int n = net_recv(sock, buf, sizeof buf);
    if (n == NET_AGAIN)
        return;
    if (n <= 0)
        return hang_up();
    got.append((const char *)buf, (size_t)n);
    take_frames();
}

// The reader thread: while passes come it only waits to be told to end (the passes read their
// answers themselves); once none has read the socket for READER_IDLE_MS it reads what comes,
// so pings are answered and a close is seen while the program asks nothing.
static void reader_run(void *) {
    net_poll_entry e[2] = {{waker, NET_IN, 0}, {sock, NET_IN, 0}};
    while (!reader_stop) {
        int64_t idle = now_ms() - pass_read_ms;
        int watch = idle >= READER_IDLE_MS && !ended;
        net_poll(e, watch ? 2 : 1,
                 idle >= READER_IDLE_MS ? READER_IDLE_MS : (int)(READER_IDLE_MS - idle));
        char drain[16];
        while (e[0].got && net_recv(waker, drain, sizeof drain) > 0) {
        }
        if (!watch || !e[1].got)
            continue;
        std::lock_guard<std::mutex> hold(read_lock);
        if (now_ms() - pass_read_ms >= READER_IDLE_MS) // else a pass reads it now
            read_some();
    }
}

void sim_net_disconnect(void) {
    if (sock != NET_NONE) {
        // The close frame first, so the server lets go at once; then the reader is stopped.
        std::string bye;
        frame(&bye, OP_CLOSE, "\x03\xE8", 2, &mask_state);
        {
            std::lock_guard<std::mutex> hold(send_lock);
            send_all(sock, bye.data(), bye.size(), 0);
        }
        reader_stop = 1;
        net_wake(waker);
        platform_thread_join(reader);
        reader = NULL;
        net_close(sock);
    }
    sock = NET_NONE;
    {
        std::lock_guard<std::mutex> hold(read_lock);
        got.clear(), gathering.clear(), control.clear();
        in_frame = in_message = 0;
        left = 0;
        ended = 0;
    }
    std::lock_guard<std::mutex> hold(inbox_lock);
    inbox.clear();
    inbox_bytes = 0;
    hung_up = 0;
    trouble[0] = 0;
}

// Reads the upgrade's answer head (up to its empty line) within UPGRADE_LIMIT_MS; what came
// after it stays in *rest. 0, or -1 and why.
static int read_answer(net_socket s, std::string *head, std::string *rest, char *why, size_t size) {
    auto start = std::chrono::steady_clock::now();
    char buf[1024];
    size_t end;
    while ((end = head->find("\r\n\r\n")) == std::string::npos) {
        if (head->size() > UPGRADE_ANSWER_MAX) {
            snprintf(why, size, "an upgrade answer longer than %d bytes", UPGRADE_ANSWER_MAX);
            return -1;
        }
        int left = UPGRADE_LIMIT_MS - (int)std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now() - start)
                                          .count();
        net_poll_entry e = {s, NET_IN, 0};
        if (left <= 0 || net_poll(&e, 1, left) == 0) {
            snprintf(why, size, "no answer to the upgrade within %d ms", UPGRADE_LIMIT_MS);
            return -1;
        }
        int n = net_recv(s, buf, sizeof buf);
        if (n == 0 || (n < 0 && n != NET_AGAIN)) {
            snprintf(why, size, "the server closed the connection during the upgrade");
            return -1;
        }
        if (n > 0)
            head->append(buf, (size_t)n);
    }
    *rest = head->substr(end + 4);
    head->resize(end + 2); // each line ends in CR LF
    return 0;
}

// The value of the answer's header name (without spaces around it), or "" when absent.
static std::string header(const std::string &head, const char *name) {
    size_t n = strlen(name);
    for (size_t at = head.find("\r\n"); at != std::string::npos && at + 2 < head.size();
         at = head.find("\r\n", at + 2)) {
        size_t line = at + 2, end = head.find("\r\n", line);
        if (end - line > n && head[line + n] == ':' &&
            strncasecmp(head.c_str() + line, name, n) == 0) {
            size_t from = head.find_first_not_of(" \t", line + n + 1);
            size_t to = head.find_last_not_of(" \t", end - 1);
            return from == std::string::npos || from > to ? "" : head.substr(from, to + 1 - from);
        }
    }
    return "";
}

// Asks the server to take the connection as a WebSocket of the fsuipc protocol, and checks its
// answer: 101, an upgrade to a WebSocket, the accept key for our key, and no protocol other
// than the one asked for. 0, or -1 and why.
static int upgrade(net_socket s, const char *host, int port, std::string *rest, char *why,
                   size_t size) {
    unsigned char nonce[16];
    if (platform_random(nonce, sizeof nonce) != 0) {
        uint32_t m = GetTickCount() | 1;
        for (size_t i = 0; i < sizeof nonce; i++)
            m ^= m << 13, m ^= m >> 17, m ^= m << 5, nonce[i] = (unsigned char)m;
    }
    char key[25], accept[29], request[512];
    sim_net_base64(nonce, sizeof nonce, key);
    sim_net_ws_accept(key, accept);
    int n = snprintf(request, sizeof request,
                     "GET %s HTTP/1.1\r\nHost: %s%s%s:%d\r\nUpgrade: websocket\r\n"
                     "Connection: Upgrade\r\nSec-WebSocket-Key: %s\r\n"
                     "Sec-WebSocket-Version: 13\r\nSec-WebSocket-Protocol: fsuipc\r\n"
                     "Origin: http://valdora\r\n\r\n",
                     SIM_NET_PATH, strchr(host, ':') ? "[" : "", host, strchr(host, ':') ? "]" : "",
                     port, key);
    if (n <= 0 || n >= (int)sizeof request || send_all(s, request, (size_t)n, UPGRADE_LIMIT_MS)) {
        snprintf(why, size, "the upgrade could not be sent");
        return -1;
    }
    std::string head;
    if (read_answer(s, &head, rest, why, size) != 0)
        return -1;
    int status = 0;
    if (sscanf(head.c_str(), "HTTP/1.%*1[01] %3d", &status) != 1 || status != 101) {
        std::string first = head.substr(0, head.find("\r\n")).substr(0, 60);
        for (char &c : first)
            if ((unsigned char)c < 32 || (unsigned char)c > 126)
                c = '?'; // the log gets no control characters from a server
        snprintf(why, size, "the server refused the upgrade: %s", first.c_str());
        return -1;
    }
    if (strcasecmp(header(head, "Upgrade").c_str(), "websocket") != 0) {
        snprintf(why, size, "the server's answer is no upgrade to a WebSocket");
        return -1;
    }
    if (header(head, "Sec-WebSocket-Accept") != accept) {
        snprintf(why, size, "the server's answer has the wrong accept key");
        return -1;
    }
    std::string protocol = header(head, "Sec-WebSocket-Protocol");
    if (!protocol.empty() && protocol != "fsuipc") { // none is taken as the one asked for
        snprintf(why, size, "the server speaks another protocol than fsuipc");
        return -1;
    }
    return 0;
}

// An open runs on a thread of its own: a host that swallows the connection or a server that
// never answers the upgrade holds it for seconds, and the main thread keeps the window drawn
// while it waits for the simulator. It waits CONNECT_WAIT_MS for the answer; a slower one is
// taken at a later try.
#define CONNECT_WAIT_MS 250
static struct {
    void *thread; // the open under way (or ended but not yet taken), or NULL
    char address[sizeof sim_address], host[sizeof sim_address];
    int port;
    net_socket sock; // what it got: a connection, or NET_NONE and why
    std::string rest;
    char why[256];
} attempt;
static std::atomic<int> attempt_ended(0);

static void attempt_run(void *) {
    attempt.sock =
        net_connect(attempt.host, attempt.port, CONNECT_LIMIT_MS, attempt.why, sizeof attempt.why);
    if (attempt.sock != NET_NONE && upgrade(attempt.sock, attempt.host, attempt.port, &attempt.rest,
                                            attempt.why, sizeof attempt.why)) {
        net_close(attempt.sock);
        attempt.sock = NET_NONE;
    }
    attempt_ended = 1;
}

int sim_net_connect(void) {
    static int sockets_ready = 0;
    if (!sockets_ready) {
        if (net_start() != 0) {
            fail("cannot start the system's sockets");
            return -1;
        }
        waker = net_waker();
        sockets_ready = 1;
    }
    if (waker == NET_NONE) {
        fail("cannot make the reader's wake-up socket");
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
        attempt.rest.clear();
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
        net_close(attempt.sock);
        return sim_net_connect();
    }
    if (attempt.sock == NET_NONE) {
        char line[300];
        snprintf(line, sizeof line, "cannot connect (%s)",
                 attempt.why[0] ? attempt.why : "no answer");
        fail(line);
        return -1;
    }
    sim_net_forget();
    if (platform_random(&mask_state, sizeof mask_state) != 0 || mask_state == 0)
        mask_state ^= GetTickCount() | 1;
    reader_mask = mask_state * 2654435761u | 1;
    sock = attempt.sock;
    {
        std::lock_guard<std::mutex> hold(read_lock); // the server's first frames, come early
        got = std::move(attempt.rest);
        take_frames();
    }
    pass_read_ms = now_ms(); // the open's passes follow at once
    reader_stop = 0;
    reader = platform_thread_start(reader_run, NULL, "valdora-net-reader");
    if (!reader) {
        net_close(sock);
        sock = NET_NONE;
        fail("cannot start the connection's reader");
        return -1;
    }
    return 0;
}

// The pass's messages, framed and masked as a client's WebSocket frames, go out together in
// one write: a frame's header and payload written apart would make the second wait for the
// first's acknowledgement (tens of milliseconds).
static std::string outgoing;

static int send_text(const char *text) {
    size_t len = strlen(text);
    if (!len)
        return -1;
    frame(&outgoing, OP_TEXT, text, len, &mask_state); // the whole message in one text frame
    return 0;
}

static int flush(void) {
    int ok = sock != NET_NONE;
    if (ok && !outgoing.empty()) {
        std::lock_guard<std::mutex> hold(send_lock);
        ok = send_all(sock, outgoing.data(), outgoing.size(), SIM_NET_REPLY_MS) == 0;
    }
    outgoing.clear();
    return ok ? 0 : -1;
}

// Tells why a send failed: the reader's reason when it gave up on the connection first (it can
// end it while the pass is still sending), else the send's own.
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

// Takes the answers until the barrier's, reading them off the socket; 0, or -1 (told).
static int take_answers(std::chrono::steady_clock::time_point start) {
    std::lock_guard<std::mutex> reading(read_lock); // the reader keeps off while the pass waits
    for (;;) {
        std::string m;
        int have = 0, closed, broke;
        char why[160];
        {
            std::lock_guard<std::mutex> hold(inbox_lock);
            if (!inbox.empty()) {
                m = std::move(inbox.front());
                inbox.pop_front();
                inbox_bytes -= m.size() + MESSAGE_KEEP_BYTES;
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
        net_poll_entry e = {sock, NET_IN, 0};
        if (net_poll(&e, 1, (int)(SIM_NET_REPLY_MS + 1 - waited)) > 0)
            read_some();
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
    if (sock == NET_NONE) {
        fail("not connected");
        return -1;
    }
    // A start-over between the pass's two groups would forget the first while its answers
    // (the declaration's among them) are on their way: it comes before both instead.
    if (!sim_net_pass_fits(writes, nwrites, reads, nreads))
        sim_net_forget();
    auto start = std::chrono::steady_clock::now();
    pass_read_ms = now_ms(); // before the answers come: a watching reader leaves them to the pass
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
