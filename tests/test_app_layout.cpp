// The keyboard's layout operations on memory bitmaps (Allegro without a display): each key at
// and inside its limits, the quarter turn, the start-up fit and the artwork switch.
#include "app/app.h"

#include <gtest/gtest.h>

#include <errno.h>

#include <filesystem>
#include <vector>

namespace {

const int K_I = 0x0969, K_R = 0x1272, K_SHIFT_I = 0x0949, K_SHIFT_R = 0x1252, K_CTRL_I = 0x0909;
const int K_CTRL_R = 0x1212, K_ALT_I = 0x0900, K_ALT_R = 0x1200, K_ALT_A = 0x0100;
const int K_ALT_S = 0x1300, K_ALT_F = 0x0600;

// A layout: width, height, gap, border, angle, window x and y.
typedef std::vector<long> Values;

// A face of one grey, the background colour at (10, 10) included.
BITMAP *flat_face(int grey) {
    BITMAP *face = create_bitmap(504, 700);
    clear_to_color(face, makecol(grey, grey, grey));
    return face;
}

class Layout : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(install_allegro(SYSTEM_NONE, &errno, atexit), 0);
        set_color_depth(32);
        screen = create_bitmap(1272, 992);
    }
    // A 1280 x 1024 desktop: content up to 1272 x 992.
    void SetUp() override {
        current_width = 1272, current_height = 992, blur = 0;
        disp = flat_face(20);
        pick = create_bitmap(1024, 1024);
        set({280, 400, 75, 0, 0, 300, 300});
    }
    void TearDown() override {
        for (BITMAP **b : {&disp, &pick, &bg, &scrat})
            if (*b)
                destroy_bitmap(*b), *b = nullptr;
    }
    // A layout, with its bitmaps unless asked not to or it has no width to draw.
    static void set(const Values &v, bool with_bitmaps = true) {
        width = v[0], height = v[1], gap = v[2], extra_border = v[3], angle = v[4];
        xpos = v[5], ypos = v[6];
        if (2 * width + gap < 1 || !with_bitmaps)
            return;
        for (BITMAP **b : {&bg, &scrat})
            if (*b)
                destroy_bitmap(*b), *b = nullptr;
        bg = create_background();
        scrat = create_bitmap(2 * width + gap, height);
    }
    static Values now() {
        return {width, height, gap, extra_border, angle, xpos, ypos};
    }
};

