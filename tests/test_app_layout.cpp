// The keyboard's layout operations on memory bitmaps (Allegro without a display): limits,
// rebuilds, the quarter turn, the move and the artwork switch.
#include "app/app.h"

#include <gtest/gtest.h>

#include <errno.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

namespace {

const int K_I = 0x0969, K_R = 0x1272, K_SHIFT_I = 0x0949, K_SHIFT_R = 0x1252, K_CTRL_I = 0x0909;
const int K_CTRL_R = 0x1212, K_ALT_I = 0x0900, K_ALT_R = 0x1200, K_ALT_A = 0x0100, K_ALT_S = 0x1300;

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
    void SetUp() override {
        width = 280, height = 400, gap = 75, extra_border = angle = blur = 0;
        xpos = ypos = 300, current_width = 1272, current_height = 992, update_bg = 0;
        disp = flat_face(20);
        pick = create_bitmap(1024, 1024);
        bg = create_background();
        scrat = create_bitmap(2 * width + gap, height);
    }
    void TearDown() override {
        for (BITMAP **b : {&disp, &pick, &bg, &scrat})
            if (*b)
                destroy_bitmap(*b), *b = nullptr;
    }
    void expect_bitmaps_fit() {
        ASSERT_NE(bg, nullptr);
        ASSERT_NE(scrat, nullptr);
        EXPECT_EQ(bg->w, 2 * width + gap + extra_border);
        EXPECT_EQ(bg->h, height + extra_border);
        EXPECT_EQ(scrat->w, 2 * width + gap);
        EXPECT_EQ(scrat->h, height);
        EXPECT_EQ((unsigned)getpixel(bg, bg->w - 1, bg->h - 1), (unsigned)getpixel(disp, 10, 10));
    }
};

TEST_F(Layout, KeysChangeTheirValueAndRebuildOthersAreIgnored) {
    for (int code : {0x1474, 0x0969 + 0x0100, 0x3B00, 0x0000, 0x1300 + 0x73})
        EXPECT_EQ(layout_keypress(code), 0) << std::hex << code;
    EXPECT_EQ(update_bg, 0);
    struct {
        int grow, shrink, *value;
    } keys[] = {{K_I, K_R, &width},
                {K_SHIFT_I, K_SHIFT_R, &height},
                {K_CTRL_I, K_CTRL_R, &gap},
                {K_ALT_I, K_ALT_R, &extra_border}};
    for (const auto &k : keys)
        for (int code : {k.grow, k.shrink}) {
            int before = *k.value;
            update_bg = 0;
            EXPECT_EQ(layout_keypress(code), 1);
            EXPECT_EQ(*k.value, before + (code == k.grow ? 1 : -1)) << std::hex << code;
            EXPECT_EQ(update_bg, 1) << std::hex << code;
            expect_bitmaps_fit();
        }
    EXPECT_FLOAT_EQ(x_scale_factor, 280 / 504.0f);
    EXPECT_FLOAT_EQ(y_scale_factor, 400 / 700.0f);
}

TEST_F(Layout, LowerBoundsRefuseAndNoBorderIgnoresAltR) {
    BITMAP *old_bg = bg;
    EXPECT_EQ(layout_keypress(K_ALT_R), 1);
    EXPECT_EQ(extra_border, 0);
    EXPECT_EQ(update_bg, 0);
    EXPECT_EQ(bg, old_bg);
    width = 150, height = 210, gap = -9;
    for (int code : {K_R, K_SHIFT_R, K_CTRL_R}) {
        update_bg = 0;
        layout_keypress(code);
        EXPECT_EQ(update_bg, 1) << std::hex << code;
    }
    EXPECT_EQ(width, 150);
    EXPECT_EQ(height, 210);
    EXPECT_EQ(gap, -9);
    expect_bitmaps_fit();
    // Panels overlapping so far that the pair has no width cannot be drawn: undone.
    width = 2, update_bg = 0, old_bg = bg;
    layout_keypress(K_I);
    EXPECT_EQ(width, 2);
    EXPECT_EQ(bg, old_bg);
    EXPECT_EQ(update_bg, 0);
}

TEST_F(Layout, GrowingStopsAtTheDesktopLimits) {
    width = 598; // one below the long limit: one more i is taken, then refused
    for (int code : {K_I, K_I, K_CTRL_I, K_ALT_I})
        layout_keypress(code);
    EXPECT_EQ(width, 599);
    EXPECT_EQ(gap, 75);
    EXPECT_EQ(extra_border, 0);
    width = 280, height = 991;
    for (int code : {K_SHIFT_I, K_SHIFT_I, K_ALT_I})
        layout_keypress(code);
    EXPECT_EQ(height, 992);
    EXPECT_EQ(extra_border, 0);
    angle = 64, height = 400, width = 458; // portrait: the pair grows up to the height
    layout_keypress(K_I);
    layout_keypress(K_I);
    EXPECT_EQ(width, 459);
}

