// The tablet panel's parts that need no server: the messages a browser may send (everything
// else refused), the access code and its check, valdora.ini and the command line, the touch
// queue with a held knob's lease, and the drawing list as sent.
#include "app/app.h"
#include "rmu/rmu.h"
#include "simlink/simlink.h"
#include "web/web.h"

#include <fstream>
#include <gtest/gtest.h>
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <arpa/inet.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <string>

namespace {

// 0x10000 * the kind of the message in len bytes of text + its argument.
int parse(const char *text, size_t len) {
    web_msg m = {-1, -1};
    int kind = web_parse_message(text, len, &m);
    return 0x10000 * kind + m.arg;
}

TEST(Web, EachMessageIsOneRadioKeyOrTouchAndNothingElseGetsThrough) {
    // Key codes as the keyboard reads them: scancode << 8 | character. Of "kcx" 2 bytes are read.
    // clang-format off
    const struct { const char *text; int kind, arg; } ok[] = {
        {"kc", WEB_MSG_KEY, 0x0363}, {"kv", WEB_MSG_KEY, 0x1676}, {"kb", WEB_MSG_KEY, 0x0262},
        {"kn", WEB_MSG_KEY, 0x0E6E}, {"km", WEB_MSG_KEY, 0x0D6D}, {"kk", WEB_MSG_KEY, 0x0B6B},
        {"ke", WEB_MSG_KEY, 0x0565}, {"ka", WEB_MSG_KEY, 0x0161}, {"h+", WEB_MSG_HOLD, 0x492E},
        {"h-", WEB_MSG_HOLD, 0x482C}, {"h0", WEB_MSG_RELEASE, 0}, {"p", WEB_MSG_PING, 0},
        {"r1", WEB_MSG_RADIO, 1}, {"r6", WEB_MSG_RADIO, 6}, {"s1", WEB_MSG_STANDBY, 1},
        {"s6", WEB_MSG_STANDBY, 6}, {"kcx", WEB_MSG_KEY, 0x0363}};
    // clang-format on
    for (const auto &c : ok)
        EXPECT_EQ(parse(c.text, std::min<size_t>(strlen(c.text), 2)), 0x10000 * c.kind + c.arg)
            << c.text;
    // Layout keys, t, s and letters of no key; radios out of range; near misses in length.
    for (std::string bad : std::initializer_list<std::string>{
             "", "k", "ki", "kt", "ks", "kC", "r0", "r7", "s0", "s7", "h1", "h", "pp", "P", "kc ",
             "r12", "x1", "h+h", std::string("k\0", 2)})
        EXPECT_EQ(parse(bad.data(), bad.size()), 0x10000 * WEB_MSG_NONE) << bad;
}

TEST(Web, CodesAreRandomAndWellFormedAndOnlyTheWholeCodeOpens) {
    // 80 bits: 2000 codes never meet (of 16 bits, some 30 pairs would), and every letter and
    // digit of the 32 turns up in every place.
    std::set<std::string> seen;
    std::set<char> used[16];
    for (int i = 0; i < 2000; i++) {
        char code[WEB_CODE_LEN + 1] = "";
        ASSERT_TRUE(web_make_code(code) == 0 && strlen(code) == 16 && web_code_valid(code)) << code;
        seen.insert(code);
        for (int k = 0; k < 16; k++)
            used[k].insert(code[k]);
    }
    EXPECT_EQ(seen.size(), 2000u);
    for (int k = 0; k < 16; k++)
        EXPECT_EQ(used[k].size(), 32u) << "place " << k;
    for (const char *bad : {"abcdefghijkmnpq", "abcdefghijkmnpqrs", "abcdefghijkmnpql",
                            "abcdefghijkmnpq0", "abcdefghijkmnpqo", "Abcdefghijkmnpqr"})
        EXPECT_FALSE(web_code_valid(bad)) << bad;
    strcpy(web_code, "abcdefghijkmnpqr"); // the first two open, none of the others
    int i = 0;
    for (const char *q : {"code=abcdefghijkmnpqr", "exact&code=abcdefghijkmnpqr&x", "",
                          "code=", "code=abcdefghijkmnpqs", "code=bbcdefghijkmnpqr",
                          "code=abcdefghijkmnpqrr", "xcode=abcdefghijkmnpqr", "abcdefghijkmnpqr"})
        EXPECT_EQ(web_query_has_code(q), i++ < 2) << q;
    EXPECT_FALSE(web_query_has_code(nullptr));
    web_code[0] = 0; // no code made: nothing opens, not even an empty one
    EXPECT_FALSE(web_query_has_code("code="));
}

TEST(Web, IniKeepsSwitchPortAndCodeTheCommandLineOnlyForOneRunAndTheFileIsPrivate) {
    const std::string note = "# The tablet panel: web=1 serves it at every start, at the port "
                             "below; the code\n",
                      mine = "# mine\r\nsim=ws://s\n" + std::string(1500, 'x');
    std::ofstream("test_web.ini") << "web=1\r\n"
                                  << note << "port=9123\nport=0\nport=70000\nport=80x\n"
                                  << "code=abcdefghijkmnpqr\ncode=x\n"
                                  << mine;
    chmod("test_web.ini", 0644);
    ASSERT_EQ(web_read_ini("test_web.ini"), 0);
    EXPECT_TRUE(web_enabled == 1 && web_port == 9123 && !strcmp(web_code, "abcdefghijkmnpqr"));
    // Switched on and moved for this run on the command line: the file keeps its own.
    char prog[] = "valdora", moved[] = "--web=9999";
    char *run[] = {prog, moved};
    web_ini_enabled = 0, web_parse_args(2, run);
    ASSERT_EQ(web_write_ini("test_web.ini"), 0);
    struct stat st;
    ASSERT_EQ(stat("test_web.ini", &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "the code is for the owner's eyes only";
    web_enabled = 1, web_port = 1, web_code[0] = 0;
    ASSERT_EQ(web_read_ini("test_web.ini"), 0);
    EXPECT_TRUE(web_enabled == 0 && web_port == 9123 && web_code_valid(web_code));
    std::ifstream in("test_web.ini"); // the others' lines and notes kept, the panel's own first
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text.substr(text.find("code=")),
              "code=" + std::string(web_code) + "\n" + mine + "\n");
    EXPECT_EQ(text.find(note), text.rfind(note)) << "the panel's note once";
    EXPECT_TRUE(remove("test_web.ini") == 0 && web_read_ini("test_web.ini") == -1);

    char p[] = "valdora", on[] = "--web", port[] = "--web=065535", renew[] = "--web-new-code";
    char zero[] = "--web=0", big[] = "--web=65536", junk[] = "--web=80a", other[] = "--webx";
    char *args[] = {p, other, on, port, renew};
    EXPECT_TRUE(web_parse_args(2, args) == 0 && !web_enabled && !web_renew_code);
    for (char *bad : {zero, big, junk}) { // refused: the switch and the file's port as they were
        char *one[] = {p, bad};
        EXPECT_TRUE(web_parse_args(2, one) == -1 && web_port == 9123 && !web_enabled) << bad;
    }
    EXPECT_TRUE(web_parse_args(5, args) == 0 && web_enabled && web_port == 65535 && web_renew_code);
}

// A start: nothing made or written while the panel is off; a new code asked for is made and
// kept without switching the panel on; --web serves it for the run and leaves the file's switch.
TEST(Web, AStartMakesAndKeepsTheCodeAndServesOnlyWhenSwitchedOn) {
    char dir[] = "/tmp/test_web_XXXXXX", prog[] = "valdora", renew[] = "--web-new-code";
    char on[16], *none[] = {prog}, *fresh[] = {prog, renew}, *serve[] = {prog, on};
    int probe = socket(AF_INET, SOCK_STREAM, 0); // a port free now: the system's pick
    struct sockaddr_in at = {};
    socklen_t len = sizeof at;
    at.sin_family = AF_INET;
    bind(probe, (struct sockaddr *)&at, len), getsockname(probe, (struct sockaddr *)&at, &len);
    snprintf(on, sizeof on, "--web=%d", ntohs(at.sin_port)), close(probe);
    ASSERT_TRUE(mkdtemp(dir) && chdir(dir) == 0);
    web_enabled = web_ini_enabled = web_renew_code = 0, web_code[0] = 0;
    EXPECT_TRUE(web_start(1, none) == 0 && !web_running && web_read_ini("valdora.ini") == -1);
    EXPECT_TRUE(web_start(2, fresh) == 0 && !web_running && web_code_valid(web_code));
    char kept[WEB_CODE_LEN + 1];
    strcpy(kept, web_code), web_code[0] = 0, web_renew_code = 0;
    EXPECT_TRUE(web_read_ini("valdora.ini") == 0 && !strcmp(web_code, kept) && !web_enabled);
    EXPECT_TRUE(web_start(2, serve) == 0 && web_running && !strcmp(web_code, kept));
    web_stop();
    EXPECT_TRUE(!web_running && web_read_ini("valdora.ini") == 0 && !web_enabled);
    EXPECT_TRUE(remove("valdora.ini") == 0 && remove("valdora.log") == 0 && chdir("/") == 0 &&
                rmdir(dir) == 0);
}

int take(DWORD now) { // the key taken, 1000 * kind + radio for a radio's touch, or 0
    web_msg m;
    return web_queue_take(now, &m) ? m.kind == WEB_MSG_KEY ? m.arg : 1000 * m.kind + m.arg : 0;
}

const web_msg up = {WEB_MSG_HOLD, RMU_KEY_STOP}, down = {WEB_MSG_HOLD, RMU_KEY_COMMA},
              let_go = {WEB_MSG_RELEASE, 0};

TEST(Web, TouchesWaitAsKeysDoTheFirstTakenAndTheRestDropped) {
    web_msg c = {WEB_MSG_KEY, RMU_KEY_C}, r = {WEB_MSG_RADIO, 5}, ping = {WEB_MSG_PING, 0};
    // Typed during one step's pause, only the first key is handled: the same for touches, from
    // one page or several (a hold's first step is a key press like any); a heartbeat is no touch;
    // a page outside the table is refused. Then the radio's touch taken, and nothing more.
    EXPECT_EQ(
        (std::vector<int>{web_queue_put(0, &r, 0), web_queue_put(0, &ping, 0),
                          web_queue_put(3, &c, 0), web_queue_put(0, &up, 0),
                          web_queue_put(WEB_MAX_CONNS, &c, 0), web_queue_put(-1, &c, 0), take(0),
                          take(0), web_queue_put(WEB_MAX_CONNS - 1, &c, 0), take(1)}),
        (std::vector<int>{0, 0, -1, -1, -1, -1, 1000 * WEB_MSG_RADIO + 5, 0, 0, RMU_KEY_C}));
    // Page 0's hold, begun though its first step was dropped, let go. (That taps on the knob, each
    // a hold let go at once, step once each, the next test's let-go and new holds prove.)
    web_queue_put(0, &let_go, 0);
}

TEST(Web, EachPagesHoldRepeatsAsAHeldKeyWhileItsLeaseIsRenewed) {
    // A new hold steps at once; the page's repeats renew the lease but do not step; 500 ms on,
    // the key repeats every 33 ms, as auto-repeat does, and repeats missed while the main thread
    // was busy are one key; 400 ms without a repeat end the hold, for good (a repeat due at that
    // very moment included). Times start near the tick count's wrap.
    const DWORD t = 0xFFFFFF00u;
    // clang-format off
    const struct { int page; const web_msg *put; DWORD at, ask; int key; } rows[] = {
        {0, &up, t, t, RMU_KEY_STOP}, {0, &up, t + 100, t + 499, 0}, {0, &up, t + 390, t + 500, RMU_KEY_STOP},
        {-1, 0, 0, t + 500, 0}, {-1, 0, 0, t + 532, 0}, {-1, 0, 0, t + 533, RMU_KEY_STOP},
        {-1, 0, 0, t + 700, RMU_KEY_STOP}, {-1, 0, 0, t + 700, 0}, {0, &up, t + 727, t + 1126, RMU_KEY_STOP},
        {-1, 0, 0, t + 1127, 0}, {-1, 0, 0, t + 1300, 0}};
    // clang-format on
    for (const auto &r : rows) {
        if (r.put)
            web_queue_put(r.page, r.put, r.at);
        EXPECT_EQ(take(r.ask), r.key) << "asked at t + " << r.ask - t;
    }

    // Two pages (the newer at the lower place): the newest hold repeats; one page's let-go or
    // departure leaves the other's.
    web_queue_put(5, &up, 1000), web_queue_put(4, &down, 1010);
    EXPECT_EQ(take(1010), RMU_KEY_STOP) << "the second first step came while the first waited";
    for (DWORD at = 1100; at <= 1600; at += 100)
        web_queue_put(5, &up, at), web_queue_put(4, &down, at);
    EXPECT_EQ(take(1600), RMU_KEY_COMMA);
    web_queue_put(4, &let_go, 1610);
    EXPECT_EQ(take(1640), RMU_KEY_STOP) << "page 5 still holds";
    web_queue_put(4, &down, 1650), web_queue_release(5);
    EXPECT_EQ(take(1650), RMU_KEY_COMMA) << "page 4 holds again: a new first step";
    EXPECT_EQ(take(1700), 0) << "page 5 gone, page 4's hold waits out its delay";
    web_queue_put(4, &down, 2000);
    EXPECT_EQ(take(2150), RMU_KEY_COMMA);
    web_queue_release(4);
    EXPECT_EQ(take(2200), 0);
    web_queue_release(-1), web_queue_release(WEB_MAX_CONNS); // outside the table: nothing
}

// Touches in the main loop's pass: with the simulator away nothing pauses, so a held knob gives
// one key a pass and the pass goes on (the wait for the simulator with it); a closed window
// takes no touch.
TEST(Web, AHeldKnobStepsOnceAPassWithTheSimulatorAwayAndNotAtAllOnceTheWindowIsClosed) {
    web_running = 1, connected = 0;
    DWORD now = GetTickCount();
    web_queue_put(6, &up, now - 600), take(now - 600), web_queue_put(6, &up, now - 300);
    web_step(); // repeats are due since 100 ms: one is taken and the call returns
    EXPECT_EQ(take(GetTickCount()), 0);
    web_queue_release(6);
    web_msg c = {WEB_MSG_KEY, RMU_KEY_C};
    loop = 0;
    web_queue_put(6, &c, now);
    web_step();
    loop = 1;
    EXPECT_EQ(take(now), RMU_KEY_C) << "left waiting for a pass that will not come";
    web_running = 0;
}

// F2 covers the unit with a white card: the QR code and the address, until the next key, which
// does nothing else; the card comes back over every picture drawn meanwhile.
TEST(Web, F2ShowsTheAddressCardUntilTheNextKeyWhichOnlyTakesItAway) {
    install_allegro(SYSTEM_NONE, &errno, atexit);
    set_color_depth(32);
    screen = create_bitmap(800, 600);
    width = 280, height = 400, gap = 10, extra_border = 0, angle = 0;
    const int beneath = makecol(0, 0, 255), white = makecol(255, 255, 255);
    auto dark = [](int x0, int y0, int x1, int y1) { // black pixels in a rectangle
        int n = 0;
        for (int y = y0; y < y1; y++)
            for (int x = x0; x < x1; x++)
                n += getpixel(screen, x, y) == makecol(0, 0, 0);
        return n;
    };
    strcpy(web_code, "abcdefghijkmnpqr"), web_port = 8060;
    for (int running : {1, 0}) {
        web_running = running, update_bg = 0;
        clear_to_color(screen, beneath);
        EXPECT_EQ(web_take_key(RMU_KEY_F2), 1);
        EXPECT_TRUE(getpixel(screen, 0, 0) == white && getpixel(screen, 569, 399) == white &&
                    getpixel(screen, 570, 0) == beneath && getpixel(screen, 0, 400) == beneath);
        EXPECT_EQ(dark(0, 0, 570, 360) > 2000, running == 1); // the QR code's modules
        EXPECT_GT(dark(0, 360, 570, 400), 100);               // the address as text
        EXPECT_EQ(dark(570, 0, 800, 600) + dark(0, 400, 570, 600), 0) << "drawn beyond the card";
        clear_to_color(screen, beneath), web_address_redraw();
        EXPECT_EQ(getpixel(screen, 0, 0), white) << "put back over a new picture";
        EXPECT_TRUE(web_take_key(RMU_KEY_C) == 1 && update_bg == 1) << "the key only hides it";
        clear_to_color(screen, beneath), web_address_redraw();
        EXPECT_EQ(getpixel(screen, 0, 0), beneath);
        EXPECT_EQ(web_take_key(RMU_KEY_C), 0);
        EXPECT_EQ(web_address_hide(), 0);
    }
    destroy_bitmap(screen);
    screen = NULL;

    // The address: http, this machine's address, the port and the code; every address shown
    // is a dotted IPv4 address (the loopback one only when there is no other).
    char url[96], hosts[WEB_HOSTS_MAX][16];
    int n = web_url(url, sizeof url);
    EXPECT_TRUE(n == (int)strlen(url) && strncmp(url, "http://", 7) == 0 &&
                strstr(url, ":8060/?code=abcdefghijkmnpqr") == url + strlen(url) - 28)
        << url;
    n = web_hosts(hosts, WEB_HOSTS_MAX);
    ASSERT_GE(n, 1);
    char lan[64]; // with a way out, only the address of its interface
    if (platform_lan_address(lan, sizeof lan) == 0) {
        EXPECT_TRUE(n == 1 && !strcmp(hosts[0], lan)) << hosts[0];
    }
    for (int i = 0; i < n; i++) {
        struct in_addr a;
        EXPECT_TRUE(inet_pton(AF_INET, hosts[i], &a) == 1 &&
                    (n == 1 || ntohl(a.s_addr) >> 24 != 127))
            << hosts[i];
    }
}

TEST(Web, TheDrawingListGoesOutWithTheExactScaleFactors) {
    width = 280, height = 400, gap = -9, blur = 1;
    x_scale_factor = 280 / 504.0f, y_scale_factor = 400 / 700.0f, rmu_op_count = 2;
    rmu_ops[0] = {RMU_SHEET_PICK, 0, 0, 1, 1, RMU_PUT_PAIR, 0, 0, 0, 0};
    rmu_ops[1] = {RMU_SHEET_FACE, 21, 526, 198, 48, RMU_PUT_DESIGN, 48, 133, 198, 48};
    char out[WEB_DRAWING_MAX];
    EXPECT_EQ(web_format_drawing(out, sizeof out), 130); // the length of the text below
    EXPECT_STREQ(out,
                 "{\"w\":280,\"h\":400,\"g\":-9,\"xs\":0.555555582,\"ys\":0.571428597,\"set\":1,"
                 "\"ops\":[[1,0,0,1,1,1,0,0,0,0],[0,21,526,198,48,0,48,133,198,48]]}");
    EXPECT_EQ(web_format_drawing(out, 40), 0) << "too small for the list: nothing, not half";
    for (rmu_op_count = 0; rmu_op_count < RMU_MAX_OPS; rmu_op_count++)
        rmu_ops[rmu_op_count] = {1, 282, 125, 27, 32, 0, 453, 392, 27, 32};
    EXPECT_GT(web_format_drawing(out, sizeof out), 0) << "the longest list fits the message";
    unsigned seen = 0;
    web_running = 0, web_publish();
    EXPECT_EQ(web_slot_take(&seen, out, sizeof out), 0) << "nothing published with the panel off";
}

} // namespace
