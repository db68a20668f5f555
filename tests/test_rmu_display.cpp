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

// What the screen holds before the RMU is put on it.
int beneath(void) {
    return makecol(0, 0, 255);
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
    for (int i = 0; i < 8; i++) {
        const Lamp &l = LAMPS[i];
        paint_item(b, l.ux, l.uy, l.uw, 40, 100 + 10 * i, 20, 30);
        paint_item(b, l.lx, l.ly, l.lw, 40, 100 + 10 * i, 250, 30);
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

// Whether the design rectangle shows the given picker item stretched over it.
bool shows_item(int face, int sx, int sy, int sw, int sh, int dx, int dy, int dw, int dh) {
    Rect r = scaled(dx, dy, dw, dh);
    BITMAP *b = stretched(pick, sx, sy, sw, sh, r.w, r.h);
    int bad = mismatches(b, face_left(face) + r.x, face_top() + r.y);
    destroy_bitmap(b);
    return bad == 0;
}

// Reads one glyph cell of the screen: the character whose stretched picker glyph it shows,
// or '?' when it shows none of them.
char read_cell(int face, int x, int y, int row) {
    for (int d = 0; d <= 10; d++)
        if (shows_item(face, 12 + 27 * d, row, 27, 32, x, y, 27, 32))
            return d == 10 ? '.' : (char)('0' + d);
    return '?';
}

std::string read_row(int face, int x0, int y, int row, int cells) {
    std::string s;
    for (int n = 0; n < cells; n++)
        s += read_cell(face, x0 + 27 * n, y, row);
    return s;
}

// Every glyph cell that a powered unit draws, to leave them out of the highlight checks.
bool in_glyph_cell(int x, int y) {
    for (int row : {72, 140, 232, 300, 392})
        for (int x0 : {53, 267})
            for (int n = 0; n < (row == 392 ? 6 : 7); n++) {
                Rect g = scaled(x0 + 27 * n, row, 27, 32);
                if (x >= g.x && x < g.x + g.w && y >= g.y && y < g.y + g.h)
                    return true;
            }
    return false;
}

// Share of the highlight rectangle of radio k (outside the glyph cells) that shows the
// stretched highlight image.
double highlight_share(int face, int k) {
    const int at[][2] = {{48, 133}, {262, 133}, {48, 292}, {262, 292}, {48, 385}, {262, 385}};
    Rect r = scaled(at[k - 1][0], at[k - 1][1], 198, 48);
    BITMAP *h = stretched(pick, 21, 526, 198, 48, r.w, r.h);
    int total = 0, same = 0;
    for (int j = 0; j < r.h; j++)
        for (int i = 0; i < r.w; i++) {
            if (in_glyph_cell(r.x + i, r.y + j))
                continue;
            total++;
            same += getpixel(screen, face_left(face) + r.x + i, face_top() + r.y + j) ==
                    getpixel(h, i, j);
        }
    destroy_bitmap(h);
    return total ? (double)same / total : 0.0;
}

// 1 when lamp i shows its lit image, 0 when its unlit image, -1 when neither.
int lamp_state(int face, int i) {
    const Lamp &l = LAMPS[i];
    if (shows_item(face, l.lx, l.ly, l.lw, 40, l.dx, l.dy, l.lw, 40))
        return 1;
    return shows_item(face, l.ux, l.uy, l.uw, 40, l.dx, l.dy, l.uw, 40) ? 0 : -1;
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
        strcpy(nav1_disp2, "108.000");
        strcpy(com2_disp2, "123.450");
        strcpy(xpndr_disp, "7654");
        strcpy(adf_disp, "1234.5");
        rmu_decode_selectors(0xA1); // COM1, both COMs, ADF1
    }

    void TearDown() override {
        for (BITMAP **b : {&scrat, &screen, &disp, &pick}) {
            if (*b)
                destroy_bitmap(*b);
            *b = NULL;
        }
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
    strcpy(adf_disp, "0234.5");    // the leading zero is hidden and the rest moves left
    draw();
    for (int face = 0; face < 2; face++) {
        EXPECT_EQ(read_row(face, 53, 72, 17, 7), "121.500");
        EXPECT_EQ(read_row(face, 53, 300, 72, 7), "108.000");
        EXPECT_EQ(read_row(face, 267, 140, 72, 7), "123.450");
        EXPECT_EQ(read_row(face, 267, 300, 72, 7), "109.050");
        EXPECT_EQ(read_row(face, 53, 392, 17, 4), "7654");
        EXPECT_EQ(read_row(face, 267, 392, 125, 6), "234.5?");
    }
}

TEST_P(RmuDisplay, HighlightSitsUnderTheEditedRadio) {
    for (int k = 1; k <= 7; k++) { // 7: no radio, no highlight anywhere
        rmu_edit = k;
        draw();
        for (int other = 1; other <= 6; other++) {
            double share = highlight_share(0, other);
            EXPECT_TRUE(other == k ? share == 1.0 : share < 1.0) << other << " editing " << k;
        }
        if (k <= 6) {
            EXPECT_EQ(highlight_share(1, k), 1.0) << "right face, radio " << k;
        }
    }
}

TEST_P(RmuDisplay, LampsFollowFlagsAndPower) {
    for (unsigned bits : {0xA1u, 0x5Eu}) {
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

TEST_P(RmuDisplay, LinkDownAndUnpoweredLooks) {
    // Not connected (the supervisor holds the power flag at 0): face, banner, nothing else.
    connected = 0;
    electrics = 0;
    draw();
    EXPECT_TRUE(shows_item(0, 228, 534, 314, 30, 96, 257, 314, 50));
    EXPECT_TRUE(shows_item(1, 228, 534, 314, 30, 96, 257, 314, 50));
    EXPECT_EQ(read_row(0, 53, 140, 72, 7), "???????");
    EXPECT_LT(highlight_share(0, 1), 1.0);
    // Connected but unpowered: the fill colour only, no banner.
    connected = 1;
    draw();
    int fill = getpixel(pick, 0, 0);
    if (fill == bitmap_mask_color(pick))
        fill = beneath();
    EXPECT_EQ(getpixel(screen, rmu_scale_x(250), rmu_scale_y(20)), fill);
    EXPECT_EQ(getpixel(screen, rmu_scale_x(200), rmu_scale_y(280)), fill); // inside the banner
    EXPECT_EQ(read_row(0, 53, 140, 72, 7), "???????");
    EXPECT_LT(highlight_share(0, 1), 1.0);
    for (int x = width; x < width + gap; x += 7) // the gap keeps the fill colour
        EXPECT_EQ(getpixel(screen, x, height / 2), fill) << "column " << x;
}

TEST_P(RmuDisplay, BorderMovesByHalfAndNothingIsDrawnBeyond) {
    layout(280, 400, 75, 11, 0);
    draw();
    const int b = 5;
    EXPECT_EQ(getpixel(screen, b + 2 * width + gap, b + 10), beneath());
    EXPECT_EQ(getpixel(screen, b + 10, b + height), beneath());
    EXPECT_EQ(getpixel(screen, b - 1, b - 1), beneath());
    EXPECT_EQ(read_row(1, 53, 300, 72, 7), "108.000");
    layout(280, 400, 75, 0, 64);
    EXPECT_EQ(rmu_overlay_x(), -117);
    EXPECT_EQ(rmu_overlay_y(), 117);
    layout(280, 400, 75, 11, 192);
    EXPECT_EQ(rmu_overlay_x(), -112);
    EXPECT_EQ(rmu_overlay_y(), 122);
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
}

TEST_P(RmuDisplay, MaskedFillLeavesTheScreenBeneathWhenUnpowered) {
    if (GetParam()) { // the generated sheet's fill is opaque on purpose
        EXPECT_NE(getpixel(pick, 0, 0), beneath());
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
