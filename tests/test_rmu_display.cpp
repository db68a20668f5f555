// Checks the drawn RMU against the artwork it is cut from: each glyph cell on the screen is
// read back by comparing it with every picker glyph stretched the same way, the highlight and
// lamps are compared with their stretched picker images, and the three looks, the banners,
// the portrait turn and the right-hand copy are checked on the screen bitmap.
#include "app/app.h"
#include "rmu/rmu.h"
#include "simlink/simlink.h"
#include "tests/support/testsim.h"

#include <gtest/gtest.h>

#include <limits.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

const int BENEATH_RGB[3] = {0, 0, 255}; // what the screen holds before the RMU is put on it

int beneath(void) {
    return makecol(BENEATH_RGB[0], BENEATH_RGB[1], BENEATH_RGB[2]);
}

// A face whose every pixel tells where it came from (blue 60 marks the face).
BITMAP *make_face(void) {
    BITMAP *b = create_bitmap(504, 700);
    for (int y = 0; y < 700; y++)
        for (int x = 0; x < 504; x++)
            putpixel(b, x, y, makecol(x / 2, y * 255 / 700, 60));
    return b;
}

// Fills a picker rectangle with a colour of its own and a diagonal stripe, so that every item
// and its orientation can be told apart after scaling.
void paint_item(BITMAP *b, int x, int y, int w, int h, int r, int g, int bl) {
    for (int j = 0; j < h; j++)
        for (int i = 0; i < w; i++)
            putpixel(b, x + i, y + j,
                     ((i + 2 * j) % 7 == 0) ? makecol(r, g, 100) : makecol(r, g, bl));
}

// A picker sheet with the layout the program expects; fill is the colour of pixel (0, 0).
BITMAP *make_picker(int fill) {
    BITMAP *b = create_bitmap(560, 600);
    clear_to_color(b, makecol(250, 250, 250));
    putpixel(b, 0, 0, fill);
    const int rows[3] = {17, 72, 125};
    for (int row = 0; row < 3; row++)
        for (int d = 0; d < 11; d++)
            paint_item(b, 12 + 27 * d, rows[row], 27, 32, 20 + 20 * d, 40 + 70 * row, 200);
    paint_item(b, 21, 526, 198, 48, 250, 200, 10);  // edit highlight
    paint_item(b, 228, 534, 314, 30, 250, 120, 10); // link-down banner
    paint_item(b, 288, 386, 246, 88, 250, 60, 10);  // boards-starting banner
    const int lamps[8][6] = {
        {22, 183, 98, 169, 183, 98}, {22, 225, 102, 169, 224, 102}, {30, 266, 85, 177, 266, 85},
        {30, 309, 88, 177, 309, 90}, {25, 351, 96, 172, 351, 96},   {28, 393, 88, 176, 393, 88},
        {32, 435, 78, 179, 435, 78}, {32, 477, 72, 179, 477, 72},
    };
    for (int i = 0; i < 8; i++) {
        paint_item(b, lamps[i][0], lamps[i][1], lamps[i][2], 40, 100 + 10 * i, 20, 30);
        paint_item(b, lamps[i][3], lamps[i][4], lamps[i][5], 40, 100 + 10 * i, 250, 30);
    }
    return b;
}

// The run folder beside the test programs' folder, where the build writes the artwork.
std::string run_dir(void) {
    const char *env = getenv("VALDORA_RUN_DIR");
    if (env && *env)
        return env;
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0)
        return ".";
    exe[n] = '\0';
    std::string path(exe);
    return path.substr(0, path.rfind('/')) + "/../run";
}

// One design rectangle as the program scales it.
struct Rect {
    int x, y, w, h;
};
Rect scaled(int x, int y, int w, int h) {
    return {rmu_scale_x(x), rmu_scale_y(y), rmu_scale_x(w), rmu_scale_y(h)};
}