TEST_F(Layout, QuarterTurnClampsTheTopAndFitsTheNewOrientation) {
    xpos = ypos = 0;
    layout_keypress(K_ALT_A);
    EXPECT_EQ(angle, 64);
    EXPECT_EQ(xpos, 117);
    EXPECT_EQ(ypos, 0);
    layout_keypress(K_ALT_A);
    EXPECT_EQ(xpos, 0);
    EXPECT_EQ(ypos, 117);
    angle = 0, width = 150, gap = -9, height = 900, xpos = 0, ypos = 900;
    layout_keypress(K_ALT_A);
    EXPECT_EQ(ypos, 992);
    EXPECT_EQ(xpos, 145 - 450);
    angle = 0, width = 598, gap = 75, extra_border = 4, height = 400; // too long for portrait
    layout_keypress(K_ALT_A);
    EXPECT_EQ(width, (992 - 75 - 4) / 2);
    width = 280, height = 1100;
    layout_keypress(K_ALT_A);
    EXPECT_EQ(angle, 128);
    EXPECT_EQ(height, 992 - 4);
    expect_bitmaps_fit();
    angle = 192;
    layout_keypress(K_ALT_A);
    EXPECT_EQ(angle, 0);
}

TEST_F(Layout, FittingToTheDesktop) {
    struct {
        int angle, width, height, gap, border, fit_width, fit_height, fit_gap, fit_border;
    } rows[] = {{0, 599, 992, 75, 0, 599, 992, 75, 0}, // one beyond, as the i key leaves it
                {0, 600, 400, 75, 0, 598, 400, 75, 0},
                {0, 5000, 5000, 75, 0, (1272 - 75) / 2, 992, 75, 0},
                {0, 280, 400, 100000, 100000, 150, 210, 1272 - (992 - 210) - 300, 992 - 210},
                {64, 600, 400, 75, 0, (992 - 75) / 2, 400, 75, 0}};
    for (const auto &r : rows) {
        angle = r.angle, width = r.width, height = r.height, gap = r.gap, extra_border = r.border;
        layout_fit_to_desktop();
        EXPECT_EQ(width, r.fit_width);
        EXPECT_EQ(height, r.fit_height);
        EXPECT_EQ(gap, r.fit_gap);
        EXPECT_EQ(extra_border, r.fit_border);
    }
}

TEST_F(Layout, ArtworkSwitchNeedsTheWholeSet) {
    char pattern[] = "/tmp/valdora-artwork.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    std::filesystem::path old_folder = std::filesystem::current_path();
    std::filesystem::current_path(pattern);
    const char *const names[] = {"vd60_rmu.bmp", "vd60_picker.bmp", "vd60_rmub.bmp",
                                 "vd60_pickerb.bmp"};
    for (int i = 0; i < 4; i++) {
        BITMAP *face = flat_face(i < 2 ? 40 : 200);
        save_bitmap(names[i], face, nullptr);
        destroy_bitmap(face);
    }
    TearDown();
    ASSERT_EQ(create_bitmaps(), 0);
    EXPECT_EQ((unsigned)getpixel(bg, 0, 0), (unsigned)makecol(40, 40, 40));
    for (const char *missing : {"vd60_pickerb.bmp", "vd60_rmub.bmp"}) {
        std::filesystem::rename(missing, "aside.bmp");
        BITMAP *old_disp = disp, *old_bg = bg;
        layout_keypress(K_ALT_S);
        EXPECT_EQ(blur, 0) << missing;
        EXPECT_EQ(disp, old_disp);
        EXPECT_EQ(bg, old_bg);
        std::filesystem::rename("aside.bmp", missing);
    }
    EXPECT_EQ(layout_keypress(K_ALT_S), 1);
    EXPECT_EQ(blur, 1);
    EXPECT_EQ((unsigned)getpixel(bg, 0, 0), (unsigned)makecol(200, 200, 200));
    EXPECT_EQ(update_bg, 0);
    layout_keypress(K_ALT_S);
    EXPECT_EQ(blur, 0);
    EXPECT_EQ((unsigned)getpixel(disp, 10, 10), (unsigned)makecol(40, 40, 40));
    std::filesystem::current_path(old_folder);
    std::filesystem::remove_all(pattern);
}

} // namespace
