// The tablet panel's server against raw clients on the loopback interface: the code before
// anything, refused requests closed at once, a page served among floods, WebSocket frames
// checked on their header, the panel limit with its reason, dead and stalled links dropped,
// pictures sent as soon as they are published, a closed page's hold let go, a quick stop.
#include "app/app.h"
#include "rmu/rmu.h"
#include "web/web.h"

#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

int port;
const char code[] = "abcdefghijkmnpqr";

long long ms_now() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// A connection to the server from a loopback address of its own (127.0.0.x).
int dial(const char *from = "127.0.0.1") {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    struct sockaddr_in a = {};
    a.sin_family = AF_INET;
    inet_pton(AF_INET, from, &a.sin_addr);
    bind(s, (struct sockaddr *)&a, sizeof a);
    a.sin_port = htons((uint16_t)port);
    inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
    EXPECT_EQ(connect(s, (struct sockaddr *)&a, sizeof a), 0);
    return s;
}

void put(int s, const std::string &bytes) {
    EXPECT_EQ(send(s, bytes.data(), bytes.size(), MSG_NOSIGNAL), (ssize_t)bytes.size());
}

// What arrives within ms (or until the server closes): the bytes, and whether it closed.
std::string take_in(int s, int ms, bool *closed = nullptr, size_t enough = SIZE_MAX) {
    std::string got;
    long long end = ms_now() + ms;
    if (closed)
        *closed = false;
    while (ms_now() < end && got.size() < enough) {
        struct pollfd p = {s, POLLIN, 0};
        if (poll(&p, 1, (int)(end - ms_now())) <= 0)
            break;
        char buf[65536];
        ssize_t n = recv(s, buf, sizeof buf, 0);
        if (n <= 0) {
            if (closed)
                *closed = true;
            break;
        }
        got.append(buf, (size_t)n);
    }
    return got;
}

// ms until the server closes the connection (reading all it sends), or -1 within limit ms.
long long closes_after(int s, int limit) {
    long long t0 = ms_now();
    bool closed;
    take_in(s, limit, &closed);
    return closed ? ms_now() - t0 : -1;
}

std::string get(const std::string &target, const char *from = "127.0.0.1") {
    int s = dial(from);
    put(s, "GET " + target + " HTTP/1.1\r\nHost: x\r\n\r\n");
    std::string reply = take_in(s, 3000);
    close(s);
    return reply;
}

// A masked client frame (a zero mask leaves the payload as it is), with the length it claims.
std::string frame(int opcode, const std::string &payload, uint64_t claimed = UINT64_MAX) {
    uint64_t len = claimed == UINT64_MAX ? payload.size() : claimed;
    std::string f(1, (char)(0x80 | opcode));
    if (len < 126) {
        f += (char)(0x80 | len);
    } else if (len < 65536) {
        f += (char)(0x80 | 126), f += (char)(len >> 8), f += (char)len;
    } else {
        f += (char)(0x80 | 127);
        for (int i = 7; i >= 0; i--)
            f += (char)(len >> (8 * i));
    }
    return f + std::string(4, '\0') + payload;
}

// A panel: the WebSocket opened with the code; the socket, its opening's answer in *reply.
int panel(std::string *reply = nullptr, const char *query = nullptr) {
    int s = dial();
    put(s, std::string("GET /ws?") + (query ? query : std::string("code=") + code) +
               " HTTP/1.1\r\nHost: x\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
               "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
    std::string r = take_in(s, 2000, nullptr, 129);
    if (reply)
        *reply = r;
    return s;
}

class WebServer : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(chdir(VALDORA_RUN_DIR), 0); // the artwork files
        strcpy(web_code, code);
        for (int i = 0; i < 20; i++) {
            port = 20000 + (int)((getpid() * 7919 + i * 104729) % 20000);
            if (web_server_start(port) == 0)
                return;
        }
        FAIL() << "no port";
    }
    static void TearDownTestSuite() {
        web_server_stop();
    }
};

