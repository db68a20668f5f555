// What the application core puts on the screen: the background in both orientations and the
// artwork error screen; Allegro without a display.
#include "app/app.h"

#include <gtest/gtest.h>

#include <errno.h>

namespace {

class Screen : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(install_allegro(SYSTEM_NONE, &errno, atexit), 0);
        set_color_depth(32);
        screen = create_bitmap(1272, 992);
        width = 280, height = 400, extra_border = 10;
        disp = create_bitmap(504, 700);
        clear_to_color(disp, makecol(200, 100, 50));
        bg = create_background();
    }
};

// 645 x 410 of content, turned for portrait: {angle, x, y inside, x, y and x, y outside}.
TEST_F(Screen, BackgroundCoversTheContentInEachOrientation) {
    const int rows[][7] = {{0, 644, 409, 645, 0, 0, 410},
                           {64, 408, 643, 412, 10, 10, 647},
                           {192, 408, 643, 412, 10, 10, 647}};
    auto is_bg = [](int x, int y) { return getpixel(screen, x, y) == makecol(200, 100, 50); };
    for (const auto &r : rows) {
        clear_to_color(screen, makecol(0, 0, 255));
        angle = r[0];
        draw_background();
        EXPECT_TRUE(is_bg(1, 1) && is_bg(r[1], r[2])) << r[0];
        EXPECT_FALSE(is_bg(r[3], r[4]) || is_bg(r[5], r[6])) << r[0];
    }
}

// Three lines centred on 145 (half the panel and half the border) at 15, 40 and 65 % of the
// height, and the right panel exactly as the left, also when the panels overlap.
TEST_F(Screen, ArtworkErrorShowsInBothPanels) {
    BITMAP *left = create_bitmap(width, height); // the left panel with the panels apart
    for (int g : {75, -9, -1, 0}) {
        gap = g;
        clear_to_color(screen, makecol(0, 0, 255));
        draw_artwork_error();
        if (g == 75)
            blit(screen, left, 0, 0, 0, 0, width, height);
        int lit = 0, x_sum = 0, stray = 0, wrong = 0;
        for (int y = 0; y < height; y++)
            for (int x = 0; x < width; x++) {
                bool on = getpixel(left, x, y) == 0xFFFF;
                lit += on, x_sum += on * x;
                stray += on && (y % 100 < 60 || y % 100 >= 68 || y < 60 || y >= 268);
                wrong += getpixel(screen, width + g + x, y) != getpixel(left, x, y);
            }
        EXPECT_GT(lit, 100) << "no message drawn";
        EXPECT_NEAR(x_sum / (double)lit, 145, 3);
        EXPECT_EQ(stray, 0);
        EXPECT_EQ(wrong, 0) << "gap " << g;
    }
    destroy_bitmap(left);
}

} // namespace
