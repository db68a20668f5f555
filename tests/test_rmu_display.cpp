// The drawn RMU, read back off the screen. A test sheet gives every picker item a colour of its
// own, so one pixel tells which glyph, lamp or banner covers a point; at 504 x 700 design and
// screen coordinates are the same, so each item is probed at its corners. Then: the picture is
// pushed only when what it shows changed, and the screen always equals an unconditional draw.
#include "app/app.h"
#include "rmu/rmu.h"
#include "simlink/simlink.h"
#include "tests/support/testsim.h"

#include <gtest/gtest.h>

#include <string.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

namespace {

const int BENEATH = 0x0000FF; // what the screen holds before the RMU is put on it
const int LAMP[8][8] = {      // unlit and lit source, design place, unlit and lit width
    {22, 183, 169, 183, 40, 560, 98, 98},  {22, 225, 169, 224, 155, 560, 102, 102},
    {30, 266, 177, 266, 275, 560, 85, 85}, {30, 309, 177, 309, 380, 560, 88, 90},
    {25, 351, 172, 351, 42, 630, 96, 96},  {28, 393, 176, 393, 160, 630, 88, 88},
    {32, 435, 179, 435, 279, 630, 78, 78}, {32, 477, 179, 477, 388, 630, 72, 72}};
const int EDIT_AT[6][2] = {{48, 133}, {262, 133}, {48, 292}, {262, 292}, {48, 385}, {262, 385}};

// Each item in its own red and green (blue 200, diagonal stripes of blue 100).
void paint(BITMAP *b, int x, int y, int w, int h, int r, int g) {
    for (int j = 0; j < h; j++)
        for (int i = 0; i < w; i++)
            putpixel(b, x + i, y + j, makecol(r, g, (i + 2 * j) % 7 ? 200 : 100));
}
BITMAP *test_sheet(int fill) {
    BITMAP *b = create_bitmap(560, 600);
    clear_to_color(b, makecol(250, 250, 250));
    const int rows[3] = {17, 72, 125};
    for (int row = 0; row < 3; row++)
        for (int d = 0; d < 11; d++)
            paint(b, 12 + 27 * d, rows[row], 27, 32, 20 + 20 * d, 40 + 70 * row);
    paint(b, 21, 526, 198, 48, 250, 200);  // highlight
    paint(b, 228, 534, 314, 30, 250, 120); // link-down banner
    paint(b, 288, 386, 246, 88, 250, 60);  // boards-starting banner
    for (int i = 0; i < 8; i++) {
        paint(b, LAMP[i][0], LAMP[i][1], LAMP[i][6], 40, 100 + 10 * i, 20);
        paint(b, LAMP[i][2], LAMP[i][3], LAMP[i][7], 40, 100 + 10 * i, 250);
    }
    putpixel(b, 0, 0, fill);
    return b;
}

// What covers screen pixel (x, y): a glyph "a5" (active, standby or ADF style; '.' for the
// point), "H" highlight, "link" or "boards" banner, "U3"/"L3" lamp 3 unlit/lit, "face", "fill"
// or "beneath".
std::string what(int x, int y) {
    int c = getpixel(screen, x, y), r = getr(c), g = getg(c), d = (r - 20) / 20;
    if (c == BENEATH || getb(c) == 60)
        return c == BENEATH ? "beneath" : "face";
    if (r == 20 && g == 20)
        return "fill";
    if (r == 250)
        return g == 200 ? "H" : g == 120 ? "link" : g == 60 ? "boards" : "?";
    if ((g == 20 || g == 250) && r >= 100)
        return (g == 250 ? "L" : "U") + std::to_string((r - 100) / 10);
    if ((g - 40) % 70 || (r - 20) % 20)
        return "?";
    return std::string(1, "asf"[(g - 40) / 70]) + (d == 10 ? '.' : (char)('0' + d));
}
std::string at(int face, int dx, int dy) { // a design point of a face at full scale
    return what(face * (504 + gap) + dx, dy);
}
// The design rectangle shows the item at its inner corners and, with edges, not just outside.
void expect_rect(int face, int x, int y, int w, int h, const std::string &item, bool edges) {
    const int in[2][2] = {{x, y}, {x + w - 1, y + h - 1}};
    const int out[4][2] = {{x - 1, y}, {x, y - 1}, {x + w, y + h - 1}, {x + w - 1, y + h}};
    for (auto &p : in)
        EXPECT_EQ(at(face, p[0], p[1]), item) << p[0] << "," << p[1] << " face " << face;
    for (int i = 0; edges && i < 4; i++)
        EXPECT_NE(at(face, out[i][0], out[i][1]), item) << x << "," << y << " side " << i;
}
void expect_text(int face, int x0, int y, char style, const char *text) { // 27 x 32 cells
    for (int n = 0; text[n]; n++)
        expect_rect(face, x0 + 27 * n, y, 27, 32, std::string(1, style) + text[n], false);
}

class RmuDisplay : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        install_allegro(SYSTEM_NONE, &errno, atexit);
        set_color_depth(32);
        set_color_conversion(COLORCONV_TOTAL);
    }
    void SetUp() override {
        testsleep_record();
        disp = create_bitmap(504, 700);
        clear_to_color(disp, makecol(9, 9, 60));
        pick = test_sheet(makecol(20, 20, 20));
        screen = create_bitmap(1300, 1000);
        clear_to_color(screen, BENEATH);
        rmu_force_push(); // a new screen
        layout(504, 700, 75, 0, 0);
        connected = electrics = loop = rmu_edit = 1;
        about_to_init_k8055 = 0;
        const char *texts[] = {"121.575", "118.025", "109.350", "108.150", "136.975",
                               "123.450", "117.950", "1a9.f50", "7654",    "0234.5"};
        char *to[] = {com1_disp1, com1_disp2, nav1_disp1, nav1_disp2, com2_disp1,
                      com2_disp2, nav2_disp1, nav2_disp2, xpndr_disp, adf_disp};
        for (int i = 0; i < 10; i++)
            strcpy(to[i], texts[i]);
        rmu_decode_selectors(0xA1); // COM1, both COMs, ADF1
    }
    void TearDown() override {
        for (BITMAP **b : {&scrat, &screen, &disp, &pick, &bg})
            if (*b)
                destroy_bitmap(*b), *b = NULL;
        testsleep_real();
    }
    void layout(int w, int h, int g, int border, int turn) {
        width = w, height = h, gap = g, extra_border = border, angle = turn;
        x_scale_factor = width / 504.0f;
        y_scale_factor = height / 700.0f;
        if (scrat)
            destroy_bitmap(scrat);
        scrat = create_bitmap(2 * width + gap, height);
    }
};