TEST_F(WebServer, OnlyTheCodeOpensThePageAndTheArtworkAndTheRefusedAreClosedAtOnce) {
    EXPECT_EQ(get(std::string("/?code=") + code).rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
    std::string art = get(std::string("/face0.bmp?code=") + code);
    EXPECT_EQ(art.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
    EXPECT_NE(art.find("\r\n\r\nBM"), std::string::npos) << "the bitmap itself follows";
    for (const char *target : {"/", "/face0.bmp", "/pick1.bmp", "/ws", "/?code=abcdefghijkmnpqs",
                               "/face1.bmp?code=bbcdefghijkmnpqr"})
        EXPECT_EQ(get(target), "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\nConnection: "
                               "close\r\n\r\n")
            << target;
    EXPECT_EQ(get(std::string("/vd60_rmu.ini?code=") + code).rfind("HTTP/1.1 404", 0), 0u);
    EXPECT_EQ(get(std::string("/../vd60_rmu.bmp?code=") + code).rfind("HTTP/1.1 404", 0), 0u);
    // A refused request that goes on sending its body is closed at once, not read.
    int s = dial();
    put(s, "POST /?x HTTP/1.1\r\nContent-Length: 1000000\r\n\r\nabc");
    long long t = closes_after(s, 3000);
    EXPECT_TRUE(t >= 0 && t < 500) << t;
    close(s);
    // Heads too long, or not HTTP at all, are answered and closed.
    std::string junk = get("/?" + std::string(3000, 'a'));
    EXPECT_EQ(junk.rfind("HTTP/1.1 431", 0), 0u) << junk.substr(0, 20);
    s = dial();
    put(s, "\xff\xff\xff\r\n\r\n");
    EXPECT_EQ(take_in(s, 2000).rfind("HTTP/1.1 400", 0), 0u);
    close(s);
}

TEST_F(WebServer, APageWithTheCodeLoadsAtOnceAmongFloodsFromOtherAddresses) {
    std::vector<int> flood;
    for (int i = 0; i < 200; i++) // idle connections that never send a request
        flood.push_back(dial("127.0.0.2"));
    for (int i = 0; i < 80; i++) { // and from four more: the table full
        char from[16];
        snprintf(from, sizeof from, "127.0.0.%d", 10 + i % 4);
        flood.push_back(dial(from));
    }
    for (int i = 0; i < 24; i++) { // requests whose body trickles in
        int s = dial("127.0.0.3");
        put(s, "POST / HTTP/1.1\r\nContent-Length: 1000\r\n\r\n");
        flood.push_back(s);
    }
    for (int s : flood)
        send(s, "x", 1, MSG_NOSIGNAL);
    usleep(100000);
    long long t0 = ms_now();
    std::string page = get(std::string("/?code=") + code);
    EXPECT_EQ(page.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
    EXPECT_LT(ms_now() - t0, 1000);
    // Even from the flood's own address: its oldest idle connections give way.
    t0 = ms_now();
    page = get(std::string("/?code=") + code, "127.0.0.2");
    EXPECT_EQ(page.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
    EXPECT_LT(ms_now() - t0, 1000);
    for (int s : flood)
        close(s);
}

TEST_F(WebServer, FramesNoPageSendsEndTheLinkBeforeTheirPayloadIsRead) {
    // claimed payload: 1 GiB, 2^62 bytes, 65536, 126 and 9 bytes of text; unmasked; reserved
    // bits; an opcode the protocol does not define.
    std::string unmasked = frame(1, "kc");
    unmasked[1] &= 0x7f;
    std::string reserved = frame(1, "kc");
    reserved[0] |= 0x40;
    for (const std::string &f :
         {frame(1, "k", 1u << 30), frame(1, "k", 1ull << 62), frame(2, "k", 65536),
          frame(1, std::string(126, 'k')), frame(1, "kckckckck"), frame(9, std::string(126, 'p')),
          unmasked, reserved, frame(3, "x")}) {
        int s = panel();
        put(s, f);
        long long t = closes_after(s, 2000);
        EXPECT_TRUE(t >= 0 && t < 500)
            << "first bytes " << std::hex << (int)(uint8_t)f[0] << " " << (int)(uint8_t)f[1];
        close(s);
    }
    // What a page may send does not end it: 8 bytes of text, a binary frame, a ping answered.
    int s = panel();
    put(s, frame(1, "kckckckc") + frame(2, "abc") + frame(9, "hi"));
    bool closed;
    std::string got = take_in(s, 300, &closed);
    EXPECT_FALSE(closed);
    EXPECT_NE(got.find(std::string("\x8a\x02hi", 4)), std::string::npos) << "the pong";
    close(s);
}

TEST_F(WebServer, SixteenPanelsAtMostTheSeventeenthToldWhyAndAFreedSlotFreeAtOnce) {
    std::vector<int> open;
    int opened = 0;
    std::string reply;
    for (int i = 0; i < 24; i++) { // a burst: all asked before any is answered
        int s = dial();
        put(s, std::string("GET /ws?code=") + code +
                   " HTTP/1.1\r\nUpgrade: websocket\r\nSec-WebSocket-Key: "
                   "dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
        open.push_back(s);
    }
    int turned_away = 0;
    for (int s : open) {
        bool closed;
        std::string r = take_in(s, 1000, &closed, 129);
        EXPECT_EQ(r.rfind("HTTP/1.1 101 Switching Protocols\r\n", 0), 0u);
        EXPECT_NE(r.find("Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n"),
                  std::string::npos); // the protocol's own example key and answer
        if (r.find(std::string("\x88\x16\x03\xf5too many panels open", 24)) != std::string::npos)
            turned_away++;
        else
            opened++;
    }
    EXPECT_EQ(opened, 16);
    EXPECT_EQ(turned_away, 8);
    int panels;
    long sent;
    web_server_counts(&panels, &sent);
    EXPECT_EQ(panels, 16);
    for (int s : open)
        close(s);
    usleep(300000);
    int s = panel(&reply);
    EXPECT_EQ(reply.find("too many"), std::string::npos) << "the slots were freed on close";
    web_server_counts(&panels, &sent);
    EXPECT_EQ(panels, 1);
    close(s);
}

TEST_F(WebServer, PicturesGoOutAsPublishedAndAStopEndsEveryLinkAtOnce) {
    // Each panel waits in the server's thread; a picture published from this thread wakes it.
    int a = panel(), b = panel();
    take_in(a, 200), take_in(b, 200);
    width = 280, height = 400, gap = 10, blur = 0, rmu_op_count = 0;
    long long t0 = ms_now();
    web_publish();
    std::string got = take_in(a, 1000, nullptr, 4);
    EXPECT_LT(ms_now() - t0, 100);
    EXPECT_EQ(got.substr(0, 1) + got.substr(2, 8), "\x81{\"w\":280");
    got = take_in(b, 1000, nullptr, 4);
    EXPECT_EQ(got.substr(0, 1) + got.substr(2, 8), "\x81{\"w\":280");
    // A stop closes both links and returns at once; then nothing listens.
    t0 = ms_now();
    web_server_stop();
    EXPECT_LT(ms_now() - t0, 200);
    EXPECT_GE(closes_after(a, 500), 0);
    EXPECT_GE(closes_after(b, 500), 0);
    close(a), close(b);
    ASSERT_EQ(web_server_start(port), 0);
}

TEST_F(WebServer, AClosedPagesHoldIsLetGoAtOnce) {
    int s = panel();
    web_msg m;
    while (web_queue_take(GetTickCount(), &m)) {
    }
    for (int i = 0; i < 7; i++, usleep(100000))
        put(s, frame(1, "h+"));
    EXPECT_EQ(web_queue_take(GetTickCount(), &m), 1) << "held and repeating";
    close(s);
    usleep(100000);
    EXPECT_EQ(web_queue_take(GetTickCount(), &m), 0) << "still repeating " << m.arg;
}

TEST_F(WebServer, SilentStalledAndDeafLinksAndUnfinishedRequestsAreDropped) {
    // All at once: a request never finished, a frame begun and never finished, a panel that
    // answers nothing, a panel that talks but never reads (so never answers a ping), and a
    // live panel that answers its pings.
    int request = dial(), stalled = panel(), silent = panel(), deaf = panel(), live = panel();
    put(request, "GET / HTTP/1.1\r\n");
    put(stalled, frame(1, "kc").substr(0, 4));
    long long t0 = ms_now(), request_closed = -1, stalled_closed = -1, silent_closed = -1,
              deaf_closed = -1, live_closed = -1;
    unsigned pings = 0;
    std::string pending;
    while (ms_now() - t0 < 8000) {
        web_publish(); // pictures to fill the deaf panel's buffers
        bool closed;
        for (auto [s, when] : {std::pair<int, long long *>{request, &request_closed},
                               {stalled, &stalled_closed},
                               {silent, &silent_closed}}) {
            if (*when < 0 && (take_in(s, 1, &closed), closed))
                *when = ms_now() - t0;
        }
        pending += take_in(live, 20, &closed);
        if (closed && live_closed < 0)
            live_closed = ms_now() - t0;
        for (size_t p; (p = pending.find("\x89\x00", 0, 2)) != std::string::npos;) {
            pending.erase(0, p + 2);
            put(live, frame(10, "")), pings++;
        }
        if (deaf_closed < 0) {
            send(deaf, "\x81\x81\0\0\0\0p", 7, MSG_NOSIGNAL); // heard from, never reading
            struct pollfd p = {deaf, POLLRDHUP, 0};
            if (poll(&p, 1, 0) > 0)
                deaf_closed = ms_now() - t0;
        }
        usleep(20000);
    }
    EXPECT_TRUE(request_closed >= 4500 && request_closed < 5500) << request_closed;
    EXPECT_TRUE(stalled_closed >= 4500 && stalled_closed < 5500) << stalled_closed;
    EXPECT_TRUE(silent_closed >= 5500 && silent_closed < 6500) << silent_closed;
    EXPECT_TRUE(deaf_closed >= 5500 && deaf_closed < 6500) << deaf_closed;
    EXPECT_EQ(live_closed, -1);
    EXPECT_GE(pings, 3u) << "a ping every 2 s of quiet";
    for (int s : {request, stalled, silent, deaf, live})
        close(s);
}

} // namespace
