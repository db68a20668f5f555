// The tablet panel's parts that need no server: the messages a browser may send (everything
// else refused), the access code and its check, valdora.ini and the command line, the touch
// queue with a held knob's lease, and the drawing list as sent.
#include "app/app.h"
#include "rmu/rmu.h"
#include "web/web.h"

#include <fstream>
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

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
    std::set<std::string> seen;
    for (int i = 0; i < 50; i++) {
        char code[WEB_CODE_LEN + 1] = "";
        ASSERT_TRUE(web_make_code(code) == 0 && strlen(code) == 16 && web_code_valid(code)) << code;
        seen.insert(code);
    }
    EXPECT_EQ(seen.size(), 50u);
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

TEST(Web, IniKeepsSwitchPortAndCodeAndTheCommandLineChangesThem) {
    FILE *f = fopen("test_web.ini", "w");
    fputs("web=1\r\nport=9123\nport=0\nport=70000\nport=80x\ncode=abcdefghijkmnpqr\ncode=x\nsim=ws:"
          "//s",
          f);
    fclose(f);
    ASSERT_EQ(web_read_ini("test_web.ini"), 0);
    EXPECT_TRUE(web_enabled == 1 && web_port == 9123 && !strcmp(web_code, "abcdefghijkmnpqr"));
    web_enabled = 0;
    ASSERT_EQ(web_write_ini("test_web.ini"), 0);
    web_enabled = 1, web_port = 1, web_code[0] = 0;
    ASSERT_EQ(web_read_ini("test_web.ini"), 0);
    EXPECT_TRUE(web_enabled == 0 && web_port == 9123 && web_code_valid(web_code));
    std::ifstream in("test_web.ini"); // the simulator's line kept, the panel's own first
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text.substr(text.find("code=")), "code=" + std::string(web_code) + "\nsim=ws://s\n");
    EXPECT_TRUE(remove("test_web.ini") == 0 && web_read_ini("test_web.ini") == -1);

    char p[] = "valdora", on[] = "--web", port[] = "--web=65535", renew[] = "--web-new-code";
    char zero[] = "--web=0", big[] = "--web=65536", junk[] = "--web=80a", other[] = "--webx";
    char *args[] = {p, other, on, port, renew};
    EXPECT_TRUE(web_parse_args(2, args) == 0 && !web_enabled && !web_renew_code);
    EXPECT_TRUE(web_parse_args(5, args) == 0 && web_enabled && web_port == 65535 && web_renew_code);
    for (char *bad : {zero, big, junk}) {
        char *one[] = {p, bad};
        web_enabled = 0;
        EXPECT_TRUE(web_parse_args(2, one) == -1 && web_port == 65535 && !web_enabled) << bad;
    }
}

int take(DWORD now) { // the key taken, 1000 * kind + radio for a radio's touch, or 0
    web_msg m;
    return web_queue_take(now, &m) ? m.kind == WEB_MSG_KEY ? m.arg : 1000 * m.kind + m.arg : 0;
}

TEST(Web, QueueKeepsOrderDropsWhenFullAndAHeldKnobRepeatsWhileItsLeaseIsRenewed) {
    web_msg c = {WEB_MSG_KEY, RMU_KEY_C}, r = {WEB_MSG_RADIO, 5}, ping = {WEB_MSG_PING, 0},
            up = {WEB_MSG_HOLD, RMU_KEY_STOP}, down = {WEB_MSG_HOLD, RMU_KEY_COMMA},
            release = {WEB_MSG_RELEASE, 0};
    web_queue_put(&r, 0), web_queue_put(&ping, 0), web_queue_put(&c, 0);
    int first = take(0), second = take(0); // then nothing: the heartbeat is no touch
    EXPECT_TRUE(first == 1000 * WEB_MSG_RADIO + 5 && second == RMU_KEY_C && take(0) == 0);
    for (int i = 0; i < WEB_QUEUE_SIZE; i++)
        EXPECT_EQ(web_queue_put(&c, 0), 0);
    EXPECT_EQ(web_queue_put(&r, 0), -1);
    for (int i = 0; i < WEB_QUEUE_SIZE; i++)
        EXPECT_EQ(take(0), RMU_KEY_C);

    // A new hold steps at once; the page's repeats renew the lease but do not step; after the
    // repeat delay a key at every ask; 400 ms without a repeat end the hold, for good. A let-go
    // and a page gone end it at once. Times start near the tick count's wrap.
    const DWORD t = 4000000000u;
    // clang-format off
    const struct { const web_msg *put; DWORD at, ask; int key; } rows[] = {
        {&up, t, t, RMU_KEY_STOP}, {&up, t + 100, t + 499, 0}, {&up, t + 400, t + 500, RMU_KEY_STOP},
        {NULL, 0, t + 799, RMU_KEY_STOP}, {NULL, 0, t + 800, 0}, {NULL, 0, t + 700, 0},
        {&up, 0, 0, RMU_KEY_STOP}, {&down, 300, 300, RMU_KEY_COMMA}, {&down, 600, 800, RMU_KEY_COMMA},
        {&release, 800, 801, 0}, {&down, 900, 900, RMU_KEY_COMMA}};
    // clang-format on
    for (const auto &r : rows) {
        if (r.put)
            web_queue_put(r.put, r.at);
        EXPECT_EQ(take(r.ask), r.key) << "asked at " << r.ask;
    }
    web_queue_put(&down, 1300), web_queue_release(); // its page went away while it was held
    EXPECT_EQ(take(1400), 0);
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
}

} // namespace
