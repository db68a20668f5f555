// The tablet panel's server against raw clients on the loopback interface: the code before
// anything, refused requests closed at once, a page served among floods, WebSocket frames
// checked on their header, the panel limit with its reason, dead and stalled links dropped,
// pictures sent as soon as they are published, a closed page's hold let go, a quick stop.
#include "app/app.h"
#include "rmu/rmu.h"
#include "web/web.h"

#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <poll.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

int port;
const std::string code = "abcdefghijkmnpqr", with_code = "?code=" + code;
const std::string ok = "HTTP/1.1 200 OK\r\n";
const std::string upgrade = "Upgrade: websocket\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                            "Sec-WebSocket-Version: 13\r\n\r\n";

// A connection to the server from a loopback address of its own (127.0.0.x), sent bytes.
int dial(const std::string &bytes = "", const char *from = "127.0.0.1") {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    struct sockaddr_in a = {};
    a.sin_family = AF_INET;
    inet_pton(AF_INET, from, &a.sin_addr);
    bind(s, (struct sockaddr *)&a, sizeof a);
    a.sin_port = htons((uint16_t)port), inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
    EXPECT_EQ(connect(s, (struct sockaddr *)&a, sizeof a), 0);
    EXPECT_EQ(send(s, bytes.data(), bytes.size(), MSG_NOSIGNAL), (ssize_t)bytes.size());
    return s;
}

// What arrives within ms, up to enough bytes or until the server closes (then *closed is set).
std::string take_in(int s, int ms, bool *closed = nullptr, size_t enough = SIZE_MAX) {
    std::string got;
    bool end = false;
    for (DWORD until = GetTickCount() + ms; !end && got.size() < enough;) {
        struct pollfd p = {s, POLLIN, 0};
        char buf[65536];
        ssize_t n = 0;
        if ((int)(until - GetTickCount()) <= 0 || poll(&p, 1, (int)(until - GetTickCount())) <= 0)
            break;
        end = (n = recv(s, buf, sizeof buf, 0)) <= 0;
        got.append(buf, n > 0 ? (size_t)n : 0);
    }
    if (closed)
        *closed = end;
    return got;
}

long long closes_after(int s, int limit) { // ms until the server closes, or -1
    DWORD t0 = GetTickCount();
    bool closed;
    take_in(s, limit, &closed);
    return closed ? (long long)(GetTickCount() - t0) : -1;
}

std::string get(const std::string &target, const char *from = "127.0.0.1") {
    int s = dial("GET " + target + " HTTP/1.1\r\nHost: x\r\n\r\n", from);
    std::string reply = take_in(s, 3000);
    close(s);
    return reply;
}

// A masked client frame (a zero mask leaves the payload as it is), claiming its length or more
// in the shortest of the three forms of length.
std::string frame(int opcode, const std::string &payload, uint64_t claimed = 0) {
    uint64_t len = claimed ? claimed : payload.size();
    char field = (char)(len < 126 ? len : len < 65536 ? 126 : 127);
    std::string f = {(char)(0x80 | opcode), (char)(0x80 | field)};
    for (int i = len < 65536 ? 1 : 7; len >= 126 && i >= 0; i--)
        f += (char)(len >> (8 * i));
    return f + std::string(4, '\0') + payload;
}

int panel(std::string *reply = nullptr) { // a WebSocket opened with the code; its answer
    int s = dial("GET /ws" + with_code + " HTTP/1.1\r\n" + upgrade);
    std::string r = take_in(s, 2000, nullptr, 129);
    if (reply)
        *reply = r;
    return s;
}

class WebServer : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(chdir(VALDORA_RUN_DIR), 0); // the artwork files
        strcpy(web_code, code.c_str());
        for (int i = 0; i < 20; i++)
            if (web_server_start(port = 20000 + (getpid() * 7919 + i * 104729) % 20000) == 0)
                return;
        FAIL() << "no port";
    }
    static void TearDownTestSuite() {
        web_server_stop();
    }
};

TEST_F(WebServer, OnlyTheCodeOpensThePageAndTheArtworkAndTheRefusedAreClosedAtOnce) {
    EXPECT_EQ(get("/" + with_code).rfind(ok, 0), 0u);
    std::string art = get("/face0.bmp" + with_code);
    EXPECT_EQ(art.rfind(ok, 0), 0u);
    size_t body = art.find("\r\n\r\nBM") + 4, said = art.find("Content-Length: ") + 16;
    ASSERT_TRUE(body > 4 && said > 16) << "the bitmap itself follows, its length said";
    EXPECT_EQ(std::to_string(art.size() - body), art.substr(said, art.find('\r', said) - said));
    for (const char *target : {"/", "/face0.bmp", "/pick1.bmp", "/ws", "/?code=abcdefghijkmnpqs",
                               "/face1.bmp?code=bbcdefghijkmnpqr"})
        EXPECT_EQ(get(target), "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\nConnection: "
                               "close\r\n\r\n")
            << target;
    EXPECT_EQ(get("/vd60_rmu.ini" + with_code).rfind("HTTP/1.1 404", 0), 0u);
    EXPECT_EQ(get("/../vd60_rmu.bmp" + with_code).rfind("HTTP/1.1 404", 0), 0u);
    // A refused request that goes on sending its body is closed at once, not read; heads too
    // long, or not HTTP at all, are answered and closed.
    int s = dial("POST /?x HTTP/1.1\r\nContent-Length: 1000000\r\n\r\nabc");
    long long t = closes_after(s, 3000);
    EXPECT_TRUE(t >= 0 && t < 500) << t;
    close(s);
    EXPECT_EQ(get("/?" + std::string(3000, 'a')).rfind("HTTP/1.1 431", 0), 0u);
    s = dial("\xff\xff\xff\r\n\r\n");
    EXPECT_EQ(take_in(s, 2000).rfind("HTTP/1.1 400", 0), 0u);
    close(s);
}

