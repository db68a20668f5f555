// What the application core puts on the screen (the background in both orientations and the
// artwork error screen) and the close hook; Allegro without a display.
#include "app/app.h"

#include <gtest/gtest.h>

#include <errno.h>
#include <stdlib.h>

namespace {

class Screen : public ::testing::Test {
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
        extra_border = 10;
        angle = 0;
        clear_to_color(screen, makecol(0, 0, 255));
        disp = create_bitmap(504, 700);
        clear_to_color(disp, makecol(200, 100, 50));
        bg = create_background();
    }
    void TearDown() override {
        destroy_bitmap(disp);
        destroy_bitmap(bg);
        disp = bg = nullptr;
    }
    bool is_background(int x, int y) {
        return getpixel(screen, x, y) == makecol(200, 100, 50);
    }
};

TEST_F(Screen, BackgroundCoversTheLandscapeContent) {
    draw_background();
    // 645 x 410 from the top-left corner.
    EXPECT_TRUE(is_background(0, 0));
    EXPECT_TRUE(is_background(644, 409));
    EXPECT_FALSE(is_background(645, 0));
    EXPECT_FALSE(is_background(0, 410));
}

TEST_F(Screen, BackgroundTurnsForPortrait) {
    for (int portrait : {64, 192}) {
        clear_to_color(screen, makecol(0, 0, 255));
        angle = portrait;
        draw_background();
        // 410 wide and 645 high from the top-left corner.
        EXPECT_TRUE(is_background(1, 1)) << portrait;
        EXPECT_TRUE(is_background(408, 643)) << portrait;
        EXPECT_FALSE(is_background(412, 10)) << portrait;
        EXPECT_FALSE(is_background(10, 647)) << portrait;
    }
}

TEST_F(Screen, NoBackgroundBitmapDrawsNothing) {
    destroy_bitmap(bg);
    bg = nullptr;
    EXPECT_EQ(draw_background(), -1);
    EXPECT_FALSE(is_background(0, 0));
}

// The error message stands in the right panel exactly as in the left, also when the panels
// overlap.
TEST_F(Screen, ArtworkErrorShowsInBothPanels) {
    gap = 75;
    draw_artwork_error();
    BITMAP *reference = create_bitmap(width, height);
    blit(screen, reference, 0, 0, 0, 0, width, height);
    int lit = 0;
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
            lit += getpixel(reference, x, y) == 0xFFFF;
        }
    }
    EXPECT_GT(lit, 100) << "no message drawn";

    for (int overlap_gap : {-9, -1, 0, 75}) {
        gap = overlap_gap;
        clear_to_color(screen, makecol(0, 0, 255));
        draw_artwork_error();
        int wrong = 0;
        for (int y = 0; y < height; y++) {
            for (int x = 0; x < width; x++) {
                wrong += getpixel(screen, width + gap + x, y) != getpixel(reference, x, y);
            }
        }
        EXPECT_EQ(wrong, 0) << "gap " << overlap_gap;
    }
    destroy_bitmap(reference);
}

TEST(CloseHook, ClearsTheRunFlag) {
    loop = 1;
    exit_hook();
    EXPECT_EQ(loop, 0);
    loop = 1;
}

} // namespace