// Where the left face's (0, 0) lands on the screen in landscape; the right face is width + gap
// further right.
int face_left(int face) {
    return extra_border / 2 + (face ? width + gap : 0);
}
int face_top(void) {
    return extra_border / 2;
}

// The picker (or face) rectangle stretched as the program stretches it.
BITMAP *stretched(BITMAP *src, int sx, int sy, int sw, int sh, int dw, int dh) {
    BITMAP *b = create_bitmap(dw, dh);
    stretch_blit(src, b, sx, sy, sw, sh, 0, 0, dw, dh);
    return b;
}

// Pixels of the screen rectangle at (x, y) that differ from the expected image; a mask pixel of
// the image stands for the screen beneath, since the overlay is drawn masked.
int mismatches(BITMAP *expected, int x, int y) {
    int bad = 0;
    for (int j = 0; j < expected->h; j++)
        for (int i = 0; i < expected->w; i++) {
            int want = getpixel(expected, i, j);
            if (want == bitmap_mask_color(expected))
                want = beneath();
            if (getpixel(screen, x + i, y + j) != want)
                bad++;
        }
    return bad;
}

// Reads one glyph cell of the screen: the character whose stretched picker glyph it shows,
// or '?' when it shows none of them.
char read_cell(int face, int design_x, int design_y, int row) {
    Rect r = scaled(design_x, design_y, 27, 32);
    for (int d = 0; d <= 10; d++) {
        BITMAP *g = stretched(pick, 12 + 27 * d, row, 27, 32, r.w, r.h);
        int bad = mismatches(g, face_left(face) + r.x, face_top() + r.y);
        destroy_bitmap(g);
        if (bad == 0)
            return d == 10 ? '.' : (char)('0' + d);
    }
    return '?';
}

std::string read_row(int face, int x0, int y, int row, int cells) {
    std::string s;
    for (int n = 0; n < cells; n++)
        s += read_cell(face, x0 + 27 * n, y, row);
    return s;
}

// The whole unit as shown on one face: the eight frequencies, transponder and ADF cells.
struct Shown {
    std::string com1a, com1s, nav1a, nav1s, com2a, com2s, nav2a, nav2s, xpndr, adf;
};
Shown read_face(int face) {
    Shown s;
    s.com1a = read_row(face, 53, 72, 17, 7);
    s.com1s = read_row(face, 53, 140, 72, 7);
    s.nav1a = read_row(face, 53, 232, 17, 7);
    s.nav1s = read_row(face, 53, 300, 72, 7);
    s.com2a = read_row(face, 267, 72, 17, 7);
    s.com2s = read_row(face, 267, 140, 72, 7);
    s.nav2a = read_row(face, 267, 232, 17, 7);
    s.nav2s = read_row(face, 267, 300, 72, 7);
    s.xpndr = read_row(face, 53, 392, 17, 4);
    s.adf = read_row(face, 267, 392, 125, 6);
    return s;
}

// Every glyph cell that a powered unit draws, to leave them out of the highlight checks.
std::vector<Rect> glyph_cells(void) {
    std::vector<Rect> cells;
    const int rows[][2] = {{53, 72},  {53, 140},  {53, 232},  {53, 300},
                           {267, 72}, {267, 140}, {267, 232}, {267, 300}};
    for (auto &row : rows)
        for (int n = 0; n < 7; n++)
            cells.push_back(scaled(row[0] + 27 * n, row[1], 27, 32));
    for (int n = 0; n < 6; n++) {
        cells.push_back(scaled(53 + 27 * n, 392, 27, 32));
        cells.push_back(scaled(267 + 27 * n, 392, 27, 32));
    }
    return cells;
}