TEST_F(WebServer, APageWithTheCodeLoadsAtOnceAmongFloodsFromOtherAddresses) {
    // 200 idle connections from one address, 80 from four others (the table full), and 24
    // refused requests whose body trickles in.
    // A tablet whose request follows its connection a moment later, as over a slow Wi-Fi.
    int late = dial();
    std::vector<int> flood;
    const char *from[] = {"127.0.0.10", "127.0.0.11", "127.0.0.12", "127.0.0.13"};
    for (int i = 0; i < 280; i++) {
        flood.push_back(dial("x", i < 200 ? "127.0.0.2" : from[i % 4]));
        if (i == 32) { // the 33rd from one address: its first gives way, and only that one
            EXPECT_TRUE(closes_after(flood[0], 300) >= 0 && closes_after(flood[1], 100) < 0);
        }
    }
    for (int i = 0; i < 24; i++)
        flood.push_back(dial("POST / HTTP/1.1\r\nContent-Length: 1000\r\n\r\nx", "127.0.0.3"));
    usleep(100000);
    std::string head = "GET /" + with_code + " HTTP/1.1\r\n\r\n";
    send(late, head.data(), head.size(), MSG_NOSIGNAL);
    EXPECT_EQ(take_in(late, 1000).rfind(ok, 0), 0u) << "the flood's arrivals made it give way";
    close(late);
    for (const char *me : {"127.0.0.1", "127.0.0.2"}) { // the flood's own address too
        DWORD t0 = GetTickCount();
        EXPECT_EQ(get("/" + with_code, me).rfind(ok, 0), 0u) << me;
        EXPECT_LT(GetTickCount() - t0, 1000u);
    }
    for (int s : flood)
        close(s);
}

TEST_F(WebServer, FramesNoPageSendsEndTheLinkBeforeTheirPayloadIsRead) {
    // Claimed payloads of 1 GiB, 2^62 bytes, 126 and 9 bytes of text, 126 of a ping; unmasked;
    // reserved bits; opcodes the protocol does not define.
    std::string unmasked = frame(1, "kc"), reserved = frame(1, "kc");
    unmasked[1] &= 0x7f, reserved[0] |= 0x40;
    for (const std::string &f :
         {frame(1, "k", 1u << 30), frame(1, "k", 1ull << 62), frame(1, std::string(126, 'k')),
          frame(1, "kckckckck"), frame(9, "p", 126), unmasked, reserved, frame(3, "x"),
          frame(15, "x")}) {
        int s = panel();
        send(s, f.data(), f.size(), MSG_NOSIGNAL);
        long long t = closes_after(s, 2000);
        EXPECT_TRUE(t >= 0 && t < 500) << std::hex << (int)(uint8_t)f[0] << (int)(uint8_t)f[1];
        close(s);
    }
    // What a page may send does not end it: 8 bytes of text, a binary frame, a ping answered, a
    // held knob (renewed for 700 ms, so repeating); once the page closes, its hold is let go at
    // once.
    std::string frames = frame(1, "kckckckc") + frame(2, "abc") + frame(9, "hi"),
                hold = frame(1, "h+");
    int s = panel();
    web_msg m;
    while (web_queue_take(GetTickCount(), &m)) {
    }
    send(s, frames.data(), frames.size(), MSG_NOSIGNAL);
    bool closed;
    std::string got = take_in(s, 300, &closed);
    EXPECT_FALSE(closed);
    EXPECT_NE(got.find(std::string("\x8a\x02hi", 4)), std::string::npos) << "the pong";
    for (int i = 0; i < 7; i++, usleep(100000))
        send(s, hold.data(), hold.size(), MSG_NOSIGNAL);
    EXPECT_EQ(web_queue_take(GetTickCount(), &m), 1) << "held and repeating";
    close(s);
    usleep(100000);
    EXPECT_EQ(web_queue_take(GetTickCount(), &m), 0) << "still repeating " << m.arg;
}

