// The radio management unit against the stand-in simulator: the read (packed BCD words to
// texts, selector bits, power bytes, a failed exchange); the tuning steps, swaps and keys (words
// written, pauses of each control, clamps, the transponder's carries and borrows); the drawn
// unit read back off the screen, where a test sheet gives every picker item a colour of its own
// and, at 504 x 700, design and screen coordinates are the same, so each item is probed at its
// corners; and the picture pushed only when what it shows changed, the screen always equal to
// an unconditional draw.
#include "tests/support/testboards.h" // the program's headers and the cockpit fixture

#include <string.h>

#include <functional>

namespace {

const int BENEATH = 0x0000FF; // what the screen holds before the RMU is put on it
const int LAMP[8][9] = { // unlit and lit source, design place, unlit and lit width, selector bit
    {22, 183, 169, 183, 40, 560, 98, 98, 0x80},  {22, 225, 169, 224, 155, 560, 102, 102, 0x40},
    {30, 266, 177, 266, 275, 560, 85, 85, 0x10}, {30, 309, 177, 309, 380, 560, 88, 90, 0x08},
    {25, 351, 172, 351, 42, 630, 96, 96, 0x20},  {28, 393, 176, 393, 160, 630, 88, 88, 0x01},
    {32, 435, 179, 435, 279, 630, 78, 78, 0x04}, {32, 477, 179, 477, 388, 630, 72, 72, 0x02}};
// Selector bytes, one per radio edited: any two bits differ in one of them, so a lamp fed by
// the wrong bit shows.
const uint8_t SELECTORS[7] = {0xA1, 0x5E, 0xF0, 0x0F, 0xCC, 0x33, 0xAA};
// clang-format off
const struct {
    char *text;
    const char *set, *shown; // letters show as 0, the ADF's leading zero is hidden
    int x, y, row;           // design place; glyph row on the sheet: active, standby or ADF
} TEXTS[10] = {
    {com1_disp1, "121.575", "121.575", 53, 72, 17}, {com1_disp2, "118.025", "118.025", 53, 140, 72},
    {nav1_disp1, "109.350", "109.350", 53, 232, 17}, {nav1_disp2, "108.150", "108.150", 53, 300, 72},
    {com2_disp1, "136.975", "136.975", 267, 72, 17}, {com2_disp2, "123.450", "123.450", 267, 140, 72},
    {nav2_disp1, "117.950", "117.950", 267, 232, 17}, {nav2_disp2, "1a9.f50", "109.050", 267, 300, 72},
    {xpndr_disp, "7654", "7654", 53, 392, 17}, {adf_disp, "0234.5", "234.5", 267, 392, 125}};
// clang-format on
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
// Design points and rectangles map to the screen times the scale factors, truncated, on the
// face's place within the border.
std::string at(int face, int dx, int dy) {
    int in = extra_border / 2;
    return what(in + face * (width + gap) + (int)(dx * x_scale_factor),
                in + (int)(dy * y_scale_factor));
}
// Pixels of a face's design rectangle {x, y, w, h} on the screen that differ from the sheet
// rectangle {x, y, w, h} stretched to its scaled size; with `glyphs`, glyphs over it are skipped.
int differs(std::array<int, 4> s, int face, std::array<int, 4> d, bool glyphs = false) {
    int in = extra_border / 2, x0 = in + face * (width + gap) + (int)(d[0] * x_scale_factor);
    int y0 = in + (int)(d[1] * y_scale_factor);
    BITMAP *b = create_bitmap((int)(d[2] * x_scale_factor), (int)(d[3] * y_scale_factor));
    stretch_blit(pick, b, s[0], s[1], s[2], s[3], 0, 0, b->w, b->h);
    int n = 0;
    for (int y = 0; y < b->h; y++)
        for (int x = 0; x < b->w; x++)
            n += getpixel(b, x, y) != getpixel(screen, x0 + x, y0 + y) &&
                 !(glyphs && what(x0 + x, y0 + y).size() == 2);
    destroy_bitmap(b);
    return n;
}
// Glyph cells of a text that differ from the sheet's glyphs of its row.
int text_differs(int face, int x0, int y, int row, const char *text) {
    int n = 0;
    for (int i = 0; text[i]; i++) {
        int glyph = text[i] == '.' ? 10 : text[i] - '0';
        n += differs({12 + 27 * glyph, row, 27, 32}, face, {x0 + 27 * i, y, 27, 32});
    }
    return n;
}

typedef std::vector<uint32_t> Words;

// The cockpit fixture's helpers, with a set-up of its own: no boards, a drawn unit.
class Rmu : public CockpitTest {
  protected:
    static void SetUpTestSuite() {
        install_allegro(SYSTEM_NONE, &errno, atexit);
        set_color_depth(32), set_color_conversion(COLORCONV_TOTAL);
    }
    void SetUp() override {
        CockpitTest::SetUp(); // linked, the announcement forgotten, powered, nothing recorded
        disp = create_bitmap(504, 700), clear_to_color(disp, makecol(9, 9, 60));
        pick = test_sheet(makecol(20, 20, 20));
        screen = create_bitmap(1300, 1000), clear_to_color(screen, BENEATH);
        layout(554, 770, 75, 0, 0); // every design coordinate on a pixel of its own
        about_to_init_k8055 = 0;
        for (auto &t : TEXTS)
            strcpy(t.text, t.set);
        rmu_decode_selectors(0xA1); // COM1, both COMs, ADF1
        request_push();             // a new screen
    }
    void TearDown() override {
        connected = 1;
        CockpitTest::TearDown();
        for (BITMAP **b : {&scrat, &screen, &disp, &pick, &bg})
            destroy_bitmap(*b), *b = NULL;
    }
    void layout(int w, int h, int g, int border, int turn) {
        width = w, height = h, gap = g, extra_border = border, angle = turn;
        x_scale_factor = width / 504.0f, y_scale_factor = height / 700.0f;
        destroy_bitmap(scrat); // Allegro takes NULL as nothing to do
        scrat = create_bitmap(2 * width + gap, height);
    }
    // One step of radio `edit` from a counter value; returns the counter afterwards.
    int step(int edit, int up, int counter, int control) {
        forget();
        rmu_edit = edit;
        rmu_tune_step(up, &counter, control);
        return counter;
    }
};

TEST_F(Rmu, ReadTurnsEveryWordIntoItsTextAndFlags) {
    const uint32_t in[14][3] = {{0x034E, 2, 0x1802}, {0x3118, 2, 0x3697}, {0x0350, 2, 0x1095},
                                {0x0352, 2, 0x0800}, {0x311A, 2, 0x2347}, {0x311C, 2, 0x2342},
                                {0x311E, 2, 0x0005}, {0x3120, 2, 0xFFF7}, {0x0354, 2, 0x12AB},
                                {0x034C, 2, 0x0234}, {0x0356, 2, 0x0105}, {0x0B6A, 1, 1},
                                {0x0B52, 1, 1},      {0x3122, 1, 0x5E}};
    for (auto &r : in)
        testsim_set(r[0], r[1], r[2]);
    rmu_fsuipc_read();
    std::string got;
    for (const char *t : {com1_disp1, com2_disp1, nav1_disp1, nav2_disp1, com1_disp2, com2_disp2,
                          nav1_disp2, nav2_disp2, xpndr_disp, adf_disp})
        got += std::string(t) + " ";
    EXPECT_EQ(got, "118.025 136.975 110.950 108.000 123.475 123.425 100.050 1ff.f75 12ab 1234.5 ");
    for (int f : {com1_sel, com2_sel, both_sel, nav1_sel, nav2_sel, mkr_sel, dme_sel, adf1_sel})
        got += std::to_string(f);
    EXPECT_EQ(got.substr(got.size() - 8), "01011110");
    // A tuning step has just rewritten a standby text; a failed exchange keeps every text,
    // and works the power flag out again from the bytes last received.
    strcpy(com1_disp2, "118.025");
    testsim_set(0x034E, 2, 0x2222), testsim_set(0x0B52, 1, 0), testsim_fail_next(1);
    rmu_fsuipc_read();
    EXPECT_EQ(at(0, 100, 280), "link"); // drawn at once when the link went down
    EXPECT_STREQ(com1_disp2, "118.025");
    EXPECT_EQ(electrics, 1); // although the reconnection cleared it
    rmu_fsuipc_read();
    EXPECT_STREQ(com1_disp1, "122.225");
    EXPECT_EQ(electrics, 0);
    // The ADF's extension word and the two power bytes.
    const uint16_t adfs[][2] = {
        {0x0350, 0}, {0x0100, 0x0100}, {0x0350, 0x10}, {0x0350, 0x1005}, {0x0C34, 0}};
    got.clear();
    for (auto &c : adfs) {
        char t[7] = "xxxxxx";
        rmu_decode_adf(c[0], c[1], t), got += std::string(t) + " ";
    }
    EXPECT_EQ(got, "0350.0 1100.0 0350.1 0350.1 0c34.0 ");
    const int power[][3] = {{1, 0, 0}, {1, 1, 1}, {0, 0, 1}, {2, 0, 1}, {1, 2, 0}};
    for (auto &p : power)
        EXPECT_EQ(rmu_power_flag(p[0], p[1]), p[2]) << p[0] << ", " << p[1];
}

TEST_F(Rmu, StepSchedulesClampsAndWords) {
    struct {
        int edit, up, counter, control;
        const char *from, *after;
        uint32_t offset, word, adf_ext;
        unsigned pause;
    } const cases[] = {
        {1, 0, 0, RMU_KEYBOARD, "118.000", "118.000", 0x311A, 0x1800, 0, 200},
        {2, 1, 45, RMU_PANEL, "136.950", "136.975", 0x311C, 0x3697, 0, 200},
        {1, 1, 0, RMU_KEYBOARD, "117.000", "117.025", 0x311A, 0x1702, 0, 200},
        {1, 1, 20, RMU_KEYBOARD, "120.000", "120.100", 0x311A, 0x2010, 0, 200},
        {1, 1, 40, RMU_KEYBOARD, "120.000", "121.000", 0x311A, 0x2100, 0, 300},
        {1, 1, 19, RMU_PANEL, "120.000", "120.025", 0x311A, 0x2002, 0, 50},
        {3, 0, 0, RMU_KEYBOARD, "108.000", "108.000", 0x311E, 0x0800, 0, 200},
        {4, 1, 50, RMU_PANEL, "117.900", "117.950", 0x3120, 0x1795, 0, 50},
        {4, 1, 19, RMU_KEYBOARD, "110.000", "110.050", 0x3120, 0x1005, 0, 200},
        {4, 1, 20, RMU_KEYBOARD, "110.000", "110.200", 0x3120, 0x1020, 0, 200},
        {4, 1, 40, RMU_KEYBOARD, "110.000", "111.000", 0x3120, 0x1100, 0, 300},
        {4, 1, 40, RMU_PANEL, "110.000", "110.200", 0x3120, 0x1020, 0, 50},
        // The ADF: hundreds, tens and units to one word, thousands and tenths to the other.
        {6, 0, 0, RMU_KEYBOARD, "0100.0", "0100.0", 0x034C, 0x0100, 0x0000, 150},
        {6, 1, 0, RMU_KEYBOARD, "1799.9", "1799.9", 0x034C, 0x0799, 0x0109, 150},
        {6, 1, 30, RMU_KEYBOARD, "0500.0", "0500.0", 0x034C, 0x0501, 0x0000, 150},
        {6, 1, 60, RMU_KEYBOARD, "0500.0", "0500.0", 0x034C, 0x0510, 0x0000, 200},
        {6, 1, 29, RMU_PANEL, "0500.0", "0500.0", 0x034C, 0x0500, 0x0001, 50},
        {6, 1, 60, RMU_PANEL, "0500.0", "0500.0", 0x034C, 0x0510, 0x0000, 100},
        {6, 1, 100, RMU_PANEL, "0500.0", "0500.0", 0x034C, 0x0600, 0x0000, 200},
        {6, 1, 100, RMU_KEYBOARD, "0234.5", "0234.5", 0x034C, 0x0334, 0x0005, 300},
        {6, 1, 0, RMU_KEYBOARD, "0999.9", "0999.9", 0x034C, 0x0000, 0x0100, 150},
    };
    char *texts[] = {com1_disp2, com2_disp2, nav1_disp2, nav2_disp2, xpndr_disp, adf_disp};
    for (auto &c : cases) {
        strcpy(texts[c.edit - 1], c.from);
        EXPECT_EQ(step(c.edit, c.up, c.counter, c.control), c.counter + 1);
        EXPECT_STREQ(texts[c.edit - 1], c.after) << c.from << " counter " << c.counter;
        // Two-byte words, nothing else, the ADF's main word first.
        EXPECT_EQ(sent(), put(c.offset, 2, c.word) + (c.edit == 6 ? put(0x0356, 2, c.adf_ext) : ""))
            << c.from << " counter " << c.counter;
        EXPECT_EQ(testsleep_pauses(), Pauses{c.pause}) << c.from << " counter " << c.counter;
    }
    // A step whose exchange fails still rewrites the text and counts, opens the link again
    // (the announcement), and the ADF step makes its second write after a failed first one.
    strcpy(com1_disp2, "118.000");
    testsim_fail_next(1);
    EXPECT_EQ(step(1, 1, 0, RMU_KEYBOARD), 1);
    EXPECT_STREQ(com1_disp2, "118.025");
    EXPECT_EQ(testsim_writes_to(0x3380).size(), 1u);
    strcpy(adf_disp, "0350.0");
    testsim_fail_next(1), step(6, 1, 0, RMU_KEYBOARD);
    EXPECT_EQ(testsim_get(0x0356, 2), 0x0001u);
}

TEST_F(Rmu, TransponderDigitChoiceCarriesAndBorrows) {
    struct {
        const char *from;
        int up, counter;
        uint32_t word;
        unsigned kb_pause, panel_pause; // 0: no digit moved, no pause
    } const cases[] = {
        // 8a00: a hostile code, each digit read as a number
        {"7777", 1, 0, 0x7777, 0, 0},      {"0000", 0, 0, 0x0000, 0, 0},
        {"0777", 1, 0, 0x1000, 100, 50},   {"1000", 0, 0, 0x0777, 100, 50},
        {"1200", 0, 20, 0x1170, 150, 100}, {"1234", 0, 20, 0x1233, 100, 50},
        {"6777", 1, 20, 0x7007, 150, 100}, {"1277", 1, 10, 0x1300, 100, 50},
        {"1277", 1, 41, 0x1377, 200, 100}, {"1270", 1, 41, 0x1271, 100, 50},
        {"1200", 0, 41, 0x1100, 200, 100}, {"1210", 0, 41, 0x1200, 150, 100},
        {"7776", 1, 0, 0x7777, 100, 50},   {"1000", 0, 50, 0x0700, 200, 100},
        {"0017", 1, 0, 0x0020, 100, 50},   {"8a00", 1, 0, 0x7001, 100, 50},
    };
    for (int control : {RMU_KEYBOARD, RMU_PANEL}) {
        for (auto &c : cases) {
            strcpy(xpndr_disp, c.from);
            EXPECT_EQ(step(5, c.up, c.counter, control), c.counter + 1);
            EXPECT_EQ(written(0x0354), Words{c.word}) << c.from << " " << c.counter;
            unsigned pause = control == RMU_PANEL ? c.panel_pause : c.kb_pause;
            EXPECT_EQ(testsleep_pauses(), pause ? Pauses{pause} : Pauses{}) << c.from;
            EXPECT_STREQ(xpndr_disp, c.from); // the next read shows the new code
        }
    }
}

TEST_F(Rmu, SwapsAndKeys) {
    EXPECT_EQ(step(7, 1, 3, RMU_KEYBOARD), 3); // no radio: nothing, not even the count
    for (rmu_edit = 1; rmu_edit <= 6; rmu_edit++)
        rmu_key_action(RMU_KEY_S); // the keyboard's swap; the panel's is a board test
    EXPECT_EQ(written(0x3123), (Words{0x08, 0x04, 0x02, 0x01}));
    EXPECT_EQ(testsleep_pauses(), (Pauses{100, 100, 100, 100}));
    // The selector keys one after another from COM2 and ADF1 as read: c and v choose one COM,
    // the others toggle their bit, each byte sent at once.
    testsim_set(0x3122, 1, 0x41), rmu_fsuipc_read(), testsim_clear_writes();
    for (int code : {RMU_KEY_C, RMU_KEY_V, RMU_KEY_B, RMU_KEY_A, RMU_KEY_N, RMU_KEY_M, RMU_KEY_K,
                     RMU_KEY_E, RMU_KEY_B, RMU_KEY_C, RMU_KEY_A})
        rmu_key_action(code);
    EXPECT_EQ(written(0x3122),
              (Words{0x81, 0x41, 0x61, 0x60, 0x70, 0x78, 0x7C, 0x7E, 0x5E, 0x9E, 0x9F}));
    // The full stop and comma step with the keyboard's counter and pauses.
    strcpy(com1_disp2, "120.000");
    rmu_edit = 1, press_length = 40, testsleep_clear();
    rmu_key_action(RMU_KEY_STOP);
    EXPECT_EQ(std::string(com1_disp2) + " " + std::to_string(press_length), "121.000 41");
    rmu_key_action(RMU_KEY_COMMA);
    EXPECT_STREQ(com1_disp2, "120.000");
    EXPECT_EQ(testsleep_pauses(), (Pauses{300, 300}));
    // Shift+comma, the keypad's point, Shift+T, upper-case C, Alt+T and a digit do nothing;
    // with the link down neither do the radio keys, but t still cycles the radio.
    forget();
    for (int code : {0x483C, 0x5A2E, 0x1454, 0x0343, 0x1400, 0x0231})
        rmu_key_action(code);
    connected = 0;
    for (int code : {RMU_KEY_COMMA, RMU_KEY_STOP, RMU_KEY_S, RMU_KEY_C, RMU_KEY_A})
        rmu_key_action(code);
    EXPECT_EQ(press_length, 42);
    EXPECT_TRUE(testsim_writes().empty() && testsleep_pauses().empty());
    for (int i = 0; i < 6; i++) {
        rmu_key_action(RMU_KEY_T);
        EXPECT_EQ(rmu_edit, i < 5 ? i + 2 : 1);
    }
}

// Each item is its sheet rectangle stretched to its scaled place, pixel for pixel: a wrong
// place, source or size shows.
TEST_F(Rmu, EveryItemIsItsSheetRectangleOnBothFaces) {
    for (int k = 1; k <= 7; k++) {
        rmu_edit = k, rmu_decode_selectors(SELECTORS[k - 1]), rmu_display();
        EXPECT_EQ(com1_sel + com2_sel + both_sel + nav1_sel + nav2_sel + mkr_sel + dme_sel +
                      adf1_sel,
                  __builtin_popcount(SELECTORS[k - 1])); // a flag set is 1, not only lit
        for (int face = 0; face < 2; face++) {
            for (auto &t : TEXTS)
                EXPECT_EQ(text_differs(face, t.x, t.y, t.row, t.shown), 0) << t.shown;
            EXPECT_EQ(at(face, 267 + 27 * 5, 392)[0], k == 6 ? 'H' : 'f');
            for (int j = 1; j <= 6; j++) { // the highlight at the radio edited, the face elsewhere
                const int *e = EDIT_AT[j - 1];
                EXPECT_TRUE(j == k ? !differs({21, 526, 198, 48}, face, {e[0], e[1], 198, 48}, true)
                                   : at(face, e[0], e[1]) == "face")
                    << j;
            }
            for (int i = 0; i < 8; i++) { // each lamp lit by its own selector bit
                const int *l = LAMP[i], lit = !!(SELECTORS[k - 1] & l[8]), w = l[6 + lit];
                const int *src = l + 2 * lit;
                EXPECT_FALSE(differs({src[0], src[1], w, 40}, face, {l[4], l[5], w, 40})) << i;
            }
        }
    }
    strcpy(adf_disp, "1234.5"), rmu_display();
    EXPECT_EQ(text_differs(0, 267, 392, 125, "1234.5"), 0);
}

TEST_F(Rmu, TheThreeLooksAndTheBanners) {
    const struct {
        int connected, electrics, boards, loop;
        const char *shown; // at COM1 standby, lamp 0, the link banner, the boards banner
        unsigned pause;
    } looks[] = {{0, 0, 0, 1, "face U0 link face", 0},
                 {1, 0, 0, 1, "fill U0 fill fill", 0},
                 {1, 1, 1, 1, "s1 L0 face boards", 4000},
                 {1, 1, 1, 0, "s1 L0 face face", 0}}; // window closed: no banner
    for (auto &l : looks) {
        connected = l.connected, electrics = l.electrics, about_to_init_k8055 = l.boards;
        loop = l.loop, testsleep_clear(), rmu_display();
        for (int f = 0; f < 2; f++)
            EXPECT_EQ(at(f, 53, 140) + " " + at(f, 40, 560) + " " + at(f, 100, 280) + " " +
                          at(f, 255, 245),
                      l.shown);
        EXPECT_TRUE(!strstr(l.shown, "link") ||
                    !differs({228, 534, 314, 30}, 1, {96, 257, 314, 50}));
        EXPECT_TRUE(!strstr(l.shown, "boards") ||
                    !differs({288, 386, 246, 88}, 1, {132, 240, 246, 88}));
        EXPECT_EQ(testsleep_pauses(), l.pause ? Pauses{l.pause} : Pauses{});
    }
}

TEST_F(Rmu, ScaleBorderAndTurn) {
    // Below full scale, with a border of 11 (the unit 5 pixels in): the highlight of the
    // transponder around its digits; nothing on the border.
    rmu_edit = 5, layout(280, 400, 75, 11, 0);
    clear_to_color(screen, BENEATH), rmu_display(); // the full unit the connection drew
    EXPECT_EQ(differs({21, 526, 198, 48}, 1, {48, 385, 198, 48}, true), 0);
    EXPECT_EQ(what(4, 4) + what(5 + 2 * 280 + 75, 10), "beneathbeneath");
    // Turned for portrait, the picture is placed by its middle: {border, angle, x, y}.
    const int turns[][4] = {{0, 64, -117, 117}, {11, 192, -112, 122}};
    for (auto &t : turns) {
        layout(280, 400, 75, t[0], t[1]);
        EXPECT_EQ(std::make_pair(rmu_overlay_x(), rmu_overlay_y()), std::make_pair(t[2], t[3]));
    }
}

// A new bitmap in place of the old one (made before the old one goes, so never at its address).
void replace(BITMAP **b, BITMAP *with) {
    destroy_bitmap(*b);
    *b = with;
}

TEST_F(Rmu, PushesOnlyWhenSomethingShownChanged) {
    rmu_display();
    long before = rmu_pushes;
    std::vector<std::function<void(void)>> changes = {
        [] { replace(&disp, create_bitmap(504, 700)); },
        [] { replace(&pick, test_sheet(0)); },
        [] { replace(&scrat, create_bitmap(2 * width + gap, height)); },
        [] { draw_background(); },
        [] { draw_artwork_error(); },
        [] { request_push(); }};
    // Every value the picture is made of, changed in its lowest byte.
    // clang-format off
    void *fields[] = {
        com1_disp1, com1_disp2, com2_disp1, com2_disp2, nav1_disp1, nav1_disp2, nav2_disp1,
        nav2_disp2, xpndr_disp, adf_disp, &rmu_edit, &electrics, &connected, &about_to_init_k8055,
        &com1_sel, &com2_sel, &both_sel, &nav1_sel, &nav2_sel, &mkr_sel, &dme_sel, &adf1_sel,
        &width, &height, &gap, &extra_border, &angle, &blur, &x_scale_factor, &y_scale_factor};
    // clang-format on
    for (void *v : fields)
        changes.push_back([v] { *(unsigned char *)v ^= 1; });
    bg = create_bitmap(800, 400);
    for (size_t i = 0; i < changes.size(); i++) {
        changes[i](), rmu_display(), rmu_display();
        EXPECT_EQ(rmu_pushes - before, 1) << "change " << i; // the second draw finds nothing new
        before = rmu_pushes;
    }
}

TEST_F(Rmu, MainPassAtRestAndAfterALayoutKey) {
    layout(280, 400, 75, 0, 0);
    current_width = 1272, current_height = 992, main_pass();
    long before = rmu_pushes;
    main_pass();
    EXPECT_EQ(rmu_pushes, before) << "at rest";
    rmu_key_action(0x0969); // i: a new layout, and the background asked for
    rmu_display();          // the redraw that follows every key
    before = rmu_pushes;
    main_pass();
    EXPECT_EQ(rmu_pushes - before, 1) << "the unit again, over the background";
    main_pass();
    EXPECT_EQ(rmu_pushes - before, 1) << "once";
}

} // namespace
