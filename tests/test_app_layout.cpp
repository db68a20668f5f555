// The keyboard's layout operations on memory bitmaps (Allegro without a display): limits,
// rebuilds, the quarter turn, the move and the artwork switch.
#include "app/app.h"

#include <gtest/gtest.h>

#include <errno.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

namespace {

enum {
    KEY_CODE_I = 0x0969,
    KEY_CODE_R = 0x1272,
    KEY_CODE_SHIFT_I = 0x0949,
    KEY_CODE_SHIFT_R = 0x1252,
    KEY_CODE_CTRL_I = 0x0909,
    KEY_CODE_CTRL_R = 0x1212,
    KEY_CODE_ALT_I = 0x0900,
    KEY_CODE_ALT_R = 0x1200,
    KEY_CODE_ALT_A = 0x0100,
    KEY_CODE_ALT_S = 0x1300,
    KEY_CODE_ALT_F = 0x0600,
};

// A flat face of one colour at (10, 10), as an artwork file of its own.
BITMAP *flat_face(int colour) {
    BITMAP *face = create_bitmap(504, 700);
    clear_to_color(face, colour);
    return face;
}

class Layout : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(install_allegro(SYSTEM_NONE, &errno, atexit), 0);
        set_color_depth(32);
        screen = create_bitmap(1272, 992);
    }
    static void TearDownTestSuite() {
        destroy_bitmap(screen);
        screen = nullptr;
    }
    void SetUp() override {
        width = 280;
        height = 400;
        gap = 75;
        extra_border = angle = blur = 0;
        xpos = ypos = 300;
        current_width = 1272;
        current_height = 992;
        disp = flat_face(makecol(10, 20, 30));
        pick = create_bitmap(1024, 1024);
        clear_to_color(pick, makecol(0, 0, 0));
        bg = create_background();
        scrat = create_bitmap(2 * width + gap, height);
        update_bg = 0;
    }
    void TearDown() override {
        for (BITMAP **b : {&disp, &pick, &bg, &scrat}) {
            if (*b) {
                destroy_bitmap(*b);
                *b = nullptr;
            }
        }
    }
    // The bitmaps fit the layout as the rebuild makes them.
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

TEST_F(Layout, EachKeyChangesItsValueAndRebuilds) {
    struct step {
        int code;
        int *value;
        int change;
    } steps[] = {
        {KEY_CODE_I, &width, 1},
        {KEY_CODE_R, &width, -1},
        {KEY_CODE_SHIFT_I, &height, 1},
        {KEY_CODE_SHIFT_R, &height, -1},
        {KEY_CODE_CTRL_I, &gap, 1},
        {KEY_CODE_CTRL_R, &gap, -1},
        {KEY_CODE_ALT_I, &extra_border, 1},
        {KEY_CODE_ALT_R, &extra_border, -1},
    };
    for (const step &s : steps) {
        int before = *s.value;
        update_bg = 0;
        EXPECT_EQ(layout_keypress(s.code), 1);
        EXPECT_EQ(*s.value, before + s.change) << std::hex << s.code;
        EXPECT_EQ(update_bg, 1) << std::hex << s.code;
        expect_bitmaps_fit();
    }
    EXPECT_FLOAT_EQ(x_scale_factor, 280 / 504.0f);
    EXPECT_FLOAT_EQ(y_scale_factor, 400 / 700.0f);
}

TEST_F(Layout, OtherKeysAreNotLayoutKeys) {
    for (int code : {0x1474, 0x0969 + 0x0100, 0x3B00, 0x0000, 0x1300 + 0x73}) {
        EXPECT_EQ(layout_keypress(code), 0) << std::hex << code;
    }
    EXPECT_EQ(update_bg, 0);
    EXPECT_EQ(width, 280);
    EXPECT_EQ(xpos, 300);
}

TEST_F(Layout, LowerBoundsRefuseButStillRebuild) {
    width = 150;
    height = 210;
    gap = -9;
    for (int code : {KEY_CODE_R, KEY_CODE_SHIFT_R, KEY_CODE_CTRL_R}) {
        BITMAP *old_scrat = scrat;
        update_bg = 0;
        layout_keypress(code);
        EXPECT_EQ(update_bg, 1) << std::hex << code;
        EXPECT_NE(scrat, nullptr);
        (void)old_scrat;
    }
    EXPECT_EQ(width, 150);
    EXPECT_EQ(height, 210);
    EXPECT_EQ(gap, -9);
    expect_bitmaps_fit();
}

