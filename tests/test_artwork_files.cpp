// Checks the generated artwork files for what the RMU drawing relies on: sizes, the background
// and fill colours, every picker rectangle inside the sheet and filled, distinct glyphs, styles
// and lamp states, no mask-coloured pixel at any colour depth, and the same geometry in both sets.
#include <allegro.h>
#include <gtest/gtest.h>

#include <errno.h>
#include <math.h>
#include <stdlib.h>
#include <map>
#include <string>
#include <vector>

namespace {

struct Rect {
    int x, y, w, h;
};

// The picker sheet as the RMU drawing cuts it; glyph rows: active, standby, ADF.
const int GLYPH_ROWS[3] = {17, 72, 125};
const Rect HIGHLIGHT = {21, 526, 198, 48};
const int LAMP_Y[8] = {183, 225, 266, 309, 351, 393, 435, 477};
const int LAMP_UNLIT_X[8] = {22, 22, 30, 30, 25, 28, 32, 32},
          UNLIT_W[8] = {98, 102, 85, 88, 96, 88, 78, 72};
const int LAMP_LIT_X[8] = {169, 169, 177, 177, 172, 176, 179, 179},
          LIT_W[8] = {98, 102, 85, 90, 96, 88, 78, 72};
// Places on the face: text rows {x, y, cells} and the edit highlights.
const int FACE_TEXT[10][3] = {{53, 72, 7},  {53, 140, 7},  {53, 232, 7},  {53, 300, 7},
                              {267, 72, 7}, {267, 140, 7}, {267, 232, 7}, {267, 300, 7},
                              {53, 392, 4}, {267, 392, 6}};
const char *const SETS[2][2] = {{"vd60_rmu.bmp", "vd60_picker.bmp"},
                                {"vd60_rmub.bmp", "vd60_pickerb.bmp"}};

Rect glyph(int style, int g) { // glyph 10 is the point
    return Rect{12 + 27 * g, GLYPH_ROWS[style], 27, 32};
}

std::vector<Rect> picker_rects() {
    std::vector<Rect> all = {HIGHLIGHT, {228, 534, 314, 30}, {288, 386, 246, 88}};
    for (int s = 0; s < 3; s++)
        for (int g = 0; g <= 10; g++)
            all.push_back(glyph(s, g));
    for (int i = 0; i < 8; i++) {
        all.push_back({LAMP_UNLIT_X[i], LAMP_Y[i], UNLIT_W[i], 40});
        all.push_back({LAMP_LIT_X[i], LAMP_Y[i] - (i == 1), LIT_W[i], 40});
    }
    return all;
}

// An artwork file loaded at a colour depth, released at the end of the scope.
struct Loaded {
    BITMAP *bmp = nullptr;
    Loaded(const char *name, int depth) {
        static bool started = install_allegro(SYSTEM_NONE, &errno, atexit) == 0;
        EXPECT_TRUE(started);
        set_color_depth(depth);
        const char *env = getenv("VALDORA_RUN_DIR"); // ctest runs the unit tests in <build>/tests
        bmp = load_bitmap(((env && *env ? env : "../run") + std::string("/") + name).c_str(),
                          nullptr);
        EXPECT_NE(bmp, nullptr) << name;
    }
    ~Loaded() {
        if (bmp)
            destroy_bitmap(bmp);
    }
};

bool same_pixels(BITMAP *b, int x1, int y1, int x2, int y2, int w, int h) {
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            if (getpixel(b, x1 + x, y1 + y) != getpixel(b, x2 + x, y2 + y))
                return false;
    return true;
}

int count_not(BITMAP *b, Rect r, int colour) {
    int n = 0;
    for (int y = r.y; y < r.y + r.h; y++)
        for (int x = r.x; x < r.x + r.w; x++)
            n += getpixel(b, x, y) != colour;
    return n;
}

// The colour that covers most of a glyph cell apart from its ground (the glyph's ink).
int ink(BITMAP *b, Rect r) {
    std::map<int, int> seen;
    for (int y = r.y; y < r.y + r.h; y++)
        for (int x = r.x; x < r.x + r.w; x++)
            seen[getpixel(b, x, y)] += getpixel(b, x, y) != getpixel(b, r.x, r.y);
    int best = -1, most = 0;
    for (auto &s : seen)
        if (s.second > most)
            most = s.second, best = s.first;
    return best;
}

double contrast(int c, int r, int g, int b) {
    auto lum = [](int r, int g, int b) {
        auto lin = [](int c) {
            return c <= 10 ? c / 255.0 / 12.92 : pow((c / 255.0 + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * lin(r) + 0.7152 * lin(g) + 0.0722 * lin(b) + 0.05;
    };
    double a = lum(getr32(c), getg32(c), getb32(c)), d = lum(r, g, b);
    return a > d ? a / d : d / a;
}

} // namespace

TEST(ArtworkFiles, NoPixelIsTheMaskColourAtAnyDepth) {
    // The RMU goes on the screen with a masked draw: a mask-coloured pixel would show stale
    // screen content through the unit.
    for (auto &set : SETS)
        for (const char *name : set)
            for (int depth : {8, 15, 16, 24, 32}) {
                Loaded img(name, depth);
                ASSERT_NE(img.bmp, nullptr);
                EXPECT_EQ(bitmap_color_depth(img.bmp), depth);
                Rect all = {0, 0, img.bmp->w, img.bmp->h};
                EXPECT_EQ(count_not(img.bmp, all, bitmap_mask_color(img.bmp)), all.w * all.h)
                    << name << " at " << depth;
            }
}

TEST(ArtworkFiles, PickerPiecesAreInPlaceFilledAndDistinct) {
    for (auto &set : SETS) {
        Loaded face(set[0], 32), pick(set[1], 32);
        ASSERT_TRUE(face.bmp && pick.bmp);
        EXPECT_EQ(face.bmp->w, 504);
        EXPECT_EQ(face.bmp->h, 700);
        const int fill = getpixel(pick.bmp, 0, 0), glass = getpixel(pick.bmp, 12, 17);
        // A piece one pixel off its place would show a strip of fill colour on the face.
        for (const Rect &r : picker_rects()) {
            ASSERT_TRUE(r.x >= 0 && r.y >= 0 && r.x + r.w <= pick.bmp->w &&
                        r.y + r.h <= pick.bmp->h);
            for (Rect e : {Rect{r.x, r.y, r.w, 1}, Rect{r.x, r.y + r.h - 1, r.w, 1},
                           Rect{r.x, r.y, 1, r.h}, Rect{r.x + r.w - 1, r.y, 1, r.h}})
                EXPECT_EQ(count_not(pick.bmp, e, fill), e.w * e.h)
                    << set[1] << " " << e.x << "," << e.y;
        }
        // Glyph cells are opaque on the display glass, not blank, and differ in shape and style.
        for (int g = 0; g <= 10; g++) {
            for (int s = 0; s < 3; s++) {
                Rect a = glyph(s, g);
                EXPECT_EQ(getpixel(pick.bmp, a.x, a.y), glass);
                EXPECT_EQ(getpixel(pick.bmp, a.x + a.w - 1, a.y + a.h - 1), glass);
                EXPECT_GT(count_not(pick.bmp, a, glass), 12) << "style " << s << " glyph " << g;
                EXPECT_NE(ink(pick.bmp, a), ink(pick.bmp, glyph((s + 1) % 3, g)))
                    << set[1] << " glyph " << g;
                for (int b = g + 1; b <= 10; b++)
                    EXPECT_FALSE(same_pixels(pick.bmp, a.x, a.y, glyph(s, b).x, a.y, 27, 32))
                        << set[1] << " style " << s << ": glyphs " << g << " and " << b;
            }
        }
        EXPECT_EQ(getpixel(pick.bmp, HIGHLIGHT.x + HIGHLIGHT.w / 2, HIGHLIGHT.y + HIGHLIGHT.h / 2),
                  glass);
        // Lit and unlit lamps differ, and no two unlit legends look alike.
        for (int i = 0; i < 8; i++) {
            EXPECT_FALSE(same_pixels(pick.bmp, LAMP_UNLIT_X[i], LAMP_Y[i], LAMP_LIT_X[i],
                                     LAMP_Y[i] - (i == 1), std::min(UNLIT_W[i], LIT_W[i]), 40))
                << set[1] << " lamp " << i;
            for (int j = i + 1; j < 8; j++)
                EXPECT_FALSE(same_pixels(pick.bmp, LAMP_UNLIT_X[i], LAMP_Y[i], LAMP_UNLIT_X[j],
                                         LAMP_Y[j], std::min(UNLIT_W[i], UNLIT_W[j]), 40))
                    << set[1] << " lamps " << i << " and " << j;
        }
        // The face: fill as background, the unit drawn, calibration text readable (0xFFFF as a
        // raw pixel: cyan at 24/32 bits, white at 15/16 bits), glass behind text and highlights.
        EXPECT_EQ(getpixel(face.bmp, 10, 10), fill) << set[0];
        EXPECT_NE(fill, bitmap_mask_color(pick.bmp));
        EXPECT_NE(getpixel(face.bmp, 252, 350), fill);
        EXPECT_GE(contrast(fill, 0, 255, 255), 7.0);
        EXPECT_GE(contrast(fill, 255, 255, 255), 7.0);
        for (const auto &t : FACE_TEXT)
            EXPECT_EQ(count_not(face.bmp, {t[0], t[1], 27 * t[2], 32}, glass), 0)
                << set[0] << " text at " << t[1];
        for (int x : {48, 262})
            for (int y : {133, 292, 385})
                EXPECT_EQ(count_not(face.bmp, {x, y, 198, 48}, glass), 0)
                    << set[0] << " highlight " << x << "," << y;
    }
}

TEST(ArtworkFiles, AlternativeSetHasTheSameGeometryInOtherColours) {
    for (int f = 0; f < 2; f++) {
        Loaded day(SETS[0][f], 32), night(SETS[1][f], 32);
        ASSERT_TRUE(day.bmp && night.bmp);
        ASSERT_TRUE(day.bmp->w == night.bmp->w && day.bmp->h == night.bmp->h);
        int day_fill = getpixel(day.bmp, 10, 10), night_fill = getpixel(night.bmp, 10, 10);
        int mismatched = 0, recoloured = 0;
        for (int y = 0; y < day.bmp->h; y++)
            for (int x = 0; x < day.bmp->w; x++) {
                int d = getpixel(day.bmp, x, y), n = getpixel(night.bmp, x, y);
                mismatched += (d == day_fill) != (n == night_fill);
                recoloured += d != n;
            }
        EXPECT_EQ(mismatched, 0) << SETS[1][f];
        EXPECT_GT(recoloured, day.bmp->w * day.bmp->h / 2) << SETS[1][f];
    }
}