// Share of the highlight rectangle of radio k (outside the glyph cells) that shows the
// stretched highlight image.
double highlight_share(int face, int k) {
    const int at[][2] = {{48, 133}, {262, 133}, {48, 292}, {262, 292}, {48, 385}, {262, 385}};
    Rect r = scaled(at[k - 1][0], at[k - 1][1], 198, 48);
    BITMAP *h = stretched(pick, 21, 526, 198, 48, r.w, r.h);
    std::vector<Rect> cells = glyph_cells();
    int total = 0, same = 0;
    for (int j = 0; j < r.h; j++)
        for (int i = 0; i < r.w; i++) {
            int x = r.x + i, y = r.y + j;
            bool covered = false;
            for (auto &c : cells)
                if (x >= c.x && x < c.x + c.w && y >= c.y && y < c.y + c.h)
                    covered = true;
            if (covered)
                continue;
            total++;
            if (getpixel(screen, face_left(face) + x, face_top() + y) == getpixel(h, i, j))
                same++;
        }
    destroy_bitmap(h);
    return total ? (double)same / total : 0.0;
}

struct Lamp {
    const int *flag;
    int ux, uy, uw, lx, ly, lw, dx, dy;
};
const Lamp LAMPS[8] = {
    {&com1_sel, 22, 183, 98, 169, 183, 98, 40, 560},
    {&com2_sel, 22, 225, 102, 169, 224, 102, 155, 560},
    {&nav1_sel, 30, 266, 85, 177, 266, 85, 275, 560},
    {&nav2_sel, 30, 309, 88, 177, 309, 90, 380, 560},
    {&both_sel, 25, 351, 96, 172, 351, 96, 42, 630},
    {&adf1_sel, 28, 393, 88, 176, 393, 88, 160, 630},
    {&mkr_sel, 32, 435, 78, 179, 435, 78, 279, 630},
    {&dme_sel, 32, 477, 72, 179, 477, 72, 388, 630},
};

// 1 when lamp i shows its lit image, 0 when its unlit image, -1 when neither.
int lamp_state(int face, int i) {
    const Lamp &l = LAMPS[i];
    Rect lit = scaled(l.dx, l.dy, l.lw, 40), unlit = scaled(l.dx, l.dy, l.uw, 40);
    BITMAP *a = stretched(pick, l.lx, l.ly, l.lw, 40, lit.w, lit.h);
    BITMAP *b = stretched(pick, l.ux, l.uy, l.uw, 40, unlit.w, unlit.h);
    int on = mismatches(a, face_left(face) + lit.x, face_top() + lit.y) == 0;
    int off = mismatches(b, face_left(face) + unlit.x, face_top() + unlit.y) == 0;
    destroy_bitmap(a);
    destroy_bitmap(b);
    return on ? 1 : off ? 0 : -1;
}

// Whether the design rectangle shows the given picker item stretched over it.
bool shows_item(int face, int sx, int sy, int sw, int sh, int dx, int dy, int dw, int dh) {
    Rect r = scaled(dx, dy, dw, dh);
    BITMAP *b = stretched(pick, sx, sy, sw, sh, r.w, r.h);
    int bad = mismatches(b, face_left(face) + r.x, face_top() + r.y);
    destroy_bitmap(b);
    return bad == 0;
}

// The screen pixel at a design point of one face, against the face artwork there.
bool shows_face_at(int face, int dx, int dy) {
    BITMAP *f = stretched(disp, 0, 0, 504, 700, width, height);
    int want = getpixel(f, rmu_scale_x(dx), rmu_scale_y(dy));
    destroy_bitmap(f);
    return getpixel(screen, face_left(face) + rmu_scale_x(dx), face_top() + rmu_scale_y(dy)) ==
           want;
}

class RmuDisplay : public ::testing::TestWithParam<bool> {
  protected:
    static void SetUpTestSuite() {
        install_allegro(SYSTEM_NONE, &errno, atexit);
        set_color_depth(32);
        set_color_conversion(COLORCONV_TOTAL);
    }