TEST_F(Layout, AltRWithoutBorderDoesNothingAtAll) {
    BITMAP *old_bg = bg, *old_scrat = scrat;
    EXPECT_EQ(layout_keypress(KEY_CODE_ALT_R), 1);
    EXPECT_EQ(extra_border, 0);
    EXPECT_EQ(update_bg, 0);
    EXPECT_EQ(bg, old_bg);
    EXPECT_EQ(scrat, old_scrat);
}

TEST_F(Layout, GrowingStopsAtTheDesktopLimits) {
    // One pixel below the long limit: one more i is taken (ending one above), then refused.
    width = 598;
    layout_keypress(KEY_CODE_I);
    EXPECT_EQ(width, 599);
    EXPECT_EQ(2 * width + gap, 1273);
    layout_keypress(KEY_CODE_I);
    layout_keypress(KEY_CODE_CTRL_I);
    layout_keypress(KEY_CODE_ALT_I);
    EXPECT_EQ(width, 599);
    EXPECT_EQ(gap, 75);
    EXPECT_EQ(extra_border, 0);

    // The short limit stops Shift+I and Alt+I.
    width = 280;
    height = 991;
    layout_keypress(KEY_CODE_SHIFT_I);
    EXPECT_EQ(height, 992);
    layout_keypress(KEY_CODE_SHIFT_I);
    layout_keypress(KEY_CODE_ALT_I);
    EXPECT_EQ(height, 992);
    EXPECT_EQ(extra_border, 0);

    // In portrait the limits swap: the pair grows up to the desktop's height.
    angle = 64;
    height = 400;
    width = 458;
    layout_keypress(KEY_CODE_I);
    EXPECT_EQ(width, 459);
    layout_keypress(KEY_CODE_I);
    EXPECT_EQ(width, 459);
}

TEST_F(Layout, QuarterTurnsAboutTheMiddle) {
    // 635 x 400: each turn moves by 317 - 200 = 117.
    const long places[][2] = {{417, 183}, {300, 300}, {417, 183}, {300, 300}};
    const int angles[] = {64, 128, 192, 0};
    for (int turn = 0; turn < 4; turn++) {
        update_bg = 0;
        EXPECT_EQ(layout_keypress(KEY_CODE_ALT_A), 1);
        EXPECT_EQ(angle, angles[turn]);
        EXPECT_EQ(xpos, places[turn][0]);
        EXPECT_EQ(ypos, places[turn][1]);
        EXPECT_EQ(update_bg, 1);
        expect_bitmaps_fit();
    }
    EXPECT_EQ(width, 280);
    EXPECT_EQ(height, 400);
}

TEST_F(Layout, QuarterTurnClampsTheTopButNotTheLeft) {
    xpos = ypos = 0;
    layout_keypress(KEY_CODE_ALT_A);
    EXPECT_EQ(xpos, 117);
    EXPECT_EQ(ypos, 0);
    layout_keypress(KEY_CODE_ALT_A);
    EXPECT_EQ(xpos, 0);
    EXPECT_EQ(ypos, 117);

    // A tall narrow pair turning to portrait moves down past the desktop and stops there.
    angle = 0;
    width = 150;
    gap = -9;
    height = 900;
    xpos = 0;
    ypos = 900;
    layout_keypress(KEY_CODE_ALT_A);
    EXPECT_EQ(ypos, 992);
    EXPECT_EQ(xpos, 145 - 450);
}

TEST_F(Layout, QuarterTurnFitsThePairToTheNewOrientation) {
    width = 598; // 1271 wide: too long for the desktop's 992 height
    extra_border = 4;
    height = 400;
    layout_keypress(KEY_CODE_ALT_A);
    EXPECT_EQ(angle, 64);
    EXPECT_EQ(width, (992 - 75 - 4) / 2);
    EXPECT_EQ(height, 400);

    // Back to landscape, a panel taller than the desktop's height is cut down.
    angle = 64;
    width = 280;
    height = 1100;
    layout_keypress(KEY_CODE_ALT_A);
    EXPECT_EQ(angle, 128);
    EXPECT_EQ(height, 992 - 4);
    expect_bitmaps_fit();
}

TEST_F(Layout, AltFMovesToTheCornerWithoutRebuilding) {
    BITMAP *old_bg = bg;
    EXPECT_EQ(layout_keypress(KEY_CODE_ALT_F), 1);
    EXPECT_EQ(xpos, 0);
    EXPECT_EQ(ypos, 0);
    EXPECT_EQ(update_bg, 0);
    EXPECT_EQ(bg, old_bg);
}

