// The tablet panel's parts that need no server: the messages a browser may send (and everything
// else refused), the access code and its check, valdora.ini and the command line, the touch
// queue with a held knob's lease, and the drawing list as sent.
#include "app/app.h"
#include "rmu/rmu.h"
#include "web/web.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <set>
#include <string>

namespace {

const char CODE[] = "abcdefghijkmnpqr";

web_msg parse(const std::string &text) {
    web_msg m = {-1, -1};
    web_parse_message(text.data(), text.size(), &m);
    return m;
}

TEST(WebMessage, EachTouchIsOneRadioKeyAndNothingElseGetsThrough) {
    // The selector keys as the keyboard reads them: scancode << 8 | character.
    const struct {
        const char *text;
        int kind, arg;
    } ok[] = {
        {"kc", WEB_MSG_KEY, 0x0363},  {"kv", WEB_MSG_KEY, 0x1676}, {"kb", WEB_MSG_KEY, 0x0262},
        {"kn", WEB_MSG_KEY, 0x0E6E},  {"km", WEB_MSG_KEY, 0x0D6D}, {"kk", WEB_MSG_KEY, 0x0B6B},
        {"ke", WEB_MSG_KEY, 0x0565},  {"ka", WEB_MSG_KEY, 0x0161}, {"h+", WEB_MSG_HOLD, 0x492E},
        {"h-", WEB_MSG_HOLD, 0x482C}, {"h0", WEB_MSG_RELEASE, 0},  {"p", WEB_MSG_PING, 0},
        {"r1", WEB_MSG_RADIO, 1},     {"r6", WEB_MSG_RADIO, 6},    {"s1", WEB_MSG_STANDBY, 1},
        {"s6", WEB_MSG_STANDBY, 6}};
    for (const auto &c : ok) {
        web_msg m = parse(c.text);
        EXPECT_EQ(m.kind, c.kind) << c.text;
        EXPECT_EQ(m.arg, c.arg) << c.text;
    }
    // Layout keys, F1, t, s and letters of no key; radios out of range; near misses in length.
    for (const char *bad : {"", "k", "ki", "kt", "ks", "kq", "kC", "r0", "r7", "s0", "s7", "h1",
                            "h", "pp", "P", "kc ", "r12", "x1", "h+h"}) {
        web_msg m = parse(bad);
        EXPECT_EQ(m.kind, WEB_MSG_NONE) << bad;
        EXPECT_EQ(m.arg, 0) << bad;
    }
    EXPECT_EQ(parse(std::string("k\0", 2)).kind, WEB_MSG_NONE);
    web_msg m;
    EXPECT_EQ(web_parse_message("kcx", 2, &m), WEB_MSG_KEY) << "only the given length is read";
}

TEST(WebCode, NewCodesAreRandomAndWellFormedAndOnlyTheWholeCodeOpens) {
    std::set<std::string> seen;
    for (int i = 0; i < 50; i++) {
        char code[WEB_CODE_LEN + 1];
        ASSERT_EQ(web_make_code(code), 0);
        EXPECT_EQ(strlen(code), 16u);
        EXPECT_TRUE(web_code_valid(code)) << code;
        seen.insert(code);
    }
    EXPECT_EQ(seen.size(), 50u);
    EXPECT_TRUE(web_code_valid(CODE));
    for (const char *bad :
         {"abcdefghijkmnpq", "abcdefghijkmnpqrs", "abcdefghijkmnpql", "abcdefghijkmnpq0",
          "abcdefghijkmnpq1", "abcdefghijkmnpqo", "Abcdefghijkmnpqr", "abcdefghijkmnpq-"})
        EXPECT_FALSE(web_code_valid(bad)) << bad;

    strcpy(web_code, CODE);
    for (const char *q : {"code=abcdefghijkmnpqr", "exact&code=abcdefghijkmnpqr",
                          "code=abcdefghijkmnpqr&exact", "code=x&code=abcdefghijkmnpqr"})
        EXPECT_TRUE(web_query_has_code(q)) << q;
    for (const char *q : {"", "code=", "code=abcdefghijkmnpqs", "code=bbcdefghijkmnpqr",
                          "code=abcdefghijkmnpqrr", "code=abcdefghijkmnpq",
                          "xcode=abcdefghijkmnpqr", "code:abcdefghijkmnpqr", "abcdefghijkmnpqr"})
        EXPECT_FALSE(web_query_has_code(q)) << q;
    EXPECT_FALSE(web_query_has_code(nullptr));
    web_code[0] = 0; // no code made: nothing opens, not even an empty one
    EXPECT_FALSE(web_query_has_code("code="));
}

TEST(WebSettings, IniKeepsSwitchPortAndCodeAndCommandLineChangesThem) {
    const char *path = "test_web_valdora.ini";
    web_enabled = 1;
    web_port = 9123;
    strcpy(web_code, CODE);
    ASSERT_EQ(web_write_ini(path), 0);
    web_enabled = 0;
    web_port = 1;
    web_code[0] = 0;
    ASSERT_EQ(web_read_ini(path), 0);
    EXPECT_EQ(web_enabled, 1);
    EXPECT_EQ(web_port, 9123);
    EXPECT_STREQ(web_code, CODE);

    // Hand-edited lines: a bad port or code is ignored, CR LF ends are fine.
    FILE *f = fopen(path, "w");
    fputs("web=0\r\nport=0\nport=70000\nport=80x\ncode=short\ncode=abcdefghijkmnpq0\n", f);
    fclose(f);
    ASSERT_EQ(web_read_ini(path), 0);
    EXPECT_EQ(web_enabled, 0);
    EXPECT_EQ(web_port, 9123);
    EXPECT_STREQ(web_code, CODE);
    remove(path);
    EXPECT_EQ(web_read_ini(path), -1);

    char prog[] = "valdora", web[] = "--web", port[] = "--web=8061", renew[] = "--web-new-code",
         zero[] = "--web=0", big[] = "--web=65536", junk[] = "--web=80a", other[] = "--webx",
         top[] = "--web=65535";
    char *plain[] = {prog, other};
    web_enabled = 0;
    web_renew_code = 0;
    EXPECT_EQ(web_parse_args(2, plain), 0);
    EXPECT_EQ(web_enabled, 0);
    char *on[] = {prog, web};
    EXPECT_EQ(web_parse_args(2, on), 0);
    EXPECT_EQ(web_enabled, 1);
    EXPECT_EQ(web_port, 9123);
    char *moved[] = {prog, port, renew};
    EXPECT_EQ(web_parse_args(3, moved), 0);
    EXPECT_EQ(web_port, 8061);
    EXPECT_EQ(web_renew_code, 1);
    for (char *bad : {zero, big, junk}) {
        char *args[] = {prog, bad};
        web_enabled = 0;
        EXPECT_EQ(web_parse_args(2, args), -1) << bad;
        EXPECT_EQ(web_port, 8061) << bad;
        EXPECT_EQ(web_enabled, 0) << bad;
    }
    char *edge[] = {prog, top};
    EXPECT_EQ(web_parse_args(2, edge), 0);
    EXPECT_EQ(web_port, 65535);
}

int take(DWORD now) {
    web_msg m;
    if (!web_queue_take(now, &m))
        return 0;
    return m.kind == WEB_MSG_KEY ? m.arg : 1000 * m.kind + m.arg;
}

TEST(WebQueue, TouchesKeepTheirOrderAndAFullQueueDropsTheRest) {
    web_msg c = {WEB_MSG_KEY, RMU_KEY_C}, r = {WEB_MSG_RADIO, 5}, s = {WEB_MSG_STANDBY, 2};
    web_msg ping = {WEB_MSG_PING, 0};
    EXPECT_EQ(web_queue_put(&r, 0), 0);
    EXPECT_EQ(web_queue_put(&ping, 0), 0);
    EXPECT_EQ(web_queue_put(&c, 0), 0);
    EXPECT_EQ(web_queue_put(&s, 0), 0);
    EXPECT_EQ(take(0), 1000 * WEB_MSG_RADIO + 5);
    EXPECT_EQ(take(0), RMU_KEY_C);
    EXPECT_EQ(take(0), 1000 * WEB_MSG_STANDBY + 2);
    EXPECT_EQ(take(0), 0) << "the heartbeat is no touch";
    for (int i = 0; i < WEB_QUEUE_SIZE; i++)
        EXPECT_EQ(web_queue_put(&c, 0), 0);
    EXPECT_EQ(web_queue_put(&r, 0), -1);
    for (int i = 0; i < WEB_QUEUE_SIZE; i++)
        EXPECT_EQ(take(0), RMU_KEY_C);
    EXPECT_EQ(take(0), 0);
}

TEST(WebQueue, HeldKnobStepsOnceThenRepeatsAfterTheDelayWhileItsLeaseIsRenewed) {
    web_msg up = {WEB_MSG_HOLD, RMU_KEY_STOP}, down = {WEB_MSG_HOLD, RMU_KEY_COMMA};
    web_msg release = {WEB_MSG_RELEASE, 0};
    const DWORD t = 4000000000u; // near the tick count's wrap
    web_queue_put(&up, t);
    EXPECT_EQ(take(t), RMU_KEY_STOP) << "a new hold steps at once";
    EXPECT_EQ(take(t + 10), 0);
    web_queue_put(&up, t + 100); // the page's repeats renew the lease, not the step
    EXPECT_EQ(take(t + 499), 0);
    web_queue_put(&up, t + 400);
    EXPECT_EQ(take(t + 500), RMU_KEY_STOP) << "after the repeat delay, a key at every ask";
    EXPECT_EQ(take(t + 500), RMU_KEY_STOP);
    EXPECT_EQ(take(t + 799), RMU_KEY_STOP);
    EXPECT_EQ(take(t + 800), 0) << "400 ms without a repeat: the hold is over";
    EXPECT_EQ(take(t + 700), 0) << "and stays over";

    web_queue_put(&up, 0);
    EXPECT_EQ(take(0), RMU_KEY_STOP);
    web_queue_put(&down, 600); // the other half: a new hold, one step at once
    EXPECT_EQ(take(600), RMU_KEY_COMMA);
    EXPECT_EQ(take(700), 0);
    web_queue_put(&down, 900);
    EXPECT_EQ(take(1100), RMU_KEY_COMMA);
    web_queue_put(&release, 1100);
    EXPECT_EQ(take(1101), 0);
    web_queue_put(&down, 1200);
    EXPECT_EQ(take(1200), RMU_KEY_COMMA);
    web_queue_release(); // its page went away
    EXPECT_EQ(take(1900), 0);
}

TEST(WebDrawing, TheDrawingListGoesOutWithTheExactScaleFactors) {
    width = 280;
    height = 400;
    gap = -9;
    blur = 1;
    x_scale_factor = 280 / 504.0f;
    y_scale_factor = 400 / 700.0f;
    rmu_op_count = 2; // as drawn, without a screen to draw on
    rmu_ops[0] = {RMU_SHEET_PICK, 0, 0, 1, 1, RMU_PUT_PAIR, 0, 0, 0, 0};
    rmu_ops[1] = {RMU_SHEET_FACE, 21, 526, 198, 48, RMU_PUT_DESIGN, 48, 133, 198, 48};
    char out[WEB_DRAWING_MAX];
    int n = web_format_drawing(out, sizeof out);
    EXPECT_STREQ(out,
                 "{\"w\":280,\"h\":400,\"g\":-9,\"xs\":0.555555582,\"ys\":0.571428597,"
                 "\"set\":1,\"ops\":[[1,0,0,1,1,1,0,0,0,0],[0,21,526,198,48,0,48,133,198,48]]}");
    EXPECT_EQ(n, (int)strlen(out));
    EXPECT_EQ(web_format_drawing(out, 40), 0) << "too small for the list: nothing, not half";
    rmu_op_count = RMU_MAX_OPS;
    for (int i = 0; i < RMU_MAX_OPS; i++)
        rmu_ops[i] = {1, 282, 125, 27, 32, 0, 453, 392, 27, 32};
    EXPECT_GT(web_format_drawing(out, sizeof out), 0) << "the longest list fits the message";
}

} // namespace