    void SetUp() override {
        testsleep_record();
        testsleep_clear();
        if (GetParam()) {
            std::string dir = run_dir();
            disp = load_bitmap((dir + "/vd60_rmu.bmp").c_str(), palette);
            pick = load_bitmap((dir + "/vd60_picker.bmp").c_str(), palette);
            if (!disp || !pick)
                GTEST_SKIP() << "no generated artwork in " << dir;
        } else {
            disp = make_face();
            pick = make_picker(makecol(20, 20, 20));
        }
        screen = create_bitmap(1300, 1000);
        layout(280, 400, 75, 0, 0);
        connected = 1;
        electrics = 1;
        loop = 1;
        about_to_init_k8055 = 0;
        rmu_edit = 1;
        strcpy(com1_disp1, "121.500");
        strcpy(com1_disp2, "118.025");
        strcpy(nav1_disp1, "110.300");
        strcpy(nav1_disp2, "108.000");
        strcpy(com2_disp1, "136.975");
        strcpy(com2_disp2, "123.450");
        strcpy(nav2_disp1, "117.950");
        strcpy(nav2_disp2, "109.150");
        strcpy(xpndr_disp, "7654");
        strcpy(adf_disp, "1234.5");
        rmu_decode_selectors(0xA1); // COM1, both COMs, ADF1
    }

    void TearDown() override {
        if (scrat)
            destroy_bitmap(scrat);
        if (screen)
            destroy_bitmap(screen);
        if (disp)
            destroy_bitmap(disp);
        if (pick)
            destroy_bitmap(pick);
        scrat = screen = disp = pick = NULL;
        testsleep_real();
    }

    // Sets the layout as the layout operations leave it, with a fresh work bitmap.
    void layout(int w, int h, int g, int border, int turn) {
        width = w;
        height = h;
        gap = g;
        extra_border = border;
        angle = turn;
        x_scale_factor = width / 504.0f;
        y_scale_factor = height / 700.0f;
        if (scrat)
            destroy_bitmap(scrat);
        scrat = create_bitmap(2 * width + gap, height);
    }

    void draw(void) {
        clear_to_color(screen, beneath());
        rmu_display();
    }
};

TEST_P(RmuDisplay, GlyphCellsShowTheTextsOnBothFaces) {
    strcpy(nav2_disp2, "1a9.f50"); // letters from a non-BCD word show as 0
    for (int face = 0; face < 2; face++) {
        draw();
        Shown s = read_face(face);
        EXPECT_EQ(s.com1a, "121.500");
        EXPECT_EQ(s.com1s, "118.025");
        EXPECT_EQ(s.nav1a, "110.300");
        EXPECT_EQ(s.nav1s, "108.000");
        EXPECT_EQ(s.com2a, "136.975");
        EXPECT_EQ(s.com2s, "123.450");
        EXPECT_EQ(s.nav2a, "117.950");
        EXPECT_EQ(s.nav2s, "109.050");
        EXPECT_EQ(s.xpndr, "7654");
        EXPECT_EQ(s.adf, "1234.5");
    }
}

TEST_P(RmuDisplay, AdfLeadingZeroIsHiddenAndTheRestMovesLeft) {
    strcpy(adf_disp, "0234.5");
    draw();
    // Five characters from the first cell; the sixth cell shows no glyph.
    EXPECT_EQ(read_row(0, 267, 392, 125, 5), "234.5");
    EXPECT_EQ(read_cell(0, 267 + 27 * 5, 392, 125), '?');
    strcpy(adf_disp, "0350.0");
    draw();
    EXPECT_EQ(read_row(1, 267, 392, 125, 5), "350.0");
}