TEST_F(RmuDisplay, EveryItemAtItsDesignRectangleOnBothFaces) {
    for (int k = 1; k <= 7; k++) {
        rmu_edit = k;
        rmu_decode_selectors(k % 2 ? 0xA1 : 0x5E); // COM1, both, ADF1; or the other five
        rmu_display();
        for (int face = 0; face < 2; face++) {
            expect_text(face, 53, 72, 'a', "121.575");
            expect_text(face, 53, 140, 's', "118.025");
            expect_text(face, 53, 232, 'a', "109.350");
            expect_text(face, 53, 300, 's', "108.150");
            expect_text(face, 267, 72, 'a', "136.975");
            expect_text(face, 267, 140, 's', "123.450");
            expect_text(face, 267, 232, 'a', "117.950");
            expect_text(face, 267, 300, 's', "109.050"); // letters show as 0
            expect_text(face, 53, 392, 'a', "7654");
            expect_text(face, 267, 392, 'f', "234.5"); // the leading zero hidden
            EXPECT_EQ(at(face, 267 + 27 * 5, 392)[0], k == 6 ? 'H' : 'f');
            for (int j = 1; j <= 6; j++)
                expect_rect(face, EDIT_AT[j - 1][0], EDIT_AT[j - 1][1], 198, 48,
                            j == k ? "H" : "face", j == k);
            const int *flags[8] = {&com1_sel, &com2_sel, &nav1_sel, &nav2_sel,
                                   &both_sel, &adf1_sel, &mkr_sel,  &dme_sel};
            for (int i = 0; i < 8; i++)
                expect_rect(face, LAMP[i][4], LAMP[i][5], LAMP[i][6 + *flags[i]], 40,
                            (*flags[i] ? "L" : "U") + std::to_string(i), true);
        }
        EXPECT_EQ(what(504 + 74, 300), "fill"); // the gap keeps the fill colour
    }
    strcpy(adf_disp, "1234.5");
    rmu_display();
    expect_text(0, 267, 392, 'f', "1234.5");
}