TEST_F(Layout, EachKeyAtAndInsideItsLimits) {
    const Values start = {280, 400, 75, 0, 0, 300, 300};
    struct {
        int code;
        Values before, after;
        int redraw, outer_w, outer_h;
    } rows[] = {
        {K_I, start, {281, 400, 75, 0, 0, 300, 300}, 1, 643, 425},
        {K_R, start, {279, 400, 75, 0, 0, 300, 300}, 1, 639, 425},
        {K_SHIFT_I, start, {280, 401, 75, 0, 0, 300, 300}, 1, 641, 426},
        {K_SHIFT_R, start, {280, 399, 75, 0, 0, 300, 300}, 1, 641, 424},
        {K_CTRL_I, start, {280, 400, 76, 0, 0, 300, 300}, 1, 642, 425},
        {K_CTRL_R, start, {280, 400, 74, 0, 0, 300, 300}, 1, 640, 425},
        {K_ALT_I, start, {280, 400, 75, 1, 0, 300, 300}, 1, 642, 426},
        {K_ALT_R, {280, 400, 75, 5, 0, 9, 9}, {280, 400, 75, 4, 0, 9, 9}, 1, 645, 429},
        {K_ALT_R, start, start, 0, 641, 425}, // no border: nothing at all happens
        // The lower bounds refuse but still rebuild and redraw.
        {K_R, {150, 400, 75, 0, 0, 0, 0}, {150, 400, 75, 0, 0, 0, 0}, 1, 381, 425},
        {K_SHIFT_R, {280, 210, 75, 0, 0, 0, 0}, {280, 210, 75, 0, 0, 0, 0}, 1, 641, 235},
        {K_CTRL_R, {280, 400, -9, 0, 0, 0, 0}, {280, 400, -9, 0, 0, 0, 0}, 1, 557, 425},
        // The long limit 1272: one pixel below it i still widens, one above it refuses.
        {K_I, {598, 400, 75, 0, 0, 0, 0}, {599, 400, 75, 0, 0, 0, 0}, 1, 1279, 425},
        {K_I, {599, 400, 75, 0, 0, 0, 0}, {599, 400, 75, 0, 0, 0, 0}, 1, 1279, 425},
        {K_CTRL_I, {598, 400, 75, 1, 0, 0, 0}, {598, 400, 75, 1, 0, 0, 0}, 1, 1278, 426},
        {K_ALT_I, {598, 400, 76, 0, 0, 0, 0}, {598, 400, 76, 0, 0, 0, 0}, 1, 1278, 425},
        // The short limit 992.
        {K_SHIFT_I, {280, 991, 75, 0, 0, 0, 0}, {280, 992, 75, 0, 0, 0, 0}, 1, 641, 1017},
        {K_SHIFT_I, {280, 990, 75, 2, 0, 0, 0}, {280, 990, 75, 2, 0, 0, 0}, 1, 643, 1017},
        {K_ALT_I, {280, 992, 75, 0, 0, 0, 0}, {280, 992, 75, 0, 0, 0, 0}, 1, 641, 1017},
        // Portrait: the pair grows up to the height, the panel up to the width.
        {K_I, {458, 400, 75, 0, 64, 0, 0}, {459, 400, 75, 0, 64, 0, 0}, 1, 406, 1018},
        {K_I, {459, 400, 75, 0, 192, 0, 0}, {459, 400, 75, 0, 192, 0, 0}, 1, 406, 1018},
        {K_SHIFT_I, {280, 1271, 75, 0, 64, 0, 0}, {280, 1272, 75, 0, 64, 0, 0}, 1, 1278, 660},
        // The quarter turn about the middle (P/2 - height/2 = 117), the top clamped to the
        // desktop, the pair fitted to the new orientation.
        {K_ALT_A, {280, 400, 75, 0, 0, 0, 0}, {280, 400, 75, 0, 64, 117, 0}, 1, 406, 660},
        {K_ALT_A, {280, 400, 75, 0, 64, 117, 0}, {280, 400, 75, 0, 128, 0, 117}, 1, 641, 425},
        {K_ALT_A, start, {280, 400, 75, 0, 64, 417, 183}, 1, 406, 660},
        {K_ALT_A, {280, 400, 75, 0, 192, 417, 183}, start, 1, 641, 425},
        {K_ALT_A, {150, 900, -9, 0, 0, 0, 900}, {150, 900, -9, 0, 64, -305, 992}, 1, 906, 316},
        {K_ALT_A, {598, 400, 75, 4, 0, 0, 500}, {456, 400, 75, 4, 64, 435, 65}, 1, 410, 1016},
        {K_ALT_A, {280, 1100, 75, 4, 64, 0, 0}, {280, 988, 75, 4, 128, 233, 0}, 1, 645, 1017},
        {K_ALT_F, start, {280, 400, 75, 0, 0, 0, 0}, 0, 641, 425},
        // A pair without width cannot be drawn: the change is undone.
        {K_I, {2, 400, -9, 0, 0, 0, 0}, {2, 400, -9, 0, 0, 0, 0}, 0, 1, 425},
    };
    for (const auto &r : rows) {
        set(r.before);
        update_bg = 0;
        BITMAP *old_bg = bg;
        EXPECT_EQ(layout_keypress(r.code), 1) << std::hex << r.code;
        EXPECT_EQ(now(), r.after) << std::hex << r.code << " from "
                                  << ::testing::PrintToString(r.before);
        EXPECT_EQ(update_bg, r.redraw) << std::hex << r.code;
        EXPECT_EQ(std::make_pair(window_outer_width(), window_outer_height()),
                  std::make_pair(r.outer_w, r.outer_h));
        if (!r.redraw) {
            EXPECT_EQ(bg, old_bg) << std::hex << r.code;
            continue;
        }
        // Rebuilt at the new size in the face's background colour, at the new scale.
        long pair = 2 * r.after[0] + r.after[2], border = r.after[3], panel = r.after[1];
        EXPECT_EQ(bg->w * 10000 + bg->h, (pair + border) * 10000 + panel + border);
        EXPECT_EQ(scrat->w * 10000 + scrat->h, pair * 10000 + panel);
        EXPECT_EQ((unsigned)getpixel(bg, bg->w - 1, bg->h - 1), (unsigned)makecol(20, 20, 20));
        EXPECT_FLOAT_EQ(x_scale_factor, r.after[0] / 504.0f);
        EXPECT_FLOAT_EQ(y_scale_factor, panel / 700.0f);
    }
    // Not layout keys: t, Alt+I with a character, F1, none, Alt+S with a character.
    for (int code : {0x1474, 0x0A69, 0x3B00, 0x0000, 0x1373}) {
        set(start);
        update_bg = 0;
        EXPECT_EQ(layout_keypress(code), 0) << std::hex << code;
        EXPECT_EQ(now(), start);
        EXPECT_EQ(update_bg, 0);
    }
}