TEST_P(RmuDisplay, HighlightSitsUnderTheEditedRadio) {
    for (int k = 1; k <= 6; k++) {
        rmu_edit = k;
        draw();
        for (int other = 1; other <= 6; other++) {
            double share = highlight_share(0, other);
            if (other == k)
                EXPECT_EQ(share, 1.0) << "radio " << k;
            else
                EXPECT_LT(share, 1.0) << "radio " << other << " while editing " << k;
        }
        EXPECT_EQ(highlight_share(1, k), 1.0) << "right face, radio " << k;
    }
    rmu_edit = 7; // no radio: no highlight anywhere
    draw();
    for (int other = 1; other <= 6; other++)
        EXPECT_LT(highlight_share(0, other), 1.0);
}

TEST_P(RmuDisplay, HighlightPositionAtHalfScale) {
    layout(252, 350, 10, 0, 0);
    rmu_edit = 5;
    EXPECT_EQ(rmu_scale_x(48), 24);
    EXPECT_EQ(rmu_scale_y(385), 192);
    EXPECT_EQ(rmu_scale_x(198), 99);
    EXPECT_EQ(rmu_scale_y(48), 24);
    draw();
    EXPECT_EQ(highlight_share(0, 5), 1.0);
}

TEST_P(RmuDisplay, LampsFollowFlagsAndPower) {
    for (unsigned bits : {0xA1u, 0x5Eu, 0x00u, 0xFFu}) {
        rmu_decode_selectors((uint8_t)bits);
        electrics = 1;
        draw();
        for (int face = 0; face < 2; face++)
            for (int i = 0; i < 8; i++)
                EXPECT_EQ(lamp_state(face, i), *LAMPS[i].flag ? 1 : 0)
                    << "bits " << bits << " lamp " << i << " face " << face;
        electrics = 0;
        draw();
        for (int i = 0; i < 8; i++)
            EXPECT_EQ(lamp_state(0, i), 0) << "unpowered, bits " << bits << " lamp " << i;
    }
}

TEST_P(RmuDisplay, ThreeLooks) {
    const Shown blank = {"???????", "???????", "???????", "???????", "???????",
                         "???????", "???????", "???????", "????",    "??????"};
    auto expect_blank = [&](const char *look) {
        Shown s = read_face(0);
        EXPECT_EQ(s.com1a + s.com1s + s.nav1a + s.nav1s + s.com2a + s.com2s + s.nav2a + s.nav2s +
                      s.xpndr + s.adf,
                  blank.com1a + blank.com1s + blank.nav1a + blank.nav1s + blank.com2a +
                      blank.com2s + blank.nav2a + blank.nav2s + blank.xpndr + blank.adf)
            << look;
        for (int k = 1; k <= 6; k++)
            EXPECT_LT(highlight_share(0, k), 1.0) << look;
        for (int i = 0; i < 8; i++)
            EXPECT_EQ(lamp_state(0, i), 0) << look;
    };

    // Not connected (the supervisor holds the power flag at 0): face, banner, nothing else.
    connected = 0;
    electrics = 0;
    draw();
    EXPECT_TRUE(shows_face_at(0, 250, 20));
    EXPECT_TRUE(shows_face_at(1, 250, 20));
    EXPECT_TRUE(shows_item(0, 228, 534, 314, 30, 96, 257, 314, 50));
    EXPECT_TRUE(shows_item(1, 228, 534, 314, 30, 96, 257, 314, 50));
    expect_blank("not connected");

    // Connected but unpowered: the fill colour only, no banner.
    connected = 1;
    electrics = 0;
    draw();
    int fill = getpixel(pick, 0, 0);
    if (fill == bitmap_mask_color(pick))
        fill = beneath();
    EXPECT_EQ(getpixel(screen, rmu_scale_x(250), rmu_scale_y(20)), fill);
    EXPECT_EQ(getpixel(screen, width + gap + rmu_scale_x(250), rmu_scale_y(20)), fill);
    EXPECT_FALSE(shows_item(0, 228, 534, 314, 30, 96, 257, 314, 50));
    EXPECT_EQ(getpixel(screen, rmu_scale_x(200), rmu_scale_y(280)), fill); // inside the banner
    expect_blank("unpowered");

    // Powered: face, digits, highlight, lamps by flag, no banner.
    electrics = 1;
    draw();
    EXPECT_TRUE(shows_face_at(0, 250, 20));
    EXPECT_TRUE(shows_face_at(0, 200, 280)); // where the banner would be
    EXPECT_EQ(read_face(0).com1s, "118.025");
    EXPECT_EQ(highlight_share(0, 1), 1.0);
    EXPECT_EQ(lamp_state(0, 0), 1);
    EXPECT_EQ(lamp_state(0, 1), 0);
}