TEST_F(RmuDisplay, TheThreeLooksTheBannersAndTheMask) {
    const struct {
        int connected, electrics, boards, loop;
        const char *com1_standby, *lamp0, *link_banner, *boards_banner;
        unsigned pause;
    } looks[] = {{0, 0, 0, 1, "face", "U0", "link", "face", 0},
                 {1, 0, 0, 1, "fill", "U0", "fill", "fill", 0},
                 {1, 1, 1, 1, "s1", "L0", "face", "boards", 4000},
                 {1, 1, 1, 0, "s1", "L0", "face", "face", 0}}; // window closed: no banner
    for (auto &l : looks) {
        connected = l.connected, electrics = l.electrics, about_to_init_k8055 = l.boards;
        loop = l.loop;
        testsleep_clear();
        rmu_display();
        for (int face = 0; face < 2; face++) {
            EXPECT_EQ(at(face, 53, 140), l.com1_standby);
            EXPECT_EQ(at(face, 40, 560), l.lamp0);
            EXPECT_EQ(at(face, 100, 280), l.link_banner);
            EXPECT_EQ(at(face, 255, 245), l.boards_banner);
        }
        if (l.link_banner[0] == 'l')
            expect_rect(1, 96, 257, 314, 50, "link", true);
        if (l.boards_banner[0] == 'b')
            expect_rect(1, 132, 240, 246, 88, "boards", true);
        EXPECT_EQ(testsleep_pauses(),
                  l.pause ? std::vector<unsigned>{l.pause} : std::vector<unsigned>{});
    }
    loop = 1; // a fill in the mask colour lets the screen beneath through, in the gap too
    destroy_bitmap(pick);
    pick = test_sheet(makecol(255, 0, 255));
    clear_to_color(screen, BENEATH);
    electrics = 0;
    rmu_display();
    EXPECT_EQ(at(0, 250, 20), "beneath");
    EXPECT_EQ(what(504 + 3, 10), "beneath");
}

TEST_F(RmuDisplay, ScaleBorderAndTurn) {
    // rmu_edit 5 at half scale: (24, 192), 99 x 24; at the default 280 x 400: (26, 220),
    // 110 x 27; with a border of 11 all of it moves by 5.
    const int boxes[3][7] = {{252, 350, 0, 24, 192, 99, 24},
                             {280, 400, 0, 26, 220, 110, 27},
                             {280, 400, 11, 31, 225, 110, 27}};
    rmu_edit = 5;
    for (auto &b : boxes) {
        layout(b[0], b[1], 75, b[2], 0);
        clear_to_color(screen, BENEATH);
        rmu_display();
        int x = b[3], y = b[4], r = x + b[5] - 1, d = y + b[6] - 1;
        EXPECT_EQ(what(x, y) + what(r, d) + what(r + b[0] + 75, d), "HHH");
        EXPECT_EQ(what(x - 1, y) + what(x, y - 1) + what(r + 1, d) + what(r, d + 1),
                  "facefacefaceface");
    }
    EXPECT_EQ(what(4, 4) + what(5 + 2 * 280 + 75, 10), "beneathbeneath");
    const int turns[][7] = {{280, 400, 75, 0, 64, -117, 117}, {280, 400, 75, 11, 192, -112, 122}};
    for (auto &t : turns) {
        layout(t[0], t[1], t[2], t[3], t[4]);
        EXPECT_EQ(rmu_overlay_x(), t[5]);
        EXPECT_EQ(rmu_overlay_y(), t[6]);
    }
}

// A new bitmap in place of the old one (made before the old one goes, so never at its address).
void replace(BITMAP **b, BITMAP *with) {
    destroy_bitmap(*b);
    *b = with;
}