TEST_F(Layout, StartUpFitsOnlyLayoutsTheKeysCouldNotMake) {
    struct {
        Values before, after;
    } rows[] = {
        {{599, 992, 75, 0, 0, 0, 0}, {599, 992, 75, 0, 0, 0, 0}}, // as i leaves it
        {{600, 400, 75, 0, 0, 0, 0}, {598, 400, 75, 0, 0, 0, 0}},
        {{5000, 5000, 75, 0, 0, 0, 0}, {598, 992, 75, 0, 0, 0, 0}},
        {{280, 400, 100000, 100000, 0, 0, 0}, {150, 210, 190, 782, 0, 0, 0}},
        {{600, 400, 75, 0, 64, 0, 0}, {458, 400, 75, 0, 64, 0, 0}},
    };
    for (const auto &r : rows) {
        set(r.before, false);
        layout_fit_to_desktop();
        EXPECT_EQ(now(), r.after) << ::testing::PrintToString(r.before);
    }
}

TEST_F(Layout, ArtworkSwitchNeedsTheWholeSet) {
    char pattern[] = "/tmp/valdora-artwork.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    std::filesystem::current_path(pattern);
    TearDown();
    for (const char *name :
         {"vd60_rmu.bmp", "vd60_picker.bmp", "vd60_rmub.bmp", "vd60_pickerb.bmp"}) {
        disp = flat_face(std::string(name).find("b.") != std::string::npos ? 200 : 40);
        save_bitmap(name, disp, nullptr);
        destroy_bitmap(disp);
    }
    ASSERT_EQ(create_bitmaps(), 0);
    // A set with a missing file is not taken; the whole set is; no redraw is asked for.
    update_bg = 0;
    for (const char *missing : {"vd60_pickerb.bmp", "vd60_rmub.bmp", ""}) {
        bool taken = !*missing;
        // The set in use is not needed for the switch.
        std::filesystem::rename(taken ? "vd60_rmu.bmp" : missing, "aside.bmp");
        EXPECT_EQ(layout_keypress(K_ALT_S), 1);
        std::filesystem::rename("aside.bmp", taken ? "vd60_rmu.bmp" : missing);
        int grey = taken ? 200 : 40;
        EXPECT_EQ(blur, taken) << missing;
        EXPECT_EQ((unsigned)getpixel(bg, 0, 0), (unsigned)makecol(grey, grey, grey)) << missing;
        EXPECT_EQ((unsigned)getpixel(disp, 10, 10), (unsigned)makecol(grey, grey, grey));
    }
    EXPECT_EQ(update_bg, 0);
    layout_keypress(K_ALT_S);
    EXPECT_EQ(blur, 0);
    EXPECT_EQ((unsigned)getpixel(disp, 10, 10), (unsigned)makecol(40, 40, 40));
    std::filesystem::current_path("/");
    std::filesystem::remove_all(pattern);
}

} // namespace