TEST_P(RmuDisplay, GapKeepsTheFillColourAndTheBorderMovesByHalf) {
    int fill = getpixel(pick, 0, 0);
    if (fill == bitmap_mask_color(pick))
        fill = beneath();
    for (int border : {0, 11}) {
        layout(280, 400, 75, border, 0);
        draw();
        const int b = border / 2;
        for (int x = width; x < width + gap; x += 7)
            EXPECT_EQ(getpixel(screen, b + x, b + height / 2), fill) << "column " << x;
        // Nothing is drawn beyond the pair of faces.
        EXPECT_EQ(getpixel(screen, b + 2 * width + gap, b + 10), beneath());
        EXPECT_EQ(getpixel(screen, b + 10, b + height), beneath());
        if (b > 0) {
            EXPECT_EQ(getpixel(screen, b - 1, b - 1), beneath());
        }
        EXPECT_EQ(read_face(1).nav1s, "108.000") << "border " << border;
    }
}

TEST_P(RmuDisplay, NegativeGapKeepsTheRightFaceWhole) {
    layout(280, 400, -9, 0, 0);
    draw();
    Shown right = read_face(1);
    EXPECT_EQ(right.com2s, "123.450");
    EXPECT_EQ(right.nav2a, "117.950");
    EXPECT_EQ(right.adf, "1234.5");
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(lamp_state(1, i), *LAMPS[i].flag ? 1 : 0);
    // The right face's last columns, beyond everything drawn on the face, show the face.
    BITMAP *f = stretched(disp, 0, 0, 504, 700, width, height);
    int bad = 0;
    for (int y = 0; y < height; y++)
        for (int x = width - 20; x < width; x++) {
            int want = getpixel(f, x, y);
            if (want == bitmap_mask_color(f))
                want = beneath();
            if (getpixel(screen, width + gap + x, y) != want)
                bad++;
        }
    destroy_bitmap(f);
    EXPECT_EQ(bad, 0);
}

TEST_P(RmuDisplay, BoardsBannerAndItsHoldOnlyWhileRunning) {
    about_to_init_k8055 = 1;
    draw();
    EXPECT_TRUE(shows_item(0, 288, 386, 246, 88, 132, 240, 246, 88));
    EXPECT_TRUE(shows_item(1, 288, 386, 246, 88, 132, 240, 246, 88));
    EXPECT_EQ(testsleep_pauses(), std::vector<unsigned>{4000});

    testsleep_clear();
    loop = 0; // the window was closed: no banner, no hold
    draw();
    EXPECT_FALSE(shows_item(0, 288, 386, 246, 88, 132, 240, 246, 88));
    EXPECT_TRUE(testsleep_pauses().empty());
    loop = 1;

    about_to_init_k8055 = 0;
    draw();
    EXPECT_FALSE(shows_item(0, 288, 386, 246, 88, 132, 240, 246, 88));
    EXPECT_TRUE(testsleep_pauses().empty());
}

// Where work pixel (x, y) belongs on the screen for a turn, the picture's top-left corner at
// (b, b): a quarter turn clockwise (64), a half turn (128), three quarters (192).
void turned_position(int turn, int x, int y, int b, int *sx, int *sy) {
    const int P = 2 * width + gap;
    if (turn == 64) {
        *sx = b + height - 1 - y;
        *sy = b + x;
    } else if (turn == 128) {
        *sx = b + P - 1 - x;
        *sy = b + height - 1 - y;
    } else {
        *sx = b + y;
        *sy = b + P - 1 - x;
    }
}

