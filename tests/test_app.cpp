// The application core on memory bitmaps (Allegro without a display), each test in a private
// folder: the keyboard's layout operations at and inside their limits, the quarter turn, the
// start-up fit and the artwork switch; the background and the artwork error screen; the
// settings file (each line, the reading's edge cases, values brought into range, a save that
// keeps the old file whole); and valdora.log set aside at 1 MB or reported unwritable.
#include "tests/support/testboards.h" // the program's headers and the calibration record's axes

#include <errno.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

namespace fs = std::filesystem;
namespace {

const int K_I = 0x0969, K_R = 0x1272, K_SHIFT_I = 0x0949, K_SHIFT_R = 0x1252, K_CTRL_I = 0x0909;
const int K_CTRL_R = 0x1212, K_ALT_I = 0x0900, K_ALT_R = 0x1200, K_ALT_A = 0x0100;
const int K_ALT_S = 0x1300, K_ALT_F = 0x0600, FIT = 0; // FIT: the start-up fit, no key

// A layout: width, height, gap, border, angle, window x and y.
typedef std::vector<long> Values;
const Values START = {280, 400, 75, 0, 0, 300, 300};

// Settings lines 6 to 37: the calibration record in file order, each axis's switch first.
std::vector<int32_t *> record;

Values at_start; // the core's values as the program starts, before any settings file

std::string read_file(const std::string &name) {
    std::ifstream file(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

class App : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        at_start.assign({loop, update_bg, width, height, gap, extra_border, angle, blur, xpos, ypos,
                         current_width, current_height, screen_colour_depth});
        ASSERT_EQ(install_allegro(SYSTEM_NONE, &errno, atexit), 0);
        set_color_depth(32), screen = create_bitmap(1272, 992);
        for (const testaxis &a : testaxes)
            for (int32_t *v : {a.enabled, a.points[0], a.points[1], a.points[2], a.points[3]})
                if (v)
                    record.push_back(v);
    }
    // A 1280 x 1024 desktop (content up to 1272 x 992), the program's initial values.
    void SetUp() override {
        ASSERT_NE(mkdtemp(folder), nullptr);
        fs::current_path(folder);
        reset(), current_width = 1272, current_height = 992;
        disp = create_bitmap(504, 700); // a face of one grey, its background colour included
        clear_to_color(disp, makecol(20, 20, 20)), pick = create_bitmap(1024, 1024), set(START);
    }
    void TearDown() override {
        free_bitmaps(), fs::current_path("/"), fs::remove_all(folder);
    }
    static void free_bitmaps() {
        for (BITMAP **b : {&disp, &pick, &bg, &scrat})
            destroy_bitmap(*b), *b = nullptr;
    }
    // Every axis disabled, every point unrecorded, the default layout.
    static void reset() {
        xpos = ypos = angle = extra_border = blur = 0, gap = 75, width = 280, height = 400;
        for (int32_t *v : record)
            *v = -1;
        for (const testaxis &a : testaxes)
            *a.enabled = 0;
    }
    // A layout, with its bitmaps unless asked not to or it has no width to draw.
    static void set(const Values &v, bool with_bitmaps = true) {
        width = v[0], height = v[1], gap = v[2], extra_border = v[3], angle = v[4];
        xpos = v[5], ypos = v[6];
        if (2 * width + gap < 1 || !with_bitmaps)
            return;
        destroy_bitmap(bg), destroy_bitmap(scrat); // Allegro takes NULL as nothing to do
        bg = create_background();
        scrat = create_bitmap(2 * width + gap, height);
    }
    static Values now() {
        return {width, height, gap, extra_border, angle, xpos, ypos};
    }
    // Place and layout in file order, then angle, border, set and the first four record lines.
    static Values load(const std::string &text) {
        reset();
        std::ofstream("vd60_rmu.ini", std::ios::binary) << text;
        EXPECT_EQ(load_ini_file(), 0);
        return {xpos,         ypos, gap,        width,      height,     angle,
                extra_border, blur, *record[0], *record[1], *record[2], *record[3]};
    }
    char folder[24] = "/tmp/valdora-app.XXXXXX";
};

TEST_F(App, EachLayoutKeyAtAndInsideItsLimitsAndTheStartUpFit) {
    // A first start: running, the default layout and desktop, no colour depth taken yet.
    EXPECT_EQ(at_start, (Values{1, 0, 280, 400, 75, 0, 0, 0, 0, 0, 1024, 768, 0}));
    // clang-format off
    const struct { int code; Values before, after; int redraw, outer_w, outer_h; } rows[] = {
        {K_I, START, {281, 400, 75, 0, 0, 300, 300}, 1, 643, 425},
        {K_R, START, {279, 400, 75, 0, 0, 300, 300}, 1, 639, 425},
        {K_SHIFT_I, START, {280, 401, 75, 0, 0, 300, 300}, 1, 641, 426},
        {K_SHIFT_R, START, {280, 399, 75, 0, 0, 300, 300}, 1, 641, 424},
        {K_CTRL_I, START, {280, 400, 76, 0, 0, 300, 300}, 1, 642, 425},
        {K_CTRL_R, START, {280, 400, 74, 0, 0, 300, 300}, 1, 640, 425},
        {K_ALT_I, START, {280, 400, 75, 1, 0, 300, 300}, 1, 642, 426},
        {K_ALT_R, {280, 400, 75, 5, 0, 9, 9}, {280, 400, 75, 4, 0, 9, 9}, 1, 645, 429},
        {K_ALT_R, {280, 400, 75, 1, 0, 9, 9}, {280, 400, 75, 0, 0, 9, 9}, 1, 641, 425},
        {K_ALT_R, START, START, 0, 641, 425}, // no border: nothing at all happens
        // The lower bounds refuse but still rebuild and redraw.
        {K_R, {150, 400, 75, 0, 0, 0, 0}, {150, 400, 75, 0, 0, 0, 0}, 1, 381, 425},
        {K_SHIFT_R, {280, 210, 75, 0, 0, 0, 0}, {280, 210, 75, 0, 0, 0, 0}, 1, 641, 235},
        {K_CTRL_R, {280, 400, -9, 0, 0, 0, 0}, {280, 400, -9, 0, 0, 0, 0}, 1, 557, 425},
        // The long limit 1272: one pixel below it i still widens; at it Ctrl+I and Alt+I refuse.
        {K_I, {598, 400, 75, 0, 0, 0, 0}, {599, 400, 75, 0, 0, 0, 0}, 1, 1279, 425},
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
        {K_ALT_A, {280, 400, 75, 0, 128, 300, 300}, {280, 400, 75, 0, 192, 417, 183}, 1, 406, 660},
        {K_ALT_A, {280, 400, 75, 0, 192, 417, 183}, START, 1, 641, 425},
        {K_ALT_A, {150, 900, -9, 0, 0, 0, 900}, {150, 900, -9, 0, 64, -305, 992}, 1, 906, 316},
        {K_ALT_A, {598, 400, 75, 4, 0, 0, 500}, {456, 400, 75, 4, 64, 435, 65}, 1, 410, 1016},
        {K_ALT_A, {280, 1100, 75, 4, 64, 0, 0}, {280, 988, 75, 4, 128, 233, 0}, 1, 645, 1017},
        {K_ALT_F, START, {280, 400, 75, 0, 0, 0, 0}, 0, 641, 425},
        // A pair without width cannot be drawn: the change is undone.
        {K_I, {2, 400, -9, 0, 0, 0, 0}, {2, 400, -9, 0, 0, 0, 0}, 0, 1, 425},
        // The start-up fit changes only layouts the keys could not make, and redraws nothing.
        {FIT, {599, 992, 75, 0, 0, 0, 0}, {599, 992, 75, 0, 0, 0, 0}, -1, 1279, 1017},
        {FIT, {5000, 5000, 75, 0, 0, 0, 0}, {598, 992, 75, 0, 0, 0, 0}, -1, 1277, 1017},
        {FIT, {280, 400, 100000, 100000, 0, 0, 0}, {150, 210, 190, 782, 0, 0, 0}, -1, 1278, 1017},
        {FIT, {600, 400, 75, 0, 64, 0, 0}, {458, 400, 75, 0, 64, 0, 0}, -1, 406, 1016},
        // Not layout keys: Alt+I and Alt+S with a character.
        {0x0A69, START, START, -1, 641, 425},
        {0x1373, START, START, -1, 641, 425},
    };
    // clang-format on
    for (const auto &r : rows) {
        set(r.before, r.code != FIT);
        update_bg = 0;
        BITMAP *old_bg = bg;
        EXPECT_EQ(r.code ? layout_keypress(r.code) : layout_fit_to_desktop(), r.redraw >= 0)
            << std::hex << r.code;
        EXPECT_EQ(now(), r.after) << std::hex << r.code << " from "
                                  << ::testing::PrintToString(r.before);
        EXPECT_EQ(update_bg, r.redraw > 0) << std::hex << r.code;
        EXPECT_EQ(std::make_pair(window_outer_width(), window_outer_height()),
                  std::make_pair(r.outer_w, r.outer_h));
        if (r.redraw <= 0) {
            EXPECT_EQ(bg, old_bg) << std::hex << r.code;
            continue;
        }
        // Rebuilt at the new size in the face's background colour, at the new scale.
        long pair = 2 * r.after[0] + r.after[2], border = r.after[3], panel = r.after[1];
        EXPECT_EQ(bg->w * 10000 + bg->h, (pair + border) * 10000 + panel + border);
        EXPECT_EQ(scrat->w * 10000 + scrat->h, pair * 10000 + panel);
        EXPECT_EQ(getpixel(bg, bg->w - 1, bg->h - 1), makecol(20, 20, 20));
        EXPECT_FLOAT_EQ(x_scale_factor, r.after[0] / 504.0f);
        EXPECT_FLOAT_EQ(y_scale_factor, panel / 700.0f);
    }
}

TEST_F(App, ArtworkSwitchNeedsTheWholeSet) {
    for (const char *name :
         {"vd60_rmu.bmp", "vd60_picker.bmp", "vd60_rmub.bmp", "vd60_pickerb.bmp"}) {
        int g = strstr(name, "b.") ? 200 : 40;
        clear_to_color(disp, makecol(g, g, g));
        save_bitmap(name, disp, nullptr);
    }
    free_bitmaps();
    ASSERT_EQ(create_bitmaps(), 0);
    // A set with a missing file is not taken; the whole set is, and the set in use is not
    // needed for the switch; no redraw is asked for.
    update_bg = 0;
    for (const char *missing : {"vd60_pickerb.bmp", "vd60_rmub.bmp", ""}) {
        bool taken = !*missing;
        fs::rename(taken ? "vd60_rmu.bmp" : missing, "aside.bmp");
        EXPECT_EQ(layout_keypress(K_ALT_S), 1);
        fs::rename("aside.bmp", taken ? "vd60_rmu.bmp" : missing);
        int face = taken ? makecol(200, 200, 200) : makecol(40, 40, 40);
        EXPECT_EQ(blur, taken) << missing;
        EXPECT_EQ(getpixel(bg, 0, 0), face) << missing;
        EXPECT_EQ(getpixel(disp, 10, 10), face);
    }
    EXPECT_EQ(update_bg, 0);
    EXPECT_TRUE(layout_keypress(K_ALT_S) && blur == 0 &&
                getpixel(disp, 10, 10) == makecol(40, 40, 40));
}

// 645 x 410 of content, turned for portrait: {angle, x, y inside, x, y and x, y outside}. The
// artwork error: three lines centred on 145 (half the panel and half the border) at 15, 40 and
// 65 % of the height, and the right panel exactly as the left, also when the panels overlap.
TEST_F(App, BackgroundAndArtworkErrorScreen) {
    extra_border = 10;
    clear_to_color(disp, makecol(200, 100, 50));
    set(now());
    const int rows[][7] = {{0, 644, 409, 645, 0, 0, 410},
                           {64, 409, 644, 410, 0, 0, 645},
                           {192, 409, 644, 410, 0, 0, 645}};
    auto is_bg = [](int x, int y) { return getpixel(screen, x, y) == makecol(200, 100, 50); };
    for (const auto &r : rows) {
        clear_to_color(screen, makecol(0, 0, 255)), angle = r[0], draw_background();
        EXPECT_TRUE(is_bg(0, 0) && is_bg(r[1], r[2])) << r[0];
        EXPECT_FALSE(is_bg(r[3], r[4]) || is_bg(r[5], r[6])) << r[0];
    }
    // A layout change's redraw at the end of a pass: the background again, the request done.
    update_bg = 1, angle = 0, clear_to_color(screen, makecol(0, 0, 255)), idle_step();
    EXPECT_TRUE(update_bg == 0 && is_bg(0, 0) && is_bg(644, 409));
    BITMAP *left = create_bitmap(width, height); // the left panel with the panels apart
    for (int g : {75, -9, -1, 0}) {
        clear_to_color(screen, makecol(0, 0, 255)), gap = g, draw_artwork_error();
        if (g == 75)
            blit(screen, left, 0, 0, 0, 0, width, height);
        int lit = 0, ground = 0, x_sum = 0, stray = 0, wrong = 0, lines = 0; // a bit per line lit
        for (int y = 0; y < height; y++)
            for (int x = 0; x < width; x++) {
                bool on = getpixel(left, x, y) == 0xFFFF;
                lit += on, ground += getpixel(left, x, y) == 0, x_sum += on * x,
                    lines |= on << (y / 100);
                stray += on && (y % 100 < 60 || y % 100 >= 68 || y < 60 || y >= 268);
                wrong += getpixel(screen, width + g + x, y) != getpixel(left, x, y);
            }
        EXPECT_EQ(lines, 7) << "the three lines at 15, 40 and 65 %";
        EXPECT_EQ(lit + ground, (17 + 19 + 17) * 64) << "8 x 8 characters on opaque black";
        EXPECT_NEAR(x_sum / (double)lit, 145, 3);
        EXPECT_EQ(stray + wrong, 0) << "gap " << g;
    }
    destroy_bitmap(left);
}

TEST_F(App, SettingsWrittenInOrderAndReadAsTheirLeadingNumbersKeepingTheLayoutDrawable) {
    EXPECT_TRUE(load_ini_file() == 0 && width == 280); // no file: nothing changes
    // No window to take the place from: nothing is written.
    EXPECT_TRUE(save_ini_file() == 0 && !fs::exists("vd60_rmu.ini"));
    gap = -9, width = 301, height = 411, angle = 192, extra_border = 12, blur = 1;
    long_value2 = -123456;
    std::string expected = "-8\n2000\n-9\n301\n411\n";
    for (int line = 6; line <= 37; line++) {
        *record[line - 6] = line * 100 - 7;
        expected += std::to_string(line * 100 - 7) + "\n";
    }
    ASSERT_EQ(write_ini_file(-8, 2000), 0);
    EXPECT_EQ(read_file("vd60_rmu.ini"), expected + "192\n12\n1\n=-123456\n");
    EXPECT_EQ(inifile, nullptr);
    // clang-format off
    const struct { std::string text; Values state; } rows[] = {
        // Empty line, blanks-digits-letters, signs, letters only, no end on the last line.
        {"\n  12abc\n-8\n+290x\nabc\n0\n-12345\n777",
         {0, 12, -8, 290, 210, 0, 0, 0, 0, -12345, 777, -1}},
        // 97 characters and the line end fit; a line of 101 is read in two pieces.
        {"7" + std::string(96, ' ') + "\n5" + std::string(97, ' ') + "123\n60\n290\n410\n",
         {7, 5, 123, 150, 290, 0, 0, 0, 410, -1, -1, -1}},
        // Values the window cannot draw come into range; the calibration record does not.
        {"0\n0\n-100\n0\n-5\n7\n-99999\n" + std::string(30, '\n') + "7\n-3\n5\n",
         {0, 0, -9, 150, 210, 0, 0, 1, 7, -99999, 0, 0}},
        {std::string(37, '\n') + "64\n", {0, 0, 0, 150, 210, 64, 0, 0, 0, 0, 0, 0}},
        {std::string(37, '\n') + "128\n", {0, 0, 0, 150, 210, 128, 0, 0, 0, 0, 0, 0}},
        // The file written above, last: the record's other lines are checked after it.
        {read_file("vd60_rmu.ini"), {-8, 2000, -9, 301, 411, 192, 12, 1, 593, 693, 793, 893}},
    };
    // clang-format on
    for (const auto &r : rows)
        EXPECT_EQ(load(r.text), r.state) << r.text;
    for (int line = 10; line <= 37; line++)
        EXPECT_EQ(*record[line - 6], line * 100 - 7) << "line " << line;
}

// Runs a save in a child as a user without special rights, so file permissions apply, with a
// file size limit (when not 0) standing for a full disk. The save's result negated: 0 when it
// reported success, 1 for the failure it reports as -1.
int save_as_user(rlim_t size_limit) {
    pid_t child = fork();
    if (child == 0) {
        umask(022);
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {size_limit, size_limit};
        if ((size_limit && setrlimit(RLIMIT_FSIZE, &limit) != 0) ||
            (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)))
            _exit(2);
        _exit(-write_ini_file(1, 2));
    }
    int status = -1;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(App, SettingsSaveKeepsTheOldFileWholeAndTheFilesAsTheUserSetThemUp) {
    long_value2 = 5;
    ASSERT_EQ(write_ini_file(1, 2), 0);
    const std::string saved_text = read_file("vd60_rmu.ini");
    // Longer than the new text: a rewrite in place must cut it.
    const std::string old_text = "37\n45\n" + std::string(300, '9') + "\n";
    // setup 'l': the settings file is a link; 'd': a folder has the temporary name.
    // clang-format off
    const struct { const char *name; mode_t folder, file; char setup; rlim_t size_limit; bool saved; }
    rows[] = {{"full disk", 0755, 0644, ' ', 20, false},
              {"a folder in the temporary file's place", 0755, 0644, 'd', 0, false},
              {"read-only folder, writable file", 0555, 0644, ' ', 0, true},
              {"read-only file", 0755, 0444, ' ', 0, false}, {"file behind a link", 0755, 0644, 'l', 0, true}};
    // clang-format on
    for (const auto &r : rows) {
        for (const char *old : {"real", "vd60_rmu.ini.tmp", "vd60_rmu.ini"})
            fs::remove_all(old);
        ASSERT_EQ(mkdir("real", 0755), 0);
        const char *file = r.setup == 'l' ? "real/settings.ini" : "vd60_rmu.ini";
        std::ofstream(file, std::ios::binary) << old_text;
        // A chain of links: relative from here, relative within real/, then absolute.
        std::string absolute = std::string(folder) + "/real/settings.ini";
        ASSERT_TRUE(r.setup != 'l' || (symlink("real/a.ini", "vd60_rmu.ini") == 0 &&
                                       symlink("b.ini", "real/a.ini") == 0 &&
                                       symlink(absolute.c_str(), "real/b.ini") == 0));
        ASSERT_TRUE(r.setup != 'd' || mkdir("vd60_rmu.ini.tmp", 0755) == 0);
        for (const char *owned : {".", "real", file})
            ASSERT_TRUE(geteuid() != 0 || lchown(owned, 65534, 65534) == 0);
        chmod(file, r.file), chmod(".", r.folder);
        EXPECT_EQ(save_as_user(r.size_limit), r.saved ? 0 : 1) << r.name;
        chmod(".", 0755);
        EXPECT_EQ(read_file(file), r.saved ? saved_text : old_text) << r.name;
        EXPECT_EQ(fs::is_symlink("vd60_rmu.ini"), r.setup == 'l') << r.name;
        EXPECT_EQ(fs::exists("vd60_rmu.ini.tmp"), r.setup == 'd') << r.name;
        EXPECT_FALSE(fs::exists("real/settings.ini.tmp")) << r.name;
    }
}

// Renames as where a rename does not replace its target, or where the log is held open.
int rename_keeping_targets(const char *from, const char *to) {
    return fs::exists(to) ? -1 : rename(from, to);
}
int rename_all_but_the_log(const char *from, const char *to) {
    return strcmp(from, "valdora.log") == 0 ? -1 : rename(from, to);
}

// At 1 MB valdora.log is set aside as valdora.log.1, one old file kept, also where a rename
// cannot replace or the log is held; a log that cannot be opened for writing (a folder in its
// place, even for root) is reported and left alone.
TEST_F(App, LogSetAsideAtOneMegabyteOrReportedUnwritable) {
    // The start line, without a desktop to measure and without a settings file.
    ASSERT_EQ(log_start(), 0);
    EXPECT_EQ(read_file("valdora.log").substr(20),
              "start Valdora V2.08; settings defaults (vd60_rmu.ini: No such file or directory); "
              "desktop 0x0; artwork vd60_rmu.bmp, vd60_picker.bmp\n");
    // 26 bytes short of 1 MB, and a line of 26 bytes fills it to the byte; one byte short.
    for (size_t size : {1048550, 1048575}) {
        char fill = size % 2 ? 'b' : 'a';
        std::ofstream("valdora.log", std::ios::binary) << std::string(size, fill);
        ASSERT_EQ(log_event("below"), 0);
        ASSERT_EQ(log_event("after"), 0);
        std::string old = read_file("valdora.log.1"); // the newest full log; the one before, gone
        EXPECT_TRUE(old.size() == size + 26 && old[0] == fill) << old.size() << " " << old[0];
        EXPECT_EQ(read_file("valdora.log").substr(20), "after\n");
    }
    EXPECT_FALSE(fs::exists("valdora.log.2"));
    char stamp[32]; // with milliseconds: "YYYY-MM-DD HH:MM:SS.mmm"
    EXPECT_EQ(log_time_stamp(stamp, sizeof stamp, 1) * 100 + strlen(stamp) * (stamp[19] == '.'),
              23u);
    // Where a rename does not replace its target (Windows) the old log is moved aside first; a
    // full log that cannot move (held open) keeps being appended to, and the old log stays.
    log_limit = 9;
    for (auto how : {rename_keeping_targets, rename_all_but_the_log}) {
        std::ofstream("valdora.log.1") << "old\n";
        std::ofstream("valdora.log") << "full log\n";
        log_rename = how;
        bool held = how == rename_all_but_the_log, logged = log_event("next") == 0;
        std::string now = read_file("valdora.log"), old = read_file("valdora.log.1");
        EXPECT_EQ(old + now.substr(0, now.size() - 25) + now.substr(now.size() - 5),
                  held ? "old\nfull log\nnext\n" : "full log\nnext\n");
        EXPECT_TRUE(logged && now.size() >= 25 && !fs::exists("valdora.log.old")) << held;
    }
    log_rename = rename, log_limit = 1024L * 1024L;
    fs::remove_all("valdora.log");
    fs::remove_all("valdora.log.1");
    ASSERT_EQ(mkdir("valdora.log", 0700), 0);
    EXPECT_EQ(log_event("exit 0"), -1);
    EXPECT_TRUE(fs::is_directory("valdora.log")); // not set aside
}

// What each pause found: its length, COM1's active text, the banner flag and board 2's flag. A
// pause closes the window when asked to.
std::string seen;
bool close_at_pause;
void note_pause(DWORD ms) {
    seen +=
        " " + std::to_string(ms) + com1_disp1 + std::to_string(about_to_init_k8055 * 10 + vel_two);
    loop = close_at_pause ? 0 : loop.load();
}

// Start-up from the simulator link on. The window closed at the first 100 ms pause of the wait:
// one more attempt, then no announcement, banner or discovery. Two opens refused: 100 ms after
// each, the open's own exchange pause, the announcement with its display time 5, the radios
// read, the banner held 4 s, and only then the boards sought and reported.
TEST_F(App, StartUpWaitsForTheSimulatorThenHoldsTheBannerBeforeTheBoardsAreSought) {
    testsim_start(), testboards_start(), testboards_io(2).plugged = 1;
    testsim_set(0x034E, 2, 0x2345), platform_sleep_hook = note_pause, close_at_pause = true;
    testsim_fail_next(1000);
    EXPECT_EQ(start_link_and_boards(), 0);
    EXPECT_EQ(seen + std::to_string(testsim_writes().size()), " 100000.00000");
    close_at_pause = false, loop = 1, seen.clear(), testsim_fail_next(2);
    EXPECT_EQ(start_link_and_boards(), 0);
    EXPECT_EQ(seen + std::to_string(about_to_init_k8055),
              " 100000.0000 100000.0000 100000.0000 4000123.450100");
    std::vector<testsim_write> text = testsim_writes_to(0x3380), time = testsim_writes_to(0x32FA);
    ASSERT_EQ(text.size() * 10 + time.size(), 22u); // the announcement, then the boards' report
    EXPECT_EQ(std::string(text[0].data.begin(), text[0].data.end()),
              std::string("Valdora V2.08 Connected", 24));
    EXPECT_EQ(time[0].value() * 10 + time[0].data.size(), 52u); // 5 s, in two bytes
    testsim_stop();
}

} // namespace
