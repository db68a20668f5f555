// The calibration wizard with Allegro in its no-display mode, a scripted keyboard and virtual
// boards: the points read at each screen, skip and disable at first screens, the boards offered,
// and each kind of screen drawn in both panels and put on the screen as it should be.
#include "tests/support/testboards.h"

#include "calibration/calibration.h"

namespace {

const int key_d = 0x0464, key_s = 0x1373, key_x = 0x1878;
const char *const title = "*C A L I B R A T I O N*";
typedef std::vector<std::pair<std::string, double>> lines;

// The keyboard stand-in: before the n-th key it puts both analog inputs of every board at
// 10 + n and 100 + n, so every point tells at which screen it was read, and keeps the screens.
std::vector<int> script;
size_t next_key;
std::vector<BITMAP *> shown, on_screen;
bool keep_screen; // also keep the whole screen at each key

BITMAP *copy_of(BITMAP *b) {
    BITMAP *c = create_bitmap(b->w, b->h);
    blit(b, c, 0, 0, 0, 0, b->w, b->h);
    return c;
}

int no_key(void) {
    return 0;
}

int scripted_key(void) {
    for (int b = 0; b < 4; b++) {
        testboards_io(b).analog_in[0] = (uint8_t)(10 + next_key);
        testboards_io(b).analog_in[1] = (uint8_t)(100 + next_key);
    }
    shown.push_back(copy_of(scrat));
    if (keep_screen)
        on_screen.push_back(copy_of(screen));
    return next_key < script.size() ? script[next_key++] : key_x;
}

// The first differing pixel of two pictures (b shifted by dx), or "" when they agree.
std::string difference(BITMAP *a, BITMAP *b, int dx = 0) {
    for (int y = 0; y < a->h; y++)
        for (int x = 0; x < a->w && x + dx < b->w; x++)
            if (getpixel(a, x, y) != getpixel(b, x + dx, y))
                return "pixel " + std::to_string(x) + "," + std::to_string(y);
    return a->h == b->h ? "" : "sizes differ";
}

class Wizard : public CockpitTest {
  protected:
    static void SetUpTestSuite() {
        CockpitTest::SetUpTestSuite();
        install_keyboard_hooks(no_key, scripted_key);
        set_color_depth(32);
    }
    void SetUp() override {
        CockpitTest::SetUp();
        width = 280, height = 400, gap = 75, extra_border = angle = 0;
    }
    void TearDown() override {
        for (BITMAP *b : shown)
            destroy_bitmap(b);
        for (BITMAP *b : on_screen)
            destroy_bitmap(b);
        shown.clear(), on_screen.clear();
        destroy_bitmap(scrat), destroy_bitmap(pick), destroy_bitmap(screen);
        scrat = pick = screen = NULL;
        CockpitTest::TearDown();
    }
    // Runs the wizard with the boards of a mask and these keys; every key is taken, no more.
    void run(int mask, std::vector<int> keys) {
        destroy_bitmap(scrat), destroy_bitmap(pick), destroy_bitmap(screen);
        scrat = create_bitmap(2 * width + gap, height);
        pick = create_bitmap(16, 16);
        clear_to_color(pick, makecol(20, 40, 60));
        putpixel(pick, 1, 0, makecol(200, 0, 0)); // only the corner pixel counts
        screen = create_bitmap(800, 800);
        clear_to_color(screen, makecol(1, 2, 3));
        discover(mask);
        script = keys, next_key = 0;
        EXPECT_EQ(K8055_analog_cal(), 0);
        EXPECT_EQ(next_key * 1000 + shown.size(), keys.size() * 1001) << "keys taken, screens";
    }
    // The screen as it should be: the sheet's corner colour, the lines centred in the left
    // panel on the old text calls' black background, the right panel a copy.
    void expect_screen(size_t n, const lines &l) {
        ASSERT_LT(n, shown.size());
        BITMAP *e = create_bitmap(2 * width + gap, height), *left = create_bitmap(width, height);
        clear_to_color(e, makecol(20, 40, 60));
        for (auto &line : l)
            textout_centre_ex(e, font, line.first.c_str(), width / 2, (int)(height * line.second),
                              0xFFFF, 0);
        blit(e, left, 0, 0, 0, 0, width, height);
        blit(left, e, 0, 0, width + gap, 0, width, height);
        EXPECT_EQ(difference(shown[n], e), "") << "screen " << n << ": " << l[1].first;
        destroy_bitmap(e), destroy_bitmap(left);
    }
};

// The calibration record of the axes, each "flag points..." and axes separated by "|".
std::string record() {
    std::string s;
    for (const testaxis &a : testaxes) {
        s += (s.empty() ? "" : " |") + std::to_string(*a.enabled);
        for (int i = 0; i < 4 && a.points[i]; i++)
            s += " " + std::to_string(*a.points[i]);
    }
    return s;
}

TEST_F(Wizard, PointsReadAtEachScreen) {
    const int x = key_x, s = key_s, d = key_d, S = 0x1353, D = 0x0444;
    const std::string t = "-7 -7 -7 -7 |-7 -7 -7 -7 |", u = "|-7 -7 -7 -7 |-7 -7 -7 -7 -7 |";
    const std::string v = "-7 -7 -7 -7 |-7 -7 -7 |-7 -7 -7 -7 |-7 -7 -7 -7";
    // The n-th key reads 10 + n on input 1 and 100 + n on input 2; -7 is untouched.
    // clang-format off
    const struct { int mask; std::vector<int> keys; std::string record; } rows[] = {
        {1, {x, x, x, x, x, x, x, x}, "1 10 11 12 |1 104 105 106 " + u + v},
        {1, {d, x, x, x, x}, "0 -1 -7 -1 |1 101 102 103 " + u + v}, // disable clears the ends
        {1, {s, s}, t + u.substr(1) + v},
        {1, {S, x, x, x, D, x, x, x}, "1 10 11 12 |1 104 105 106 " + u + v}, // capitals: any key
        {1, {x, s, d, d, s}, "1 10 11 12 |-7 -7 -7 -7 " + u + v}, // s, d after a first screen
        {2, {d, d}, t + "0 -1 -1 -1 |0 -1 -1 -1 -1 |" + v},
        {3, {s, x, x, x, x, d, x, x, x, x, x}, // skip is cleared between axes and boards
         "-7 -7 -7 -7 |1 101 102 103 |0 -1 -1 -1 |1 106 107 108 109 |" + v},
        {4, {d, x, x, x}, t + u.substr(1) + "0 -1 -7 -1 |1 101 102 |-7 -7 -7 -7 |-7 -7 -7 -7"},
        {8, {x, x, x, x, x, x, x, x}, t + u.substr(1) + "-7 -7 -7 -7 |-7 -7 -7 |1 10 11 12 |1 104 105 106"}};
    // clang-format on
    for (auto &r : rows) {
        for (const testaxis &a : testaxes)
            for (int i = 0; i < 4 && a.points[i]; i++)
                *a.enabled = *a.points[i] = -7;
        run(r.mask, r.keys);
        EXPECT_EQ(record(), r.record) << "row " << &r - rows;
        EXPECT_EQ(calls("SetCurrentDevice"), __builtin_popcount(r.mask));
        TearDown(), SetUp();
    }
    connected = 0; // not connected: nothing offered
    run(15, {});
    EXPECT_EQ(calls("ReadAnalogChannel"), 0);
}

TEST_F(Wizard, ScreensInBothPanelsTurnedInPortrait) {
    const int x = key_x;
    const std::string thr = "*LEFT THROTTLE*";
    keep_screen = true;
    extra_border = 10, angle = 64;
    run(1, {x, x, x, x, key_s});
    // clang-format off
    expect_screen(0, {{title, 0.15}, {thr, 0.25}, {"Select 'REVERSE THRUST'", 0.4},
                      {"'s' to skip,'d' disable", 0.65}, {"Any other key to read", 0.75}});
    expect_screen(3, {{title, 0.15}, {"Left Throttle R/T = 10", 0.3},
                      {"Left Throttle IDLE= 11", 0.4}, {"Left Throttle MAX = 12", 0.5},
                      {"Any key to continue", 0.65}});
    // clang-format on
    // Portrait: 2 x 280 + 75 = 635 across, 400 high: x = 200 - 317 + 5, y = 317 - 200 + 5,
    // drawn 200 pixels further right into the expected picture so no position is negative.
    BITMAP *e = create_bitmap(800, 800);
    clear_to_color(e, makecol(1, 2, 3));
    rotate_sprite(e, shown[0], -112 + 200, 122, ftofix(64));
    EXPECT_EQ(difference(on_screen[0], e, 200), "");
    destroy_bitmap(e);
    keep_screen = false;
    TearDown(), SetUp();
    gap = -9; // overlapping panels: the right one is still a true copy
    run(8, {key_s, x, x, x, x});
    expect_screen(4, {{title, 0.15},
                      {"Yoke FORWARD = 101", 0.3},
                      {"Yoke CENTER = 102", 0.4},
                      {"Yoke BACK = 103", 0.5},
                      {"Any key to continue", 0.65}});
}

} // namespace