// Work pixels (away from the outermost ones) that do not show where the turn puts them,
// shifted by (ox, oy): the turn samples at exact quarter turns one pixel off.
int turned_mismatches(int turn, int b, int ox, int oy) {
    const int P = 2 * width + gap;
    int bad = 0;
    for (int y = 1; y < height - 1; y++)
        for (int x = 1; x < P - 1; x++) {
            int want = getpixel(scrat, x, y);
            if (want == bitmap_mask_color(scrat))
                want = beneath();
            int X, Y;
            turned_position(turn, x, y, b, &X, &Y);
            if (getpixel(screen, X + ox, Y + oy) != want)
                bad++;
        }
    return bad;
}

TEST_P(RmuDisplay, TurnedPicturesStandAtTheTopLeft) {
    layout(280, 400, 75, 0, 64);
    EXPECT_EQ(rmu_overlay_x(), -117);
    EXPECT_EQ(rmu_overlay_y(), 117);
    layout(280, 400, 75, 11, 192);
    EXPECT_EQ(rmu_overlay_x(), -112);
    EXPECT_EQ(rmu_overlay_y(), 122);

    for (int border : {0, 11}) {
        for (int turn : {64, 128, 192}) {
            layout(280, 400, 75, border, turn);
            draw();
            const int P = 2 * width + gap, b = border / 2;
            const bool portrait = turn != 128;
            // The whole turned picture within one pixel of its place.
            int best = -1;
            for (int ox = -1; ox <= 1 && best != 0; ox++)
                for (int oy = -1; oy <= 1 && best != 0; oy++) {
                    int bad = turned_mismatches(turn, b, ox, oy);
                    if (best < 0 || bad < best)
                        best = bad;
                }
            EXPECT_EQ(best, 0) << "turn " << turn << " border " << border;
            // Nothing beyond it: the content is height wide and P high in portrait.
            int w = portrait ? height : P, h = portrait ? P : height;
            for (int y = 0; y < h + b + 3; y += 5)
                EXPECT_EQ(getpixel(screen, b + w + 1, y), beneath()) << "turn " << turn;
            for (int x = 0; x < w + b + 3; x += 5)
                EXPECT_EQ(getpixel(screen, x, b + h + 1), beneath()) << "turn " << turn;
            if (b > 1) {
                EXPECT_EQ(getpixel(screen, b - 2, b + 20), beneath());
                EXPECT_EQ(getpixel(screen, b + 20, b - 2), beneath());
            }
        }
    }
}

TEST_P(RmuDisplay, MaskedFillLeavesTheScreenBeneathWhenUnpowered) {
    if (GetParam()) {
        // The generated sheet's fill is opaque on purpose: an unpowered unit shows the fill
        // colour, never the frame that was on the screen before.
        electrics = 0;
        draw();
        EXPECT_NE(getpixel(pick, 0, 0), beneath());
        EXPECT_EQ(getpixel(screen, rmu_scale_x(250), rmu_scale_y(20)), getpixel(pick, 0, 0));
        EXPECT_EQ(getpixel(screen, width + 3, 20), getpixel(pick, 0, 0));
        return;
    }
    destroy_bitmap(pick);
    pick = make_picker(makecol(255, 0, 255));
    electrics = 0;
    draw();
    EXPECT_EQ(getpixel(screen, rmu_scale_x(250), rmu_scale_y(20)), beneath());
    EXPECT_EQ(getpixel(screen, width + 3, 20), beneath()); // the gap too
}

INSTANTIATE_TEST_SUITE_P(Artwork, RmuDisplay, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool> &info) {
                             return std::string(info.param ? "Generated" : "TestSheet");
                         });

} // namespace