TEST_F(RmuDisplay, PushesOnlyWhenSomethingShownChanged) {
    rmu_display();
    long before = rmu_pushes;
    std::vector<std::function<void(void)>> changes = {
        [] {},
        [] { x_scale_factor *= 2; },
        [] { y_scale_factor *= 2; },
        [] { replace(&disp, create_bitmap(504, 700)); },
        [] { replace(&pick, test_sheet(0)); },
        [] { replace(&scrat, create_bitmap(2 * width + gap, height)); },
        [] { draw_background(); },
        [] { rmu_force_push(); }};
    for (char *t : {com1_disp1, com1_disp2, com2_disp1, com2_disp2, nav1_disp1, nav1_disp2,
                    nav2_disp1, nav2_disp2, xpndr_disp, adf_disp})
        changes.push_back([t] { t[1] ^= 1; });
    for (int *v : {&rmu_edit, &electrics, &connected, &about_to_init_k8055, &com1_sel, &com2_sel,
                   &both_sel, &nav1_sel, &nav2_sel, &mkr_sel, &dme_sel, &adf1_sel, &width, &height,
                   &gap, &extra_border, &angle, &blur})
        changes.push_back([v] { *v ^= 1; });
    for (uint16_t *w :
         {&read_freq1, &read_freq2, &read_freq3, &read_freq4, &read_freq5, &read_freq6, &read_freq7,
          &read_freq8, &read_freq9, &read_freq10, &read_freq11})
        changes.push_back([w] { *w += 1; });
    bg = create_bitmap(800, 400);
    for (size_t i = 0; i < changes.size(); i++) {
        changes[i]();
        rmu_display();
        rmu_display();
        EXPECT_EQ(rmu_pushes - before, i ? 1 : 0) << "change " << i; // the first: none
        before = rmu_pushes;
    }
    rmu_push_always = 1;
    rmu_display();
    rmu_push_always = 0;
    EXPECT_EQ(rmu_pushes, before + 1) << "the test hook pushes every time";
}

// Rows of the screen that differ from what an unconditional draw puts there now.
int stale_rows(void) {
    BITMAP *shown = create_bitmap(screen->w, screen->h);
    blit(screen, shown, 0, 0, 0, 0, screen->w, screen->h);
    rmu_push_always = 1;
    rmu_display();
    rmu_push_always = 0;
    int bad = 0;
    for (int y = 0; y < screen->h; y++)
        bad += memcmp(shown->line[y], screen->line[y], screen->w * 4) != 0;
    destroy_bitmap(shown);
    return bad;
}
int checked_while_down;
void check_while_down(DWORD) {
    checked_while_down += connected == 0;
    EXPECT_TRUE(connected || stale_rows() == 0) << "link down";
}

TEST_F(RmuDisplay, TheProgramShowsWhatAnUnconditionalDrawWould) {
    char here[4096];
    ASSERT_TRUE(getcwd(here, sizeof here));
    if (chdir(VALDORA_RUN_DIR) != 0 || create_bitmaps() != 0) // both artwork sets
        GTEST_SKIP() << "no generated artwork in " << VALDORA_RUN_DIR;
    layout(280, 400, 75, 0, 0);
    testsim_start();
    connect_to_sim();
    main_pass();
    long before = rmu_pushes;
    testsleep_clear();
    for (int i = 0; i < 100; i++) // at rest, each pass pausing at least 50 ms
        main_pass();
    unsigned slept = 0;
    for (unsigned p : testsleep_pauses())
        slept += p;
    EXPECT_GE(slept, 5000u);
    EXPECT_EQ(rmu_pushes, before) << "at rest";
    // Radio keys, then layout keys: i, r, Shift+I, Ctrl+I, Ctrl+R twice, Alt+I, Alt+A twice,
    // Alt+S, Alt+R, Alt+F. Each as main takes a key: act, read, draw, then the pass.
    const int keys[] = {RMU_KEY_T, RMU_KEY_STOP, RMU_KEY_COMMA, RMU_KEY_V, RMU_KEY_B, RMU_KEY_A,
                        RMU_KEY_S, RMU_KEY_T,    RMU_KEY_S,     0x0969,    0x1272,    0x0949,
                        0x0909,    0x1212,       0x1212,        0x0900,    0x0100,    0x0100,
                        0x1300,    0x1200,       0x0600};
    for (int i = 0; i < 21; i++) {
        int code = keys[i];
        before = rmu_pushes;
        rmu_key_action(code);
        rmu_fsuipc_read();
        rmu_display();
        EXPECT_TRUE(rmu_pushes > before || i >= 6) << std::hex << code; // a swap may change nothing
        main_pass();
        EXPECT_EQ(stale_rows(), 0) << std::hex << code;
    }
    platform_sleep_hook = check_while_down;
    testsim_fail_next(2); // the read fails, and so does the first attempt to reconnect
    main_pass();
    EXPECT_GT(checked_while_down, 0);
    testsleep_record();
    EXPECT_EQ(stale_rows(), 0) << "link back";
    for (int power_a : {1, 0}) {
        testsim_set(0x0B6A, 1, power_a);
        main_pass();
        EXPECT_EQ(electrics, 1 - power_a);
        EXPECT_EQ(stale_rows(), 0) << "power byte " << power_a;
    }
    FSUIPC_Close();
    testsim_stop();
    ASSERT_EQ(chdir(here), 0);
}

} // namespace
