// Checks the generated artwork files for what the RMU drawing relies on: sizes, no mask-coloured
// pixel at any colour depth, the background and fill colours, every picker piece in its place
// and the digits' places on display glass, in both sets.
#include <allegro.h>
#include <gtest/gtest.h>

#include <errno.h>

#include <string>
#include <vector>

namespace {

struct Rect {
    int x, y, w, h;
};
const char *const SETS[2][2] = {{"vd60_rmu.bmp", "vd60_picker.bmp"},
                                {"vd60_rmub.bmp", "vd60_pickerb.bmp"}};

// The pieces the RMU drawing cuts from the sheet: the edit highlight and the two banners, the
// digits and point of the active, standby and ADF rows, and each lamp unlit and lit.
std::vector<Rect> picker_pieces() {
    std::vector<Rect> all = {{21, 526, 198, 48}, {228, 534, 314, 30}, {288, 386, 246, 88}};
    for (int y : {17, 72, 125})
        for (int g = 0; g <= 10; g++)
            all.push_back({12 + 27 * g, y, 27, 32});
    const int lamp_y[8] = {183, 225, 266, 309, 351, 393, 435, 477};
    const int unlit_x[8] = {22, 22, 30, 30, 25, 28, 32, 32},
              lit_x[8] = {169, 169, 177, 177, 172, 176, 179, 179};
    const int unlit_w[8] = {98, 102, 85, 88, 96, 88, 78, 72},
              lit_w[8] = {98, 102, 85, 90, 96, 88, 78, 72};
    for (int i = 0; i < 8; i++) {
        all.push_back({unlit_x[i], lamp_y[i], unlit_w[i], 40});
        all.push_back({lit_x[i], lamp_y[i] - (i == 1), lit_w[i], 40});
    }
    return all;
}

// An artwork file of the run folder loaded at a colour depth.
BITMAP *load(const char *name, int depth) {
    static bool started = install_allegro(SYSTEM_NONE, &errno, atexit) == 0;
    EXPECT_TRUE(started);
    set_color_depth(depth);
    const char *env = getenv("VALDORA_RUN_DIR"); // ctest runs the unit tests in <build>/tests
    std::string folder = env && *env ? env : "../run";
    BITMAP *b = load_bitmap((folder + "/" + name).c_str(), nullptr);
    EXPECT_NE(b, nullptr) << name;
    return b;
}

// Pixels of a rectangle that are not the colour.
int count_not(BITMAP *b, Rect r, int colour) {
    int n = 0;
    for (int y = r.y; y < r.y + r.h; y++)
        for (int x = r.x; x < r.x + r.w; x++)
            n += getpixel(b, x, y) != colour;
    return n;
}

} // namespace

// The RMU goes on the screen with a masked draw: a mask-coloured pixel would show stale screen
// content through the unit. A piece one pixel off its place would show a strip of fill colour.
TEST(ArtworkFiles, NoMaskColourAndEveryPieceInPlaceOnItsGround) {
    BITMAP *files[2][2];
    for (int s = 0; s < 2; s++)
        for (int f = 0; f < 2; f++)
            for (int depth : {8, 15, 16, 24, 32}) {
                BITMAP *b = files[s][f] = load(SETS[s][f], depth);
                ASSERT_NE(b, nullptr);
                EXPECT_EQ(count_not(b, {0, 0, b->w, b->h}, bitmap_mask_color(b)), b->w * b->h)
                    << SETS[s][f] << " at " << depth;
                if (depth != 32)
                    destroy_bitmap(b);
            }
    for (auto &set : files) {
        BITMAP *face = set[0], *pick = set[1];
        EXPECT_EQ(face->w * 1000 + face->h, 504700);
        const int fill = getpixel(pick, 0, 0), glass = getpixel(pick, 12, 17);
        EXPECT_EQ(getpixel(face, 10, 10), fill); // the window's background colour
        for (const Rect &r : picker_pieces()) {
            ASSERT_TRUE(r.x + r.w <= pick->w && r.y + r.h <= pick->h) << r.x << "," << r.y;
            for (Rect e : {Rect{r.x, r.y, r.w, 1}, Rect{r.x, r.y + r.h - 1, r.w, 1},
                           Rect{r.x, r.y, 1, r.h}, Rect{r.x + r.w - 1, r.y, 1, r.h}})
                EXPECT_EQ(count_not(pick, e, fill), e.w * e.h) << e.x << "," << e.y;
        }
        // The digits and highlights land on display glass.
        for (int y : {72, 140, 232, 300, 392})
            EXPECT_EQ(count_not(face, {53, y, 27 * 4, 32}, glass), 0) << y;
        EXPECT_EQ(count_not(face, {262, 133, 198, 48}, glass), 0);
    }
    for (auto &set : files)
        for (BITMAP *b : set)
            destroy_bitmap(b);
}
