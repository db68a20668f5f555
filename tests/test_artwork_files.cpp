// Checks the generated artwork files for what the RMU drawing relies on: sizes, the background
// and fill colours, every picker rectangle inside the sheet and filled, distinct glyphs, styles
// and lamp states, no mask-coloured pixel at any colour depth, and the same geometry in both sets.
#include <allegro.h>
#include <gtest/gtest.h>

#include <errno.h>
#include <math.h>
#include <stdlib.h>
#include <string>
#include <vector>

namespace {

struct Rect {
    int x, y, w, h;
};

// The picker sheet as the RMU drawing cuts it.
const int GLYPH_ROWS[3] = {17, 72, 125}; // active, standby, ADF
const Rect HIGHLIGHT = {21, 526, 198, 48};
const Rect LINK_DOWN = {228, 534, 314, 30};
const Rect BOARDS = {288, 386, 246, 88};
const Rect LAMP_UNLIT[8] = {{22, 183, 98, 40}, {22, 225, 102, 40}, {30, 266, 85, 40},
                            {30, 309, 88, 40}, {25, 351, 96, 40},  {28, 393, 88, 40},
                            {32, 435, 78, 40}, {32, 477, 72, 40}};
const Rect LAMP_LIT[8] = {{169, 183, 98, 40}, {169, 224, 102, 40}, {177, 266, 85, 40},
                          {177, 309, 90, 40}, {172, 351, 96, 40},  {176, 393, 88, 40},
                          {179, 435, 78, 40}, {179, 477, 72, 40}};

// Places on the face: text rows and the edit highlights.
struct TextRow {
    int x0, y, cells;
};
const TextRow FACE_TEXT[10] = {{53, 72, 7},  {53, 140, 7},  {53, 232, 7},  {53, 300, 7},
                               {267, 72, 7}, {267, 140, 7}, {267, 232, 7}, {267, 300, 7},
                               {53, 392, 4}, {267, 392, 6}};
const Rect FACE_HIGHLIGHT[6] = {{48, 133, 198, 48},  {262, 133, 198, 48}, {48, 292, 198, 48},
                                {262, 292, 198, 48}, {48, 385, 198, 48},  {262, 385, 198, 48}};

Rect glyph_cell(int style, int glyph) { // glyph 10 is the point
    return Rect{12 + 27 * glyph, GLYPH_ROWS[style], 27, 32};
}

std::vector<Rect> picker_rects() {
    std::vector<Rect> all;
    for (int s = 0; s < 3; s++)
        for (int g = 0; g <= 10; g++)
            all.push_back(glyph_cell(s, g));
    all.push_back(HIGHLIGHT);
    all.push_back(LINK_DOWN);
    all.push_back(BOARDS);
    for (int i = 0; i < 8; i++) {
        all.push_back(LAMP_UNLIT[i]);
        all.push_back(LAMP_LIT[i]);
    }
    return all;
}

std::string run_dir() {
    const char *env = getenv("VALDORA_RUN_DIR");
    if (env && *env)
        return env;
    return "../run"; // ctest runs the unit tests in <build>/tests
}

void start_allegro() {
    static bool started = false;
    if (!started) {
        ASSERT_EQ(install_allegro(SYSTEM_NONE, &errno, atexit), 0);
        started = true;
    }
}

// An artwork file loaded at a colour depth, released at the end of the scope.
struct Loaded {
    BITMAP *bmp = nullptr;
    Loaded(const char *name, int depth) {
        set_color_depth(depth);
        PALETTE pal;
        bmp = load_bitmap((run_dir() + "/" + name).c_str(), pal);
    }
    ~Loaded() {
        if (bmp)
            destroy_bitmap(bmp);
    }
};

bool same_pixels(BITMAP *a, Rect ra, BITMAP *b, Rect rb) {
    for (int y = 0; y < ra.h; y++)
        for (int x = 0; x < ra.w; x++)
            if (getpixel(a, ra.x + x, ra.y + y) != getpixel(b, rb.x + x, rb.y + y))
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

// The colour that covers most of a rectangle apart from one colour (the glyph's ink).
int main_colour_besides(BITMAP *b, Rect r, int besides) {
    std::vector<std::pair<int, int>> seen;
    for (int y = r.y; y < r.y + r.h; y++)
        for (int x = r.x; x < r.x + r.w; x++) {
            int c = getpixel(b, x, y);
            if (c == besides)
                continue;
            bool found = false;
            for (auto &s : seen)
                if (s.first == c) {
                    s.second++;
                    found = true;
                }
            if (!found)
                seen.push_back({c, 1});
        }
    int best = -1, most = 0;
    for (auto &s : seen)
        if (s.second > most) {
            most = s.second;
            best = s.first;
        }
    return best;
}

double luminance(int r, int g, int b) {
    auto lin = [](int c) {
        double v = c / 255.0;
        return v <= 0.03928 ? v / 12.92 : pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * lin(r) + 0.7152 * lin(g) + 0.0722 * lin(b);
}

double contrast(int c1, int r2, int g2, int b2) {
    double a = luminance(getr32(c1), getg32(c1), getb32(c1)), b = luminance(r2, g2, b2);
    return (a > b ? a + 0.05 : b + 0.05) / (a > b ? b + 0.05 : a + 0.05);
}

const char *const SETS[2][2] = {{"vd60_rmu.bmp", "vd60_picker.bmp"},
                                {"vd60_rmub.bmp", "vd60_pickerb.bmp"}};

} // namespace

TEST(ArtworkFiles, SizesAndRectanglesInsideTheSheet) {
    start_allegro();
    for (auto &set : SETS) {
        Loaded face(set[0], 8), pick(set[1], 8);
        ASSERT_NE(face.bmp, nullptr) << set[0] << " in " << run_dir();
        ASSERT_NE(pick.bmp, nullptr) << set[1] << " in " << run_dir();
        EXPECT_EQ(bitmap_color_depth(face.bmp), 8);
        EXPECT_EQ(bitmap_color_depth(pick.bmp), 8);
        EXPECT_EQ(face.bmp->w, 504);
        EXPECT_EQ(face.bmp->h, 700);
        for (const Rect &r : picker_rects()) {
            EXPECT_GE(r.x, 0);
            EXPECT_GE(r.y, 0);
            EXPECT_LE(r.x + r.w, pick.bmp->w) << r.x << "," << r.y;
            EXPECT_LE(r.y + r.h, pick.bmp->h) << r.x << "," << r.y;
        }
    }
}

TEST(ArtworkFiles, EveryPieceFillsItsRectangleToTheEdge) {
    // A piece one pixel off its place would show a strip of fill colour on the face.
    start_allegro();
    for (auto &set : SETS) {
        Loaded pick(set[1], 32);
        ASSERT_NE(pick.bmp, nullptr);
        int fill = getpixel(pick.bmp, 0, 0);
        for (const Rect &r : picker_rects()) {
            int x1 = r.x + r.w - 1, y1 = r.y + r.h - 1;
            for (int x = r.x; x <= x1; x++) {
                EXPECT_NE(getpixel(pick.bmp, x, r.y), fill) << set[1] << " " << x << "," << r.y;
                EXPECT_NE(getpixel(pick.bmp, x, y1), fill) << set[1] << " " << x << "," << y1;
            }
            for (int y = r.y; y <= y1; y++) {
                EXPECT_NE(getpixel(pick.bmp, r.x, y), fill) << set[1] << " " << r.x << "," << y;
                EXPECT_NE(getpixel(pick.bmp, x1, y), fill) << set[1] << " " << x1 << "," << y;
            }
        }
    }
}

TEST(ArtworkFiles, FillIsTheFaceBackgroundAndReadsUnderWizardText) {
    start_allegro();
    for (auto &set : SETS) {
        Loaded face(set[0], 32), pick(set[1], 32);
        ASSERT_NE(face.bmp, nullptr);
        ASSERT_NE(pick.bmp, nullptr);
        int fill = getpixel(pick.bmp, 0, 0);
        EXPECT_EQ(getpixel(face.bmp, 10, 10), fill) << set[0];
        EXPECT_NE(fill, bitmap_mask_color(pick.bmp));
        // The unit itself is drawn: the middle of the face is not background.
        EXPECT_NE(getpixel(face.bmp, 252, 350), fill);
        // Calibration text, 0xFFFF as a raw pixel: cyan at 24/32 bits, white at 15/16 bits.
        EXPECT_GE(contrast(fill, 0, 255, 255), 7.0);
        EXPECT_GE(contrast(fill, 255, 255, 255), 7.0);
    }
}

TEST(ArtworkFiles, NoPixelIsTheMaskColourAtAnyDepth) {
    // The RMU goes on the screen with a masked draw: a mask-coloured pixel would show stale
    // screen content through the unit.
    start_allegro();
    const int depths[5] = {8, 15, 16, 24, 32};
    for (auto &set : SETS)
        for (int f = 0; f < 2; f++)
            for (int depth : depths) {
                Loaded img(set[f], depth);
                ASSERT_NE(img.bmp, nullptr);
                int mask = bitmap_mask_color(img.bmp);
                int found = count_not(img.bmp, Rect{0, 0, img.bmp->w, img.bmp->h}, mask);
                EXPECT_EQ(found, img.bmp->w * img.bmp->h) << set[f] << " at " << depth;
            }
}

TEST(ArtworkFiles, DigitGlyphsDifferAndAreNotBlank) {
    start_allegro();
    for (auto &set : SETS) {
        Loaded pick(set[1], 32);
        ASSERT_NE(pick.bmp, nullptr);
        for (int s = 0; s < 3; s++) {
            for (int a = 0; a <= 10; a++) {
                Rect ra = glyph_cell(s, a);
                int ground = getpixel(pick.bmp, ra.x, ra.y);
                EXPECT_GT(count_not(pick.bmp, ra, ground), 12) << "style " << s << " glyph " << a;
                for (int b = a + 1; b <= 10; b++)
                    EXPECT_FALSE(same_pixels(pick.bmp, ra, pick.bmp, glyph_cell(s, b)))
                        << set[1] << " style " << s << ": glyphs " << a << " and " << b;
            }
        }
    }
}

TEST(ArtworkFiles, ThreeStylesHaveDistinctColours) {
    start_allegro();
    for (auto &set : SETS) {
        Loaded pick(set[1], 32);
        ASSERT_NE(pick.bmp, nullptr);
        for (int g = 0; g <= 10; g++) {
            int ink[3];
            for (int s = 0; s < 3; s++) {
                Rect r = glyph_cell(s, g);
                ink[s] = main_colour_besides(pick.bmp, r, getpixel(pick.bmp, r.x, r.y));
            }
            EXPECT_NE(ink[0], ink[1]) << set[1] << " glyph " << g;
            EXPECT_NE(ink[0], ink[2]) << set[1] << " glyph " << g;
            EXPECT_NE(ink[1], ink[2]) << set[1] << " glyph " << g;
        }
    }
}

TEST(ArtworkFiles, LitAndUnlitLampsDiffer) {
    start_allegro();
    for (auto &set : SETS) {
        Loaded pick(set[1], 32);
        ASSERT_NE(pick.bmp, nullptr);
        for (int i = 0; i < 8; i++) {
            Rect u = LAMP_UNLIT[i], l = LAMP_LIT[i];
            Rect common = {0, 0, u.w < l.w ? u.w : l.w, 40};
            EXPECT_FALSE(same_pixels(pick.bmp, Rect{u.x, u.y, common.w, common.h}, pick.bmp,
                                     Rect{l.x, l.y, common.w, common.h}))
                << set[1] << " lamp " << i;
            // Different legends: no two unlit keys look alike.
            for (int j = i + 1; j < 8; j++) {
                Rect v = LAMP_UNLIT[j];
                int w = u.w < v.w ? u.w : v.w;
                EXPECT_FALSE(
                    same_pixels(pick.bmp, Rect{u.x, u.y, w, 40}, pick.bmp, Rect{v.x, v.y, w, 40}))
                    << set[1] << " lamps " << i << " and " << j;
            }
        }
    }
}

TEST(ArtworkFiles, DisplayWindowsLieBehindTextAndHighlights) {
    // Glyph cells and the highlight are drawn opaque: the face beneath them and their own
    // background must be the same display glass, or boxes would show around the digits.
    start_allegro();
    for (auto &set : SETS) {
        Loaded face(set[0], 32), pick(set[1], 32);
        ASSERT_NE(face.bmp, nullptr);
        ASSERT_NE(pick.bmp, nullptr);
        int glass = getpixel(pick.bmp, 12, 17);
        for (int s = 0; s < 3; s++)
            for (int g = 0; g <= 10; g++) {
                Rect r = glyph_cell(s, g);
                EXPECT_EQ(getpixel(pick.bmp, r.x, r.y), glass);
                EXPECT_EQ(getpixel(pick.bmp, r.x + r.w - 1, r.y + r.h - 1), glass);
            }
        EXPECT_EQ(getpixel(pick.bmp, HIGHLIGHT.x + HIGHLIGHT.w / 2, HIGHLIGHT.y + HIGHLIGHT.h / 2),
                  glass);
        for (const TextRow &t : FACE_TEXT)
            EXPECT_EQ(count_not(face.bmp, Rect{t.x0, t.y, 27 * t.cells, 32}, glass), 0)
                << set[0] << " text row at " << t.x0 << "," << t.y;
        for (const Rect &h : FACE_HIGHLIGHT)
            EXPECT_EQ(count_not(face.bmp, h, glass), 0)
                << set[0] << " highlight " << h.x << "," << h.y;
    }
}

TEST(ArtworkFiles, AlternativeSetHasTheSameGeometryInOtherColours) {
    start_allegro();
    for (int f = 0; f < 2; f++) {
        Loaded day(SETS[0][f], 32), night(SETS[1][f], 32);
        ASSERT_NE(day.bmp, nullptr);
        ASSERT_NE(night.bmp, nullptr);
        ASSERT_EQ(day.bmp->w, night.bmp->w);
        ASSERT_EQ(day.bmp->h, night.bmp->h);
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