TEST_F(Layout, NoWindowLeavesThePlace) {
    layout_refresh_position();
    EXPECT_EQ(xpos, 300);
    EXPECT_EQ(ypos, 300);
}

TEST_F(Layout, RebuildThatCannotMakeItsBitmapsUndoesTheChange) {
    // Panels overlapping so far that the pair has no width cannot be drawn.
    width = 2;
    gap = -9;
    BITMAP *old_bg = bg;
    layout_keypress(KEY_CODE_I);
    EXPECT_EQ(width, 2);
    EXPECT_EQ(bg, old_bg);
    EXPECT_EQ(update_bg, 0);
}

class ArtworkSwitch : public Layout {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/valdora-artwork.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        old_folder = std::filesystem::current_path();
        std::filesystem::current_path(folder);
        save_set("vd60_rmu.bmp", "vd60_picker.bmp", 40);
        save_set("vd60_rmub.bmp", "vd60_pickerb.bmp", 200);
        Layout::SetUp();
        destroy_bitmap(disp);
        destroy_bitmap(pick);
        destroy_bitmap(bg);
        disp = pick = bg = nullptr;
        ASSERT_EQ(create_bitmaps(), 0);
    }
    void TearDown() override {
        Layout::TearDown();
        std::filesystem::current_path(old_folder);
        std::filesystem::remove_all(folder);
    }
    static void save_set(const char *face_name, const char *picker_name, int grey) {
        BITMAP *face = flat_face(makecol(grey, grey, grey));
        save_bitmap(face_name, face, nullptr);
        save_bitmap(picker_name, face, nullptr);
        destroy_bitmap(face);
    }
    std::string folder;
    std::filesystem::path old_folder;
};

TEST_F(ArtworkSwitch, SwitchesSetsWithoutAskingForARedraw) {
    EXPECT_EQ((unsigned)getpixel(bg, 0, 0), (unsigned)makecol(40, 40, 40));
    EXPECT_EQ(layout_keypress(KEY_CODE_ALT_S), 1);
    EXPECT_EQ(blur, 1);
    EXPECT_EQ((unsigned)getpixel(disp, 10, 10), (unsigned)makecol(200, 200, 200));
    EXPECT_EQ((unsigned)getpixel(bg, 0, 0), (unsigned)makecol(200, 200, 200));
    EXPECT_EQ(update_bg, 0);
    layout_keypress(KEY_CODE_ALT_S);
    EXPECT_EQ(blur, 0);
    EXPECT_EQ((unsigned)getpixel(disp, 10, 10), (unsigned)makecol(40, 40, 40));
}

TEST_F(ArtworkSwitch, SetWithAMissingFileIsNotTaken) {
    for (const char *missing : {"vd60_pickerb.bmp", "vd60_rmub.bmp"}) {
        std::filesystem::rename(missing, "aside.bmp");
        BITMAP *old_disp = disp, *old_pick = pick, *old_bg = bg;
        layout_keypress(KEY_CODE_ALT_S);
        EXPECT_EQ(blur, 0) << missing;
        EXPECT_EQ(disp, old_disp);
        EXPECT_EQ(pick, old_pick);
        EXPECT_EQ(bg, old_bg);
        std::filesystem::rename("aside.bmp", missing);
    }
    // Once the file is back the switch works again.
    layout_keypress(KEY_CODE_ALT_S);
    EXPECT_EQ(blur, 1);
}

TEST_F(Layout, FittingToTheDesktop) {
    // A layout that fits stays as it is.
    width = 598;
    height = 992;
    layout_fit_to_desktop();
    EXPECT_EQ(width, 598);
    EXPECT_EQ(height, 992);

    width = 5000;
    height = 5000;
    layout_fit_to_desktop();
    EXPECT_EQ(width, (1272 - 75) / 2);
    EXPECT_EQ(height, 992);

    // A gap and a border too large for the smallest panels shrink first.
    width = 280;
    height = 400;
    gap = 100000;
    extra_border = 100000;
    layout_fit_to_desktop();
    EXPECT_EQ(extra_border, 992 - 210);
    EXPECT_EQ(gap, 1272 - extra_border - 300);
    EXPECT_EQ(width, 150);
    EXPECT_EQ(height, 210);
    EXPECT_LE(2 * width + gap + extra_border, 1272);

    // Portrait measures the pair against the height.
    angle = 64;
    gap = 75;
    extra_border = 0;
    width = 600;
    layout_fit_to_desktop();
    EXPECT_EQ(width, (992 - 75) / 2);
}

} // namespace