TEST_F(WebServer, SixteenPanelsAtMostTheSeventeenthToldWhyAndAFreedSlotFreeAtOnce) {
    std::vector<int> open;
    for (int i = 0; i < 24; i++) // a burst: all asked before any is answered
        open.push_back(dial("GET /ws" + with_code + " HTTP/1.1\r\n" + upgrade));
    int turned_away = 0;
    for (int s : open) {
        std::string r = take_in(s, 1000, nullptr, 129);
        EXPECT_EQ(r.rfind("HTTP/1.1 101 Switching Protocols\r\n", 0), 0u);
        EXPECT_NE(r.find("Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n"),
                  std::string::npos); // the protocol's own example key and answer
        turned_away += r.find(std::string("\x88\x16\x03\xf5too many panels open", 24)) != r.npos;
    }
    EXPECT_EQ(turned_away, 8);
    for (int s : open)
        close(s);
    usleep(300000);
    std::string reply;
    int s = panel(&reply);
    EXPECT_EQ(reply.find("too many"), std::string::npos) << "the slots were freed on close";
    close(s);
}

TEST_F(WebServer, PicturesGoOutAsPublishedAndAStopEndsEveryLinkAtOnce) {
    // Each panel waits in the server's thread; a picture published from this thread wakes it.
    int a = panel(), b = panel();
    take_in(a, 200), take_in(b, 200);
    width = 280, height = 400, gap = 10, blur = 0, rmu_op_count = 0;
    int prompt = 0; // of 8, those at once rather than at the server's next round (in 0-200 ms)
    for (int k = 0; k < 8; k++, usleep(70000)) {
        DWORD t0 = GetTickCount();
        web_publish();
        for (int s : {a, b}) {
            std::string got = take_in(s, 1000, nullptr, 10);
            EXPECT_EQ(got.substr(0, 1) + got.substr(2, 8), "\x81{\"w\":280");
        }
        prompt += GetTickCount() - t0 < 60;
    }
    EXPECT_GE(prompt, 6);
    // A stop closes both links and returns at once.
    DWORD t0 = GetTickCount();
    web_server_stop();
    EXPECT_LT(GetTickCount() - t0, 200u);
    EXPECT_TRUE(closes_after(a, 500) >= 0 && closes_after(b, 500) >= 0);
    close(a), close(b);
    int busy = socket(AF_INET, SOCK_STREAM, 0); // a port another program holds: -1, nothing runs
    struct sockaddr_in at = {};
    socklen_t len = sizeof at;
    at.sin_family = AF_INET;
    bind(busy, (struct sockaddr *)&at, len), listen(busy, 1);
    getsockname(busy, (struct sockaddr *)&at, &len);
    EXPECT_TRUE(web_server_start(ntohs(at.sin_port)) == -1 && !web_running);
    close(busy);
    ASSERT_EQ(web_server_start(port), 0);
}

TEST_F(WebServer, SilentStalledAndDeafLinksAndUnfinishedRequestsAreDropped) {
    // All at once: a request never finished, a frame begun and never finished, a panel that
    // answers nothing, one that talks but never reads (so never answers a ping), and a live
    // panel that answers its pings.
    int request = dial("GET / HTTP/1.1\r\n"), stalled = panel(), silent = panel(), deaf = panel(),
        live = panel();
    send(stalled, frame(1, "kc").data(), 4, MSG_NOSIGNAL);
    send(deaf, "\x81", 1, MSG_NOSIGNAL); // its frames each end in the same send as the next begins
    int conns[] = {request, stalled, silent, deaf, live};
    long long closed_at[5] = {-1, -1, -1, -1, -1};
    unsigned pings = 0;
    std::string pending, pong = frame(10, "");
    for (DWORD t0 = GetTickCount(); GetTickCount() - t0 < 8000; usleep(20000)) {
        web_publish(); // pictures for the panels to read, or not
        send(deaf, "\x81\0\0\0\0p\x81", 7, MSG_NOSIGNAL);
        pending += take_in(live, 20);
        for (size_t p; (p = pending.find("\x89\x00", 0, 2)) != std::string::npos; pings++) {
            pending.erase(0, p + 2);
            send(live, pong.data(), pong.size(), MSG_NOSIGNAL);
        }
        for (int i = 0; i < 5; i++) { // the end seen (the deaf one's unread data left alone)
            struct pollfd p = {conns[i], POLLRDHUP, 0};
            if (closed_at[i] < 0 && poll(&p, 1, 0) > 0)
                closed_at[i] = GetTickCount() - t0;
        }
    }
    for (int i = 0; i < 4; i++) // the request and the stalled frame at 5 s, the others at 6 s
        EXPECT_TRUE(closed_at[i] >= 4500 + i / 2 * 1000 && closed_at[i] < 5500 + i / 2 * 1000)
            << i << " " << closed_at[i];
    EXPECT_EQ(closed_at[4], -1);
    EXPECT_GE(pings, 3u) << "a ping every 2 s of quiet";
    for (int s : conns)
        close(s);
}

} // namespace
